#include "search/HiddenContent.h"

#include <QBuffer>
#include <QImage>

#include <gtest/gtest.h>

namespace {

QByteArray saved(const char* format)
{
    QImage image(5, 4, QImage::Format_RGB32);
    image.fill(qRgb(10, 20, 30));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// Hex digits; blanks only group them.
QByteArray hex(const char* digits)
{
    return QByteArray::fromHex(digits);
}

QByteArray chunk(const char* type, const QByteArray& data)
{
    return hex(QByteArray::number(data.size(), 16).rightJustified(8, '0')) + type + data
        + QByteArray(4, '\0');
}

// A PNG header chunk for a 1 x 1 RGB picture of `depth` bits a sample.
QByteArray png(int depth)
{
    return "\x89PNG\r\n\x1a\n"
        + chunk("IHDR", hex("00000001 00000001") + char(depth) + hex("02 00 00 00"));
}

TEST(HiddenContent, PagesAnimationsAndDeepSamplesAreFoundInTheHeaders)
{
    // A JP2 file up to its image header box: signature, file type, then
    // "jp2h" holding "ihdr" (height, width, components, bits less one).
    auto jp2 = [](const char* bitsLessOne) {
        return hex("0000000c 6a502020 0d0a870a")
            + hex("00000014 66747970 6a703220 00000000 6a703220") + hex("0000001e 6a703268")
            + hex("00000016 69686472 00000001 00000001 0003") + hex(bitsLessOne) + hex("07 00 00");
    };
    // A codestream: SOC, SIZ of 41 + 3 bytes, one component of Ssiz bits less one.
    auto codestream = [](const char* ssiz) {
        return hex("ff4f ff51 0029 0000") + QByteArray(32, '\0') + hex("0001") + hex(ssiz)
            + hex("0101");
    };
    struct Row {
        const char* name;
        QByteArray bytes;
        bool present;
    };
    const Row rows[] = {
        // Classic TIFF: first directory at 8, its entries, then the next directory's offset.
        {"tiff of one page", hex("49492a00 08000000 0000 00000000"), false},
        {"tiff of two pages", hex("49492a00 08000000 0000 0e000000 0000 00000000"), true},
        {"big-endian tiff of two pages", hex("4d4d002a 00000008 0000 0000000e"), true},
        {"tiff linking to itself", hex("49492a00 08000000 0000 08000000"), false},
        {"tiff whose directory lies past the end", hex("49492a00 ff000000"), false},
        {"tiff with too many entries", hex("49492a00 08000000 ffff 0e000000"), false},
        {"big tiff of two pages",
            hex("49492b00 0800 0000 1000000000000000 0000000000000000 2000000000000000"), true},
        // BitsPerSample (258), SHORT: one value in the entry, or three at an offset.
        {"tiff of 8-bit grey", hex("49492a00 08000000 0100 0201 0300 01000000 0800 0000 00000000"),
            false},
        {"tiff of 16-bit grey", hex("49492a00 08000000 0100 0201 0300 01000000 1000 0000 00000000"),
            true},
        {"tiff of 8-bit rgb",
            hex("49492a00 08000000 0100 0201 0300 03000000 1a000000 00000000 0800 0800 0800"),
            false},
        {"tiff of 16-bit rgb",
            hex("49492a00 08000000 0100 0201 0300 03000000 1a000000 00000000 1000 1000 1000"),
            true},
        {"tiff written by Qt", saved("tif"), false},
        {"png of 8 bits", png(8), false},
        {"png of 16 bits", png(16), true},
        {"png written by Qt", saved("png"), false},
        {"animated png", png(8) + chunk("acTL", QByteArray(8, '\0')) + chunk("IDAT", "abc"), true},
        {"animation chunk after the image data",
            png(8) + chunk("IDAT", "abc") + chunk("acTL", QByteArray(8, '\0')), false},
        {"png cut inside a chunk", png(8).left(20), false},
        {"jp2 of 8 bits", jp2("07"), false},
        {"jp2 of 16 bits", jp2("0f"), true},
        {"jp2 of mixed depths", jp2("ff"), true},
        {"codestream of 8 bits", codestream("07"), false},
        {"codestream of 12 bits", codestream("0b"), true},
        {"empty", QByteArray(), false},
    };
    for (const Row& row : rows) {
        QBuffer file;
        file.setData(row.bytes);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(HiddenContent::present(file), row.present) << row.name;
    }
}

} // namespace
