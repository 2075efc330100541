// Round trips through the real converter: the bitmap it writes must read back
// with the same pixels as Qt's own reading of the source.

#include "ConverterProcess.h"
#include "Jp2TestCodec.h"
#include "TestImages.h"

#include "converter/ConverterContract.h"

#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

QString bitmapPath(const QTemporaryDir& scratch)
{
    return scratch.filePath(QLatin1String(ConverterContract::kTempBitmapName));
}

int bitmapBitsPerPixel(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray header = file.read(30);
    if (header.size() < 30 || !header.startsWith("BM"))
        return -1;
    return uchar(header[28]) | (uchar(header[29]) << 8);
}

struct QtCase {
    const char* name;
    const char* suffix;
    const char* writerFormat;
    QImage::Format format;
    bool alpha;
    // Compare with the pixels put in rather than with Qt's reading of the
    // file: Qt reads a TIFF's straight alpha premultiplied and loses the
    // colour of faint pixels, which the converter keeps.
    bool againstSource = false;
};

void PrintTo(const QtCase& c, std::ostream* os)
{
    *os << c.name;
}

class QtFormatRoundTrip : public ::testing::TestWithParam<QtCase> { };

TEST_P(QtFormatRoundTrip, BitmapReadsBackWithTheSourcePixels)
{
    const QtCase& c = GetParam();
    QTemporaryDir images;
    QTemporaryDir scratch;
    ASSERT_TRUE(images.isValid() && scratch.isValid());
    const QString source = images.filePath(QStringLiteral("source.") + QLatin1String(c.suffix));
    // An odd width makes the bitmap rows need padding.
    QImageWriter writer(source, c.writerFormat);
    ASSERT_TRUE(writer.write(TestImages::pattern(67, 43, c.format)))
        << qPrintable(writer.errorString());

    const ConverterResult run
        = ConverterProcess::run(ConverterContract::conversionArguments(scratch.path(), source));
    ASSERT_EQ(run.exitCode, ConverterContract::kExitOk) << qPrintable(run.standardError);

    QString error;
    const QImage expected = c.againstSource
        ? TestImages::pattern(67, 43, c.format).convertToFormat(QImage::Format_ARGB32)
        : TestImages::readArgb(source);
    const QImage actual = TestImages::readArgb(bitmapPath(scratch), &error);
    ASSERT_FALSE(actual.isNull()) << qPrintable(error);
    EXPECT_EQ(TestImages::firstDifference(expected, actual), QString());
    EXPECT_EQ(bitmapBitsPerPixel(bitmapPath(scratch)), c.alpha ? 32 : 24);
    EXPECT_EQ(ConverterProcess::entriesExcept(scratch.path(), {QStringLiteral("Temp.bmp")}),
        QStringList());
}

INSTANTIATE_TEST_SUITE_P(Formats, QtFormatRoundTrip,
    ::testing::Values(QtCase{"PngRgb", "png", "png", QImage::Format_RGB32, false},
        QtCase{"PngRgba", "png", "png", QImage::Format_ARGB32, true},
        QtCase{"PngPalette", "png", "png", QImage::Format_Indexed8, false},
        QtCase{"PngGrey", "png", "png", QImage::Format_Grayscale8, false},
        QtCase{"PngGrey16", "png", "png", QImage::Format_Grayscale16, false},
        QtCase{"PngRgba16", "png", "png", QImage::Format_RGBA64, true},
        QtCase{"TiffRgb", "tif", "tiff", QImage::Format_RGB32, false},
        QtCase{"TiffRgba", "tif", "tiff", QImage::Format_ARGB32, true, true},
        QtCase{"Bmp", "bmp", "bmp", QImage::Format_RGB32, false},
        QtCase{"Jpeg", "jpg", "jpeg", QImage::Format_RGB32, false}),
    [](const auto& info) { return std::string(info.param.name); });

// JPEG 2000: files encoded losslessly in the test, so every expected pixel
// follows from the samples put in.
struct Jp2Case {
    const char* name;
    bool codestream;
    std::vector<int> precisions; // one per component; the last is alpha when `alpha`
    bool alpha;
    int chromaStep; // sub-sampling of the second and third component
    int height = 29; // above 512 rows the converter decodes in bands
    bool lossy = false;
};

void PrintTo(const Jp2Case& c, std::ostream* os)
{
    *os << c.name;
}

class Jpeg2000Conversion : public ::testing::TestWithParam<Jp2Case> { };

int sampleAt(int component, int x, int y, int precision)
{
    const int maximum = (1 << precision) - 1;
    return (x * (31 + component * 17) + y * (7 + component * 5) + component * 1000) % (maximum + 1);
}

int scaledTo8Bits(int value, int precision)
{
    const int maximum = (1 << precision) - 1;
    return int(std::lround(value * 255.0 / maximum));
}

