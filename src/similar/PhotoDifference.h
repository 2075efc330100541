#pragma once
// The proof that two pictures are the same photo: each first averaged down to
// its proof picture (at most kProofSide pixels on its long side), then both
// brought to the smaller of the two sizes and measured there. The figures are
// what the user is shown next to every member of a same-photo group.
//
// The cap keeps a proof's cost and its memory independent of the camera:
// a 24-megapixel pair is measured on about 512 x 341 pixels, not on 6,000 x
// 4,000. Detail finer than that does not tell a re-save from the photo
// (both thresholds are about the look); what it would tell, an enlargement,
// is judged at full size (Enlargement.h).

#include "similar/ReducedPicture.h"

#include <cstdint>
#include <optional>
#include <utility>

namespace similar {

struct PhotoDifference {
    double ssim = 0; // structural similarity of the luma, 1 for equal pictures
    double mean = 0; // mean absolute difference of the worst channel, in 8-bit levels
    int max = 0; // largest absolute difference of any sample, in 8-bit levels
    std::uint32_t comparedWidth = 0; // the common size the figures were measured at
    std::uint32_t comparedHeight = 0;

    bool operator==(const PhotoDifference&) const = default;
};

// What the figures must reach for two pictures to count as the same photo.
// Chosen on the calibration half of the test collection (see the README):
// re-saves down to JPEG quality 70, resizes down to an eighth, HEIC, AVIF
// and WebP copies stay well inside; shifted or overlapping crops fall below
// the SSIM bound and colour or exposure edits above the mean bound.
struct PhotoThresholds {
    double minSsim = 0.85;
    double maxMean = 7.0;
};
inline constexpr PhotoThresholds kPhotoThresholds{};

// Hash bits two signatures may differ in and still be compared.
inline constexpr int kMaxHashDistance = 10;
// Colour thumbnails further apart than this (mean of one channel, 8-bit
// levels) are not compared: such a pair cannot pass the mean bound.
inline constexpr double kMaxThumbnailDifference = 14.0;

bool passes(
    const PhotoDifference& difference, const PhotoThresholds& thresholds = kPhotoThresholds);

// The long side of a proof picture.
inline constexpr std::uint32_t kProofSide = 512;

// The size a picture of width x height is measured from: its own when its
// long side is at most kProofSide, otherwise scaled to that (each side at
// least one pixel).
std::pair<std::uint32_t, std::uint32_t> proofSize(std::uint32_t width, std::uint32_t height);

// The frame averaged down to proofSize(); what a search keeps of a picture
// for its proofs.
ReducedPicture proofPicture(const FrameView& frame);

// Measures two pictures of the same size.
PhotoDifference measure(const ReducedPicture& a, const ReducedPicture& b);

// Brings two proof pictures to the smaller one's size and measures them.
// The caller has checked the aspect ratios (of the whole pictures).
PhotoDifference compareProofPictures(const ReducedPicture& a, const ReducedPicture& b);

// Both frames' proof pictures compared; nothing when their aspect ratios
// differ by more than 1 %.
std::optional<PhotoDifference> compareFrames(const FrameView& a, const FrameView& b);

} // namespace similar
