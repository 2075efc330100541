// The Difference column's words for a same-photo copy next to its best copy.
#include "review/DifferenceVerdict.h"

#include <gtest/gtest.h>

namespace {

TEST(DifferenceVerdictTest, SaysInPlainWordsWhatTheCopyIs)
{
    const struct {
        review::PictureFacts copy;
        review::PictureFacts best;
        const char* words;
    } cases[] = {
        {{800, 600, "JPEG"}, {800, 600, "JPEG"}, "re-saved, same size"},
        {{400, 300, "JPEG"}, {800, 600, "JPEG"}, "half the width, re-saved"},
        {{401, 300, "JPEG"}, {801, 601, "JPEG"}, "half the width, re-saved"}, // rounded
        {{800, 600, "JPEG"}, {800, 600, "PNG"}, "converted from PNG, same size"},
        {{200, 150, "WebP"}, {800, 600, "PNG"}, "a quarter of the width, converted from PNG"},
        {{100, 75, "JPEG"}, {800, 600, "JPEG"}, "an eighth of the width, re-saved"},
        {{600, 450, "JPEG"}, {800, 600, "JPEG"}, "three quarters of the width, re-saved"},
        {{1600, 1200, "JPEG"}, {800, 600, "TIFF"}, "twice the width, converted from TIFF"},
        {{500, 375, "JPEG"}, {800, 600, "JPEG"}, "63% of the width, re-saved"},
        {{1000, 750, "JPEG"}, {800, 600, "JPEG"}, "enlarged to 125% of the width, re-saved"},
        // Not one scale: stretched or cropped.
        {{640, 640, "JPEG"}, {800, 600, "JPEG"}, "resized to 640 \u00d7 640, re-saved"},
        {{800, 598, "JPEG"}, {800, 600, "JPEG"}, "resized to 800 \u00d7 598, re-saved"},
        {{799, 599, "PNG"}, {800, 600, "PNG"}, "resized to 799 \u00d7 599, re-saved"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(review::differenceVerdict(c.copy, c.best), QString::fromUtf8(c.words))
            << c.copy.width << "x" << c.copy.height << " " << c.copy.type.toStdString();
    }
}

TEST(DifferenceVerdictTest, FiguresFollowInTheirOwnWords)
{
    similar::PhotoDifference d;
    d.ssim = 0.9812;
    d.mean = 1.24;
    d.max = 14;
    d.comparedWidth = 800;
    d.comparedHeight = 600;
    d.local.value = 9.12;
    d.local.limit = 20.3;
    d.tone.mean = {0.14, -0.21, 0.0};
    EXPECT_EQ(review::differenceFigures(d),
        QStringLiteral("SSIM 0.981, mean 1.2, largest 14, worst region 9.1 of 20.3 allowed, "
                       "tone +0.1/-0.2/+0.0 at 800 \u00d7 600"));
}

} // namespace
