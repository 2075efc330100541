#include "controls/FramePlacement.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

// The rules of Corvane's boxes, written for outer frames.
QPoint centredOnOwner(const QRect& owner, QSize frame)
{
    return {owner.x() + (owner.width() - frame.width()) / 2,
        owner.y() + (owner.height() - frame.height()) / 2};
}

QPoint belowOwnersTop(const QRect& owner, QSize frame)
{
    return {owner.x() + owner.width() / 2 - frame.width() / 2, owner.y() + 150};
}

struct TargetCase {
    const char* name;
    FramePlacement::Rule rule;
    QSize client;
    QMargins margins; // the frame the manager adds (or the estimate of it)
    bool movedByClientArea;
    QPoint expected;
};

void PrintTo(const TargetCase& c, std::ostream* os)
{
    *os << c.name;
}

// Openbox frames Corvane's windows with a 20-pixel title bar and 1-pixel borders.
const QRect kOwner(200, 200, 696, 398);
const QMargins kOpenbox(1, 20, 1, 1);

class MoveTargetTest : public ::testing::TestWithParam<TargetCase> { };

TEST_P(MoveTargetTest, PutsTheOuterFrameWhereTheRuleSays)
{
    const TargetCase& c = GetParam();
    EXPECT_EQ(FramePlacement::moveTarget(c.rule, kOwner, c.client, c.margins, c.movedByClientArea),
        c.expected)
        << c.name;
}

INSTANTIATE_TEST_SUITE_P(Rows, MoveTargetTest,
    ::testing::Values(
        // A box not yet created: Qt positions its frame; the rule sees the whole frame,
        // 306 x 193, not the 304 x 172 client area.
        TargetCase{"not created", centredOnOwner, {304, 172}, kOpenbox, false, {395, 302}},
        // Created but not framed yet (a message box in its show event): Qt moves the client
        // area, so the frame's top-left is given plus the title bar and the left border.
        TargetCase{"created, not framed", belowOwnersTop, {198, 86}, kOpenbox, true, {449, 370}},
        // Framed: the frame is known and Qt moves it.
        TargetCase{"framed", belowOwnersTop, {198, 86}, kOpenbox, false, {448, 350}},
        // No window manager frame at all: the client area is the frame.
        TargetCase{"frameless", centredOnOwner, {485, 308}, QMargins(), true, {305, 245}}),
    [](const auto& info) {
        std::string n = info.param.name;
        for (char& ch : n)
            if (!isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return n;
    });

TEST(FramePlacement, MarginsAreThoseTheFrameAdds)
{
    QWidget frameless(nullptr, Qt::FramelessWindowHint);
    frameless.setGeometry(100, 100, 300, 200);
    frameless.show();
    EXPECT_EQ(FramePlacement::frameMargins(&frameless), QMargins());
    EXPECT_EQ(FramePlacement::frameMargins(nullptr), QMargins());
    QWidget framed;
    framed.setGeometry(100, 100, 300, 200);
    framed.show();
    const QMargins m = FramePlacement::frameMargins(&framed);
    EXPECT_EQ(framed.frameGeometry().size(), framed.size().grownBy(m));
}

TEST(FramePlacement, PlacesByTheOwnersFrameAndReplacesAnEarlierPlacement)
{
    QWidget owner;
    owner.setGeometry(kOwner);
    owner.show();
    QWidget box;
    box.resize(304, 172);
    FramePlacement::place(&box, &owner, [](const QRect&, QSize) { return QPoint(10, 10); });
    FramePlacement::place(&box, &owner, centredOnOwner);
    box.show();
    EXPECT_EQ(box.frameGeometry().topLeft(),
        centredOnOwner(owner.frameGeometry(), box.frameGeometry().size()));
    // Without an owner, the rule gets an empty frame.
    FramePlacement::place(&box, nullptr,
        [](const QRect& owner, QSize) { return owner.isEmpty() ? QPoint(7, 8) : QPoint(0, 0); });
    EXPECT_EQ(box.frameGeometry().topLeft(), QPoint(7, 8));
}

TEST(FramePlacement, WrongEstimateIsMendedOnceTheFrameIsKnown)
{
    // A frameless owner makes the estimate miss the box's own frame.
    QWidget owner(nullptr, Qt::FramelessWindowHint);
    owner.setGeometry(kOwner);
    owner.show();
    QWidget box;
    box.resize(304, 172);
    FramePlacement::place(&box, &owner, centredOnOwner);
    box.show();
    ASSERT_NE(FramePlacement::frameMargins(&box), QMargins()) << "the platform frames windows";
    QElapsedTimer waited;
    waited.start();
    const auto placed = [&] {
        return box.frameGeometry().topLeft()
            == centredOnOwner(owner.frameGeometry(), box.frameGeometry().size());
    };
    while (!placed() && waited.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(placed()) << box.frameGeometry().x() << "," << box.frameGeometry().y();
}

} // namespace
