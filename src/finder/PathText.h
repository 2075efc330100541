#pragma once
// How corvane-find writes a file-system path, whose bytes need not be UTF-8,
// without losing any of them (see findUsage()).

#include <QByteArray>
#include <QString>

namespace pathtext {

bool isUtf8(const QByteArray& bytes);

// For the text report: the path as it is when it is plain, or else $'...'
// with escapes, which bash reads back as the same bytes. Not plain: bytes
// that are not UTF-8; a control, bidirectional or other invisible format
// character (escaped byte by byte, so a terminal never reorders the line); a
// backslash or a quote; a blank at either end; a path beginning with $'.
QByteArray forText(const QByteArray& path);

// For JSON and CSV: the path as text (invalid bytes as U+FFFD) ...
QString displayText(const QByteArray& path);
// ... and, only when it is not UTF-8, its bytes in base64 ("" otherwise).
QString exactBytes(const QByteArray& path);

} // namespace pathtext
