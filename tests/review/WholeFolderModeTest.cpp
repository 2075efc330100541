// The main window's two check boxes drive the mode: both off runs the first
// design's search, either on runs the whole-folder search (in its own thread,
// with progress and cancel) that ends in the review window or, from there, in
// the pair-by-pair walk with the usual buttons and closing message.
#include "FakeDesktop.h"
#include "ReviewTestData.h"
#include "ScratchHome.h"
#include "ShellTestSupport.h"

#include "controls/chameleonButton.h"
#include "handling/frmInfo.h"
#include "review/KeptResults.h"
#include "review/ReviewItemModel.h"
#include "search/ComparisonRun.h"
#include "shell/BrowseDirectorysOnly.h"
#include "shell/Form1.h"
#include "shell/ProgressBarBox.h"
#include "shell/SearchChoices.h"
#include "shell/SearchTexts.h"
#include "shell/WholeFolderMode.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMap>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QToolButton>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>

using namespace ReviewTestData;

namespace {

// A desktop whose search picker answers with scripted check boxes.
class ChoosingDesktop : public FakeDesktop {
public:
    SearchChoices answer;
    SearchChoices shown; // what the picker showed last time
    int searchPickerCalls = 0;

    QString browseForSearchFolder(
        QWidget* owner, const QString& title, const QString& start, SearchChoices& choices) override
    {
        ++searchPickerCalls;
        shown = choices;
        const QString folder = browseForFolder(owner, title, start);
        if (!folder.isEmpty())
            choices = answer;
        return folder;
    }
};

// Stands in for the search library: groups files of equal bytes. What it
// was asked is kept for the tests.
struct EqualBytesEngine {
    std::vector<WholeFolderRequest> requests;
    bool waitForStop = false;

    WholeFolderSearch::Engine engine()
    {
        return [this](const WholeFolderRequest& request, const std::atomic<bool>& stop,
                   const WholeFolderSearch::Progress& progress) {
            requests.push_back(request);
            FinderResult result;
            result.folders = {request.folder};
            QMap<QByteArray, std::vector<FoundFile>> byContent;
            QDirIterator it(QFile::decodeName(request.folder), QDir::Files,
                request.recursive ? QDirIterator::Subdirectories : QDirIterator::NoIteratorFlags);
            QStringList files;
            while (it.hasNext())
                files << it.next();
            files.sort();
            for (int i = 0; i < files.size(); ++i) {
                QFile f(files[i]);
                f.open(QIODevice::ReadOnly);
                byContent[QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256)]
                    .push_back(foundOnDisk(files[i]));
                FinderProgress report;
                report.stage = FinderProgress::Stage::Decoding;
                report.done = i + 1;
                report.total = files.size();
                report.fraction = double(i + 1) / double(files.size());
                progress(report);
            }
            while (waitForStop && !stop)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            result.filesExamined = files.size();
            for (const std::vector<FoundFile>& same : byContent) {
                if (same.size() > 1) {
                    DuplicateGroup group;
                    group.width = 12;
                    group.height = 9;
                    group.files = same;
                    result.groups.push_back(group);
                }
            }
            return result;
        };
    }
};

class WholeFolderModeTest : public TemporarySettingsTest {
protected:
    void SetUp() override
    {
        TemporarySettingsTest::SetUp();
        ASSERT_TRUE(m_pictures.isValid());
        m_window = std::make_unique<Form1>(&m_desktop, QStringLiteral(CORVANE_BIN_DIR));
        m_window->wholeFolder().setEngine(m_engine.engine());
        m_window->wholeFolder().reviewHooks.confirm = [](const QString&) { return true; };
        m_window->wholeFolder().reviewHooks.report = [](const QString&, const QStringList&) {};
        m_window->wholeFolder().reviewHooks.askOnClose = [](const QString&) { return 1; };
        KeptResults::discard(); // one test's kept results are not the next one's
        m_window->Form_Load();
    }

    QString path(const QString& name) const { return m_pictures.path() + QLatin1Char('/') + name; }

    void search(bool everyPicture, bool subfolders, bool samePhoto = false)
    {
        searchIn(m_pictures.path(), everyPicture, subfolders, samePhoto);
    }

    void searchIn(const QString& folder, bool everyPicture, bool subfolders, bool samePhoto)
    {
        m_desktop.answer = {everyPicture, subfolders, samePhoto};
        m_desktop.folderAnswers << folder;
        m_window->cmdCompare()->click();
    }

    // Waits until the whole-folder search has ended (the search library
    // decoding photos on a busy machine may take a while).
    void waitForSearch(int milliseconds = 10000)
    {
        QElapsedTimer t;
        t.start();
        while (m_window->wholeFolder().isSearching() && t.elapsed() < milliseconds)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::processEvents();
        ASSERT_FALSE(m_window->wholeFolder().isSearching());
    }

