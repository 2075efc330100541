// The decoders against ImageMagick: files made by `convert` in the test are
// decoded by Corvane and by `convert` (to raw RGBA), and every sample must be
// equal.

#include "PictureBytes.h"

#include "decoding/MappedFile.h"
#include "decoding/PictureDecoders.h"
#include "decoding/PngDecoder.h"
#include "decoding/TiffDecoder.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <zlib.h>

namespace {

using namespace decoding;

QByteArray runConvert(const QStringList& arguments, QString* error = nullptr)
{
    QProcess process;
    process.start(QStringLiteral("convert"), arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        if (error)
            *error = QString::fromLocal8Bit(process.readAllStandardError());
        return {};
    }
    return process.readAllStandardOutput();
}

QByteArray readAll(const QString& path)
{
    return picturebytes::fileBytes(path);
}

using picturebytes::bytesOf;

// First differing sample as text, or "" when the frame equals ImageMagick's.
std::string firstDifference(const std::vector<std::uint8_t>& frame, const QByteArray& expected,
    std::uint32_t width, int bytesPerSample)
{
    if (frame.size() != std::size_t(expected.size()))
        return "sizes differ: " + std::to_string(frame.size()) + " against "
            + std::to_string(expected.size());
    const std::size_t pixelBytes = 4 * std::size_t(bytesPerSample);
    for (std::size_t i = 0; i < frame.size(); i += pixelBytes) {
        if (std::memcmp(frame.data() + i, expected.constData() + i, pixelBytes) == 0)
            continue;
        const std::size_t pixel = i / pixelBytes;
        auto sample = [&](const std::uint8_t* p, int s) {
            return bytesPerSample == 1 ? unsigned(p[s]) : unsigned(p[2 * s] | p[2 * s + 1] << 8);
        };
        std::string text
            = "pixel " + std::to_string(pixel % width) + "," + std::to_string(pixel / width) + ":";
        for (int s = 0; s < 4; ++s)
            text += " " + std::to_string(sample(frame.data() + i, s)) + "/"
                + std::to_string(
                    sample(reinterpret_cast<const std::uint8_t*>(expected.constData()) + i, s));
        return text;
    }
    return {};
}

struct ConvertCase {
    const char* name;
    const char* file;
    std::vector<const char*> make; // convert arguments before the output file
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t pages;
    int bytesPerSample;
};

void PrintTo(const ConvertCase& c, std::ostream* os)
{
    *os << c.name;
}

class MatchesImageMagick : public ::testing::TestWithParam<ConvertCase> { };

TEST_P(MatchesImageMagick, EverySampleOfEveryPage)
{
    const ConvertCase& c = GetParam();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QLatin1String(c.file));
    // A last argument such as "png8:" names the output's form and is put
    // in front of the path.
    QStringList make;
    for (const char* argument : c.make)
        make << QString::fromLatin1(argument);
    if (make.last().endsWith(QLatin1Char(':')))
        make.last() += path;
    else
        make << path;
    QString error;
    runConvert(make, &error);
    ASSERT_TRUE(QFile::exists(path)) << error.toStdString();

    const MappedFile file = MappedFile::open(QFile::encodeName(path).toStdString());
    ASSERT_TRUE(file.ok()) << file.error();
    const PictureHeader header = readHeader(file.bytes());
    EXPECT_TRUE(header.ok);
    EXPECT_EQ(header.width, c.width);
    EXPECT_EQ(header.height, c.height);
    EXPECT_EQ(header.frames, c.pages);

    const DecodeOutcome outcome = decode(file.bytes());
    ASSERT_EQ(outcome.status, DecodeStatus::Ok) << outcome.reason;
    const DecodedPicture& picture = outcome.picture;
    EXPECT_EQ(picture.width, c.width);
    EXPECT_EQ(picture.height, c.height);
    ASSERT_EQ(picture.frames.size(), c.pages);
    ASSERT_EQ(picture.bytesPerSample, c.bytesPerSample);
    const QString depth = QString::number(c.bytesPerSample * 8);
    for (std::uint32_t page = 0; page < c.pages; ++page) {
        const QByteArray expected
            = runConvert({path + QStringLiteral("[%1]").arg(page), QStringLiteral("-depth"), depth,
                QStringLiteral("-endian"), QStringLiteral("LSB"), QStringLiteral("RGBA:-")});
        EXPECT_EQ(firstDifference(picture.frames[page], expected, c.width, c.bytesPerSample), "")
            << "page " << page;
    }

