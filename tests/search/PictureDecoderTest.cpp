#include "search/PictureDecoder.h"
#include "search/ModImageCompare.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// A BMP header that announces width x height 24-bit pixels and holds none.
QByteArray bmpHeader(qint32 width, qint32 height)
{
    QByteArray bytes(54, '\0');
    bytes[0] = 'B';
    bytes[1] = 'M';
    qToLittleEndian<quint32>(54, bytes.data() + 10);
    qToLittleEndian<quint32>(40, bytes.data() + 14);
    qToLittleEndian<qint32>(width, bytes.data() + 18);
    qToLittleEndian<qint32>(height, bytes.data() + 22);
    qToLittleEndian<quint16>(1, bytes.data() + 26);
    qToLittleEndian<quint16>(24, bytes.data() + 28);
    return bytes;
}

} // namespace

TEST(PictureDecoder, FilesDecodeByTheirContentWhateverTheirName)
{
    QTemporaryDir dir;
    QImage image(9, 7, QImage::Format_RGB32);
    image.fill(qRgb(200, 100, 50));
    ASSERT_TRUE(image.save(dir.filePath(QStringLiteral("a.BMP")), "BMP"));
    // A BMP named .gif and a JPEG named .tif are read in process as what they
    // are; a PNG named .jpg needs the converter, and there is none here.
    ASSERT_TRUE(image.save(dir.filePath(QStringLiteral("b.jpg")), "PNG"));
    ASSERT_TRUE(image.save(dir.filePath(QStringLiteral("c.gif")), "BMP"));
    ASSERT_TRUE(image.save(dir.filePath(QStringLiteral("d.tif")), "JPG"));

    PictureDecoder decoder(nullptr);
    EXPECT_TRUE(ModImageCompare::ComparePictures(
        decoder.decode(dir.filePath(QStringLiteral("a.BMP"))), image));
    EXPECT_TRUE(decoder.decode(dir.filePath(QStringLiteral("b.jpg"))).isNull());
    EXPECT_TRUE(ModImageCompare::ComparePictures(
        decoder.decode(dir.filePath(QStringLiteral("c.gif"))), image));
    EXPECT_TRUE(
        ModImageCompare::ComparePictures(decoder.decode(dir.filePath(QStringLiteral("d.tif"))),
            QImage(dir.filePath(QStringLiteral("d.tif")), "JPG")));
}

TEST(PictureDecoder, BadInputGivesANullPicture)
{
    QTemporaryDir dir;
    QImage image(64, 64, QImage::Format_RGB32);
    image.fill(qRgb(1, 2, 3));
    ASSERT_TRUE(image.save(dir.filePath(QStringLiteral("whole.jpg")), "JPG"));
    QFile whole(dir.filePath(QStringLiteral("whole.jpg")));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray jpeg = whole.readAll();

    struct Row {
        const char* name;
        QByteArray bytes;
    };
    const Row rows[] = {
        {"empty.jpg", QByteArray()},
        {"text.gif", QByteArray("not a picture at all")},
        {"header-only.jpg", jpeg.left(20)},
        {"huge.bmp", bmpHeader(60000, 60000)},
        {"negative.bmp", bmpHeader(-5, 0)},
    };
    PictureDecoder decoder(nullptr);
    for (const Row& row : rows) {
        const QString path = dir.filePath(QString::fromLatin1(row.name));
        writeBytes(path, row.bytes);
        EXPECT_TRUE(decoder.decode(path).isNull()) << row.name;
    }
    EXPECT_TRUE(decoder.decode(dir.filePath(QStringLiteral("missing.bmp"))).isNull());
    EXPECT_TRUE(decoder.decode(dir.path()).isNull()); // a folder
}

TEST(PictureDecoder, ConverterTypesNeedTheConverter)
{
    QTemporaryDir dir;
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(dir.filePath(QStringLiteral("a.png")), "PNG"));
    PictureDecoder decoder(nullptr);
    EXPECT_TRUE(decoder.decode(dir.filePath(QStringLiteral("a.png"))).isNull());
    EXPECT_TRUE(PictureDecoder::decodesInProcess(QStringLiteral("gif")));
    EXPECT_FALSE(PictureDecoder::decodesInProcess(QStringLiteral("png")));
}

TEST(PictureDecoder, HundredMegapixelPhotoIsWithinTheBudget)
{
    // 400 MB once decoded: more than Qt's own default allocation limit.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.jpg"));
    {
        QImage big(10000, 10000, QImage::Format_RGB32);
        big.fill(qRgb(30, 60, 90));
        ASSERT_TRUE(big.save(path, "JPG", 10));
    }
    const QImage decoded = PictureDecoder(nullptr).decode(path);
    EXPECT_EQ(decoded.size(), QSize(10000, 10000));
}
