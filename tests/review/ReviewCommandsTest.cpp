// The review model's list commands over generated groups: the order of
// groups and files after a header click, the filter, mark all / none /
// invert on some groups with the one-copy-stays promise, taking groups off
// the list and back, and files returning after an action.
#include "ReviewTestData.h"

#include "review/ReviewModel.h"

#include <gtest/gtest.h>

using namespace ReviewTestData;

namespace {

// Three groups in the search's order: "a" (3 files, 30 bytes), "b" (2 files,
// 200 bytes), "c" (4 files, 40 bytes).
FinderResult threeGroups()
{
    return resultOf({
        groupOf({{"/photos/a/x2.png", 10, 3}, {"/photos/a/x1.png", 10, 1},
            {"/photos/a/x3.png", 10, 2}}),
        groupOf({{"/photos/b/y1.png", 100, 5}, {"/photos/b/y2.png", 100, 4}}),
        groupOf({{"/photos/c/z4.png", 10, 9}, {"/photos/c/z1.png", 10, 8},
            {"/photos/c/z3.png", 10, 7}, {"/photos/c/z2.png", 10, 6}}),
    });
}

// "a b c": each group by the folder of its first file.
std::string groupOrder(const ReviewModel& model)
{
    std::string order;
    for (int g = 0; g < model.groupCount(); ++g) {
        if (!order.empty())
            order += ' ';
        order += model.group(g).files.front().shownPath.left(1).toStdString();
    }
    return order;
}

// "x2 x1 x3": the names of one group's files, in order.
std::string fileOrder(const ReviewModel& model, int g)
{
    std::string order;
    for (const ReviewFile& f : model.group(g).files) {
        if (!order.empty())
            order += ' ';
        order += f.shownPath.mid(2, 2).toStdString();
    }
    return order;
}

// "-+ +" style: per group, '+' for a marked file, '-' for one that stays.
std::string marks(const ReviewModel& model)
{
    std::string text;
    for (int g = 0; g < model.groupCount(); ++g) {
        if (g > 0)
            text += ' ';
        for (int f = 0; f < int(model.group(g).files.size()); ++f)
            text += model.isMarked({g, f}) ? '+' : '-';
    }
    return text;
}

int groupIndex(const ReviewModel& model, char folder)
{
    for (int g = 0; g < model.groupCount(); ++g)
        if (model.group(g).files.front().shownPath.startsWith(QLatin1Char(folder)))
            return g;
    return -1;
}

struct SortCase {
    const char* name;
    ReviewColumn column;
    bool ascending;
    const char* groups;
    const char* filesOfA;
};

class SortTest : public ::testing::TestWithParam<SortCase> { };

TEST_P(SortTest, OrdersTheGroupsAndTheFilesWithin)
{
    const SortCase& c = GetParam();
    ReviewModel model(threeGroups());
    model.sort(c.column, c.ascending);
    EXPECT_EQ(groupOrder(model), c.groups);
    EXPECT_EQ(fileOrder(model, groupIndex(model, 'a')), c.filesOfA);
    ASSERT_TRUE(model.sortColumn().has_value());
    EXPECT_EQ(*model.sortColumn(), c.column);
    EXPECT_EQ(model.sortAscending(), c.ascending);
}

INSTANTIATE_TEST_SUITE_P(Columns, SortTest,
    ::testing::Values(SortCase{"name_ascending", ReviewColumn::Path, true, "a b c", "x1 x2 x3"},
        SortCase{"name_descending", ReviewColumn::Path, false, "c b a", "x3 x2 x1"},
        SortCase{"total_size_ascending", ReviewColumn::Size, true, "a c b", "x2 x1 x3"},
        SortCase{"total_size_descending", ReviewColumn::Size, false, "b c a", "x2 x1 x3"},
        SortCase{"count_ascending", ReviewColumn::Copies, true, "b a c", "x2 x1 x3"},
        SortCase{"count_descending", ReviewColumn::Copies, false, "c a b", "x2 x1 x3"},
        // Other columns order the files and leave the groups in the search's order.
        SortCase{"modified_ascending", ReviewColumn::Modified, true, "a b c", "x1 x3 x2"},
        SortCase{"modified_descending", ReviewColumn::Modified, false, "a b c", "x2 x3 x1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SortTest, AGroupSortBreaksTiesInTheSearchOrder)
{
    // Equal totals and counts: the search's order, whichever way.
    ReviewModel model(resultOf({groupOf({{"/p/b1.png", 5, 1}, {"/p/b2.png", 5, 1}}),
                                   groupOf({{"/p/a1.png", 5, 1}, {"/p/a2.png", 5, 1}})},
        "/p"));
    for (bool ascending : {true, false}) {
        model.sort(ReviewColumn::Size, ascending);
        EXPECT_EQ(groupOrder(model), "b a") << ascending;
        model.sort(ReviewColumn::Copies, ascending);
        EXPECT_EQ(groupOrder(model), "b a") << ascending;
    }
}

struct FilterCase {
    const char* name;
    const char* text;
    std::vector<int> shown;
    int hiddenMarked; // after Mark all on every group: two files in a, one in b, three in c
};

class FilterTest : public ::testing::TestWithParam<FilterCase> { };

TEST_P(FilterTest, ShowsTheGroupsWithAMatchingPathAndCountsHiddenMarks)
{
    const FilterCase& c = GetParam();
    ReviewModel model(threeGroups());
    model.markAll({0, 1, 2});
    model.setFilter(QString::fromUtf8(c.text));
    EXPECT_EQ(model.shownGroups(), c.shown);
    EXPECT_EQ(model.hiddenMarkedCount(), c.hiddenMarked);
    EXPECT_EQ(model.markedCount(), 6); // the filter hides marks, it never drops them
}

INSTANTIATE_TEST_SUITE_P(Texts, FilterTest,
    ::testing::Values(FilterCase{"empty_shows_all", "", {0, 1, 2}, 0},
        FilterCase{"blank_shows_all", "   ", {0, 1, 2}, 0}, FilterCase{"folder", "b/", {1}, 5},
        FilterCase{"any_case", "Z3", {2}, 3},
        FilterCase{"one_file_shows_its_whole_group", "x3", {0}, 4},
        FilterCase{"common_part", ".png", {0, 1, 2}, 0},
        FilterCase{"nothing_matches", "holiday", {}, 6}),
    [](const auto& info) { return std::string(info.param.name); });

struct MarkCase {
    const char* name;
    const char* before; // marks set one by one before the command
    int command; // 0 mark all, 1 mark none, 2 invert
    std::vector<int> groups;
    const char* after;
};

class MarkCommandTest : public ::testing::TestWithParam<MarkCase> { };

TEST_P(MarkCommandTest, ChangesTheSelectedGroupsOnlyAndLeavesACopy)
{
    const MarkCase& c = GetParam();
    ReviewModel model(threeGroups());
    model.sort(ReviewColumn::Path, true); // first copies: x1, y1, z1
    const std::string before = c.before;
    int g = 0;
    int f = 0;
    for (char ch : before) {
        if (ch == ' ') {
            ++g;
            f = 0;
            continue;
        }
        if (ch == '+') {
            ASSERT_TRUE(model.setMarked({g, f}, true));
        }
        ++f;
    }
    ASSERT_EQ(marks(model), c.before);
    const int steps = model.canUndo() ? 1 : 0;
    switch (c.command) {
    case 0:
        model.markAll(c.groups);
        break;
    case 1:
        model.markNone(c.groups);
        break;
    default:
        model.invertMarks(c.groups);
        break;
    }
    EXPECT_EQ(marks(model), c.after);
    // One undo step takes the whole command back.
    if (std::string(c.after) != c.before) {
        ASSERT_TRUE(model.undo());
        EXPECT_EQ(marks(model), c.before);
        EXPECT_EQ(model.canUndo(), steps > 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Commands, MarkCommandTest,
    ::testing::Values(MarkCase{"mark_all_keeps_the_first", "--- -- ----", 0, {0, 2}, "-++ -- -+++"},
        MarkCase{"mark_all_unmarks_a_marked_first", "+-- -- ----", 0, {0}, "-++ -- ----"},
        MarkCase{"mark_all_on_no_group", "--- -- ----", 0, {}, "--- -- ----"},
        MarkCase{"mark_all_ignores_unknown_groups", "--- -- ----", 0, {7, -1, 1}, "--- -+ ----"},
        MarkCase{"mark_none", "-++ -+ +-+-", 1, {0, 2}, "--- -+ ----"},
        MarkCase{"invert_turns_marks_over", "-+- -- +--+", 2, {0, 2}, "+-+ -- -++-"},
        MarkCase{
            "invert_of_nothing_marked_keeps_the_first", "--- -- ----", 2, {0, 1}, "-++ -+ ----"},
        MarkCase{"invert_twice_listed_is_once", "-+- -- ----", 2, {0, 0}, "+-+ -- ----"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RemoveFromListTest, RemovedGroupsLeaveWithTheirMarksAndUndoBringsThemBack)
{
    ReviewModel model(threeGroups());
    model.markAll({0, 1, 2});
    model.sort(ReviewColumn::Copies, true); // b a c
    model.removeGroups({0, 2}); // b and c
    EXPECT_EQ(groupOrder(model), "a");
    EXPECT_EQ(model.markedCount(), 2); // an action now touches a's files only
    model.sort(ReviewColumn::Copies, false);
    ASSERT_TRUE(model.undoBringsGroupsBack());
    ASSERT_TRUE(model.undo());
    // Back in the order in force now, with their marks.
    EXPECT_EQ(groupOrder(model), "c a b");
    EXPECT_EQ(model.markedCount(), 6);
    ASSERT_TRUE(model.undo()); // then the Mark all before it
    EXPECT_EQ(model.markedCount(), 0);
}

TEST(PutFilesBackTest, ReturnedFilesRejoinTheirGroupsEvenOneThatLeft)
{
    ReviewModel model(threeGroups());
    model.markAll({0, 1});
    const int b2 = model.file({1, 1}).id;
    const int a1 = model.file({0, 1}).id;
    const int a3 = model.file({0, 2}).id;
    model.forgetFiles({a1, a3, b2});
    ASSERT_EQ(groupOrder(model), "c"); // a and b are left with one copy each
    ASSERT_NE(model.forgottenFile(b2), nullptr);
    EXPECT_EQ(model.forgottenFile(b2)->shownPath, QStringLiteral("b/y2.png"));

    FileIdentity now;
    now.inode = 77;
    now.size = 100;
    model.putFilesBack({{b2, now}, {12345, now}});
    EXPECT_EQ(groupOrder(model), "b c"); // the search's order
    const int b = groupIndex(model, 'b');
    ASSERT_EQ(model.group(b).files.size(), size_t(2));
    EXPECT_EQ(model.group(b).files.back().found.identity.inode, 77u);
    EXPECT_EQ(model.group(b).totalSize, 200);
    EXPECT_EQ(model.markedCount(), 0);
    EXPECT_EQ(model.forgottenFile(b2), nullptr);

    // Only one of a's two acted files comes back: a is a group again.
    model.putFilesBack({{a3, model.forgottenFile(a3)->found.identity}});
    EXPECT_EQ(groupOrder(model), "a b c");
    EXPECT_EQ(model.group(groupIndex(model, 'a')).files.size(), size_t(2));
}

} // namespace
