#pragma once
// The scale a JPEG's signature is made at. libjpeg's DCT scaling gives a
// JPEG at a half, a quarter or an eighth of its size for a fraction of a
// full decode, and the signature looks at no more than 32 x 32 cells, so a
// JPEG's signature always comes from its decode at that reduction: also
// when the identical search decoded it whole, so that a picture's signature
// is the same whichever decode a search happened to run first. (Proof
// pictures are always made from the full decode.)

#include "decoding/DecodedPicture.h"
#include "similar/PhotoSignature.h"

#include <cstdint>

namespace similar {

// The reduction libjpeg can give that keeps both sides at 32 pixels or more
// (8, 4, 2 or 1); it depends only on the picture's own dimensions.
int jpegReduction(std::uint32_t width, std::uint32_t height);

// The signature of a JPEG of width x height (as shown) from its decode at
// jpegReduction(width, height), turned as shown; nothing when that decode
// is not of red, green, blue and alpha.
std::optional<PhotoSignature> reducedJpegSignature(
    const decoding::DecodedPicture& reduced, std::uint32_t width, std::uint32_t height);

} // namespace similar
