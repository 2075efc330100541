// libFuzzer target: the candidate entry of the search (size key, "*", path).
// Besides crashes it checks what the comparison run relies on: an entry made
// from any key and path splits back into that key and path, a split never
// loses a character, and a size key reads back as the length it was made of.

#include <QByteArray>
#include <QString>

#include "search/CandidateEntry.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        fprintf(stderr, "candidate entry: %s\n", what);
        abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    // Text as a directory listing might give it, and as raw UTF-16 code units.
    const QString utf8 = QString::fromUtf8(bytes);
    const QString utf16(reinterpret_cast<const QChar*>(bytes.constData()), bytes.size() / 2);

    for (const QString& text : {utf8, utf16}) {
        const CandidateEntry split = CandidateEntry::splitEntry(text);
        if (text.contains(QLatin1Char('*'))) {
            check(!split.sizeKey.contains(QLatin1Char('*')), "key holds a star");
            check(split.sizeKey + QLatin1Char('*') + split.path == text, "split lost characters");
        } else {
            check(split.sizeKey.isEmpty() && split.path == text, "entry without a star split");
        }

        const int value = CandidateEntry::keyValue(split.sizeKey);
        check(value >= -1 && value <= 99999999, "key value out of range");
        bool plainDigits = split.sizeKey.size() == 8;
        for (const QChar c : split.sizeKey)
            plainDigits = plainDigits && c >= u'0' && c <= u'9';
        check((value >= 0) == plainDigits, "key accepted or refused wrongly");
        if (plainDigits)
            check(value == split.sizeKey.toInt(), "key read as the wrong number");

        const QString name = CandidateEntry::fileName(text);
        check(!name.contains(QLatin1Char('/')), "file name holds a separator");
        check(text.endsWith(name), "file name is not the end of the path");
        const QString type = CandidateEntry::imageType(text);
        check(type.size() == (text.size() < 3 ? 0 : 3), "type is not three characters");
    }

    // Any length gives a key of eight digits that reads back as the length
    // modulo 100000000, and an entry that splits back into key and path.
    qint64 length = 0;
    std::memcpy(&length, data, qMin(size, sizeof(length)));
    const QString key = CandidateEntry::makeSizeKey(length);
    check(key.size() == 8, "key is not eight characters");
    check(CandidateEntry::keyValue(key) == (length < 0 ? 0 : length % 100000000),
        "key does not read back as the length");
    const CandidateEntry back = CandidateEntry::splitEntry(CandidateEntry::makeEntry(key, utf8));
    check(back.sizeKey == key && back.path == utf8, "entry does not split into key and path");
    return 0;
}
