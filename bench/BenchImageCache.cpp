// Writes the image folders that scripts/bench measures on, once, into a cache
// folder (each folder is made under a temporary name and renamed when whole):
//
//   search2000/  2,000 different pictures, mostly JPEG with some PNG, GIF and
//                BMP, whose sizes climb by 20 to 180 bytes from one file to the
//                next, so the search has to decode nearly every neighbour pair.
//                Each file is encoded a little under its target size and then
//                brought to it exactly by a comment block (JPEG COM, PNG tEXt,
//                GIF comment extension) or, for BMP, bytes after the pixels.
//   pairs24-jpeg/, pairs24-png/
//                24-megapixel duplicate pairs: two JPEG pairs, one PNG pair.
//   convert12/   one 12-megapixel picture as PNG, TIFF and JPEG 2000.
//   convert-extra/ a 64 x 48 PNG and a 24-megapixel JPEG 2000.
//
// Usage: BenchImageCache <cache folder>. GIF and JPEG 2000 files are written by
// ImageMagick (/usr/bin/convert), which Qt cannot write.
#include "PhotoLike.h"
#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>

namespace {

const QString kImageMagick = QStringLiteral("/usr/bin/convert");

constexpr int kSearchImages = 2000;
constexpr qint64 kFirstSize = 40000;

bool runProgram(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    return process.waitForFinished(600000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A smooth colour field under noise of the given amplitude: every picture is
// different, and the amplitude sets how well it compresses.
QImage noisePicture(QRandomGenerator& random, int width, int height, int amplitude)
{
    QImage image(width, height, QImage::Format_RGB32);
    const int r = int(random.bounded(256));
    const int g = int(random.bounded(256));
    const int b = int(random.bounded(256));
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const quint32 n = random.generate();
            const int dr = int(n & 0xff) * amplitude / 256;
            const int dg = int((n >> 8) & 0xff) * amplitude / 256;
            const int db = int((n >> 16) & 0xff) * amplitude / 256;
            line[x] = qRgb(
                (r + x / 4 + dr) & 0xff, (g + y / 4 + dg) & 0xff, (b + (x + y) / 8 + db) & 0xff);
        }
    }
    return image;
}

quint32 crc32(const QByteArray& bytes)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    quint32 c = 0xffffffffu;
    for (char ch : bytes)
        c = table[(c ^ quint8(ch)) & 0xff] ^ (c >> 8);
    return c ^ 0xffffffffu;
}

QByteArray filler(qint64 length)
{
    QByteArray text(length, 'x');
    for (qint64 i = 0; i < length; ++i)
        text[i] = char('a' + i % 26);
    return text;
}

// The smallest padding each format can add, in bytes.
constexpr qint64 kMinimumPadding = 24;

// JPEG: COM segments right after the start-of-image marker.
QByteArray padJpeg(const QByteArray& jpeg, qint64 padding)
{
    QByteArray segments;
    while (padding > 0) {
        qint64 segment = std::min<qint64>(padding, 60000);
        if (padding - segment > 0 && padding - segment < 4)
            segment -= 4;
        const qint64 length = segment - 2; // the length field counts itself
        segments += char(0xff);
        segments += char(0xfe);
        segments += char(length >> 8);
        segments += char(length & 0xff);
        segments += filler(segment - 4);
        padding -= segment;
    }
    return jpeg.left(2) + segments + jpeg.mid(2);
}

// PNG: tEXt chunks in front of the closing IEND chunk.
QByteArray padPng(const QByteArray& png, qint64 padding)
{
    QByteArray chunks;
    while (padding > 0) {
        qint64 chunk = std::min<qint64>(padding, 60000);
        if (padding - chunk > 0 && padding - chunk < 20)
            chunk -= 20;
        const QByteArray body = QByteArray("tEXtComment", 11) + char(0) + filler(chunk - 12 - 8);
        char length[4];
        qToBigEndian(quint32(body.size() - 4), length);
        char crc[4];
        qToBigEndian(crc32(body), crc);
        chunks += QByteArray(length, 4) + body + QByteArray(crc, 4);
        padding -= chunk;
    }
    return png.left(png.size() - 12) + chunks + png.right(12);
}

