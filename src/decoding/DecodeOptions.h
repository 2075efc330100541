#pragma once
// How a caller wants the pixels of a decoded picture.

namespace decoding {

struct DecodeOptions {
    // Samples of more than 8 bits are reduced to 8 bits, rounded to the
    // nearest value (v * 255 / maximum), for callers that can only show or
    // write 8-bit pictures. Off: 16-bit samples stay 16-bit, so pictures that
    // differ only in their low bits never compare equal.
    bool eightBit = false;
    // Only the first frame or page is decoded (an animated PNG gives its
    // default image), for a caller that accounts for the rest itself, as
    // Corvane's search does for its converter with a digest of the rest.
    // Off: every frame is decoded, or the picture is refused.
    bool firstFrameOnly = false;
};

} // namespace decoding
