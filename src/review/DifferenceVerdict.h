#pragma once
// The Difference column's words: what a same-photo copy is next to its
// group's best copy, in plain words first ("half the width, re-saved",
// "converted from PNG, same size"), the measured figures after them.
// The words come from the pixel sizes and types alone; the figures say how
// far the pixels are apart.

#include "similar/PhotoDifference.h"

#include <QString>

#include <cstdint>

namespace review {

struct PictureFacts {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    QString type; // as FoundFile::type
};

// "re-saved, same size", "half the width, re-saved", "converted from PNG,
// a quarter of the width", "resized to 640 x 640, re-saved".
QString differenceVerdict(const PictureFacts& copy, const PictureFacts& best);

// "SSIM 0.981, mean 1.2, largest 14, worst region 9.1 of 20.3 allowed,
// tone +0.1/-0.2/+0.3 at 800 x 600".
QString differenceFigures(const similar::PhotoDifference& difference);

} // namespace review
