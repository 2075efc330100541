// The best copy of a same-photo group, through the real search, over copies
// of one photo made with Debian's encoders: each row a folder of its own, the
// file the evidence names (or none), the reason given, what "Keep the best
// copy" then marks in the review, and what the command line reports.
#include "FindCommand.h"
#include "PhotoCollection.h"

#include "finder/Finder.h"
#include "finder/PictureReader.h"
#include "review/MarkingRule.h"
#include "review/ReviewModel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <set>

namespace {

// The "reason" of a row whose files must make no same-photo group at all.
constexpr const char* kApart = "apart";

struct CopyRow {
    const char* name;
    // Shell commands run in the row's folder; $S is the photo (a JPEG, 768
    // pixels wide), $PHOTOS the folder of the photo it was made from (2560
    // pixels wide), $OLD a time a week before the others.
    const char* make;
    const char* best; // the file named best copy, or nullptr for none
    const char* because; // how the reason starts
};

void PrintTo(const CopyRow& row, std::ostream* os)
{
    *os << row.name;
}

const CopyRow kRows[] = {
    {"webExport", "cp $S orig.jpg; convert $S -resize 50% -quality 85 web.jpg", "orig.jpg",
        "most pixels"},
    {"lanczosEnlargement",
        "cp $S orig.jpg; convert $S -filter Lanczos -resize 200% -quality 92 big.jpg", "orig.jpg",
        "most pixels but for enlargements"},
    // Judged at the JPEG's reduced decode (a half, still above the
    // original's size), on the middle of it.
    {"fourTimesEnlargement",
        "cp $S orig.jpg; convert $S -filter Lanczos -resize 400% -quality 92 big.jpg", "orig.jpg",
        "most pixels but for enlargements"},
    // The original judged at a quarter, its web copy an eighth.
    {"largeOriginalEighth",
        "cp $PHOTOS/Wood.jpg orig.jpg; convert orig.jpg -resize 12.5% -quality 85 web.jpg",
        "orig.jpg", "most pixels"},
    {"quarterEnlargement", "cp $S orig.jpg; convert $S -resize 125% -quality 92 big.jpg",
        "orig.jpg", "most pixels but for enlargements"},
    {"enlargementKeptOlder",
        "cp $S orig.jpg; convert $S -resize 150% big.png; touch -d \"$OLD\" big.png", nullptr,
        "no clear best copy: the largest looks enlarged but is older"},
    {"lossyWebp", "cp $S orig.jpg; touch -d \"$OLD\" orig.jpg; cwebp -quiet -q 75 $S -o copy.webp",
        "orig.jpg", "oldest of equal size"},
    {"heicQuality60",
        "cp $S orig.jpg; touch -d \"$OLD\" orig.jpg; heif-enc -q 60 $S -o copy.heic >/dev/null",
        "orig.jpg", "oldest of equal size"},
    // Made from the JPEG, however old: the lossless copy holds nothing more.
    {"deepPngRoundTrip",
        "cp $S orig.jpg; convert $S -depth 16 -evaluate add 0.4% PNG48:copy.png; "
        "touch -d \"$OLD\" copy.png",
        "orig.jpg", "the lossless copy was made from it"},
    // One per cent wider is the same size; the older lossy copy loses to
    // the lossless one all the same.
    {"quality20Wider",
        "convert $S -quality 100 orig.png; convert orig.png -resize 101% -quality 20 wider.jpg; "
        "touch -d \"$OLD\" wider.jpg",
        "orig.png", "made from nothing else: the lossless copy holds more"},
    {"cropLargerFile",
        "cp $S orig.jpg; touch -d \"$OLD\" orig.jpg; convert $S -gravity center -crop 99%x99%+0+0 "
        "+repage -resize 768x480! -quality 97 crop.jpg",
        nullptr, kApart},
    {"lossySavedWithinADay",
        "cp $S a.jpg; convert $S -quality 90 b.jpg; touch -d '2 hours ago' a.jpg", nullptr,
        "no clear best copy: copies of the same size saved within a day"},
    // Times alone decide here, so the re-save that is older is named.
    {"lossySavedDaysApart", "cp $S a.jpg; convert $S -quality 90 b.jpg; touch -d \"$OLD\" b.jpg",
        "b.jpg", "oldest of equal size"},
    // A soft photo with grain: it reduces well, but its grain is no enlargement.
    {"softWithGrain",
        "convert $S -blur 0x1.2 -attenuate 0.15 +noise Gaussian -quality 92 orig.jpg; "
        "convert orig.jpg -resize 50% -quality 85 web.jpg",
        "orig.jpg", "most pixels"},
    // Lighter grain: one test says enlargement, the other not.
    {"softLightGrain",
        "convert -seed 1 $S -blur 0x1.2 -attenuate 0.08 +noise Gaussian -quality 92 orig.jpg; "
        "convert orig.jpg -resize 50% -quality 85 web.jpg",
        nullptr, "no clear best copy: the largest may be an enlargement"},
    // The best member is an identical pair: its oldest file, not its first.
    {"identicalBest",
        "cp $S orig.jpg; cp $S a-copy.jpg; touch -d \"$OLD\" orig.jpg; "
        "convert $S -resize 50% -quality 85 web.jpg",
        "orig.jpg", "most pixels"},
};

const char* const kPhotos = "/usr/share/backgrounds/mate/nature";

class BestCopyOf : public ::testing::TestWithParam<CopyRow> {
public:
    static void SetUpTestSuite()
    {
        finder::preparePictureReading();
        s_dir = new QTemporaryDir;
        s_photo = s_dir->filePath(QStringLiteral("photo.jpg"));
        s_ready = photocollection::run(QStringLiteral("convert"),
            {QLatin1String(kPhotos) + QStringLiteral("/Garden.jpg"), QStringLiteral("-resize"),
                QStringLiteral("768x"), QStringLiteral("-quality"), QStringLiteral("92"), s_photo});
    }
    static void TearDownTestSuite()
    {
        delete s_dir;
        s_dir = nullptr;
    }

protected:
    static inline QTemporaryDir* s_dir = nullptr;
    static inline QString s_photo;
    static inline bool s_ready = false;
};

QString nameOf(const QByteArray& path)
{
    return QFileInfo(QFile::decodeName(path)).fileName();
}

TEST_P(BestCopyOf, NamedFromTheEvidenceAndKeptByTheRule)
{
    ASSERT_TRUE(s_ready) << "the photo could not be made (scripts/install-deps)";
    const CopyRow& row = GetParam();
    const QString folder = s_dir->filePath(QLatin1String(row.name));
    ASSERT_TRUE(QDir().mkpath(folder));
    QProcess shell;
    shell.setWorkingDirectory(folder);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("S"), s_photo);
    environment.insert(QStringLiteral("PHOTOS"), QLatin1String(kPhotos));
    environment.insert(QStringLiteral("OLD"), QStringLiteral("7 days ago"));
    shell.setProcessEnvironment(environment);
    shell.start(QStringLiteral("sh"), {QStringLiteral("-ec"), QLatin1String(row.make)});
    ASSERT_TRUE(shell.waitForFinished(120000));
    ASSERT_EQ(shell.exitCode(), 0) << shell.readAllStandardError().toStdString();
    const QStringList made = QDir(folder).entryList(QDir::Files, QDir::Name);

