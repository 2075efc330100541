// The review window driven as a user would, offscreen: keys, the rule menu,
// acting with a scripted confirmation, small pictures made on demand, the
// stored size and column widths, and a name for every control.
#include "ReviewTestData.h"
#include "ScratchHome.h"

#include "review/ReviewItemModel.h"
#include "review/ThumbnailCache.h"
#include "review/frmPicture.h"
#include "review/frmReview.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeView>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace ReviewTestData;

namespace {

class frmReviewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(m_settings.isValid());
        QCoreApplication::setOrganizationName(QStringLiteral("Corvane"));
        QCoreApplication::setApplicationName(QStringLiteral("Corvane"));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settings.path());
    }

    QString path(const QString& name) const { return m_dir.path() + QLatin1Char('/') + name; }

    // groups x copies real pictures; group g's copies are named g_c.png, the
    // first copy the oldest.
    FinderResult pictures(int groups, int copies)
    {
        FinderResult result;
        result.folders = {QFile::encodeName(m_dir.path())};
        for (int g = 0; g < groups; ++g) {
            DuplicateGroup group;
            group.width = 12;
            group.height = 9;
            for (int c = 0; c < copies; ++c) {
                const QString name = path(QStringLiteral("%1_%2.png").arg(g).arg(c));
                writePicture(name, g);
                const struct timespec times[2] = {{1000 + c, 0}, {1000 + c, 0}};
                ::utimensat(AT_FDCWD, QFile::encodeName(name).constData(), times, 0);
                group.files.push_back(foundOnDisk(name));
            }
            result.groups.push_back(group);
            result.filesExamined += copies;
        }
        return result;
    }

    frmReview::Hooks scriptedHooks()
    {
        frmReview::Hooks hooks;
        hooks.actionRow = [this] { return actionRow; };
        hooks.confirm = [this](const QString& question) {
            questions << question;
            return answerYes;
        };
        hooks.pickFolder = [this](const QString&) { return folderAnswer; };
        hooks.report = [this](const QString& summary, const QStringList& problems) {
            reports << summary;
            reportedProblems = problems;
        };
        hooks.openUrl = [this](const QUrl& url) {
            opened << url;
            return true;
        };
        hooks.pickExportFile = [this] { return exportAnswer; };
        return hooks;
    }

    void press(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QKeyEvent down(QEvent::KeyPress, key, modifiers);
        QCoreApplication::sendEvent(target, &down);
        QKeyEvent up(QEvent::KeyRelease, key, modifiers);
        QCoreApplication::sendEvent(target, &up);
    }

    void waitUntilActed(frmReview& window)
    {
        QElapsedTimer t;
        t.start();
        while (window.isActing() && t.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_FALSE(window.isActing());
    }

    QTemporaryDir m_dir;
    QTemporaryDir m_settings;
    int actionRow = 0;
    bool answerYes = true;
    QString folderAnswer;
    QString exportAnswer;
    QStringList questions;
    QStringList reports;
    QStringList reportedProblems;
    QList<QUrl> opened;
};

// The status line counts the groups in words that agree with the number,
// when the window opens and when the list is saved.
TEST_F(frmReviewTest, StatusCountsGroupsInAgreeingWords)
{
    const struct {
        int groups;
        const char* starts;
        const char* saved;
    } cases[] = {{1, "1 group of identical pictures. ", "1 group saved to "},
        {2, "2 groups of identical pictures. ", "2 groups saved to "},
        {5, "5 groups of identical pictures. ", "5 groups saved to "}};
    for (const auto& c : cases) {
        frmReview window(pictures(c.groups, 2), scriptedHooks());
        EXPECT_TRUE(window.lblStatus()->text().startsWith(QLatin1String(c.starts)))
            << c.groups << ": " << window.lblStatus()->text().toStdString();
        exportAnswer = path(QStringLiteral("list%1.json").arg(c.groups));
        window.cmdExport()->click();
        EXPECT_TRUE(window.lblStatus()->text().startsWith(QLatin1String(c.saved)))
            << c.groups << ": " << window.lblStatus()->text().toStdString();
    }
}

TEST_F(frmReviewTest, ListsEveryGroupWithItsFilesRelativeToTheSearchedFolder)
{
    FinderResult result = pictures(3, 2);
    QDir().mkpath(path(QStringLiteral("sub")));
    writePicture(path(QStringLiteral("sub/x.png")), 0);
    result.groups[0].files.push_back(foundOnDisk(path(QStringLiteral("sub/x.png"))));
    frmReview window(result, scriptedHooks());
    ReviewItemModel* items = window.itemModel();
    ASSERT_EQ(items->rowCount(), 3);
    EXPECT_EQ(items->rowCount(items->index(0, 0)), 3);
    EXPECT_EQ(
        items->index(2, 0, items->index(0, 0)).data().toString(), QStringLiteral("sub/x.png"));
    EXPECT_EQ(items->index(0, 0).data().toString(), QStringLiteral("3 copies, 12 \u00d7 9"));
    EXPECT_EQ(items->index(0, ReviewItemModel::TypeColumn, items->index(0, 0)).data().toString(),
        QStringLiteral("PNG"));
    EXPECT_EQ(window.cmdAct()->text(), QStringLiteral("Move marked files to the trash"));
    EXPECT_FALSE(window.cmdAct()->isEnabled()); // nothing marked yet
}

