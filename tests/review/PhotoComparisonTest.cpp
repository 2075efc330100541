// The compare view's pictures: both at the smaller one's size, and their
// difference amplified where they differ and black where they do not.
#include "review/PhotoComparison.h"
#include "review/frmCompare.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>

#include <gtest/gtest.h>

namespace {

void press(QWidget* window, int key)
{
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &event);
}

QImage photo(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 255) / width, (y * 255) / height, (x + y) % 64));
    return image;
}

struct ComparisonCase {
    const char* name;
    QImage best;
    QImage member;
    bool comparable;
    QSize comparedAt;
    int largest; // -1: more than zero
};

class PhotoComparisonTest : public ::testing::TestWithParam<ComparisonCase> { };

TEST_P(PhotoComparisonTest, ShowsBothAtTheSmallerSize)
{
    const ComparisonCase& c = GetParam();
    const PhotoComparison comparison = comparePhotos(c.best, c.member);
    ASSERT_EQ(comparison.comparable, c.comparable);
    if (!c.comparable)
        return;
    EXPECT_EQ(comparison.best.size(), c.comparedAt);
    EXPECT_EQ(comparison.member.size(), c.comparedAt);
    EXPECT_EQ(comparison.difference.size(), c.comparedAt);
    if (c.largest >= 0)
        EXPECT_EQ(comparison.largestDifference, c.largest);
    else
        EXPECT_GT(comparison.largestDifference, 0);
}

QImage withOnePixel(QImage image, int x, int y, QRgb colour)
{
    image.setPixel(x, y, colour);
    return image;
}

INSTANTIATE_TEST_SUITE_P(Cases, PhotoComparisonTest,
    ::testing::Values(
        ComparisonCase{"same_picture", photo(64, 48), photo(64, 48), true, QSize(64, 48), 0},
        ComparisonCase{"one_pixel_changed", photo(64, 48),
            withOnePixel(photo(64, 48), 10, 7, qRgb(255, 255, 255)), true, QSize(64, 48), -1},
        ComparisonCase{
            "member_at_half_size", photo(64, 48), photo(32, 24), true, QSize(32, 24), -1},
        ComparisonCase{"best_smaller", photo(32, 24), photo(64, 48), true, QSize(32, 24), -1},
        ComparisonCase{"other_framing", photo(64, 48), photo(64, 40), false, QSize(), 0},
        ComparisonCase{"member_missing", photo(64, 48), QImage(), false, QSize(), 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PhotoComparisonDifferenceTest, AnEditShowsWhereItIsAndNowhereElse)
{
    const QImage best = photo(64, 48);
    const QImage edited = withOnePixel(best, 10, 7, qRgb(255, 255, 255));
    const PhotoComparison comparison = comparePhotos(best, edited);
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
            const QRgb d = comparison.difference.pixel(x, y);
            if (x == 10 && y == 7)
                EXPECT_GT(qRed(d) + qGreen(d) + qBlue(d), 0);
            else
                EXPECT_EQ(qRed(d) + qGreen(d) + qBlue(d), 0) << x << "," << y;
        }
    }
}

TEST(frmCompareTest, FlickerAndDifferenceTakeTurnsInTheRightPane)
{
    const frmCompare::Side best{QStringLiteral("best.png"), QStringLiteral("64 x 48, PNG")};
    const frmCompare::Side member{QStringLiteral("copy.jpg"), QStringLiteral("32 x 24, JPEG")};
    frmCompare window(photo(64, 48), best, photo(32, 24), member, QStringLiteral("SSIM 0.99"));
    window.resize(800, 500);
    window.show();
    EXPECT_EQ(window.rightPane(), frmCompare::RightPane::Member);
    press(&window, Qt::Key_F);
    EXPECT_TRUE(window.flickering());
    QElapsedTimer t;
    t.start();
    while (window.rightPane() != frmCompare::RightPane::Best && t.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(window.rightPane(), frmCompare::RightPane::Best);
    press(&window, Qt::Key_D);
    EXPECT_FALSE(window.flickering());
    EXPECT_EQ(window.rightPane(), frmCompare::RightPane::Difference);
    press(&window, Qt::Key_D);
    EXPECT_EQ(window.rightPane(), frmCompare::RightPane::Member);
}

} // namespace
