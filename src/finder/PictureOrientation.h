#pragma once
// Turns pictures as a viewer shows them, by the tag decoding::readOrientation
// reads (JPEG EXIF, TIFF Orientation). The one place the whole-folder search
// and everything that shows its groups apply that tag, so that what is
// compared is what is shown; the decoders themselves give stored rows.

#include "decoding/DecodedPicture.h"
#include "decoding/OrientationTag.h"

#include <QImage>

namespace finder {

// The header as a viewer shows the picture: width and height swapped by a
// quarter turn. head as for decoding::readOrientation.
decoding::PictureHeader orientedHeader(decoding::PictureHeader header, decoding::Bytes head);

// Turns every frame of a decoded picture (any number of bytes a pixel).
void orientPicture(decoding::DecodedPicture& picture, decoding::Orientation orientation);

// The same for a picture to show; a format of fewer than 8 bits a pixel is
// made 32-bit first. A null image stays null.
QImage orientedImage(const QImage& image, decoding::Orientation orientation);

} // namespace finder
