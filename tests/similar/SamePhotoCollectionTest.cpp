// The same-photo search on real photos: the calibration half's figures (the
// thresholds were chosen on them), then the other half, which the thresholds
// never saw, searched as a user searches it: every true copy in its photo's
// group, the best copy named rightly, every near miss in no group, and the
// identical groups exactly those of a search without same-photo groups.
#include "FindCommand.h"
#include "SamePhotoFixture.h"

#include "finder/Finder.h"
#include "finder/PictureReader.h"
#include "similar/PhotoDifference.h"
#include "similar/ProofRule.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <set>

namespace {

using photocollection::Made;
using photocollection::Role;

// Each row's figures against its photo, printed: the table the thresholds
// were read from (README). Copies pass, near misses fail.
TEST_F(SamePhotoCollectionTest, CalibrationHalfIsSeparatedByTheThresholds)
{
    const photocollection::Collection& s_calibration = calibration(); // made for this test alone
    ASSERT_FALSE(s_calibration.files.empty());
    std::map<QString, decoding::DecodedPicture> originals;
    for (const Made& made : s_calibration.files) {
        if (made.role == Role::Original)
            originals[made.photo]
                = *photocollection::decodeFile(s_calibration.root + '/' + made.name);
    }
    for (const Made& made : s_calibration.files) {
        if (made.role == Role::Original)
            continue;
        const auto picture = photocollection::decodeFile(s_calibration.root + '/' + made.name);
        ASSERT_TRUE(picture) << made.name.toStdString();
        const auto difference = similar::compareFrames(
            similar::firstFrameOf(originals[made.photo]), similar::firstFrameOf(*picture));
        const bool same = difference && similar::passes(*difference);
        const similar::PhotoDifference d = difference.value_or(similar::PhotoDifference{});
        std::printf("%-12s %-36s %-5s ssim %.4f mean %6.2f local %6.2f/%5.2f share %.3f tone %5.2f "
                    "%5.2f %5.2f band %5.2f blocks %5.2f span %4.2f shift %4.2f\n",
            qPrintable(made.photo), qPrintable(made.kase), same ? "SAME" : "apart", d.ssim, d.mean,
            d.local.value, d.local.limit, d.local.share, d.tone.mean[0], d.tone.mean[1],
            d.tone.mean[2], d.tone.worstBand, d.tone.blockShift, d.local.span, d.shift);
        EXPECT_EQ(same, made.role == Role::Copy || made.role == Role::Enlargement)
            << made.photo.toStdString() << ": " << made.kase.toStdString();
        if (made.role == Role::Edited) {
            EXPECT_TRUE(d.ssim >= similar::kMinSsim && d.mean <= similar::kMaxMean
                && similar::editOf(d) == similar::Edit::Region)
                << made.photo.toStdString() << ": " << made.kase.toStdString();
        }
    }
}

// The photos the thresholds never saw, with every saved copy and every
// edit, through the real search: copies in their photo's group, region
// edits listed beside their photo and nowhere else, every other edit alone.
TEST_F(SamePhotoCollectionTest, HeldOutEditsStayApartAndRegionEditsAreListedBesideTheirPhoto)
{
    const photocollection::Collection& s_edits = edits(); // made for this test alone
    ASSERT_FALSE(s_edits.files.empty());
    FinderOptions options;
    options.folders = {QFile::encodeName(s_edits.root)};
    options.useCache = false;
    options.samePhoto = true;
    const FinderResult result = Finder(options).run();
    auto nameOf
        = [](const FoundFile& file) { return QFileInfo(QFile::decodeName(file.path)).fileName(); };
    std::map<QString, int> samePhotoGroup;
    for (std::size_t g = 0; g < result.samePhotoGroups.size(); ++g) {
        for (const SamePhotoMember& member : result.samePhotoGroups[g].members) {
            for (const FoundFile& file : member.files)
                samePhotoGroup[nameOf(file)] = int(g);
        }
    }
    std::map<QString, QString> editedFrom; // edited copy -> the first file of its group
    for (const SamePhotoGroup& group : result.editedGroups) {
        const QString source = nameOf(group.members.front().files.front());
        for (std::size_t m = 1; m < group.members.size(); ++m) {
            for (const FoundFile& file : group.members[m].files)
                editedFrom[nameOf(file)] = source;
        }
    }
    std::map<QString, QString> originalOf;
    for (const Made& made : s_edits.files) {
        if (made.role == Role::Original)
            originalOf[made.photo] = made.name;
    }
    // A row's figures against its photo, for the message of a failure.
    auto figures = [&](const Made& made) {
        const auto a = photocollection::decodeFile(s_edits.root + '/' + originalOf[made.photo]);
        const auto b = photocollection::decodeFile(s_edits.root + '/' + made.name);
        const auto d = a && b
            ? similar::compareFrames(similar::firstFrameOf(*a), similar::firstFrameOf(*b))
            : std::nullopt;
        if (!d)
            return std::string(" (not comparable)");
        char text[200];
        std::snprintf(text, sizeof text,
            " (ssim %.4f mean %.2f local %.2f/%.2f share %.3f tone %.2f %.2f %.2f band %.2f "
            "blocks %.2f span %.2f shift %.2f)",
            d->ssim, d->mean, d->local.value, d->local.limit, d->local.share, d->tone.mean[0],
            d->tone.mean[1], d->tone.mean[2], d->tone.worstBand, d->tone.blockShift, d->local.span,
            d->shift);
        return std::string(text);
    };
    int edits = 0;
    int listed = 0;
    for (const Made& made : s_edits.files) {
        const std::string row
            = made.photo.toStdString() + ": " + made.kase.toStdString() + figures(made);
        const QString original = originalOf[made.photo];
        const bool grouped = samePhotoGroup.count(made.name) == 1;
        switch (made.role) {
        case Role::Original:
            break;
        case Role::Copy:
        case Role::Enlargement:
            EXPECT_TRUE(grouped && samePhotoGroup[made.name] == samePhotoGroup[original])
                << row << " not in its photo's group";
            break;
        case Role::Apart:
            EXPECT_FALSE(grouped) << row << " was grouped";
            // A tone edit is never an edited region. A reframing of a flat
            // picture may be: only its few edges differ, and it is listed
            // beside its photo, never marked by a rule.
            if (!made.kase.startsWith(QLatin1String("patch of another photo"))
                && !made.kase.contains(QLatin1String("crop"))
                && !made.kase.contains(QLatin1String("cut"))) {
                EXPECT_EQ(editedFrom.count(made.name), 0U) << row << " listed as an edited copy";
            }
            break;
        case Role::Edited:
            ++edits;
            EXPECT_FALSE(grouped) << row << " was grouped";
            // Beside its photo (the best copy of the photo's group) when listed:
            // an edit is listed only when the candidate search offered its pair.
            if (editedFrom.count(made.name) == 1) {
                ++listed;
                EXPECT_TRUE(samePhotoGroup.count(editedFrom[made.name]) == 1
                    && samePhotoGroup[editedFrom[made.name]] == samePhotoGroup[original])
                    << row << " edited from " << editedFrom[made.name].toStdString();
            }
            break;
        }
    }
    // Most edits are listed beside their photo.
    EXPECT_GE(listed * 4, edits * 3) << listed << " of " << edits << " edits listed";
}

TEST_F(SamePhotoCollectionTest, CheckHalfGroupsEveryCopyWithItsPhotoAndNothingElse)
{
    QTemporaryDir cache;
    const QString cachePath = cache.filePath(QStringLiteral("cache.sqlite"));
    const FinderResult result = search(true, cachePath);
    ASSERT_FALSE(result.cancelled);

    // Where each file landed: same-photo group number, and whether it is the best copy.
    std::map<QString, int> groupOf;
    std::map<QString, bool> isBest;
    for (std::size_t g = 0; g < result.samePhotoGroups.size(); ++g) {
        const SamePhotoGroup& group = result.samePhotoGroups[g];
        for (const SamePhotoMember& member : group.members) {
            for (const FoundFile& file : member.files) {
                const QString name = QFileInfo(QFile::decodeName(file.path)).fileName();
                EXPECT_EQ(groupOf.count(name), 0U) << name.toStdString() << " in two groups";
                groupOf[name] = int(g);
                isBest[name] = &member == &group.members.front();
                if (&member != &group.members.front()) {
                    ASSERT_TRUE(member.difference);
                    EXPECT_TRUE(similar::passes(*member.difference)) << name.toStdString();
                }
            }
        }
    }
    std::map<QString, QString> originalOf;
    for (const Made& made : s_check.files) {
        if (made.role == Role::Original)
            originalOf[made.photo] = made.name;
    }
    for (const Made& made : s_check.files) {
        const std::string row = made.photo.toStdString() + ": " + made.kase.toStdString();
        const QString original = originalOf[made.photo];
        switch (made.role) {
        case Role::Original:
            ASSERT_EQ(groupOf.count(made.name), 1U) << row;
            break;
        case Role::Copy:
        case Role::Enlargement:
            ASSERT_EQ(groupOf.count(made.name), 1U) << row << " not found";
            EXPECT_EQ(groupOf[made.name], groupOf[original]) << row << " in another group";
            if (made.role == Role::Enlargement) {
                EXPECT_FALSE(isBest[made.name]) << row << " named best copy";
            }
            break;
        case Role::Apart:
        case Role::Edited:
            EXPECT_EQ(groupOf.count(made.name), 0U) << row << " was grouped";
            break;
        }
    }
    // The best copy: the most pixels (the enlargement aside), then the least
    // lossy type; among the original's full-size PNGs (itself, its byte copy,
    // the copies with a pixel or a row changed) the largest file wins.
    for (const SamePhotoGroup& group : result.samePhotoGroups) {
        const QString best
            = QFileInfo(QFile::decodeName(group.members.front().files.front().path)).fileName();
        const std::set<QString> fullSizePngs = {QStringLiteral(""), QStringLiteral("-copy"),
            QStringLiteral("-pixel"), QStringLiteral("-row")};
        bool expected = false;
        for (const Made& made : s_check.files) {
            if (made.name == best)
                expected = made.name.endsWith(QLatin1String(".png"))
                    && fullSizePngs.count(made.name.mid(made.photo.size()).chopped(4)) == 1;
        }
        EXPECT_TRUE(expected) << best.toStdString() << " named best copy";
    }

    // The evidence names the best copy of nearly every group: at most one
    // group in twenty is left without one.
    const auto withoutBest = std::count_if(result.samePhotoGroups.begin(),
        result.samePhotoGroups.end(), [](const SamePhotoGroup& g) { return g.bestFile < 0; });
    EXPECT_LE(withoutBest * 20, std::ptrdiff_t(result.samePhotoGroups.size()))
        << withoutBest << " of " << result.samePhotoGroups.size() << " groups name no best copy: "
        << result.samePhotoGroups.front().bestBecause.toStdString();

    // Each photo has exactly one group: no two photos share one.
    std::set<int> photoGroups;
    for (const auto& [photo, name] : originalOf)
        photoGroups.insert(groupOf[name]);
    EXPECT_EQ(photoGroups.size(), originalOf.size());
    EXPECT_EQ(result.samePhotoGroups.size(), originalOf.size());

    // The identical groups are those of a search without same-photo groups,
    // and each is a member of its photo's group.
    const FinderResult plain = search(false, QString(), nullptr);
    ASSERT_EQ(plain.groups.size(), result.groups.size());
    for (std::size_t g = 0; g < plain.groups.size(); ++g) {
        ASSERT_EQ(plain.groups[g].files.size(), result.groups[g].files.size());
        for (std::size_t f = 0; f < plain.groups[g].files.size(); ++f)
            EXPECT_EQ(plain.groups[g].files[f].path, result.groups[g].files[f].path);
    }
    EXPECT_TRUE(plain.samePhotoGroups.empty());
    int identicalMembers = 0;
    for (const SamePhotoGroup& group : result.samePhotoGroups) {
        for (const SamePhotoMember& member : group.members) {
            if (member.identicalGroup < 0)
                continue;
            ++identicalMembers;
            ASSERT_LT(std::size_t(member.identicalGroup), result.groups.size());
            EXPECT_EQ(result.groups[std::size_t(member.identicalGroup)].files.front().path,
                member.files.front().path);
        }
    }
    EXPECT_EQ(identicalMembers, int(result.groups.size()));
}

TEST_F(SamePhotoCollectionTest, WarmSearchDecodesNothingAgainAndFindsTheSameGroups)
{
    QTemporaryDir cache;
    const QString cachePath = cache.filePath(QStringLiteral("cache.sqlite"));
    FinderStats cold;
    const FinderResult first = search(true, cachePath, &cold);
    EXPECT_GT(cold.photoProofsMeasured, 0);
    FinderStats warm;
    const FinderResult second = search(true, cachePath, &warm);
    EXPECT_EQ(warm.decoded, 0);
    EXPECT_EQ(warm.signaturesMade, 0);
    EXPECT_EQ(warm.photoProofsMeasured, 0);
    ASSERT_EQ(first.samePhotoGroups.size(), second.samePhotoGroups.size());
    for (std::size_t g = 0; g < first.samePhotoGroups.size(); ++g) {
        const auto& a = first.samePhotoGroups[g].members;
        const auto& b = second.samePhotoGroups[g].members;
        ASSERT_EQ(a.size(), b.size());
        for (std::size_t m = 0; m < a.size(); ++m) {
            EXPECT_EQ(a[m].files.front().path, b[m].files.front().path);
            EXPECT_EQ(a[m].difference, b[m].difference);
        }
    }
}

// Every same-photo group as the names of its files.
std::set<std::set<QString>> photoGroupsOf(const FinderResult& result)
{
    std::set<std::set<QString>> groups;
    for (const SamePhotoGroup& group : result.samePhotoGroups) {
        std::set<QString> names;
        for (const SamePhotoMember& member : group.members) {
            for (const FoundFile& file : member.files)
                names.insert(QFileInfo(QFile::decodeName(file.path)).fileName());
        }
        groups.insert(names);
    }
    return groups;
}

// A cold search measures its proofs on the proof pictures its identical
// search kept (no picture decoded twice when memory allows); with a budget
// too small to keep them, pictures are decoded again, the budget is never
// exceeded, and the groups are the same.
TEST_F(SamePhotoCollectionTest, ProofPicturesKeptFromTheFirstDecodeOrDecodedAgainWithinTheBudget)
{
    // Each search with a cache of its own: nothing known beforehand.
    QTemporaryDir caches;
    int searches = 0;
    auto freshCache = [&] { return caches.filePath(QStringLiteral("%1.sqlite").arg(++searches)); };
    FinderStats roomy;
    const FinderResult reference = search(true, freshCache(), &roomy);
    ASSERT_FALSE(reference.samePhotoGroups.empty());
    // Only pictures the identical search had no reason to decode (no other
    // picture of their size) are decoded for their proofs.
    EXPECT_GT(roomy.decoded, 0);
    EXPECT_LE(roomy.photoProofDecodes, roomy.skippedUniqueSize);
    constexpr std::uint64_t kMegabyte = 1 << 20;
    struct Row {
        const char* name;
        std::uint64_t budget;
    };
    // The largest picture (the enlargement, 1152 wide) needs a 15 MB share;
    // a proof picture takes about a quarter of a megabyte.
    const Row rows[] = {
        {"room for a few proof pictures", 18 * kMegabyte},
        {"room for one decode and a proof picture", 16 * kMegabyte},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FinderStats stats;
        const FinderResult tight = search(true, freshCache(), &stats, row.budget);
        EXPECT_EQ(photoGroupsOf(tight), photoGroupsOf(reference));
        EXPECT_LE(stats.memoryPeak, row.budget);
        EXPECT_GT(stats.photoProofDecodes, roomy.photoProofDecodes);
    }
}

} // namespace

