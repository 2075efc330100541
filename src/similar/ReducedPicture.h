#pragma once
// A picture brought to a smaller size by area averaging: every output pixel
// is the mean of the source area it covers (fractional edges weighted), so
// that a resize made by any program lands close to the same numbers.
// Samples are floats on the 8-bit scale (0..255), RGBA, rows packed.

#include "decoding/DecodedPicture.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace similar {

// One frame of decoded pixels as they lie in memory: straight RGBA (or BGRA
// words in host order, as Qt's RGB32 gives them), 8 or 16 bits a sample.
struct FrameView {
    const std::uint8_t* data = nullptr;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::size_t stride = 0; // bytes from one row to the next
    int bytesPerSample = 1; // 1 or 2 (host order)
    bool bgraWords = false; // 0xAARRGGBB words (Qt's RGB32/ARGB32) instead of R, G, B, A bytes
};

// The first frame of a decoded RGBA picture (at least one frame).
FrameView firstFrameOf(const decoding::DecodedPicture& picture);

struct ReducedPicture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<float> samples; // width * height * 4

    const float* pixel(std::uint32_t x, std::uint32_t y) const
    {
        return samples.data() + (std::size_t(y) * width + x) * 4;
    }
};

// The frame averaged down to width x height (each at most the frame's own).
ReducedPicture reduceArea(const FrameView& frame, std::uint32_t width, std::uint32_t height);
ReducedPicture reduceArea(const ReducedPicture& picture, std::uint32_t width, std::uint32_t height);

// Enlarged back to width x height by bilinear interpolation (pixel centres
// aligned), as a viewer or a careless export enlarges.
ReducedPicture enlargeBilinear(
    const ReducedPicture& picture, std::uint32_t width, std::uint32_t height);

// The frame as floats at its own size.
ReducedPicture fullSize(const FrameView& frame);

} // namespace similar
