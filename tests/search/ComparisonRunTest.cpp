#include "search/ComparisonRun.h"
#include "search/CandidateEntry.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "SecondProcess.h"
#include "StandInConverter.h"

#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <vector>

namespace {

// Records what the run asks of the window; onTurn lets a test act during an
// event-loop turn as the user would (cancel, start again, close).
using Tallies = std::vector<SearchTally>;
using Captions = std::vector<std::pair<QString, int>>;

class FakeView : public ComparisonView {
public:
    struct Pair {
        QString left;
        QString right;
        QImage leftPicture;
    };

    void beginSearch(const QString& folder, int files) override
    {
        captions.push_back({folder, files});
    }
    // A bar 1000 wide.
    void showProgress(qint64 done, qint64 total) override
    {
        bars.push_back(int(double(done) / double(total) * 1000));
    }
    void processEvents() override
    {
        ++turns;
        if (onTurn)
            onTurn();
    }
    void showPair(const QImage& left, const QImage&, const QString& leftName,
        const QString& rightName) override
    {
        pairs.push_back({leftName, rightName, left});
    }
    void clearPair(Side side) override { cleared.push_back(side); }
    void finishSearch(const SearchTally& tally) override { finishes.push_back(tally); }
    void cancelSearch() override { ++cancels; }

    int calls() const
    {
        return int(captions.size() + bars.size() + pairs.size() + cleared.size() + finishes.size())
            + cancels + turns;
    }

    Captions captions;
    std::vector<int> bars;
    std::vector<Pair> pairs;
    std::vector<Side> cleared;
    std::vector<SearchTally> finishes;
    int cancels = 0;
    int turns = 0;
    std::function<void()> onTurn;
};

QImage picture(int width, int height, int seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * seed) % 256, (y + seed) % 256, (x ^ y) % 256));
    return image;
}