TEST_F(frmReviewTest, SpaceTogglesAMarkAndRefusesTheLastCopy)
{
    frmReview window(pictures(1, 2), scriptedHooks());
    window.show();
    QTreeView* list = window.lstGroups();
    ReviewItemModel* items = window.itemModel();
    list->setCurrentIndex(items->indexOf({0, 0}));
    press(list, Qt::Key_Space);
    EXPECT_TRUE(window.model().isMarked({0, 0}));
    EXPECT_TRUE(window.cmdAct()->isEnabled());
    press(list, Qt::Key_Down);
    EXPECT_EQ(items->spotOf(list->currentIndex()), (FileSpot{0, 1}));
    press(list, Qt::Key_Space); // the last unmarked copy
    EXPECT_FALSE(window.model().isMarked({0, 1}));
    EXPECT_EQ(window.lblStatus()->text(), ReviewModel::lastCopyText());
    // The check box column asks the same model, with the same answer.
    EXPECT_FALSE(items->setData(
        items->indexOf({0, 1}, ReviewItemModel::MarkColumn), Qt::Checked, Qt::CheckStateRole));
    press(list, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(window.model().markedCount(), 0);
}

TEST_F(frmReviewTest, KeepOldestThenDeleteKeyTrashesAllButOneCopyPerGroup)
{
    frmReview window(pictures(4, 3), scriptedHooks());
    window.show();
    QMenu* rules = window.cmdMark()->menu();
    ASSERT_NE(rules, nullptr);
    rules->actions().at(0)->trigger(); // Keep the oldest
    EXPECT_EQ(window.model().markedCount(), 8);
    press(window.lstGroups(), Qt::Key_Delete);
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(questions[0].startsWith(QStringLiteral("Move 8 files (")));
    waitUntilActed(window);
    EXPECT_EQ(ScratchHome::trashedFrom(m_dir.path()).size(), 8);
    for (int g = 0; g < 4; ++g) {
        EXPECT_TRUE(QFile::exists(path(QStringLiteral("%1_0.png").arg(g))));
        EXPECT_FALSE(QFile::exists(path(QStringLiteral("%1_1.png").arg(g))));
        EXPECT_FALSE(QFile::exists(path(QStringLiteral("%1_2.png").arg(g))));
    }
    ASSERT_EQ(reports.size(), 1);
    EXPECT_TRUE(reports[0].startsWith(QStringLiteral("8 files (")));
    EXPECT_TRUE(reportedProblems.isEmpty());
    EXPECT_EQ(window.itemModel()->rowCount(), 0); // no group has two copies left
}

TEST_F(frmReviewTest, ADeclinedConfirmationTouchesNothing)
{
    answerYes = false;
    actionRow = 1;
    frmReview window(pictures(2, 2), scriptedHooks());
    window.applyRule(MarkingRule::KeepNewest);
    window.cmdAct()->click();
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(questions[0].startsWith(QStringLiteral("Delete 2 files (")));
    EXPECT_FALSE(window.isActing());
    for (int g = 0; g < 2; ++g)
        for (int c = 0; c < 2; ++c)
            EXPECT_TRUE(QFile::exists(path(QStringLiteral("%1_%2.png").arg(g).arg(c))));
}

TEST_F(frmReviewTest, FailuresAreListedWithTheirReasons)
{
    FinderResult result = pictures(2, 2);
    frmReview window(result, scriptedHooks());
    window.applyRule(MarkingRule::KeepOldest);
    QFile::remove(path(QStringLiteral("1_1.png"))); // gone since the search
    window.actOnMarked();
    waitUntilActed(window);
    ASSERT_EQ(reportedProblems.size(), 1);
    EXPECT_EQ(reportedProblems[0], QStringLiteral("1_1.png: skipped: removed since the search"));
    EXPECT_TRUE(reports[0].contains(QStringLiteral("1 file left alone")));
}

TEST_F(frmReviewTest, TheFolderRuleAsksForItsFolder)
{
    FinderResult result = pictures(1, 2);
    QDir().mkpath(path(QStringLiteral("keep")));
    writePicture(path(QStringLiteral("keep/k.png")), 0);
    result.groups[0].files.push_back(foundOnDisk(path(QStringLiteral("keep/k.png"))));
    frmReview window(result, scriptedHooks());
    folderAnswer = path(QStringLiteral("keep/"));
    window.applyRule(MarkingRule::KeepInsideFolder);
    EXPECT_EQ(window.model().markedCount(), 2);
    EXPECT_FALSE(window.model().isMarked({0, 2}));
}

TEST_F(frmReviewTest, SmallPicturesAreMadeOnlyForWhatIsAskedAndThenKept)
{
    frmReview window(pictures(60, 2), scriptedHooks());
    window.resize(800, 400);
    window.show();
    QElapsedTimer t;
    t.start();
    // Painting asks for the visible groups only.
    while (window.thumbnails()->decodedCount() == 0 && t.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    for (QElapsedTimer settle; settle.isValid() ? settle.elapsed() < 200 : (settle.start(), true);)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    const int made = window.thumbnails()->decodedCount();
    EXPECT_GT(made, 0);
    EXPECT_LT(made, 20);
    const QVariant small = window.itemModel()->index(0, 0).data(Qt::DecorationRole);
    ASSERT_TRUE(small.canConvert<QImage>());
    EXPECT_EQ(small.value<QImage>().size(), QSize(12, 9)); // never enlarged
    window.itemModel()->index(0, 0).data(Qt::DecorationRole);
    EXPECT_EQ(window.thumbnails()->decodedCount(), made);
}

TEST_F(frmReviewTest, SizeAndColumnWidthsComeBackNextTime)
{
    {
        frmReview window(pictures(1, 2), scriptedHooks());
        window.show();
        window.resize(777, 555);
        window.lstGroups()->header()->resizeSection(ReviewItemModel::SizeColumn, 133);
        window.close();
    }
    frmReview again(pictures(1, 2), scriptedHooks());
    EXPECT_EQ(again.size(), QSize(777, 555));
    EXPECT_EQ(again.lstGroups()->header()->sectionSize(ReviewItemModel::SizeColumn), 133);
}

TEST_F(frmReviewTest, SortOrderComesBackNextTimeAndTheFilterDoesNot)
{
    {
        frmReview window(pictures(3, 2), scriptedHooks());
        window.show();
        window.lstGroups()->header()->setSortIndicator(
            ReviewItemModel::PathColumn, Qt::DescendingOrder);
        window.txtFilter()->setText(QStringLiteral("1_"));
        ASSERT_EQ(window.itemModel()->rowCount(), 1);
        window.close();
    }
    frmReview again(pictures(3, 2), scriptedHooks());
    EXPECT_EQ(again.lstGroups()->header()->sortIndicatorSection(), ReviewItemModel::PathColumn);
    EXPECT_EQ(again.lstGroups()->header()->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_TRUE(again.txtFilter()->text().isEmpty());
    ASSERT_EQ(again.itemModel()->rowCount(), 3);
    // The model sorted: groups by name, last first, and the files within.
    EXPECT_EQ(again.model().file({0, 0}).shownPath, QStringLiteral("2_1.png"));
    EXPECT_EQ(again.itemModel()->index(0, 0, again.itemModel()->index(0, 0)).data().toString(),
        QStringLiteral("2_1.png"));
    const QSettings stored(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Corvane"),
        QStringLiteral("Corvane"));
    for (const QString& key : stored.allKeys())
        EXPECT_FALSE(stored.value(key).toString().contains(QStringLiteral("1_")))
            << key.toStdString();
}

TEST_F(frmReviewTest, TheConfirmationSaysHowManyMarkedFilesTheFilterHides)
{
    answerYes = false;
    frmReview window(pictures(3, 3), scriptedHooks());
    window.show();
    window.applyRule(MarkingRule::KeepOldest); // two marked in each group
    window.txtFilter()->setText(QStringLiteral("2_"));
    ASSERT_EQ(window.itemModel()->rowCount(), 1);
    window.actOnMarked();
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(questions[0].startsWith(QStringLiteral("Move 6 files (")));
    EXPECT_TRUE(questions[0].endsWith(QStringLiteral("4 of them are in groups the filter hides.")))
        << questions[0].toStdString();
    window.txtFilter()->clear();
    window.actOnMarked();
    ASSERT_EQ(questions.size(), 2);
    EXPECT_FALSE(questions[1].contains(QStringLiteral("filter")));
}

TEST_F(frmReviewTest, SelectedGroupsAreMarkedRemovedAndBroughtBack)
{
    frmReview window(pictures(3, 3), scriptedHooks());
    window.show();
    QTreeView* list = window.lstGroups();
    ReviewItemModel* items = window.itemModel();
    list->selectionModel()->select(
        items->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    list->selectionModel()->select(
        items->indexOf({2, 1}), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    window.markAll();
    EXPECT_EQ(window.model().markedCount(), 4); // groups 0 and 2, first copies stay
    EXPECT_FALSE(window.model().isMarked({0, 0}));
    EXPECT_FALSE(window.model().isMarked({1, 1}));
    window.invertMarks();
    EXPECT_EQ(window.model().markedCount(), 2);
    window.markNone();
    EXPECT_EQ(window.model().markedCount(), 0);

    list->selectionModel()->clearSelection();
    list->setCurrentIndex(items->indexOf({1, 2}));
    window.cmdRemove()->click();
    ASSERT_EQ(items->rowCount(), 2);
    EXPECT_EQ(window.model().group(1).files.front().shownPath, QStringLiteral("2_0.png"));
    press(list, Qt::Key_Z, Qt::ControlModifier);
    ASSERT_EQ(items->rowCount(), 3);
    EXPECT_EQ(window.model().group(1).files.front().shownPath, QStringLiteral("1_0.png"));
}

TEST_F(frmReviewTest, PutBackAfterADeletionSaysItCannotBeUndone)
{
    actionRow = 1;
    frmReview window(pictures(1, 2), scriptedHooks());
    window.show();
    EXPECT_FALSE(window.cmdPutBack()->isEnabled());
    window.applyRule(MarkingRule::KeepOldest);
    window.actOnMarked();
    waitUntilActed(window);
    ASSERT_TRUE(window.cmdPutBack()->isEnabled());
    window.cmdPutBack()->click();
    EXPECT_EQ(window.lblStatus()->text(), PutBack::deletedText());
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("0_1.png"))));
}

TEST_F(frmReviewTest, PutBackMovesFilesBackAndTheyRejoinTheList)
{
    actionRow = 2;
    folderAnswer = path(QStringLiteral("moved"));
    QDir().mkpath(folderAnswer);
    frmReview window(pictures(2, 2), scriptedHooks());
    window.show();
    window.applyRule(MarkingRule::KeepOldest);
    window.actOnMarked();
    waitUntilActed(window);
    ASSERT_EQ(window.itemModel()->rowCount(), 0);
    window.cmdPutBack()->click();
    ASSERT_EQ(reports.size(), 2);
    EXPECT_EQ(reports[1], QStringLiteral("2 files are back at their places."));
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("0_1.png"))));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("moved/0_1.png"))));
    EXPECT_EQ(window.itemModel()->rowCount(), 2);
    EXPECT_FALSE(window.cmdPutBack()->isEnabled());
    // Back with who they are now: acting again on them is not "changed since the search".
    window.applyRule(MarkingRule::KeepOldest);
    window.actOnMarked();
    waitUntilActed(window);
    EXPECT_TRUE(reportedProblems.isEmpty())
        << reportedProblems.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("moved/1_1.png"))));
}

