#include "decoding/BmpJpegGifHeaders.h"

#include <QBuffer>
#include <QImage>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

QByteArray encode(const char* format)
{
    QImage image(23, 17, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 11, y * 13, (x * y) & 255));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

using decoding::PictureType;

struct Row {
    const char* name;
    PictureType type;
    QByteArray bytes;
    bool complete;
};

bool isComplete(const QByteArray& bytes, PictureType type)
{
    return decoding::isComplete(
        decoding::Bytes(
            reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())),
        type);
}

// A GIF of one 1 x 1 picture, written out block by block.
const QByteArray kGif = QByteArray::fromHex("474946383961"
                                            "01000100"
                                            "800000" // header, screen
                                            "000000ffffff" // two colours
                                            "2c"
                                            "0000000001000100"
                                            "00" // picture at 0,0, 1 x 1
                                            "02"
                                            "024401"
                                            "00" // code size, one data block, end
                                            "3b"); // trailer

TEST(Completeness, CutOffAndMislabelledFilesAreNotComplete)
{
    const QByteArray bmp = encode("bmp");
    const QByteArray jpg = encode("jpg");
    const QByteArray png = encode("png");
    ASSERT_FALSE(bmp.isEmpty());
    ASSERT_FALSE(jpg.isEmpty());
    const Row rows[] = {
        {"whole bmp", PictureType::Bmp, bmp, true},
        {"bmp with trailing bytes", PictureType::Bmp, bmp + "tail", true},
        {"bmp one byte short", PictureType::Bmp, bmp.left(bmp.size() - 1), false},
        {"bmp header only", PictureType::Bmp, bmp.left(54), false},
        {"bmp named as jpeg", PictureType::Jpeg, bmp, false},
        {"whole jpeg", PictureType::Jpeg, jpg, true},
        {"jpeg with trailing bytes", PictureType::Jpeg, jpg + QByteArray(40, '\0'), true},
        {"jpeg without its end marker", PictureType::Jpeg, jpg.left(jpg.size() - 2), false},
        {"jpeg cut in its scan", PictureType::Jpeg, jpg.left(jpg.size() / 2), false},
        {"jpeg cut in a header", PictureType::Jpeg, jpg.left(30), false},
        {"png named as jpeg", PictureType::Jpeg, png, false},
        {"whole gif", PictureType::Gif, kGif, true},
        {"gif without trailer", PictureType::Gif, kGif.chopped(1), true},
        {"gif cut in its picture", PictureType::Gif, kGif.chopped(3), false},
        {"gif with only a header", PictureType::Gif, kGif.left(18), false},
        {"gif with junk for a block", PictureType::Gif, kGif.chopped(1) + "junk", false},
        {"empty", PictureType::Bmp, QByteArray(), false},
        {"unknown kind", PictureType::Unknown, bmp, false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(isComplete(row.bytes, row.type), row.complete) << row.name;
}

TEST(Completeness, BmpHeadersThatCannotHoldTheirRowsAreRefused)
{
    // 40-byte header, pixels at 54; width, height and depth given per row.
    auto bmp = [](qint32 width, qint32 height, quint16 bits, int pixelBytes) {
        QByteArray bytes(54 + pixelBytes, '\0');
        bytes[0] = 'B';
        bytes[1] = 'M';
        qToLittleEndian<quint32>(54, bytes.data() + 10);
        qToLittleEndian<quint32>(40, bytes.data() + 14);
        qToLittleEndian<qint32>(width, bytes.data() + 18);
        qToLittleEndian<qint32>(height, bytes.data() + 22);
        qToLittleEndian<quint16>(1, bytes.data() + 26);
        qToLittleEndian<quint16>(bits, bytes.data() + 28);
        return bytes;
    };
    EXPECT_TRUE(isComplete(bmp(3, 2, 24, 24), PictureType::Bmp)); // rows of 12
    EXPECT_TRUE(isComplete(bmp(3, -2, 24, 24), PictureType::Bmp)); // top-down
    EXPECT_FALSE(isComplete(bmp(3, 2, 24, 23), PictureType::Bmp));
    EXPECT_FALSE(isComplete(bmp(60000, 60000, 24, 8), PictureType::Bmp));
    EXPECT_FALSE(isComplete(bmp(0x7fffffff, 0x7fffffff, 32, 8), PictureType::Bmp));
    EXPECT_FALSE(isComplete(bmp(-4, 2, 24, 64), PictureType::Bmp));
}

} // namespace
