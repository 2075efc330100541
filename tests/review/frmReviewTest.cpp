// The review window driven as a user would, offscreen: keys, the rule menu,
// acting with a scripted confirmation, small pictures made on demand, the
// stored size and column widths, and a name for every control.
#include "ReviewTestData.h"
#include "ScratchHome.h"

#include "review/KeptResults.h"
#include "review/ReviewItemModel.h"
#include "review/ThumbnailCache.h"
#include "review/frmPicture.h"
#include "review/frmReview.h"

#include <QAbstractItemDelegate>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QStyleOptionViewItem>
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
        hooks.askOnClose = [this](const QString& question) {
            closeQuestions << question;
            return closeAnswer;
        };
        hooks.keep
            = [this](const KeptResults::Kept& kept) { return KeptResults::save(kept, keptFile()); };
        hooks.discardKept = [this] { KeptResults::discard(keptFile()); };
        return hooks;
    }

    QString keptFile() const { return m_settings.path() + QStringLiteral("/kept.json"); }

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
    QStringList closeQuestions;
    int closeAnswer = 1; // keep for later
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
        window.resize(817, 555);
        window.lstGroups()->header()->resizeSection(ReviewItemModel::SizeColumn, 133);
        window.close();
    }
    frmReview again(pictures(1, 2), scriptedHooks());
    EXPECT_EQ(again.size(), QSize(817, 555));
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

// The window's own fixtures for the review a user lives in: identical groups
// of real files, and the same-photo group of the first group's copies with
// two other saves (real files too).
FinderResult withSamePhoto(FinderResult result, const QString& dir)
{
    const auto save = [&dir](const QString& name, int seed) {
        const QString file = dir + QLatin1Char('/') + name;
        writePicture(file, seed);
        return foundOnDisk(file,
            name.endsWith(QStringLiteral(".png")) ? QStringLiteral("PNG") : QStringLiteral("JPEG"));
    };
    SamePhotoGroup photo;
    photo.members.push_back({1600, 1200, {save(QStringLiteral("best.png"), 40)}, -1, std::nullopt});
    SamePhotoMember copies{800, 600, result.groups[0].files, 0,
        similar::PhotoDifference{0.97, 1.5, 20, 800, 600, {}, {}, 0, 1}};
    for (FoundFile& f : copies.files)
        f.type = QStringLiteral("JPEG");
    photo.members.push_back(copies);
    photo.members.push_back({1600, 1200, {save(QStringLiteral("resaved.jpg"), 41)}, -1,
        similar::PhotoDifference{0.93, 2.5, 31, 512, 384, {}, {}, 0, 1}});
    photo.bestFile = 0; // the search named it: the most pixels
    photo.bestBecause = QStringLiteral("most pixels");
    result.samePhotoGroups.push_back(photo);
    result.samePhotoSearched = true;
    return result;
}

