// PNG read with libdeflate in one call against libpng: every form it takes
// must give libpng's samples exactly, every form it leaves must reach libpng,
// and pictures one sample apart must stay apart.

#include "decoding/PngWholeInflate.h"
#include "decoding/PngDecoder.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <zlib.h>

namespace {

using namespace decoding;

// `convert` with `input` on its standard input; the file it wrote.
QByteArray convertTo(
    const QTemporaryDir& folder, const QStringList& arguments, const QByteArray& input = {})
{
    const QString path = folder.filePath(QStringLiteral("made.png"));
    QFile::remove(path);
    QProcess process;
    // A last argument such as "png8:" names the output's form.
    QStringList all = arguments;
    if (!all.isEmpty() && all.last().endsWith(QLatin1Char(':')))
        all.last() += path;
    else
        all << path;
    process.start(QStringLiteral("convert"), all);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

Bytes bytesOf(const QByteArray& data)
{
    return {reinterpret_cast<const std::uint8_t*>(data.constData()), std::size_t(data.size())};
}

std::uint32_t bigEndian32(const QByteArray& data, qsizetype at)
{
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value = value << 8 | std::uint8_t(data[at + i]);
    return value;
}

QByteArray chunk(const QByteArray& type, const QByteArray& body)
{
    QByteArray out;
    for (int shift : {24, 16, 8, 0})
        out += char(std::uint32_t(body.size()) >> shift);
    const QByteArray typed = type + body;
    out += typed;
    const uLong crc
        = crc32(0, reinterpret_cast<const Bytef*>(typed.constData()), uInt(typed.size()));
    for (int shift : {24, 16, 8, 0})
        out += char(std::uint32_t(crc) >> shift);
    return out;
}

// The same file with its image data cut into IDAT chunks of `piece` bytes.
QByteArray idatSplit(const QByteArray& png, int piece)
{
    QByteArray out = png.left(8);
    QByteArray data;
    qsizetype at = 8;
    bool placed = false;
    while (at + 12 <= png.size()) {
        const qsizetype length = bigEndian32(png, at);
        const QByteArray type = png.mid(at + 4, 4);
        if (type == "IDAT") {
            data += png.mid(at + 8, length);
        } else {
            if (!data.isEmpty() && !placed) {
                for (qsizetype i = 0; i < data.size(); i += piece)
                    out += chunk("IDAT", data.mid(i, piece));
                placed = true;
            }
            out += png.mid(at, 12 + length);
        }
        at += 12 + length;
    }
    return out;
}

QByteArray withAnimation(const QByteArray& png)
{
    QByteArray body(8, '\0');
    body[3] = 2; // two frames
    return png.left(33) + chunk("acTL", body) + png.mid(33);
}

QByteArray withDamagedData(const QByteArray& png)
{
    QByteArray damaged = png;
    const qsizetype idat = damaged.indexOf("IDAT");
    damaged[idat + 12] = char(damaged[idat + 12] ^ 0x20);
    return damaged;
}

const QStringList kPlasma = {QStringLiteral("-size"), QStringLiteral("67x43"),
    QStringLiteral("-seed"), QStringLiteral("5"), QStringLiteral("plasma:")};

QStringList plasma(const QStringList& more)
{
    return kPlasma + more;
}

QStringList typed(const char* colourType, const char* depth, QStringList more = {})
{
    return plasma(
        more << QStringLiteral("-define") << QStringLiteral("png:color-type=%1").arg(colourType)
             << QStringLiteral("-define") << QStringLiteral("png:bit-depth=%1").arg(depth));
}

struct Case {
    const char* name;
    QStringList make;
    QByteArray (*alter)(const QByteArray&); // applied to the written file, or null
    bool whole; // read by the libdeflate path (else left to libpng)
    DecodeStatus status;
};

void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

class SameAsLibpng : public ::testing::TestWithParam<Case> { };

TEST_P(SameAsLibpng, SampleForSample)
{
    const Case& c = GetParam();
    QTemporaryDir folder;
    QByteArray png = convertTo(folder, c.make);
    ASSERT_FALSE(png.isEmpty()) << "convert failed";
    if (c.alter)
        png = c.alter(png);
    for (const bool eightBit : {false, true}) {
        DecodeOptions options;
        options.eightBit = eightBit;
        const std::optional<DecodeOutcome> whole = png::decodeWholeInflate(bytesOf(png), options);
        EXPECT_EQ(whole.has_value(), c.whole);
        const DecodeOutcome ours = png::decode(bytesOf(png), options);
        const DecodeOutcome reference = png::decodeWithLibpng(bytesOf(png), options);
        EXPECT_EQ(ours.status, c.status) << ours.reason;
        EXPECT_EQ(reference.status, c.status) << reference.reason;
        EXPECT_EQ(ours.picture.width, reference.picture.width);
        EXPECT_EQ(ours.picture.height, reference.picture.height);
        EXPECT_EQ(ours.picture.bytesPerSample, reference.picture.bytesPerSample);
        EXPECT_TRUE(ours.picture.frames == reference.picture.frames)
            << "samples differ, eightBit " << eightBit;
    }
}

INSTANTIATE_TEST_SUITE_P(Files, SameAsLibpng,
    ::testing::Values(Case{"Rgb8Adaptive", typed("2", "8"), nullptr, true, DecodeStatus::Ok},
        Case{"Rgb8NoFilter", typed("2", "8", {"-quality", "90"}), nullptr, true, DecodeStatus::Ok},
        Case{"Rgb8Sub", typed("2", "8", {"-quality", "91"}), nullptr, true, DecodeStatus::Ok},
        Case{"Rgb8Up", typed("2", "8", {"-quality", "92"}), nullptr, true, DecodeStatus::Ok},
        Case{"Rgb8Average", typed("2", "8", {"-quality", "93"}), nullptr, true, DecodeStatus::Ok},
        Case{"Rgb8Paeth", typed("2", "8", {"-quality", "94"}), nullptr, true, DecodeStatus::Ok},
        Case{"Rgba8", typed("6", "8", {"-channel", "A", "-fx", "(i*3+j)%256/255"}), nullptr, true,
            DecodeStatus::Ok},
        Case{"Rgb16Paeth", typed("2", "16", {"-quality", "94"}), nullptr, true, DecodeStatus::Ok},
        Case{"Rgba16", typed("6", "16", {"-channel", "A", "-fx", "(i*7+j)%64/63"}), nullptr, true,
            DecodeStatus::Ok},
        Case{"Grey1", typed("0", "1", {"-colorspace", "gray"}), nullptr, true, DecodeStatus::Ok},
        Case{"Grey2", typed("0", "2", {"-colorspace", "gray"}), nullptr, true, DecodeStatus::Ok},
        Case{"Grey4", typed("0", "4", {"-colorspace", "gray"}), nullptr, true, DecodeStatus::Ok},
        Case{"Grey8", typed("0", "8", {"-colorspace", "gray"}), nullptr, true, DecodeStatus::Ok},
        Case{"Grey16", typed("0", "16", {"-colorspace", "gray"}), nullptr, true, DecodeStatus::Ok},
        Case{"GreyAlpha8",
            typed("4", "8", {"-colorspace", "gray", "-channel", "A", "-fx", "(i+j)%256/255"}),
            nullptr, true, DecodeStatus::Ok},
        Case{"GreyAlpha16",
            typed("4", "16", {"-colorspace", "gray", "-channel", "A", "-fx", "(i+j)%256/255"}),
            nullptr, true, DecodeStatus::Ok},
        Case{"Palette1", typed("3", "1", {"-colors", "2"}), nullptr, true, DecodeStatus::Ok},
        Case{"Palette2", typed("3", "2", {"-colors", "4"}), nullptr, true, DecodeStatus::Ok},
        Case{"Palette4", typed("3", "4", {"-colors", "13"}), nullptr, true, DecodeStatus::Ok},
        Case{"Palette8", typed("3", "8", {"-colors", "200"}), nullptr, true, DecodeStatus::Ok},
        Case{"PaletteWithTransparency",
            plasma({"-colors", "9", "-alpha", "set", "-region", "17x6+3+3", "-alpha", "transparent",
                "+region", "png8:"}),
            nullptr, true, DecodeStatus::Ok},
        Case{"ImageDataInManyChunks", typed("2", "8"),
            [](const QByteArray& png) { return idatSplit(png, 97); }, true, DecodeStatus::Ok},
        Case{"InterlacedLeftToLibpng", typed("2", "8", {"-interlace", "PNG"}), nullptr, false,
            DecodeStatus::Ok},
        Case{"InterlacedGrey2LeftToLibpng",
            typed("0", "2", {"-colorspace", "gray", "-interlace", "PNG"}), nullptr, false,
            DecodeStatus::Ok},
        Case{"ColourKeyLeftToLibpng",
            typed("2", "8", {"-transparent", "black", "-define", "png:tRNS"}), nullptr, false,
            DecodeStatus::Ok},
        Case{"AnimatedRefused", typed("2", "8"), withAnimation, false, DecodeStatus::Unreadable},
        Case{"DamagedCrcUnreadable", typed("2", "8"), withDamagedData, false,
            DecodeStatus::Unreadable},
        Case{"TruncatedUnreadable", typed("2", "8"),
            [](const QByteArray& png) { return png.left(png.size() * 2 / 3); }, false,
            DecodeStatus::Unreadable},
        Case{"NoEndUnreadable", typed("2", "8"),
            [](const QByteArray& png) { return png.left(png.size() - 12); }, false,
            DecodeStatus::Unreadable}),
    [](const auto& info) { return std::string(info.param.name); });

// Raw samples written by `convert`, then one sample changed: the two files
// must never decode to the same picture.
struct NearMiss {
    const char* name;
    const char* raw; // convert's raw input form
    int depth;
    int channels;
    QStringList output; // convert arguments for the PNG written
    int changedByte; // from the end of the raw samples
    std::uint8_t flip;
};

void PrintTo(const NearMiss& c, std::ostream* os)
{
    *os << c.name;
}

class StaysApart : public ::testing::TestWithParam<NearMiss> { };

TEST_P(StaysApart, OneSampleApart)
{
    const NearMiss& c = GetParam();
    QTemporaryDir folder;
    const int width = 37;
    const int height = 11;
    QByteArray raw(width * height * c.channels * c.depth / 8, '\0');
    for (qsizetype i = 0; i < raw.size(); ++i)
        raw[i] = char((i * 131 + i / 7) & 0x80 ? 0xFF : 0); // few colours: a palette holds them all
    QByteArray changed = raw;
    changed[changed.size() - c.changedByte]
        = char(changed[changed.size() - c.changedByte] ^ c.flip);
    const QStringList input
        = {QStringLiteral("-size"), QStringLiteral("%1x%2").arg(width).arg(height),
            QStringLiteral("-depth"), QString::number(c.depth), QLatin1String(c.raw) + ":-"};
    const QByteArray first = convertTo(folder, input + c.output, raw);
    const QByteArray second = convertTo(folder, input + c.output, changed);
    ASSERT_FALSE(first.isEmpty());
    ASSERT_FALSE(second.isEmpty());
    const std::optional<DecodeOutcome> a = png::decodeWholeInflate(bytesOf(first), {});
    const std::optional<DecodeOutcome> b = png::decodeWholeInflate(bytesOf(second), {});
    ASSERT_TRUE(a && b) << "left to libpng";
    ASSERT_EQ(a->status, DecodeStatus::Ok);
    ASSERT_EQ(b->status, DecodeStatus::Ok);
    EXPECT_FALSE(a->picture.frames == b->picture.frames);
    EXPECT_TRUE(a->picture.frames == png::decodeWithLibpng(bytesOf(first)).picture.frames);
    EXPECT_TRUE(b->picture.frames == png::decodeWithLibpng(bytesOf(second)).picture.frames);
}

INSTANTIATE_TEST_SUITE_P(Files, StaysApart,
    ::testing::Values(
        NearMiss{"Rgb16LowBitOfLastSample", "rgb", 16, 3, {"-define", "png:color-type=2"}, 1, 0x01},
        NearMiss{"Rgba16LowBitOfAlpha", "rgba", 16, 4, {"-define", "png:color-type=6"}, 1, 0x01},
        NearMiss{"Rgb8LastPixel", "rgb", 8, 3, {"-define", "png:color-type=2"}, 2, 0x01},
        NearMiss{"GreyAlpha8Alpha", "graya", 8, 2, {"-define", "png:color-type=4"}, 1, 0x10},
        NearMiss{"Grey1LastPixel", "gray", 8, 1,
            {"-define", "png:color-type=0", "-define", "png:bit-depth=1"}, 1, 0xFF},
        NearMiss{"PaletteAlphaOfOnePixel", "rgba", 8, 4, {"png8:"}, 1, 0xFF},
        NearMiss{"PaletteLastIndex", "rgb", 8, 3,
            {"-define", "png:color-type=3", "-define", "png:bit-depth=8"}, 1, 0xFF}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