    static void waitUntilActed(frmReview* review)
    {
        QElapsedTimer t;
        t.start();
        while (review->isActing() && t.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_FALSE(review->isActing());
    }

    QString lastMessage() const
    {
        return m_desktop.messages.isEmpty() ? QString() : m_desktop.messages.last().text;
    }

    QTemporaryDir m_pictures;
    ChoosingDesktop m_desktop;
    EqualBytesEngine m_engine;
    std::unique_ptr<Form1> m_window;
};

TEST_F(WholeFolderModeTest, BothBoxesOffRunTheFirstDesignsSearch)
{
    writePicture(path(QStringLiteral("a.png")), 1);
    QFile::copy(path(QStringLiteral("a.png")), path(QStringLiteral("b.png")));
    search(false, false);
    EXPECT_TRUE(m_engine.requests.empty());
    EXPECT_EQ(m_desktop.searchPickerCalls, 1);
    EXPECT_TRUE(m_window->run().pairOnShow()); // the neighbour search found the pair
    EXPECT_EQ(m_window->wholeFolder().reviewWindow(), nullptr);
}

TEST_F(WholeFolderModeTest, EitherBoxRunsTheWholeFolderSearchAndIsRemembered)
{
    struct Row {
        bool everyPicture;
        bool subfolders;
        bool samePhoto;
    };
    for (const Row row : {Row{true, false, false}, Row{false, true, false}, Row{true, true, false},
             Row{false, false, true}}) {
        m_engine.requests.clear();
        search(row.everyPicture, row.subfolders, row.samePhoto);
        waitForSearch();
        ASSERT_EQ(m_engine.requests.size(), size_t(1));
        EXPECT_EQ(m_engine.requests[0].folder, QFile::encodeName(m_pictures.path()));
        EXPECT_EQ(m_engine.requests[0].recursive, row.subfolders);
        EXPECT_EQ(m_engine.requests[0].samePhoto, row.samePhoto);
        EXPECT_EQ(stored().value(QStringLiteral("Search/SamePhoto")).toString(),
            row.samePhoto ? QStringLiteral("1") : QStringLiteral("0"));
        EXPECT_EQ(stored().value(QStringLiteral("Search/EveryPicture")).toString(),
            row.everyPicture ? QStringLiteral("1") : QStringLiteral("0"));
        EXPECT_EQ(stored().value(QStringLiteral("Search/Subfolders")).toString(),
            row.subfolders ? QStringLiteral("1") : QStringLiteral("0"));
        // The next picker opens with the boxes as they were left.
        search(false, false);
        EXPECT_EQ(m_desktop.shown.everyPicture, row.everyPicture);
        EXPECT_EQ(m_desktop.shown.subfolders, row.subfolders);
        EXPECT_EQ(m_desktop.shown.samePhoto, row.samePhoto);
    }
}

TEST_F(WholeFolderModeTest, TheSearchEndsInTheReviewWindowAndRulesThenTrashLeaveOneCopy)
{
    QDir().mkpath(path(QStringLiteral("sub")));
    for (int g = 0; g < 3; ++g) {
        writePicture(path(QStringLiteral("%1.png").arg(g)), g);
        QFile::copy(
            path(QStringLiteral("%1.png").arg(g)), path(QStringLiteral("sub/%1.png").arg(g)));
    }
    QFile::copy(path(QStringLiteral("0.png")), path(QStringLiteral("sub/0 again.png")));
    search(true, true);
    waitForSearch();
    frmReview* review = m_window->wholeFolder().reviewWindow();
    ASSERT_NE(review, nullptr);
    EXPECT_TRUE(review->isVisible());
    EXPECT_TRUE(m_window->cmdCompare()->isVisible()); // the main window is idle again
    ASSERT_EQ(review->itemModel()->rowCount(), 3);
    review->applyRule(MarkingRule::KeepShortestPath);
    review->actOnMarked();
    QElapsedTimer t;
    t.start();
    while (review->isActing() && t.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(ScratchHome::trashedFrom(m_pictures.path()).size(), 4);
    EXPECT_TRUE(m_desktop.trashed.isEmpty()); // the trash itself, not the desktop's pair route
    for (int g = 0; g < 3; ++g)
        EXPECT_TRUE(QFile::exists(path(QStringLiteral("%1.png").arg(g))));
    EXPECT_EQ(QDir(path(QStringLiteral("sub"))).entryList(QDir::Files).size(), 0);
}

// A new search keeps the marks with the results without asking; "Show last
// results" opens them again without a search, a changed file shown as such.
// The review window's action list chooses through the main window's list.
TEST_F(WholeFolderModeTest, TheLastResultsComeBackWithTheirMarks)
{
    for (int g = 0; g < 2; ++g) {
        writePicture(path(QStringLiteral("%1.png").arg(g)), g);
        QFile::copy(
            path(QStringLiteral("%1.png").arg(g)), path(QStringLiteral("%1 copy.png").arg(g)));
    }
    EXPECT_FALSE(m_window->wholeFolder().showLastResults()); // none kept yet
    EXPECT_EQ(lastMessage(), QStringLiteral("No results of an earlier search are kept."));
    search(true, false);
    waitForSearch();
    frmReview* review = m_window->wholeFolder().reviewWindow();
    ASSERT_NE(review, nullptr);
    const QStringList mainTexts = [this] {
        QStringList texts;
        for (int row = 0; row < m_window->cboOptions()->count(); ++row)
            texts << m_window->cboOptions()->itemText(row);
        return texts;
    }();
    ASSERT_EQ(review->cboAction()->count(), mainTexts.size());
    review->cboAction()->setCurrentIndex(1);
    emit review->cboAction()->activated(1);
    EXPECT_EQ(m_window->cboOptions()->currentIndex(), 1);
    EXPECT_EQ(stored().value(QStringLiteral("Delete/Options")).toString(), QStringLiteral("1"));
    EXPECT_EQ(review->cmdAct()->text(), frmReview::actCaption(1));
    for (int row = 0; row < m_window->cboOptions()->count(); ++row)
        EXPECT_EQ(m_window->cboOptions()->itemText(row), mainTexts[row]);

    review->applyRule(MarkingRule::KeepShortestPath); // the copies go
    // A new search takes the window's place; the marks are kept, unasked.
    search(true, false);
    waitForSearch();
    QCoreApplication::processEvents();
    std::optional<KeptResults::Kept> kept = KeptResults::load();
    ASSERT_TRUE(kept.has_value());
    EXPECT_EQ(kept->marked.size(), size_t(2));
    m_window->wholeFolder().reviewWindow()->applyRule(MarkingRule::KeepShortestPath);
    m_window->wholeFolder().reviewWindow()->cmdPairs()->click(); // closes, keeping
    QCoreApplication::processEvents();
    kept = KeptResults::load();
    ASSERT_TRUE(kept.has_value());
    EXPECT_EQ(kept->marked,
        (std::set<QByteArray>{QFile::encodeName(path(QStringLiteral("0 copy.png"))),
            QFile::encodeName(path(QStringLiteral("1 copy.png")))}));
    m_window->wholeFolder().cancel();
    QCoreApplication::processEvents();

    writePicture(path(QStringLiteral("1 copy.png")), 7); // changed since
    ASSERT_TRUE(m_window->wholeFolder().showLastResults());
    review = m_window->wholeFolder().reviewWindow();
    ASSERT_NE(review, nullptr);
    EXPECT_TRUE(review->isVisible());
    EXPECT_EQ(review->model().markedCount(), 1);
    EXPECT_TRUE(review->lblStatus()->text().contains(QStringLiteral("1 file has changed")))
        << review->lblStatus()->text().toStdString();
    review->actOnMarked();
    waitUntilActed(review);
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("0 copy.png"))));
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("1 copy.png"))));
}

