#pragma once
// Whether a larger copy of a photo is an enlargement of a smaller one: a
// picture that holds nothing beyond the smaller size but interpolation.
//
// The larger picture is reduced to the smaller size and enlarged again by
// three methods (bilinear, bicubic, Lanczos: a program enlarges by one of
// them). Two tests follow: whether it reduces well (at least two round trips
// differ from it by no more than a re-save at quality 100 would), and whether
// the closest round trip is as near to it as its own JPEG re-save at quality
// 90: an enlargement saved as a JPEG holds nothing but that noise beyond the
// smaller size. Both yes: an enlargement. Both no: not one. A photo that is
// only soft reduces well, but its grain survives a re-save and not the round
// trip: where the tests disagree the verdict is Unsure, and nothing is built
// on it. (A picture with neither detail nor grain beyond the smaller size
// cannot be told from an enlargement by its pixels at all.)

#include "similar/PhotoDifference.h"
#include "similar/ReducedPicture.h"

#include <array>
#include <cstdint>

namespace similar {

enum class Enlargement : std::uint8_t { No = 0, Yes = 1, Unsure = 2 };

struct EnlargementFigures {
    // The picture against its round trip through the smaller size, by
    // bilinear, bicubic and Lanczos enlargement.
    std::array<PhotoDifference, 3> roundTrips;
    // The picture against its own JPEG re-save at quality 90.
    PhotoDifference resave;
};

// The side of the largest piece judged: a larger picture is judged on its
// middle kJudgedSide x kJudgedSide pixels (and the copy's size scaled alike).
inline constexpr std::uint32_t kJudgedSide = 1024;

// The figures of `picture` against a copy of width x height (both smaller).
EnlargementFigures enlargementFigures(
    const FrameView& picture, std::uint32_t width, std::uint32_t height);

// `noCodingNoise`: the picture was stored without loss and without a
// palette's dithering, so nothing in it is noise that a re-save keeps and a
// round trip drops: one that does not reduce well then holds detail beyond
// the smaller size, and the re-save test has nothing to tell.
Enlargement judgeEnlargement(const EnlargementFigures& figures, bool noCodingNoise = false);

// Whether `picture` is an enlargement of a copy of width x height; No when
// that size is not smaller on both sides.
Enlargement isEnlargement(const FrameView& picture, std::uint32_t width, std::uint32_t height,
    bool noCodingNoise = false);

// The picture enlarged (or reduced) to width x height through a separable
// kernel: the enlargements a program makes.
enum class Resampling { Bilinear, Bicubic, Lanczos };
ReducedPicture resample(
    const ReducedPicture& picture, std::uint32_t width, std::uint32_t height, Resampling method);

// The picture through a JPEG encode at `quality` (4:2:0, libjpeg's default
// tables) and back, alpha dropped.
ReducedPicture jpegResave(const ReducedPicture& picture, int quality);

} // namespace similar
