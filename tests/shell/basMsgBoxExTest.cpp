#include "shell/basMsgBoxEx.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

struct PositionCase {
    const char* name;
    int x, y;
    QSize box, desktop;
    QPoint expected;
};

class MsgBoxPositionTest : public ::testing::TestWithParam<PositionCase> { };

TEST_P(MsgBoxPositionTest, PlacesTheBoxOnTheDesktop)
{
    const PositionCase& c = GetParam();
    EXPECT_EQ(basMsgBoxEx::MsgBoxPosition(c.x, c.y, c.box, c.desktop), c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, MsgBoxPositionTest,
    ::testing::Values(
        // Centred on x, top at y.
        PositionCase{"on screen", 500, 300, {200, 100}, {1280, 1024}, {400, 300}},
        // The right bound applies to the centre before half the width is taken off.
        PositionCase{
            "near the right edge", 1250, 300, {200, 100}, {1280, 1024}, {1279 - 200 - 100, 300}},
        // Each edge below 1 becomes 1, independently.
        PositionCase{"left edge below 1", 60, 200, {200, 100}, {1280, 1024}, {1, 200}},
        PositionCase{"top edge below 1", 500, -50, {200, 100}, {1280, 1024}, {400, 1}},
        // The bottom edge stays at most one pixel inside the desktop.
        PositionCase{"near the bottom", 500, 1000, {200, 100}, {1280, 1024}, {400, 1024 - 100 - 1}},
        // Half of an odd width rounds halves to even: 201 / 2 = 100.5 -> 500 - 100.5 = 399.5 ->
        // 400.
        PositionCase{"odd width", 500, 300, {201, 100}, {1280, 1024}, {400, 300}}),
    [](const auto& info) {
        std::string n = info.param.name;
        for (char& ch : n)
            if (!isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return n;
    });

TEST(MsgBoxEx, ShownBoxIsPlacedByItsOuterFrame)
{
    QWidget owner;
    owner.setGeometry(100, 100, 696, 398);
    owner.show();
    const struct {
        int x, y;
    } requests[] = {{448, 250}, {60, 400}, {500, -20}, {5000, 5000}};
    for (const auto& r : requests) {
        QRect frame;
        QSize desktop;
        QTimer::singleShot(50, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                    frame = box->frameGeometry();
                    desktop = box->screen()->virtualGeometry().size();
                    EXPECT_TRUE(box->windowFlags() & Qt::WindowStaysOnTopHint);
                    box->accept();
                }
            }
        });
        basMsgBoxEx::MsgBoxEx(&owner, QStringLiteral("Compared 2 files.\r\nFound no duplicates."),
            QStringLiteral("Corvane"), basMsgBoxEx::kStyleInformation, r.x, r.y);
        ASSERT_TRUE(frame.isValid());
        EXPECT_EQ(frame.topLeft(), basMsgBoxEx::MsgBoxPosition(r.x, r.y, frame.size(), desktop))
            << r.x << "," << r.y;
    }
}

} // namespace