TEST_F(WholeFolderModeTest, NoGroupsEndsWithTheClosingMessage)
{
    writePicture(path(QStringLiteral("a.png")), 1);
    writePicture(path(QStringLiteral("b.png")), 2);
    search(true, false);
    waitForSearch();
    EXPECT_EQ(m_window->wholeFolder().reviewWindow(), nullptr);
    EXPECT_EQ(lastMessage(), QStringLiteral("Compared 2 files.\r\nFound no duplicates."));
    EXPECT_TRUE(m_window->cmdCompare()->isVisible());
}

TEST_F(WholeFolderModeTest, CancelStopsTheSearch)
{
    writePicture(path(QStringLiteral("a.png")), 1);
    m_engine.waitForStop = true;
    search(true, false);
    EXPECT_TRUE(m_window->wholeFolder().isSearching());
    EXPECT_TRUE(m_window->cmdCancel()->isVisible());
    EXPECT_FALSE(m_window->cmdCompare()->isVisible());
    m_window->cmdCancel()->click();
    waitForSearch();
    EXPECT_EQ(lastMessage(), SearchTexts::canceledText());
    EXPECT_EQ(m_window->wholeFolder().reviewWindow(), nullptr);
    EXPECT_TRUE(m_window->cmdCompare()->isVisible());
}

