#pragma once
// Decodes pictures with Qt's image readers into Corvane's pixel form: BMP,
// JPEG and GIF (every frame of an animation, each composed as a viewer shows
// it), and, until the converter's own decoders are linked, PNG and TIFF (Qt 6
// reads 16-bit samples into 64-bit pixels, so their full depth is kept).
// Orientation tags are not applied: the stored pixels are compared.

#include "decoding/DecodedPicture.h"

namespace finder {

// Call once before decoding on several threads: raises Qt's allocation limit
// to Corvane's pixel budget.
void prepareQtDecoding();

decoding::DecodeOutcome decodeWithQt(decoding::Bytes file, decoding::PictureType type);

// Dimensions from the header through Qt's reader (PNG, TIFF); frames is 0
// (not known without reading further).
decoding::PictureHeader headerWithQt(decoding::Bytes head, decoding::PictureType type);

} // namespace finder