// GIF: one comment extension after the global colour table.
QByteArray padGif(const QByteArray& gif, qint64 padding)
{
    const quint8 packed = quint8(gif.at(10));
    const int tableBytes = (packed & 0x80) ? 3 * (1 << ((packed & 7) + 1)) : 0;
    const int at = 13 + tableBytes;
    qint64 rest = padding - 3; // introducer, label and terminator
    QList<qint64> blocks; // whole sub-blocks: one length byte and 1..255 data bytes
    while (rest > 257) {
        blocks << 256;
        rest -= 256;
    }
    if (rest == 257)
        blocks << 128 << 129;
    else if (rest >= 2)
        blocks << rest;
    else if (rest == 1) {
        blocks.removeLast();
        blocks << 128 << 129;
    }
    QByteArray extension;
    extension += char(0x21);
    extension += char(0xfe);
    for (qint64 block : blocks) {
        extension += char(block - 1);
        extension += filler(block - 1);
    }
    extension += char(0);
    return gif.left(at) + extension + gif.mid(at);
}

// BMP: bytes after the pixel rows, with the file-size field kept true.
QByteArray padBmp(const QByteArray& bmp, qint64 padding)
{
    QByteArray out = bmp + QByteArray(padding, '\0');
    qToLittleEndian(quint32(out.size()), out.data() + 2);
    return out;
}

enum class Type { Jpeg, Png, Gif, Bmp };

struct Encoder {
    const char* extension;
    int amplitude;
    double bytesPerPixel; // a first guess, refined as files are written
};

std::map<Type, Encoder> g_encoders = {
    {Type::Jpeg, {"jpg", 96, 1.0}},
    {Type::Png, {"png", 12, 1.5}},
    {Type::Gif, {"gif", 256, 1.3}},
    {Type::Bmp, {"bmp", 256, 3.0}},
};