TEST_F(WholeFolderModeTest, PairsOneByOneWalkEveryGroupWithTheUsualButtons)
{
    // One group of three: three pictures and two pairs; one group of two.
    writePicture(path(QStringLiteral("a1.png")), 1);
    QFile::copy(path(QStringLiteral("a1.png")), path(QStringLiteral("a2.png")));
    QFile::copy(path(QStringLiteral("a1.png")), path(QStringLiteral("a3.png")));
    writePicture(path(QStringLiteral("b1.png")), 2);
    QFile::copy(path(QStringLiteral("b1.png")), path(QStringLiteral("b2.png")));
    writePicture(path(QStringLiteral("c.png")), 3);
    search(true, false);
    waitForSearch();
    frmReview* review = m_window->wholeFolder().reviewWindow();
    ASSERT_NE(review, nullptr);
    review->cmdPairs()->click();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    Form1& w = *m_window;
    ASSERT_TRUE(m_window->wholeFolder().isWalking());
    EXPECT_EQ(w.lblPic1()->text(), QStringLiteral("a1.png"));
    EXPECT_EQ(w.lblPic2()->text(), QStringLiteral("a2.png"));
    EXPECT_TRUE(w.cmdDelete1()->Enabled());
    EXPECT_TRUE(w.cmdInfo()->Enabled());
    w.cmdInfo()->click(); // the buttons are held back only while the report runs
    EXPECT_TRUE(w.cmdDelete1()->Enabled());
    EXPECT_TRUE(w.cmdInfo()->Enabled());
    if (frmInfo* report = frmInfo::existing())
        report->close();
    w.cmdDelete2()->click(); // a2 goes; a1 stays first
    EXPECT_EQ(w.lblPic1()->text(), QStringLiteral("a1.png"));
    EXPECT_EQ(w.lblPic2()->text(), QStringLiteral("a3.png"));
    w.cmdDelete1()->click(); // a1 goes; the group is down to a3
    EXPECT_EQ(w.lblPic1()->text(), QStringLiteral("b1.png"));
    EXPECT_EQ(w.lblPic2()->text(), QStringLiteral("b2.png"));
    w.cmdDelete2()->click();
    EXPECT_FALSE(m_window->wholeFolder().isWalking());
    EXPECT_EQ(lastMessage(), QStringLiteral("Compared 6 files.\r\nDeleted 3 duplicate(s)."));
    EXPECT_EQ(m_desktop.trashed,
        (QStringList{path(QStringLiteral("a2.png")), path(QStringLiteral("a1.png")),
            path(QStringLiteral("b2.png"))}));
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("a3.png"))));
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("b1.png"))));
}