    // The 8-bit form for the converter is the 16-bit form divided by 257 and
    // rounded (what Qt does when it turns 16-bit samples into 8-bit ones).
    if (c.bytesPerSample == 2) {
        const DecodeOutcome narrow = decode(file.bytes(), DecodeOptions{.eightBit = true});
        ASSERT_EQ(narrow.status, DecodeStatus::Ok);
        ASSERT_EQ(narrow.picture.bytesPerSample, 1);
        const QByteArray wide = runConvert(
            {path + QStringLiteral("[0]"), QStringLiteral("-depth"), QStringLiteral("16"),
                QStringLiteral("-endian"), QStringLiteral("LSB"), QStringLiteral("RGBA:-")});
        QByteArray expected(wide.size() / 2, '\0');
        for (int i = 0; i < expected.size(); ++i) {
            const unsigned v = std::uint8_t(wide[2 * i]) | std::uint8_t(wide[2 * i + 1]) << 8;
            expected[i] = char(std::lround(v / 257.0));
        }
        EXPECT_EQ(firstDifference(narrow.picture.frames[0], expected, c.width, 1), "");
    }
}

// Sizes are odd so that rows need padding and packed bits end mid-byte.
#define PLASMA16 "-size", "67x43", "-seed", "7", "plasma:"
#define PLASMA PLASMA16, "-depth", "8"
// An alpha channel that runs from transparent at the top to opaque.
#define ALPHA                                                                                      \
    "(", "-size", "67x43", "gradient:black-white", ")", "-alpha", "off", "-compose",               \
        "CopyOpacity", "-composite"
INSTANTIATE_TEST_SUITE_P(Cases, MatchesImageMagick,
    ::testing::Values(ConvertCase{"PngRgb", "a.png", {PLASMA, "-alpha", "off"}, 67, 43, 1, 1},
        ConvertCase{"PngRgba", "a.png", {PLASMA, ALPHA, "png32:"}, 67, 43, 1, 1},
        ConvertCase{"PngPalette", "a.png", {PLASMA, "-alpha", "off", "-colors", "13", "png8:"}, 67,
            43, 1, 1},
        ConvertCase{"PngPaletteWithTransparency", "a.png",
            {PLASMA, "-alpha", "off", "-colors", "13", "-fill", "none", "-draw",
                "rectangle 3,3 20,9", "png8:"},
            67, 43, 1, 1},
        ConvertCase{
            "PngGrey", "a.png", {PLASMA, "-colorspace", "gray", "-alpha", "off"}, 67, 43, 1, 1},
        ConvertCase{"PngGreyAlpha", "a.png",
            {PLASMA, "-colorspace", "gray", ALPHA, "-type", "GrayscaleAlpha"}, 67, 43, 1, 1},
        ConvertCase{"PngOneBit", "a.png", {PLASMA, "-monochrome"}, 67, 43, 1, 1},
        ConvertCase{"PngGrey16", "a.png",
            {PLASMA16, "-colorspace", "gray", "-alpha", "off", "-depth", "16"}, 67, 43, 1, 2},
        ConvertCase{
            "PngRgba16", "a.png", {PLASMA16, ALPHA, "-depth", "16", "png64:"}, 67, 43, 1, 2},
        ConvertCase{
            "PngInterlaced", "a.png", {PLASMA, "-alpha", "off", "-interlace", "PNG"}, 67, 43, 1, 1},
        ConvertCase{"PngInterlaced16", "a.png",
            {PLASMA16, "-alpha", "off", "-depth", "16", "-interlace", "PNG"}, 67, 43, 1, 2},
        ConvertCase{
            "TiffRgbLzw", "a.tif", {PLASMA, "-alpha", "off", "-compress", "LZW"}, 67, 43, 1, 1},
        ConvertCase{
            "TiffRgbaUncompressed", "a.tif", {PLASMA, ALPHA, "-compress", "None"}, 67, 43, 1, 1},
        ConvertCase{"TiffRgb16Zip", "a.tif",
            {PLASMA16, "-alpha", "off", "-depth", "16", "-compress", "Zip"}, 67, 43, 1, 2},
        ConvertCase{
            "TiffGrey", "a.tif", {PLASMA, "-colorspace", "gray", "-alpha", "off"}, 67, 43, 1, 1},
        ConvertCase{"TiffOneBitGroup4", "a.tif", {PLASMA, "-monochrome", "-compress", "Group4"}, 67,
            43, 1, 1},
        ConvertCase{"TiffPalette", "a.tif",
            {PLASMA, "-alpha", "off", "-colors", "13", "-depth", "8", "-type", "Palette"}, 67, 43,
            1, 1},
        ConvertCase{"TiffTiled", "a.tif",
            {PLASMA, "-alpha", "off", "-define", "tiff:tile-geometry=16x16"}, 67, 43, 1, 1},
        ConvertCase{
            "TiffPlanes", "a.tif", {PLASMA, "-alpha", "off", "-interlace", "Plane"}, 67, 43, 1, 1},
        ConvertCase{"TiffPages", "a.tif",
            {PLASMA, "-alpha", "off", "(", "+clone", "-negate", ")", "(", "+clone", "-flop", ")"},
            67, 43, 3, 1},
        ConvertCase{"Jp2Rgb", "a.jp2", {PLASMA, "-alpha", "off", "-quality", "0"}, 67, 43, 1, 1},
        ConvertCase{"J2kCodestreamRgba", "a.j2k", {PLASMA, ALPHA, "-quality", "0"}, 67, 43, 1, 1},
        ConvertCase{"Jp2Grey16", "a.jp2",
            {PLASMA16, "-colorspace", "gray", "-alpha", "off", "-depth", "16", "-quality", "0"}, 67,
            43, 1, 2}),
    [](const auto& info) { return std::string(info.param.name); });
