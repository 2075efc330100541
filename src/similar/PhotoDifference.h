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

#include "similar/ProofRule.h"
#include "similar/ReducedPicture.h"
#include "similar/RegionFigures.h"

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
    LocalFigure local; // the worst region against what re-save noise leaves there
    ToneFigure tone; // signed shifts of brightness and colour
    double shift = 0; // how far an edge of the copy lies from its place, in measured pixels
    // Several frames or pages: how many were measured (the figures are the
    // worst frame's); 1 for a still picture.
    std::uint32_t frames = 1;

    bool operator==(const PhotoDifference&) const = default;
};

// What the whole-picture figures must reach for two pictures to count as
// the same photo (ProofRule.h holds every bound and the README the figures
// that placed them).
struct PhotoThresholds {
    double minSsim = kMinSsim;
    double maxMean = kMaxMean;
};
inline constexpr PhotoThresholds kPhotoThresholds{};

// Hash bits two signatures may differ in and still be compared.
inline constexpr int kMaxHashDistance = 10;
// Colour thumbnails further apart than this (mean of one channel, 8-bit
// levels) are not compared: such a pair cannot pass the mean bound.
inline constexpr double kMaxThumbnailDifference = 14.0;

// Every figure within its bound: whole picture, every region, tone and framing.
bool passes(
    const PhotoDifference& difference, const PhotoThresholds& thresholds = kPhotoThresholds);

// Why a pair that passes the whole-picture bounds is still not the same
// photo; None when it is, or when the whole picture already fails.
// Widespread: more of the picture differs than one region (another shot,
// a reframing the edge strips could not tell).
enum class Edit { None, Region, Tone, Framing, Widespread };
Edit editOf(const PhotoDifference& difference);

// Proofs between units are measured from the lower unit to the higher; the
// same difference as measured from `from` to `to` (the tone changes its sign).
PhotoDifference measuredFrom(std::uint32_t from, std::uint32_t to, PhotoDifference difference);

// The worse of two frames' figures: a picture of several frames is the
// same photo only when every frame is.
PhotoDifference worseOf(const PhotoDifference& a, const PhotoDifference& b);

// The long side of a proof picture.
inline constexpr std::uint32_t kProofSide = 512;

// The largest `max` two proof pictures of the same size can show when no
// sample of the two pictures differs by more than one level: averaging keeps
// the difference within a level, rounding to 8 bits widens it to two at most.
inline constexpr int kOneLevelOnProof = 2;

// The size a picture of width x height is measured from: its own when its
// long side is at most kProofSide, otherwise scaled to that (each side at
// least one pixel).
std::pair<std::uint32_t, std::uint32_t> proofSize(std::uint32_t width, std::uint32_t height);

// The frame averaged down to proofSize() and rounded to 8-bit planes; what
// a search keeps of a picture for its proofs.
ProofPicture proofPicture(const FrameView& frame);

// Measures two pictures of the same size: every figure.
PhotoDifference measure(const ReducedPicture& a, const ReducedPicture& b);
// Only the whole-picture figures (SSIM, mean, largest): what a picture
// measured against its own round trip needs.
PhotoDifference measureWhole(const ReducedPicture& a, const ReducedPicture& b);

// Brings two proof pictures to the smaller one's size and measures them.
// The caller has checked the aspect ratios (of the whole pictures).
PhotoDifference compareProofPictures(const ProofPicture& a, const ProofPicture& b);

// Both frames' proof pictures compared; nothing when their aspect ratios
// differ by more than 1 %.
std::optional<PhotoDifference> compareFrames(const FrameView& a, const FrameView& b);

} // namespace similar
