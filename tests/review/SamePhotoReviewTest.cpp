// Same-photo groups in the review: their own section after the identical
// groups, left alone by the rules unless asked (but "Keep the best copy"),
// counted in the confirmation when what goes is not identical to what stays,
// and acted on safely when a file is listed in both kinds of group.
#include "ReviewTestData.h"
#include "TestFileSystem.h"

#include "review/KeptResults.h"
#include "review/LinkedFilesAction.h"
#include "review/MarkedFilesAction.h"
#include "review/MarkingRule.h"
#include "review/ReviewItemModel.h"
#include "review/ReviewModel.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace ReviewTestData;

namespace {

// a.jpg and b.jpg are identical; best.png is the best copy of the same photo,
// and small.jpg another save of it.
class SamePhotoReviewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        qint64 second = 1'600'000'000;
        for (const char* name : {"a.jpg", "b.jpg", "best.png", "small.jpg"}) {
            TestFileSystem::writeFile(path(name), QByteArray(name).repeated(int(second % 7) + 1));
            const struct timespec times[2] = {{second, 0}, {second, 0}};
            ::utimensat(AT_FDCWD, QFile::encodeName(path(name)).constData(), times, 0);
            ++second;
        }
        m_result.folders = {QFile::encodeName(m_dir.path())};
        DuplicateGroup identical;
        identical.width = 800;
        identical.height = 600;
        identical.files = {found("a.jpg"), found("b.jpg")};
        m_result.groups.push_back(identical);
        SamePhotoGroup photo;
        photo.members.push_back({1600, 1200, {found("best.png")}, -1, std::nullopt});
        photo.members.push_back({800, 600, {found("a.jpg"), found("b.jpg")}, 0,
            similar::PhotoDifference{0.97, 1.5, 20, 800, 600, {}, {}, 0, 1}});
        photo.members.push_back({400, 300, {found("small.jpg")}, -1,
            similar::PhotoDifference{0.93, 2.5, 31, 400, 300, {}, {}, 0, 1}});
        photo.bestFile = 0; // the search named it: the most pixels
        photo.bestBecause = QStringLiteral("most pixels");
        m_result.samePhotoGroups.push_back(photo);
        m_result.samePhotoSearched = true;
    }

    QString path(const char* name) const
    {
        return m_dir.path() + QLatin1Char('/') + QLatin1String(name);
    }
    FoundFile found(const char* name) const { return foundOnDisk(path(name), "JPEG"); }

    // Marked files of the same-photo group, by name.
    QStringList markedIn(const ReviewModel& model, bool samePhoto) const
    {
        QStringList names;
        for (int g = 0; g < model.groupCount(); ++g) {
            if (model.group(g).samePhoto != samePhoto)
                continue;
            for (int f = 0; f < int(model.group(g).files.size()); ++f)
                if (model.isMarked({g, f}))
                    names << model.group(g).files[size_t(f)].shownPath;
        }
        names.sort();
        return names;
    }

    QTemporaryDir m_dir;
    FinderResult m_result;
};

TEST_F(SamePhotoReviewTest, SamePhotoGroupsFollowTheIdenticalOnesInEveryOrder)
{
    ReviewModel model(m_result);
    ASSERT_EQ(model.groupCount(), 2);
    for (const ReviewColumn column :
        {ReviewColumn::Size, ReviewColumn::Copies, ReviewColumn::Path}) {
        for (const bool ascending : {true, false}) {
            model.sort(column, ascending);
            EXPECT_FALSE(model.group(0).samePhoto);
            EXPECT_TRUE(model.group(1).samePhoto);
        }
    }
    // The pair walk gets the identical groups only; the export both kinds.
    EXPECT_EQ(model.currentResult().groups.size(), size_t(1));
    EXPECT_TRUE(model.currentResult().samePhotoGroups.empty());
    const FinderResult both = model.currentResult(true);
    ASSERT_EQ(both.samePhotoGroups.size(), size_t(1));
    EXPECT_EQ(both.samePhotoGroups[0].members.size(), size_t(3));
    EXPECT_FALSE(both.samePhotoGroups[0].members[0].difference.has_value());
}

struct RuleCase {
    const char* name;
    MarkingRule rule;
    bool withSamePhoto;
    QStringList markedIdentical;
    QStringList markedSamePhoto;
    int notIdenticalToAKeptCopy;
};

class SamePhotoRuleTest : public SamePhotoReviewTest,
                          public ::testing::WithParamInterface<RuleCase> { };

TEST_P(SamePhotoRuleTest, MarksWhatTheRuleSays)
{
    const RuleCase& c = GetParam();
    ReviewModel model(m_result);
    model.applyRule(c.rule, QByteArray(), c.withSamePhoto);
    EXPECT_EQ(markedIn(model, false), c.markedIdentical);
    EXPECT_EQ(markedIn(model, true), c.markedSamePhoto);
    EXPECT_EQ(model.markedNotIdenticalToAKeptCopy(), c.notIdenticalToAKeptCopy);
}

