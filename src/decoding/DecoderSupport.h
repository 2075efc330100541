#pragma once
// Small pieces the decoders share; not part of the library's interface.

#include "decoding/DecodedPicture.h"
#include "decoding/PictureType.h"

#include <string>

namespace decoding::detail {

inline DecodeOutcome failure(DecodeStatus status, std::string reason)
{
    DecodeOutcome outcome;
    outcome.status = status;
    outcome.reason = std::move(reason);
    return outcome;
}

// A failure for want of memory at this moment: never remembered.
inline DecodeOutcome outOfMemory(std::string reason)
{
    DecodeOutcome outcome = failure(DecodeStatus::TooLarge, std::move(reason));
    outcome.failureKind = FailureKind::Passing;
    return outcome;
}

inline DecodeOutcome overBudget(std::uint64_t width, std::uint64_t height)
{
    return failure(DecodeStatus::TooLarge,
        std::to_string(width) + " x " + std::to_string(height) + " is over the pixel budget");
}

// Sets the size and allocates `count` frames, or returns false when the
// allocation fails (the caller reports outOfMemory()).
bool allocateFrames(DecodedPicture& picture, std::uint32_t width, std::uint32_t height,
    int bytesPerSample, std::size_t count);

} // namespace decoding::detail
