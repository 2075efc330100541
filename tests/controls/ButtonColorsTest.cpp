#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPalette>

#include "controls/ButtonColors.h"
#include "controls/ButtonOutline.h"

namespace {

struct OffsetCase {
    const char* name;
    quint32 colour;
    qint32 amount;
    bool scaleBlue;
    quint32 expected;
};

class OffsetColorTest : public ::testing::TestWithParam<OffsetCase> { };

TEST_P(OffsetColorTest, GivesExpectedColour)
{
    const OffsetCase& c = GetParam();
    EXPECT_EQ(OffsetColor(c.colour, c.amount, c.scaleBlue), c.expected)
        << std::hex << "got 0x" << OffsetColor(c.colour, c.amount, c.scaleBlue);
}

INSTANTIATE_TEST_SUITE_P(Cases, OffsetColorTest,
    ::testing::Values(
        // Red and green move by the amount, blue by blue * amount \ 192.
        OffsetCase{"brightenScaledSaturates", 0xFFFF80, 48, true, 0xFFFFB0},
        OffsetCase{"darkenScaledBlueFallsFaster", 0xFFFFB0, -32, true, 0xD5DF90},
        OffsetCase{"greyDarkenedScaled", 0x808080, -64, true, 0x564040},
        OffsetCase{"plainAmountOnBlue", 0x808080, -64, false, 0x404040},
        OffsetCase{"clampsBelowZero", 0x102030, -100, false, 0x000000},
        OffsetCase{"clampsAboveMax", 0xF0E0D0, 100, false, 0xFFFFFF},
        OffsetCase{"clampsEachComponentAlone", 0x00FF10, 20, false, 0x14FF24},
        // Blue scaling truncates toward zero: 255 * -1 \ 192 = -1.
        OffsetCase{"scaledTruncatesTowardZero", 0xFF0000, -1, true, 0xFE0000},
        OffsetCase{"scaledSmallBlueStays", 0x010000, -100, true, 0x010000},
        OffsetCase{"zeroAmountIsIdentity", 0x123456, 0, true, 0x123456},
        // A value with the top bit set splits with signed division: the
        // negative green and blue clamp to zero instead of wrapping.
        OffsetCase{"topBitSetSplitsSigned", 0x8000000F, 0, false, 0x00000F}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DeriveSchemeColors, CustomSchemeDerivesEveryToneFromBackColor)
{
    const ButtonTones t = DeriveSchemeColors(2, 0xFFFF80, 0x123456);
    EXPECT_EQ(t.FaceTone, 0xFFFF80u);
    EXPECT_EQ(t.LightTone, 0xFFFF9Fu);
    EXPECT_EQ(t.HighlightTone, 0xFFFFAFu);
    EXPECT_EQ(t.ShadowTone, 0xBFBF40u);
    EXPECT_EQ(t.DarkTone, 0x3F3F00u);
    EXPECT_EQ(t.TextTone, 0x123456u);
}

TEST(DeriveSchemeColors, FixedGreyIgnoresBackAndForeColor)
{
    for (quint32 back : {0u, 0xFFFF80u, 0x0000FFu}) {
        const ButtonTones t = DeriveSchemeColors(3, back, 0xFFFFFF);
        EXPECT_EQ(t.FaceTone, 0xC0C0C0u);
        EXPECT_EQ(t.LightTone, 0xDFDFDFu);
        EXPECT_EQ(t.HighlightTone, 0xFFFFFFu);
        EXPECT_EQ(t.ShadowTone, 0x808080u);
        EXPECT_EQ(t.DarkTone, 0u);
        EXPECT_EQ(t.TextTone, 0u);
    }
}

TEST(DeriveSchemeColors, OtherSchemesTakeThePaletteAndIgnoreBackColor)
{
    const QPalette palette = QGuiApplication::palette();
    const auto bgr = [&](QPalette::ColorRole role) {
        return fromQRgb(palette.color(QPalette::Active, role).rgb());
    };
    for (int scheme : {0, 1, 7, -1}) {
        SCOPED_TRACE(scheme);
        const ButtonTones t = DeriveSchemeColors(scheme, 0x0000FF, 0x00FF00);
        EXPECT_EQ(t.FaceTone, bgr(QPalette::Button));
        EXPECT_EQ(t.LightTone, bgr(QPalette::Midlight));
        EXPECT_EQ(t.HighlightTone, bgr(QPalette::Light));
        EXPECT_EQ(t.ShadowTone, bgr(QPalette::Dark));
        EXPECT_EQ(t.DarkTone, bgr(QPalette::Shadow));
        EXPECT_EQ(t.TextTone, bgr(QPalette::ButtonText));
    }
    EXPECT_EQ(systemButtonFace(), bgr(QPalette::Button));
    EXPECT_EQ(systemButtonText(), bgr(QPalette::ButtonText));
}

int cutPixels(const QRegion& region, int w, int h)
{
    int cut = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            cut += region.contains(QPoint(x, y)) ? 0 : 1;
    return cut;
}

TEST(BuildOutline, CutPixelCountsFor75x25)
{
    EXPECT_EQ(cutPixels(BuildOutline(3, 75, 25), 75, 25), 12);
    EXPECT_EQ(cutPixels(BuildOutline(4, 75, 25), 75, 25), 12);
    EXPECT_EQ(cutPixels(BuildOutline(5, 75, 25), 75, 25), 2);
    EXPECT_EQ(cutPixels(BuildOutline(1, 75, 25), 75, 25), 4);
    for (int type : {0, 2, 6, 7, 8})
        EXPECT_EQ(cutPixels(BuildOutline(type, 75, 25), 75, 25), 0) << type;
}

TEST(BuildOutline, CutsTheRightPixels)
{
    const int w = 75, h = 25;
    const QRegion gradient = BuildOutline(3, w, h);
    for (QPoint p : {QPoint(0, 0), QPoint(1, 0), QPoint(0, 1), QPoint(0, h - 1), QPoint(1, h - 1),
             QPoint(0, h - 2), QPoint(w - 2, 0), QPoint(w - 1, 0), QPoint(w - 1, 1),
             QPoint(w - 2, h - 1), QPoint(w - 1, h - 1), QPoint(w - 1, h - 2)})
        EXPECT_FALSE(gradient.contains(p)) << p.x() << "," << p.y();
    for (QPoint p : {QPoint(1, 1), QPoint(2, 0), QPoint(w - 2, 1), QPoint(w - 3, h - 1)})
        EXPECT_TRUE(gradient.contains(p)) << p.x() << "," << p.y();

    const QRegion boldFlat = BuildOutline(5, w, h);
    EXPECT_FALSE(boldFlat.contains(QPoint(0, h - 1)));
    EXPECT_FALSE(boldFlat.contains(QPoint(w - 1, 0)));
    EXPECT_TRUE(boldFlat.contains(QPoint(0, 0)));
    EXPECT_TRUE(boldFlat.contains(QPoint(w - 1, h - 1)));
}

} // namespace
