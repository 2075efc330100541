#pragma once
// A picture to show, turned by the same code as the decoders turn what the
// whole-folder search compares (decoding/PictureOrientation.h).

#include "decoding/OrientationTag.h"

#include <QImage>

namespace qtreading {

// The image turned by orientation; a format of fewer than 8 bits a pixel is
// made 32-bit first. A null image stays null.
QImage orientedImage(const QImage& image, decoding::Orientation orientation);

} // namespace qtreading
