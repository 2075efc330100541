#include "search/LaterPictures.h"

#include <QCryptographicHash>
#include <QIODevice>
#include <QtEndian>

namespace {

// Reads one unsigned integer of `width` bytes at `at`; false past the end.
bool readAt(QIODevice& file, quint64 at, int width, bool bigEndian, quint64* value)
{
    if (at > quint64(file.size()) || !file.seek(qint64(at)))
        return false;
    const QByteArray bytes = file.read(width);
    if (bytes.size() != width)
        return false;
    const char* p = bytes.constData();
    switch (width) {
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

} // namespace

bool LaterPictures::present(QIODevice& file)
{
    if (!file.seek(0))
        return false;
    const QByteArray head = file.read(8);
    if (head.startsWith("\x89PNG\r\n\x1a\n"))
        return pngIsAnimated(file);
    return tiffHasSecondPage(file, head);
}

QString LaterPictures::digest(QIODevice& file)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.seek(0) || !hash.addData(&file))
        return QString();
    return QStringLiteral("file ") + QLatin1String(hash.result().toHex());
}

bool LaterPictures::tiffHasSecondPage(QIODevice& file, const QByteArray& head)
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
    quint64 next = 0;
    if (!readAt(file, classic ? 4 : 8, offsetWidth, bigEndian, &first)
        || !readAt(file, first, countWidth, bigEndian, &entries))
        return false;
    if (entries > quint64(file.size()) / entrySize)
        return false;
    if (!readAt(file, first + countWidth + entries * entrySize, offsetWidth, bigEndian, &next))
        return false;
    return next != 0 && next != first;
}

bool LaterPictures::pngIsAnimated(QIODevice& file)
{
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
