#include "converter/ImageInfoReport.h"

#include <QFileInfo>

#include <algorithm>
#include <bit>
#include <cmath>
#include <vector>

namespace {

constexpr double kAssumedDpi = 96.0;
constexpr int kBandRows = 64;

QString decimal(double value, int digits)
{
    return QString::number(value, 'f', digits);
}

// 72 for 72.0004 (a resolution stored in pixels per metre), else two digits.
QString resolutionText(double dpi)
{
    return std::abs(dpi - std::round(dpi)) < 0.01 ? decimal(std::round(dpi), 0) : decimal(dpi, 2);
}

} // namespace

QString ImageInfoReport::groupedNumber(qint64 value)
{
    QString digits = QString::number(value < 0 ? -value : value);
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, QLatin1Char(','));
    return value < 0 ? QLatin1Char('-') + digits : digits;
}

qint64 ImageInfoReport::countUniqueColors(const QImage& image)
{
    if (image.isNull())
        return 0;
    std::vector<quint64> seen(size_t(1) << 18, 0); // one bit per 24-bit colour
    const int width = image.width();
    const bool direct
        = image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32;
    QImage band;
    for (int top = 0; top < image.height(); top += kBandRows) {
        const int rows = std::min(kBandRows, image.height() - top);
        if (!direct)
            band = image.copy(0, top, width, rows).convertToFormat(QImage::Format_ARGB32);
        for (int r = 0; r < rows; ++r) {
            const auto* pixels = reinterpret_cast<const QRgb*>(
                direct ? image.constScanLine(top + r) : band.constScanLine(r));
            for (int x = 0; x < width; ++x) {
                const quint32 rgb = pixels[x] & 0xFFFFFF;
                seen[rgb >> 6] |= quint64(1) << (rgb & 63);
            }
        }
    }
    qint64 count = 0;
    for (quint64 word : seen)
        count += std::popcount(word);
    return count;
}

QString ImageInfoReport::build(const QString& imagePath, qint64 fileSize, ImageFormat::Type type,
    const HeaderFacts& facts, const QImage& image)
{
    const QFileInfo info(imagePath);
    const int width = image.width();
    const int height = image.height();
    const bool stored = facts.dpiX > 0 && facts.dpiY > 0;
    const double dpiX = stored ? facts.dpiX : kAssumedDpi;
    const double dpiY = stored ? facts.dpiY : kAssumedDpi;
    const double inchesX = width / dpiX;
    const double inchesY = height / dpiY;
    const int depth = facts.bitsPerPixel > 0 ? facts.bitsPerPixel : image.depth();

    QStringList lines;
    lines << QStringLiteral("[Corvane image information]");
    lines << QStringLiteral("File name = ") + info.fileName();
    lines << QStringLiteral("Folder = ") + info.absolutePath();
    lines << QStringLiteral("File size = %1 bytes").arg(groupedNumber(fileSize));
    lines << QStringLiteral("Format = ") + ImageFormat::displayName(type);
    lines << QStringLiteral("Compression = ")
            + (facts.compression.isEmpty() ? QStringLiteral("unknown") : facts.compression);
    lines << QStringLiteral("Image dimensions = %1 x %2 Pixels").arg(width).arg(height);
    if (stored) {
        lines << QStringLiteral("Resolution = %1 x %2 DPI")
                     .arg(resolutionText(dpiX), resolutionText(dpiY));
    } else {
        lines << QStringLiteral("Resolution = none stored, %1 DPI assumed").arg(kAssumedDpi);
    }
    lines << QStringLiteral("Print size (from DPI) = %1 x %2 cm; %3 x %4 inches")
                 .arg(decimal(inchesX * 2.54, 1), decimal(inchesY * 2.54, 1), decimal(inchesX, 2),
                     decimal(inchesY, 2));
    lines << QStringLiteral("Color depth = %1 %2")
                 .arg(depth)
                 .arg(depth == 1 ? QStringLiteral("bit") : QStringLiteral("bits"));
    lines << QStringLiteral("Number of unique colors = %1").arg(countUniqueColors(image));
    lines << QStringLiteral("Number of frames/pages = %1").arg(facts.frames);
    lines << QStringLiteral("Alpha channel = %1")
                 .arg(image.hasAlphaChannel() ? QStringLiteral("yes") : QStringLiteral("no"));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