#undef PLASMA
#undef PLASMA16
#undef ALPHA

void putBigEndian32(QByteArray& data, int at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        data[at + i] = char(value >> (24 - 8 * i));
}

// A PNG chunk with its length and CRC.
QByteArray pngChunk(const char* type, const QByteArray& body)
{
    QByteArray chunk(4, '\0');
    putBigEndian32(chunk, 0, std::uint32_t(body.size()));
    chunk += QByteArray(type, 4) + body;
    const QByteArray crcInput = chunk.mid(4);
    const uLong crc
        = crc32(0, reinterpret_cast<const Bytef*>(crcInput.constData()), uInt(crcInput.size()));
    QByteArray tail(4, '\0');
    putBigEndian32(tail, 0, std::uint32_t(crc));
    return chunk + tail;
}

QByteArray makeFile(const QTemporaryDir& folder, const char* name, const QStringList& make)
{
    const QString path = folder.filePath(QLatin1String(name));
    runConvert(QStringList(make) << path);
    return readAll(path);
}

// Files that must not decode, each with the outcome it must give.
struct BadCase {
    const char* name;
    QByteArray (*build)(const QTemporaryDir&);
    DecodeStatus status;
};

void PrintTo(const BadCase& c, std::ostream* os)
{
    *os << c.name;
}

const QStringList kPlasma = {QStringLiteral("-size"), QStringLiteral("64x48"),
    QStringLiteral("-seed"), QStringLiteral("3"), QStringLiteral("plasma:"),
    QStringLiteral("-alpha"), QStringLiteral("off")};

QByteArray truncatedHalf(const QByteArray& file)
{
    return file.left(file.size() / 2);
}

QByteArray pngOverBudget(const QTemporaryDir& folder)
{
    QByteArray png = makeFile(folder, "a.png", kPlasma);
    putBigEndian32(png, 16, 20000); // IHDR width and height
    putBigEndian32(png, 20, 20000);
    return png.left(8) + pngChunk("IHDR", png.mid(16, 13)) + png.mid(33);
}

