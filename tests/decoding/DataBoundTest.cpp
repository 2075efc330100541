// Files of a few bytes that claim large pictures are refused before the
// picture is allocated; real pictures compressed as far as their format
// allows are not.

#include "PictureBytes.h"

#include "decoding/BmpJpegGifHeaders.h"
#include "decoding/JpegDecoder.h"
#include "decoding/PngDecoder.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <zlib.h>

namespace {

using namespace decoding;

using picturebytes::bytesOf;

void bigEndian(QByteArray& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char(value >> shift));
}

void chunk(QByteArray& png, const char* type, const QByteArray& body)
{
    bigEndian(png, std::uint32_t(body.size()));
    const QByteArray typed = QByteArray(type, 4) + body;
    png.append(typed);
    bigEndian(png,
        std::uint32_t(
            crc32(0, reinterpret_cast<const Bytef*>(typed.constData()), uInt(typed.size()))));
}

// A well-formed PNG whose image data is one short deflate stream.
QByteArray claimingPng(std::uint32_t width, std::uint32_t height, int depth, int colour)
{
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    QByteArray header;
    bigEndian(header, width);
    bigEndian(header, height);
    header.append(char(depth)).append(char(colour)).append(3, '\0');
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", QByteArray::fromHex("789c6360000000020001"));
    chunk(png, "IEND", {});
    return png;
}

struct Claim {
    const char* name;
    std::uint32_t width;
    std::uint32_t height;
    int depth;
    int colour;
};

class TinyPngClaims : public ::testing::TestWithParam<Claim> { };

TEST_P(TinyPngClaims, AreRefusedAsTruncated)
{
    const Claim& claim = GetParam();
    const QByteArray png = claimingPng(claim.width, claim.height, claim.depth, claim.colour);
    ASSERT_LT(png.size(), 80);
    const DecodeOutcome outcome = png::decode(bytesOf(png));
    EXPECT_EQ(outcome.status, DecodeStatus::Unreadable);
    EXPECT_EQ(outcome.reason, "truncated PNG data");
    EXPECT_EQ(outcome.failureKind, FailureKind::Lasting);
}

INSTANTIATE_TEST_SUITE_P(Claims, TinyPngClaims,
    ::testing::Values(Claim{"Rgba16Of12000Square", 12000, 12000, 16, 6},
        Claim{"Grey1BitOf12000Square", 12000, 12000, 1, 0},
        Claim{"PaletteOf9000By16000", 9000, 16000, 8, 3},
        Claim{"Rgb8Of3000Square", 3000, 3000, 8, 2}),
    [](const ::testing::TestParamInfo<Claim>& info) { return std::string(info.param.name); });

// Pictures of one colour: each the most a deflate stream can hold for its
// size, so the bound must let them through whole.
struct Compressible {
    const char* name;
    const char* size;
    const char* options; // ImageMagick's, blank-separated
    const char* prefix; // its output form
};

class MostCompressiblePngs : public ::testing::TestWithParam<Compressible> { };

TEST_P(MostCompressiblePngs, StillDecode)
{
    const Compressible& row = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("flat.png"));
    QProcess convert;
    convert.start(QStringLiteral("convert"),
        QStringList{QStringLiteral("-size"), QString::fromLatin1(row.size),
            QStringLiteral("xc:rgb(200,30,70)"), QStringLiteral("-define"),
            QStringLiteral("png:compression-level=9")}
            + QString::fromLatin1(row.options).split(QLatin1Char(' '))
            + QStringList{QString::fromLatin1(row.prefix) + path});
    ASSERT_TRUE(convert.waitForFinished(60000) && convert.exitCode() == 0);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const DecodeOutcome outcome = png::decode(bytesOf(bytes));
    EXPECT_EQ(outcome.status, DecodeStatus::Ok)
        << outcome.reason << " (" << bytes.size() << " bytes)";
}

INSTANTIATE_TEST_SUITE_P(Flat, MostCompressiblePngs,
    ::testing::Values(Compressible{"Rgba16", "2000x2000", "-depth 16 -alpha on", "png64:"},
        Compressible{"Rgb8", "2000x2000", "-depth 8", "png24:"},
        Compressible{"Grey1Bit", "4000x3000", "-monochrome", "png:"},
        Compressible{"Palette", "2000x2000", "-depth 8", "png8:"}),
    [](const ::testing::TestParamInfo<Compressible>& info) {
        return std::string(info.param.name);
    });