// Test folders: pictures saved as BMP, then padded with trailing bytes (which
// the BMP reader ignores) so that equal pixels can have chosen file sizes.
class Folder {
public:
    Folder() { EXPECT_TRUE(m_dir.isValid()); }
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.path() + QLatin1Char('/') + name; }

    // Writes a BMP of `image` padded to exactly `size` bytes (0: unpadded).
    void bmp(const QString& name, const QImage& image, qint64 size = 0)
    {
        ASSERT_TRUE(image.save(file(name), "BMP"));
        pad(name, size);
    }
    void pad(const QString& name, qint64 size)
    {
        QFile f(file(name));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_LE(f.size(), size == 0 ? f.size() : size) << "picture larger than its size";
        if (size > f.size()) {
            ASSERT_TRUE(f.resize(size));
        }
    }
    void bytes(const QString& name, const QByteArray& content)
    {
        QFile f(file(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

private:
    QTemporaryDir m_dir;
};

constexpr qint64 kBase = 20000; // above any 40 x 40 BMP used here

// Files go to the converter by their content: stand-in inputs begin like a
// PNG or a TIFF (what follows is the stand-in's business).
const QByteArray kPngSignature("\x89PNG\r\n\x1a\n", 8);
const QByteArray kTiffSignature("II*\0", 4);

class ComparisonRunTest : public ::testing::Test {
protected:
    // No converter in this program folder: only BMP, JPEG and GIF decode.
    QTemporaryDir m_programFolder;
    FakeView m_view;
    ComparisonRun m_run{m_view, m_programFolder.path(), m_programFolder.path()};
};

} // namespace

TEST_F(ComparisonRunTest, EmptyAndSingleImageFolders)
{
    Folder empty;
    m_run.start(empty.path());
    EXPECT_EQ(m_view.finishes, (Tallies{{0, 0}}));
    EXPECT_TRUE(m_view.bars.empty()); // an empty list draws no bar
    EXPECT_EQ(m_view.captions, (Captions{{empty.path() + QStringLiteral("/"), 0}}));

    Folder one;
    one.bmp(QStringLiteral("a.bmp"), picture(10, 10, 1));
    one.bytes(QStringLiteral("notes.txt"), "text");
    m_run.start(one.path());
    EXPECT_EQ(m_view.finishes, (Tallies{{0, 0}, {1, 0}}));
    EXPECT_FALSE(m_run.isSearching());
}

TEST_F(ComparisonRunTest, SizeWindowIsBelow200Bytes)
{
    struct Row {
        qint64 gap;
        bool shown;
    };
    for (const Row row : {Row{199, true}, Row{200, false}, Row{0, true}}) {
        Folder folder;
        folder.bmp(QStringLiteral("a.bmp"), picture(20, 20, 3), kBase);
        folder.bmp(QStringLiteral("b.bmp"), picture(20, 20, 3), kBase + row.gap);
        FakeView view;
        ComparisonRun run(view, m_programFolder.path(), m_programFolder.path());
        run.start(folder.path());
        EXPECT_EQ(view.pairs.size(), row.shown ? 1u : 0u) << "gap " << row.gap;
        EXPECT_EQ(run.pairOnShow(), row.shown);
    }
}

TEST_F(ComparisonRunTest, OnlyNeighboursAreCompared)
{
    // a and c are identical, but b's size lies between theirs.
    Folder folder;
    folder.bmp(QStringLiteral("a.bmp"), picture(20, 20, 3), kBase);
    folder.bmp(QStringLiteral("b.bmp"), picture(20, 20, 4), kBase + 50);
    folder.bmp(QStringLiteral("c.bmp"), picture(20, 20, 3), kBase + 100);
    m_run.start(folder.path());
    EXPECT_TRUE(m_view.pairs.empty());
    EXPECT_EQ(m_view.finishes, (Tallies{{3, 0}}));
}

TEST_F(ComparisonRunTest, TheTwoSmallestImagesComeFirst)
{
    Folder folder;
    folder.bmp(QStringLiteral("big1.bmp"), picture(30, 30, 5), kBase + 5000);
    folder.bmp(QStringLiteral("big2.bmp"), picture(30, 30, 5), kBase + 5001);
    folder.bmp(QStringLiteral("small1.bmp"), picture(20, 20, 6), kBase);
    folder.bmp(QStringLiteral("small2.bmp"), picture(20, 20, 6), kBase + 1);
    m_run.start(folder.path());
    ASSERT_EQ(m_view.pairs.size(), 1u);
    EXPECT_EQ(m_view.pairs[0].left, QStringLiteral("small1.bmp"));
    EXPECT_EQ(m_view.pairs[0].right, QStringLiteral("small2.bmp"));
    EXPECT_EQ(m_run.leftIndex(), 0);
    EXPECT_EQ(m_run.rightIndex(), 1);
    EXPECT_EQ(m_run.pathOf(Side::Right), folder.file(QStringLiteral("small2.bmp")));
}

TEST_F(ComparisonRunTest, PicturesThatCannotBothBeDecodedAreNeverShown)
{
    struct Row {
        const char* name;
        std::function<void(Folder&)> fill;
    };
    const QByteArray corrupt = QByteArray("BM") + QByteArray(kBase, 'z');
    const Row rows[] = {
        // Each case would pair a corrupt file with a picture decoded in an earlier step.
        {"corrupt second after a different picture",
            [&](Folder& f) {
                f.bmp(QStringLiteral("x.bmp"), picture(20, 20, 7), kBase);
                f.bmp(QStringLiteral("y.bmp"), picture(20, 20, 8), kBase + 1);
                f.bytes(QStringLiteral("z.bmp"), corrupt.left(kBase + 2));
            }},
        {"corrupt first between twins",
            [&](Folder& f) {
                f.bmp(QStringLiteral("d1.bmp"), picture(20, 20, 9), kBase);
                f.bytes(QStringLiteral("c.bmp"), corrupt.left(kBase + 1));
                f.bmp(QStringLiteral("d2.bmp"), picture(20, 20, 9), kBase + 2);
            }},
        {"two corrupt files of equal size",
            [&](Folder& f) {
                f.bytes(QStringLiteral("p.jpg"), corrupt.left(kBase));
                f.bytes(QStringLiteral("q.jpg"), corrupt.left(kBase));
            }},
        {"converter types without a converter",
            [&](Folder& f) {
                ASSERT_TRUE(picture(20, 20, 2).save(f.file(QStringLiteral("a.png")), "PNG"));
                ASSERT_TRUE(
                    QFile::copy(f.file(QStringLiteral("a.png")), f.file(QStringLiteral("b.png"))));
            }},
    };
    for (const Row& row : rows) {
        Folder folder;
        row.fill(folder);
        FakeView view;
        ComparisonRun run(view, m_programFolder.path(), m_programFolder.path());
        run.start(folder.path());
        EXPECT_TRUE(view.pairs.empty()) << row.name;
        EXPECT_EQ(view.finishes.size(), 1u) << row.name;
    }
}

TEST_F(ComparisonRunTest, FileRemovedAfterTheScanIsSkipped)
{
    struct RemovingView : FakeView {
        QString victim;
        void beginSearch(const QString& folder, int files) override
        {
            QFile::remove(victim);
            FakeView::beginSearch(folder, files);
        }
    } view;
    Folder folder;
    folder.bmp(QStringLiteral("a.bmp"), picture(20, 20, 2), kBase);
    folder.bmp(QStringLiteral("b.bmp"), picture(20, 20, 2), kBase + 1);
    view.victim = folder.file(QStringLiteral("b.bmp"));
    ComparisonRun run(view, m_programFolder.path(), m_programFolder.path());
    run.start(folder.path());
    EXPECT_TRUE(view.pairs.empty());
    // The pair was never compared: the closing message must not pass for a clean result.
    EXPECT_EQ(view.finishes, (Tallies{{2, 0, 1}}));
}

TEST_F(ComparisonRunTest, FileReplacedDuringAnEventTurnIsDecodedAgain)
{
    // b and c are twins until b is replaced, at the same size, while the
    // window takes its turn after the pair a/b.
    Folder folder;
    folder.bmp(QStringLiteral("a.bmp"), picture(20, 20, 1), kBase);
    folder.bmp(QStringLiteral("b.bmp"), picture(20, 20, 2), kBase + 1);
    folder.bmp(QStringLiteral("c.bmp"), picture(20, 20, 2), kBase + 2);
    m_view.onTurn = [&] {
        if (m_view.turns != 1)
            return;
        folder.bmp(QStringLiteral("new.bmp"), picture(20, 20, 3), kBase + 1);
        ASSERT_TRUE(::rename(QFile::encodeName(folder.file(QStringLiteral("new.bmp"))).constData(),
                        QFile::encodeName(folder.file(QStringLiteral("b.bmp"))).constData())
            == 0);
    };
    m_run.start(folder.path());
    EXPECT_TRUE(m_view.pairs.empty());
    EXPECT_EQ(m_view.turns, 2);
}

TEST_F(ComparisonRunTest, EqualKeysWithDifferentPictureSizesAreSkipped)
{
    // 100 x 52 and 52 x 100 at 24 bits give BMP files of the same length.
    Folder folder;
    folder.bmp(QStringLiteral("wide.bmp"), picture(100, 52, 1), kBase);
    folder.bmp(QStringLiteral("tall.bmp"), picture(52, 100, 1), kBase);
    m_run.start(folder.path());
    EXPECT_TRUE(m_view.pairs.empty());
    EXPECT_EQ(m_view.turns, 1); // decoded and looked at, then skipped
}

TEST_F(ComparisonRunTest, ThreeCopiesActingOnTheLeftEachTime)
{
    Folder folder;
    for (int i = 0; i < 3; ++i)
        folder.bmp(QStringLiteral("copy%1.bmp").arg(i), picture(24, 24, 11), kBase + i);
    m_run.start(folder.path());
    ASSERT_EQ(m_view.pairs.size(), 1u);
    EXPECT_EQ(m_view.pairs[0].left, QStringLiteral("copy0.bmp"));
    EXPECT_EQ(m_run.deletedCount(), 1);

    ASSERT_TRUE(QFile::remove(m_run.pathOf(Side::Left)));
    m_run.actOn(Side::Left, ComparisonRun::ActOutcome::EntryRemoved);
    ASSERT_EQ(m_view.pairs.size(), 2u);
    EXPECT_EQ(m_view.pairs[1].left, QStringLiteral("copy1.bmp"));
    EXPECT_EQ(m_view.pairs[1].right, QStringLiteral("copy2.bmp"));
    EXPECT_EQ(m_run.leftIndex(), 0);

    ASSERT_TRUE(QFile::remove(m_run.pathOf(Side::Left)));
    m_run.actOn(Side::Left, ComparisonRun::ActOutcome::EntryRemoved);
    EXPECT_EQ(m_view.cleared, (std::vector<Side>{Side::Left, Side::Left}));
    EXPECT_EQ(m_view.finishes, (Tallies{{3, 2}}));
    EXPECT_EQ(m_run.candidates().count(), 1);
}

TEST_F(ComparisonRunTest, ActingOnTheRightResumesOnePairBack)
{
    // a, b differ; b, c are twins, c, d are twins: after c goes, b and d meet.
    Folder folder;
    folder.bmp(QStringLiteral("a.bmp"), picture(24, 24, 1), kBase);
    folder.bmp(QStringLiteral("b.bmp"), picture(24, 24, 2), kBase + 1);
    folder.bmp(QStringLiteral("c.bmp"), picture(24, 24, 2), kBase + 2);
    folder.bmp(QStringLiteral("d.bmp"), picture(24, 24, 2), kBase + 3);
    m_run.start(folder.path());
    ASSERT_EQ(m_view.pairs.size(), 1u);
    EXPECT_EQ(m_view.pairs[0].right, QStringLiteral("c.bmp"));
    m_run.actOn(Side::Right, ComparisonRun::ActOutcome::EntryRemoved);
    ASSERT_EQ(m_view.pairs.size(), 2u);
    EXPECT_EQ(m_view.pairs[1].left, QStringLiteral("b.bmp"));
    EXPECT_EQ(m_view.pairs[1].right, QStringLiteral("d.bmp"));
}

TEST_F(ComparisonRunTest, RefusedActionShowsThePairAgainAndDoesNotCount)
{
    Folder folder;
    folder.bmp(QStringLiteral("a.bmp"), picture(24, 24, 4), kBase);
    folder.bmp(QStringLiteral("b.bmp"), picture(24, 24, 4), kBase + 1);
    m_run.start(folder.path());
    ASSERT_EQ(m_view.pairs.size(), 1u);
    m_run.actOn(Side::Left, ComparisonRun::ActOutcome::Refused);
    EXPECT_FALSE(m_run.entryRemoved());
    ASSERT_EQ(m_view.pairs.size(), 2u);
    EXPECT_EQ(m_view.pairs[1].left, QStringLiteral("a.bmp"));
    EXPECT_EQ(m_run.deletedCount(), 1);
    EXPECT_EQ(m_run.candidates().count(), 2);
    m_run.actOn(Side::Right, ComparisonRun::ActOutcome::EntryRemoved);
    EXPECT_EQ(m_view.finishes, (Tallies{{2, 1}}));
}

// The pair walk hands out who each copy was when its picture was decoded, not
// who is under the name now: a file saved over the copy is told apart.
TEST_F(ComparisonRunTest, IdentityOfACopyIsTheFileThatWasCompared)
{
    Folder folder;
    folder.bmp(QStringLiteral("a.bmp"), picture(20, 20, 8), kBase);
    folder.bmp(QStringLiteral("b.bmp"), picture(20, 20, 8), kBase + 1);
    const QByteArray right = QFile::encodeName(folder.file(QStringLiteral("b.bmp")));
    const std::optional<FileIdentity> compared = plainFileIdentity(right.constData());
    ASSERT_TRUE(compared);
    m_run.start(folder.path());
    ASSERT_TRUE(m_run.pairOnShow());
    EXPECT_EQ(m_run.identityOf(Side::Right), compared);
    EXPECT_TRUE(m_run.pairUnchanged());

    folder.bmp(QStringLiteral("saved.bmp"), picture(20, 20, 8), kBase + 1);
    ASSERT_EQ(::rename(QFile::encodeName(folder.file(QStringLiteral("saved.bmp"))).constData(),
                  right.constData()),
        0);
    EXPECT_FALSE(m_run.pairUnchanged()) << "equal pixels, but another file";
    EXPECT_EQ(m_run.identityOf(Side::Right), compared);
    EXPECT_NE(plainFileIdentity(right.constData()), compared);
    m_run.cancel();
    EXPECT_EQ(m_run.identityOf(Side::Right), std::nullopt);
}

TEST_F(ComparisonRunTest, CancelWhileAPairIsOnShow)
{
    Folder folder;
    folder.bmp(QStringLiteral("a.bmp"), picture(40, 10, 4), kBase);
    folder.bmp(QStringLiteral("b.bmp"), picture(40, 10, 4), kBase + 1);
    folder.bmp(QStringLiteral("c.bmp"), picture(40, 10, 4), kBase + 2);
    m_run.start(folder.path());
    ASSERT_TRUE(m_run.pairOnShow());
    m_run.cancel();
    EXPECT_EQ(m_view.cancels, 1);
    EXPECT_FALSE(m_run.pairOnShow());
    EXPECT_EQ(m_run.pathOf(Side::Left), QString());
    // A late press on an action button changes nothing.
    m_run.actOn(Side::Left, ComparisonRun::ActOutcome::EntryRemoved);
    EXPECT_EQ(m_run.candidates().count(), 3);
    EXPECT_EQ(m_view.pairs.size(), 1u);
    EXPECT_TRUE(m_view.finishes.empty());
    m_run.cancel(); // the window is idle: nothing to cancel
    EXPECT_EQ(m_view.cancels, 1);
}

TEST_F(ComparisonRunTest, CancelDuringAnEventTurnStopsWithoutShowing)
{
    Folder folder;
    folder.bmp(QStringLiteral("a.bmp"), picture(20, 20, 4), kBase);
    folder.bmp(QStringLiteral("b.bmp"), picture(20, 20, 4), kBase + 1);
    m_view.onTurn = [this] { m_run.cancel(); };
    m_run.start(folder.path());
    EXPECT_TRUE(m_view.pairs.empty());
    EXPECT_EQ(m_view.cancels, 1);
    EXPECT_TRUE(m_view.finishes.empty());
    EXPECT_FALSE(m_run.isRunning());
    m_run.CompareFiles(); // still cancelled: returns at once
    EXPECT_TRUE(m_view.pairs.empty());
}

TEST_F(ComparisonRunTest, StartDuringAnEventTurnWaitsForTheRunningStep)
{
    Folder first;
    first.bmp(QStringLiteral("a.bmp"), picture(20, 20, 4), kBase);
    first.bmp(QStringLiteral("b.bmp"), picture(20, 20, 4), kBase + 1);
    Folder second;
    second.bmp(QStringLiteral("c.bmp"), picture(20, 20, 5), kBase);
    second.bmp(QStringLiteral("d.bmp"), picture(20, 20, 5), kBase + 1);
    int depth = 0;
    int deepest = 0;
    m_view.onTurn = [&] {
        ++depth;
        deepest = std::max(deepest, depth);
        if (m_view.turns == 1) {
            m_run.cancel();
            m_run.start(second.path());
            m_run.CompareFiles(); // a nested call is refused as well
        }
        --depth;
    };
    m_run.start(first.path());
    EXPECT_EQ(deepest, 1);
    ASSERT_EQ(m_view.pairs.size(), 1u);
    EXPECT_EQ(m_view.pairs[0].left, QStringLiteral("c.bmp"));
    EXPECT_EQ(m_run.searchFolder(), second.path() + QLatin1Char('/'));
    EXPECT_EQ(m_run.deletedCount(), 1);
}

TEST_F(ComparisonRunTest, ClosingWindowGetsNoFurtherCalls)
{
    Folder folder;
    for (int i = 0; i < 4; ++i)
        folder.bmp(QStringLiteral("%1.bmp").arg(i), picture(20, 20, 4), kBase + i);
    int callsAtClose = -1;
    m_view.onTurn = [&] {
        m_run.windowClosing();
        callsAtClose = m_view.calls();
    };
    m_run.start(folder.path());
    EXPECT_EQ(m_view.calls(), callsAtClose);
    m_run.start(folder.path());
    m_run.cancel();
    EXPECT_EQ(m_view.calls(), callsAtClose);
}

TEST_F(ComparisonRunTest, ProgressGrowsWithThePosition)
{
    Folder folder;
    for (int i = 0; i < 8; ++i)
        folder.bmp(QStringLiteral("%1.bmp").arg(i), picture(10, 10, i + 1), kBase + 300 * i);
    m_run.start(folder.path());
    // FirstIndex 0..7 of 8 entries on a 1000-unit bar; 7 ends the search.
    EXPECT_EQ(m_view.bars, (std::vector<int>{0, 125, 250, 375, 500, 625, 750, 875}));
    EXPECT_EQ(m_view.turns, 0); // no pair was within the size window
}

TEST(ComparisonRunConverter, ConverterTypesGoThroughTheConverter)
{
    // The stand-in turns every image into the same bitmap: a png and a tif of
    // neighbouring sizes become a pair; bmp files still decode in process.
    StandInConverter standIn(StandInConverter::kCopySource);
    ASSERT_TRUE(picture(16, 16, 3).save(standIn.source(), "BMP"));
    QTemporaryDir scratch;
    Folder folder;
    folder.bytes(QStringLiteral("a.png"), kPngSignature + QByteArray(kBase, '\0'));
    folder.bytes(QStringLiteral("b.tif"), kTiffSignature + QByteArray(kBase + 10, '\0'));
    FakeView view;
    ComparisonRun run(view, standIn.folder(), scratch.path());
    run.start(folder.path());
    ASSERT_EQ(view.pairs.size(), 1u);
    EXPECT_EQ(view.pairs[0].left, QStringLiteral("a.png"));
    EXPECT_GE(view.turns, 5); // turns around each converter wait and one for the pair
    EXPECT_FALSE(QFile::exists(run.converter().tempBitmapPath()));
}

TEST(ComparisonRunConverter, CancelDuringAConverterWaitStopsIt)
{
    StandInConverter hangs("exec sleep 30");
    QTemporaryDir scratch;
    Folder folder;
    folder.bytes(QStringLiteral("a.png"), kPngSignature + QByteArray(kBase, 'a'));
    folder.bytes(QStringLiteral("b.png"), kPngSignature + QByteArray(kBase, 'a'));
    FakeView view;
    ComparisonRun run(view, hangs.folder(), scratch.path());
    view.onTurn = [&] {
        if (view.turns == 3)
            run.cancel();
    };
    QElapsedTimer timer;
    timer.start();
    run.start(folder.path());
    EXPECT_LT(timer.elapsed(), 4000); // well before the five-second limit
    EXPECT_TRUE(view.pairs.empty());
    EXPECT_EQ(view.cancels, 1);
}

TEST(ComparisonRunConverter, BorrowedClientRunsToTheEndAfterACancel)
{
    // After a cancel the window may still ask the run's client for a report.
    StandInConverter slow("sleep 1\ninfo=\"${3#/info=}\"; echo ok > \"$info\"");
    QTemporaryDir scratch;
    Folder folder;
    folder.bmp(QStringLiteral("a.bmp"), picture(20, 20, 4), kBase);
    folder.bmp(QStringLiteral("b.bmp"), picture(20, 20, 4), kBase + 1);
    FakeView view;
    ComparisonRun run(view, slow.folder(), scratch.path());
    run.start(folder.path());
    run.cancel();
    EXPECT_TRUE(run.converter().writeInformation(folder.file(QStringLiteral("a.bmp"))));
    run.windowClosing();
    EXPECT_FALSE(run.converter().writeInformation(folder.file(QStringLiteral("a.bmp"))));
}

TEST(ComparisonRunConverter, RealConverterFindsPngAndTiffTwins)
{
    const QString programFolder = QStringLiteral(CORVANE_BIN_DIR);
    if (!QFileInfo(programFolder + QStringLiteral("/i__view32.exe")).isExecutable())
        GTEST_SKIP() << "i__view32.exe not built";
    QTemporaryDir scratch;
    Folder folder;
    ASSERT_TRUE(picture(33, 17, 3).save(folder.file(QStringLiteral("a.png")), "PNG"));
    ASSERT_TRUE(
        QFile::copy(folder.file(QStringLiteral("a.png")), folder.file(QStringLiteral("b.png"))));
    ASSERT_TRUE(picture(33, 17, 3).save(folder.file(QStringLiteral("c.tif")), "TIFF"));
    FakeView view;
    ComparisonRun run(view, programFolder, scratch.path());
    run.start(folder.path());
    ASSERT_EQ(view.pairs.size(), 1u);
    EXPECT_EQ(view.pairs[0].left, QStringLiteral("a.png"));
    EXPECT_FALSE(QFile::exists(run.converter().tempBitmapPath()));
}

TEST(ComparisonRunConverter, EachPictureIsConvertedOnceAlongARow)
{
    // The stand-in hands back the input without its first eight bytes: these
    // "png" files are a PNG signature before BMP data, different pictures in
    // a row of neighbouring sizes.
    StandInConverter counting("echo run >> \"$here/runs\"\ntail -c +9 \"$1\" > \"$out\"");
    QTemporaryDir scratch;
    Folder folder;
    for (int i = 0; i < 4; ++i) {
        const QString name = QStringLiteral("%1.png").arg(i);
        folder.bmp(name, picture(16, 16, i + 1), kBase + i);
        QFile file(folder.file(name));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        const QByteArray bmp = file.readAll();
        ASSERT_TRUE(file.seek(0));
        file.write(kPngSignature + bmp.left(bmp.size() - kPngSignature.size()));
    }
    FakeView view;
    ComparisonRun run(view, counting.folder(), scratch.path());
    run.start(folder.path());
    EXPECT_TRUE(view.pairs.empty());
    EXPECT_GE(view.turns, 3 + 4 * 2); // one per pair, at least two around each conversion
    QFile runs(counting.folder() + QStringLiteral("/runs"));
    ASSERT_TRUE(runs.open(QIODevice::ReadOnly));
    EXPECT_EQ(runs.readAll().count('\n'), 4);
}

namespace {

// The real converter of the build, or "" when it has not been built.
QString realProgramFolder()
{
    const QString folder = QStringLiteral(CORVANE_BIN_DIR);
    return QFileInfo(folder + QStringLiteral("/i__view32.exe")).isExecutable() ? folder : QString();
}

QImage noisePicture(int width, int height, quint32 seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    quint32 state = seed * 2654435761u + 1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            image.setPixel(x, y, qRgb(state >> 24, (state >> 16) & 255, (state >> 8) & 255));
        }
    }
    return image;
}

