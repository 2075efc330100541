#include "TestImages.h"

#include <QImageReader>

QImage TestImages::pattern(int width, int height, QImage::Format format)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int r = (x * 37 + y * 11) & 0xFF;
            const int g = (x * 5 + y * 53 + 17) & 0xFF;
            const int b = (x * y + 91) & 0xFF;
            const int a = (x * 13 + y * 7 + 40) & 0xFF;
            image.setPixel(x, y, qRgba(r, g, b, a));
        }
    }
    if (format == QImage::Format_Indexed8) {
        // Fewer colours than a palette holds, so the conversion is exact.
        QImage indexed(width, height, QImage::Format_Indexed8);
        QList<QRgb> table;
        for (int i = 0; i < 200; ++i)
            table << qRgb(i, 255 - i, (i * 7) & 0xFF);
        indexed.setColorTable(table);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                indexed.setPixel(x, y, uint((x * 3 + y * 7) % 200));
        return indexed;
    }
    if (format == QImage::Format_Grayscale16) {
        QImage grey(width, height, QImage::Format_Grayscale16);
        for (int y = 0; y < height; ++y) {
            auto* line = reinterpret_cast<quint16*>(grey.scanLine(y));
            for (int x = 0; x < width; ++x)
                line[x] = quint16((x * 997 + y * 331) & 0xFFFF);
        }
        return grey;
    }
    if (format == QImage::Format_RGBA64) {
        QImage deep(width, height, QImage::Format_RGBA64);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                deep.setPixelColor(x, y,
                    QColor::fromRgba64(quint16(x * 1021), quint16(y * 2039), quint16((x + y) * 509),
                        quint16(40000 + x * 97)));
        return deep;
    }
    return image.convertToFormat(format);
}

QImage TestImages::readArgb(const QString& path, QString* error)
{
    QImageReader reader(path);
    QImage image;
    if (!reader.read(&image)) {
        if (error)
            *error = reader.errorString();
        return {};
    }
    return image.convertToFormat(QImage::Format_ARGB32);
}

QString TestImages::firstDifference(const QImage& expected, const QImage& actual)
{
    if (expected.size() != actual.size())
        return QStringLiteral("size %1x%2 != %3x%4")
            .arg(expected.width())
            .arg(expected.height())
            .arg(actual.width())
            .arg(actual.height());
    for (int y = 0; y < expected.height(); ++y) {
        for (int x = 0; x < expected.width(); ++x) {
            const QRgb a = expected.pixel(x, y);
            const QRgb b = actual.pixel(x, y);
            if (a != b)
                return QStringLiteral("%1,%2: %3 != %4")
                    .arg(x)
                    .arg(y)
                    .arg(a, 8, 16, QLatin1Char('0'))
                    .arg(b, 8, 16, QLatin1Char('0'));
        }
    }
    return {};
}