QByteArray tiffOverBudget(const QTemporaryDir& folder)
{
    // An uncompressed little-endian TIFF: the first IFD's width and length
    // entries are rewritten to 20000 x 20000.
    QByteArray tiff = makeFile(folder, "a.tif",
        QStringList(kPlasma) << QStringLiteral("-compress") << QStringLiteral("None")
                             << QStringLiteral("-endian") << QStringLiteral("LSB"));
    auto u16 = [&tiff](int at) {
        return int(std::uint8_t(tiff[at])) | int(std::uint8_t(tiff[at + 1])) << 8;
    };
    const int ifd
        = int(std::uint8_t(tiff[4]) | std::uint8_t(tiff[5]) << 8 | std::uint8_t(tiff[6]) << 16);
    for (int i = 0; i < u16(ifd); ++i) {
        const int entry = ifd + 2 + i * 12;
        if (u16(entry) == 256 || u16(entry) == 257) {
            tiff[entry + 2] = 4; // LONG
            tiff[entry + 3] = 0;
            tiff[entry + 4] = 1;
            for (int b = 5; b < 8; ++b)
                tiff[entry + b] = 0;
            tiff[entry + 8] = char(20000 & 0xFF);
            tiff[entry + 9] = char(20000 >> 8);
            tiff[entry + 10] = 0;
            tiff[entry + 11] = 0;
        }
    }
    return tiff;
}

QByteArray jpeg2000OverBudget(const QTemporaryDir& folder)
{
    // A bare codestream: SIZ follows SOC; its image and tile sizes become 20000.
    QByteArray j2k = makeFile(folder, "a.j2k", kPlasma);
    for (int at : {8, 12, 24, 28})
        putBigEndian32(j2k, at, 20000);
    return j2k;
}

QByteArray animatedPng(const QTemporaryDir& folder)
{
    // An acTL chunk before the image data: three frames, played once.
    const QByteArray png = makeFile(folder, "a.png", kPlasma);
    QByteArray body(8, '\0');
    putBigEndian32(body, 0, 3);
    return png.left(33) + pngChunk("acTL", body) + png.mid(33);
}

QByteArray pngWithBadCrc(const QTemporaryDir& folder)
{
    QByteArray png = makeFile(folder, "a.png", kPlasma);
    const int idat = png.indexOf("IDAT");
    png[idat + 10] = char(png[idat + 10] ^ 0x55);
    return png;
}

QByteArray tiffPagesOfTwoSizes(const QTemporaryDir& folder)
{
    return makeFile(folder, "a.tif",
        QStringList(kPlasma) << QStringLiteral("(") << QStringLiteral("+clone")
                             << QStringLiteral("-resize") << QStringLiteral("50%")
                             << QStringLiteral(")"));
}

class RefusedClearly : public ::testing::TestWithParam<BadCase> { };

TEST_P(RefusedClearly, WithItsStatusAndAReason)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QByteArray file = GetParam().build(folder);
    ASSERT_FALSE(file.isEmpty());
    const DecodeOutcome outcome = decode(bytesOf(file));
    EXPECT_EQ(outcome.status, GetParam().status) << outcome.reason;
    EXPECT_FALSE(outcome.reason.empty());
    EXPECT_TRUE(outcome.picture.frames.empty());
}

INSTANTIATE_TEST_SUITE_P(Files, RefusedClearly,
    ::testing::Values(
        BadCase{"TruncatedPng",
            [](const QTemporaryDir& f) { return truncatedHalf(makeFile(f, "a.png", kPlasma)); },
            DecodeStatus::Unreadable},
        BadCase{"TruncatedInterlacedPng",
            [](const QTemporaryDir& f) {
                return truncatedHalf(makeFile(f, "a.png",
                    QStringList(kPlasma) << "-interlace"
                                         << "PNG"));
            },
            DecodeStatus::Unreadable},
        BadCase{"TruncatedTiff",
            [](const QTemporaryDir& f) {
                return truncatedHalf(makeFile(f, "a.tif",
                    QStringList(kPlasma) << "-compress"
                                         << "LZW"));
            },
            DecodeStatus::Unreadable},
        BadCase{"TruncatedJpeg2000",
            [](const QTemporaryDir& f) { return truncatedHalf(makeFile(f, "a.jp2", kPlasma)); },
            DecodeStatus::Unreadable},
        BadCase{"PngWithDamagedData", pngWithBadCrc, DecodeStatus::Unreadable},
        BadCase{"AnimatedPng", animatedPng, DecodeStatus::Unreadable},
        BadCase{"TiffPagesOfTwoSizes", tiffPagesOfTwoSizes, DecodeStatus::Unreadable},
        BadCase{"PngOverBudget", pngOverBudget, DecodeStatus::TooLarge},
        BadCase{"TiffOverBudget", tiffOverBudget, DecodeStatus::TooLarge},
        BadCase{"Jpeg2000OverBudget", jpeg2000OverBudget, DecodeStatus::TooLarge},
        BadCase{"JpegHasNoDecoderHere",
            [](const QTemporaryDir& f) { return makeFile(f, "a.jpg", kPlasma); },
            DecodeStatus::Unreadable},
        BadCase{"Text",
            [](const QTemporaryDir&) { return QByteArray("just some text, no picture"); },
            DecodeStatus::Unreadable}),
    [](const auto& info) { return std::string(info.param.name); });

