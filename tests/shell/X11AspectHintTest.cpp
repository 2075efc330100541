#include "shell/X11AspectHint.h"

#include <QWidget>
#include <cmath>
#include <gtest/gtest.h>

namespace {

using X11AspectHint::AspectRange;
using X11AspectHint::clientAspect;

constexpr double kRatio = 0.571854;
// Openbox's frame around the main window: 1-pixel sides, 20-pixel title bar,
// 5-pixel bottom handle.
const QMargins kOpenbox(1, 20, 1, 5);

// Whether a client of width x height passes the hint, as the window manager reads it.
bool allows(const AspectRange& range, int width, double height)
{
    const double aspect = width / height;
    return aspect >= double(range.minX) / range.minY && aspect <= double(range.maxX) / range.maxY;
}

TEST(X11AspectHint, RangeHoldsTheOuterProportionAtEveryWidth)
{
    for (const QMargins& frame : {kOpenbox, QMargins(4, 30, 4, 4), QMargins()}) {
        for (int width : {200, 694, 945, 1278, 2558}) {
            const std::optional<AspectRange> range = clientAspect(width, frame, kRatio);
            ASSERT_TRUE(range) << width;
            const int outerWidth = width + frame.left() + frame.right();
            // The height Corvane's own correction gives this width is allowed ...
            const long outerHeight = std::lround(kRatio * outerWidth);
            const double height = outerHeight - frame.top() - frame.bottom();
            EXPECT_TRUE(allows(*range, width, height)) << width;
            // ... and a pixel and a half more or less is not.
            const double exact = kRatio * outerWidth - frame.top() - frame.bottom();
            EXPECT_FALSE(allows(*range, width, exact + 1.5)) << width;
            EXPECT_FALSE(allows(*range, width, exact - 1.5)) << width;
        }
    }
}

TEST(X11AspectHint, RangeAsWrittenForTheDefaultWindow)
{
    // 694 x 373 client in openbox's frame: 696 x 398 outer. Sixteenths of a pixel.
    EXPECT_EQ(clientAspect(694, kOpenbox, kRatio), (AspectRange{11104, 5980, 11104, 5956}));
}

TEST(X11AspectHint, NoRangeWhereNoHeightCouldObey)
{
    EXPECT_FALSE(clientAspect(0, kOpenbox, kRatio));
    EXPECT_FALSE(clientAspect(-5, kOpenbox, kRatio));
    EXPECT_FALSE(clientAspect(30, kOpenbox, kRatio)) << "outer height under the frame's own";
    EXPECT_FALSE(clientAspect(694, kOpenbox, 0));
    EXPECT_FALSE(clientAspect(694, kOpenbox, std::nan("")));
}

TEST(X11AspectHint, AspectIsAddedAndRemovedLeavingQtsHintsAlone)
{
    // What Qt writes: user position and size, window gravity, a base size.
    X11AspectHint::SizeHints qt{};
    qt[0] = 0x203 | (1u << 8);
    qt[1] = 101;
    qt[2] = 120;
    qt[15] = 5;
    qt[16] = 6;
    qt[17] = 10;
    const AspectRange range{11104, 5980, 11104, 5956};
    const X11AspectHint::SizeHints with = X11AspectHint::withAspect(qt, range);
    EXPECT_TRUE(X11AspectHint::hasAspect(with));
    EXPECT_FALSE(X11AspectHint::hasAspect(qt));
    EXPECT_EQ(with[0], qt[0] | X11AspectHint::kAspectFlag);
    EXPECT_EQ(with[11], 11104u);
    EXPECT_EQ(with[12], 5980u);
    EXPECT_EQ(with[13], 11104u);
    EXPECT_EQ(with[14], 5956u);
    for (int i : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 15, 16, 17})
        EXPECT_EQ(with[i], qt[i]) << "field " << i;
    EXPECT_EQ(X11AspectHint::withoutAspect(with), qt);
}

TEST(X11AspectHint, KeeperDoesNothingAwayFromX11)
{
    QWidget window;
    window.show();
    const float ratio = 0.571854f;
    X11AspectHint::Keeper keeper(&window, &ratio);
    EXPECT_FALSE(keeper.active()); // offscreen
    keeper.update();
    X11AspectHint::Keeper orphan(nullptr, nullptr);
    orphan.update();
    EXPECT_FALSE(orphan.active());
}

} // namespace