    QTemporaryDir cache;
    FinderOptions options;
    options.folders = {QFile::encodeName(folder)};
    options.cachePath = cache.filePath(QStringLiteral("cache.sqlite"));
    options.cacheSettleNs = 0;
    options.samePhoto = true;
    const FinderResult result = Finder(options).run();
    if (row.because == kApart) {
        // A change of framing: no group, so no rule can trash either file.
        EXPECT_TRUE(result.samePhotoGroups.empty());
        return;
    }
    // Every file in one same-photo group.
    ASSERT_EQ(result.samePhotoGroups.size(), 1U);
    const SamePhotoGroup& group = result.samePhotoGroups.front();
    QStringList grouped;
    for (const SamePhotoMember& member : group.members)
        for (const FoundFile& file : member.files)
            grouped << nameOf(file.path);
    grouped.sort();
    ASSERT_EQ(grouped, made);

    EXPECT_TRUE(group.bestBecause.startsWith(QLatin1String(row.because)))
        << group.bestBecause.toStdString();
    if (row.best) {
        ASSERT_GE(group.bestFile, 0) << group.bestBecause.toStdString();
        EXPECT_EQ(nameOf(group.members.front().files[std::size_t(group.bestFile)].path),
            QLatin1String(row.best));
        // The best copy comes first, with no difference of its own.
        EXPECT_FALSE(group.members.front().difference);
    } else {
        EXPECT_EQ(group.bestFile, -1);
    }

    // "Keep the best copy" keeps exactly that file, or marks nothing.
    ReviewModel review(result);
    const ReviewModel::RuleOutcome outcome = review.applyRule(MarkingRule::KeepBestCopy);
    QStringList kept;
    for (int g = 0; g < review.groupCount(); ++g) {
        if (!review.group(g).samePhoto)
            continue;
        for (int f = 0; f < int(review.group(g).files.size()); ++f)
            if (!review.isMarked({g, f}))
                kept << nameOf(review.group(g).files[std::size_t(f)].found.path);
    }
    if (row.best) {
        EXPECT_EQ(kept, QStringList{QLatin1String(row.best)});
        EXPECT_EQ(outcome.groupsWithoutBest, 0);
    } else {
        kept.sort();
        EXPECT_EQ(kept, made);
        EXPECT_EQ(outcome.groupsWithoutBest, 1);
        EXPECT_TRUE(review.statusText().contains(QLatin1String("no clear best copy")))
            << review.statusText().toStdString();
    }

    // A warm search reads the verdicts back from the cache and names the same.
    const FinderResult warm = Finder(options).run();
    ASSERT_EQ(warm.samePhotoGroups.size(), 1U);
    EXPECT_EQ(warm.samePhotoGroups.front().bestBecause, group.bestBecause);
    EXPECT_EQ(warm.samePhotoGroups.front().bestFile, group.bestFile);

    // The command line: the index into the group's files, and the reason.
    const FindCommand::Outcome find
        = FindCommand()
              .cacheHome(cache.path())
              .run({QStringLiteral("--similar"), QStringLiteral("--format=json"), folder});
    ASSERT_EQ(find.exitCode, 0) << find.err.toStdString();
    const QJsonObject json = QJsonDocument::fromJson(find.out).object();
    QJsonObject samePhoto;
    for (const QJsonValue& g : json.value(QStringLiteral("groups")).toArray())
        if (g.toObject().value(QStringLiteral("kind")).toString() == QLatin1String("same photo"))
            samePhoto = g.toObject();
    EXPECT_EQ(samePhoto.value(QStringLiteral("best_because")).toString(), group.bestBecause);
    const QJsonValue index = samePhoto.value(QStringLiteral("best_copy"));
    if (row.best) {
        const QJsonArray files = samePhoto.value(QStringLiteral("files")).toArray();
        ASSERT_TRUE(index.isDouble());
        EXPECT_EQ(nameOf(QFile::encodeName(
                      files.at(index.toInt()).toObject().value(QStringLiteral("path")).toString())),
            QLatin1String(row.best));
    } else {
        EXPECT_TRUE(index.isNull());
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, BestCopyOf, ::testing::ValuesIn(kRows),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
