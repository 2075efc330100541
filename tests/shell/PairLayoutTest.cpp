// The window side of the pair walks: where the two pictures go, and how the
// closing message reads for what a search tells.
#include "FakeDesktop.h"
#include "ShellTestSupport.h"

#include "controls/chameleonButton.h"
#include "search/ComparisonRun.h"
#include "shell/Form1.h"
#include "shell/ImageBox.h"
#include "shell/LogicalScale.h"
#include "shell/PairLayout.h"
#include "shell/SearchTexts.h"

#include <QComboBox>
#include <QImage>
#include <QTemporaryDir>

namespace {

TEST(PairLayoutTest, DisplayFitsEachAreaKeepingTheAspectRatio)
{
    struct Row {
        int w, h;
        QRectF image1;
        double image2Left;
    };
    const Row rows[] = {
        {320, 240, QRectF(16, 23, 320, 240), 352},
        {100, 400, QRectF(146, 23, 60, 240), 482},
        {40, 30, QRectF(16, 23, 320, 240), 352},
        {400, 100, QRectF(16, 103, 320, 80), 352},
        {1, 1, QRectF(56, 23, 240, 240), 392},
    };
    for (const Row& row : rows) {
        const DisplayGeometry g = PairLayout::fitPair(row.w, row.h);
        EXPECT_FALSE(g.keepPlace);
        EXPECT_EQ(g.image1, row.image1) << row.w << "x" << row.h;
        EXPECT_DOUBLE_EQ(g.image2.left(), row.image2Left);
        EXPECT_EQ(g.image2.size(), g.image1.size());
        EXPECT_DOUBLE_EQ(g.labelTop, row.image1.top() - 20);
        EXPECT_EQ(g.imageLeft, int(row.image1.left()));
        EXPECT_EQ(g.imageHeight, int(row.image1.height()));
    }
    EXPECT_TRUE(PairLayout::fitPair(0, 10).keepPlace);
    // 3 x 1000: 0.96 wide, stored as 1; 175.52 from the left, stored as 176.
    const DisplayGeometry thin = PairLayout::fitPair(3, 1000);
    EXPECT_EQ(thin.imageWidth, 1);
    EXPECT_EQ(thin.imageLeft, 176);
    EXPECT_EQ(PairLayout::roundHalfEven(2.5), 2);
    EXPECT_EQ(PairLayout::roundHalfEven(3.5), 4);
    // A picture without width keeps the boxes of the last fit.
    const DisplayGeometry kept = PairLayout::keptPlace(PairLayout::fitPair(100, 400));
    EXPECT_TRUE(kept.keepPlace);
    EXPECT_EQ(kept.image1, QRectF(146, 23, 60, 240));
    EXPECT_EQ(kept.image2, QRectF(482, 23, 60, 240));
    EXPECT_DOUBLE_EQ(kept.labelTop, 3);
}

TEST(SearchTextsTest, FilesNotReadAndNamesLeftOutEachGetALine)
{
    struct Row {
        SearchTally tally;
        const char* text;
    };
    const Row rows[] = {
        {{4, 0, 0, 0}, "Compared 4 files.\r\nFound no duplicates."},
        {{4, 1, 0, 0}, "Compared 4 files.\r\nDeleted 1 duplicate(s)."},
        {{2, 0, 2, 0}, "Compared 2 files.\r\nFound no duplicates.\r\n2 files could not be read."},
        {{5, 1, 1, 0}, "Compared 5 files.\r\nDeleted 1 duplicate(s).\r\n1 file could not be read."},
        {{3, 0, 0, 1},
            "Compared 3 files.\r\nFound no duplicates.\r\n"
            "1 file was left out: its name is not valid UTF-8."},
        {{9, 2, 3, 4},
            "Compared 9 files.\r\nDeleted 2 duplicate(s).\r\n3 files could not be read.\r\n"
            "4 files were left out: their names are not valid UTF-8."},
    };
    for (const Row& row : rows)
        EXPECT_EQ(SearchTexts::closingText(row.tally).toStdString(), row.text);
    EXPECT_EQ(SearchTexts::filesCaption(QStringLiteral("/p/"), 7), QStringLiteral("/p/ (7 files)"));
}

class PairLayoutWindowTest : public TemporarySettingsTest { };

// The boxes follow the pair on show and go back to rest when the search
// ends: a resize after it must not bring back the last pair's place.
TEST_F(PairLayoutWindowTest, BoxesFollowThePairAndRestAfterTheSearch)
{
    QTemporaryDir pictures;
    ASSERT_TRUE(pictures.isValid());
    QImage tall(10, 40, QImage::Format_RGB32);
    tall.fill(qRgb(200, 10, 60));
    ASSERT_TRUE(tall.save(pictures.filePath(QStringLiteral("a.bmp")), "BMP"));
    ASSERT_TRUE(tall.save(pictures.filePath(QStringLiteral("b.bmp")), "BMP"));
    FakeDesktop desktop;
    Form1 window(&desktop, QStringLiteral(CORVANE_BIN_DIR));
    window.Form_Load();
    window.resize(690, 370);
    window.cboOptions()->setCurrentIndex(1); // delete
    emit window.cboOptions()->activated(1);
    desktop.folderAnswers << pictures.path();
    window.cmdCompare()->click();
    ASSERT_TRUE(window.run().pairOnShow());
    const LogicalScale s(window.size());
    EXPECT_EQ(window.Image1()->geometry(), s.sizedRect(QRectF(146, 23, 60, 240)));
    EXPECT_EQ(window.Image2()->geometry(), s.sizedRect(QRectF(482, 23, 60, 240)));
    window.cmdDelete2()->click(); // the only pair: the search ends
    ASSERT_FALSE(window.run().isSearching());
    window.resize(700, 380);
    const LogicalScale after(window.size());
    EXPECT_EQ(window.Image1()->geometry(), after.rect(16, 23, 320, 240));
    EXPECT_EQ(window.Image2()->geometry(), after.rect(352, 23, 320, 240));
}

} // namespace