namespace {

// corvane-find --similar's JSON and CSV, read back by Python's json and csv
// modules: kinds in order, the best copy first with no figures, every other
// file with its figures (within the bounds that let it join, its region
// inside the best copy), identical files pointing at their group.
TEST_F(SamePhotoCollectionTest, CommandLineReportsReadBackByRealReaders)
{
    QTemporaryDir cache;
    const FindCommand find = FindCommand().cacheHome(cache.path()).timeout(600000);
    auto report = [&](const QString& format, const QString& reader) {
        const FindCommand::Outcome found = find.run(
            {QStringLiteral("--similar"), QStringLiteral("--format=") + format, s_check.root});
        const QByteArray out = found.out;
        EXPECT_EQ(found.exitCode, 0);
        QProcess python;
        python.start(QStringLiteral("python3"), {QStringLiteral("-c"), reader});
        python.write(out);
        python.closeWriteChannel();
        EXPECT_TRUE(python.waitForFinished(60000));
        return QString::fromUtf8(python.readAllStandardOutput() + python.readAllStandardError())
            .trimmed();
    };
    // Prints one word per fault, "ok" with the number of each kind otherwise.
    const QString json = report(QStringLiteral("json"), QStringLiteral(R"(
import json, sys
d = json.load(sys.stdin)
kinds = [g["kind"] for g in d["groups"]]
faults = []
if kinds != sorted(kinds, key=lambda k: k != "identical"): faults.append("order")
for g in d["groups"]:
    if g["kind"] != "same photo":
        if any("difference" in f for f in g["files"]): faults.append("figures-in-identical")
        continue
    if "difference" in g["files"][0]: faults.append("best-has-figures")
    for f in g["files"][1:]:
        x = f.get("difference")
        if not x or sorted(x) != ["compared_at", "framing_shift", "local", "max", "mean", "ssim", "tone"] \
                or len(x["compared_at"]) != 2 or len(x["tone"]) != 3 or len(x["local"]["region"]) != 4:
            faults.append("figures")
        elif not (0 <= x["ssim"] <= 1 and 0 <= x["mean"] <= x["max"] <= 255
                and x["local"]["value"] <= x["local"]["limit"]
                and all(abs(t) <= 2 for t in x["tone"]) and x["framing_shift"] <= 0.5):
            faults.append("range")
        else:
            rx, ry, rw, rh = x["local"]["region"]
            if rx + rw > g["width"] or ry + rh > g["height"]: faults.append("region")
    for f in g["files"]:
        n = f.get("identical_group")
        if n is not None and (d["groups"][n]["kind"] != "identical"
                or f["path"] not in [h["path"] for h in d["groups"][n]["files"]]):
            faults.append("identical_group")
print(" ".join(faults) or "ok %d %d" % (kinds.count("identical"), kinds.count("same photo")))
)"));
    EXPECT_EQ(json, QStringLiteral("ok 3 3"));
    const QString csv = report(QStringLiteral("csv"), QStringLiteral(R"(
import csv, sys
rows = list(csv.DictReader(sys.stdin))
groups = {}
for r in rows:
    if r["group"]: groups.setdefault(r["group"], []).append(r)
faults = []
for number, files in groups.items():
    if files[0]["kind"] == "same photo":
        if files[0]["ssim"]: faults.append("best-has-figures")
        if any(not f["ssim"] or not f["compared_width"] or not f["local"] or not f["tone_blue"]
               or not f["framing_shift"] for f in files[1:]): faults.append("figures")
print(" ".join(faults) or "ok %d" % sum(1 for g in groups.values() if g[0]["kind"] == "same photo"))
)"));
    EXPECT_EQ(csv, QStringLiteral("ok 3"));
}

} // namespace
