// The one header reader of BMP, JPEG and GIF against files made by ImageMagick
// and libjpeg-turbo's cjpeg, whole, cut and forged: the size the search asks
// for, whether the file is whole, the facts the converter's report words
// (depth, compression, resolution, frames), and whether a GIF's data could
// fill the picture it claims.

#include "decoding/BmpJpegGifHeaders.h"

#include "ForgedGif.h"
#include "PictureBytes.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace decoding;

using picturebytes::bytesOf;

// Runs `program arguments... output` in dir and gives the output file's bytes.
QByteArray made(const QTemporaryDir& dir, const char* program, QStringList arguments,
    const char* output, const QByteArray& input = {})
{
    const QString path = dir.filePath(QString::fromLatin1(output).section(QLatin1Char(':'), -1));
    QProcess process;
    process.setWorkingDirectory(dir.path());
    if (QByteArray(program) == "cjpeg")
        arguments << QStringLiteral("-outfile") << path;
    else
        arguments << QLatin1String(output); // a format prefix ("BMP3:") stays in front
    process.start(QStandardPaths::findExecutable(QLatin1String(program)), arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Row {
    const char* name;
    std::function<QByteArray(const QTemporaryDir&)> file;
    PictureType type;
    bool headerOk;
    std::uint32_t width, height, frames; // as readHeader gives them
    bool complete;
    // Type facts: BMP bit count / JPEG precision x components / GIF table bits.
    int bits;
    std::function<void(Bytes)> more; // further facts of the row's type
};

const QStringList kPlasma = {QStringLiteral("-size"), QStringLiteral("33x17"),
    QStringLiteral("plasma:fractal"), QStringLiteral("-seed"), QStringLiteral("4")};

QStringList plasma(QStringList more)
{
    return kPlasma + more;
}

// A 33 x 17 picture as PPM for cjpeg.
QByteArray ppm()
{
    QByteArray out("P6\n33 17\n255\n");
    for (int i = 0; i < 33 * 17; ++i)
        out.append(char(i * 7)).append(char(i * 3)).append(char(255 - i));
    return out;
}

QByteArray cjpeg(const QTemporaryDir& dir, QStringList options)
{
    return made(dir, "cjpeg", options, "a.jpg", ppm());
}

QByteArray convert(const QTemporaryDir& dir, QStringList options, const char* output)
{
    return made(dir, "convert", options, output);
}

const Row kRows[] = {
    {"BmpTrueColourAt200Dpi",
        [](const QTemporaryDir& d) {
            return convert(d,
                plasma({QStringLiteral("-units"), QStringLiteral("PixelsPerInch"),
                    QStringLiteral("-density"), QStringLiteral("200"), QStringLiteral("-type"),
                    QStringLiteral("truecolor")}),
                "BMP3:a.bmp");
        },
        PictureType::Bmp, true, 33, 17, 1, true, 24,
        [](Bytes b) {
            const BmpLayout bmp = readBmpLayout(b);
            EXPECT_EQ(bmp.infoSize, 40u);
            EXPECT_EQ(bmp.compression, 0u);
            EXPECT_EQ(bmp.xPixelsPerMetre, 7874);
            EXPECT_EQ(bmp.yPixelsPerMetre, 7874);
        }},
    {"BmpOs2CoreHeader",
        [](const QTemporaryDir& d) {
            return convert(
                d, plasma({QStringLiteral("-type"), QStringLiteral("palette")}), "BMP2:a.bmp");
        },
        PictureType::Bmp, true, 33, 17, 1, true, 8,
        [](Bytes b) { EXPECT_EQ(readBmpLayout(b).infoSize, 12u); }},
    {"BmpRunLengthPalette",
        [](const QTemporaryDir& d) {
            return convert(d,
                plasma({QStringLiteral("-type"), QStringLiteral("palette"),
                    QStringLiteral("-compress"), QStringLiteral("RLE")}),
                "BMP3:a.bmp");
        },
        PictureType::Bmp, true, 33, 17, 1, true, 8,
        [](Bytes b) { EXPECT_EQ(readBmpLayout(b).compression, 1u); }},
    {"BmpOneByteShort",
        [](const QTemporaryDir& d) {
            return convert(
                d, plasma({QStringLiteral("-type"), QStringLiteral("truecolor")}), "BMP3:a.bmp")
                .chopped(1);
        },
        PictureType::Bmp, true, 33, 17, 1, false, 24, nullptr},
    {"JpegBaselineQuality90",
        [](const QTemporaryDir& d) {
            return cjpeg(d, {QStringLiteral("-quality"), QStringLiteral("90")});
        },
        PictureType::Jpeg, true, 33, 17, 1, true, 24,
        [](Bytes b) {
            const JpegLayout jpeg = readJpegLayout(b, JpegWalk::ToFirstScan);
            EXPECT_EQ(jpeg.frameMarker, 0xC0);
            EXPECT_FALSE(jpeg.progressive());
            ASSERT_TRUE(jpeg.hasLuminanceTable);
            EXPECT_EQ(jpeg.luminanceTable[0], 3); // 16 at quality 50, scaled by 20 %
            EXPECT_TRUE(jpeg.hasJfifDensity);
            EXPECT_NE(jpeg.firstScanData, 0u);
        }},
    {"JpegProgressiveGrey",
        [](const QTemporaryDir& d) {
            return cjpeg(d, {QStringLiteral("-progressive"), QStringLiteral("-grayscale")});
        },
        PictureType::Jpeg, true, 33, 17, 1, true, 8,
        [](Bytes b) { EXPECT_TRUE(readJpegLayout(b, JpegWalk::ToFirstScan).progressive()); }},
    {"JpegArithmeticWithRestarts",
        [](const QTemporaryDir& d) {
            return cjpeg(d,
                {QStringLiteral("-arithmetic"), QStringLiteral("-restart"), QStringLiteral("1")});
        },
        PictureType::Jpeg, true, 33, 17, 1, true, 24,
        [](Bytes b) { EXPECT_EQ(readJpegLayout(b, JpegWalk::ToFrame).frameMarker, 0xC9); }},
    {"JpegDotsPerCentimetre",
        [](const QTemporaryDir& d) {
            return convert(d,
                plasma({QStringLiteral("-units"), QStringLiteral("PixelsPerCentimeter"),
                    QStringLiteral("-density"), QStringLiteral("80")}),
                "a.jpg");
        },
        PictureType::Jpeg, true, 33, 17, 1, true, 24,
        [](Bytes b) {
            const JpegLayout jpeg = readJpegLayout(b, JpegWalk::ToFirstScan);
            EXPECT_EQ(jpeg.densityUnits, 2);
            EXPECT_EQ(jpeg.xDensity, 80);
        }},
    {"JpegWithoutItsEndMarker", [](const QTemporaryDir& d) { return cjpeg(d, {}).chopped(2); },
        PictureType::Jpeg, true, 33, 17, 1, false, 24, nullptr},
    {"JpegCutInAHeader", [](const QTemporaryDir& d) { return cjpeg(d, {}).left(30); },
        PictureType::Jpeg, false, 0, 0, 1, false, 0, nullptr},
    {"JpegWithAStrayByteBeforeItsFrame",
        [](const QTemporaryDir& d) { return cjpeg(d, {}).insert(20, 'x'); }, PictureType::Jpeg,
        false, 0, 0, 1, true, 24, nullptr},
    {"GifStillOfSixColours",
        [](const QTemporaryDir& d) {
            return convert(d, plasma({QStringLiteral("-colors"), QStringLiteral("6")}), "a.gif");
        },
        PictureType::Gif, true, 33, 17, 1, true, 3,
        [](Bytes b) { EXPECT_EQ(readGifLayout(b).end, GifEnd::Trailer); }},
    {"GifAnimationOfFour",
        [](const QTemporaryDir& d) {
            return convert(d,
                {QStringLiteral("-size"), QStringLiteral("20x10"), QStringLiteral("xc:red"),
                    QStringLiteral("xc:blue"), QStringLiteral("xc:green"),
                    QStringLiteral("xc:white")},
                "a.gif");
        },
        PictureType::Gif, true, 20, 10, 4, true, 1,
        [](Bytes b) {
            const GifLayout gif = readGifLayout(b);
            ASSERT_EQ(gif.frames.size(), 4u);
            for (const GifFrame& frame : gif.frames)
                EXPECT_GT(frame.dataBytes, 0u);
            EXPECT_TRUE(gifDataCanFill(gif));
        }},
    {"GifWithoutTrailer",
        [](const QTemporaryDir& d) { return convert(d, plasma({}), "a.gif").chopped(1); },
        PictureType::Gif, true, 33, 17, 0, true, 8,
        [](Bytes b) { EXPECT_EQ(readGifLayout(b).end, GifEnd::BlockBoundary); }},
    {"GifCutInItsPicture",
        [](const QTemporaryDir& d) { return convert(d, plasma({}), "a.gif").chopped(3); },
        PictureType::Gif, true, 33, 17, 0, false, 8,
        [](Bytes b) { EXPECT_EQ(readGifLayout(b).end, GifEnd::CutOff); }},
    {"GifWithJunkForABlock",
        [](const QTemporaryDir& d) { return convert(d, plasma({}), "a.gif").chopped(1) + "junk"; },
        PictureType::Gif, false, 0, 0, 1, false, 8,
        [](Bytes b) { EXPECT_EQ(readGifLayout(b).end, GifEnd::Damaged); }},
};

void PrintTo(const Row& row, std::ostream* out)
{
    *out << row.name;
}

class BmpJpegGifHeaderCases : public ::testing::TestWithParam<Row> { };

TEST_P(BmpJpegGifHeaderCases, TellEveryFactFromOneWalk)
{
    const Row& row = GetParam();
    QTemporaryDir dir;
    const QByteArray file = row.file(dir);
    ASSERT_FALSE(file.isEmpty()) << "the tool failed to write the file";
    const Bytes bytes = bytesOf(file);

    const PictureHeader header = row.type == PictureType::Bmp ? readBmpHeader(bytes)
        : row.type == PictureType::Jpeg                       ? readJpegHeader(bytes)
                                                              : readGifHeader(bytes);
    EXPECT_EQ(header.type, row.type);
    EXPECT_EQ(header.ok, row.headerOk);
    if (row.headerOk) {
        EXPECT_EQ(header.width, row.width);
        EXPECT_EQ(header.height, row.height);
        EXPECT_EQ(header.frames, row.frames);
    }
    EXPECT_EQ(isComplete(bytes, row.type), row.complete);
    // No other type's reader takes the file as its own.
    for (const PictureType other : {PictureType::Bmp, PictureType::Jpeg, PictureType::Gif}) {
        if (other != row.type) {
            EXPECT_FALSE(isComplete(bytes, other));
        }
    }

    switch (row.type) {
    case PictureType::Bmp:
        EXPECT_EQ(readBmpLayout(bytes).bitCount, row.bits);
        break;
    case PictureType::Jpeg: {
        const JpegLayout jpeg = readJpegLayout(bytes, JpegWalk::ToFirstScan);
        if (row.bits != 0) {
            EXPECT_EQ(jpeg.precision * jpeg.components, row.bits);
        }
        break;
    }
    default:
        EXPECT_EQ(readGifLayout(bytes).globalTableBits, row.bits);
        break;
    }
    if (row.more)
        row.more(bytes);
}

INSTANTIATE_TEST_SUITE_P(Files, BmpJpegGifHeaderCases, ::testing::ValuesIn(kRows),
    [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

// GIF files of a few bytes that claim large pictures cannot be filled by their
// data; real GIFs of one colour, compressed as far as LZW goes, can.
struct FillRow {
    const char* name;
    std::function<QByteArray(const QTemporaryDir&)> file;
    bool canFill;
};

QByteArray flatGif(const QTemporaryDir& dir, const char* size, const char* picture)
{
    return convert(
        dir, {QStringLiteral("-size"), QLatin1String(size), QLatin1String(picture)}, "flat.gif");
}

const FillRow kFillRows[] = {
    {"FrameAsLargeAsItsScreen",
        [](const QTemporaryDir&) { return claimingGif(9000, 9000, 9000, 9000); }, false},
    {"SmallFrameOnAHugeScreen",
        [](const QTemporaryDir&) { return claimingGif(12000, 12000, 2, 2); }, false},
    {"WideFrame", [](const QTemporaryDir&) { return claimingGif(65535, 300, 65535, 300); }, false},
    {"SmallClaim", [](const QTemporaryDir&) { return claimingGif(200, 200, 200, 200); }, true},
    {"OneColour", [](const QTemporaryDir& d) { return flatGif(d, "2000x1500", "xc:red"); }, true},
    {"Transparent", [](const QTemporaryDir& d) { return flatGif(d, "1500x1500", "xc:none"); },
        true},
    {"TwoBands",
        [](const QTemporaryDir& d) { return flatGif(d, "3000x500", "gradient:black-white"); },
        true},
};

void PrintTo(const FillRow& row, std::ostream* out)
{
    *out << row.name;
}

class GifDataCases : public ::testing::TestWithParam<FillRow> { };

TEST_P(GifDataCases, FillTheirPictureOrNot)
{
    QTemporaryDir dir;
    const QByteArray file = GetParam().file(dir);
    ASSERT_FALSE(file.isEmpty());
    const GifLayout gif = readGifLayout(bytesOf(file));
    EXPECT_TRUE(gifComplete(gif)) << "the claims are whole files";
    EXPECT_EQ(gifDataCanFill(gif), GetParam().canFill) << file.size() << " bytes";
}

INSTANTIATE_TEST_SUITE_P(Claims, GifDataCases, ::testing::ValuesIn(kFillRows),
    [](const ::testing::TestParamInfo<FillRow>& info) { return std::string(info.param.name); });

} // namespace
