#pragma once
// PNG through libpng: every colour type and bit depth, transparency from
// tRNS, interlaced files. An animated PNG (acTL chunk) reports its frame
// count from the header and is refused by decode(): libpng reads only its
// first frame, and a first frame alone must never stand for the animation
// (unless the caller asks for the first frame only).

#include "decoding/DecodeOptions.h"
#include "decoding/DecodedPicture.h"
#include "decoding/RowSink.h"

#include <string>

namespace decoding::png {

PictureHeader readHeader(Bytes file);
DecodeOutcome decode(Bytes file, const DecodeOptions& options = {});

// Streams a PNG without alpha, transparency or interlacing as 8-bit rows
// (16-bit samples rounded as DecodeOptions::eightBit says). The rows are
// written by libpng itself in the sink's order, so nothing but inflating and
// unfiltering is done to them. An animated PNG streams its first frame only
// when options.firstFrameOnly is set.
StreamResult streamOpaqueRows(
    Bytes file, const DecodeOptions& options, RowSink& sink, std::string* reason);

} // namespace decoding::png
