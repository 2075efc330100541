// What the header readers say of a file's pixels before any is decoded: may
// it hold more than one 8-bit RGBA picture carries? The neighbour search
// trusts a "no" and judges a "yes" by the fingerprint of all the file holds,
// so every layout that hides samples from an 8-bit RGBA picture must say yes.
// Each row is a real file, and the decoded picture must agree with a "no".

#include "FalsePairFiles.h"

#include "decoding/PictureDecoders.h"
#include "finder/PictureReader.h"

#include <gtest/gtest.h>

#include <array>

using namespace FalsePairFiles;
using namespace FormatFiles;

namespace {

struct BeyondCase {
    const char* name;
    const char* file;
    std::function<void(Folder&, const std::string& name)> make;
    bool beyond;
};

void PrintTo(const BeyondCase& c, std::ostream* os)
{
    *os << c.name;
}

QStringList plasma(const char* size = "48x32")
{
    return {QStringLiteral("-size"), QLatin1String(size), QStringLiteral("-seed"),
        QStringLiteral("3"), QStringLiteral("plasma:")};
}

// `convert` with these arguments, then the file.
auto convert(QStringList arguments, const char* prefix = "")
{
    return [arguments, prefix](Folder& f, const std::string& name) {
        f.make(QStringLiteral("convert"),
            QStringList(arguments) << QLatin1String(prefix) + f.path(name));
    };
}

auto tiffOf(TiffLayout layout)
{
    return [layout](Folder& f, const std::string& name) { f.tiff(name, layout); };
}

auto jpegOf(std::vector<std::uint8_t> colour)
{
    return [colour](Folder& f, const std::string& name) { f.jpeg(name, colour); };
}

QByteArray pngChunk(const char* type, const QByteArray& body)
{
    QByteArray chunk(4, '\0');
    const auto length = std::uint32_t(body.size());
    for (int i = 0; i < 4; ++i)
        chunk[i] = char(length >> (24 - 8 * i));
    return chunk + type + body + QByteArray(4, '\0');
}

// A PNG with an animation control chunk (two frames) right after its header
// chunk, or just before its end chunk, where it announces nothing.
auto pngWithAnimationChunk(bool beforeImageData)
{
    return [beforeImageData](Folder& f, const std::string& name) {
        f.png(name, rgbaImage([](int x, int y) { return qRgb(x * 5, y * 7, 90); }));
        QByteArray bytes = readBytes(f.path(name));
        const QByteArray acTL = pngChunk("acTL", QByteArray::fromHex("0000000200000000"));
        const qsizetype at = beforeImageData ? 33 : bytes.size() - 12;
        EXPECT_TRUE(writeBytes(f.path(name), bytes.left(at) + acTL + bytes.mid(at)));
    };
}

// A bit-field bitmap of 8 x 4 pixels, 16 or 32 bits a pixel, with the given
// red, green and blue masks (after a 40-byte header); `pixel` gives each
// stored pixel value.
auto bitFieldBmp(
    int bits, std::array<std::uint32_t, 3> masks, std::function<std::uint32_t(int x, int y)> pixel)
{
    return [=](Folder& f, const std::string& name) {
        constexpr int width = 8, height = 4;
        const int rowBytes = (width * bits / 8 + 3) & ~3;
        QByteArray bmp;
        const auto put = [&bmp](std::uint32_t value, int bytes) {
            for (int i = 0; i < bytes; ++i)
                bmp.append(char(value >> (8 * i)));
        };
        const std::uint32_t offset = 14 + 40 + 12;
        bmp.append("BM");
        put(offset + std::uint32_t(rowBytes * height), 4);
        put(0, 4);
        put(offset, 4);
        put(40, 4);
        put(width, 4);
        put(height, 4);
        put(1, 2);
        put(std::uint32_t(bits), 2);
        put(3, 4); // bit fields
        put(std::uint32_t(rowBytes * height), 4);
        put(2835, 4);
        put(2835, 4);
        put(0, 4);
        put(0, 4);
        for (const std::uint32_t mask : masks)
            put(mask, 4);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x)
                put(pixel(x, y), bits / 8);
            bmp.append(QByteArray(rowBytes - width * bits / 8, '\0'));
        }
        EXPECT_TRUE(writeBytes(f.path(name), bmp));
    };
}

// 10 bits a colour; `lowBit` is added to one blue sample.
auto tenBitBmp(std::uint32_t lowBit)
{
    return bitFieldBmp(32, {0x3FF00000u, 0x000FFC00u, 0x000003FFu}, [lowBit](int x, int y) {
        return (std::uint32_t(x * 100) << 20) | (std::uint32_t(y * 200) << 10)
            | (std::uint32_t(512) + (x == 3 && y == 2 ? lowBit : 0));
    });
}

