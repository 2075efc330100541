#include <gtest/gtest.h>

#include <QFontMetrics>

#include "ButtonFaceHelpers.h"

namespace {

constexpr quint32 kFace = 0xFFFF80;

TEST(ButtonPrimitives, LineLeavesOutItsEndPixelInEveryDirection)
{
    ButtonFace face = customFace(0, 10, 10);
    QImage image;
    ButtonPainter painter(face, image);
    painter.fill(0, 0, 10, 10, 0);
    painter.line(2, 1, 6, 1, 0xFF);
    painter.line(6, 3, 2, 3, 0xFF);
    painter.line(8, 2, 8, 5, 0xFF);
    painter.line(1, 9, 1, 9, 0xFF);
    painter.line(5, 8, 5, 6, 0xFF);
    painter.line(0, 5, 3, 8, 0xFF);
    EXPECT_EQ(pixelsOf(image, 0xFF).size(), 4 + 4 + 3 + 2 + 3);
    EXPECT_EQ(px(image, 5, 7), 0xFFu);
    EXPECT_EQ(px(image, 5, 6), 0u);
    EXPECT_EQ(px(image, 2, 7), 0xFFu);
    EXPECT_EQ(px(image, 3, 8), 0u);
    EXPECT_EQ(px(image, 6, 1), 0u);
    EXPECT_EQ(px(image, 2, 1), 0xFFu);
    EXPECT_EQ(px(image, 2, 3), 0u);
    EXPECT_EQ(px(image, 6, 3), 0xFFu);
    EXPECT_EQ(px(image, 8, 5), 0u);
    EXPECT_EQ(px(image, 1, 9), 0u);
}

TEST(ButtonPrimitives, FillAndFrameExcludeRightAndBottomAndClip)
{
    ButtonFace face = customFace(0, 10, 10);
    QImage image;
    ButtonPainter painter(face, image);
    painter.fill(0, 0, 10, 10, 0);
    painter.frame(1, 1, 4, 3, 0xFF);
    EXPECT_EQ(pixelsOf(image, 0xFF).size(), 10); // 4 + 4 + 1 + 1
    EXPECT_EQ(px(image, 4, 3), 0xFFu);
    EXPECT_EQ(px(image, 5, 3), 0u);
    EXPECT_EQ(px(image, 2, 2), 0u);
    painter.fill(8, 8, 10, 10, 0xFF00);
    EXPECT_EQ(pixelsOf(image, 0xFF00).size(), 4);
    painter.frame(0, 0, 0, 5, 0xFF0000);
    painter.fill(5, 5, -2, 3, 0xFF0000);
    EXPECT_TRUE(pixelsOf(image, 0xFF0000).isEmpty());
}

TEST(ButtonPrimitives, FocusFrameInvertsEveryOtherPixelAndUndoesItself)
{
    ButtonFace face = customFace(0, 20, 12);
    QImage image;
    ButtonPainter painter(face, image);
    painter.fill(0, 0, 20, 12, 0x000000);
    const QImage before = image.copy();
    painter.focusFrame();
    // Frame (4, 4) to (16, 8) exclusive: 12 x 4 border = 28 pixels, half inverted.
    EXPECT_EQ(pixelsOf(image, 0xFFFFFF).size(), 14);
    EXPECT_EQ(px(image, 4, 4), 0xFFFFFFu);
    EXPECT_EQ(px(image, 5, 4), 0u);
    EXPECT_EQ(px(image, 5, 5), 0u); // inside the frame
    EXPECT_EQ(px(image, 15, 7), 0xFFFFFFu);
    EXPECT_EQ(px(image, 16, 8), 0u);
    painter.focusFrame();
    EXPECT_EQ(image, before);
}

TEST(GradientFace, RowsOfThe75x25Example)
{
    const QImage image = paintFace(customFace(3), 0);
    // Column 30 is covered by no edge line between rows 3 and 21.
    for (int i = 3; i <= 21; ++i)
        EXPECT_EQ(px(image, 30, i), rgbToBgr(176 - i, 255 - i, 255 - (255 * i) / 192)) << i;
    // Rows 23 and 24 keep their gradient colour at the cut corner pixels.
    EXPECT_EQ(px(image, 1, 24), rgbToBgr(152, 231, 224));
    EXPECT_EQ(px(image, 0, 23), rgbToBgr(153, 232, 225));
    // Row 0 stays FaceTone where the outline does not reach.
    EXPECT_EQ(px(image, 0, 0), kFace);
    EXPECT_EQ(px(image, 1, 0), kFace);
}

TEST(GradientFace, OddHeightsRoundTheStepHalfToEven)
{
    // H = 50: Step 0.5, so rows 5, 7 and 9 get -2.5 -> -2, -3.5 -> -4, -4.5 -> -4.
    const QImage image = paintFace(customFace(3, 60, 50), 0);
    const quint32 base = OffsetColor(kFace, 48, true);
    EXPECT_EQ(px(image, 30, 5), OffsetColor(base, -2, true));
    EXPECT_EQ(px(image, 30, 7), OffsetColor(base, -4, true));
    EXPECT_EQ(px(image, 30, 9), OffsetColor(base, -4, true));
}

TEST(GradientFace, NormalEdgesAndCorners)
{
    const int W = 75, H = 25;
    const QImage image = paintFace(customFace(3), 0);
    const quint32 b = OffsetColor(kFace, 48, true);
    const auto offB = [&](int n) { return OffsetColor(b, n, true); };
    EXPECT_EQ(px(image, 2, 0), 0x733C00u);
    EXPECT_EQ(px(image, W - 3, 0), 0x733C00u);
    EXPECT_EQ(px(image, W - 2, 0), kFace);
    EXPECT_EQ(px(image, 0, 2), 0x733C00u);
    EXPECT_EQ(px(image, W - 1, H - 3), 0x733C00u);
    EXPECT_EQ(px(image, 2, H - 1), 0x733C00u);
    for (QPoint p : {QPoint(1, 1), QPoint(1, H - 2), QPoint(W - 2, 1), QPoint(W - 2, H - 2)})
        EXPECT_EQ(px(image, p.x(), p.y()), 0x7B4D10u) << p.x() << "," << p.y();
    EXPECT_EQ(px(image, 10, H - 2), offB(-48));
    EXPECT_EQ(px(image, 10, H - 3), offB(-32));
    EXPECT_EQ(px(image, W - 2, 10), offB(-36));
    EXPECT_EQ(px(image, W - 3, 10), offB(-24));
    EXPECT_EQ(px(image, 10, 1), offB(16));
    EXPECT_EQ(px(image, 10, 2), offB(10));
    EXPECT_EQ(px(image, 1, 10), offB(-5));
    EXPECT_EQ(px(image, 2, 10), offB(-10));
}

TEST(GradientFace, HotLookWhenFocusedOrDefault)
{
    const int W = 75, H = 25;
    ButtonFace face = customFace(3);
    const QImage plain = paintFace(face, 0);
    face.hasFocus = true;
    const QImage focused = paintFace(face, 0);
    EXPECT_EQ(px(focused, 1, 10), 0xE7AE8Cu);
    EXPECT_EQ(px(focused, 10, H - 2), 0xEF826Bu);
    EXPECT_EQ(px(focused, 10, 1), 0xFFE7CEu);
    EXPECT_EQ(px(focused, 10, 2), 0xF7D7BDu);
    EXPECT_EQ(px(focused, 2, 10), 0xF0D1B5u);
    EXPECT_EQ(px(focused, W - 3, 10), 0xF0D1B5u);
    EXPECT_EQ(px(focused, W - 2, 10), 0xE7AE8Cu);

    face.hasFocus = false;
    face.shownAsDefault = true;
    EXPECT_EQ(paintFace(face, 0), focused);
    // Without ShowFocusRect neither focus nor default shows.
    face.showFocusRect = false;
    face.hasFocus = true;
    EXPECT_EQ(paintFace(face, 0), plain);
}

TEST(GradientFace, PressedShiftsCaptionAndNeverShowsFocus)
{
    ButtonFace face = customFace(3, 75, 25, kFace, 0x0000FF);
    face.caption = QStringLiteral("&Go");
    const QList<QPoint> normal = pixelsOf(paintFace(face, 0), 0x0000FF);
    const QImage pressedImage = paintFace(face, 2);
    const QList<QPoint> pressed = pixelsOf(pressedImage, 0x0000FF);
    ASSERT_GT(normal.size(), 10);
    QList<QPoint> shifted;
    for (const QPoint& p : normal)
        shifted << p + QPoint(1, 1);
    EXPECT_EQ(pressed, shifted);

    face.hasFocus = true;
    face.shownAsDefault = true;
    EXPECT_EQ(paintFace(face, 2), pressedImage);
}

TEST(GradientFace, PressedRowsDarkenUpwards)
{
    const int W = 75, H = 25;
    const QImage image = paintFace(customFace(3), 2);
    const quint32 p = OffsetColor(OffsetColor(kFace, 48, true), -32, true);
    // Step 15/25: row H - i gets round(-0.6 * i).
    EXPECT_EQ(px(image, 30, H - 5), OffsetColor(p, -3, true));
    EXPECT_EQ(px(image, 30, 3), OffsetColor(p, -13, true));
    EXPECT_EQ(px(image, 2, 0), 0x733C00u);
    EXPECT_EQ(px(image, 10, H - 2), OffsetColor(p, 16, true));
    EXPECT_EQ(px(image, W - 3, 10), p);
    EXPECT_EQ(px(image, 10, 1), OffsetColor(p, -32, true));
    EXPECT_EQ(px(image, 2, 10), OffsetColor(p, -22, true));
}

TEST(GradientFace, DisabledIsFlatWithPaleOutline)
{
    const int W = 75, H = 25;
    ButtonFace face = customFace(3);
    face.enabled = false;
    const QImage image = paintFace(face, 2);
    const quint32 b = OffsetColor(kFace, 48, true);
    EXPECT_EQ(px(image, 30, 10), OffsetColor(b, -24, true));
    EXPECT_EQ(px(image, 30, 20), OffsetColor(b, -24, true));
    EXPECT_EQ(px(image, 2, 0), OffsetColor(b, -84, true));
    EXPECT_EQ(px(image, W - 1, 2), OffsetColor(b, -84, true));
    EXPECT_EQ(px(image, W - 2, H - 2), OffsetColor(b, -72, true));
    EXPECT_EQ(image, paintFace(face, 0));
}

// One expected pixel of a face: style, look, point, colour (tones of the
// 0xFFFF80 custom scheme: F face, L light, Hi highlight, S shadow, D dark).
struct EdgeCase {
    const char* name;
    int type;
    int state; // 0 normal, 2 pressed, -1 disabled
    bool focus;
    bool isDefault;
    bool showFocusRect;
    int x, y; // negative: counted from W or H (-1 is W - 1)
    const char* tone;
    int offset; // plain OffsetColor applied to the tone
};

quint32 toneOf(const ButtonTones& t, const char* tone)
{
    const QString name = QString::fromLatin1(tone);
    if (name == "F")
        return t.FaceTone;
    if (name == "L")
        return t.LightTone;
    if (name == "Hi")
        return t.HighlightTone;
    if (name == "S")
        return t.ShadowTone;
    if (name == "D")
        return t.DarkTone;
    if (name == "CC9999")
        return 0xCC9999;
    return 0xDEADBEEF;
}

class StyleEdges : public ::testing::TestWithParam<EdgeCase> { };

TEST_P(StyleEdges, PixelHasTheSequenceColour)
{
    const EdgeCase& c = GetParam();
    const int W = 75, H = 25;
    ButtonFace face = customFace(c.type);
    face.enabled = c.state >= 0;
    face.hasFocus = c.focus;
    face.shownAsDefault = c.isDefault;
    face.showFocusRect = c.showFocusRect;
    const QImage image = paintFace(face, c.state < 0 ? 0 : c.state);
    const int x = c.x < 0 ? W + c.x : c.x;
    const int y = c.y < 0 ? H + c.y : c.y;
    EXPECT_EQ(px(image, x, y), OffsetColor(toneOf(face.tones, c.tone), c.offset))
        << std::hex << "0x" << px(image, x, y);
}

INSTANTIATE_TEST_SUITE_P(Sequences, StyleEdges,
    ::testing::Values(
        // OutlinedBevel: corners left to the region, dark outline, highlight frames, shadow.
        EdgeCase{"bevel1_corner", 1, 0, false, false, true, 0, 0, "F", 0},
        EdgeCase{"bevel1_outlineTop", 1, 0, false, false, true, 1, 0, "D", 0},
        EdgeCase{"bevel1_outlineRight", 1, 0, false, false, true, -1, -2, "D", 0},
        EdgeCase{"bevel1_cornerBottomRight", 1, 0, false, false, true, -1, -1, "F", 0},
        EdgeCase{"bevel1_innerTopLeft", 1, 0, false, false, true, 2, 2, "Hi", 0},
        EdgeCase{"bevel1_shadowRight", 1, 0, false, false, true, -2, 1, "S", 0},
        EdgeCase{"bevel1_shadowBottom", 1, 0, false, false, true, 1, -2, "S", 0},
        EdgeCase{"bevel1_pressedInner", 1, 2, false, false, true, 2, 2, "S", 0},
        EdgeCase{"bevel1_pressedRight", 1, 2, false, false, true, -3, 5, "Hi", 0},
        EdgeCase{"bevel1_disabledLikeNormal", 1, -1, true, false, true, -2, 1, "S", 0},
        // ClassicBevel.
        EdgeCase{"classic_plainTopLeft", 2, 0, false, false, true, 0, 0, "Hi", 0},
        EdgeCase{"classic_plainRight", 2, 0, false, false, true, -1, 0, "D", 0},
        EdgeCase{"classic_plainInnerRight", 2, 0, false, false, true, -2, 1, "S", 0},
        EdgeCase{"classic_plainInnerLeft", 2, 0, false, false, true, 1, 5, "L", 0},
        EdgeCase{"classic_defaultFrame", 2, 0, false, true, true, 0, 0, "D", 0},
        EdgeCase{"classic_defaultInner", 2, 0, false, true, true, 1, 1, "Hi", 0},
        EdgeCase{"classic_defaultRight", 2, 0, false, true, true, -2, 3, "D", 0},
        EdgeCase{"classic_defaultWithoutFocusRectIsPlain", 2, 0, true, true, false, 0, 0, "Hi", 0},
        EdgeCase{"classic_pressedFrame", 2, 2, false, false, true, -1, -1, "D", 0},
        EdgeCase{"classic_pressedInner", 2, 2, false, false, true, 1, 1, "S", 0},
        EdgeCase{"classic_pressedNoFocusRectRight", 2, 2, false, false, false, -1, 0, "Hi", 0},
        EdgeCase{"classic_pressedNoFocusRectInner", 2, 2, false, false, false, -2, 5, "L", 0},
        EdgeCase{"classic_disabledPlainEvenIfDefault", 2, -1, false, true, true, 0, 0, "Hi", 0},
        // SoftRounded.
        EdgeCase{"soft_faceLight", 4, 0, false, false, true, 30, 5, "L", 0},
        EdgeCase{"soft_outlineTop", 4, 0, false, false, true, 2, 0, "D", 0},
        EdgeCase{"soft_cornerDot", 4, 0, false, false, true, 1, 1, "D", 0},
        EdgeCase{"soft_highlight", 4, 0, false, false, true, 3, 2, "Hi", 0},
        EdgeCase{"soft_shadowRight", 4, 0, false, false, true, -2, 5, "S", 0},
        EdgeCase{"soft_faceBottomLeftDot", 4, 0, false, false, true, 2, -2, "F", 0},
        EdgeCase{"soft_lightDot", 4, 0, false, false, true, -3, 2, "L", 0},
        EdgeCase{"soft_noFocusIndication", 4, 0, true, true, true, 4, 4, "L", 0},
        EdgeCase{"soft_pressedFace", 4, 2, false, false, true, 30, 5, "S", -16},
        EdgeCase{"soft_pressedFrame", 4, 2, false, false, true, 1, 5, "S", -64},
        EdgeCase{"soft_pressedInnerFrame", 4, 2, false, false, true, 2, 5, "S", -32},
        EdgeCase{"soft_pressedRightDot", 4, 2, false, false, true, -3, 1, "S", -16},
        EdgeCase{"soft_disabledLikeNormal", 4, -1, false, false, true, 1, 1, "D", 0},
        // BoldFlat.
        EdgeCase{"bold_face", 5, 0, false, false, true, 30, 3, "F", 12},
        EdgeCase{"bold_outerFrame", 5, 0, false, false, true, 0, 0, "S", -26},
        EdgeCase{"bold_innerFrameBottomRight", 5, 0, false, false, true, -1, -1, "Hi", 0},
        EdgeCase{"bold_dot", 5, 0, false, false, true, 1, -2, "S", 26},
        EdgeCase{"bold_pressedFace", 5, 2, false, false, true, 30, 3, "S", 16},
        EdgeCase{"bold_pressedRightEdge", 5, 2, false, false, true, -1, 5, "Hi", 0},
        EdgeCase{"bold_pressedTopRightCutPixel", 5, 2, false, false, true, -1, 0, "F", 0},
        EdgeCase{"bold_disabledFrame", 5, -1, false, false, true, -1, -1, "S", 0},
        EdgeCase{"bold_disabledFace", 5, -1, false, false, true, 30, 3, "F", 0},
        // DoubleEdge: L = Off(LightTone, 8).
        EdgeCase{"double_topLeft", 6, 0, false, false, true, 0, 0, "L", 8},
        EdgeCase{"double_innerTopLeft", 6, 0, false, false, true, 1, 1, "L", 8},
        EdgeCase{"double_right", 6, 0, false, false, true, -1, 0, "S", 0},
        EdgeCase{"double_innerBottom", 6, 0, false, false, true, 1, -2, "S", 0},
        EdgeCase{"double_pressedTopLeft", 6, 2, false, false, true, 0, 0, "S", 0},
        EdgeCase{"double_pressedBottomRight", 6, 2, false, false, true, -1, -1, "L", 8},
        EdgeCase{"double_disabled", 6, -1, false, false, true, -2, 5, "S", 0},
        // ThinEdge.
        EdgeCase{"thin_topLeft", 7, 0, false, false, true, 0, 0, "Hi", 0},
        EdgeCase{"thin_bottomRight", 7, 0, false, false, true, -1, -1, "S", 0},
        EdgeCase{"thin_inside", 7, 0, false, false, true, 1, 1, "F", 0},
        EdgeCase{"thin_pressedTopLeft", 7, 2, false, false, true, 0, 0, "S", 0},
        EdgeCase{"thin_pressedBottomLeft", 7, 2, false, false, true, 0, -1, "Hi", 0},
        // The pressed right line runs to the bottom row; the bottom line stops before it.
        EdgeCase{"thin_pressedBottomRight", 7, 2, false, false, true, -1, -1, "Hi", 0},
        EdgeCase{"thin_disabledBottomRight", 7, -1, false, false, true, -1, -1, "S", 0},
        // Styles without sequences: a plain face.
        EdgeCase{"style0_plain", 0, 0, true, true, true, 0, 0, "F", 0},
        EdgeCase{"style8_plain", 8, 2, true, true, true, -1, -1, "F", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FocusFrame, DrawnByStylesOneSixSevenAndDefaultClassic)
{
    const int W = 75, H = 25;
    struct Look {
        int type;
        int state;
        bool isDefault;
        bool framed;
    };
    for (const Look& look :
        {Look{1, 0, false, true}, Look{1, 2, false, true}, Look{6, 0, false, true},
            Look{6, 2, false, true}, Look{7, 0, false, true}, Look{7, 2, false, true},
            Look{2, 0, true, true}, Look{2, 2, false, true}, Look{2, 0, false, false},
            Look{3, 0, false, false}, Look{4, 0, false, false}, Look{5, 0, false, false}}) {
        SCOPED_TRACE(testing::Message() << "type " << look.type << " state " << look.state);
        ButtonFace face = customFace(look.type, W, H);
        face.shownAsDefault = look.isDefault;
        const QImage without = paintFace(face, look.state);
        face.hasFocus = true;
        const QImage with = paintFace(face, look.state);
        QImage expected = without.copy();
        if (look.framed) {
            QImage scratch = expected;
            ButtonPainter(face, scratch).focusFrame();
            expected = scratch;
        }
        if (look.type == 3 || look.type == 5)
            EXPECT_NE(with, without); // hot colours / caption frame instead
        else
            EXPECT_EQ(with, expected);
        // ShowFocusRect off hides any focus indication.
        face.showFocusRect = false;
        face.shownAsDefault = false;
        ButtonFace unfocused = face;
        unfocused.hasFocus = false;
        EXPECT_EQ(paintFace(face, look.state), paintFace(unfocused, look.state));
    }
}

TEST(FocusFrame, DisabledFacesShowNoFocus)
{
    for (int type = 1; type <= 7; ++type) {
        ButtonFace face = customFace(type);
        face.enabled = false;
        const QImage unfocused = paintFace(face, 0);
        face.hasFocus = true;
        face.shownAsDefault = true;
        EXPECT_EQ(paintFace(face, 0), unfocused) << type;
    }
}

TEST(DisabledFace, IgnoresTheState)
{
    for (int type = 0; type <= 8; ++type) {
        ButtonFace face = customFace(type);
        face.caption = QStringLiteral("Off");
        face.enabled = false;
        EXPECT_EQ(paintFace(face, 0), paintFace(face, 2)) << type;
        EXPECT_EQ(paintFace(face, 0), paintFace(face, 1)) << type;
    }
}

TEST(DisabledFace, EmbossedCaptionAndDoubleEdgeSingleCopy)
{
    ButtonFace face = customFace(7);
    face.caption = QStringLiteral("Info");
    face.enabled = false;
    const QImage thin = paintFace(face, 0);
    EXPECT_FALSE(pixelsOf(thin, face.tones.ShadowTone).isEmpty());
    // The highlight copy lies one pixel right and down; a few of its pixels
    // stay visible beside the shadow copy.
    const int highlightInside
        = int(pixelsOf(thin.copy(1, 1, 73, 23), face.tones.HighlightTone).size());
    EXPECT_GT(highlightInside, 0);

    face.buttonType = 6;
    const QImage doubleEdge = paintFace(face, 0);
    EXPECT_EQ(pixelsOf(doubleEdge.copy(2, 2, 71, 21), face.tones.HighlightTone).size(), 0);
    EXPECT_GT(pixelsOf(doubleEdge.copy(2, 2, 71, 21), face.tones.ShadowTone).size(), 10);
}

TEST(OutOfRangeStyles, PlainFaceWithoutCaption)
{
    for (int type : {0, 8, -3, 100}) {
        ButtonFace face = customFace(type);
        face.caption = QStringLiteral("Hidden");
        for (int state : {0, 2}) {
            const QImage image = paintFace(face, state);
            EXPECT_EQ(pixelsOf(image, face.tones.FaceTone).size(), 75 * 25) << type;
        }
    }
}

TEST(BoldFlatFace, CaptionFrameSizedFromTheBoldFont)
{
    const int W = 120, H = 33;
    ButtonFace face = customFace(5, W, H);
    face.caption = QStringLiteral("&Close");
    face.font.setBold(false);
    face.hasFocus = true;
    const QImage image = paintFace(face, 0);

    QFont bold = face.font;
    bold.setBold(true);
    const QFontMetrics metrics(bold, &image);
    const int tw = metrics.horizontalAdvance(face.caption);
    const int th = metrics.height();
    const QRect frame((W - tw) / 2 - 3, (H - th) / 2 - 1, tw + 6, th + 2);
    EXPECT_EQ(px(image, frame.left(), frame.top()), 0xCC9999u);
    EXPECT_EQ(px(image, frame.right(), frame.bottom()), 0xCC9999u);
    EXPECT_EQ(px(image, frame.left() + 1, frame.top() + 1), OffsetColor(face.tones.FaceTone, 12));
    EXPECT_EQ(pixelsOf(image, 0xCC9999).size(), 2 * frame.width() + 2 * frame.height() - 4);
    // The pressed look frames the caption the same way.
    EXPECT_EQ(px(paintFace(face, 2), frame.left(), frame.top()), 0xCC9999u);
    // The caption really is drawn bold: more text pixels than a regular caption.
    ButtonFace regular = face;
    regular.buttonType = 7;
    regular.hasFocus = false;
    face.hasFocus = false;
    EXPECT_GT(pixelsOf(paintFace(face, 0), 0).size(), pixelsOf(paintFace(regular, 0), 0).size());
}

TEST(TinyFaces, NeverCrashAndZeroSizesGiveNoImage)
{
    for (int type = 0; type <= 8; ++type)
        for (int w : {0, 1, 2, 3, 5})
            for (int h : {0, 1, 2, 3, 5})
                for (int state : {0, 2}) {
                    ButtonFace face = customFace(type, w, h);
                    face.caption = QStringLiteral("&Tiny");
                    face.hasFocus = true;
                    const QImage image = paintFace(face, state);
                    EXPECT_EQ(image.isNull(), w == 0 || h == 0);
                }
}

} // namespace