// Encodes a picture of about `pixels` pixels; GIF goes through ImageMagick.
QByteArray encode(Type type, const QImage& image, const QString& scratch)
{
    if (type == Type::Gif) {
        // 256 grey levels keep ImageMagick from reducing colours.
        const QString bmp = scratch + QStringLiteral("/gif-source.bmp");
        const QString gif = scratch + QStringLiteral("/gif-out.gif");
        if (!image.convertToFormat(QImage::Format_Grayscale8).save(bmp, "BMP")
            || !runProgram(kImageMagick, {bmp, gif}))
            return QByteArray();
        return readAll(gif);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const char* format = type == Type::Jpeg ? "JPEG" : type == Type::Png ? "PNG" : "BMP";
    image.save(&buffer, format, type == Type::Jpeg ? 85 : -1);
    return bytes;
}

QByteArray pad(Type type, const QByteArray& bytes, qint64 padding)
{
    switch (type) {
    case Type::Jpeg:
        return padJpeg(bytes, padding);
    case Type::Png:
        return padPng(bytes, padding);
    case Type::Gif:
        return padGif(bytes, padding);
    case Type::Bmp:
        return padBmp(bytes, padding);
    }
    return bytes;
}

bool writeSearchFolder(const QString& folder, const QString& scratch)
{
    QRandomGenerator random(2024);
    qint64 target = kFirstSize;
    std::map<Type, int> counts;
    qint64 padded = 0;
    for (int i = 0; i < kSearchImages; ++i) {
        if (i > 0)
            target += 20 + qint64(random.bounded(161));
        const int dice = int(random.bounded(100));
        const Type type = dice < 80 ? Type::Jpeg
            : dice < 88             ? Type::Png
            : dice < 94             ? Type::Gif
                                    : Type::Bmp;
        Encoder& encoder = g_encoders[type];
        double pixels = 0.95 * double(target - kMinimumPadding) / encoder.bytesPerPixel;
        QByteArray bytes;
        for (int attempt = 0; attempt < 8; ++attempt) {
            const double aspect = 4.0 / 3.0 * (0.9 + 0.2 * random.generateDouble());
            const int width = std::max(8, int(std::sqrt(pixels * aspect)));
            const int height = std::max(8, int(pixels / width));
            bytes = encode(type, noisePicture(random, width, height, encoder.amplitude), scratch);
            if (bytes.isEmpty())
                return false;
            encoder.bytesPerPixel
                = 0.7 * encoder.bytesPerPixel + 0.3 * double(bytes.size()) / (width * height);
            if (bytes.size() <= target - kMinimumPadding)
                break;
            pixels *= 0.9 * double(target - kMinimumPadding) / double(bytes.size());
        }
        if (bytes.size() > target - kMinimumPadding) {
            fprintf(stderr, "cannot fit image %d under %lld bytes\n", i, (long long)target);
            return false;
        }
        padded += target - bytes.size();
        const QByteArray file = pad(type, bytes, target - bytes.size());
        if (file.size() != target) {
            fprintf(stderr, "padding went wrong for image %d\n", i);
            return false;
        }
        const QString name = QStringLiteral("%1/img%2.%3")
                                 .arg(folder)
                                 .arg(i, 4, 10, QLatin1Char('0'))
                                 .arg(QLatin1String(encoder.extension));
        if (!writeAll(name, file))
            return false;
        ++counts[type];
    }
    printf("search2000: %d JPEG, %d PNG, %d GIF, %d BMP, %lld to %lld bytes, %.0f%% padding\n",
        counts[Type::Jpeg], counts[Type::Png], counts[Type::Gif], counts[Type::Bmp],
        (long long)kFirstSize, (long long)target,
        100.0 * double(padded) / double((kFirstSize + target) / 2 * kSearchImages));
    return true;
}

// Duplicate pairs of 24-megapixel pictures of one format.
bool writePairsFolder(const QString& folder, const char* format, quint32 seed, int pairs)
{
    const QString extension = QLatin1String(format) == QLatin1String("PNG") ? QStringLiteral("png")
                                                                            : QStringLiteral("jpg");
    for (int i = 0; i < pairs; ++i) {
        const QString name = QStringLiteral("%1/photo%2.%3").arg(folder).arg(i).arg(extension);
        const QString copy = QStringLiteral("%1/photo%2 copy.%3").arg(folder).arg(i).arg(extension);
        if (!photoLike(6000, 4000, seed + quint32(i)).save(name, format, 90)
            || !QFile::copy(name, copy))
            return false;
    }
    return true;
}

bool writeConvertFolder(const QString& folder)
{
    const QImage image = photoLike(4000, 3000, 12345);
    const QString png = folder + QStringLiteral("/12mp.png");
    return image.save(png)
        && QImageWriter(folder + QStringLiteral("/12mp.tif"), "tiff").write(image)
        && runProgram(kImageMagick, {png, folder + QStringLiteral("/12mp.jp2")});
}

// A tiny PNG (64 x 48, a converter start with almost no decoding) and a
// 24-megapixel JPEG 2000 (the type closest to the converter's time limit).
bool writeConvertExtraFolder(const QString& folder)
{
    const QString png24 = folder + QStringLiteral("/24mp-source.png");
    const bool ok = photoLike(64, 48, 777).save(folder + QStringLiteral("/tiny.png"))
        && photoLike(6000, 4000, 4242).save(png24)
        && runProgram(kImageMagick, {png24, folder + QStringLiteral("/24mp.jp2")});
    QFile::remove(png24);
    return ok;
}

// Makes cache/name through `write` unless it is already there.
bool ensureFolder(
    const QString& cache, const QString& name, const std::function<bool(const QString&)>& write)
{
    const QString final = cache + QLatin1Char('/') + name;
    if (QDir(final).exists())
        return true;
    const QString partial = final + QStringLiteral(".partial");
    QDir(partial).removeRecursively();
    if (!QDir().mkpath(partial) || !write(partial))
        return false;
    return QDir().rename(partial, final);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        fprintf(stderr, "usage: BenchImageCache <cache folder>\n");
        return 2;
    }
    if (!QFile::exists(kImageMagick)) {
        fprintf(stderr, "needs ImageMagick's %s\n", qPrintable(kImageMagick));
        return 1;
    }
    const QString cache = QString::fromLocal8Bit(argv[1]);
    QTemporaryDir scratch;
    const bool ok = ensureFolder(cache, QStringLiteral("search2000"),
                        [&](const QString& f) { return writeSearchFolder(f, scratch.path()); })
        && ensureFolder(cache, QStringLiteral("pairs24-jpeg"),
            [](const QString& f) { return writePairsFolder(f, "JPEG", 1, 2); })
        && ensureFolder(cache, QStringLiteral("pairs24-png"),
            [](const QString& f) { return writePairsFolder(f, "PNG", 3, 1); })
        && ensureFolder(cache, QStringLiteral("convert12"), writeConvertFolder)
        && ensureFolder(cache, QStringLiteral("convert-extra"), writeConvertExtraFolder);
    if (!ok) {
        fprintf(stderr, "cannot write the benchmark images under %s\n", argv[1]);
        return 1;
    }
    return 0;
}
