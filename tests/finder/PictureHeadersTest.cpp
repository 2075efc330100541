// The BMP, JPEG and GIF header readers against files made by ImageMagick,
// whole and damaged.
#include "PictureBytes.h"
#include "TestCollection.h"

#include "decoding/BmpJpegGifHeaders.h"
#include "finder/PictureReader.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct HeaderCase {
    const char* name;
    QStringList convertArguments; // the output file is appended
    const char* file;
    decoding::PictureType type;
    std::uint32_t width, height, frames;
};

class PictureHeaderCases : public ::testing::TestWithParam<HeaderCase> { };

using picturebytes::bytesOf;

TEST_P(PictureHeaderCases, SayTheSizeWithoutDecoding)
{
    const HeaderCase& c = GetParam();
    QTemporaryDir dir;
    const QString file = dir.filePath(QString::fromLatin1(c.file));
    ASSERT_TRUE(testcollection::run(
        QStringLiteral("/usr/bin/convert"), c.convertArguments + QStringList{file}));
    QFile in(file);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QByteArray bytes = in.readAll();

    const decoding::PictureHeader header = finder::readHeader(bytesOf(bytes));
    EXPECT_TRUE(header.ok);
    EXPECT_EQ(header.type, c.type);
    EXPECT_EQ(header.width, c.width);
    EXPECT_EQ(header.height, c.height);
    EXPECT_EQ(header.frames, c.frames);

    // Cut before the size: no size, but still the type.
    const decoding::PictureHeader cut = finder::readHeader(bytesOf(bytes.left(12)));
    EXPECT_FALSE(cut.ok && (cut.width != c.width || cut.height != c.height));
    EXPECT_EQ(cut.type, c.type);
}

const QString kPlasma = QStringLiteral("plasma:fractal");

INSTANTIATE_TEST_SUITE_P(Types, PictureHeaderCases,
    ::testing::Values(
        HeaderCase{"Bmp24", {QStringLiteral("-size"), QStringLiteral("33x17"), kPlasma}, "a.bmp",
            decoding::PictureType::Bmp, 33, 17, 1},
        HeaderCase{"BmpOs2",
            {QStringLiteral("-size"), QStringLiteral("7x5"), kPlasma, QStringLiteral("-type"),
                QStringLiteral("palette")},
            "BMP2:a.bmp", decoding::PictureType::Bmp, 7, 5, 1},
        HeaderCase{"JpegBaseline", {QStringLiteral("-size"), QStringLiteral("33x17"), kPlasma},
            "a.jpg", decoding::PictureType::Jpeg, 33, 17, 1},
        HeaderCase{"JpegProgressiveWithComment",
            {QStringLiteral("-size"), QStringLiteral("640x3"), kPlasma,
                QStringLiteral("-interlace"), QStringLiteral("plane"), QStringLiteral("-set"),
                QStringLiteral("comment"), QStringLiteral("hello")},
            "a.jpg", decoding::PictureType::Jpeg, 640, 3, 1},
        HeaderCase{"GifStill", {QStringLiteral("-size"), QStringLiteral("9x300"), kPlasma}, "a.gif",
            decoding::PictureType::Gif, 9, 300, 1},
        HeaderCase{"GifAnimation",
            {QStringLiteral("-size"), QStringLiteral("20x10"), QStringLiteral("xc:red"),
                QStringLiteral("xc:blue"), QStringLiteral("xc:green"), QStringLiteral("xc:white")},
            "a.gif", decoding::PictureType::Gif, 20, 10, 4}),
    [](const ::testing::TestParamInfo<HeaderCase>& info) { return std::string(info.param.name); });

TEST(PictureHeaders, DamagedOrMisleadingHeadersSayNothing)
{
    struct Row {
        const char* name;
        QByteArray bytes;
        decoding::PictureHeader (*reader)(decoding::Bytes);
    };
    const Row rows[] = {
        {"bmp of width 0",
            QByteArray("BM" + QByteArray(12, '\0')
                + QByteArray("\x28\0\0\0\0\0\0\0\x05\0\0\0\x01\0\x18\0", 16)),
            decoding::readBmpHeader},
        {"bmp with an unknown header size",
            QByteArray(
                "BM" + QByteArray(12, '\0') + QByteArray("\x99\0\0\0", 4) + QByteArray(20, '\x01')),
            decoding::readBmpHeader},
        {"jpeg whose scan comes before its frame header", QByteArray("\xff\xd8\xff\xda\x00\x02", 6),
            decoding::readJpegHeader},
        {"jpeg with height 0 (set later by DNL)",
            QByteArray("\xff\xd8\xff\xc0\x00\x0b\x08\x00\x00\x00\x10\x01\x01\x11\x00", 15),
            decoding::readJpegHeader},
        {"jpeg segment running past the bytes", QByteArray("\xff\xd8\xff\xe1\xff\xf0xxxx", 10),
            decoding::readJpegHeader},
        {"gif of width 0", QByteArray("GIF89a\0\0\x05\0\0\0\0;", 14), decoding::readGifHeader},
        {"gif with a trailer and no picture", QByteArray("GIF89a\x05\0\x05\0\0\0\0;", 14),
            decoding::readGifHeader},
        {"gif with a stray block", QByteArray("GIF89a\x05\0\x05\0\0\0\0\x99", 14),
            decoding::readGifHeader},
    };
    for (const Row& row : rows)
        EXPECT_FALSE(row.reader(bytesOf(row.bytes)).ok) << row.name;
}

TEST(PictureHeaders, GifCountIsUnknownWhenTheBytesEndEarly)
{
    // Header, one picture (descriptor, code size, one empty sub-block), no trailer yet.
    const QByteArray head("GIF89a\x05\0\x05\0\0\0\0"
                          "\x2c\0\0\0\0\x05\0\x05\0\0"
                          "\x02\x01\x00\x00",
        27);
    const decoding::PictureHeader header = decoding::readGifHeader(bytesOf(head));
    EXPECT_TRUE(header.ok);
    EXPECT_EQ(header.frames, 0u);
    const decoding::PictureHeader whole = decoding::readGifHeader(bytesOf(head + ';'));
    EXPECT_EQ(whole.frames, 1u);
}

} // namespace
