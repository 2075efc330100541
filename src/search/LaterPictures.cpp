#include "search/LaterPictures.h"

#include <QCryptographicHash>
#include <QtEndian>

namespace {

// Reads unsigned integers of a TIFF in its byte order; false past the end.
class TiffReader {
public:
    TiffReader(const QByteArray& bytes, bool bigEndian)
        : m_bytes(bytes)
        , m_bigEndian(bigEndian)
    {
    }

    bool read(quint64 at, int width, quint64* value) const
    {
        if (at > quint64(m_bytes.size()) || quint64(m_bytes.size()) - at < quint64(width))
            return false;
        const char* p = m_bytes.constData() + at;
        switch (width) {
        case 2:
            *value = m_bigEndian ? qFromBigEndian<quint16>(p) : qFromLittleEndian<quint16>(p);
            return true;
        case 4:
            *value = m_bigEndian ? qFromBigEndian<quint32>(p) : qFromLittleEndian<quint32>(p);
            return true;
        default:
            *value = m_bigEndian ? qFromBigEndian<quint64>(p) : qFromLittleEndian<quint64>(p);
            return true;
        }
    }

private:
    const QByteArray& m_bytes;
    bool m_bigEndian;
};

} // namespace

bool LaterPictures::present(const QByteArray& bytes)
{
    return tiffHasSecondPage(bytes) || pngIsAnimated(bytes);
}

QString LaterPictures::digest(const QByteArray& bytes)
{
    return QStringLiteral("file ")
        + QLatin1String(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

bool LaterPictures::tiffHasSecondPage(const QByteArray& bytes)
{
    const bool classic = bytes.startsWith(QByteArrayView("II*\0", 4))
        || bytes.startsWith(QByteArrayView("MM\0*", 4));
    const bool big = bytes.startsWith(QByteArrayView("II+\0", 4))
        || bytes.startsWith(QByteArrayView("MM\0+", 4));
    if (!classic && !big)
        return false;
    const TiffReader tiff(bytes, bytes.startsWith("MM"));
    // Offset width, entry-count width and entry size of the two layouts.
    const int offsetWidth = classic ? 4 : 8;
    const int countWidth = classic ? 2 : 8;
    const quint64 entrySize = classic ? 12 : 20;
    quint64 first = 0;
    quint64 entries = 0;
    quint64 next = 0;
    if (!tiff.read(classic ? 4 : 8, offsetWidth, &first) || !tiff.read(first, countWidth, &entries))
        return false;
    if (entries > quint64(bytes.size()) / entrySize)
        return false;
    if (!tiff.read(first + countWidth + entries * entrySize, offsetWidth, &next))
        return false;
    return next != 0 && next != first;
}

bool LaterPictures::pngIsAnimated(const QByteArray& bytes)
{
    if (!bytes.startsWith("\x89PNG\r\n\x1a\n"))
        return false;
    qsizetype at = 8;
    while (bytes.size() - at >= 8) {
        const quint32 length = qFromBigEndian<quint32>(bytes.constData() + at);
        const QByteArrayView type(bytes.constData() + at + 4, 4);
        if (type == QByteArrayView("acTL"))
            return true;
        if (type == QByteArrayView("IDAT"))
            return false;
        // Length, type, data and CRC.
        if (quint64(length) + 12 > quint64(bytes.size() - at))
            return false;
        at += qsizetype(length) + 12;
    }
    return false;
}
