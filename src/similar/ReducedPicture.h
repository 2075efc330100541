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

// A proof picture as a search keeps it: 8-bit planes, about a tenth of the
// floats it is made from. Luma at full size; colour (Cb, Cr) averaged over
// 2 x 2 pixels, since what the proof asks of colour is a channel's mean
// over an area or a block, not its finest detail; alpha only when some
// pixel is not opaque. Every plane is rounded once, from the averaged floats.
struct ProofPicture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> luma; // width * height
    // Cb, Cr pairs of (width + 1) / 2 x (height + 1) / 2 cells; empty when
    // the picture is grey (every cell 128, 128).
    std::vector<std::uint8_t> chroma;
    std::vector<std::uint8_t> alpha; // width * height; empty when every pixel is opaque

    std::uint32_t chromaWidth() const { return (width + 1) / 2; }
    std::uint32_t chromaHeight() const { return (height + 1) / 2; }
    // What its planes take in memory.
    std::uint64_t bytes() const;
};

// The averaged floats brought to 8-bit planes.
ProofPicture eightBitProof(const ReducedPicture& picture);
// Back to RGBA floats, which the proof's figures are measured on: colour
// interpolated between the cells' centres; opaque when it has no alpha.
ReducedPicture floatsOf(const ProofPicture& picture);

} // namespace similar
