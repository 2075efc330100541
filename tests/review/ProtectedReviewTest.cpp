// Protected files in the review: whatever rule, command or click, a file the
// search found under a protected folder (by any of its names) is never
// marked, and taking its mark away never marks another copy instead. And the
// window's "Not duplicates (ignore)": the list in the data folder, which the
// next search honours.
#include "ReviewTestData.h"
#include "ScratchHome.h"

#include "finder/Finder.h"
#include "finder/IgnoreList.h"
#include "review/KeptResults.h"
#include "review/ReviewItemModel.h"
#include "review/ReviewModel.h"
#include "review/frmReview.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeView>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ReviewTestData;

namespace {

class ProtectedReviewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        for (const char* folder : {"search/dl", "search/master", "outside"})
            ASSERT_TRUE(QDir().mkpath(path(folder)));
        // Three groups, each file older than the one after it:
        //   a: dl/a1, master/a2 (protected), dl/a3
        //   b: master/b1, master/b2 (all protected)
        //   c: dl/c1 (protected: its other name is in outside/), dl/c2
        std::int64_t second = 1'600'000'000;
        auto copy = [&](const char* name, int seed) {
            writePicture(path(name), seed);
            const struct timespec times[2] = {{second, 0}, {second, 0}};
            ::utimensat(AT_FDCWD, QFile::encodeName(path(name)).constData(), times, 0);
            ++second;
        };
        copy("search/master/a2.png", 1); // the oldest of its group
        copy("search/dl/a1.png", 1);
        copy("search/dl/a3.png", 1);
        copy("search/master/b1.png", 2);
        copy("search/master/b2.png", 2);
        copy("search/dl/c1.png", 3);
        copy("search/dl/c2.png", 3);
        ASSERT_EQ(::link(QFile::encodeName(path("search/dl/c1.png")).constData(),
                      QFile::encodeName(path("outside/c1.png")).constData()),
            0);
    }

    QString path(const char* relative) const
    {
        return m_dir.path() + QLatin1Char('/') + QLatin1String(relative);
    }

    FinderResult search(bool withProtection) const
    {
        FinderOptions options;
        options.folders = {QFile::encodeName(path("search"))};
        options.recursive = true;
        options.useCache = false;
        if (withProtection)
            options.protectedFolders
                = {QFile::encodeName(path("search/master")), QFile::encodeName(path("outside"))};
        options.useIgnoreList = true;
        return Finder(options).run();
    }

    static std::set<QByteArray> protectedPaths(const ReviewModel& model)
    {
        std::set<QByteArray> paths;
        for (int g = 0; g < model.groupCount(); ++g)
            for (int f = 0; f < int(model.group(g).files.size()); ++f)
                if (model.isProtected({g, f}))
                    paths.insert(model.group(g).files[size_t(f)].found.path);
        return paths;
    }

    QTemporaryDir m_dir;
};