// At the first size and at 1024 x 700 every column is in sight: File takes
// what the others leave, no horizontal scroll bar, and the Difference column
// shows its verdict whole (only when there are same-photo groups).
TEST_F(frmReviewTest, EveryColumnIsInSightAtTheFirstSizeAndAt1024x700)
{
    const struct {
        const char* name;
        bool samePhoto;
        QSize size; // empty: the first size
        bool withProtected = false; // the Mark column then says "protected" whole
    } cases[] = {{"identical, first size", false, QSize()},
        {"identical, 1024x700", false, QSize(1024, 700)}, {"same photo, first size", true, QSize()},
        {"same photo, 1024x700", true, QSize(1024, 700)},
        {"protected, 1024x700", true, QSize(1024, 700), true}};
    for (const auto& c : cases) {
        FinderResult result
            = c.samePhoto ? withSamePhoto(pictures(6, 2), m_dir.path()) : pictures(6, 2);
        if (c.withProtected)
            result.groups[0].files[0].isProtected = true;
        frmReview window(result, scriptedHooks());
        if (c.size.isValid())
            window.resize(c.size);
        window.show();
        QCoreApplication::processEvents();
        QTreeView* list = window.lstGroups();
        QHeaderView* header = list->header();
        const int viewport = list->viewport()->width();
        EXPECT_FALSE(list->horizontalScrollBar()->isVisible()) << c.name;
        EXPECT_EQ(list->isColumnHidden(ReviewItemModel::DifferenceColumn), !c.samePhoto) << c.name;
        for (int col = 0; col < ReviewItemModel::ColumnCount; ++col) {
            if (list->isColumnHidden(col))
                continue;
            EXPECT_LE(header->sectionViewportPosition(col) + header->sectionSize(col), viewport)
                << c.name << ": column " << col;
        }
        // File is the widest, but no wider than what the others leave.
        EXPECT_GE(header->sectionSize(ReviewItemModel::PathColumn), 200) << c.name;
        if (c.withProtected) {
            // The lock and its word whole, as the list's own delegate lays them out.
            const ReviewItemModel* items = window.itemModel();
            for (int f = 0; f < int(window.model().group(0).files.size()); ++f) {
                if (!window.model().group(0).files[std::size_t(f)].found.isProtected)
                    continue;
                QStyleOptionViewItem option;
                option.initFrom(list->viewport());
                const QModelIndex mark = items->indexOf({0, f}, ReviewItemModel::MarkColumn);
                EXPECT_LE(list->itemDelegate()->sizeHint(option, mark).width(),
                    header->sectionSize(ReviewItemModel::MarkColumn))
                    << c.name;
            }
        }
        if (c.samePhoto) {
            const ReviewItemModel* items = window.itemModel();
            const int g = window.model().groupCount() - 1;
            const QString text
                = items->indexOf({g, 1}, ReviewItemModel::DifferenceColumn).data().toString();
            const QString verdict = text.section(QStringLiteral(" ("), 0, 0);
            EXPECT_EQ(verdict, QStringLiteral("half the width, converted from PNG")) << c.name;
            EXPECT_LT(list->fontMetrics().horizontalAdvance(verdict),
                header->sectionSize(ReviewItemModel::DifferenceColumn))
                << c.name;
        }
        window.close();
    }
}

// The status line keeps a running total after every mark, rule, undo and
// action, each file counted once even when it is listed twice.
TEST_F(frmReviewTest, TheStatusLineKeepsARunningTotal)
{
    const FinderResult result = withSamePhoto(pictures(3, 2), m_dir.path());
    frmReview window(result, scriptedHooks());
    window.show();
    const auto onDisk = [this](const QStringList& names) {
        qint64 bytes = 0;
        for (const QString& n : names)
            bytes += QFileInfo(path(n)).size();
        return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
    };
    const auto total = [&window] { return window.lblTotal()->text(); };
    EXPECT_EQ(total(), QStringLiteral("No file marked"));
    ReviewItemModel* items = window.itemModel();
    items->toggleMark(items->indexOf({0, 1}));
    EXPECT_EQ(total(), QStringLiteral("1 file marked, ") + onDisk({QStringLiteral("0_1.png")}));
    window.applyRule(MarkingRule::KeepOldest);
    EXPECT_EQ(total(),
        QStringLiteral("3 files marked, ")
            + onDisk(
                {QStringLiteral("0_1.png"), QStringLiteral("1_1.png"), QStringLiteral("2_1.png")}));
    // 0_1.png is listed twice (its identical group and the same photo): once.
    window.setRulesMarkSamePhoto(true);
    window.applyRule(MarkingRule::KeepBestCopy);
    // 0_0.png is the copy its identical group keeps: it stays in both places.
    EXPECT_EQ(total(),
        QStringLiteral("4 files marked, ")
            + onDisk({QStringLiteral("0_1.png"), QStringLiteral("1_1.png"),
                QStringLiteral("2_1.png"), QStringLiteral("resaved.jpg")}));
    window.cmdUndo()->click();
    EXPECT_TRUE(total().startsWith(QStringLiteral("3 files marked, ")));
    window.actOnMarked();
    waitUntilActed(window);
    EXPECT_EQ(total(), QStringLiteral("No file marked"));
}

