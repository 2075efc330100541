// The converter's bitmap read back straight into the picture: the two forms
// the converter writes read as Qt's reader reads them; any other bitmap is
// left to the general reader, and a damaged one is refused.

#include "search/TempBitmapReader.h"

#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString kConverter = QStringLiteral(CORVANE_BIN_DIR "/i__view32.exe");

QImage pattern(int width, int height, bool alpha)
{
    QImage image(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y,
                qRgba((x * 37 + y) & 0xFF, (y * 53 + 17) & 0xFF, (x * y) & 0xFF,
                    alpha ? (x * 13 + y * 7) & 0xFF : 255));
    return image;
}

QString convertWithCorvane(const QTemporaryDir& folder, const QImage& image)
{
    const QString png = folder.filePath(QStringLiteral("in.png"));
    const QString bitmap = folder.filePath(QStringLiteral("Temp.bmp"));
    if (!image.save(png))
        return {};
    QProcess converter;
    converter.start(kConverter, {png, QStringLiteral("/convert=") + bitmap});
    if (!converter.waitForFinished(30000) || converter.exitCode() != 0)
        return {};
    return bitmap;
}

QImage readWithQt(const QString& path)
{
    QImageReader reader(path, "bmp");
    return reader.read().convertToFormat(QImage::Format_ARGB32);
}

struct Shape {
    const char* name;
    int width; // odd widths need row padding in the file
    int height;
    bool alpha;
};

void PrintTo(const Shape& c, std::ostream* os)
{
    *os << c.name;
}

class ConverterBitmap : public ::testing::TestWithParam<Shape> { };

TEST_P(ConverterBitmap, ReadsAsQtReadsIt)
{
    const Shape& c = GetParam();
    QTemporaryDir folder;
    const QString bitmap = convertWithCorvane(folder, pattern(c.width, c.height, c.alpha));
    ASSERT_FALSE(bitmap.isEmpty());
    QImage image;
    ASSERT_EQ(TempBitmapReader::read(bitmap, &image), TempBitmapReader::Result::Read);
    EXPECT_EQ(image.format(), c.alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    EXPECT_EQ(image.convertToFormat(QImage::Format_ARGB32), readWithQt(bitmap));
}

INSTANTIATE_TEST_SUITE_P(Shapes, ConverterBitmap,
    ::testing::Values(Shape{"Opaque", 64, 48, false}, Shape{"OpaqueOddWidth", 67, 43, false},
        Shape{"OpaqueOnePixel", 1, 1, false}, Shape{"OpaqueTallNarrow", 3, 700, false},
        Shape{"Alpha", 64, 48, true}, Shape{"AlphaOddWidth", 67, 43, true}),
    [](const auto& info) { return std::string(info.param.name); });

// Files the fast reader must not take as the converter's, each with what it gives.
struct Damage {
    const char* name;
    void (*spoil)(QByteArray& bitmap);
    TempBitmapReader::Result result;
};

void PrintTo(const Damage& c, std::ostream* os)
{
    *os << c.name;
}

class OtherBitmap : public ::testing::TestWithParam<Damage> { };

TEST_P(OtherBitmap, IsNotTakenAsTheConverters)
{
    QTemporaryDir folder;
    const QString bitmap = convertWithCorvane(folder, pattern(67, 43, false));
    ASSERT_FALSE(bitmap.isEmpty());
    QFile file(bitmap);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    GetParam().spoil(bytes);
    file.resize(0);
    file.seek(0);
    file.write(bytes);
    file.close();
    QImage image;
    EXPECT_EQ(TempBitmapReader::read(bitmap, &image), GetParam().result);
    if (GetParam().result != TempBitmapReader::Result::Read) {
        EXPECT_TRUE(image.isNull());
    }
}

INSTANTIATE_TEST_SUITE_P(Files, OtherBitmap,
    ::testing::Values(
        Damage{"CutShort", [](QByteArray& b) { b.chop(100); }, TempBitmapReader::Result::OtherForm},
        Damage{"LongerThanItsHeaderSays", [](QByteArray& b) { b.append(8, 'x'); },
            TempBitmapReader::Result::OtherForm},
        Damage{"TopDownRows",
            [](QByteArray& b) {
                const qint32 height = -43;
                memcpy(b.data() + 22, &height, 4);
            },
            TempBitmapReader::Result::OtherForm},
        Damage{"RunLengthEncoded", [](QByteArray& b) { b[30] = 1; },
            TempBitmapReader::Result::OtherForm},
        Damage{
            "NotABitmap", [](QByteArray& b) { b[0] = 'X'; }, TempBitmapReader::Result::OtherForm},
        Damage{"Empty", [](QByteArray& b) { b.clear(); }, TempBitmapReader::Result::OtherForm}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TempBitmapReader, RefusesALinkAndAMissingFile)
{
    QTemporaryDir folder;
    const QString bitmap = convertWithCorvane(folder, pattern(8, 8, false));
    ASSERT_FALSE(bitmap.isEmpty());
    const QString link = folder.filePath(QStringLiteral("link.bmp"));
    ASSERT_TRUE(QFile::link(bitmap, link));
    QImage image;
    EXPECT_EQ(TempBitmapReader::read(link, &image), TempBitmapReader::Result::Failed);
    EXPECT_EQ(TempBitmapReader::read(folder.filePath(QStringLiteral("gone.bmp")), &image),
        TempBitmapReader::Result::Failed);
    EXPECT_TRUE(image.isNull());
}

} // namespace
