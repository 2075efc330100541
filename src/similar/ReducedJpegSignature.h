#pragma once
// A JPEG's signature from a decode at an eighth (a quarter, a half) of its
// size: libjpeg's DCT scaling skips most of the inverse transform, so a
// picture that nothing else needs decoded in full costs a fraction of a decode.

#include "decoding/DecodedPicture.h"
#include "similar/PhotoSignature.h"

#include <optional>

namespace similar {

// The reduction libjpeg can give that keeps both sides at 32 pixels or more
// (8, 4, 2 or 1).
int jpegReduction(std::uint32_t width, std::uint32_t height);

// Nothing when the file does not decode.
std::optional<PhotoSignature> reducedJpegSignature(
    decoding::Bytes file, std::uint32_t width, std::uint32_t height);

} // namespace similar
