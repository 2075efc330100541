#pragma once
// PNG through libpng: every colour type and bit depth, transparency from
// tRNS, interlaced files. An animated PNG (acTL chunk) reports its frame
// count from the header and is refused by decode(): libpng reads only its
// first frame, and a first frame alone must never stand for the animation
// (unless the caller asks for the first frame only).

#include "decoding/DecodeOptions.h"
#include "decoding/DecodedPicture.h"

#include <string>

namespace decoding::png {

PictureHeader readHeader(Bytes file);
DecodeOutcome decode(Bytes file, const DecodeOptions& options = {});

// Receives an opaque picture row by row, for a caller that writes the rows
// straight out (the converter's bitmap) instead of holding the picture.
class RowSink {
public:
    virtual ~RowSink() = default;
    // Called once with the size before any row; false stops the decoding.
    virtual bool begin(std::uint32_t width, std::uint32_t height) = 0;
    // Where row y goes: 3 * width bytes, B, G, R for each pixel (the order of
    // a 24-bit bitmap). Rows come top to bottom.
    virtual std::uint8_t* row(std::uint32_t y) = 0;
    // Row y is written; false stops the decoding.
    virtual bool rowDone(std::uint32_t y) = 0;
};

enum class StreamResult {
    Streamed, // every row went to the sink, and the image data ended well
    NotStreamable, // alpha or transparency, interlaced, animated: use decode()
    TooLarge, // over the pixel budget
    Failed, // damaged, or the sink stopped; see `reason`
};

// Streams a PNG without alpha, transparency or interlacing as 8-bit rows
// (16-bit samples rounded as DecodeOptions::eightBit says). The rows are
// written by libpng itself in the sink's order, so nothing but inflating and
// unfiltering is done to them. An animated PNG streams its first frame only
// when options.firstFrameOnly is set.
StreamResult streamOpaqueRows(
    Bytes file, const DecodeOptions& options, RowSink& sink, std::string* reason);

} // namespace decoding::png