TEST_F(ProtectedReviewTest, NoRuleCommandOrClickMarksAProtectedFile)
{
    const FinderResult guarded = search(true);
    const FinderResult plain = search(false);
    ASSERT_EQ(guarded.groups.size(), 3U);
    {
        const ReviewModel model(guarded);
        EXPECT_EQ(protectedPaths(model),
            (std::set<QByteArray>{QFile::encodeName(path("search/master/a2.png")),
                QFile::encodeName(path("search/master/b1.png")),
                QFile::encodeName(path("search/master/b2.png")),
                QFile::encodeName(path("search/dl/c1.png"))}));
    }
    const std::vector<int> all = {0, 1, 2};
    // Rules and "Mark all" choose a copy to keep: protection only ever takes
    // their marks away. (Invert and clicks mark what was unmarked, so a
    // protected copy that stays lets them mark one more.)
    struct Command {
        const char* what;
        std::function<void(ReviewModel&)> run;
        bool onlyTakesMarksAway = true;
    };
    std::vector<Command> commands;
    for (MarkingRule rule :
        {MarkingRule::KeepOldest, MarkingRule::KeepNewest, MarkingRule::KeepLargest,
            MarkingRule::KeepSmallest, MarkingRule::KeepShortestPath, MarkingRule::KeepBestCopy}) {
        for (bool withSamePhoto : {false, true})
            commands.push_back({"a rule", [rule, withSamePhoto](ReviewModel& model) {
                                    model.applyRule(rule, QByteArray(), withSamePhoto);
                                }});
    }
    for (const char* folder : {"search/dl", "search/master"}) {
        const QByteArray inside = QFile::encodeName(path(folder));
        commands.push_back({"keep inside a folder", [inside](ReviewModel& model) {
                                model.applyRule(MarkingRule::KeepInsideFolder, inside);
                            }});
    }
    commands.push_back({"mark all", [all](ReviewModel& model) { model.markAll(all); }});
    commands.push_back({"invert", [all](ReviewModel& model) { model.invertMarks(all); }, false});
    commands.push_back({"a rule, then invert",
        [all](ReviewModel& model) {
            model.applyRule(MarkingRule::KeepNewest);
            model.invertMarks(all);
        },
        false});
    commands.push_back({"a click on every file",
        [](ReviewModel& model) {
            for (int g = 0; g < model.groupCount(); ++g)
                for (int f = 0; f < int(model.group(g).files.size()); ++f)
                    model.toggleMark({g, f});
        },
        false});
    commands.push_back({"marks taken up again",
        [](ReviewModel& model) {
            std::set<QByteArray> every;
            for (int g = 0; g < model.groupCount(); ++g)
                for (const ReviewFile& f : model.group(g).files)
                    every.insert(f.found.path);
            model.restoreMarks(every);
        },
        false});

    for (const Command& command : commands) {
        SCOPED_TRACE(command.what);
        ReviewModel withProtection(guarded);
        ReviewModel without(plain);
        command.run(withProtection);
        command.run(without);
        const std::set<QByteArray> marked = withProtection.markedPaths();
        for (const QByteArray& file : protectedPaths(withProtection))
            EXPECT_EQ(marked.count(file), 0U) << file.toStdString();
        if (command.onlyTakesMarksAway) {
            for (const QByteArray& file : marked)
                EXPECT_EQ(without.markedPaths().count(file), 1U) << file.toStdString();
        }
        for (int g = 0; g < withProtection.groupCount(); ++g) {
            int unmarked = 0;
            for (int f = 0; f < int(withProtection.group(g).files.size()); ++f)
                unmarked += withProtection.isMarked({g, f}) ? 0 : 1;
            EXPECT_GE(unmarked, 1) << g;
        }
    }

    // Taken up again later, the results keep their protection.
    const std::optional<KeptResults::Kept> kept
        = KeptResults::fromJson(KeptResults::toJson({guarded, {}}));
    ASSERT_TRUE(kept);
    ReviewModel reopened(kept->result);
    reopened.markAll(all);
    EXPECT_EQ(protectedPaths(reopened), protectedPaths(ReviewModel(guarded)));
    for (const QByteArray& file : protectedPaths(reopened))
        EXPECT_EQ(reopened.markedPaths().count(file), 0U) << file.toStdString();

    // A click is refused with its reason; the Mark column shows a lock, no box.
    ReviewModel model(guarded);
    ReviewItemModel items(model, nullptr);
    for (int g = 0; g < model.groupCount(); ++g) {
        for (int f = 0; f < int(model.group(g).files.size()); ++f) {
            if (!model.isProtected({g, f}))
                continue;
            EXPECT_FALSE(model.setMarked({g, f}, true));
            EXPECT_TRUE(model.statusText().contains(QStringLiteral("protected folder")));
            const QModelIndex mark = items.indexOf({g, f}, ReviewItemModel::MarkColumn);
            EXPECT_EQ(items.data(mark, Qt::DisplayRole).toString(), QStringLiteral("protected"));
            EXPECT_FALSE(items.data(mark, Qt::DecorationRole).isNull());
            EXPECT_FALSE(items.flags(mark).testFlag(Qt::ItemIsUserCheckable));
            EXPECT_FALSE(items.setData(mark, Qt::Checked, Qt::CheckStateRole));
        }
    }
}

