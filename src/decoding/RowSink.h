#pragma once
// Rows of an opaque picture handed out one by one, for a caller that writes
// them straight out (the converter's bitmap) instead of holding the picture.

#include <cstdint>

namespace decoding {

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
    NotStreamable, // a form the streaming decoder does not take: use decode()
    TooLarge, // over the pixel budget
    Failed, // damaged, or the sink stopped; see `reason`
};

} // namespace decoding