INSTANTIATE_TEST_SUITE_P(Rules, SamePhotoRuleTest,
    ::testing::Values(
        // b.jpg is listed in both kinds of group: one mark, shown in both.
        RuleCase{"oldest_identical_only", MarkingRule::KeepOldest, false, {"b.jpg"}, {"b.jpg"}, 0},
        RuleCase{"oldest_both_kinds", MarkingRule::KeepOldest, true, {"b.jpg"},
            {"b.jpg", "best.png", "small.jpg"}, 2},
        // a.jpg is the copy the identical group keeps: it stays in both.
        RuleCase{
            "best_copy", MarkingRule::KeepBestCopy, false, {"b.jpg"}, {"b.jpg", "small.jpg"}, 1},
        RuleCase{"newest_both_kinds", MarkingRule::KeepNewest, true, {"a.jpg"},
            {"a.jpg", "best.png"}, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// Edited copies: the last section; no rule, Mark all or Invert marks them,
// with or without the same-photo groups, only a click does (and one file
// stays); exported and kept as their own kind.
TEST_F(SamePhotoReviewTest, EditedCopiesComeLastAndOnlyAClickMarksThem)
{
    for (const char* name : {"watermarked.png", "patched.png"})
        TestFileSystem::writeFile(path(name), QByteArray(name));
    SamePhotoGroup edited;
    edited.members.push_back({1600, 1200, {found("best.png")}, -1, std::nullopt});
    // One block far over its limit, at 400, 300 of the 512 x 384 measured.
    const similar::LocalFigure region{40.0, 6.0, {400, 300, 24, 24}, 0.01, 0.05};
    for (const char* name : {"watermarked.png", "patched.png"})
        edited.members.push_back({1600, 1200, {found(name)}, -1,
            similar::PhotoDifference{0.99, 0.6, 200, 512, 384, region, {}, 0, 1}});
    m_result.editedGroups.push_back(edited);

    ReviewModel model(m_result);
    ASSERT_EQ(model.groupCount(), 3);
    ASSERT_TRUE(model.group(2).edited);
    // Its words say where, in the photo's own pixels.
    ReviewItemModel items(model, nullptr);
    EXPECT_TRUE(items.indexOf({2, 1}, ReviewItemModel::DifferenceColumn)
                    .data()
                    .toString()
                    .startsWith(QLatin1String("edited at 1250, 937 (")));
    const auto editedMarks = [&] {
        int marked = 0;
        for (int f = 0; f < int(model.group(2).files.size()); ++f)
            marked += model.group(2).files[size_t(f)].found.path.endsWith("best.png")
                ? 0
                : int(model.isMarked({2, f}));
        return marked;
    };
    for (MarkingRule rule :
        {MarkingRule::KeepOldest, MarkingRule::KeepNewest, MarkingRule::KeepLargest,
            MarkingRule::KeepSmallest, MarkingRule::KeepShortestPath, MarkingRule::KeepBestCopy}) {
        for (bool withSamePhoto : {false, true}) {
            model.applyRule(rule, QByteArray(), withSamePhoto);
            EXPECT_EQ(editedMarks(), 0) << ruleTitle(rule).toStdString();
        }
    }
    model.markAll({0, 1, 2});
    EXPECT_EQ(editedMarks(), 0);
    model.invertMarks({0, 1, 2});
    EXPECT_EQ(editedMarks(), 0);
    model.clearMarks();
    // A click marks an edited copy; the last unmarked file of the group stays.
    for (int f = 0; f < int(model.group(2).files.size()); ++f)
        model.setMarked({2, f}, true);
    int unmarked = 0;
    for (int f = 0; f < int(model.group(2).files.size()); ++f)
        unmarked += model.isMarked({2, f}) ? 0 : 1;
    EXPECT_EQ(unmarked, 1);

    // Exported and kept as edited groups, never as same-photo ones.
    const FinderResult exported = model.currentResult(true);
    EXPECT_EQ(exported.samePhotoGroups.size(), 1U);
    ASSERT_EQ(exported.editedGroups.size(), 1U);
    EXPECT_EQ(exported.editedGroups[0].members.size(), 3U);
    KeptResults::Kept kept{exported, {}};
    const auto again = KeptResults::fromJson(KeptResults::toJson(kept));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->result.editedGroups.size(), 1U);
    EXPECT_EQ(ReviewModel(again->result).group(2).edited, true);
}

TEST_F(SamePhotoReviewTest, ActingOnAFileListedTwiceActsOnceAndTheBestCopyStays)
{
    ReviewModel model(m_result);
    model.applyRule(MarkingRule::KeepBestCopy);
    MarkedFilesAction action(model, MarkedFilesAction::Kind::Delete, QString());
    EXPECT_EQ(action.total(), 2); // b.jpg once, though marked in both groups
    action.runToEnd();
    EXPECT_TRUE(action.notDone().empty());
    // a.jpg, the identical group's copy that stays, stays in the same-photo group too.
    for (const char* kept : {"best.png", "a.jpg"})
        EXPECT_TRUE(TestFileSystem::exists(path(kept))) << kept;
    for (const char* gone : {"b.jpg", "small.jpg"})
        EXPECT_FALSE(TestFileSystem::exists(path(gone))) << gone;
    // Every listing of the files that went leaves the review: the identical
    // group with one copy left goes, the same photo stays with best and a.
    model.forgetFiles(action.goneIds());
    ASSERT_EQ(model.groupCount(), 1);
    EXPECT_TRUE(model.group(0).samePhoto);
}

// A link in place of a file listed in both kinds of group: made once, in
// its identical group, and every listing of the file leaves the review; the
// same photo saved in other bytes is left alone with its reason.
TEST_F(SamePhotoReviewTest, ALinkedFileListedTwiceLeavesTheReviewFromBothGroups)
{
    // b.jpg with the very bytes of a.jpg, as a link asks.
    TestFileSystem::writeFile(path("b.jpg"), TestFileSystem::readFile(path("a.jpg")));
    m_result.groups[0].files[1] = found("b.jpg");
    m_result.samePhotoGroups[0].members[1].files[1] = found("b.jpg");
    ReviewModel model(m_result);
    model.applyRule(MarkingRule::KeepBestCopy);
    LinkedFilesAction action(model);
    EXPECT_EQ(action.total(), 1); // b.jpg once, though marked in both groups
    EXPECT_EQ(action.problems(),
        QStringList{QStringLiteral("small.jpg: skipped: no byte-identical copy stays, only the "
                                   "same photo saved differently")});
    action.runToEnd();
    action.step(); // past the end: nothing more
    EXPECT_EQ(action.position(), 1);
    ASSERT_EQ(action.actedIds().size(), 1U) << action.problems().join(' ').toStdString();
    EXPECT_EQ(action.notDone().size(), 1U);
    EXPECT_EQ(TestFileSystem::readFile(path("b.jpg")), TestFileSystem::readFile(path("a.jpg")));
    model.forgetFiles(action.goneIds());
    ASSERT_EQ(model.groupCount(), 1);
    ASSERT_TRUE(model.group(0).samePhoto);
    QStringList left;
    for (const ReviewFile& file : model.group(0).files)
        left << file.shownPath;
    left.sort();
    EXPECT_EQ(left, (QStringList{"a.jpg", "best.png", "small.jpg"}));
}

// What the best copy rests on, or why there is none: shown on the group's
// rows, obeyed by "Keep the best copy", and kept over a reopen.
struct BestCase {
    const char* name;
    int bestFile; // in the first member's files; -1 for none
    const char* because;
    QStringList markedSamePhoto; // by "Keep the best copy"
    const char* firstRow; // the Difference column of the group's first row
};

class BestCopyShownTest : public SamePhotoReviewTest,
                          public ::testing::WithParamInterface<BestCase> { };

TEST_P(BestCopyShownTest, OnItsRowInTheRuleAndAfterAReopen)
{
    const BestCase& c = GetParam();
    FinderResult result = m_result;
    result.samePhotoGroups[0].bestFile = c.bestFile;
    result.samePhotoGroups[0].bestBecause = QLatin1String(c.because);
    // Kept and taken up again, as the window does between sessions.
    const std::optional<KeptResults::Kept> kept
        = KeptResults::fromJson(KeptResults::toJson({result, {}}));
    ASSERT_TRUE(kept);
    ASSERT_EQ(kept->result.samePhotoGroups.size(), size_t(1));
    EXPECT_EQ(kept->result.samePhotoGroups[0].bestFile, c.bestFile);
    EXPECT_EQ(kept->result.samePhotoGroups[0].bestBecause, QLatin1String(c.because));
    for (const FinderResult& shown : {result, kept->result}) {
        ReviewModel model(shown);
        const ReviewModel::RuleOutcome outcome = model.applyRule(MarkingRule::KeepBestCopy);
        EXPECT_EQ(markedIn(model, true), c.markedSamePhoto);
        EXPECT_EQ(outcome.groupsWithoutBest, c.bestFile < 0 ? 1 : 0);
        EXPECT_EQ(model.statusText().contains(QLatin1String("no clear best copy")), c.bestFile < 0)
            << model.statusText().toStdString();
        ReviewItemModel items(model, nullptr);
        EXPECT_EQ(items.indexOf({1, 0}, ReviewItemModel::DifferenceColumn).data().toString(),
            QLatin1String(c.firstRow));
        // Exported again, the group still names (or does not name) its best copy.
        const FinderResult again = model.currentResult(true);
        ASSERT_EQ(again.samePhotoGroups.size(), size_t(1));
        EXPECT_EQ(again.samePhotoGroups[0].bestFile, c.bestFile);
    }
}

INSTANTIATE_TEST_SUITE_P(Groups, BestCopyShownTest,
    ::testing::Values(
        BestCase{"named", 0, "most pixels", {"b.jpg", "small.jpg"}, "best copy: most pixels"},
        // b.jpg goes by the identical group's own rule; nothing else is marked.
        BestCase{"none", -1, "no clear best copy: the largest may be an enlargement", {"b.jpg"},
            "no clear best copy: the largest may be an enlargement"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