TEST_F(WholeFolderModeTest, AWalkedCopyThatChangedIsNotActedOn)
{
    writePicture(path(QStringLiteral("a1.png")), 1);
    QFile::copy(path(QStringLiteral("a1.png")), path(QStringLiteral("a2.png")));
    search(true, false);
    waitForSearch();
    m_window->wholeFolder().reviewWindow()->cmdPairs()->click();
    QCoreApplication::processEvents();
    ASSERT_TRUE(m_window->wholeFolder().isWalking());
    // Rewritten while on show: the pair is no longer known to be identical.
    writePicture(path(QStringLiteral("a1.png")), 7);
    m_window->cmdDelete2()->click();
    EXPECT_TRUE(m_desktop.trashed.isEmpty());
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("a2.png"))));
}

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// The marked files go to the trash by the program's one route, through the
// main window's own wiring, into the real trash of this program's scratch
// home: a file saved over after the plan was made stays as it was saved, and
// a file that went comes back through its trash record.
TEST_F(WholeFolderModeTest, MarkedFilesGoToTheTrashOnlyWhileUnchangedAndComeBack)
{
    const struct {
        const char* name;
        bool savedOver; // b.png saved over between the plan and the act
    } rows[] = {{"unchanged", false}, {"saved_over_after_the_plan", true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        const QString a = folder.path() + QStringLiteral("/a.png");
        const QString b = folder.path() + QStringLiteral("/b.png");
        writePicture(a, 3);
        ASSERT_TRUE(QFile::copy(a, b));
        const struct timespec older[2] = {{1'600'000'000, 0}, {1'600'000'000, 0}};
        ::utimensat(AT_FDCWD, QFile::encodeName(a).constData(), older, 0);
        const QByteArray original = bytesOf(b);
        QStringList problems;
        m_window->wholeFolder().reviewHooks.report
            = [&](const QString&, const QStringList& p) { problems = p; };

        searchIn(folder.path(), true, false, false);
        waitForSearch();
        frmReview* review = m_window->wholeFolder().reviewWindow();
        ASSERT_NE(review, nullptr);
        review->applyRule(MarkingRule::KeepOldest);
        review->actOnMarked(); // planned; the files are acted on from the event loop
        ASSERT_TRUE(review->isActing());
        if (row.savedOver) {
            // As an editor saves: a new file renamed over the name.
            const QString saving = b + QStringLiteral(".saving");
            writePicture(saving, 9);
            ASSERT_EQ(std::rename(
                          QFile::encodeName(saving).constData(), QFile::encodeName(b).constData()),
                0);
        }
        const QByteArray underName = bytesOf(b);
        waitUntilActed(review);

        if (row.savedOver) {
            EXPECT_TRUE(ScratchHome::trashedFrom(folder.path()).isEmpty());
            EXPECT_TRUE(bytesOf(b) == underName) << "the saved file is under its name";
            EXPECT_EQ(problems,
                QStringList{
                    QStringLiteral("b.png: skipped: replaced by another file since the search")});
            EXPECT_FALSE(review->cmdPutBack()->isEnabled());
            continue;
        }
        EXPECT_TRUE(problems.isEmpty()) << problems.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(ScratchHome::trashedFrom(folder.path()).join(QLatin1Char(' ')).toStdString(),
            b.toStdString());
        EXPECT_FALSE(QFile::exists(b));
        EXPECT_EQ(review->itemModel()->rowCount(), 0);
        ASSERT_TRUE(review->cmdPutBack()->isEnabled());
        review->cmdPutBack()->click();
        EXPECT_TRUE(bytesOf(b) == original) << "b.png is back";
        EXPECT_TRUE(ScratchHome::trashedFrom(folder.path()).isEmpty()); // the record went too
        EXPECT_EQ(review->itemModel()->rowCount(), 1);
    }
}

// With the search library itself: a folder whose only find is the same photo
// saved twice opens the review window as an identical pair does; a near miss
// ends with the closing message.
TEST_F(WholeFolderModeTest, EitherKindOfGroupOpensTheReviewWindow)
{
    QTemporaryDir made;
    ASSERT_TRUE(made.isValid());
    const QString photos = QStringLiteral("/usr/share/backgrounds/mate/nature/");
    const QString photo = made.path() + QStringLiteral("/photo.png");
    const auto convert = [](const QStringList& arguments) {
        QProcess process;
        process.start(QStringLiteral("convert"), arguments);
        return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0;
    };
    if (!QFile::exists(photos + QStringLiteral("LadyBird.jpg")))
        GTEST_SKIP() << "the mate-backgrounds photos are not installed";
    ASSERT_TRUE(convert({photos + QStringLiteral("LadyBird.jpg"), QStringLiteral("-resize"),
        QStringLiteral("640x"), photo}));

    const struct {
        const char* second; // the second file's name
        QStringList made; // convert's arguments making it from photo.png; none: a byte copy
        int identical;
        int samePhoto;
    } rows[] = {
        {"photo.jpg", {QStringLiteral("-quality"), QStringLiteral("85")}, 0, 1},
        {"photo copy.png", {}, 1, 0},
        {"shifted.png", {QStringLiteral("-chop"), QStringLiteral("32x0")}, 0, 0}, // by 5 %
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.second);
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(QFile::copy(photo, folder.path() + QStringLiteral("/photo.png")));
        const QString second = folder.path() + QLatin1Char('/') + QLatin1String(row.second);
        if (row.made.isEmpty())
            ASSERT_TRUE(QFile::copy(photo, second));
        else
            ASSERT_TRUE(convert(QStringList{photo} + row.made + QStringList{second}));

        m_window->wholeFolder().setEngine(WholeFolderSearch::finderEngine());
        m_desktop.messages.clear();
        searchIn(folder.path(), true, true, true);
        waitForSearch(120000);
        frmReview* review = m_window->wholeFolder().reviewWindow();
        if (row.identical + row.samePhoto == 0) {
            EXPECT_EQ(review, nullptr);
            EXPECT_EQ(lastMessage(), QStringLiteral("Compared 2 files.\r\nFound no duplicates."));
            continue;
        }
        ASSERT_NE(review, nullptr);
        EXPECT_TRUE(review->isVisible());
        int samePhoto = 0;
        for (int g = 0; g < review->model().groupCount(); ++g)
            samePhoto += review->model().group(g).samePhoto ? 1 : 0;
        EXPECT_EQ(review->model().groupCount() - samePhoto, row.identical);
        EXPECT_EQ(samePhoto, row.samePhoto);
        EXPECT_EQ(review->cmdPairs()->isEnabled(), row.identical > 0); // walks identical pairs
        if (row.identical == 0) {
            EXPECT_TRUE(review->lblStatus()->text().startsWith(
                QStringLiteral("1 group of the same photo saved differently. ")))
                << review->lblStatus()->text().toStdString();
        }
        review->close();
        QCoreApplication::processEvents();
    }
}

