#include "search/HiddenContent.h"

#include "decoding/PictureDecoders.h"
#include "finder/PictureReader.h"
#include "finder/PixelFingerprint.h"
#include "search/ImageLoader.h"

#include <QFile>

#include <vector>

namespace {

using decoding::PictureType;

// The largest file a picture within the pixel budget needs (16-bit RGBA and
// room for metadata); a larger one is refused unread.
constexpr qint64 kLargestFile = qint64(decoding::kPixelBudget) * 8 + 64 * 1024 * 1024;
// A JPEG's frame header follows its metadata, which is rarely longer than
// this; when it is, the whole file is read.
constexpr qint64 kJpegHeadBytes = 256 * 1024;

decoding::Bytes bytesOf(const QByteArray& data)
{
    return {reinterpret_cast<const std::uint8_t*>(data.constData()), std::size_t(data.size())};
}

// The first `most` bytes of the file (all of a shorter one); false when it
// cannot be opened or read, or is larger than any picture needs.
bool readStart(const QString& path, qint64 most, QByteArray* bytes)
{
    QFile file;
    if (!ImageLoader::openRegularFile(path, &file) || file.size() > kLargestFile)
        return false;
    *bytes = file.read(most);
    return file.error() == QFile::NoError;
}

QString textOf(const finder::PixelFingerprint& fingerprint)
{
    const QByteArray digest(reinterpret_cast<const char*>(fingerprint.digest.data()),
        qsizetype(fingerprint.digest.size()));
    return QStringLiteral("pixels %1x%2, %3 frames, %4 bytes a sample, %5")
        .arg(fingerprint.width)
        .arg(fingerprint.height)
        .arg(fingerprint.frames)
        .arg(fingerprint.bytesPerSample)
        .arg(QLatin1String(digest.toHex()));
}

// The fingerprint of the shown picture, as the whole-folder search would
// make it of the same 8-bit RGBA pixels.
finder::PixelFingerprint fingerprintOfShown(const QImage& shown)
{
    const QImage rgba = shown.convertToFormat(QImage::Format_RGBA8888);
    const int width = rgba.width();
    const int height = rgba.height();
    bool opaque = true;
    for (int y = 0; y < height && opaque; ++y) {
        const uchar* row = rgba.constScanLine(y);
        for (int x = 0; x < width; ++x) {
            if (row[4 * x + 3] != 0xFF) {
                opaque = false;
                break;
            }
        }
    }
    finder::EightBitPixelHasher hasher(std::uint32_t(width), std::uint32_t(height), 1, opaque);
    std::vector<std::uint8_t> colours(std::size_t(width) * 3);
    for (int y = 0; y < height; ++y) {
        const uchar* row = rgba.constScanLine(y);
        if (!opaque) {
            hasher.add(row, std::size_t(width) * 4);
            continue;
        }
        for (int x = 0; x < width; ++x) {
            colours[3 * std::size_t(x)] = row[4 * x];
            colours[3 * std::size_t(x) + 1] = row[4 * x + 1];
            colours[3 * std::size_t(x) + 2] = row[4 * x + 2];
        }
        hasher.add(colours.data(), colours.size());
    }
    return hasher.finish();
}

} // namespace

bool HiddenContent::mark(const QString& path, PictureType type, QImage& shown)
{
    // A BMP holds what Qt reads of it, in both searches (Qt's reading
    // refuses one whose colour fields are wider than 8 bits); nothing to read.
    if (type == PictureType::Bmp)
        return true;
    QByteArray bytes;
    if (!readStart(path, type == PictureType::Jpeg ? kJpegHeadBytes : kLargestFile + 1, &bytes))
        return false;
    decoding::PictureHeader header = decoding::readHeader(bytesOf(bytes));
    if (!header.ok && type == PictureType::Jpeg && bytes.size() == kJpegHeadBytes) {
        if (!readStart(path, kLargestFile + 1, &bytes))
            return false;
        header = decoding::readHeader(bytesOf(bytes));
    }
    // The converter's decoders begin with the same header readers, so a PNG,
    // TIFF or JPEG 2000 it read has a header they make out. Qt's JPEG reader
    // gets past bytes the header reader stops at: such a JPEG may hide inks,
    // and is judged by all it holds.
    const bool plain = header.ok ? !header.beyondEightBitRgba : type != PictureType::Jpeg;
    if (plain)
        return true;

    if (type == PictureType::Jpeg && header.ok && bytes.size() == kJpegHeadBytes
        && !readStart(path, kLargestFile + 1, &bytes))
        return false;
    const finder::PictureFingerprint full = finder::fingerprintStoredPicture(bytesOf(bytes), type);
    if (!full.ok)
        return false;
    // Held exactly by the shown picture: nothing is hidden, and the picture
    // meets its 8-bit copies.
    const bool nothingHidden = full.fingerprint == fingerprintOfShown(shown);
    shown.setText(QLatin1String(ImageLoader::kHiddenContentKey),
        nothingHidden ? QString() : textOf(full.fingerprint));
    return true;
}