// A caller that accounts for the other frames itself gets the first one.
TEST(FirstFrameOnly, GivesTheFirstPageOrTheDefaultImage)
{
    QTemporaryDir folder;
    const QByteArray animated = animatedPng(folder);
    const DecodeOutcome frame = decode(bytesOf(animated), DecodeOptions{.firstFrameOnly = true});
    ASSERT_EQ(frame.status, DecodeStatus::Ok) << frame.reason;
    EXPECT_EQ(frame.picture.frames.size(), 1u);

    const QByteArray pages = makeFile(folder, "pages.tif",
        QStringList(kPlasma) << QStringLiteral("(") << QStringLiteral("+clone")
                             << QStringLiteral("-negate") << QStringLiteral(")"));
    const DecodeOutcome all = decode(bytesOf(pages));
    const DecodeOutcome first = decode(bytesOf(pages), DecodeOptions{.firstFrameOnly = true});
    ASSERT_EQ(all.status, DecodeStatus::Ok);
    ASSERT_EQ(first.status, DecodeStatus::Ok);
    ASSERT_EQ(all.picture.frames.size(), 2u);
    ASSERT_EQ(first.picture.frames.size(), 1u);
    EXPECT_EQ(first.picture.frames[0], all.picture.frames[0]);
}

// Rows streamed for the converter's bitmap are the decoded picture's rows in
// B, G, R order; what has alpha, transparency or interlacing is not streamed.
class StreamedRows : public RowSink {
public:
    bool begin(std::uint32_t width, std::uint32_t height) override
    {
        m_width = width;
        rows.assign(height, std::vector<std::uint8_t>(std::size_t(width) * 3));
        return true;
    }
    std::uint8_t* row(std::uint32_t y) override { return rows[y].data(); }
    bool rowDone(std::uint32_t y) override { return ++done == y + 1; }

    std::uint32_t m_width = 0;
    std::uint32_t done = 0;
    std::vector<std::vector<std::uint8_t>> rows;
};

struct StreamCase {
    const char* name;
    QStringList make;
    StreamResult result;
};

void PrintTo(const StreamCase& c, std::ostream* os)
{
    *os << c.name;
}

// Makes the file of `c` as `name` and checks its streamed rows against
// decode(), or that it is not streamed.
void checkStream(const StreamCase& c, const char* name,
    StreamResult (*stream)(Bytes, const DecodeOptions&, RowSink&, std::string*))
{
    QTemporaryDir folder;
    const QStringList make = QStringList(kPlasma) << c.make;
    const QString format = make.last().endsWith(QLatin1Char(':')) ? make.last() : QString();
    QStringList arguments = make;
    if (!format.isEmpty())
        arguments.removeLast();
    const QString path = folder.filePath(QLatin1String(name));
    runConvert(arguments << format + path);
    const QByteArray file = readAll(path);
    ASSERT_FALSE(file.isEmpty());
    StreamedRows rows;
    std::string reason;
    ASSERT_EQ(stream(bytesOf(file), {.eightBit = true}, rows, &reason), c.result) << reason;
    if (c.result != StreamResult::Streamed)
        return;
    const DecodeOutcome whole = decode(bytesOf(file), {.eightBit = true});
    ASSERT_EQ(whole.status, DecodeStatus::Ok);
    ASSERT_EQ(rows.rows.size(), whole.picture.height);
    for (std::uint32_t y = 0; y < whole.picture.height; ++y) {
        const std::uint8_t* rgba
            = whole.picture.frames[0].data() + std::size_t(y) * whole.picture.width * 4;
        for (std::uint32_t x = 0; x < whole.picture.width; ++x) {
            const std::uint8_t* bgr = rows.rows[y].data() + x * 3;
            ASSERT_TRUE(
                bgr[0] == rgba[4 * x + 2] && bgr[1] == rgba[4 * x + 1] && bgr[2] == rgba[4 * x])
                << "pixel " << x << "," << y;
        }
    }
}

