// GIF files of a few bytes that claim large pictures are refused by the Qt
// adapter before Qt's reader allocates the picture (the bound itself is the
// GIF header reader's, tested with its table); real GIFs of one colour,
// compressed as far as LZW goes, still decode.
#include "ForgedGif.h"
#include "PictureBytes.h"
#include "finder/QtFingerprint.h"
#include "qtreading/QtPictureReading.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using decoding::DecodeStatus;
using decoding::PictureType;

using picturebytes::bytesOf;

struct GifClaim {
    const char* name;
    std::uint32_t screenWidth;
    std::uint32_t screenHeight;
    std::uint32_t frameWidth;
    std::uint32_t frameHeight;
};

class TinyGifClaims : public ::testing::TestWithParam<GifClaim> { };

TEST_P(TinyGifClaims, AreRefusedBeforeQtAllocates)
{
    const GifClaim& claim = GetParam();
    const QByteArray gif
        = claimingGif(claim.screenWidth, claim.screenHeight, claim.frameWidth, claim.frameHeight);
    ASSERT_LT(gif.size(), 64);
    const decoding::DecodeOutcome outcome = qtreading::decode(bytesOf(gif), PictureType::Gif);
    EXPECT_NE(outcome.status, DecodeStatus::Ok);
    EXPECT_EQ(outcome.reason, "GIF data too short for its picture");
    const finder::QtFingerprint print = finder::fingerprintWithQt(bytesOf(gif), PictureType::Gif);
    EXPECT_EQ(print.reason, "GIF data too short for its picture");
}

INSTANTIATE_TEST_SUITE_P(Claims, TinyGifClaims,
    ::testing::Values(GifClaim{"FrameAsLargeAsItsScreen", 9000, 9000, 9000, 9000},
        GifClaim{"SmallFrameOnAHugeScreen", 12000, 12000, 2, 2},
        GifClaim{"WideFrame", 65535, 300, 65535, 300}),
    [](const ::testing::TestParamInfo<GifClaim>& info) { return std::string(info.param.name); });

struct FlatGif {
    const char* name;
    const char* size;
    const char* picture;
};

class MostCompressibleGifs : public ::testing::TestWithParam<FlatGif> { };

TEST_P(MostCompressibleGifs, StillDecode)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("flat.gif"));
    QProcess convert;
    convert.start(QStandardPaths::findExecutable(QStringLiteral("convert")),
        {QStringLiteral("-size"), QString::fromLatin1(GetParam().size),
            QString::fromLatin1(GetParam().picture), path});
    ASSERT_TRUE(convert.waitForFinished(60000) && convert.exitCode() == 0);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const finder::QtFingerprint print = finder::fingerprintWithQt(bytesOf(bytes), PictureType::Gif);
    EXPECT_EQ(print.status, DecodeStatus::Ok) << print.reason << " (" << bytes.size() << " bytes)";
}

INSTANTIATE_TEST_SUITE_P(Flat, MostCompressibleGifs,
    ::testing::Values(FlatGif{"OneColour", "2000x1500", "xc:red"},
        FlatGif{"Transparent", "1500x1500", "xc:none"},
        FlatGif{"TwoBands", "3000x500", "gradient:black-white"}),
    [](const ::testing::TestParamInfo<FlatGif>& info) { return std::string(info.param.name); });

} // namespace
