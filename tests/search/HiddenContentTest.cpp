#include "search/LaterPictures.h"

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

QByteArray chunk(const char* type, int length)
{
    return QByteArray::fromHex(QByteArray::number(length, 16).rightJustified(8, '0')) + type
        + QByteArray(length, '\0') + QByteArray(4, '\0');
}

TEST(LaterPictures, SecondPagesAndAnimationsAreFoundInTheHeaders)
{
    const QByteArray png = "\x89PNG\r\n\x1a\n" + chunk("IHDR", 13);
    struct Row {
        const char* name;
        QByteArray bytes;
        bool present;
    };
    const Row rows[] = {
        // Classic TIFF: first directory at 8 with no entries, then the next one.
        {"tiff of one page",
            QByteArray::fromHex("49492a00"
                                "08000000"
                                "0000"
                                "00000000"),
            false},
        {"tiff of two pages",
            QByteArray::fromHex("49492a00"
                                "08000000"
                                "0000"
                                "0e000000"
                                "0000"
                                "00000000"),
            true},
        {"big-endian tiff of two pages",
            QByteArray::fromHex("4d4d002a"
                                "00000008"
                                "0000"
                                "0000000e"),
            true},
        {"tiff linking to itself",
            QByteArray::fromHex("49492a00"
                                "08000000"
                                "0000"
                                "08000000"),
            false},
        {"tiff whose directory lies past the end",
            QByteArray::fromHex("49492a00"
                                "ff000000"),
            false},
        {"tiff with too many entries",
            QByteArray::fromHex("49492a00"
                                "08000000"
                                "ffff"
                                "0e000000"),
            false},
        {"big tiff of two pages",
            QByteArray::fromHex("49492b00"
                                "0800"
                                "0000"
                                "1000000000000000"
                                "0000000000000000"
                                "2000000000000000"),
            true},
        {"tiff written by Qt", saved("tif"), false},
        {"png written by Qt", saved("png"), false},
        {"animated png", png + chunk("acTL", 8) + chunk("IDAT", 3), true},
        {"animation chunk after the image data", png + chunk("IDAT", 3) + chunk("acTL", 8), false},
        {"png cut inside a chunk", png.left(20), false},
        {"empty", QByteArray(), false},
    };
    for (const Row& row : rows) {
        QBuffer file;
        file.setData(row.bytes);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(LaterPictures::present(file), row.present) << row.name;
    }
}

} // namespace