// Walks a search to its end, acting on the right copy of every pair shown
// (its entry leaves the list); returns the pairs as "left+right".
QStringList walk(ComparisonRun& run, FakeView& view, const QString& folder)
{
    run.start(folder);
    QStringList shown;
    size_t seen = 0;
    while (run.pairOnShow() && view.pairs.size() > seen) {
        seen = view.pairs.size();
        shown << view.pairs.back().left + QLatin1Char('+') + view.pairs.back().right;
        run.actOn(Side::Right, ComparisonRun::ActOutcome::EntryRemoved);
    }
    return shown;
}

} // namespace

TEST(ComparisonRunConverter, PairsThatCouldNotBeReadAreCountedNotReportedAsClean)
{
    // A pair of identical PNGs whose conversion fails: with no scratch folder
    // to write to, and with a converter that runs out of time. Neither may
    // end as a plain "Found no duplicates.", nor be shown.
    const QString programFolder = realProgramFolder();
    if (programFolder.isEmpty())
        GTEST_SKIP() << "i__view32.exe not built";
    struct Row {
        const char* name;
        bool missingScratch;
        int timeLimit;
    };
    const Row rows[] = {
        {"scratch folder missing", true, 5000},
        {"converter out of time", false, 1},
    };
    for (const Row& row : rows) {
        Folder folder;
        ASSERT_TRUE(noisePicture(1600, 1200, 5).save(folder.file(QStringLiteral("a.png")), "PNG"));
        ASSERT_TRUE(QFile::copy(
            folder.file(QStringLiteral("a.png")), folder.file(QStringLiteral("b.png"))));
        // Two different pictures in process as well, a corrupt file between them.
        folder.bmp(QStringLiteral("c.bmp"), picture(20, 20, 1), kBase);
        folder.bytes(QStringLiteral("d.bmp"), QByteArray("BM") + QByteArray(kBase, 'z'));
        folder.bmp(QStringLiteral("e.bmp"), picture(20, 20, 2), kBase + 2);
        QTemporaryDir scratch;
        FakeView view;
        ComparisonRun run(view, programFolder,
            row.missingScratch ? scratch.filePath(QStringLiteral("gone")) : scratch.path());
        run.converter().setTimeLimit(row.timeLimit);
        run.start(folder.path());
        EXPECT_TRUE(view.pairs.empty()) << row.name;
        EXPECT_EQ(view.finishes, (Tallies{{5, 0, 3}})) << row.name;
        EXPECT_EQ(run.unreadableFiles(),
            QStringList({folder.file(QStringLiteral("a.png")), folder.file(QStringLiteral("b.png")),
                folder.file(QStringLiteral("d.bmp"))}))
            << row.name;
    }
}

