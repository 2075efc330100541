#pragma once
// Exact pixel comparison of two decoded pictures. Both are read as 32-bit ARGB
// (QImage::Format_ARGB32, alpha kept, so a difference in transparency alone
// makes two pictures different); no tolerance, no scaling. Nothing is cached:
// any converted copy lives only for one call.

#include <QImage>

namespace ModImageCompare {

// True when both pictures have the first picture's width and height and every
// pixel is equal. Stops at the first difference. A null picture is never equal
// to anything, and pictures of different sizes are different. The later frames
// of an animated GIF and whatever else the file holds beyond the picture
// (ImageLoader::kHiddenContentKey, HiddenContent.h) must be equal too.
bool ComparePictures(const QImage& first, const QImage& second);

// Row-by-row comparison of two pictures already in a 32-bit RGB layout
// (Format_ARGB32 or Format_RGB32, whose unused top byte counts as 0xff).
// False when the sizes differ; true for two empty pictures.
bool CompareBuffers(const QImage& pixels1, const QImage& pixels2);

} // namespace ModImageCompare
