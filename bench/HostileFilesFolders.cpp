// Writes the folders of the memory benchmark's hostile files: files of a
// few bytes whose headers claim pictures within the pixel budget.
//   png/   four 16-bit RGBA PNGs that claim 12000 x 12000 with a few bytes
//          of image data
//   gif/   three GIFs that claim 9000 x 9000 with a few LZW codes
//   webp/  two animated WebPs with a 12000 x 12000 canvas and one 1 x 1 frame
//          (a real canvas of that size takes 576 MB)
//   jpeg/  32 JPEGs of about 1.7 KB that claim 12000 x 12000: cjpeg's files of
//          small photo-like pictures, baseline and progressive (two of them
//          progressive 4:4:4, whose coefficients alone would take 864 MB each),
//          with their frame headers changed
//
// Usage: HostileFilesFolders FOLDER
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <webp/encode.h>
#include <zlib.h>

#include <cstdio>
#include <vector>

namespace {

void bigEndian(QByteArray& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char(value >> shift));
}

void littleEndian(QByteArray& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char(value >> (8 * i)));
}

void pngChunk(QByteArray& png, const char* type, const QByteArray& body)
{
    bigEndian(png, std::uint32_t(body.size()));
    const QByteArray typed = QByteArray(type, 4) + body;
    png.append(typed);
    bigEndian(png,
        std::uint32_t(
            crc32(0, reinterpret_cast<const Bytef*>(typed.constData()), uInt(typed.size()))));
}

QByteArray hostilePng(int variant)
{
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    QByteArray header;
    bigEndian(header, 12000);
    bigEndian(header, 12000);
    header.append(char(16)).append(char(6)).append(3, '\0');
    pngChunk(png, "IHDR", header);
    // One size for all, so that each has twins to be decoded for; other bytes.
    pngChunk(png, "tEXt", QByteArray("n\0", 2) + char('0' + variant));
    pngChunk(png, "IDAT", QByteArray::fromHex("789c6360"));
    pngChunk(png, "IEND", {});
    return png;
}

QByteArray hostileGif(int variant)
{
    QByteArray gif("GIF89a");
    littleEndian(gif, 9000, 2);
    littleEndian(gif, 9000, 2);
    gif.append(char(0x80)).append('\0').append('\0');
    gif.append(QByteArray::fromHex("000000ffff")).append(char(variant)); // other bytes
    gif.append(char(0x2C));
    littleEndian(gif, 0, 4);
    littleEndian(gif, 9000, 2);
    littleEndian(gif, 9000, 2);
    gif.append('\0').append(char(2));
    gif.append(QByteArray::fromHex("024c0100"));
    gif.append(char(0x3B));
    return gif;
}

// The VP8L chunk (header and data) of a lossless picture of one colour.
QByteArray losslessChunk(int width, int height)
{
    std::vector<std::uint8_t> pixels(std::size_t(width) * height * 4);
    for (std::size_t i = 0; i < pixels.size(); i += 4) {
        pixels[i] = 40;
        pixels[i + 1] = 90;
        pixels[i + 2] = 200;
        pixels[i + 3] = 255;
    }
    std::uint8_t* out = nullptr;
    const std::size_t size = WebPEncodeLosslessRGBA(pixels.data(), width, height, width * 4, &out);
    const QByteArray file(reinterpret_cast<const char*>(out), qsizetype(size));
    WebPFree(out);
    const qsizetype at = file.indexOf("VP8L");
    return at < 0 ? QByteArray() : file.mid(at);
}

QByteArray animation(std::uint32_t canvas, std::uint32_t frame, const QByteArray& frameChunk,
    std::uint32_t loops = 0)
{
    QByteArray body("WEBP");
    body.append("VP8X");
    littleEndian(body, 10, 4);
    body.append(char(0x02 | 0x10)).append(3, '\0'); // animation, alpha
    littleEndian(body, canvas - 1, 3);
    littleEndian(body, canvas - 1, 3);
    body.append("ANIM");
    littleEndian(body, 6, 4);
    littleEndian(body, 0, 4); // background
    littleEndian(body, loops, 2);
    QByteArray anmf;
    littleEndian(anmf, 0, 3);
    littleEndian(anmf, 0, 3);
    littleEndian(anmf, frame - 1, 3);
    littleEndian(anmf, frame - 1, 3);
    littleEndian(anmf, 100, 3);
    anmf.append('\0');
    anmf.append(frameChunk);
    if (anmf.size() % 2)
        anmf.append('\0');
    body.append("ANMF");
    littleEndian(body, std::uint32_t(anmf.size()), 4);
    body.append(anmf);
    QByteArray file("RIFF");
    littleEndian(file, std::uint32_t(body.size()), 4);
    return file + body;
}

