// A file listed twice (its identical group and a same-photo group) has one
// mark: every listing shows it, and every group it sits in keeps a copy
// unmarked, through clicks, rules, Mark all, Invert and Undo.
#include "ReviewTestData.h"

#include "review/ReviewModel.h"

#include <gtest/gtest.h>

#include <map>

using namespace ReviewTestData;

namespace {

// Identical group {A, B}; same-photo group: best (C), then A and B as one
// member, then D.
FinderResult listedTwice()
{
    FinderResult result
        = resultOf({groupOf({{"/photos/A.jpg", 500, 10}, {"/photos/B.jpg", 400, 20}})});
    SamePhotoGroup photo;
    photo.members.push_back(
        {1600, 1200, {memberFile({"/photos/C.png", 3000, 5})}, -1, std::nullopt});
    photo.members.push_back(
        {800, 600, {memberFile({"/photos/A.jpg", 500, 10}), memberFile({"/photos/B.jpg", 400, 20})},
            0, similar::PhotoDifference{0.97, 1.5, 20, 800, 600, {}, {}, 0, 1}});
    photo.members.push_back({400, 300, {memberFile({"/photos/D.jpg", 200, 30})}, -1,
        similar::PhotoDifference{0.93, 2.5, 31, 400, 300, {}, {}, 0, 1}});
    photo.bestFile = 0; // the search named it: the most pixels
    photo.bestBecause = QStringLiteral("most pixels");
    result.samePhotoGroups.push_back(photo);
    return result;
}

FileSpot find(const ReviewModel& model, bool samePhoto, const char* name)
{
    for (int g = 0; g < model.groupCount(); ++g) {
        if (model.group(g).samePhoto != samePhoto)
            continue;
        for (int f = 0; f < int(model.group(g).files.size()); ++f)
            if (model.group(g).files[size_t(f)].shownPath == QLatin1String(name))
                return {g, f};
    }
    return {};
}

// "A B" for the marked files (each once), after checking that every listing
// of a file agrees and every group keeps an unmarked copy.
QString marks(const ReviewModel& model)
{
    std::map<QString, bool> marked;
    for (int g = 0; g < model.groupCount(); ++g) {
        int unmarked = 0;
        for (int f = 0; f < int(model.group(g).files.size()); ++f) {
            const QString& name = model.group(g).files[size_t(f)].shownPath;
            const bool m = model.isMarked({g, f});
            unmarked += m ? 0 : 1;
            const auto [it, added] = marked.emplace(name, m);
            EXPECT_EQ(it->second, m) << name.toStdString() << " shows two marks";
        }
        EXPECT_GT(unmarked, 0) << "group " << g << " has no copy left";
    }
    QStringList names;
    for (const auto& [name, m] : marked)
        if (m)
            names << name;
    return names.join(QLatin1Char(' '));
}

struct Step {
    enum Kind { Mark, Unmark, Rule, RuleBoth, MarkAll, Invert, Undo } kind;
    bool samePhoto = false; // which listing (Mark, Unmark) or group (MarkAll, Invert)
    const char* name = "";
    MarkingRule rule = MarkingRule::KeepOldest;
    bool accepted = true;
};

TEST(SharedMarkTest, OneMarkPerFileAndACopyStaysInEveryGroup)
{
    const struct {
        const char* name;
        std::vector<Step> steps;
        const char* marked;
    } cases[] = {
        {"marked in one place, shown in both", {{Step::Mark, true, "A.jpg"}}, "A.jpg"},
        {"the issue's example: A then B is refused",
            {{Step::Mark, false, "A.jpg"}, {Step::Mark, false, "B.jpg", {}, false}}, "A.jpg"},
        {"refused through the other listing too",
            {{Step::Mark, false, "A.jpg"}, {Step::Mark, true, "B.jpg", {}, false}}, "A.jpg"},
        {"unmarked in one place, unmarked in both",
            {{Step::Mark, false, "B.jpg"}, {Step::Unmark, true, "B.jpg"}}, ""},
        {"C and D may go while A stays",
            {{Step::Mark, true, "C.png"}, {Step::Mark, true, "D.jpg"}, {Step::Mark, true, "B.jpg"}},
            "B.jpg C.png D.jpg"},
        {"the same photo's last copy",
            {{Step::Mark, true, "C.png"}, {Step::Mark, true, "D.jpg"}, {Step::Mark, true, "A.jpg"},
                {Step::Mark, true, "B.jpg", {}, false}},
            "A.jpg C.png D.jpg"},
        {"undo takes back both places", {{Step::Mark, true, "A.jpg"}, {Step::Undo}}, ""},
        {"keep the oldest in identical groups only", {{Step::Rule}}, "B.jpg"},
        {"keep the best copy: A stays, the identical group's keeper",
            {{Step::Rule, false, "", MarkingRule::KeepBestCopy}}, "B.jpg D.jpg"},
        {"keep the newest in both kinds: B kept by its identical group stays",
            {{Step::RuleBoth, false, "", MarkingRule::KeepNewest}}, "A.jpg C.png"},
        {"keep the largest in both kinds", {{Step::RuleBoth, false, "", MarkingRule::KeepLargest}},
            "B.jpg D.jpg"},
        {"keep the smallest in both kinds",
            {{Step::RuleBoth, false, "", MarkingRule::KeepSmallest}}, "A.jpg C.png"},
        {"mark all in the same photo keeps its first, A stays for the identical group",
            {{Step::MarkAll, true}}, "B.jpg D.jpg"},
        {"invert the identical group after marking A",
            {{Step::Mark, true, "A.jpg"}, {Step::Invert, false}}, "B.jpg"},
        {"invert the same photo with nothing marked", {{Step::Invert, true}}, "B.jpg D.jpg"},
        {"a rule then undo",
            {{Step::Mark, true, "D.jpg"}, {Step::RuleBoth, false, "", MarkingRule::KeepSmallest},
                {Step::Undo}},
            "D.jpg"},
    };
    for (const auto& c : cases) {
        ReviewModel model(listedTwice());
        for (const Step& s : c.steps) {
            int group = -1;
            for (int g = 0; g < model.groupCount(); ++g)
                if (model.group(g).samePhoto == s.samePhoto)
                    group = g;
            switch (s.kind) {
            case Step::Mark:
            case Step::Unmark:
                EXPECT_EQ(model.setMarked(find(model, s.samePhoto, s.name), s.kind == Step::Mark),
                    s.accepted)
                    << c.name << ": " << s.name;
                break;
            case Step::Rule:
            case Step::RuleBoth:
                model.applyRule(s.rule, QByteArray(), s.kind == Step::RuleBoth);
                break;
            case Step::MarkAll:
                model.markAll({group});
                break;
            case Step::Invert:
                model.invertMarks({group});
                break;
            case Step::Undo:
                model.undo();
                break;
            }
            marks(model);
        }
        EXPECT_EQ(marks(model), QString::fromUtf8(c.marked)) << c.name;
    }
}

TEST(SharedMarkTest, CountsAndSizesCountAFileOnce)
{
    ReviewModel model(listedTwice());
    ASSERT_TRUE(model.setMarked(find(model, true, "A.jpg"), true));
    ASSERT_TRUE(model.setMarked(find(model, true, "D.jpg"), true));
    EXPECT_EQ(model.markedCount(), 2);
    EXPECT_EQ(model.markedBytes(), 700);
}

} // namespace