TEST_F(frmReviewTest, EveryControlHasANameForScreenReaders)
{
    frmReview window(pictures(1, 2), scriptedHooks());
    window.show();
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->isVisible() || !w->focusPolicy())
            continue;
        if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QAbstractItemView*>(w)) {
            EXPECT_FALSE(w->accessibleName().isEmpty()) << w->metaObject()->className();
        }
    }
    EXPECT_FALSE(window.prgAct()->accessibleName().isEmpty());
    EXPECT_FALSE(window.lblStatus()->accessibleName().isEmpty());
}

TEST_F(frmReviewTest, ShowInFolderOpensTheFilesFolderAndEnterLooksCloser)
{
    frmReview window(pictures(1, 2), scriptedHooks());
    window.show();
    window.lstGroups()->setCurrentIndex(window.itemModel()->indexOf({0, 1}));
    window.cmdShowInFolder()->click();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(m_dir.path()));

    press(window.lstGroups(), Qt::Key_Return);
    frmPicture* view = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* p = qobject_cast<frmPicture*>(w); p && p->isVisible())
            view = p;
    }
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->windowTitle().endsWith(QStringLiteral("0_1.png")));
    view->setZoom(1.0);
    view->zoomIn();
    EXPECT_DOUBLE_EQ(view->zoom(), 1.25);
    EXPECT_EQ(view->scrollArea()->widget()->size(), QSize(15, 11));
    view->close();
}

TEST_F(frmReviewTest, ExportWritesTheChosenFormat)
{
    frmReview window(pictures(2, 2), scriptedHooks());
    exportAnswer = path(QStringLiteral("list.json"));
    window.cmdExport()->click();
    QFile json(exportAnswer);
    ASSERT_TRUE(json.open(QIODevice::ReadOnly));
    EXPECT_TRUE(json.readAll().contains("\"groups\""));
    exportAnswer = path(QStringLiteral("list.csv"));
    window.cmdExport()->click();
    QFile csv(exportAnswer);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_TRUE(csv.readLine().startsWith("group,path,path_bytes,size,type"));
    EXPECT_TRUE(window.lblStatus()->text().startsWith(QStringLiteral("2 groups saved")));
}

} // namespace
