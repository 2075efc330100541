#pragma once
// A picture's perceptual signature: what the same-photo search keeps per
// picture to find candidates without looking at pixels again.
//
//  - hash: 64 bits from the low frequencies of a 32 x 32 luma thumbnail
//    (a DCT; each bit says whether one coefficient lies above their median),
//    so a re-save, a resize or a few changed pixels move few bits, while a
//    mirror, a turn or another framing moves many;
//  - a 4 x 4 colour thumbnail, to pass over a colour or exposure edit
//    before any decode;
//  - the picture's width and height (its aspect ratio).

#include "similar/ReducedPicture.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace similar {

struct PhotoSignature {
    std::uint64_t hash = 0;
    std::uint32_t width = 0; // of the whole picture, not of what the hash was made from
    std::uint32_t height = 0;
    std::array<std::uint8_t, 48> colour{}; // 4 x 4 pixels, R, G, B

    bool operator==(const PhotoSignature&) const = default;
};

// Raised whenever signatures or proofs made before would differ (kept ones
// are then made again). 3: proofs measured on capped proof pictures. 4: a JPEG's
// signature always from its decode at jpegReduction, whatever other decode
// was at hand. 5: a picture's signature from its 8-bit proof picture.
inline constexpr int kSignatureRevision = 5;

// The signature of a picture of width x height whose pixels are given
// (perhaps at a reduced scale: the hash and thumbnail depend only on the
// picture's look).
PhotoSignature signatureOf(const FrameView& pixels, std::uint32_t width, std::uint32_t height);
// The same from a picture already averaged down.
PhotoSignature signatureOf(const ReducedPicture& pixels, std::uint32_t width, std::uint32_t height);
// The same from a proof picture, as the proof reads it (so that a
// signature does not depend on whether the proof picture was kept).
PhotoSignature signatureOf(const ProofPicture& proof, std::uint32_t width, std::uint32_t height);

// Differing bits of two hashes.
int hashDistance(std::uint64_t a, std::uint64_t b);

// Largest mean difference of one channel between the colour thumbnails, in 8-bit levels.
double thumbnailDifference(const PhotoSignature& a, const PhotoSignature& b);

// Whether two aspect ratios (width / height) differ by at most 1 %.
bool aspectsAgree(
    std::uint32_t widthA, std::uint32_t heightA, std::uint32_t widthB, std::uint32_t heightB);

// A fixed-length byte form for the cache; unpack gives nothing for other bytes.
std::vector<std::uint8_t> pack(const PhotoSignature& signature);
std::optional<PhotoSignature> unpackSignature(const std::uint8_t* bytes, std::size_t length);

} // namespace similar