// With the search library itself, on a photo and copies made by ImageMagick:
// the bar follows every stage of the same-photo search and never falls back
// (it used to stand full while the pairs were proven), and the line under it
// names the stage, its count and its step as each report comes in. The line
// goes back to the first design's label when the search ends.
TEST_F(WholeFolderModeTest, SearchProgressNamesEachStageAndTheBarNeverFalls)
{
    QTemporaryDir made;
    ASSERT_TRUE(made.isValid());
    const QString photos = QStringLiteral("/usr/share/backgrounds/mate/nature/");
    if (!QFile::exists(photos + QStringLiteral("LadyBird.jpg")))
        GTEST_SKIP() << "the mate-backgrounds photos are not installed";
    const auto convert = [](const QStringList& arguments) {
        QProcess process;
        process.start(QStringLiteral("convert"), arguments);
        return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0;
    };
    const QString photo = made.path() + QStringLiteral("/photo.png");
    ASSERT_TRUE(convert({photos + QStringLiteral("LadyBird.jpg"), QStringLiteral("-resize"),
        QStringLiteral("640x"), photo}));
    const QStringList copies[] = {
        {QStringLiteral("-quality"), QStringLiteral("90"), QStringLiteral("q90.jpg")},
        {QStringLiteral("-quality"), QStringLiteral("75"), QStringLiteral("q75.jpg")},
        {QStringLiteral("-resize"), QStringLiteral("50%"), QStringLiteral("half.png")},
        {QStringLiteral("-resize"), QStringLiteral("33%"), QStringLiteral("third.jpg")},
        {QStringLiteral("-chop"), QStringLiteral("32x0"), QStringLiteral("shifted.png")},
    };
    for (const QStringList& copy : copies) {
        QStringList arguments{photo};
        arguments << copy.mid(0, copy.size() - 1) << made.path() + QLatin1Char('/') + copy.last();
        ASSERT_TRUE(convert(arguments));
    }
    ASSERT_TRUE(QFile::copy(photo, made.path() + QStringLiteral("/photo copy.png")));

    struct Seen {
        FinderProgress progress;
        int fill = 0;
        QString line;
    };
    std::vector<Seen> seen;
    auto* bar = m_window->findChild<ProgressBarBox*>(QStringLiteral("picProgressBar"));
    auto* line = m_window->findChild<QLabel*>(QStringLiteral("lblFiles"));
    ASSERT_NE(bar, nullptr);
    ASSERT_NE(line, nullptr);
    QObject::connect(&m_window->wholeFolder(), &WholeFolderMode::progressShown,
        [&](const FinderProgress& progress) {
            seen.push_back({progress, bar->fillWidth(), line->text()});
        });
    m_window->wholeFolder().setEngine(WholeFolderSearch::finderEngine());
    searchIn(made.path(), true, false, true);
    waitForSearch(120000);
    ASSERT_NE(m_window->wholeFolder().reviewWindow(), nullptr);

    const QStringList stages{QStringLiteral("Scanning"), QStringLiteral("Reading headers"),
        QStringLiteral("Decoding"), QStringLiteral("Signing"), QStringLiteral("Finding candidates"),
        QStringLiteral("Proving"), QStringLiteral("Grouping")};
    QStringList order;
    int fill = 0;
    for (const Seen& s : seen) {
        SCOPED_TRACE(s.line.toStdString());
        EXPECT_GE(s.fill, fill) << "the bar fell back";
        fill = s.fill;
        EXPECT_NEAR(s.fill, s.progress.fraction * bar->width(), 1.0);
        if (s.progress.stage == FinderProgress::Stage::Finished)
            continue;
        // The words before the count ("Decoding 3 of 9") or the colon ("Scanning: 9 files found").
        const QString name
            = s.line.left(s.line.indexOf(QRegularExpression(QStringLiteral(":| \\d"))));
        const int step = int(stages.indexOf(name)) + 1;
        ASSERT_GT(step, 0) << "no stage named";
        EXPECT_EQ(s.progress.step, step);
        EXPECT_TRUE(s.line.contains(QStringLiteral("(step %1 of 7)").arg(step)));
        if (s.progress.stage != FinderProgress::Stage::Scanning) {
            EXPECT_TRUE(s.line.contains(
                QStringLiteral(" %1 of %2 ").arg(s.progress.done).arg(s.progress.total)));
        }
        if (order.isEmpty() || order.last() != stages[step - 1])
            order << stages[step - 1];
    }
    EXPECT_EQ(order.join(QStringLiteral(", ")).toStdString(),
        stages.join(QStringLiteral(", ")).toStdString());
    // The proving stage moved the bar: it no longer stands full while pairs are proven.
    const auto proving = std::find_if(seen.begin(), seen.end(),
        [](const Seen& s) { return s.progress.stage == FinderProgress::Stage::Proving; });
    ASSERT_NE(proving, seen.end());
    EXPECT_LT(proving->fill, bar->width());
    EXPECT_GT(proving->fill, 0);
    EXPECT_TRUE(line->toolTip().isEmpty()) << "the first design's label keeps no tooltip";

    // The line's words, counts with separators, and the time left in seconds, then minutes.
    FinderProgress decoding;
    decoding.stage = FinderProgress::Stage::Decoding;
    decoding.done = 312;
    decoding.total = 1240;
    decoding.step = 3;
    decoding.steps = 7;
    const struct {
        std::optional<double> left;
        const char* line;
    } rows[] = {
        {std::nullopt, "Decoding 312 of 1,240 pictures (step 3 of 7)"},
        {20.2, "Decoding 312 of 1,240 pictures (step 3 of 7), about 20 s left"},
        {400, "Decoding 312 of 1,240 pictures (step 3 of 7), about 7 min left"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(WholeFolderMode::stageLine(decoding, row.left), QLatin1String(row.line));
}

// The real picker: the two boxes sit under its status line, off by default,
// and an accepted dialog hands back what they show.
TEST(SearchPickerTest, TheTwoBoxesShowAndReturnTheChoices)
{
    QTemporaryDir root;
    for (const bool start : {false, true}) {
        SearchChoices choices{start, start, start};
        bool shownEvery = !start;
        bool shownSub = !start;
        auto* timer = new QTimer;
        timer->setInterval(20);
        QObject::connect(timer, &QTimer::timeout, [&, timer] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<QFileDialog*>(top);
                if (!dialog || !dialog->isVisible())
                    continue;
                timer->stop();
                timer->deleteLater();
                auto* every = dialog->findChild<QCheckBox*>(QStringLiteral("chkEveryPicture"));
                auto* sub = dialog->findChild<QCheckBox*>(QStringLiteral("chkSubfolders"));
                ASSERT_NE(every, nullptr);
                ASSERT_NE(sub, nullptr);
                shownEvery = every->isChecked();
                shownSub = sub->isChecked();
                EXPECT_EQ(
                    every->text(), QStringLiteral("Compare every picture, whatever its size"));
                EXPECT_EQ(sub->text(), QStringLiteral("Include subfolders"));
                auto* same = dialog->findChild<QCheckBox*>(QStringLiteral("chkSamePhoto"));
                ASSERT_NE(same, nullptr);
                EXPECT_EQ(
                    same->text(), QStringLiteral("Also find the same photo saved differently"));
                EXPECT_EQ(same->isChecked(), start);
                // Under the status line.
                auto* status = dialog->findChild<QLabel*>(QStringLiteral("statusText"));
                EXPECT_GT(every->mapTo(dialog, QPoint()).y(), status->mapTo(dialog, QPoint()).y());
                sub->setChecked(!start);
                static_cast<QDialog*>(dialog)->accept();
                return;
            }
        });
        timer->start();
        const QString chosen = BrowseDirectorysOnly::BrowseForFolder(
            nullptr, QStringLiteral("Select A Directory"), root.path(), &choices);
        EXPECT_FALSE(chosen.isEmpty());
        EXPECT_EQ(shownEvery, start);
        EXPECT_EQ(shownSub, start);
        EXPECT_EQ(choices.everyPicture, start);
        EXPECT_EQ(choices.subfolders, !start);
    }
}