TEST_P(Jpeg2000Conversion, DecodesKnownSamples)
{
    const Jp2Case& c = GetParam();
    const int width = 37;
    const int height = c.height;
    std::vector<Jp2TestComponent> components;
    for (size_t i = 0; i < c.precisions.size(); ++i) {
        Jp2TestComponent component;
        component.precision = c.precisions[i];
        component.alpha = c.alpha && i + 1 == c.precisions.size();
        if (i == 1 || i == 2) {
            component.dx = c.chromaStep;
            component.dy = c.chromaStep;
        }
        const int w = (width + component.dx - 1) / component.dx;
        const int h = (height + component.dy - 1) / component.dy;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                component.samples.push_back(sampleAt(int(i), x, y, component.precision));
        components.push_back(component);
    }
    QTemporaryDir images;
    QTemporaryDir scratch;
    const QString source
        = images.filePath(c.codestream ? QStringLiteral("image.j2k") : QStringLiteral("image.jp2"));
    ASSERT_TRUE(Jp2TestCodec::write(source, width, height, components, c.codestream, c.lossy));
    // Lossy files: the reference is OpenJPEG's own decoding of the whole image.
    if (c.lossy) {
        ASSERT_TRUE(Jp2TestCodec::readWhole(source, &components));
    }

    const ConverterResult run
        = ConverterProcess::run(ConverterContract::conversionArguments(scratch.path(), source));
    ASSERT_EQ(run.exitCode, ConverterContract::kExitOk) << qPrintable(run.standardError);
    const QImage actual = TestImages::readArgb(bitmapPath(scratch));
    ASSERT_EQ(actual.size(), QSize(width, height));

    const int colours = int(c.precisions.size()) - (c.alpha ? 1 : 0);
    QImage expected(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int channel[4];
            for (size_t i = 0; i < components.size(); ++i) {
                const Jp2TestComponent& comp = components[i];
                const int w = (width + comp.dx - 1) / comp.dx;
                const int sample = comp.samples[size_t((y / comp.dy) * w + x / comp.dx)];
                channel[i] = scaledTo8Bits(
                    std::clamp(sample, 0, (1 << comp.precision) - 1), comp.precision);
            }
            const int alpha = c.alpha ? channel[components.size() - 1] : 255;
            expected.setPixel(x, y,
                colours >= 3 ? qRgba(channel[0], channel[1], channel[2], alpha)
                             : qRgba(channel[0], channel[0], channel[0], alpha));
        }
    }
    EXPECT_EQ(TestImages::firstDifference(expected, actual), QString());
    EXPECT_EQ(bitmapBitsPerPixel(bitmapPath(scratch)), c.alpha ? 32 : 24);
}