// An RGB JP2 whose header box gains a channel definition that makes its third
// component alpha: the header's three components are not three colours.
auto jp2WithThirdComponentAsAlpha()
{
    return [](Folder& f, const std::string& name) {
        f.make(QStringLiteral("convert"),
            plasma() << QStringLiteral("-depth") << QStringLiteral("8") << f.path(name));
        QByteArray bytes = readBytes(f.path(name));
        const qsizetype at = bytes.indexOf("jp2h") - 4;
        ASSERT_GE(at, 0);
        const QByteArray cdef = QByteArray::fromHex("0000001c63646566 0003"
                                                    "000000000001 000100000002 000200010000");
        const auto length = quint32(quint8(bytes[at]) << 24 | quint8(bytes[at + 1]) << 16
            | quint8(bytes[at + 2]) << 8 | quint8(bytes[at + 3]));
        const quint32 grown = length + quint32(cdef.size());
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = char(grown >> (24 - 8 * i));
        bytes.insert(at + qsizetype(length), cdef);
        EXPECT_TRUE(writeBytes(f.path(name), bytes));
    };
}

TiffLayout rgb8(std::vector<std::uint16_t> extraTypes)
{
    TiffLayout layout;
    layout.samples = std::uint16_t(3 + extraTypes.size());
    layout.extraTypes = std::move(extraTypes);
    layout.sample = [](int x, int y, int s) { return pattern(x, y, s, 8); };
    return layout;
}

TiffLayout grey(std::uint16_t bits, std::uint16_t format = SAMPLEFORMAT_UINT)
{
    TiffLayout layout;
    layout.photometric = PHOTOMETRIC_MINISBLACK;
    layout.samples = 1;
    layout.bits = bits;
    layout.format = format;
    layout.sample = [bits](int x, int y, int) { return pattern(x, y, 0, bits); };
    return layout;
}

TiffLayout ycbcr()
{
    TiffLayout layout;
    layout.photometric = PHOTOMETRIC_YCBCR;
    layout.sample = [](int x, int y, int s) { return pattern(x, y, s, 8); };
    return layout;
}

const BeyondCase kCases[] = {
    {"TiffOfOnePage", "a.tif",
        convert(plasma() << "-depth"
                         << "8"),
        false},
    {"TiffOfTwoPages", "a.tif",
        convert(plasma() + plasma() << "-depth"
                                    << "8"),
        true},
    {"BigEndianTiffOfTwoPages", "a.tif",
        convert(plasma() + plasma() << "-depth"
                                    << "8"
                                    << "-endian"
                                    << "MSB"),
        true},
    {"BigTiffOfTwoPages", "a.tif",
        convert(plasma() + plasma() << "-depth"
                                    << "8",
            "TIFF64:"),
        true},
    {"TiffWrittenByQt", "a.tif",
        [](Folder& f, const std::string& name) {
            EXPECT_TRUE(rgbaImage([](int x, int y) { return qRgb(x, y, 7); }).save(f.path(name)));
        },
        false},
    {"TiffOf8BitGrey", "a.tif", tiffOf(grey(8)), false},
    {"TiffOf16BitGrey", "a.tif", tiffOf(grey(16)), true},
    {"TiffOf16BitRgb", "a.tif", tiffOf(rgb16(SAMPLEFORMAT_UINT, 0)), true},
    {"TiffOfSignedSamples", "a.tif", tiffOf(grey(8, SAMPLEFORMAT_INT)), true},
    {"TiffOfFloatingPointSamples", "a.tif", tiffOf(grey(32, SAMPLEFORMAT_IEEEFP)), true},
    {"TiffOfInks", "a.tif", tiffOf(cmyk(8, {0, 0, 0, 255})), true},
    {"TiffInYCbCr", "a.tif", tiffOf(ycbcr()), true},
    {"TiffWithStraightAlpha", "a.tif", tiffOf(rgb8({EXTRASAMPLE_UNASSALPHA})), false},
    {"TiffWithPremultipliedAlpha", "a.tif", tiffOf(rgb8({EXTRASAMPLE_ASSOCALPHA})), true},
    {"TiffWithADataSample", "a.tif", tiffOf(rgb8({EXTRASAMPLE_UNSPECIFIED})), true},
    {"TiffWithAlphaAndAFifthSample", "a.tif",
        tiffOf(rgb8({EXTRASAMPLE_UNASSALPHA, EXTRASAMPLE_UNSPECIFIED})), true},
    {"TiffPaletteOfWidenedEntries", "a.tif", tiffOf(palette(0)), false},
    {"TiffPaletteOf16BitEntries", "a.tif", tiffOf(palette(3)), true},
    {"PngOf8Bits", "a.png",
        convert(plasma() << "-depth"
                         << "8"),
        false},
    {"PngOf16Bits", "a.png",
        convert(plasma() << "-depth"
                         << "16"),
        true},
    // The header cannot see that every sample is v * 257; the pixels can.
    {"PngOf16BitsHoldingAn8BitPicture", "a.png",
        convert(plasma() << "-depth"
                         << "8",
            "PNG48:"),
        true},
    {"PngWrittenByQt", "a.png",
        [](Folder& f, const std::string& name) {
            f.png(name, rgbaImage([](int x, int y) { return qRgba(x, y, 7, 200); }));
        },
        false},
    {"PngPalette", "a.png",
        convert(plasma() << "-colors"
                         << "13",
            "png8:"),
        false},
    {"AnimatedPng", "a.png", pngWithAnimationChunk(true), true},
    {"AnimationChunkAfterTheImageData", "a.png", pngWithAnimationChunk(false), false},
    {"Jp2Of8Bits", "a.jp2",
        convert(plasma() << "-depth"
                         << "8"),
        false},
    {"Jp2Of16Bits", "a.jp2",
        convert(plasma() << "-depth"
                         << "16"),
        true},
    {"Jp2WithAChannelDefinition", "a.jp2", jp2WithThirdComponentAsAlpha(), true},
    {"CodestreamOf8Bits", "a.j2k",
        convert(plasma() << "-depth"
                         << "8"),
        false},
    {"CodestreamOf12Bits", "a.j2k",
        convert(plasma() << "-depth"
                         << "12"),
        true},
    {"JpegInRgb", "a.jpg", jpegOf({10, 200, 30}), false},
    {"JpegInGrey", "a.jpg",
        convert(plasma() << "-colorspace"
                         << "Gray"),
        false},
    {"JpegOfInks", "a.jpg", jpegOf({0, 255, 255, 0}), true},
    {"StillGif", "a.gif", convert(plasma()), false},
    {"AnimatedGif", "a.gif",
        convert(plasma() + plasma("48x32") << "-loop"
                                           << "0"),
        true},
    {"Bmp", "a.bmp", convert(plasma()), false},
    {"BmpOf565BitFields", "a.bmp",
        bitFieldBmp(16, {0xF800u, 0x07E0u, 0x001Fu},
            [](int x, int y) { return std::uint32_t((x * 4) << 11 | (y * 9) << 5 | 17); }),
        false},
    {"BmpOf10BitFields", "a.bmp", tenBitBmp(0), true},
};