TEST_F(WholeFolderModeTest, TheBoxesAreOffOnAFirstStart)
{
    search(false, false);
    EXPECT_FALSE(m_desktop.shown.everyPicture);
    EXPECT_FALSE(m_desktop.shown.subfolders);
    EXPECT_FALSE(m_desktop.shown.samePhoto);
}

} // namespace

namespace {

// "Skip this pair" in the walk over the groups: both copies stay, uncounted,
// and the walk goes on with the group's next copy or the next group. The
// button (and S) exists only while the walk is on.
enum class Step { SkipButton, SkipKey, DeleteRight, DeleteLeft };

struct SkipCase {
    const char* name;
    std::vector<Step> steps;
    // The pair on show after each step ("" once the walk has ended).
    std::vector<const char*> shownAfter;
    QStringList trashed;
    const char* closing;
};

class GroupWalkSkipTest : public WholeFolderModeTest,
                          public ::testing::WithParamInterface<SkipCase> { };

// A key press as the window system hands it over: to the focus widget first,
// then up to its parents while nobody takes it.
void pressKey(QWidget* target, int key, const QString& text)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &release);
}

QString pairOnShow(const Form1& w)
{
    if (w.lblPic1()->text().isEmpty())
        return QString();
    return w.lblPic1()->text() + QLatin1Char('|') + w.lblPic2()->text();
}

