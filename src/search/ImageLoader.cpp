#include "search/ImageLoader.h"

#include "converter/ConverterContract.h"
#include "search/ImageContent.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QImageReader>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Qt's own allocation limit (256 MB by default) would refuse a 100-megapixel
// photo; the budget check below is the real guard, so leave room for it, even
// for 64-bit pixel formats.
void raiseAllocationLimit()
{
    static const bool raised = [] {
        constexpr qint64 kMegabyte = 1024 * 1024;
        const qint64 limit = ConverterContract::kPixelBudget * 8 / kMegabyte + 1;
        if (QImageReader::allocationLimit() < limit)
            QImageReader::setAllocationLimit(int(limit));
        return true;
    }();
    Q_UNUSED(raised);
}

// Opens path for reading without blocking on a fifo and only when it is a
// regular file; -1 otherwise.
int openRegularFd(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return -1;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags != -1)
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

// Reads a picture of `format` ("" = decided by the content) from device.
QImage readWithinBudget(QIODevice* device, const QByteArray& format)
{
    QImageReader reader(device, format);
    if (!format.isEmpty())
        reader.setAutoDetectImageFormat(false);
    const QSize size = reader.size();
    if (size.isValid()
        && qint64(size.width()) * qint64(size.height()) > ConverterContract::kPixelBudget)
        return QImage();

    QImage image;
    if (!reader.read(&image))
        return QImage();
    qint64 pixels = qint64(image.width()) * qint64(image.height());
    if (pixels > ConverterContract::kPixelBudget)
        return QImage();
    if (format != "gif")
        return image;

    QCryptographicHash laterFrames(QCryptographicHash::Sha256);
    int frames = 1;
    QImage frame;
    while (reader.canRead() && reader.read(&frame)) {
        pixels += qint64(frame.width()) * qint64(frame.height());
        if (pixels > ConverterContract::kPixelBudget)
            return QImage();
        ++frames;
        const QImage argb = frame.convertToFormat(QImage::Format_ARGB32);
        const QByteArray size
            = QByteArray::number(argb.width()) + 'x' + QByteArray::number(argb.height());
        laterFrames.addData(size);
        for (int y = 0; y < argb.height(); ++y)
            laterFrames.addData(QByteArrayView(argb.constScanLine(y), qsizetype(argb.width()) * 4));
    }
    if (frames > 1) {
        image.setText(QLatin1String(ImageLoader::kHiddenContentKey),
            QString::number(frames) + QLatin1Char(':')
                + QLatin1String(laterFrames.result().toHex()));
    }
    return image;
}

} // namespace

QImage ImageLoader::load(const QString& path, const QByteArray& format)
{
    raiseAllocationLimit();
    QFile file;
    if (!openRegularFile(path, &file))
        return QImage();
    const ImageContent::Kind kind = ImageContent::fromFormat(format);
    if (kind == ImageContent::Unknown)
        return readWithinBudget(&file, format);
    return loadKind(file, kind);
}

QImage ImageLoader::loadByContent(const QString& path, ImageContent::Kind* content)
{
    *content = ImageContent::Unknown;
    raiseAllocationLimit();
    QFile file;
    if (!openRegularFile(path, &file))
        return QImage();
    *content = ImageContent::sniff(file.peek(qint64(decoding::kTypeSniffBytes)));
    if (*content != ImageContent::Bmp && *content != ImageContent::Jpeg
        && *content != ImageContent::Gif)
        return QImage();
    return loadKind(file, *content);
}

QImage ImageLoader::loadKind(QFile& file, ImageContent::Kind kind)
{
    // Within the pixel budget no BMP, JPEG or GIF comes near this size; the
    // check keeps a huge file from being read into memory.
    constexpr qint64 kLargestFile = ConverterContract::kPixelBudget * 4 + 16 * 1024 * 1024;
    if (file.size() > kLargestFile)
        return QImage();
    // A bitmap is whole when its file holds the rows its headers announce:
    // decode it from the file instead of holding a second copy in memory
    // (the converter's 24-megapixel Temp.bmp is 72 MB).
    if (kind == ImageContent::Bmp) {
        constexpr qint64 kHeadBytes = 64 * 1024;
        const QByteArray head = file.read(kHeadBytes);
        if (file.error() != QFile::NoError || !ImageContent::bmpHeadComplete(head, file.size())
            || !file.seek(0))
            return QImage();
        return readWithinBudget(&file, ImageContent::qtFormat(kind));
    }
    // Read, not mapped: a file cut short by another program while mapped
    // would end Corvane with a bus error.
    QByteArray bytes = file.readAll();
    if (file.error() != QFile::NoError || !ImageContent::isComplete(bytes, kind))
        return QImage();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return readWithinBudget(&buffer, ImageContent::qtFormat(kind));
}

bool ImageLoader::openRegularFile(const QString& path, QFile* file)
{
    const int fd = openRegularFd(path);
    if (fd < 0)
        return false;
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}
