#pragma once
// The scale a JPEG's proof picture and signature are made at. libjpeg's DCT
// scaling gives a JPEG at a half, a quarter or an eighth of its size for a
// fraction of a full decode, so a JPEG's proof picture (and the signature
// made from it) always comes from the decode at the smallest of those scales
// that is still at least its proof picture's size: never from a full decode
// of a larger one, even when one is at hand. The scale depends only on the
// picture's own dimensions, so a picture's signature and proof picture are
// the same whichever decode the search happened to run first.

#include <cstdint>

namespace similar {

// For a JPEG of width x height: 8, 4 or 2 when libjpeg's decode at that
// reduction (each side rounded up) still covers proofSize(width, height),
// else 1 (the full decode).
int jpegReduction(std::uint32_t width, std::uint32_t height);

} // namespace similar
