#pragma once
// Whether a GIF file holds enough compressed data to fill the picture it
// claims. GIF's LZW codes are at most 12 bits and one code stands for at
// most 4,096 pixels, so a file cannot hold more than about 2,731 pixels per
// byte of image data. Qt's reader allocates the whole picture (its logical
// screen) from the header; a file of a few bytes that claims one of
// millions of pixels is refused here before that.

#include "decoding/DecodedPicture.h"

namespace finder {

// False for a file whose frames, or whose logical screen, could not be filled
// by its image data, and for a file whose blocks do not parse.
bool gifDataCanFill(decoding::Bytes file);

} // namespace finder
