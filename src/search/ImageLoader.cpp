#include "search/ImageLoader.h"

#include "converter/ConverterContract.h"
#include "qtreading/QtPictureReading.h"
#include "search/ImageContent.h"

#include <QCryptographicHash>
#include <QFile>

#include <functional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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

// The first frame a read through the Qt adapter gives; for an animation
// (every frame read) with its later frames' digest as kHiddenContentKey.
// Null on any failure.
QImage firstFrameWithDigest(bool animation,
    const std::function<qtreading::ReadOutcome(qtreading::Frames, const qtreading::FrameSink&)>&
        read)
{
    QImage image;
    QCryptographicHash laterFrames(QCryptographicHash::Sha256);
    int frames = 0;
    const qtreading::ReadOutcome outcome
        = read(animation ? qtreading::Frames::All : qtreading::Frames::First, [&](QImage& frame) {
              if (++frames == 1) {
                  image = std::move(frame);
                  return true;
              }
              const QImage argb = frame.convertToFormat(QImage::Format_ARGB32);
              const QByteArray size
                  = QByteArray::number(argb.width()) + 'x' + QByteArray::number(argb.height());
              laterFrames.addData(size);
              for (int y = 0; y < argb.height(); ++y)
                  laterFrames.addData(
                      QByteArrayView(argb.constScanLine(y), qsizetype(argb.width()) * 4));
              return true;
          });
    if (outcome.status != decoding::DecodeStatus::Ok || frames == 0)
        return QImage();
    if (frames > 1) {
        image.setText(QLatin1String(ImageLoader::kHiddenContentKey),
            QString::number(frames) + QLatin1Char(':')
                + QLatin1String(laterFrames.result().toHex()));
    }
    return image;
}

// Reads a picture of `format` ("" = decided by the content) from device.
QImage readWithinBudget(QIODevice* device, const QByteArray& format)
{
    return firstFrameWithDigest(
        format == "gif", [&](qtreading::Frames which, const qtreading::FrameSink& sink) {
            return qtreading::readFrames(device, format, which, sink);
        });
}

} // namespace

QImage ImageLoader::load(const QString& path, const QByteArray& format)
{
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
    const QByteArray bytes = file.readAll();
    if (file.error() != QFile::NoError)
        return QImage();
    // The adapter refuses a cut-off file, or another type's content, first.
    const decoding::Bytes data(
        reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
    return firstFrameWithDigest(
        kind == ImageContent::Gif, [&](qtreading::Frames which, const qtreading::FrameSink& sink) {
            return qtreading::readFile(data, kind, which, sink);
        });
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
