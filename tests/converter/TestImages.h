#pragma once
// Deterministic pictures for the converter tests.

#include <QImage>
#include <QString>

#include <ostream>

class TestImages {
public:
    // A picture in `format` whose pixels all differ from their neighbours, so
    // that a flipped, shifted or swapped channel shows up; with alpha
    // formats the alpha varies too.
    static QImage pattern(int width, int height, QImage::Format format);

    // Reads `path` with Qt's own reader, as 32-bit ARGB.
    static QImage readArgb(const QString& path, QString* error = nullptr);

    // Index of the first differing pixel as "x,y: a != b", or "" when equal.
    static QString firstDifference(const QImage& expected, const QImage& actual);
};

// Readable QString values in test failure messages.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}