// In a same-photo group a protected save is never the copy that stays in
// place of another: "Keep the best copy" keeps the best copy beside it, and
// every other rule and command keeps one more copy than the protected one.
TEST_F(ProtectedReviewTest, BestCopyStaysBesideAProtectedLesserCopy)
{
    FinderResult result;
    result.folders = {QFile::encodeName(path("search"))};
    FoundFile best = foundOnDisk(path("search/dl/a1.png"));
    FoundFile lesser = foundOnDisk(path("search/master/b1.png"));
    lesser.isProtected = true;
    FoundFile other = foundOnDisk(path("search/dl/c2.png"));
    SamePhotoGroup photo;
    photo.members.push_back({1600, 1200, {best}, -1, std::nullopt});
    photo.members.push_back(
        {800, 600, {lesser}, -1, similar::PhotoDifference{0.97, 1.5, 20, 800, 600, {}, {}, 0, 1}});
    photo.members.push_back(
        {400, 300, {other}, -1, similar::PhotoDifference{0.93, 2.5, 31, 400, 300, {}, {}, 0, 1}});
    photo.bestFile = 0;
    photo.bestBecause = QStringLiteral("most pixels");
    result.samePhotoGroups.push_back(photo);
    result.samePhotoSearched = true;

    ReviewModel model(result);
    model.applyRule(MarkingRule::KeepBestCopy);
    EXPECT_EQ(model.markedPaths(), std::set<QByteArray>{other.path});
    model.markAll({0});
    EXPECT_EQ(model.markedPaths(), std::set<QByteArray>{other.path});

    // The protected save is the oldest (master/b1.png was written before
    // dl/c2.png): "Keep the oldest" keeps the oldest of the others.
    const std::vector<std::function<void(ReviewModel&)>> commands = {
        [](ReviewModel& m) { m.applyRule(MarkingRule::KeepOldest, QByteArray(), true); },
        [](ReviewModel& m) { m.applyRule(MarkingRule::KeepNewest, QByteArray(), true); },
        [](ReviewModel& m) { m.markAll({0}); },
        [](ReviewModel& m) { m.invertMarks({0}); },
        [](ReviewModel& m) {
            m.toggleMark({0, 0});
            m.toggleMark({0, 1});
            m.toggleMark({0, 2});
        },
    };
    for (std::size_t c = 0; c < commands.size(); ++c) {
        ReviewModel fresh(result);
        commands[c](fresh);
        EXPECT_EQ(fresh.markedPaths().count(lesser.path), 0U) << c;
        EXPECT_EQ(fresh.markedPaths().size(), 1U) << c;
    }
}

TEST_F(ProtectedReviewTest, NotDuplicatesLeavesTheGroupOutOfTheNextSearch)
{
    const QString list = ScratchHome::dataHome() + QStringLiteral("/Corvane/ignored-groups.json");
    QFile::remove(list);
    const FinderResult first = search(true);
    ASSERT_EQ(first.groups.size(), 3U);
    frmReview::Hooks hooks;
    int asked = 0;
    hooks.confirm = [&asked](const QString&) {
        ++asked;
        return true;
    };
    frmReview window(first, hooks);
    ASSERT_EQ(window.ignoredGroupCount(), 0);
    // The first group (a1, a2, a3) on the list.
    window.lstGroups()->setCurrentIndex(window.itemModel()->index(0, 0));
    const QByteArray judged = window.model().group(0).files.front().found.path;
    EXPECT_EQ(window.ignoreSelectedGroups(), 1);
    EXPECT_TRUE(QFile::exists(list));
    EXPECT_EQ(window.ignoredGroupCount(), 1);
    EXPECT_EQ(window.itemModel()->shownGroupCount(), 2);

    // One file's place in a group: the group (c1, c2) keeps one file and leaves.
    const int c = window.model().group(0).files.front().found.path.endsWith("c1.png") ? 0 : 1;
    ASSERT_TRUE(window.model().group(c).files.front().found.path.contains("/c"));
    window.lstGroups()->setCurrentIndex(window.itemModel()->indexOf({c, 1}));
    EXPECT_TRUE(window.ignoreCurrentFile());
    EXPECT_EQ(window.itemModel()->shownGroupCount(), 1);
    EXPECT_EQ(window.ignoredGroupCount(), 2);

    // The next search leaves them out, after a rename too.
    ASSERT_EQ(
        ::rename(judged.constData(), QFile::encodeName(path("search/renamed.png")).constData()), 0);
    const FinderResult second = search(true);
    EXPECT_EQ(second.groups.size(), 1U);
    EXPECT_EQ(second.groupsIgnored, 2);

    window.forgetIgnoredGroups();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(window.ignoredGroupCount(), 0);
    EXPECT_EQ(search(true).groups.size(), 3U);
}

} // namespace