// A file listed twice shows one mark in both places, and a mark that would
// leave either group without an unmarked copy is refused there too.
TEST_F(frmReviewTest, AFileListedTwiceShowsOneMarkInBothPlaces)
{
    const FinderResult result = withSamePhoto(pictures(1, 2), m_dir.path());
    frmReview window(result, scriptedHooks());
    window.show();
    ReviewItemModel* items = window.itemModel();
    ReviewModel& model = window.model();
    ASSERT_EQ(model.groupCount(), 2);
    const auto markText = [&](int g, const char* name) {
        const ReviewGroup& group = model.group(g);
        for (int f = 0; f < int(group.files.size()); ++f)
            if (group.files[size_t(f)].shownPath == QLatin1String(name))
                return items->indexOf({g, f}, ReviewItemModel::MarkColumn).data().toString();
        return QStringLiteral("not listed");
    };
    const auto spot = [&](int g, const char* name) {
        const ReviewGroup& group = model.group(g);
        for (int f = 0; f < int(group.files.size()); ++f)
            if (group.files[size_t(f)].shownPath == QLatin1String(name))
                return items->indexOf({g, f});
        return QModelIndex();
    };
    EXPECT_TRUE(items->toggleMark(spot(1, "0_0.png"))); // in the same-photo group
    EXPECT_EQ(markText(0, "0_0.png"), QStringLiteral("goes")); // and in its identical group
    EXPECT_EQ(markText(1, "0_0.png"), QStringLiteral("goes"));
    // 0_1.png is the identical group's last unmarked copy: refused in both places.
    EXPECT_FALSE(items->toggleMark(spot(1, "0_1.png")));
    EXPECT_FALSE(items->toggleMark(spot(0, "0_1.png")));
    EXPECT_EQ(window.lblStatus()->text(), ReviewModel::lastCopyText());
    EXPECT_EQ(markText(0, "0_1.png"), QStringLiteral("stays"));
    EXPECT_EQ(markText(1, "0_1.png"), QStringLiteral("stays"));
    window.cmdUndo()->click();
    EXPECT_EQ(markText(0, "0_0.png"), QStringLiteral("stays"));
    EXPECT_EQ(markText(1, "0_0.png"), QStringLiteral("stays"));
}

// Closing with marks asks first: act, keep for later, discard, or stay open.
TEST_F(frmReviewTest, ClosingWithMarksAsksFirst)
{
    const struct {
        const char* name;
        int marks; // groups marked by Keep the oldest (0: none)
        int answer;
        bool asked;
        bool closes;
        bool kept; // results kept afterwards
        int keptMarks;
    } cases[] = {{"no marks: kept, not asked", 0, 1, false, true, true, 0},
        {"keep for later", 1, 1, true, true, true, 2}, {"discard", 1, 2, true, true, false, 0},
        {"stay open", 1, -1, true, false, false, 0}, {"act on them", 1, 0, true, false, false, 0}};
    for (const auto& c : cases) {
        KeptResults::discard(keptFile());
        closeQuestions.clear();
        questions.clear();
        closeAnswer = c.answer;
        answerYes = false; // acting stops at its confirmation
        frmReview window(pictures(2, 2), scriptedHooks());
        window.show();
        if (c.marks > 0)
            window.applyRule(MarkingRule::KeepOldest);
        const bool closed = window.close();
        EXPECT_EQ(closeQuestions.size(), c.asked ? 1 : 0) << c.name;
        if (c.asked && !closeQuestions.isEmpty()) {
            EXPECT_TRUE(closeQuestions[0].startsWith(QStringLiteral("2 files are marked (")))
                << c.name;
        }
        EXPECT_EQ(closed, c.closes) << c.name;
        EXPECT_EQ(questions.size(), c.answer == 0 && c.asked ? 1 : 0) << c.name; // act confirms
        const std::optional<KeptResults::Kept> kept = KeptResults::load(keptFile());
        EXPECT_EQ(kept.has_value(), c.kept) << c.name;
        if (kept) {
            EXPECT_EQ(kept->result.groups.size(), size_t(2)) << c.name;
            EXPECT_EQ(int(kept->marked.size()), c.keptMarks) << c.name;
        }
    }
}

