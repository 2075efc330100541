#include "OrientedFiles.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QStringList>

#include <cstdint>

namespace orientedfiles {

namespace {

constexpr int kWidth = 24;
constexpr int kHeight = 16;

QString run(const QString& program, const QStringList& arguments)
{
    // Debian's ImageMagick, when a newer one shadows it on the path.
    const QString path = program == QLatin1String("convert") && QFile::exists("/usr/bin/convert")
        ? QStringLiteral("/usr/bin/convert")
        : program;
    QProcess process;
    process.start(path, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0)
        return program + QLatin1String(" failed: ")
            + QString::fromLocal8Bit(process.readAllStandardError());
    return QString();
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// 3 x 2 blocks of 8 x 8 pixels, six colours: no turn or mirror of it equals another.
QByteArray uprightPpm()
{
    static const std::uint8_t colours[6][3] = {{200, 30, 40}, {20, 180, 60}, {30, 40, 220},
        {240, 240, 20}, {10, 200, 200}, {150, 20, 160}};
    QByteArray ppm = "P6 24 16 255\n";
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const std::uint8_t* c = colours[(y / 8) * 3 + x / 8];
            ppm.append(reinterpret_cast<const char*>(c), 3);
        }
    }
    return ppm;
}

// ImageMagick's operation that undoes the viewer's turn for each tag value.
QStringList storedTurn(int orientation)
{
    switch (orientation) {
    case 2:
        return {QStringLiteral("-flop")};
    case 3:
        return {QStringLiteral("-rotate"), QStringLiteral("180")};
    case 4:
        return {QStringLiteral("-flip")};
    case 5:
        return {QStringLiteral("-transpose")};
    case 6:
        return {QStringLiteral("-rotate"), QStringLiteral("270")};
    case 7:
        return {QStringLiteral("-transverse")};
    case 8:
        return {QStringLiteral("-rotate"), QStringLiteral("90")};
    default:
        return {};
    }
}

void put16(QByteArray& out, bool big, unsigned value)
{
    const char bytes[2] = {char(big ? value >> 8 : value), char(big ? value : value >> 8)};
    out.append(bytes, 2);
}

void put32(QByteArray& out, bool big, std::uint32_t value)
{
    put16(out, big, big ? value >> 16 : value & 0xFFFF);
    put16(out, big, big ? value & 0xFFFF : value >> 16);
}

// An EXIF block (a TIFF structure) whose one directory holds Orientation.
QByteArray exifBlock(int orientation, bool bigEndian)
{
    QByteArray tiff = bigEndian ? QByteArray("MM\0*", 4) : QByteArray("II*\0", 4);
    put32(tiff, bigEndian, 8);
    put16(tiff, bigEndian, 1); // one entry
    put16(tiff, bigEndian, 274);
    put16(tiff, bigEndian, 3); // SHORT
    put32(tiff, bigEndian, 1);
    put16(tiff, bigEndian, unsigned(orientation));
    put16(tiff, bigEndian, 0);
    put32(tiff, bigEndian, 0); // no next directory
    return tiff;
}

std::uint32_t crc32(const QByteArray& bytes)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char byte : bytes) {
        crc ^= std::uint8_t(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// The APP1 segment goes after the JFIF segment cjpeg writes first.
QByteArray withJpegExif(const QByteArray& jpeg, int orientation)
{
    qsizetype at = 2;
    if (jpeg.size() > 6 && std::uint8_t(jpeg[2]) == 0xFF && std::uint8_t(jpeg[3]) == 0xE0)
        at += 2 + (std::uint8_t(jpeg[4]) << 8 | std::uint8_t(jpeg[5]));
    const QByteArray body = QByteArray("Exif\0\0", 6) + exifBlock(orientation, true);
    QByteArray segment("\xFF\xE1", 2);
    put16(segment, true, unsigned(body.size() + 2));
    return jpeg.left(at) + segment + body + jpeg.mid(at);
}

// The eXIf chunk goes right after IHDR (8 bytes of signature, 25 of IHDR).
QByteArray withPngExif(const QByteArray& png, int orientation)
{
    const QByteArray data = exifBlock(orientation, false);
    QByteArray chunk;
    put32(chunk, true, std::uint32_t(data.size()));
    const QByteArray typed = QByteArray("eXIf") + data;
    chunk += typed;
    put32(chunk, true, crc32(typed));
    return png.left(33) + chunk + png.mid(33);
}

} // namespace

QString suffix(Kind kind)
{
    switch (kind) {
    case Kind::Jpeg:
        return QStringLiteral("jpg");
    case Kind::Tiff:
        return QStringLiteral("tif");
    case Kind::Png:
        return QStringLiteral("png");
    case Kind::WebP:
        return QStringLiteral("webp");
    }
    return QString();
}

QString makeSet(const QString& folder, Kind kind, int orientation)
{
    const QString upPpm = folder + QStringLiteral("/upright.ppm");
    const QString turnedPpm = folder + QStringLiteral("/turned.ppm");
    if (!writeBytes(upPpm, uprightPpm()))
        return QStringLiteral("cannot write the picture");
    QString error = run(QStringLiteral("convert"),
        QStringList{upPpm} + storedTurn(orientation) + QStringList{turnedPpm});
    if (!error.isEmpty())
        return error;
    const QString ext = QLatin1Char('.') + suffix(kind);
    const QString upright = folder + QStringLiteral("/upright") + ext;
    const QString untagged = folder + QStringLiteral("/untagged") + ext;
    const QString tagged = folder + QStringLiteral("/tagged") + ext;
    auto encode = [&](const QString& ppm, const QString& out) {
        switch (kind) {
        case Kind::Jpeg:
            // Every sample at full resolution: flat blocks then decode exactly alike.
            return run(QStringLiteral("cjpeg"),
                {QStringLiteral("-quality"), QStringLiteral("100"), QStringLiteral("-sample"),
                    QStringLiteral("1x1"), QStringLiteral("-outfile"), out, ppm});
        case Kind::Tiff:
            return run(QStringLiteral("convert"),
                {ppm, QStringLiteral("-compress"), QStringLiteral("none"), out});
        case Kind::Png:
            return run(QStringLiteral("convert"), {ppm, out});
        case Kind::WebP: {
            const QString png = out + QStringLiteral(".png");
            const QString made = run(QStringLiteral("convert"), {ppm, png});
            if (!made.isEmpty())
                return made;
            const QString encoded = run(QStringLiteral("cwebp"),
                {QStringLiteral("-quiet"), QStringLiteral("-lossless"), png, QStringLiteral("-o"),
                    out});
            QFile::remove(png);
            return encoded;
        }
        }
        return QStringLiteral("no such kind");
    };
    for (const auto& [ppm, out] : {std::pair{upPpm, upright}, std::pair{turnedPpm, untagged}}) {
        error = encode(ppm, out);
        if (!error.isEmpty())
            return error;
    }
    QFile::remove(upPpm);
    QFile::remove(turnedPpm);

    const QByteArray stored = readBytes(untagged);
    switch (kind) {
    case Kind::Jpeg:
        return writeBytes(tagged, withJpegExif(stored, orientation))
            ? QString()
            : QStringLiteral("cannot write the tagged JPEG");
    case Kind::Png:
        return writeBytes(tagged, withPngExif(stored, orientation))
            ? QString()
            : QStringLiteral("cannot write the tagged PNG");
    case Kind::Tiff:
        if (!QFile::copy(untagged, tagged))
            return QStringLiteral("cannot copy the TIFF");
        return run(QStringLiteral("tiffset"),
            {QStringLiteral("-s"), QStringLiteral("274"), QString::number(orientation), tagged});
    case Kind::WebP: {
        const QString exif = folder + QStringLiteral("/exif.bin");
        if (!writeBytes(exif, exifBlock(orientation, false)))
            return QStringLiteral("cannot write the EXIF block");
        error = run(QStringLiteral("webpmux"),
            {QStringLiteral("-set"), QStringLiteral("exif"), exif, untagged, QStringLiteral("-o"),
                tagged});
        QFile::remove(exif);
        return error;
    }
    }
    return QStringLiteral("no such kind");
}

} // namespace orientedfiles
