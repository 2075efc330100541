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

// A proof picture as a search keeps it: 8-bit samples, a fifth of the
// floats it is made from. Red, green and blue at full size (the proof
// compares pictures at the smaller one's size, down to a few dozen pixels,
// where colour at a lower resolution than the luma loses true copies), or
// one grey sample when every pixel is grey; alpha only when some pixel is
// not opaque. Every sample is rounded once, from the averaged floats.
struct ProofPicture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int channels = 3; // 3: R, G, B a pixel; 1: grey
    std::vector<std::uint8_t> colour; // width * height * channels
    std::vector<std::uint8_t> alpha; // width * height; empty when every pixel is opaque

    // What its planes take in memory.
    std::uint64_t bytes() const;
};

// The averaged floats brought to 8-bit planes.
ProofPicture eightBitProof(const ReducedPicture& picture);
// Back to RGBA floats, which the proof's figures are measured on; opaque
// when it has no alpha.
ReducedPicture floatsOf(const ProofPicture& picture);

} // namespace similar
