#include "search/CandidateEntry.h"

#include "decoding/PictureType.h"

#include <QByteArray>

#include <string_view>

namespace {

constexpr qint64 kKeyOffset = 100000000;
constexpr int kKeyLength = 8;

} // namespace

QString CandidateEntry::makeSizeKey(qint64 length)
{
    // Negative lengths do not occur for files; keep the key well-formed anyway.
    // The last eight digits of length + 100000000 are those of the length
    // alone; taking them first keeps the sum from overflowing near 2^63.
    const qint64 value = length < 0 ? 0 : length % kKeyOffset;
    return QString::number(value + kKeyOffset).right(kKeyLength);
}

QString CandidateEntry::makeEntry(const QString& sizeKey, const QString& path)
{
    return sizeKey + QLatin1Char('*') + path;
}

CandidateEntry CandidateEntry::splitEntry(const QString& entry)
{
    const qsizetype star = entry.indexOf(QLatin1Char('*'));
    if (star < 0)
        return {QString(), entry};
    return {entry.left(star), entry.mid(star + 1)};
}

int CandidateEntry::keyValue(const QString& sizeKey)
{
    if (sizeKey.size() != kKeyLength)
        return -1;
    int value = 0;
    for (const QChar c : sizeKey) {
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

QString CandidateEntry::imageType(const QString& name)
{
    if (name.size() < 3)
        return QString();
    QString type = name.right(3);
    // ASCII only, so the scan (which works on raw bytes) and this agree.
    for (QChar& c : type) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    }
    return type;
}

bool CandidateEntry::isCandidateType(const QString& type)
{
    // The first design's rule (three letters, one spelling per type) over the
    // type table; the whole-folder search takes every spelling.
    if (type.size() != 3)
        return false;
    const QByteArray latin = type.toLatin1();
    return decoding::typeOfFirstDesignSuffix(std::string_view(latin.constData(), 3))
        != decoding::PictureType::Unknown;
}

QString CandidateEntry::fileName(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}