TEST(ComparisonRunConverter, MisnamedPicturesAreComparedByWhatTheirBytesAre)
{
    const QString programFolder = realProgramFolder();
    if (programFolder.isEmpty())
        GTEST_SKIP() << "i__view32.exe not built";
    struct Row {
        const char* name;
        const char* format; // how the picture is written; nullptr: raw bytes below
        QByteArray bytes;
        const char* first;
        const char* second;
        bool shown;
    };
    const QByteArray notAPicture = QByteArray("Not a picture, whatever its name.\n").repeated(40);
    const Row rows[] = {
        {"two JPEGs saved as .png", "JPG", {}, "photo.png", "photo copy.png", true},
        {"a BMP pair saved as .tif", "BMP", {}, "scan.tif", "scan 2.tif", true},
        {"a JPEG pair saved as .jp2", "JPG", {}, "x.jp2", "y.jp2", true},
        {"a JPEG and its copy saved as .png", "JPG", {}, "a.jpg", "b.png", true},
        {"text saved as .png", nullptr, notAPicture, "t1.png", "t2.png", false},
        {"text saved as .jpg", nullptr, notAPicture, "t1.jpg", "t2.jpg", false},
    };
    for (const Row& row : rows) {
        Folder folder;
        const QString first = folder.file(QLatin1String(row.first));
        if (row.format)
            ASSERT_TRUE(noisePicture(40, 30, 3).save(first, row.format)) << row.name;
        else
            folder.bytes(QLatin1String(row.first), row.bytes);
        ASSERT_TRUE(QFile::copy(first, folder.file(QLatin1String(row.second)))) << row.name;
        QTemporaryDir scratch;
        FakeView view;
        ComparisonRun run(view, programFolder, scratch.path());
        run.start(folder.path());
        EXPECT_EQ(view.pairs.size(), row.shown ? 1u : 0u) << row.name;
        EXPECT_EQ(run.unreadableFiles().size(), row.shown ? 0 : 2) << row.name;
    }
}