class BeyondEightBitRgba : public ::testing::TestWithParam<BeyondCase> { };

TEST_P(BeyondEightBitRgba, IsToldFromTheHeader)
{
    const BeyondCase& c = GetParam();
    Folder folder;
    c.make(folder, c.file);
    ASSERT_FALSE(::testing::Test::HasFailure());
    const QByteArray file = readBytes(folder.path(c.file));
    const decoding::PictureHeader header = decoding::readHeader(bytesOf(file));
    ASSERT_TRUE(header.ok);
    EXPECT_EQ(header.beyondEightBitRgba, c.beyond);
    // A "no" is a promise about the pixels: one frame of 8-bit unsigned RGBA.
    if (!header.beyondEightBitRgba) {
        const decoding::DecodeOutcome outcome = finder::decodePicture(bytesOf(file), header.type);
        ASSERT_EQ(outcome.status, decoding::DecodeStatus::Ok) << outcome.reason;
        EXPECT_EQ(outcome.picture.frames.size(), 1u);
        EXPECT_EQ(outcome.picture.bytesPerSample, 1);
        EXPECT_TRUE(outcome.picture.isRgba());
    }
}

// Qt would read two such bitmaps a low bit apart as the same picture: neither
// search reads them at all (the window's loader and the whole-folder search
// share the Qt adapter this refusal sits in).
TEST(BeyondEightBitRgba, BitmapsWithWiderColourFieldsAreNotRead)
{
    Folder folder;
    tenBitBmp(0)(folder, "a.bmp");
    tenBitBmp(1)(folder, "b.bmp");
    for (const char* name : {"a.bmp", "b.bmp"}) {
        const QByteArray file = readBytes(folder.path(name));
        const decoding::DecodeOutcome outcome
            = finder::decodePicture(bytesOf(file), decoding::PictureType::Bmp);
        EXPECT_EQ(outcome.status, decoding::DecodeStatus::Unreadable) << name;
        EXPECT_NE(outcome.reason.find("wider than 8 bits"), std::string::npos) << outcome.reason;
    }
}

INSTANTIATE_TEST_SUITE_P(Files, BeyondEightBitRgba, ::testing::ValuesIn(kCases),
    [](const ::testing::TestParamInfo<BeyondCase>& info) { return std::string(info.param.name); });

} // namespace
