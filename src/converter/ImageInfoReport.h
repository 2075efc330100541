#pragma once
// The text report of the information mode: one "name = value" line per fact.
// Corvane's report window picks lines by the keywords "Compression",
// "Image", "Print", "Color depth" and "Number of", so every fact it shows
// sits on its own line and no other line carries one of those words.

#include "converter/HeaderProbe.h"
#include "converter/ImageFormat.h"

#include <QImage>
#include <QString>

class ImageInfoReport {
public:
    static QString build(const QString& imagePath, qint64 fileSize, ImageFormat::Type type,
        const HeaderFacts& facts, const QImage& image);

    // Distinct RGB colours (alpha ignored). Uses a fixed 2 MB table, so the
    // work is one pass over the pixels whatever the image holds.
    static qint64 countUniqueColors(const QImage& image);

    // 1234567 -> "1,234,567".
    static QString groupedNumber(qint64 value);
};
