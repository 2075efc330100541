#pragma once
// The rule that makes same-photo groups out of measured pairs.
//
// A unit is one picture: a file, or a group of pixel-identical files. Two
// units are candidates when their hashes are near (SignatureIndex), their
// aspect ratios agree and their colour thumbnails are close; every candidate
// pair is proven by measuring it (PhotoDifference). Units joined by passing
// proofs make a cluster. Each cluster names its reference copy: the most
// pixels, then the least lossy type, then the largest file, never an
// enlargement of a smaller member. A unit is a member only when its own
// difference from the reference passes the thresholds: the rule never
// follows a chain (A like B, B like C). What is left of a cluster is grouped
// again the same way. Then the group's best copy is chosen (BestCopy.h);
// when there is one it comes first, and the others are measured against it.

#include "decoding/DecodedPicture.h"
#include "similar/Enlargement.h"
#include "similar/PhotoDifference.h"
#include "similar/PhotoSignature.h"

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace similar {

struct PhotoUnit {
    PhotoSignature signature;
    int lossRank = 0; // lossRank() of its type; the lowest of its files
    std::int64_t largestFile = 0; // bytes
    std::int64_t modifiedNs = 0; // the oldest modification time of its files
};

// 0 for types that keep every pixel as it was given, higher for lossier ones.
int lossRank(decoding::PictureType type);

// What the grouping asks of the files behind the units. prove(a, b) measures
// two units (nothing when they cannot be compared: aspect ratios apart, a
// file that no longer decodes); enlargement(a, b): whether unit a is an
// enlargement of a picture of unit b's size; isLossless(a): whether every
// file of unit a is coded without loss; madeFrom(a, b): whether lossless
// unit a holds lossy unit b's decode (the same size, every sample within one
// level), nothing when that could not be learned.
class PhotoEvidence {
public:
    virtual ~PhotoEvidence() = default;
    virtual std::optional<PhotoDifference> prove(std::uint32_t a, std::uint32_t b) = 0;
    virtual Enlargement enlargement(std::uint32_t a, std::uint32_t b) = 0;
    virtual bool isLossless(std::uint32_t a) = 0;
    virtual std::optional<bool> madeFrom(std::uint32_t a, std::uint32_t b) = 0;
};

// How many candidates each unit keeps at most: the nearest by hash distance
// (of equal distances, the nearest in aspect ratio). A pair is kept when
// either side keeps it, so a part of the candidates cut off from the rest
// holds more than this many units, and two such parts more than twice as
// many: a photo with up to 64 copies near each other stays linked whatever
// the cap leaves out. A crowd of colliding pictures (video frames,
// screenshots, pictures a pixel apart) is linked as a band of this width,
// and the pairs to prove grow with the number of pictures, not its square.
inline constexpr std::size_t kNearestCandidates = 32;

// Pairs (a < b, in order) worth proving: hashes within kMaxHashDistance,
// aspect ratios and colour thumbnails that agree, each unit's nearest
// `nearest` of those (a pair is kept when either side keeps it).
std::vector<std::pair<std::uint32_t, std::uint32_t>> candidatePairs(
    const std::vector<PhotoUnit>& units, std::size_t nearest = kNearestCandidates);

struct PhotoGroup {
    std::uint32_t best = 0; // the best copy, or the reference copy when there is none
    bool hasBestCopy = false;
    std::string because; // why `best` is the best copy, or why there is none
    // The other members with their difference from `best`, most similar first.
    std::vector<std::pair<std::uint32_t, PhotoDifference>> others;
};

// The groups, each of at least two units; the candidate pairs are proven
// through evidence (in the order given), and so are the members against their best copy.
std::vector<PhotoGroup> groupSamePhotos(const std::vector<PhotoUnit>& units,
    const std::vector<std::pair<std::uint32_t, std::uint32_t>>& candidates,
    PhotoEvidence& evidence);

} // namespace similar
