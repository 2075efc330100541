// One copy of every group stays unmarked whatever the user does: random
// sequences of clicks, rules, undo, clearing and sorting never leave a group
// with every copy marked, and a refused click says why.
#include "ReviewTestData.h"

#include "review/ReviewModel.h"

#include <gtest/gtest.h>

#include <random>

using namespace ReviewTestData;

namespace {

FinderResult randomResult(std::mt19937& random)
{
    std::vector<DuplicateGroup> groups;
    const int groupCount = 1 + int(random() % 6);
    for (int g = 0; g < groupCount; ++g) {
        DuplicateGroup group;
        const int members = 2 + int(random() % 4);
        for (int f = 0; f < members; ++f) {
            // Few distinct values, so ties in time, size and length are common.
            const QByteArray path = QByteArray(f % 2 ? "/photos/keep/" : "/photos/") + char('a' + g)
                + char('a' + int(random() % 3)) + QByteArray::number(f) + ".png";
            FoundFile file = memberFile(
                {path.constData(), std::int64_t(random() % 3), std::int64_t(random() % 3)});
            group.files.push_back(file);
        }
        groups.push_back(group);
    }
    return resultOf(groups);
}

int unmarkedIn(const ReviewModel& model, int g)
{
    int unmarked = 0;
    for (int f = 0; f < int(model.group(g).files.size()); ++f)
        unmarked += model.isMarked({g, f}) ? 0 : 1;
    return unmarked;
}

TEST(NeverAllMarkedTest, RandomSequencesOfClicksRulesAndGroupCommandsAlwaysLeaveACopy)
{
    const MarkingRule rules[] = {MarkingRule::KeepOldest, MarkingRule::KeepNewest,
        MarkingRule::KeepLargest, MarkingRule::KeepSmallest, MarkingRule::KeepShortestPath,
        MarkingRule::KeepInsideFolder};
    for (unsigned seed = 1; seed <= 300; ++seed) {
        std::mt19937 random(seed);
        ReviewModel model(randomResult(random));
        for (int op = 0; op < 60; ++op) {
            const int kind = int(random() % 14);
            // Some groups, as a selection gives them (repeats and all).
            std::vector<int> some;
            for (int n = int(random() % 4); n > 0; --n)
                some.push_back(int(random() % unsigned(model.groupCount())));
            if (kind >= 10) {
                if (kind == 10)
                    model.markAll(some);
                else if (kind == 11)
                    model.invertMarks(some);
                else if (kind == 12)
                    model.markNone(some);
                else if (model.groupCount() > 1)
                    model.removeGroups({some.empty() ? 0 : some.front()});
                else
                    model.sort(ReviewColumn(random() % 6), random() % 2);
            } else if (kind < 6) {
                const int g = int(random() % unsigned(model.groupCount()));
                const int f = int(random() % unsigned(model.group(g).files.size()));
                const bool wasMarked = model.isMarked({g, f});
                const bool lastCopy = !wasMarked && unmarkedIn(model, g) == 1;
                const bool accepted = model.toggleMark({g, f});
                ASSERT_EQ(accepted, !lastCopy) << "seed " << seed << " op " << op;
                if (!accepted) {
                    ASSERT_EQ(model.statusText(), ReviewModel::lastCopyText());
                }
                ASSERT_EQ(model.isMarked({g, f}), accepted ? !wasMarked : wasMarked);
            } else if (kind < 8) {
                model.applyRule(rules[random() % 6], "/photos/keep");
            } else if (kind == 8) {
                model.undo();
            } else if (random() % 2) {
                model.clearMarks();
            } else {
                model.sort(ReviewColumn(random() % 6), random() % 2);
            }
            for (int g = 0; g < model.groupCount(); ++g)
                ASSERT_GE(unmarkedIn(model, g), 1)
                    << "seed " << seed << " op " << op << " group " << g;
        }
    }
}

TEST(NeverAllMarkedTest, ForgettingActedFilesKeepsTheCopyThatStays)
{
    ReviewModel model(resultOf({
        groupOf({{"/photos/a.png", 10, 1}, {"/photos/b.png", 10, 2}, {"/photos/c.png", 10, 3}}),
        groupOf({{"/photos/d.png", 10, 1}, {"/photos/e.png", 10, 2}}),
    }));
    model.applyRule(MarkingRule::KeepOldest);
    // Only b of the first group was acted on (c was skipped); all of the second.
    model.forgetFiles({model.file({0, 1}).id, model.file({1, 1}).id});
    ASSERT_EQ(model.groupCount(), 1); // the second group has one file left: no longer a group
    EXPECT_EQ(model.group(0).files.size(), size_t(2));
    EXPECT_EQ(model.markedCount(), 1);
    EXPECT_EQ(model.group(0).totalSize, 20);
    EXPECT_FALSE(model.canUndo());
}

} // namespace