// --- JPEG --------------------------------------------------------------------

// cjpeg's file of a 16 x 16 picture of fine detail (or of one colour), with
// `options`; empty when cjpeg failed.
QByteArray cjpeg(const QTemporaryDir& dir, const QStringList& options, int width = 16,
    int height = 16, bool flat = false)
{
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y,
                flat ? qRgb(200, 30, 70)
                     : qRgb((x * 53 + y * 7) & 255, (x * y * 3) & 255, (x * 11 ^ y * 29) & 255));
    }
    const QString source = dir.filePath(QStringLiteral("source.ppm"));
    const QString jpeg = dir.filePath(QStringLiteral("out.jpg"));
    if (!image.save(source))
        return {};
    QProcess process;
    process.start(
        QStringLiteral("cjpeg"), options + QStringList{QStringLiteral("-outfile"), jpeg, source});
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        return {};
    QFile file(jpeg);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The same file with its frame header claiming width x height.
QByteArray claiming(QByteArray jpeg, std::uint16_t width, std::uint16_t height)
{
    const JpegLayout layout = readJpegLayout(bytesOf(jpeg), JpegWalk::ToFrame);
    const QByteArray marker = QByteArray("\xff", 1) + char(layout.frameMarker);
    const qsizetype at = jpeg.indexOf(marker, 2);
    if (at < 0)
        return {};
    jpeg[at + 5] = char(height >> 8);
    jpeg[at + 6] = char(height & 0xFF);
    jpeg[at + 7] = char(width >> 8);
    jpeg[at + 8] = char(width & 0xFF);
    return jpeg;
}

struct JpegClaim {
    const char* name;
    QStringList options;
};

class TinyJpegClaims : public ::testing::TestWithParam<JpegClaim> { };

// Refused from their headers, before libjpeg allocates anything the size of
// the picture (a progressive file's coefficients: 864 MB for 4:4:4) and
// before the picture itself: lasting, as the same bytes fail the same way.
TEST_P(TinyJpegClaims, AreRefusedAsTooShort)
{
    QTemporaryDir dir;
    const QByteArray small = cjpeg(dir, GetParam().options);
    ASSERT_FALSE(small.isEmpty());
    ASSERT_EQ(jpeg::decode(bytesOf(small)).status, DecodeStatus::Ok);
    const QByteArray file = claiming(small, 12000, 12000);
    ASSERT_LT(file.size(), 2000);
    EXPECT_FALSE(jpegDataCanFill(readJpegLayout(bytesOf(file), JpegWalk::AllScans)));
    for (unsigned reduction : {1U, 8U}) {
        const DecodeOutcome outcome = jpeg::decodeReduced(bytesOf(file), reduction);
        EXPECT_EQ(outcome.status, DecodeStatus::Unreadable);
        EXPECT_EQ(outcome.reason, "JPEG data too short for its picture");
        EXPECT_EQ(outcome.failureKind, FailureKind::Lasting);
    }
}

INSTANTIATE_TEST_SUITE_P(Claims, TinyJpegClaims,
    ::testing::Values(JpegClaim{"Baseline420", {QStringLiteral("-baseline")}},
        JpegClaim{"Baseline444", {QStringLiteral("-sample"), QStringLiteral("1x1")}},
        JpegClaim{"Grey", {QStringLiteral("-grayscale")}},
        JpegClaim{"Progressive420", {QStringLiteral("-progressive")}},
        JpegClaim{"Progressive444",
            {QStringLiteral("-progressive"), QStringLiteral("-sample"), QStringLiteral("1x1")}},
        JpegClaim{"OptimizedWithRestarts",
            {QStringLiteral("-optimize"), QStringLiteral("-restart"), QStringLiteral("1B")}}),
    [](const ::testing::TestParamInfo<JpegClaim>& info) { return std::string(info.param.name); });

