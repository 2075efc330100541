#include "search/HiddenContent.h"

#include <QCryptographicHash>
#include <QIODevice>
#include <QtEndian>

namespace {

// Reads one unsigned integer of `width` bytes (1, 2, 4 or 8) at `at`; false past the end.
bool readAt(QIODevice& file, quint64 at, int width, bool bigEndian, quint64* value)
{
    if (at > quint64(file.size()) || !file.seek(qint64(at)))
        return false;
    const QByteArray bytes = file.read(width);
    if (bytes.size() != width)
        return false;
    const char* p = bytes.constData();
    switch (width) {
    case 1:
        *value = quint8(*p);
        break;
    case 2:
        *value = bigEndian ? qFromBigEndian<quint16>(p) : qFromLittleEndian<quint16>(p);
        break;
    case 4:
        *value = bigEndian ? qFromBigEndian<quint32>(p) : qFromLittleEndian<quint32>(p);
        break;
    default:
        *value = bigEndian ? qFromBigEndian<quint64>(p) : qFromLittleEndian<quint64>(p);
        break;
    }
    return true;
}

constexpr int kBitmapDepth = 8;
constexpr quint16 kTiffBitsPerSample = 258;
// More entries than any real first page has; a header that claims more is damaged.
constexpr quint64 kMostTiffEntries = 4096;
constexpr quint64 kMostJp2Boxes = 64;
constexpr quint64 kMostComponents = 16384;

} // namespace

bool HiddenContent::present(QIODevice& file)
{
    if (!file.seek(0))
        return false;
    const QByteArray head = file.read(12);
    if (head.startsWith("\x89PNG\r\n\x1a\n"))
        return inPng(file);
    if (head.startsWith(QByteArrayView("\0\0\0\x0cjP  \r\n\x87\n", 12)))
        return inJp2(file);
    if (head.startsWith("\xff\x4f\xff\x51"))
        return inCodestream(file, 0);
    return inTiff(file, head);
}

QString HiddenContent::digest(QIODevice& file)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.seek(0) || !hash.addData(&file))
        return QString();
    return QStringLiteral("file ") + QLatin1String(hash.result().toHex());
}

bool HiddenContent::inTiff(QIODevice& file, const QByteArray& head)
{
    const bool classic = head.startsWith(QByteArrayView("II*\0", 4))
        || head.startsWith(QByteArrayView("MM\0*", 4));
    const bool big = head.startsWith(QByteArrayView("II+\0", 4))
        || head.startsWith(QByteArrayView("MM\0+", 4));
    if (!classic && !big)
        return false;
    const bool bigEndian = head.startsWith("MM");
    // Offset width, entry-count width and entry size of the two layouts.
    const int offsetWidth = classic ? 4 : 8;
    const int countWidth = classic ? 2 : 8;
    const quint64 entrySize = classic ? 12 : 20;
    quint64 first = 0;
    quint64 entries = 0;
    if (!readAt(file, classic ? 4 : 8, offsetWidth, bigEndian, &first)
        || !readAt(file, first, countWidth, bigEndian, &entries) || entries > kMostTiffEntries)
        return false;

    for (quint64 i = 0; i < entries; ++i) {
        const quint64 entry = first + countWidth + i * entrySize;
        quint64 tag = 0;
        quint64 count = 0;
        if (!readAt(file, entry, 2, bigEndian, &tag))
            return false;
        if (tag != kTiffBitsPerSample)
            continue;
        if (!readAt(file, entry + 4, offsetWidth, bigEndian, &count) || count == 0)
            return false;
        // Short values that fit the entry's value field stand in it; longer
        // lists stand at the offset it holds.
        quint64 valueAt = entry + 4 + offsetWidth;
        if (count * 2 > quint64(offsetWidth)
            && !readAt(file, valueAt, offsetWidth, bigEndian, &valueAt))
            return false;
        quint64 bits = 0;
        for (quint64 sample = 0; sample < qMin<quint64>(count, 16); ++sample) {
            if (!readAt(file, valueAt + sample * 2, 2, bigEndian, &bits))
                return false;
            if (bits > kBitmapDepth)
                return true;
        }
    }
    quint64 next = 0;
    if (!readAt(file, first + countWidth + entries * entrySize, offsetWidth, bigEndian, &next))
        return false;
    return next != 0 && next != first;
}

bool HiddenContent::inPng(QIODevice& file)
{
    // The header chunk comes first; its bit depth is the byte at 24.
    quint64 depth = 0;
    if (readAt(file, 24, 1, true, &depth) && depth > kBitmapDepth)
        return true;
    // An animation control chunk must come before the first image data.
    quint64 at = 8;
    const quint64 size = quint64(file.size());
    while (size - at >= 8 && file.seek(qint64(at))) {
        const QByteArray header = file.read(8);
        if (header.size() != 8)
            return false;
        const quint32 length = qFromBigEndian<quint32>(header.constData());
        const QByteArrayView type(header.constData() + 4, 4);
        if (type == QByteArrayView("acTL"))
            return true;
        if (type == QByteArrayView("IDAT"))
            return false;
        // Length, type, data and CRC.
        if (quint64(length) + 12 > size - at)
            return false;
        at += quint64(length) + 12;
    }
    return false;
}

bool HiddenContent::inJp2(QIODevice& file)
{
    // Boxes: length (1 = a 64-bit length follows, 0 = to the end), type, content.
    const quint64 size = quint64(file.size());
    quint64 at = 0;
    for (quint64 boxes = 0; boxes < kMostJp2Boxes && size - at >= 8; ++boxes) {
        quint64 length = 0;
        quint64 type = 0;
        if (!readAt(file, at, 4, true, &length) || !readAt(file, at + 4, 4, true, &type))
            return false;
        quint64 header = 8;
        if (length == 1) {
            if (!readAt(file, at + 8, 8, true, &length))
                return false;
            header = 16;
        } else if (length == 0) {
            length = size - at;
        }
        if (length < header || length > size - at)
            return false;
        if (type == 0x6a703268) { // "jp2h": its first box is "ihdr"
            quint64 inner = 0;
            if (!readAt(file, at + header + 4, 4, true, &inner) || inner != 0x69686472)
                return false;
            // ihdr: height, width, components, then bits a component less one
            // (255 when the components differ).
            quint64 bits = 0;
            if (!readAt(file, at + header + 8 + 10, 1, true, &bits))
                return false;
            return bits == 255 || (bits & 0x7f) + 1 > kBitmapDepth;
        }
        if (type == 0x6a703263) // "jp2c" before any header
            return inCodestream(file, qint64(at + header));
        at += length;
    }
    return false;
}

bool HiddenContent::inCodestream(QIODevice& file, qint64 at)
{
    // SOC, then SIZ: its component count at 40 from SOC, then 3 bytes a component.
    quint64 marker = 0;
    quint64 components = 0;
    if (!readAt(file, quint64(at) + 2, 2, true, &marker) || marker != 0xff51
        || !readAt(file, quint64(at) + 40, 2, true, &components) || components > kMostComponents)
        return false;
    for (quint64 c = 0; c < components; ++c) {
        quint64 depth = 0;
        if (!readAt(file, quint64(at) + 42 + c * 3, 1, true, &depth))
            return false;
        if ((depth & 0x7f) + 1 > kBitmapDepth)
            return true;
    }
    return false;
}
