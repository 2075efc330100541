#pragma once
// The figures of a proof that look at parts of the picture, not its average:
// what a watermark, a pasted patch, a brightness edit or a crop changes while
// the whole-picture SSIM and mean stay where a re-save leaves them.
//
// - Local: the picture is cut into overlapping square blocks (a sixteenth of
//   the shorter side). Each block's mean difference is judged against what
//   re-save noise could leave there: a floor, a multiple of the noise the
//   picture shows as a whole (the median block), and a share of the block's
//   own detail (JPEG noise gathers at edges and texture). The worst block,
//   as a share of its allowance, is the figure.
// - Tone: the signed mean difference per channel (copy minus reference), and
//   the same within each tenth of the reference's brightness range (a
//   contrast or curve edit moves the darks and lights apart and can leave
//   the mean alone). A re-save, a resize or a change of type moves neither.
// - Framing: a strip along each edge of the copy is slid against the
//   reference; where one aligns best a pixel or more away, the framing
//   differs (a crop resized back to the same size, a cut of one side).

#include "similar/ReducedPicture.h"

#include <array>
#include <cstdint>

namespace similar {

struct LocalFigure {
    double value = 0; // the worst block's mean difference, in 8-bit levels
    double limit = 0; // what re-save noise may leave in that block
    std::array<std::uint32_t, 4> region{}; // x, y, width, height in the measured pixels
    double share = 0; // how much of the picture lies in blocks over their limit, 0..1
    // How far those blocks reach across the picture: the larger side of
    // their bounding box as a share of the picture's side, 0..1. A watermark
    // or a patch is compact; a cut along one side reaches across.
    double span = 0;

    bool operator==(const LocalFigure&) const = default;
};

struct ToneFigure {
    std::array<double, 3> mean{}; // red, green, blue: copy minus reference, in levels
    double worstBand = 0; // largest signed-mean difference of any brightness band, in levels
    // How far the blocks' own mean brightness moved, in levels: of the
    // blocks outside an edited region, the shift that nine in ten stay under. A contrast or curve
    // edit moves dark and light areas apart, which the whole picture's mean may not show.
    double blockShift = 0;

    bool operator==(const ToneFigure&) const = default;
};

struct RegionFigures {
    LocalFigure local;
    ToneFigure tone;
    // The largest displacement, in measured pixels, at which an edge strip
    // of the copy matches the reference best (0 where every strip matches in
    // place or holds too little structure to tell).
    double shift = 0;
};

// Both pictures of the same size; `reference` is the one the copy is judged
// against. The tone and the framing are measured outside the blocks that
// fail the local figure: a watermark or a pasted patch is one region, not a
// change of the whole picture's tone or framing.
RegionFigures measureRegions(const ReducedPicture& reference, const ReducedPicture& copy);

} // namespace similar
