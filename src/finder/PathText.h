#pragma once
// How corvane-find writes a file-system path, whose bytes need not be UTF-8,
// without losing any of them (see findUsage()).

#include <QByteArray>
#include <QString>

namespace pathtext {

bool isUtf8(const QByteArray& bytes);

// For the text report: the path as it is, or $'...' with escapes when it is
// not UTF-8 or holds a control character.
QByteArray forText(const QByteArray& path);

// For JSON and CSV: the path as text (invalid bytes as U+FFFD) ...
QString displayText(const QByteArray& path);
// ... and, only when it is not UTF-8, its bytes in base64 ("" otherwise).
QString exactBytes(const QByteArray& path);

} // namespace pathtext
