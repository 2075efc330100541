#pragma once
// Rows of an opaque picture handed out one by one, for a caller that writes
// them straight out (the converter's bitmap) or hashes them (the search's
// fingerprint of a JPEG) instead of holding the picture.

#include <cstdint>

namespace decoding {

// The order of a pixel's three samples in a row.
enum class RowOrder {
    Bgr, // a 24-bit bitmap's
    Rgb, // the pixel form's
};

class RowSink {
public:
    virtual ~RowSink() = default;
    // Called once with the size before any row; false stops the decoding.
    virtual bool begin(std::uint32_t width, std::uint32_t height) = 0;
    // The order the rows are wanted in; every streaming decoder honours it.
    virtual RowOrder order() const { return RowOrder::Bgr; }
    // Where row y goes: 3 * width bytes, three samples a pixel in order().
    // Rows come top to bottom.
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
