#include "converter/ImageFormat.h"

#include <QFileInfo>

namespace {

bool startsWith(const QByteArray& head, const char* magic, int length)
{
    return head.size() >= length && memcmp(head.constData(), magic, size_t(length)) == 0;
}

} // namespace

ImageFormat::Type ImageFormat::sniff(const QByteArray& head)
{
    if (startsWith(head, "\x89PNG\r\n\x1a\n", 8))
        return Png;
    if (startsWith(head, "\0\0\0\x0cjP  \r\n\x87\n", 12))
        return Jp2;
    if (startsWith(head, "\xff\x4f\xff\x51", 4))
        return J2kCodestream;
    if (startsWith(head, "\xff\xd8\xff", 3))
        return Jpeg;
    if (startsWith(head, "GIF87a", 6) || startsWith(head, "GIF89a", 6))
        return Gif;
    // Classic and big TIFF, both byte orders.
    if (startsWith(head, "II*\0", 4) || startsWith(head, "MM\0*", 4) || startsWith(head, "II+\0", 4)
        || startsWith(head, "MM\0+", 4))
        return Tiff;
    if (startsWith(head, "BM", 2))
        return Bmp;
    return Unknown;
}

ImageFormat::Type ImageFormat::fromSuffix(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("bmp") || suffix == QLatin1String("dib"))
        return Bmp;
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg")
        || suffix == QLatin1String("jpe") || suffix == QLatin1String("jfif"))
        return Jpeg;
    if (suffix == QLatin1String("gif"))
        return Gif;
    if (suffix == QLatin1String("png"))
        return Png;
    if (suffix == QLatin1String("tif") || suffix == QLatin1String("tiff"))
        return Tiff;
    if (suffix == QLatin1String("jp2") || suffix == QLatin1String("jpf")
        || suffix == QLatin1String("jpx"))
        return Jp2;
    if (suffix == QLatin1String("j2k") || suffix == QLatin1String("j2c")
        || suffix == QLatin1String("jpc"))
        return J2kCodestream;
    return Unknown;
}

bool ImageFormat::matchesName(Type content, Type named)
{
    if (named == Unknown || content == named)
        return true;
    const bool contentIsJpeg2000 = content == Jp2 || content == J2kCodestream;
    const bool nameIsJpeg2000 = named == Jp2 || named == J2kCodestream;
    return contentIsJpeg2000 && nameIsJpeg2000;
}

QString ImageFormat::displayName(Type type)
{
    switch (type) {
    case Bmp:
        return QStringLiteral("BMP");
    case Jpeg:
        return QStringLiteral("JPEG");
    case Gif:
        return QStringLiteral("GIF");
    case Png:
        return QStringLiteral("PNG");
    case Tiff:
        return QStringLiteral("TIFF");
    case Jp2:
        return QStringLiteral("JPEG 2000 (JP2)");
    case J2kCodestream:
        return QStringLiteral("JPEG 2000 (codestream)");
    case Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

const char* ImageFormat::qtFormat(Type type)
{
    switch (type) {
    case Bmp:
        return "bmp";
    case Jpeg:
        return "jpeg";
    case Gif:
        return "gif";
    case Png:
        return "png";
    case Tiff:
        return "tiff";
    case Jp2:
    case J2kCodestream:
    case Unknown:
        break;
    }
    return nullptr;
}
