#include "shell/RestoredFrame.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr float kRatio = 0.571854f;

struct PlaceCase {
    const char* name;
    double left, top, width;
    QList<QRect> screens;
    QRect expected;
};

void PrintTo(const PlaceCase& c, std::ostream* os)
{
    *os << c.name;
}

class RestoredFrameTest : public ::testing::TestWithParam<PlaceCase> { };

TEST_P(RestoredFrameTest, ComesBackAsLeftOrFittedToTheDesktop)
{
    const PlaceCase& c = GetParam();
    EXPECT_EQ(RestoredFrame::restoredFrame(c.left, c.top, c.width, kRatio, c.screens), c.expected)
        << c.name;
}

const QList<QRect> kOneScreen = {QRect(0, 0, 1280, 1024)};
// Two monitors side by side, the right one smaller and lower.
const QList<QRect> kTwoScreens = {QRect(0, 0, 1920, 1080), QRect(1920, 200, 1024, 768)};

INSTANTIATE_TEST_SUITE_P(Rows, RestoredFrameTest,
    ::testing::Values(
        // 1000 / 15 = 66.7 -> 67; 0.571854 * 10440 / 15 = 398.0.
        PlaceCase{"defaults", 1000, 1000, 10440, kOneScreen, {67, 67, 696, 398}},
        PlaceCase{"fits as left", 1500, 1800, 15000, kOneScreen, {100, 120, 1000, 572}},
        // A window made narrow comes back narrow: 1400 / 15 = 93.3 px.
        PlaceCase{"narrow width", 1500, 1500, 1400, kOneScreen, {100, 100, 93, 53}},
        PlaceCase{"one pixel wide", 0, 0, 5, kOneScreen, {0, 0, 1, 1}},
        // Larger than the screen: as wide as the screen, height by the proportion.
        PlaceCase{"width 50000", 1000, 1000, 50000, kOneScreen, {0, 67, 1280, 732}},
        PlaceCase{"width 1e30", 1000, 1000, 1e30, kOneScreen, {0, 67, 1280, 732}},
        // On a portrait screen the width decides: 1024 wide gives 586 high.
        PlaceCase{"portrait screen", 0, 0, 50000, {QRect(0, 0, 1024, 1280)}, {0, 0, 1024, 586}},
        // A wide, low screen: the width follows from the height, 400 / 0.571854 = 699.5 -> 699.
        PlaceCase{"low screen", 0, 0, 50000, {QRect(0, 0, 1600, 400)}, {0, 0, 699, 400}},
        // Unreadable, non-positive and non-finite widths give the default.
        PlaceCase{"width -5", 1000, 1000, -5, kOneScreen, {67, 67, 696, 398}},
        PlaceCase{"width 0", 1000, 1000, 0, kOneScreen, {67, 67, 696, 398}},
        PlaceCase{"width nan", 1000, 1000, kNan, kOneScreen, {67, 67, 696, 398}},
        PlaceCase{"width inf", 1000, 1000, kInf, kOneScreen, {67, 67, 696, 398}},
        PlaceCase{"left nan", kNan, 1500, 10440, kOneScreen, {67, 100, 696, 398}},
        PlaceCase{"top -inf", 1500, -kInf, 10440, kOneScreen, {100, 67, 696, 398}},
        // Positions off the desktop are brought on, the whole frame with them.
        PlaceCase{"left 1e30", 1e30, 1500, 10440, kOneScreen, {1280 - 696, 100, 696, 398}},
        PlaceCase{"left -1e30", -1e30, 1500, 10440, kOneScreen, {0, 100, 696, 398}},
        PlaceCase{"top 1e30", 1500, 1e30, 10440, kOneScreen, {100, 1024 - 398, 696, 398}},
        PlaceCase{"title bar above the screen", 1500, -300, 10440, kOneScreen, {100, 0, 696, 398}},
        PlaceCase{"hanging over the right edge", 18000, 1500, 10440, kOneScreen,
            {1280 - 696, 100, 696, 398}},
        // Two screens: a frame across both stays; one on the smaller screen that is too
        // large for it shrinks to fit that screen.
        PlaceCase{"across two screens", 25500, 3000, 15000, kTwoScreens, {1700, 200, 1000, 572}},
        PlaceCase{"second screen", 30000, 4500, 10440, kTwoScreens, {2000, 300, 696, 398}},
        PlaceCase{"too large for the second screen", 30000, 4500, 18000, kTwoScreens,
            {1920, 300, 1024, 586}},
        // Off every screen: onto the nearest one.
        PlaceCase{"below the second screen", 33000, 30000, 10440, kTwoScreens,
            {2200, 968 - 398, 696, 398}},
        // Without screens nothing can be fitted, but nothing overflows either.
        PlaceCase{"no screens", 1e30, -1e30, 10440, {}, {1 << 24, -(1 << 24), 696, 398}}),
    [](const auto& info) {
        std::string n = info.param.name;
        for (char& ch : n)
            if (!isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return n;
    });

} // namespace