// Kept results come back with their marks; a file that changed since is
// shown as changed, unmarked, can be marked no more, and is never acted on.
TEST_F(frmReviewTest, KeptResultsComeBackAndAChangedFileIsLeftAlone)
{
    {
        frmReview window(pictures(3, 3), scriptedHooks());
        window.applyRule(MarkingRule::KeepOldest);
        ASSERT_TRUE(window.close());
    }
    // 1_2.png is rewritten, 2_0.png (a copy that stays) touched.
    writePicture(path(QStringLiteral("1_2.png")), 99);
    const struct timespec later[2] = {{5000, 0}, {5000, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path(QStringLiteral("2_0.png"))).constData(), later, 0);
    const std::optional<KeptResults::Kept> kept = KeptResults::load(keptFile());
    ASSERT_TRUE(kept.has_value());
    frmReview window(kept->result, scriptedHooks());
    window.takeUp(kept->marked);
    window.show();
    ReviewModel& model = window.model();
    ReviewItemModel* items = window.itemModel();
    const struct {
        const char* name;
        const char* mark;
    } expected[] = {{"0_0.png", "stays"}, {"0_1.png", "goes"}, {"0_2.png", "goes"},
        {"1_0.png", "stays"}, {"1_1.png", "goes"}, {"1_2.png", "changed"}, {"2_0.png", "changed"},
        {"2_1.png", "goes"}, {"2_2.png", "goes"}};
    for (const auto& e : expected) {
        bool found = false;
        for (int g = 0; g < model.groupCount(); ++g) {
            for (int f = 0; f < int(model.group(g).files.size()); ++f) {
                if (model.group(g).files[size_t(f)].shownPath != QLatin1String(e.name))
                    continue;
                found = true;
                EXPECT_EQ(items->indexOf({g, f}, ReviewItemModel::MarkColumn).data().toString(),
                    QLatin1String(e.mark))
                    << e.name;
                if (QLatin1String(e.mark) == QLatin1String("changed")) {
                    EXPECT_FALSE(items->toggleMark(items->indexOf({g, f}))) << e.name;
                    EXPECT_TRUE(
                        window.lblStatus()->text().contains(QStringLiteral("changed since")))
                        << e.name;
                }
            }
        }
        EXPECT_TRUE(found) << e.name;
    }
    // No rule marks a changed file, whatever it would keep.
    for (const MarkingRule rule : {MarkingRule::KeepNewest, MarkingRule::KeepSmallest}) {
        window.applyRule(rule);
        for (int g = 0; g < model.groupCount(); ++g)
            for (int f = 0; f < int(model.group(g).files.size()); ++f)
                if (!model.changedReason({g, f}).isEmpty()) {
                    EXPECT_FALSE(model.isMarked({g, f})) << ruleTitle(rule).toStdString();
                }
    }
    window.applyRule(MarkingRule::KeepOldest);
    window.actOnMarked();
    waitUntilActed(window);
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("1_2.png"))));
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("2_0.png"))));
}