// Counts the rows it is given, and holds one.
class RowCounter : public RowSink {
public:
    bool begin(std::uint32_t width, std::uint32_t) override
    {
        m_row.resize(std::size_t(width) * 3);
        return true;
    }
    std::uint8_t* row(std::uint32_t) override { return m_row.data(); }
    bool rowDone(std::uint32_t) override
    {
        ++rows;
        return true;
    }
    std::uint32_t rows = 0;

private:
    std::vector<std::uint8_t> m_row;
};

struct FlatJpeg {
    const char* name;
    int width;
    int height;
    QStringList options;
};

class MostCompressibleJpegs : public ::testing::TestWithParam<FlatJpeg> { };

// Pictures of one colour, the least data each coding spends on a picture:
// the bound must let them through whole. The arithmetic-coded one claims
// 12000 x 12000 in a few hundred bytes; its rows are streamed, not held.
TEST_P(MostCompressibleJpegs, StillDecode)
{
    const FlatJpeg& row = GetParam();
    QTemporaryDir dir;
    const QByteArray file = cjpeg(dir, row.options, row.width, row.height, true);
    ASSERT_FALSE(file.isEmpty());
    EXPECT_TRUE(jpegDataCanFill(readJpegLayout(bytesOf(file), JpegWalk::AllScans)));
    RowCounter rows;
    std::string reason;
    EXPECT_EQ(jpeg::streamRows(bytesOf(file), rows, &reason), StreamResult::Streamed)
        << reason << " (" << file.size() << " bytes)";
    EXPECT_EQ(rows.rows, std::uint32_t(row.height));
}

INSTANTIATE_TEST_SUITE_P(Flat, MostCompressibleJpegs,
    ::testing::Values(FlatJpeg{"Baseline", 4000, 3000, {QStringLiteral("-baseline")}},
        FlatJpeg{"Optimized444", 4000, 3000,
            {QStringLiteral("-optimize"), QStringLiteral("-sample"), QStringLiteral("1x1")}},
        FlatJpeg{"Progressive", 4000, 3000, {QStringLiteral("-progressive")}},
        FlatJpeg{"Grey", 4000, 3000, {QStringLiteral("-grayscale"), QStringLiteral("-optimize")}},
        FlatJpeg{"Arithmetic12000Square", 12000, 12000, {QStringLiteral("-arithmetic")}}),
    [](const ::testing::TestParamInfo<FlatJpeg>& info) { return std::string(info.param.name); });

// Valid files of forms this libjpeg does not decode are not damaged: their
// reason says so, and stays (the same bytes fail the same way).
struct UnsupportedForm {
    const char* name;
    std::uint8_t frameMarker;
    std::uint8_t precision;
    const char* reason;
};

class UnsupportedJpegForms : public ::testing::TestWithParam<UnsupportedForm> { };

TEST_P(UnsupportedJpegForms, AreNotSupportedRatherThanDamaged)
{
    const UnsupportedForm& form = GetParam();
    QTemporaryDir dir;
    QByteArray file = cjpeg(dir, {QStringLiteral("-baseline")});
    ASSERT_FALSE(file.isEmpty());
    const qsizetype at = file.indexOf(QByteArray("\xff\xc0", 2), 2);
    ASSERT_GT(at, 0);
    file[at + 1] = char(form.frameMarker);
    file[at + 4] = char(form.precision);
    const DecodeOutcome outcome = jpeg::decode(bytesOf(file));
    EXPECT_EQ(outcome.status, DecodeStatus::Unreadable);
    EXPECT_EQ(outcome.reason, form.reason);
    EXPECT_EQ(outcome.failureKind, FailureKind::Lasting);
    RowCounter rows;
    std::string reason;
    EXPECT_EQ(jpeg::streamRows(bytesOf(file), rows, &reason), StreamResult::Failed);
    EXPECT_EQ(reason, form.reason);
}

INSTANTIATE_TEST_SUITE_P(Forms, UnsupportedJpegForms,
    ::testing::Values(
        UnsupportedForm{"TwelveBit", 0xC1, 12, "12-bit JPEG samples are not supported"},
        UnsupportedForm{"Lossless", 0xC3, 8, "lossless JPEG is not supported"},
        UnsupportedForm{"Hierarchical", 0xC5, 8, "hierarchical JPEG is not supported"}),
    [](const ::testing::TestParamInfo<UnsupportedForm>& info) {
        return std::string(info.param.name);
    });

} // namespace
