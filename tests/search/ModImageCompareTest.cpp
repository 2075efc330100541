#include "search/ModImageCompare.h"
#include "search/ImageLoader.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using ModImageCompare::ComparePictures;

namespace {

QImage pattern(int width, int height, QImage::Format format = QImage::Format_ARGB32)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgba(x * 7 % 256, y * 13 % 256, (x + y) % 256, 255));
    return image.convertToFormat(format);
}

} // namespace

TEST(ModImageCompare, TwoDecodingsOfOneFileAreEqual)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("a.jpg"));
    ASSERT_TRUE(pattern(37, 21).save(path, "JPG"));
    const QImage first = ImageLoader::load(path);
    const QImage second = ImageLoader::load(path);
    ASSERT_FALSE(first.isNull());
    EXPECT_TRUE(ComparePictures(first, second));
}

TEST(ModImageCompare, SameColoursFromDifferentFilesAreEqual)
{
    // A palette BMP and true-colour BMP and PNG files of the same four colours.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QImage source(16, 8, QImage::Format_RGB32);
    const QRgb colours[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(10, 20, 30)};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            source.setPixel(x, y, colours[(x / 4 + y) % 4]);
    const QImage palette = source.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    ASSERT_TRUE(palette.save(dir.filePath(QStringLiteral("p.bmp")), "BMP"));
    ASSERT_TRUE(source.save(dir.filePath(QStringLiteral("t.bmp")), "BMP"));
    ASSERT_TRUE(source.save(dir.filePath(QStringLiteral("t.png")), "PNG"));

    const QImage indexed = ImageLoader::load(dir.filePath(QStringLiteral("p.bmp")));
    const QImage bmp = ImageLoader::load(dir.filePath(QStringLiteral("t.bmp")));
    const QImage png = ImageLoader::load(dir.filePath(QStringLiteral("t.png")));
    ASSERT_FALSE(indexed.isNull());
    ASSERT_EQ(indexed.format(), QImage::Format_Indexed8);
    EXPECT_TRUE(ComparePictures(indexed, bmp));
    EXPECT_TRUE(ComparePictures(bmp, indexed));
    EXPECT_TRUE(ComparePictures(bmp, png));
}

TEST(ModImageCompare, OneDifferingPixelInAnyChannel)
{
    struct Row {
        const char* name;
        QRgb changed;
    };
    const Row rows[] = {
        {"blue", qRgba(1, 2, 4, 255)},
        {"green", qRgba(1, 3, 3, 255)},
        {"red", qRgba(2, 2, 3, 255)},
        {"alpha", qRgba(1, 2, 3, 254)},
    };
    for (const Row& row : rows) {
        for (const QPoint at : {QPoint(0, 0), QPoint(130, 40), QPoint(199, 99)}) {
            QImage first(200, 100, QImage::Format_ARGB32);
            first.fill(qRgba(1, 2, 3, 255));
            QImage second = first.copy();
            second.setPixel(at, row.changed);
            EXPECT_FALSE(ComparePictures(first, second)) << row.name << " at " << at.x();
            EXPECT_FALSE(ComparePictures(second, first)) << row.name << " at " << at.x();
        }
    }
}

TEST(ModImageCompare, LayoutsThatShowTheSameColoursAreEqual)
{
    const QImage argb = pattern(130, 9);
    const QImage formats[] = {
        pattern(130, 9, QImage::Format_RGB32),
        pattern(130, 9, QImage::Format_RGB888),
        pattern(130, 9, QImage::Format_ARGB32_Premultiplied),
        pattern(130, 9, QImage::Format_RGBA8888),
    };
    for (const QImage& other : formats) {
        EXPECT_TRUE(ComparePictures(argb, other)) << other.format();
        EXPECT_TRUE(ComparePictures(other, argb)) << other.format();
    }
    // An opaque picture differs from the same colours half transparent.
    QImage translucent = argb.copy();
    translucent.setPixel(5, 5, (translucent.pixel(5, 5) & 0x00ffffffu) | 0x80000000u);
    EXPECT_FALSE(ComparePictures(formats[0], translucent));
}

TEST(ModImageCompare, RowPaddingIsNotCompared)
{
    // RGB32 with garbage in the unused byte still reads as opaque.
    QImage first(3, 2, QImage::Format_RGB32);
    first.fill(qRgb(9, 8, 7));
    QImage second = first.copy();
    reinterpret_cast<quint32*>(second.bits())[1] &= 0x00ffffffu;
    EXPECT_TRUE(ComparePictures(first, second));
    EXPECT_TRUE(ComparePictures(second, first.convertToFormat(QImage::Format_ARGB32)));
}

TEST(ModImageCompare, SizesAndNullPictures)
{
    QImage one(1, 1, QImage::Format_ARGB32);
    one.fill(qRgba(4, 5, 6, 7));
    QImage other = one.copy();
    EXPECT_TRUE(ComparePictures(one, other));
    other.setPixel(0, 0, qRgba(4, 5, 6, 8));
    EXPECT_FALSE(ComparePictures(one, other));

    const QImage wide = pattern(100, 50);
    const QImage tall = pattern(50, 100);
    EXPECT_FALSE(ComparePictures(wide, tall));
    EXPECT_FALSE(ComparePictures(QImage(), QImage()));
    EXPECT_FALSE(ComparePictures(one, QImage()));
    EXPECT_TRUE(ModImageCompare::CompareBuffers(QImage(), QImage()));
}
