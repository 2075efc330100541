// A file that Put back returned from the real trash of a scratch home is the
// very file the search read: the next search takes it from the cache (a real
// SQLite file) and decodes nothing, while a file changed after it came back
// is decoded again.
#include "finder/Finder.h"
#include "handling/FileActions.h"
#include "review/PutBack.h"

#include "TrashTestHome.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

bool convert(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("convert"), arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

enum class AfterPutBack {
    Nothing,
    NotCarried, // the cache is not told: the put back file is decoded again
    RewrittenSameSizeAndTime, // written again, its modification time set back
    Touched, // only the modification time moved
};

struct CarryCase {
    const char* name;
    AfterPutBack after;
    bool samePhoto; // also the same photo saved differently
    bool decodedAgain;
};

class PutBackCacheTest : public ::testing::TestWithParam<CarryCase> { };

TEST_P(PutBackCacheTest, APutBackFileKeepsItsCacheRowUnlessItChanged)
{
    const CarryCase& c = GetParam();
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/corvane-put-back-cache-XXXXXX"));
    ASSERT_TRUE(dir.isValid());
    const QString photos = dir.path() + QStringLiteral("/") + QLatin1String(c.name);
    ASSERT_TRUE(QDir().mkpath(photos + QStringLiteral("/sub")));
    // A JPEG pair and a TIFF and PNG pair of one picture, and a lone picture.
    const QString a = photos + QStringLiteral("/a.jpg");
    const QString tiff = photos + QStringLiteral("/b.tif");
    ASSERT_TRUE(convert({QStringLiteral("-size"), QStringLiteral("160x90"),
        QStringLiteral("plasma:fractal"), QStringLiteral("-seed"), QStringLiteral("3"), a}));
    ASSERT_TRUE(QFile::copy(a, photos + QStringLiteral("/sub/a copy.jpg")));
    ASSERT_TRUE(convert({QStringLiteral("-size"), QStringLiteral("120x90"),
        QStringLiteral("gradient:red-blue"), tiff}));
    ASSERT_TRUE(convert({tiff, photos + QStringLiteral("/sub/b.png")}));
    // The same photo saved again: a same-photo group with the JPEG pair.
    ASSERT_TRUE(convert({a, QStringLiteral("-quality"), QStringLiteral("80"),
        photos + QStringLiteral("/sub/a resaved.jpg")}));

    FinderOptions options;
    options.folders = {QFile::encodeName(photos)};
    options.recursive = true;
    options.cachePath = dir.path() + QStringLiteral("/cache/fingerprints.sqlite");
    options.cacheSettleNs = 0;
    options.samePhoto = c.samePhoto;
    {
        Finder first(options);
        const FinderResult result = first.run();
        ASSERT_EQ(result.groups.size(), size_t(2));
        ASSERT_EQ(result.samePhotoGroups.size(), size_t(c.samePhoto ? 1 : 0));
        ASSERT_GT(first.stats().decoded, 0);
    }

    // The copies in the subfolder go to the trash and come back.
    std::vector<PutBack::Acted> acted;
    for (const QString& path :
        {photos + QStringLiteral("/sub/a copy.jpg"), photos + QStringLiteral("/sub/b.png"),
            photos + QStringLiteral("/sub/a resaved.jpg")}) {
        struct stat st { };
        ASSERT_EQ(::lstat(QFile::encodeName(path).constData(), &st), 0);
        acted.push_back({int(acted.size()), QFile::encodeName(path), identityOf(st)});
        QString error;
        ASSERT_TRUE(FileActions::RecycleFile(path, &error)) << error.toStdString();
    }
    PutBack putBack = PutBack::afterTrash(acted, PutBack::homeTrash());
    const PutBack::Outcome outcome = putBack.run();
    ASSERT_EQ(outcome.returned.size(), size_t(3));
    ASSERT_EQ(outcome.renamed.size(), size_t(3));
    if (c.after != AfterPutBack::NotCarried) {
        // Three files' facts, and with the same-photo search their signatures
        // and the proofs that involve them.
        EXPECT_GE(carryOverRenamedFiles(options, outcome.renamed), c.samePhoto ? 7 : 3);
    }

    const QByteArray changed = acted[1].path;
    struct timespec keep[2] = {{0, UTIME_OMIT},
        acted[1].searched.modifiedNs > 0
            ? timespec{time_t(acted[1].searched.modifiedNs / 1000000000),
                long(acted[1].searched.modifiedNs % 1000000000)}
            : timespec{0, UTIME_OMIT}};
    switch (c.after) {
    case AfterPutBack::Nothing:
    case AfterPutBack::NotCarried:
        break;
    case AfterPutBack::RewrittenSameSizeAndTime: {
        // Written again in place (its own bytes: no size or time tells), the
        // modification time set back: only the change time says it was written.
        QFile file(QFile::decodeName(changed));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        const QByteArray bytes = file.readAll();
        ASSERT_TRUE(file.seek(0));
        ASSERT_EQ(file.write(bytes), bytes.size());
        file.close();
        ASSERT_EQ(::utimensat(AT_FDCWD, changed.constData(), keep, 0), 0);
        break;
    }
    case AfterPutBack::Touched: {
        const struct timespec later[2] = {{0, UTIME_OMIT}, {keep[1].tv_sec + 5, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, changed.constData(), later, 0), 0);
        break;
    }
    }

    Finder second(options);
    const FinderResult again = second.run();
    const FinderStats& stats = second.stats();
    if (c.decodedAgain) {
        // The changed file, and the picture it is compared with.
        EXPECT_GE(stats.decoded + stats.signaturesMade + stats.photoProofsMeasured, 1);
    } else {
        EXPECT_EQ(stats.decoded, 0);
        EXPECT_EQ(stats.signaturesMade, 0);
        EXPECT_EQ(stats.photoProofsMeasured, 0);
    }
    EXPECT_EQ(again.groups.size(), size_t(2));
    EXPECT_EQ(again.samePhotoGroups.size(), size_t(c.samePhoto ? 1 : 0));
}

INSTANTIATE_TEST_SUITE_P(Cases, PutBackCacheTest,
    ::testing::Values(CarryCase{"carried_over", AfterPutBack::Nothing, false, false},
        CarryCase{"carried_over_same_photo", AfterPutBack::Nothing, true, false},
        CarryCase{"not_carried_over", AfterPutBack::NotCarried, false, true},
        CarryCase{"not_carried_over_same_photo", AfterPutBack::NotCarried, true, true},
        CarryCase{
            "rewritten_same_size_and_time", AfterPutBack::RewrittenSameSizeAndTime, false, true},
        CarryCase{"rewritten_same_photo", AfterPutBack::RewrittenSameSizeAndTime, true, true},
        CarryCase{"touched", AfterPutBack::Touched, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
