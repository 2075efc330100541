#include "finder/PathText.h"

#include <QStringDecoder>

namespace pathtext {

bool isUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

QByteArray forText(const QByteArray& path)
{
    bool plain = isUtf8(path);
    for (const char c : path)
        plain = plain && (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    if (plain)
        return path;
    QByteArray quoted = "$'";
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n')
            quoted += "\\n";
        else if (c == '\t')
            quoted += "\\t";
        else if (c == '\\')
            quoted += "\\\\";
        else if (c == '\'')
            quoted += "\\'";
        else if (byte < 0x20 || byte >= 0x7F)
            quoted += "\\x" + QByteArray::number(byte, 16).rightJustified(2, '0');
        else
            quoted += c;
    }
    quoted += '\'';
    return quoted;
}

QString displayText(const QByteArray& path)
{
    return QString::fromUtf8(path);
}

QString exactBytes(const QByteArray& path)
{
    return isUtf8(path) ? QString() : QString::fromLatin1(path.toBase64());
}

} // namespace pathtext
