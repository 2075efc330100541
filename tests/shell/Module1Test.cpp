#include "shell/Module1.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QScreen>
#include <QThread>
#include <QWidget>
#include <QWindow>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <memory>

namespace {

using Module1::Rect;

constexpr float kFormRatio = 0.571854f;

struct RuleCase {
    const char* name;
    int code;
    Rect before;
    float ratio;
    Rect after;
};

class SizingRule : public ::testing::TestWithParam<RuleCase> { };

TEST_P(SizingRule, MovesTheFollowingEdge)
{
    const RuleCase& c = GetParam();
    EXPECT_EQ(Module1::applySizingRule(c.code, c.before, c.ratio), c.after);
}

// A 1000 x 500 drag rectangle at 100, 100: height from width gives bottom
// 100 + 571.854 -> 672; width from height gives 500 / 0.571854 = 874.357.
constexpr Rect kDrag{100, 100, 1100, 600};

INSTANTIATE_TEST_SUITE_P(Codes, SizingRule,
    ::testing::Values(RuleCase{"Left", 1, kDrag, kFormRatio, {100, 100, 1100, 672}},
        RuleCase{"Right", 2, kDrag, kFormRatio, {100, 100, 1100, 672}},
        RuleCase{"Top", 3, kDrag, kFormRatio, {100, 100, 974, 600}},
        RuleCase{"TopLeft", 4, kDrag, kFormRatio, {226, 100, 1100, 600}},
        RuleCase{"TopRight", 5, kDrag, kFormRatio, {100, 100, 974, 600}},
        RuleCase{"Bottom", 6, kDrag, kFormRatio, {100, 100, 974, 600}},
        RuleCase{"BottomLeft", 7, kDrag, kFormRatio, {100, 100, 1100, 672}},
        RuleCase{"BottomRight", 8, kDrag, kFormRatio, {100, 100, 1100, 672}},
        RuleCase{"NoEdge", 0, kDrag, kFormRatio, kDrag},
        RuleCase{"BeyondTheCorners", 9, kDrag, kFormRatio, kDrag},
        RuleCase{"Negative", -2, kDrag, kFormRatio, kDrag},
        // The worked example: bottom edge dragged to a height of 572.
        RuleCase{"BottomTo572", 6, {100, 100, 500, 672}, kFormRatio, {100, 100, 1100, 672}},
        // Exact halves round to the even neighbour.
        RuleCase{"HalfDownToEven", 2, {0, 0, 5, 9}, 0.5f, {0, 0, 5, 2}},
        RuleCase{"HalfUpToEven", 2, {0, 0, 7, 9}, 0.5f, {0, 0, 7, 4}},
        RuleCase{"RightHalfToEven", 3, {0, 0, 9, 5}, 2.0f, {0, 0, 2, 5}},
        RuleCase{"LeftHalfToEven", 4, {0, 0, 9, 7}, 2.0f, {6, 0, 9, 7}},
        RuleCase{"NegativeCoordinates", 8, {-300, -200, -100, 0}, 0.5f, {-300, -200, -100, -100}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SizingRuleLimits, DegenerateRatiosDoNotOverflow)
{
    const Rect r{0, 0, 9, 5};
    EXPECT_EQ(Module1::applySizingRule(3, r, 0.0f).right, std::numeric_limits<int>::max());
    EXPECT_EQ(Module1::applySizingRule(4, r, 0.0f).left, std::numeric_limits<int>::min());
    EXPECT_EQ(Module1::applySizingRule(2, r, 0.0f).bottom, 0);
    EXPECT_EQ(Module1::applySizingRule(2, r, 1e30f).bottom, std::numeric_limits<int>::max());
}

struct EdgeCase {
    const char* name;
    QRect after;
    int edge;
};

class EdgeFromGeometry : public ::testing::TestWithParam<EdgeCase> { };

TEST_P(EdgeFromGeometry, TellsTheDraggedSide)
{
    const QRect before(100, 100, 1000, 572);
    EXPECT_EQ(Module1::edgeFromGeometryChange(before, GetParam().after), GetParam().edge);
}

INSTANTIATE_TEST_SUITE_P(Changes, EdgeFromGeometry,
    ::testing::Values(EdgeCase{"Left", {50, 100, 1050, 572}, 1},
        EdgeCase{"Right", {100, 100, 1200, 572}, 2}, EdgeCase{"Top", {100, 80, 1000, 592}, 3},
        EdgeCase{"TopLeft", {50, 80, 1050, 592}, 4}, EdgeCase{"TopRight", {100, 80, 1100, 592}, 5},
        EdgeCase{"Bottom", {100, 100, 1000, 600}, 6},
        EdgeCase{"BottomLeft", {50, 100, 1050, 600}, 7},
        EdgeCase{"BottomRight", {100, 100, 1100, 600}, 8},
        EdgeCase{"Unchanged", {100, 100, 1000, 572}, 0},
        EdgeCase{"Moved", {120, 130, 1000, 572}, 0},
        EdgeCase{"BothSidesMoved", {90, 100, 1020, 572}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct DragCase {
    const char* name;
    QList<QRect> frames; // start first
    int edge;
};

void PrintTo(const DragCase& c, std::ostream* os)
{
    *os << c.name;
}

class EdgeOfDrag : public ::testing::TestWithParam<DragCase> { };

TEST_P(EdgeOfDrag, TellsTheDraggedSideFromTheWholeDrag)
{
    EXPECT_EQ(Module1::edgeOfDrag(GetParam().frames), GetParam().edge);
}

// Every drag starts from 100, 100, 1000 x 572 (right 1100, bottom 672).
const QRect kStart(100, 100, 1000, 572);

INSTANTIATE_TEST_SUITE_P(Drags, EdgeOfDrag,
    ::testing::Values(
        // Corner drags that end along one axis: the other side moved on the way.
        DragCase{"TopLeftEndingAlongX", {kStart, {60, 80, 1040, 592}, {50, 100, 1050, 572}}, 4},
        DragCase{"TopLeftEndingAlongY", {kStart, {60, 80, 1040, 592}, {100, 60, 1000, 612}}, 4},
        DragCase{"TopRightEndingAlongX", {kStart, {100, 80, 1040, 592}, {100, 100, 1100, 572}}, 5},
        DragCase{
            "BottomRightEndingAlongY", {kStart, {100, 100, 1040, 600}, {100, 100, 1000, 650}}, 8},
        DragCase{"BottomLeftEndingAlongX", {kStart, {80, 100, 1020, 620}, {40, 100, 1060, 572}}, 7},
        // Straight edge drags stay edge drags.
        DragCase{"RightEdge", {kStart, {100, 100, 1100, 572}, {100, 100, 1200, 572}}, 2},
        DragCase{
            "BottomEdgeThereAndBack", {kStart, {100, 100, 1000, 700}, {100, 100, 1000, 650}}, 6},
        // Managers that report the new size before the new position.
        DragCase{"SizeThenPosition", {kStart, {100, 100, 1050, 592}, {50, 80, 1050, 592}}, 4},
        // A move, and no change at all.
        DragCase{"Moved", {kStart, {120, 130, 1000, 572}}, 0},
        DragCase{"ResizedThenMoved", {kStart, {100, 100, 1100, 572}, {150, 100, 1000, 572}}, 0},
        DragCase{"Nothing", {kStart}, 0}, DragCase{"NoFrames", {}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// Sets a window's outer frame, as a drag by the user would, and lets the
// events through. Platforms differ in their frame margins.
void setFrame(QWidget& w, const QRect& frame, bool settle = true)
{
    const QRect outer = w.frameGeometry();
    const QRect inner = w.geometry();
    w.setGeometry(frame.adjusted(inner.left() - outer.left(), inner.top() - outer.top(),
        inner.right() - outer.right(), inner.bottom() - outer.bottom()));
    if (settle)
        QApplication::processEvents();
}

std::string describe(const QRect& r)
{
    return QStringLiteral("%1,%2 %3x%4")
        .arg(r.x())
        .arg(r.y())
        .arg(r.width())
        .arg(r.height())
        .toStdString();
}

// Runs the event loop until `done` holds or `ms` pass; returns `done()`.
bool waitFor(const std::function<bool()>& done, int ms = 2000)
{
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired()) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return done();
}

// Long enough for a drag to settle and for the correction's answer window.
void letDragEnd()
{
    waitFor([] { return false; }, 400);
}

class HookTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<QWidget>();
        form->show();
        QApplication::processEvents();
        setFrame(*form, {100, 100, 800, 457});
    }
    void TearDown() override { Module1::UnhookWindow(form.get()); }

    bool frameBecomes(const QRect& expected)
    {
        return waitFor([&] { return form->frameGeometry() == expected; });
    }

    std::unique_ptr<QWidget> form;
    float ratio = kFormRatio;
};

TEST_F(HookTest, RightEdgeDragMakesHeightFollow)
{
    Module1::HookWindow(form.get(), &ratio);
    setFrame(*form, {100, 100, 1000, 457});
    EXPECT_TRUE(frameBecomes({100, 100, 1000, 572})) << describe(form->frameGeometry());
}

TEST_F(HookTest, TopLeftDragKeepsRightAndBottom)
{
    Module1::HookWindow(form.get(), &ratio);
    setFrame(*form, {50, 50, 850, 507});
    // left = 900 - 507 / 0.571854 = 13.4
    EXPECT_TRUE(frameBecomes({13, 50, 887, 507})) << describe(form->frameGeometry());
}

TEST_F(HookTest, CornerDragEndingAlongOneAxisKeepsRightAndBottom)
{
    // The top-left corner goes up and left, then the pointer comes back to
    // the old top: still the top-left corner, so the left edge follows.
    Module1::HookWindow(form.get(), &ratio);
    setFrame(*form, {60, 80, 840, 477}, false);
    setFrame(*form, {50, 100, 850, 457});
    // left = 900 - 457 / 0.571854 = 100.8
    EXPECT_TRUE(frameBecomes({101, 100, 799, 457})) << describe(form->frameGeometry());
}

TEST_F(HookTest, SizeAndPositionInSeparateStepsAreOneDrag)
{
    // X11 window managers may report the new size before the new position.
    Module1::HookWindow(form.get(), &ratio);
    setFrame(*form, {100, 100, 850, 507}, false);
    setFrame(*form, {50, 50, 850, 507});
    EXPECT_TRUE(frameBecomes({13, 50, 887, 507})) << describe(form->frameGeometry());
}

TEST_F(HookTest, DragsInTurnEachKeepTheProportion)
{
    Module1::HookWindow(form.get(), &ratio);
    setFrame(*form, {100, 100, 1000, 457});
    ASSERT_TRUE(frameBecomes({100, 100, 1000, 572}));
    letDragEnd();
    // Bottom edge to 700: the width follows, 700 / 0.571854 = 1224.1.
    setFrame(*form, {100, 100, 1000, 700});
    EXPECT_TRUE(frameBecomes({100, 100, 1224, 700})) << describe(form->frameGeometry());
}

TEST_F(HookTest, RefusedCorrectionIsAskedForAgainAfterTheDrag)
{
    Module1::HookWindow(form.get(), &ratio);
    setFrame(*form, {100, 100, 800, 500}); // bottom edge dragged
    ASSERT_TRUE(frameBecomes({100, 100, 874, 500}));

    // A manager that runs the drag itself answers with its own geometry; it
    // is left alone for now instead of being fought at once.
    setFrame(*form, {100, 100, 800, 500});
    EXPECT_EQ(form->frameGeometry(), QRect(100, 100, 800, 500));
    EXPECT_TRUE(frameBecomes({100, 100, 874, 500})) << describe(form->frameGeometry());
}

TEST_F(HookTest, MaximisedWindowKeepsTheManagersGeometry)
{
    // From the top-left corner of the screen maximising moves only the right
    // and bottom edges, which would look like a corner drag.
    const QRect area = form->screen()->availableGeometry();
    setFrame(*form, {area.topLeft(), QSize(400, 229)});
    Module1::HookWindow(form.get(), &ratio);
    form->showMaximized();
    letDragEnd();
    EXPECT_EQ(form->frameGeometry().size(), area.size()) << describe(form->frameGeometry());
}

TEST_F(HookTest, MovingDoesNotResize)
{
    Module1::HookWindow(form.get(), &ratio);
    setFrame(*form, {300, 200, 800, 457});
    letDragEnd();
    EXPECT_EQ(form->frameGeometry(), QRect(300, 200, 800, 457));
}

TEST_F(HookTest, UnhookRestoresFreeResizingAndTwiceDoesNothing)
{
    EXPECT_EQ(Module1::PrevWndProc(), nullptr);
    Module1::HookWindow(form.get(), &ratio);
    EXPECT_NE(Module1::PrevWndProc(), nullptr);

    Module1::UnhookWindow(form.get());
    EXPECT_EQ(Module1::PrevWndProc(), nullptr);
    Module1::UnhookWindow(form.get());
    EXPECT_EQ(Module1::PrevWndProc(), nullptr);

    setFrame(*form, {100, 100, 1000, 300});
    letDragEnd();
    EXPECT_EQ(form->frameGeometry(), QRect(100, 100, 1000, 300));
}

TEST_F(HookTest, DestroyingTheWindowDropsTheHook)
{
    Module1::HookWindow(form.get(), &ratio);
    setFrame(*form, {100, 100, 1000, 457}); // a correction still pending
    form.reset();
    EXPECT_EQ(Module1::PrevWndProc(), nullptr);
    letDragEnd();
    Module1::UnhookWindow(nullptr);
}

TEST_F(HookTest, HookingAgainMovesTheHook)
{
    QWidget other;
    other.show();
    setFrame(other, {0, 0, 400, 100});
    Module1::HookWindow(form.get(), &ratio);
    Module1::HookWindow(&other, &ratio);

    setFrame(*form, {100, 100, 1000, 300});
    setFrame(other, {0, 0, 500, 100});
    EXPECT_TRUE(waitFor([&] { return other.frameGeometry() == QRect(0, 0, 500, 286); }));
    EXPECT_EQ(form->frameGeometry(), QRect(100, 100, 1000, 300));
}

TEST(HookWindowTest, WorksOnAPlainWindowToo)
{
    QWindow window;
    window.show();
    QApplication::processEvents();
    const QMargins margins = window.frameMargins();
    window.setGeometry(QRect(100, 100, 800, 457).marginsRemoved(margins));
    QApplication::processEvents();
    float ratio = kFormRatio;
    Module1::HookWindow(&window, &ratio);
    // The bottom edge dragged to a height of 572: the right edge follows.
    window.setGeometry(QRect(100, 100, 800, 572).marginsRemoved(margins));
    EXPECT_TRUE(waitFor([&] { return window.frameGeometry() == QRect(100, 100, 1000, 572); }))
        << describe(window.frameGeometry());
    Module1::UnhookWindow(&window);
}

} // namespace
