#pragma once
// The proof that two pictures are the same photo: both brought to one common
// size (the smaller picture's, by area averaging) and measured there. The
// figures are what the user is shown next to every member of a same-photo group.

#include "similar/ReducedPicture.h"

#include <cstdint>
#include <optional>

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

// Measures two pictures of the same size.
PhotoDifference measure(const ReducedPicture& a, const ReducedPicture& b);

// Brings both frames to the smaller one's size and measures them; nothing
// when their aspect ratios differ by more than 1 %.
std::optional<PhotoDifference> compareFrames(const FrameView& a, const FrameView& b);

// Whether `picture` is an enlargement of a copy of width x height: reduced to
// that size and enlarged again it differs from itself by no more than a
// re-save would (what it holds beyond that size is nothing but interpolation).
bool isEnlargement(const FrameView& picture, std::uint32_t width, std::uint32_t height);

} // namespace similar