TEST(ComparisonRunConverter, AnotherCorvaneConvertingPictureAfterPictureMakesThisOneMissNoPair)
{
    // The other instance takes the scratch folder for about a conversion at a
    // time and asks again the moment it gives it back, until this search is
    // done (or a minute has passed).
    const QString programFolder = realProgramFolder();
    if (programFolder.isEmpty())
        GTEST_SKIP() << "i__view32.exe not built";
    Folder folder;
    QStringList expected;
    for (int i = 0; i < 8; ++i) {
        const QString a = QStringLiteral("p%1 a.png").arg(i);
        const QString b = QStringLiteral("p%1 b.png").arg(i);
        ASSERT_TRUE(noisePicture(20 + 3 * i, 20, quint32(i)).save(folder.file(a), "PNG"));
        ASSERT_TRUE(QFile::copy(folder.file(a), folder.file(b)));
        expected << a + QLatin1Char('+') + b;
    }
    QTemporaryDir scratch;
    const QString done = scratch.filePath(QStringLiteral("done"));
    SecondProcess busy([&](int report) {
        QElapsedTimer running;
        running.start();
        bool told = false;
        while (::access(QFile::encodeName(done).constData(), F_OK) != 0) {
            if (running.elapsed() > 60000)
                ::_exit(4);
            ScratchTurn turn(scratch.path());
            SecondProcess::takeTurn(turn);
            if (!told) {
                SecondProcess::tell(report, 'h');
                told = true;
            }
            ::usleep(40000);
        }
    });
    ASSERT_EQ(busy.nextReport(), 'h');

    FakeView view;
    ComparisonRun run(view, programFolder, scratch.path());
    const QStringList shown = walk(run, view, folder.path());
    const int marker = ::open(QFile::encodeName(done).constData(), O_CREAT | O_WRONLY, 0600);
    ::close(marker);
    EXPECT_EQ(busy.exitCode(), 0) << "the other instance was busy throughout";
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(view.finishes, (Tallies{{16, 8}}));
}

TEST_F(ComparisonRunTest, NamesThatAreNotUtf8AreLeftOutAndCounted)
{
    Folder folder;
    folder.bmp(QStringLiteral("a.bmp"), picture(20, 20, 6), kBase);
    const QByteArray base = QFile::encodeName(folder.path()) + '/';
    QFile source(folder.file(QStringLiteral("a.bmp")));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray bytes = source.readAll();
    // A twin and a third copy under names that cannot be text: never acted on.
    const QByteArray rawNames[] = {"a\xff.bmp", "b\xfe\xfd.BMP", "notes\xff.txt"};
    for (const QByteArray& name : rawNames) {
        const int fd = ::open((base + name).constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
        ::close(fd);
    }
    m_run.start(folder.path());
    EXPECT_TRUE(m_view.pairs.empty());
    EXPECT_EQ(m_view.finishes, (Tallies{{1, 0, 0, 2}}));
    for (const QByteArray& name : rawNames) {
        EXPECT_EQ(::access((base + name).constData(), F_OK), 0);
        ::unlink((base + name).constData()); // QTemporaryDir cannot remove it by its decoded name
    }
}
