#pragma once
// PNG through libpng: every colour type and bit depth, transparency from
// tRNS, interlaced files. An animated PNG (acTL chunk) reports its frame
// count from the header and is refused by decode(): libpng reads only its
// first frame, and a first frame alone must never stand for the animation
// (unless the caller asks for the first frame only).

#include "decoding/DecodeOptions.h"
#include "decoding/DecodedPicture.h"

namespace decoding::png {

PictureHeader readHeader(Bytes file);
DecodeOutcome decode(Bytes file, const DecodeOptions& options = {});

} // namespace decoding::png