INSTANTIATE_TEST_SUITE_P(Layouts, Jpeg2000Conversion,
    ::testing::Values(Jp2Case{"Rgb8", false, {8, 8, 8}, false, 1},
        Jp2Case{"Rgba8", false, {8, 8, 8, 8}, true, 1}, Jp2Case{"Grey8", false, {8}, false, 1},
        Jp2Case{"GreyAlpha8", false, {8, 8}, true, 1},
        Jp2Case{"Grey12Codestream", true, {12}, false, 1},
        Jp2Case{"Rgb16", false, {16, 16, 16}, false, 1},
        Jp2Case{"Rgb4Bits", false, {4, 4, 4}, false, 1},
        Jp2Case{"SubsampledChroma", false, {8, 8, 8}, false, 2},
        Jp2Case{"TallRgbInBands", false, {8, 8, 8}, false, 1, 1300},
        Jp2Case{"TallRgbaInBands", false, {8, 8, 8, 8}, true, 1, 1100},
        Jp2Case{"TallGrey12InBands", true, {12}, false, 1, 1030},
        Jp2Case{"TallSubsampledWhole", false, {8, 8, 8}, false, 2, 1100},
        Jp2Case{"TallLossyInBands", false, {8, 8, 8}, false, 1, 1300, true},
        Jp2Case{"LossyRgba", false, {8, 8, 8, 8}, true, 1, 29, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A palette index without a colour reads as transparent black in Qt; the
// bitmap must keep that transparency, so it needs the 32-bit form.
TEST(ConverterOutput, PaletteIndexWithoutColourKeepsItsTransparency)
{
    QByteArray bmp("BM", 2);
    auto put = [&bmp](quint32 value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            bmp.append(char((value >> (8 * i)) & 0xFF));
    };
    const int tableSize = 2 * 4;
    const quint32 dataOffset = 14 + 40 + tableSize;
    put(dataOffset + 8, 4); // file size: 2 rows of 4 bytes
    put(0, 4);
    put(dataOffset, 4);
    put(40, 4);
    put(4, 4); // width
    put(2, 4); // height
    put(1, 2);
    put(8, 2); // bits per pixel
    put(0, 4); // no compression
    put(8, 4);
    put(2835, 4);
    put(2835, 4);
    put(2, 4); // colours used
    put(0, 4);
    put(0x00FF0000, 4); // red
    put(0x000000FF, 4); // blue
    bmp.append(QByteArray("\x00\x01\x05\xC8\x01\x00\x07\x01", 8));

    QTemporaryDir images;
    QTemporaryDir scratch;
    const QString source = images.filePath(QStringLiteral("palette.bmp"));
    QFile file(source);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bmp);
    file.close();
    const QImage expected = TestImages::readArgb(source);
    ASSERT_FALSE(expected.isNull());
    ASSERT_EQ(qAlpha(expected.pixel(2, 1)), 0) << "Qt reads a missing colour differently";

    const ConverterResult run
        = ConverterProcess::run(ConverterContract::conversionArguments(scratch.path(), source));
    ASSERT_EQ(run.exitCode, ConverterContract::kExitOk) << qPrintable(run.standardError);
    EXPECT_EQ(TestImages::firstDifference(expected, TestImages::readArgb(bitmapPath(scratch))),
        QString());
    EXPECT_EQ(bitmapBitsPerPixel(bitmapPath(scratch)), 32);
}

// The content decides how a file is read, never its name: a misnamed copy
// converts to the same pixels as a correctly named one.
struct MisnamedCase {
    const char* name;
    const char* writerFormat;
    const char* misleadingName;
};

void PrintTo(const MisnamedCase& c, std::ostream* os)
{
    *os << c.name;
}

class MisnamedFile : public ::testing::TestWithParam<MisnamedCase> { };

TEST_P(MisnamedFile, IsReadByItsContent)
{
    const MisnamedCase& c = GetParam();
    QTemporaryDir images;
    QTemporaryDir scratch;
    const QString source = images.filePath(QLatin1String(c.misleadingName));
    QImageWriter writer(source, c.writerFormat);
    ASSERT_TRUE(writer.write(TestImages::pattern(31, 17, QImage::Format_RGB32)));
    QImageReader reader(source, c.writerFormat);
    reader.setDecideFormatFromContent(false);
    const QImage expected = reader.read().convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(expected.isNull());

    const ConverterResult run
        = ConverterProcess::run(ConverterContract::conversionArguments(scratch.path(), source));
    ASSERT_EQ(run.exitCode, ConverterContract::kExitOk) << qPrintable(run.standardError);
    EXPECT_EQ(TestImages::firstDifference(expected, TestImages::readArgb(bitmapPath(scratch))),
        QString());
}

INSTANTIATE_TEST_SUITE_P(Names, MisnamedFile,
    ::testing::Values(MisnamedCase{"PngNamedTiff", "png", "photo.tif"},
        MisnamedCase{"TiffNamedPng", "tiff", "photo.png"},
        MisnamedCase{"JpegNamedPng", "jpeg", "photo.png"},
        MisnamedCase{"PngNamedJpeg", "png", "photo.jpg"},
        MisnamedCase{"BmpWithoutSuffix", "bmp", "photo"}),
    [](const auto& info) { return std::string(info.param.name); });

// One bitmap holds one picture: a file of several pages gives its first
// page (the search covers the others with a digest of its own).
TEST(ConverterOutput, WritesTheFirstOfSeveralPages)
{
    QTemporaryDir images;
    QTemporaryDir scratch;
    const QString page = images.filePath(QStringLiteral("page.png"));
    ASSERT_TRUE(TestImages::pattern(20, 10, QImage::Format_RGB32).save(page));
    const QString source = images.filePath(QStringLiteral("pages.tif"));
    const QString other = images.filePath(QStringLiteral("other.png"));
    ASSERT_TRUE(TestImages::pattern(20, 10, QImage::Format_ARGB32).save(other));
    QProcess convert;
    convert.start(QStringLiteral("convert"), {page, other, source});
    ASSERT_TRUE(convert.waitForFinished(60000) && convert.exitCode() == 0);

    const ConverterResult run
        = ConverterProcess::run(ConverterContract::conversionArguments(scratch.path(), source));
    ASSERT_EQ(run.exitCode, ConverterContract::kExitOk);
    EXPECT_EQ(TestImages::firstDifference(
                  TestImages::readArgb(page), TestImages::readArgb(bitmapPath(scratch))),
        QString());
}

TEST(ConverterOutput, ReplacesAnEarlierBitmap)
{
    QTemporaryDir images;
    QTemporaryDir scratch;
    const QString source = images.filePath(QStringLiteral("a.png"));
    ASSERT_TRUE(TestImages::pattern(20, 10, QImage::Format_RGB32).save(source));
    QFile stale(bitmapPath(scratch));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("an older bitmap that is not one");
    stale.close();

    const ConverterResult run
        = ConverterProcess::run(ConverterContract::conversionArguments(scratch.path(), source));
    ASSERT_EQ(run.exitCode, ConverterContract::kExitOk);
    EXPECT_EQ(TestImages::firstDifference(
                  TestImages::readArgb(source), TestImages::readArgb(bitmapPath(scratch))),
        QString());
    EXPECT_EQ(ConverterProcess::entriesExcept(scratch.path(), {QStringLiteral("Temp.bmp")}),
        QStringList());
}

} // namespace