// cjpeg's file of a 32 x 32 picture of fine detail (`variant` shifts it)
// with its frame header claiming 12000 x 12000; empty when cjpeg failed.
QByteArray hostileJpeg(int variant, const QStringList& options)
{
    QTemporaryDir dir;
    QImage image(32, 32, QImage::Format_RGB888);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x)
            image.setPixel(x, y,
                qRgb((x * 53 + y * 7 + variant * 17) & 255, (x * y * 3 + variant) & 255,
                    (x * 11 ^ y * 29) & 255));
    }
    const QString source = dir.filePath(QStringLiteral("source.ppm"));
    const QString jpeg = dir.filePath(QStringLiteral("out.jpg"));
    QProcess cjpeg;
    if (!image.save(source))
        return {};
    cjpeg.start(QStringLiteral("cjpeg"),
        options
            + QStringList{QStringLiteral("-quality"), QStringLiteral("85"),
                QStringLiteral("-outfile"), jpeg, source});
    if (!cjpeg.waitForFinished(60000) || cjpeg.exitCode() != 0)
        return {};
    QFile file(jpeg);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = file.readAll();
    // The frame header: C0 (baseline) or C2 (progressive), after the tables.
    for (qsizetype at = 2; at + 9 < bytes.size();) {
        const auto marker = std::uint8_t(bytes[at + 1]);
        if (marker == 0xC0 || marker == 0xC2) {
            bytes[at + 5] = char(12000 >> 8);
            bytes[at + 6] = char(12000 & 0xFF);
            bytes[at + 7] = char(12000 >> 8);
            bytes[at + 8] = char(12000 & 0xFF);
            return bytes;
        }
        at += 2 + ((std::uint8_t(bytes[at + 2]) << 8) | std::uint8_t(bytes[at + 3]));
    }
    return {};
}

bool write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: HostileFilesFolders FOLDER\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (const char* sub : {"png", "gif", "webp", "jpeg"})
        QDir().mkpath(root + QLatin1Char('/') + QLatin1String(sub));
    bool ok = true;
    for (int i = 0; i < 4; ++i)
        ok = ok && write(root + QStringLiteral("/png/claim%1.png").arg(i), hostilePng(i));
    for (int i = 0; i < 3; ++i)
        ok = ok && write(root + QStringLiteral("/gif/claim%1.gif").arg(i), hostileGif(i));
    const QByteArray tiny = losslessChunk(1, 1);
    ok = ok && !tiny.isEmpty();
    // The same pictures in different bytes (loop counts): both are decoded.
    ok = ok && write(root + QStringLiteral("/webp/claim0.webp"), animation(12000, 1, tiny, 0));
    ok = ok && write(root + QStringLiteral("/webp/claim1.webp"), animation(12000, 1, tiny, 1));
    for (int i = 0; i < 32; ++i) {
        QStringList options;
        if (i % 2)
            options << QStringLiteral("-progressive");
        if (i < 2) // one pair of progressive 4:4:4 files
            options = QStringList{
                QStringLiteral("-progressive"), QStringLiteral("-sample"), QStringLiteral("1x1")};
        const QByteArray jpeg = hostileJpeg(i, options);
        ok = ok && !jpeg.isEmpty()
            && write(
                root + QStringLiteral("/jpeg/claim%1.jpg").arg(i, 2, 10, QLatin1Char('0')), jpeg);
    }
    if (!ok)
        std::fprintf(stderr, "HostileFilesFolders: could not write the folders\n");
    return ok ? 0 : 1;
}
