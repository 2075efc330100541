// Files of a few bytes that claim large pictures are refused before the
// picture is allocated; real pictures compressed as far as their format
// allows are not.

#include "decoding/PngDecoder.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <zlib.h>

namespace {

using namespace decoding;

Bytes bytesOf(const QByteArray& data)
{
    return {reinterpret_cast<const std::uint8_t*>(data.constData()), std::size_t(data.size())};
}

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

} // namespace
