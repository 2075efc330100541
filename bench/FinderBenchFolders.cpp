// Writes the folders the whole-folder search is measured on, once, into a
// cache folder (each made under a temporary name and renamed when whole):
//
//   finder2000/  2,000 photo-like pictures, duplicates included: 1,500
//                different JPEGs in three sizes, and in copies/ 150 byte
//                copies, 120 PNG and 80 BMP files of JPEGs' decoded pixels,
//                100 JPEGs with a comment added, 50 PNGs at another
//                compression level.
//   tiny100k/    100,000 tiny PNGs (8 or 9 pixels a side, every tenth a byte
//                copy of the one before), ten subfolders part00..part09 of
//                10,000 each; tiny so the folder stays small on disk.
//
// Usage: FinderBenchFolders <cache folder>
#include "PhotoLike.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>

#include <cstdio>

namespace {

QByteArray encode(const QImage& image, const char* format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (quality >= 0)
        writer.setQuality(quality);
    return writer.write(image) ? bytes : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return !bytes.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A comment segment right after the start-of-image marker: new bytes, the same pixels.
QByteArray withComment(const QByteArray& jpeg, int number)
{
    const QByteArray text = "Edited in a photo manager, " + QByteArray::number(number);
    QByteArray segment("\xFF\xFE");
    segment += char((text.size() + 2) >> 8);
    segment += char((text.size() + 2) & 0xFF);
    segment += text;
    return jpeg.left(2) + segment + jpeg.mid(2);
}

bool makeFinder2000(const QString& folder)
{
    QDir(folder).mkpath(QStringLiteral("copies"));
    const QSize sizes[] = {{320, 240}, {240, 320}, {400, 300}};
    std::vector<QByteArray> jpegs;
    for (int i = 0; i < 1500; ++i) {
        const QImage picture
            = photoLike(sizes[i % 3].width(), sizes[i % 3].height(), quint32(1000 + i));
        jpegs.push_back(encode(picture, "jpeg", 85));
        if (!writeFile(folder + QStringLiteral("/photo%1.jpg").arg(i, 4, 10, QLatin1Char('0')),
                jpegs.back()))
            return false;
    }
    const QString copies = folder + QStringLiteral("/copies/");
    bool ok = true;
    for (int i = 0; i < 150; ++i)
        ok = ok
            && writeFile(copies + QStringLiteral("copy%1.jpg").arg(i), jpegs[std::size_t(i * 7)]);
    for (int i = 0; i < 120; ++i) {
        const QImage pixels = QImage::fromData(jpegs[std::size_t(i * 11 + 1)], "jpeg");
        ok = ok
            && writeFile(copies + QStringLiteral("lossless%1.png").arg(i), encode(pixels, "png"));
        if (i < 50)
            ok = ok
                && writeFile(copies + QStringLiteral("lossless%1-light.png").arg(i),
                    encode(pixels, "png", 100));
    }
    for (int i = 0; i < 80; ++i) {
        const QImage pixels = QImage::fromData(jpegs[std::size_t(i * 13 + 2)], "jpeg");
        ok = ok && writeFile(copies + QStringLiteral("bitmap%1.bmp").arg(i), encode(pixels, "bmp"));
    }
    for (int i = 0; i < 100; ++i)
        ok = ok
            && writeFile(copies + QStringLiteral("tagged%1.jpg").arg(i),
                withComment(jpegs[std::size_t(i * 3 + 5)], i));
    return ok;
}

bool makeTiny100k(const QString& folder)
{
    QByteArray previous;
    for (int part = 0; part < 10; ++part) {
        const QString partFolder
            = folder + QStringLiteral("/part%1").arg(part, 2, 10, QLatin1Char('0'));
        QDir().mkpath(partFolder);
        for (int i = 0; i < 10000; ++i) {
            const int n = part * 10000 + i;
            QByteArray bytes = previous;
            if (i % 10 != 9 || previous.isEmpty()) {
                QImage picture(8 + n % 2, 8 + (n / 2) % 2, QImage::Format_RGB32);
                quint32 state = quint32(n) * 2654435761u + 7;
                for (int y = 0; y < picture.height(); ++y) {
                    for (int x = 0; x < picture.width(); ++x) {
                        state = state * 1664525u + 1013904223u;
                        picture.setPixel(x, y, state >> 8);
                    }
                }
                bytes = encode(picture, "png");
            }
            if (!writeFile(
                    partFolder + QStringLiteral("/t%1.png").arg(n, 6, 10, QLatin1Char('0')), bytes))
                return false;
            previous = bytes;
        }
    }
    return true;
}

// Makes cache/name with make() unless it is already there.
bool ensure(const QString& cache, const QString& name, bool (*make)(const QString&))
{
    const QString target = cache + QLatin1Char('/') + name;
    if (QDir(target).exists())
        return true;
    const QString partial = target + QStringLiteral(".partial");
    QDir(partial).removeRecursively();
    if (!QDir().mkpath(partial) || !make(partial))
        return false;
    return QDir().rename(partial, target);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: FinderBenchFolders <cache folder>\n");
        return 2;
    }
    const QString cache = QString::fromLocal8Bit(argv[1]);
    if (!ensure(cache, QStringLiteral("finder2000"), makeFinder2000)
        || !ensure(cache, QStringLiteral("tiny100k"), makeTiny100k)) {
        std::fprintf(stderr, "FinderBenchFolders: cannot write the folders in %s\n", argv[1]);
        return 1;
    }
    return 0;
}
