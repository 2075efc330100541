// Every group of a real search gets its small picture in the review window,
// also when a group's shown file was away while the list asked for it (in the
// trash until Put back brought it back) or was rewritten meanwhile.
#include "ReviewTestData.h"
#include "finder/Finder.h"
#include "review/PictureForView.h"
#include "review/ReviewItemModel.h"
#include "review/ThumbnailCache.h"
#include "review/frmReview.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeView>

#include <gtest/gtest.h>

namespace {

using ReviewTestData::convert;

void settle(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

enum class Away {
    Never,
    WhileAsked, // renamed away before the window paints, back afterwards
    RewrittenWhileAway, // back with other bytes of the same picture
};

struct SmallPictureCase {
    const char* name;
    Away away;
};

class SmallPictureTest : public ::testing::TestWithParam<SmallPictureCase> { };

TEST_P(SmallPictureTest, EveryGroupGetsItsSmallPicture)
{
    const SmallPictureCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.path() + QStringLiteral("/photos");
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/nested/deeper")));
    auto at
        = [&folder](const char* name) { return folder + QLatin1Char('/') + QLatin1String(name); };
    // A pair of wide JPEGs, a TIFF and PNG pair, and a larger PNG pair.
    ASSERT_TRUE(convert(
        {QStringLiteral("-size"), QStringLiteral("384x216"), QStringLiteral("plasma:fractal"),
            QStringLiteral("-seed"), QStringLiteral("5"), at("wide.jpg")}));
    ASSERT_TRUE(QFile::copy(at("wide.jpg"), at("nested/wide copy.jpg")));
    ASSERT_TRUE(convert({QStringLiteral("-size"), QStringLiteral("160x120"),
        QStringLiteral("gradient:orange-navy"), at("nested/deeper/four.tif")}));
    ASSERT_TRUE(convert({at("nested/deeper/four.tif"), at("four.png")}));
    ASSERT_TRUE(convert(
        {QStringLiteral("-size"), QStringLiteral("640x480"), QStringLiteral("plasma:fractal"),
            QStringLiteral("-seed"), QStringLiteral("9"), at("large.png")}));
    ASSERT_TRUE(QFile::copy(at("large.png"), at("nested/large.png")));

    FinderOptions options;
    options.folders = {QFile::encodeName(folder)};
    options.recursive = true;
    options.useCache = false;
    const FinderResult result = Finder(options).run();
    ASSERT_EQ(result.groups.size(), size_t(3));

    frmReview window(result);
    ReviewItemModel* items = window.itemModel();
    // The file each group row shows: the one the list asks a picture of.
    std::vector<QByteArray> shown;
    for (int row = 0; row < items->rowCount(); ++row) {
        const int g = items->groupOf(items->index(row, 0));
        ASSERT_GE(g, 0);
        shown.push_back(window.model().group(g).files.front().found.path);
    }

    const QString aside = dir.path() + QStringLiteral("/aside");
    if (c.away != Away::Never) {
        for (std::size_t i = 0; i < shown.size(); ++i)
            ASSERT_TRUE(QFile::rename(QFile::decodeName(shown[i]), aside + QString::number(i)));
    }
    window.resize(900, 500);
    window.show();
    settle(1500);
    if (c.away != Away::Never) {
        for (std::size_t i = 0; i < shown.size(); ++i) {
            const QString back = aside + QString::number(i);
            if (c.away == Away::RewrittenWhileAway) {
                QFile file(back);
                ASSERT_TRUE(file.open(QIODevice::ReadWrite));
                const QByteArray bytes = file.readAll();
                ASSERT_TRUE(file.seek(0));
                ASSERT_EQ(file.write(bytes), bytes.size());
            }
            ASSERT_TRUE(QFile::rename(back, QFile::decodeName(shown[i])));
        }
    }
    // As the list repaints (a scroll, a Put back), every row asks again.
    QElapsedTimer waited;
    waited.start();
    bool all = false;
    while (!all && waited.elapsed() < 20000) {
        window.lstGroups()->viewport()->update();
        settle(100);
        all = true;
        for (const QByteArray& path : shown)
            all = all && !window.thumbnails()->thumbnail(path).isNull();
    }
    for (std::size_t i = 0; i < shown.size(); ++i) {
        EXPECT_FALSE(window.thumbnails()->thumbnail(shown[i]).isNull())
            << "no small picture for " << shown[i].constData();
        EXPECT_FALSE(window.thumbnails()->failed(shown[i])) << shown[i].constData();
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, SmallPictureTest,
    ::testing::Values(SmallPictureCase{"FilesInPlace", Away::Never},
        SmallPictureCase{"FilesAwayWhileAsked", Away::WhileAsked},
        SmallPictureCase{"FilesRewrittenWhileAway", Away::RewrittenWhileAway}),
    [](const auto& info) { return std::string(info.param.name); });

struct ReducedCase {
    const char* name;
    const char* source; // a photo of the mate-backgrounds package
    QStringList convertTo; // convert's options, then the file's name
    bool reduced; // whether the small picture comes from a reduced decode
};

class ReducedSmallPictureTest : public ::testing::TestWithParam<ReducedCase> { };

// A small picture from a reduced decode looks like the whole picture scaled
// down: the same size, and within a few levels on average.
TEST_P(ReducedSmallPictureTest, LooksLikeTheWholePictureScaledDown)
{
    const ReducedCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(c.convertTo.last());
    ASSERT_TRUE(convert(QStringList{QLatin1String(c.source)}
        + c.convertTo.mid(0, c.convertTo.size() - 1) + QStringList{file}));
    const QSize box(96, 72);
    const QByteArray path = QFile::encodeName(file);
    const QImage small = smallPictureForView(path, box).convertToFormat(QImage::Format_RGB32);
    const QImage whole
        = fittedPicture(pictureForView(path), box).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(small.isNull());
    ASSERT_EQ(small.size(), whole.size());
    double sum = 0;
    for (int y = 0; y < small.height(); ++y)
        for (int x = 0; x < small.width(); ++x) {
            const QRgb a = small.pixel(x, y);
            const QRgb b = whole.pixel(x, y);
            sum += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b))
                + std::abs(qBlue(a) - qBlue(b));
        }
    EXPECT_LE(sum / (3.0 * small.width() * small.height()), 6.0);
    if (!c.reduced) {
        EXPECT_TRUE(small == whole);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ReducedSmallPictureTest,
    ::testing::Values(ReducedCase{"WideJpegAtAnEighth",
                          "/usr/share/backgrounds/mate/abstract/Elephants_3840x2160.jpg",
                          {QStringLiteral("wide.jpg")}, true},
        ReducedCase{"JpegAtAHalf", "/usr/share/backgrounds/mate/abstract/Silk.png",
            {QStringLiteral("-resize"), QStringLiteral("400x300"), QStringLiteral("silk.jpg")},
            true},
        ReducedCase{"SmallJpegWhole", "/usr/share/backgrounds/mate/abstract/Silk.png",
            {QStringLiteral("-resize"), QStringLiteral("160x120"), QStringLiteral("small.jpg")},
            false},
        ReducedCase{"TiffWhole", "/usr/share/backgrounds/mate/abstract/Silk.png",
            {QStringLiteral("silk.tif")}, false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
