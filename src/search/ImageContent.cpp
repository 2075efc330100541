#include "search/ImageContent.h"

#include <QtEndian>

namespace {

quint8 byteAt(const QByteArray& bytes, qsizetype at)
{
    return quint8(bytes.at(at));
}

quint16 le16(const QByteArray& bytes, qsizetype at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

quint32 le32(const QByteArray& bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

// Bytes of a GIF colour table announced by a flags byte.
qsizetype gifTableBytes(quint8 flags)
{
    return (flags & 0x80) ? qsizetype(3) << ((flags & 7) + 1) : 0;
}

} // namespace

ImageContent::Kind ImageContent::fromFormat(const QByteArray& format)
{
    const QByteArray name = format.toLower();
    if (name == "bmp")
        return Bmp;
    if (name == "jpg" || name == "jpeg")
        return Jpeg;
    if (name == "gif")
        return Gif;
    return Unknown;
}

bool ImageContent::isComplete(const QByteArray& bytes, Kind kind)
{
    if (sniff(bytes) != kind)
        return false;
    switch (kind) {
    case Bmp:
        return bmpComplete(bytes);
    case Jpeg:
        return jpegComplete(bytes);
    case Gif:
        return gifComplete(bytes);
    default:
        break;
    }
    return false;
}

bool ImageContent::bmpComplete(const QByteArray& bytes)
{
    return bmpHeadComplete(bytes, bytes.size());
}

bool ImageContent::bmpHeadComplete(const QByteArray& bytes, qint64 size)
{
    if (bytes.size() < 26 || !bytes.startsWith("BM"))
        return false;
    const qint64 pixelOffset = le32(bytes, 10);
    const quint32 headerSize = le32(bytes, 14);
    qint64 width = 0;
    qint64 height = 0;
    qint64 bitsPerPixel = 0;
    quint32 compression = 0;
    if (headerSize == 12) {
        width = le16(bytes, 18);
        height = le16(bytes, 20);
        bitsPerPixel = le16(bytes, 24);
    } else {
        if (headerSize < 40 || bytes.size() < 34)
            return false;
        width = qint32(le32(bytes, 18));
        height = qint32(le32(bytes, 22));
        bitsPerPixel = le16(bytes, 28);
        compression = le32(bytes, 30);
    }
    if (pixelOffset >= size)
        return false;
    // Run-length data has no length of its own to check against.
    constexpr quint32 kRgb = 0, kBitFields = 3, kAlphaBitFields = 6;
    if (compression != kRgb && compression != kBitFields && compression != kAlphaBitFields)
        return true;
    if (width <= 0 || height == 0 || bitsPerPixel <= 0)
        return false;
    const qint64 rows = height < 0 ? -height : height;
    const qint64 stride = (width * bitsPerPixel + 31) / 32 * 4;
    // Checked one by one first, so that the product cannot overflow.
    if (rows > size || stride > size)
        return false;
    return pixelOffset + stride * rows <= size;
}

bool ImageContent::jpegComplete(const QByteArray& bytes)
{
    const qsizetype size = bytes.size();
    qsizetype at = 2;
    while (at < size) {
        // Like the decoder, skip stray bytes and fill bytes up to a marker.
        if (byteAt(bytes, at) != 0xff) {
            ++at;
            continue;
        }
        while (at < size && byteAt(bytes, at) == 0xff)
            ++at;
        if (at >= size)
            return false;
        const quint8 marker = byteAt(bytes, at++);
        if (marker == 0xd9) // end of image before any scan
            return false;
        if (marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7))
            continue;
        if (at + 2 > size)
            return false;
        const qsizetype length = qFromBigEndian<quint16>(bytes.constData() + at);
        if (length < 2 || at + length > size)
            return false;
        at += length;
        if (marker == 0xda) {
            // Scan data stuffs every 0xff with a 0x00, so the end-of-image
            // marker after the first scan means the file was not cut off.
            return bytes.indexOf(QByteArrayView("\xff\xd9", 2), at) >= 0;
        }
    }
    return false;
}

bool ImageContent::gifComplete(const QByteArray& bytes)
{
    const qsizetype size = bytes.size();
    if (size < 13)
        return false;
    qsizetype at = 13 + gifTableBytes(byteAt(bytes, 10));
    int pictures = 0;
    auto skipSubBlocks = [&]() {
        while (at < size) {
            const quint8 length = byteAt(bytes, at++);
            if (length == 0)
                return true;
            at += length;
        }
        return false;
    };
    while (at < size) {
        const quint8 block = byteAt(bytes, at);
        if (block == 0x3b) // trailer
            return pictures > 0;
        if (block == 0x21) {
            at += 2;
            if (!skipSubBlocks())
                return false;
        } else if (block == 0x2c) {
            if (at + 10 > size)
                return false;
            at += 10 + gifTableBytes(byteAt(bytes, at + 9)) + 1;
            if (!skipSubBlocks())
                return false;
            ++pictures;
        } else {
            return false;
        }
    }
    return at == size && pictures > 0;
}
