// The marking rules over generated groups: which copy each rule keeps,
// including ties, the folder rule's edge cases, rules after manual marks and
// undo.
#include "ReviewTestData.h"

#include "review/ReviewModel.h"

#include <gtest/gtest.h>

using namespace ReviewTestData;

namespace {

// The unmarked paths of every group, in group order.
std::vector<QByteArray> keptPaths(const ReviewModel& model)
{
    std::vector<QByteArray> kept;
    for (int g = 0; g < model.groupCount(); ++g)
        for (int f = 0; f < int(model.group(g).files.size()); ++f)
            if (!model.isMarked({g, f}))
                kept.push_back(model.file({g, f}).found.path);
    return kept;
}

struct RuleCase {
    const char* name;
    MarkingRule rule;
    std::vector<MemberFacts> members;
    const char* kept;
    const char* folder = "";
};

class RuleKeepsTest : public ::testing::TestWithParam<RuleCase> { };

TEST_P(RuleKeepsTest, KeepsExactlyTheExpectedCopy)
{
    const RuleCase& c = GetParam();
    ReviewModel model(resultOf({groupOf(c.members)}));
    model.applyRule(c.rule, QByteArray(c.folder));
    EXPECT_EQ(keptPaths(model), std::vector<QByteArray>{QByteArray(c.kept)});
    EXPECT_EQ(model.markedCount(), int(c.members.size()) - 1);

    // The keeper does not depend on the order the window shows.
    for (ReviewColumn column : {ReviewColumn::Path, ReviewColumn::Size, ReviewColumn::Modified}) {
        for (bool ascending : {true, false}) {
            ReviewModel sorted(resultOf({groupOf(c.members)}));
            sorted.sortFiles(column, ascending);
            sorted.applyRule(c.rule, QByteArray(c.folder));
            EXPECT_EQ(keptPaths(sorted), std::vector<QByteArray>{QByteArray(c.kept)});
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rules, RuleKeepsTest,
    ::testing::Values(
        RuleCase{"oldest", MarkingRule::KeepOldest,
            {{"/photos/b.png", 10, 300}, {"/photos/a.png", 10, 100}, {"/photos/c.png", 10, 200}},
            "/photos/a.png"},
        RuleCase{"oldest_tie_in_time_goes_to_shorter_path", MarkingRule::KeepOldest,
            {{"/photos/long/x.png", 10, 100}, {"/photos/x.png", 10, 100}}, "/photos/x.png"},
        RuleCase{"oldest_tie_in_time_and_length_goes_to_path_order", MarkingRule::KeepOldest,
            {{"/photos/b.png", 10, 100}, {"/photos/a.png", 10, 100}}, "/photos/a.png"},
        RuleCase{"newest", MarkingRule::KeepNewest,
            {{"/photos/a.png", 10, 100}, {"/photos/b.png", 10, 300}, {"/photos/c.png", 10, 200}},
            "/photos/b.png"},
        RuleCase{"newest_tie_goes_to_shorter_path", MarkingRule::KeepNewest,
            {{"/photos/deep/a.png", 10, 300}, {"/photos/b.png", 10, 300}}, "/photos/b.png"},
        RuleCase{"largest", MarkingRule::KeepLargest,
            {{"/photos/a.png", 10, 100}, {"/photos/b.bmp", 900, 300}}, "/photos/b.bmp"},
        RuleCase{"largest_tie_in_size_goes_to_oldest", MarkingRule::KeepLargest,
            {{"/photos/a.png", 900, 300}, {"/photos/b.png", 900, 100}}, "/photos/b.png"},
        RuleCase{"smallest", MarkingRule::KeepSmallest,
            {{"/photos/a.bmp", 900, 100}, {"/photos/b.png", 10, 300}}, "/photos/b.png"},
        RuleCase{"smallest_tie_in_size_and_time_goes_to_shorter_path", MarkingRule::KeepSmallest,
            {{"/photos/sub/a.png", 10, 100}, {"/photos/a.png", 10, 100}}, "/photos/a.png"},
        RuleCase{"shortest_path", MarkingRule::KeepShortestPath,
            {{"/photos/2019/a.png", 10, 100}, {"/photos/a.png", 10, 300}}, "/photos/a.png"},
        RuleCase{"shortest_path_tie_goes_to_oldest", MarkingRule::KeepShortestPath,
            {{"/photos/a.png", 10, 300}, {"/photos/b.png", 10, 100}}, "/photos/b.png"},
        RuleCase{"inside_folder", MarkingRule::KeepInsideFolder,
            {{"/photos/a.png", 10, 100}, {"/photos/keep/z.png", 10, 300}}, "/photos/keep/z.png",
            "/photos/keep"},
        RuleCase{"inside_folder_deeper_counts", MarkingRule::KeepInsideFolder,
            {{"/photos/a.png", 10, 100}, {"/photos/keep/2019/z.png", 10, 300}},
            "/photos/keep/2019/z.png", "/photos/keep"},
        RuleCase{"inside_folder_all_inside_keeps_the_shortest", MarkingRule::KeepInsideFolder,
            {{"/photos/keep/sub/a.png", 10, 100}, {"/photos/keep/b.png", 10, 300},
                {"/photos/keep/c.png", 10, 200}},
            "/photos/keep/c.png", "/photos/keep"},
        RuleCase{"inside_folder_name_prefix_is_not_inside", MarkingRule::KeepInsideFolder,
            {{"/photos/keep2/a.png", 10, 100}, {"/photos/keep/b.png", 10, 300}},
            "/photos/keep/b.png", "/photos/keep"}),
    [](const ::testing::TestParamInfo<RuleCase>& info) { return std::string(info.param.name); });

TEST(MarkingRuleTest, FolderRuleLeavesGroupsWithoutACopyInsideAsTheyWere)
{
    ReviewModel model(resultOf({
        groupOf({{"/photos/a.png", 10, 100}, {"/photos/keep/a.png", 10, 100}}),
        groupOf({{"/photos/b.png", 10, 100}, {"/photos/c.png", 10, 100}, {"/photos/d.png", 10, 1}}),
    }));
    ASSERT_TRUE(model.setMarked({1, 0}, true));
    const ReviewModel::RuleOutcome outcome
        = model.applyRule(MarkingRule::KeepInsideFolder, "/photos/keep");
    EXPECT_EQ(outcome.groupsChanged, 1);
    EXPECT_EQ(outcome.groupsLeftAlone, 1);
    EXPECT_TRUE(model.isMarked({0, 0}));
    EXPECT_FALSE(model.isMarked({0, 1}));
    // The second group keeps the manual mark it had.
    EXPECT_TRUE(model.isMarked({1, 0}));
    EXPECT_FALSE(model.isMarked({1, 1}));
    EXPECT_FALSE(model.isMarked({1, 2}));
    EXPECT_TRUE(model.statusText().contains(QStringLiteral("no copy inside /photos/keep")))
        << model.statusText().toStdString();
}

TEST(MarkingRuleTest, RuleAfterManualMarksReplacesThemAndUndoGoesBackOneStepAtATime)
{
    ReviewModel model(resultOf({
        groupOf(
            {{"/photos/a.png", 10, 300}, {"/photos/b.png", 10, 100}, {"/photos/c.png", 10, 200}}),
        groupOf({{"/photos/d.png", 10, 100}, {"/photos/e.png", 10, 200}}),
    }));
    ASSERT_TRUE(model.setMarked({0, 1}, true)); // the oldest, by hand
    ASSERT_TRUE(model.setMarked({1, 1}, true));
    model.applyRule(MarkingRule::KeepOldest);
    EXPECT_EQ(keptPaths(model), (std::vector<QByteArray>{"/photos/b.png", "/photos/d.png"}));
    EXPECT_EQ(model.markedCount(), 3);

    ASSERT_TRUE(model.undo()); // the whole rule, in both groups, in one step
    EXPECT_TRUE(model.isMarked({0, 1}));
    EXPECT_FALSE(model.isMarked({0, 0}));
    EXPECT_FALSE(model.isMarked({0, 2}));
    EXPECT_TRUE(model.isMarked({1, 1}));
    EXPECT_EQ(model.markedCount(), 2);

    ASSERT_TRUE(model.undo());
    ASSERT_TRUE(model.undo());
    EXPECT_EQ(model.markedCount(), 0);
    EXPECT_FALSE(model.canUndo());
    EXPECT_FALSE(model.undo());
}

TEST(MarkingRuleTest, UndoFollowsTheFilesNotTheirPlaceAfterASort)
{
    ReviewModel model(resultOf({groupOf(
        {{"/photos/a.png", 30, 100}, {"/photos/b.png", 10, 200}, {"/photos/c.png", 20, 300}})}));
    model.applyRule(MarkingRule::KeepNewest); // keeps c
    model.sortFiles(ReviewColumn::Size, true); // b, c, a
    model.applyRule(MarkingRule::KeepLargest); // keeps a
    ASSERT_TRUE(model.undo());
    EXPECT_EQ(keptPaths(model), std::vector<QByteArray>{"/photos/c.png"});
}

TEST(MarkingRuleTest, RuleOverTenThousandGroupsLeavesOneCopyInEach)
{
    std::vector<DuplicateGroup> groups;
    std::vector<QByteArray> names;
    for (int g = 0; g < 10000; ++g) {
        DuplicateGroup group;
        for (int f = 0; f < 2 + g % 3; ++f) {
            names.push_back(QByteArray("/photos/") + QByteArray::number(g) + '_'
                + QByteArray::number(f) + ".png");
            group.files.push_back(
                memberFile({names.back().constData(), 100 + f, 50 + (g + f) % 4}));
        }
        groups.push_back(group);
    }
    ReviewModel model(resultOf(groups));
    model.applyRule(MarkingRule::KeepSmallest);
    EXPECT_EQ(keptPaths(model).size(), size_t(10000));
    EXPECT_EQ(model.markedCount(), int(names.size()) - 10000);
}

} // namespace
