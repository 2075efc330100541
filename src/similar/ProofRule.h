#pragma once
// The numbers of the same-photo proof, in one place. Each was placed on the
// calibration half of the test collection (the README gives the figures
// that placed it); the other half checks them.

#include <cstdint>

namespace similar {

// Raised whenever a figure or a bound changes, so that no cached proof or
// enlargement verdict measured under an older rule is used again.
// 3: measured on 8-bit proof pictures.
inline constexpr int kProofRevision = 3;

// Whole picture: structural similarity of the luma, and the worst channel's
// mean absolute difference in 8-bit levels.
inline constexpr double kMinSsim = 0.85;
inline constexpr double kMaxMean = 7.0;

// Local: blocks a sixteenth of the shorter side (at least 4 pixels); a
// block may differ by kLocalFloor levels, plus kLocalNoise times the
// median block's difference, plus kLocalDetail times its own detail.
inline constexpr std::uint32_t kLocalBlockParts = 16;
inline constexpr std::uint32_t kLocalBlockMin = 4;
inline constexpr double kLocalFloor = 5.0;
inline constexpr double kLocalNoise = 5.0;
inline constexpr double kLocalDetail = 0.75;

// Tone: the largest signed mean difference of a channel, and of any tenth
// of the pixels by brightness, in levels.
inline constexpr int kToneBands = 10;
inline constexpr double kMaxTone = 2.0;
inline constexpr double kMaxToneBand = 2.6;
// Blocks: the share of them whose shift is judged, and its bound.
inline constexpr double kBlockShiftShare = 0.9;
inline constexpr double kMaxBlockShift = 1.6;

// An edited region: at most this share of the picture in blocks over their
// limit (more is a change of the whole: another shot, a reframing).
inline constexpr double kMaxRegionShare = 0.15;
// ... and within a box at most this share of either side (a cut along a
// whole side reaches across the picture).
inline constexpr double kMaxRegionSpan = 0.6;

// Framing: an edge strip that matches best further than this (in measured
// pixels) from its place; strips with less structure (mean squared step
// between neighbours, in levels) than kFramingStructure are not judged.
inline constexpr double kMaxFramingShift = 0.5;
inline constexpr double kFramingStructure = 4.0;

} // namespace similar
