#pragma once
// Limits on files that hold several pictures (an animated WebP, the pictures
// of one HEIF file). Every frame is kept whole in memory, so the frames of
// one file together may hold no more pixels than one picture may
// (kPixelBudget), and a few tiny frames cannot add up to millions of
// allocations either.

#include "decoding/DecodedPicture.h"
#include "decoding/PictureType.h"

#include <cstdint>
#include <string>

namespace decoding {

inline constexpr std::uint32_t kFrameLimit = 10'000;

inline bool withinFrameBudget(std::uint64_t width, std::uint64_t height, std::uint64_t frames)
{
    // withinPixelBudget() bounds each side first, so the products cannot wrap.
    return frames <= kFrameLimit && withinPixelBudget(width, height)
        && width * height * frames <= kPixelBudget;
}

inline std::string overFrameBudgetReason(
    std::uint64_t width, std::uint64_t height, std::uint64_t frames)
{
    if (frames > kFrameLimit)
        return std::to_string(frames) + " frames are over the frame limit of "
            + std::to_string(kFrameLimit);
    return std::to_string(frames) + " frames of " + std::to_string(width) + " x "
        + std::to_string(height) + " are over the pixel budget";
}

} // namespace decoding