TEST_P(GroupWalkSkipTest, BothCopiesStayAndTheWalkGoesOn)
{
    const SkipCase& c = GetParam();
    // A group of three and a group of two, and one picture alone.
    writePicture(path(QStringLiteral("a1.png")), 1);
    QFile::copy(path(QStringLiteral("a1.png")), path(QStringLiteral("a2.png")));
    QFile::copy(path(QStringLiteral("a1.png")), path(QStringLiteral("a3.png")));
    writePicture(path(QStringLiteral("b1.png")), 2);
    QFile::copy(path(QStringLiteral("b1.png")), path(QStringLiteral("b2.png")));
    writePicture(path(QStringLiteral("c.png")), 3);
    const QStringList before = QDir(m_pictures.path()).entryList(QDir::Files);
    search(true, false);
    waitForSearch();
    ASSERT_NE(m_window->wholeFolder().reviewWindow(), nullptr);
    m_window->wholeFolder().reviewWindow()->cmdPairs()->click();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    Form1& w = *m_window;
    ASSERT_TRUE(w.wholeFolder().isWalking());
    EXPECT_EQ(pairOnShow(w), QStringLiteral("a1.png|a2.png"));
    EXPECT_TRUE(w.cmdSkip()->isVisibleTo(&w));
    EXPECT_TRUE(w.cmdSkip()->Enabled());
    EXPECT_EQ(w.cmdSkip()->Caption(), QStringLiteral("Skip this pair"));
    // Its own place, clear of the controls beside it.
    EXPECT_FALSE(w.cmdSkip()->geometry().intersects(w.cmdDelete2()->geometry()));
    EXPECT_TRUE(w.rect().contains(w.cmdSkip()->geometry()));

    // The action list keeps its place and its row through every step.
    const QRect listPlace = w.cboOptions()->geometry();
    const int listRow = w.cboOptions()->currentIndex();
    const QRect skipPlace = w.cmdSkip()->geometry();
    ASSERT_EQ(c.steps.size(), c.shownAfter.size());
    for (size_t i = 0; i < c.steps.size(); ++i) {
        switch (c.steps[i]) {
        case Step::SkipButton:
            w.cmdSkip()->click();
            break;
        case Step::SkipKey:
            // The focus holder has the keys; S passes up to the window.
            pressKey(w.Command1(), Qt::Key_S, QStringLiteral("s"));
            break;
        case Step::DeleteRight:
            w.cmdDelete2()->click();
            break;
        case Step::DeleteLeft:
            w.cmdDelete1()->click();
            break;
        }
        EXPECT_EQ(pairOnShow(w), QString::fromUtf8(c.shownAfter[i])) << "after step " << i;
        EXPECT_EQ(w.cboOptions()->geometry(), listPlace) << "after step " << i;
        EXPECT_EQ(w.cboOptions()->currentIndex(), listRow) << "after step " << i;
        if (w.wholeFolder().isWalking()) {
            EXPECT_EQ(w.cmdSkip()->geometry(), skipPlace) << "after step " << i;
        }
    }
    EXPECT_FALSE(w.wholeFolder().isWalking());
    EXPECT_FALSE(w.cmdSkip()->isVisibleTo(&w));
    EXPECT_EQ(lastMessage(), QString::fromUtf8(c.closing));
    QStringList trashed;
    for (const QString& name : c.trashed)
        trashed << path(name);
    EXPECT_EQ(m_desktop.trashed, trashed);
    QStringList left = before;
    for (const QString& name : c.trashed)
        left.removeAll(name);
    EXPECT_EQ(QDir(m_pictures.path()).entryList(QDir::Files), left) << "skipped copies stay";
}

const SkipCase kSkipCases[] = {
    {"SkipEveryPair", {Step::SkipButton, Step::SkipButton, Step::SkipButton},
        {"a1.png|a3.png", "b1.png|b2.png", ""}, {}, "Compared 6 files.\r\nFound no duplicates."},
    {"TheKeySSkips", {Step::SkipKey, Step::SkipKey, Step::SkipKey},
        {"a1.png|a3.png", "b1.png|b2.png", ""}, {}, "Compared 6 files.\r\nFound no duplicates."},
    {"SkipThenDelete", {Step::SkipButton, Step::DeleteRight, Step::DeleteLeft},
        {"a1.png|a3.png", "b1.png|b2.png", ""}, {"a3.png", "b1.png"},
        "Compared 6 files.\r\nDeleted 2 duplicate(s)."},
    {"DeleteThenSkipTheGroupsLastPair", {Step::DeleteRight, Step::SkipKey, Step::DeleteRight},
        {"a1.png|a3.png", "b1.png|b2.png", ""}, {"a2.png", "b2.png"},
        "Compared 6 files.\r\nDeleted 2 duplicate(s)."},
};

INSTANTIATE_TEST_SUITE_P(Walk, GroupWalkSkipTest, ::testing::ValuesIn(kSkipCases),
    [](const ::testing::TestParamInfo<SkipCase>& info) { return std::string(info.param.name); });

TEST_F(WholeFolderModeTest, TheNeighbourSearchHasNoSkipAndIgnoresS)
{
    writePicture(path(QStringLiteral("a1.png")), 1);
    QFile::copy(path(QStringLiteral("a1.png")), path(QStringLiteral("a2.png")));
    search(false, false);
    Form1& w = *m_window;
    ASSERT_EQ(pairOnShow(w), QStringLiteral("a1.png|a2.png"));
    EXPECT_FALSE(w.cmdSkip()->isVisibleTo(&w));
    pressKey(w.Command1(), Qt::Key_S, QStringLiteral("s"));
    EXPECT_EQ(pairOnShow(w), QStringLiteral("a1.png|a2.png")) << "S must not pass the pair";
    EXPECT_TRUE(m_desktop.messages.isEmpty());
}

} // namespace
