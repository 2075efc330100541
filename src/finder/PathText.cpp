#include "finder/PathText.h"

#include <QChar>
#include <QStringDecoder>

#include <vector>

namespace pathtext {

namespace {

// One character of a path: a code point of valid UTF-8, or (valid false) one
// byte that does not start one.
struct Piece {
    qsizetype start = 0;
    qsizetype length = 1;
    char32_t codePoint = 0;
    bool valid = false;
};

// Reads the character at `at`, by the rules of UTF-8: no overlong forms, no
// surrogates, nothing past U+10FFFF.
Piece pieceAt(const QByteArray& bytes, qsizetype at)
{
    Piece piece;
    piece.start = at;
    const auto lead = static_cast<unsigned char>(bytes[at]);
    if (lead < 0x80) {
        piece.codePoint = lead;
        piece.valid = true;
        return piece;
    }
    int extra = 0;
    char32_t value = 0;
    char32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1;
        value = lead & 0x1F;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2;
        value = lead & 0x0F;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3;
        value = lead & 0x07;
        least = 0x10000;
    } else {
        return piece;
    }
    if (at + extra >= bytes.size())
        return piece;
    for (int i = 1; i <= extra; ++i) {
        const auto next = static_cast<unsigned char>(bytes[at + i]);
        if ((next & 0xC0) != 0x80)
            return piece;
        value = (value << 6) | (next & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return piece;
    piece.length = 1 + extra;
    piece.codePoint = value;
    piece.valid = true;
    return piece;
}

// Characters that must never reach a terminal as they are: controls (C0, DEL,
// C1), format characters (the bidirectional embeddings, overrides, isolates
// and marks that reorder what follows, zero-width characters, the byte order
// mark) and the line and paragraph separators.
bool mustEscape(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

void appendByteEscape(QByteArray& out, unsigned char byte)
{
    out += "\\x" + QByteArray::number(byte, 16).rightJustified(2, '0');
}

} // namespace

bool isUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

QByteArray forText(const QByteArray& path)
{
    if (path.isEmpty())
        return path;
    // Plain: valid UTF-8 with nothing to escape, nothing the quoting itself
    // gives meaning to, no blank at either end that a reader would not see,
    // and not looking like a quoted path.
    bool plain = !path.startsWith("$'");
    std::vector<Piece> pieces;
    for (qsizetype at = 0; at < path.size();) {
        const Piece piece = pieceAt(path, at);
        pieces.push_back(piece);
        at += piece.length;
        if (!piece.valid || mustEscape(piece.codePoint) || piece.codePoint == '\\'
            || piece.codePoint == '\'' || piece.codePoint == '"')
            plain = false;
    }
    const auto blank
        = [](const Piece& piece) { return piece.valid && QChar::isSpace(piece.codePoint); };
    if (blank(pieces.front()) || blank(pieces.back()))
        plain = false;
    if (plain)
        return path;

    QByteArray quoted = "$'";
    for (const Piece& piece : pieces) {
        if (!piece.valid) {
            appendByteEscape(quoted, static_cast<unsigned char>(path[piece.start]));
        } else if (piece.codePoint == '\n') {
            quoted += "\\n";
        } else if (piece.codePoint == '\t') {
            quoted += "\\t";
        } else if (piece.codePoint == '\\') {
            quoted += "\\\\";
        } else if (piece.codePoint == '\'') {
            quoted += "\\'";
        } else if (mustEscape(piece.codePoint)) {
            // Byte by byte, so that bash reads it back the same in any locale.
            for (qsizetype i = 0; i < piece.length; ++i)
                appendByteEscape(quoted, static_cast<unsigned char>(path[piece.start + i]));
        } else {
            quoted += path.mid(piece.start, piece.length);
        }
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