class PngStream : public ::testing::TestWithParam<StreamCase> { };

TEST_P(PngStream, GivesTheDecodedRowsOrStandsAside)
{
    checkStream(GetParam(), "a.png", png::streamOpaqueRows);
}

INSTANTIATE_TEST_SUITE_P(Files, PngStream,
    ::testing::Values(StreamCase{"Rgb", {QStringLiteral("png24:")}, StreamResult::Streamed},
        StreamCase{"Grey", {QStringLiteral("-colorspace"), QStringLiteral("gray")},
            StreamResult::Streamed},
        StreamCase{"Palette",
            {QStringLiteral("-colors"), QStringLiteral("9"), QStringLiteral("png8:")},
            StreamResult::Streamed},
        StreamCase{"OneBit", {QStringLiteral("-monochrome")}, StreamResult::Streamed},
        StreamCase{"Rgb16",
            {QStringLiteral("-depth"), QStringLiteral("16"), QStringLiteral("png48:")},
            StreamResult::Streamed},
        StreamCase{"Alpha", {QStringLiteral("png32:")}, StreamResult::NotStreamable},
        StreamCase{"Interlaced", {QStringLiteral("-interlace"), QStringLiteral("PNG")},
            StreamResult::NotStreamable}),
    [](const auto& info) { return std::string(info.param.name); });

class TiffStream : public ::testing::TestWithParam<StreamCase> { };

TEST_P(TiffStream, GivesTheDecodedRowsOrStandsAside)
{
    checkStream(GetParam(), "a.tif", tiff::streamOpaqueRows);
}

INSTANTIATE_TEST_SUITE_P(Files, TiffStream,
    ::testing::Values(StreamCase{"Uncompressed",
                          {QStringLiteral("-depth"), QStringLiteral("8"),
                              QStringLiteral("-compress"), QStringLiteral("None")},
                          StreamResult::Streamed},
        StreamCase{"Lzw",
            {QStringLiteral("-depth"), QStringLiteral("8"), QStringLiteral("-compress"),
                QStringLiteral("LZW")},
            StreamResult::Streamed},
        StreamCase{"Grey",
            {QStringLiteral("-depth"), QStringLiteral("8"), QStringLiteral("-colorspace"),
                QStringLiteral("gray")},
            StreamResult::Streamed},
        StreamCase{
            "Alpha", {QStringLiteral("-alpha"), QStringLiteral("on")}, StreamResult::NotStreamable},
        StreamCase{"Palette",
            {QStringLiteral("-colors"), QStringLiteral("9"), QStringLiteral("-type"),
                QStringLiteral("Palette")},
            StreamResult::NotStreamable},
        StreamCase{"Tiled", {QStringLiteral("-define"), QStringLiteral("tiff:tile-geometry=16x16")},
            StreamResult::NotStreamable},
        StreamCase{
            "Deep", {QStringLiteral("-depth"), QStringLiteral("16")}, StreamResult::NotStreamable}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PngStream, DamagedDataFails)
{
    QTemporaryDir folder;
    StreamedRows rows;
    std::string reason;
    EXPECT_EQ(png::streamOpaqueRows(bytesOf(pngWithBadCrc(folder)), {}, rows, &reason),
        StreamResult::Failed);
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(png::streamOpaqueRows(bytesOf(pngOverBudget(folder)), {}, rows, &reason),
        StreamResult::TooLarge);
}

TEST(AnimatedPng, HeaderCountsItsFrames)
{
    QTemporaryDir folder;
    const QByteArray file = animatedPng(folder);
    const PictureHeader header = readHeader(bytesOf(file));
    EXPECT_TRUE(header.ok);
    EXPECT_EQ(header.frames, 3u);
}

} // namespace