// The search's unreadable files come last, each with its reason as
// corvane-find gives it, whatever the filter and the order.
TEST_F(frmReviewTest, UnreadableFilesAreListedLastUnderNotRead)
{
    FinderResult result = pictures(2, 2);
    result.unreadable.emplace_back(QFile::encodeName(path(QStringLiteral("broken.png"))),
        QStringLiteral("truncated PNG data"));
    result.unreadable.emplace_back(
        QFile::encodeName(path(QStringLiteral("sub/gone.jpg"))), QStringLiteral("file vanished"));
    frmReview window(result, scriptedHooks());
    window.show();
    ReviewItemModel* items = window.itemModel();
    const auto section = [items] { return items->index(items->rowCount() - 1, 0); };
    const auto check = [&](const char* when, int groups) {
        ASSERT_EQ(items->rowCount(), groups + 1) << when;
        EXPECT_EQ(section().data().toString(), QStringLiteral("Not read: 2 files")) << when;
        ASSERT_EQ(items->rowCount(section()), 2) << when;
        EXPECT_EQ(items->index(0, 0, section()).data().toString(),
            QStringLiteral("broken.png: truncated PNG data"))
            << when;
        EXPECT_EQ(items->index(1, 0, section()).data().toString(),
            QStringLiteral("sub/gone.jpg: file vanished"))
            << when;
        EXPECT_EQ(items->spotOf(items->index(0, 0, section())).group, -1) << when;
        EXPECT_TRUE(window.lstGroups()->isExpanded(section())) << when;
    };
    check("at first", 2);
    window.lstGroups()->sortByColumn(ReviewItemModel::SizeColumn, Qt::DescendingOrder);
    check("sorted", 2);
    window.txtFilter()->setText(QStringLiteral("1_"));
    check("filtered", 1);
    // Space on a row of the section marks nothing.
    window.lstGroups()->setCurrentIndex(items->index(0, 0, section()));
    press(window.lstGroups(), Qt::Key_Space);
    EXPECT_EQ(window.model().markedCount(), 0);
}

// The action list beside the act button is the main window's list: a choice
// goes through its handler, and the window follows it.
TEST_F(frmReviewTest, TheActionListBesideTheActButtonChoosesThroughTheMainList)
{
    frmReview::Hooks hooks = scriptedHooks();
    QStringList chosen;
    hooks.actionTexts = [] {
        return QStringList{
            QStringLiteral(" Trash it"), QStringLiteral(" Delete it"), QStringLiteral(" Move it")};
    };
    hooks.chooseAction = [this, &chosen](int row) {
        chosen << QString::number(row);
        actionRow = row;
    };
    frmReview window(pictures(1, 2), hooks);
    QComboBox* list = window.cboAction();
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->itemText(2), QStringLiteral("Move it"));
    EXPECT_EQ(list->currentIndex(), 0);
    const struct {
        int row;
        const char* caption;
    } cases[] = {{2, "Move marked files to a folder"}, {1, "Delete marked files"},
        {0, "Move marked files to the trash"}};
    for (const auto& c : cases) {
        list->setCurrentIndex(c.row);
        emit list->activated(c.row);
        EXPECT_EQ(window.cmdAct()->text(), QLatin1String(c.caption));
    }
    EXPECT_EQ(chosen, (QStringList{"2", "1", "0"}));
    // A change made in the main window shows here too.
    actionRow = 1;
    window.refreshActionCaption();
    EXPECT_EQ(list->currentIndex(), 1);
}

// After acting (and after Put back) the list stays where the user was.
TEST_F(frmReviewTest, TheListKeepsItsPlaceAfterActing)
{
    frmReview window(pictures(30, 2), scriptedHooks());
    window.resize(900, 500);
    window.show();
    QTreeView* list = window.lstGroups();
    ReviewItemModel* items = window.itemModel();
    ReviewModel& model = window.model();
    const int groupId = model.group(20).id;
    items->toggleMark(items->indexOf({20, 1}));
    items->toggleMark(items->indexOf({5, 1}));
    list->setCurrentIndex(items->indexOf({20, 0}));
    list->scrollTo(list->currentIndex());
    const int scroll = list->verticalScrollBar()->value();
    ASSERT_GT(scroll, 0);
    window.actOnMarked();
    waitUntilActed(window);
    // Group 20 left the list (one copy left): the same row, now the next group.
    EXPECT_EQ(items->groupOf(list->currentIndex()), 20);
    EXPECT_NE(model.group(20).id, groupId);
    EXPECT_GT(list->verticalScrollBar()->value(), 0);
    list->setCurrentIndex(items->indexOf({25, 1}));
    const int current = model.group(25).id;
    window.putBack();
    EXPECT_EQ(model.group(items->groupOf(list->currentIndex())).id, current);
}

} // namespace
