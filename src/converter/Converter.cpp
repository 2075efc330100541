#include "converter/Converter.h"

#include "converter/BmpWriter.h"
#include "converter/HeaderProbe.h"
#include "converter/ImageDecoder.h"
#include "converter/ImageFormat.h"
#include "converter/ImageInfoReport.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cstdio>
#include <sys/stat.h>

using namespace ConverterContract;

namespace {

bool sameFile(const QString& a, const QString& b)
{
    struct stat first;
    struct stat second;
    return ::stat(QFile::encodeName(a).constData(), &first) == 0
        && ::stat(QFile::encodeName(b).constData(), &second) == 0 && first.st_dev == second.st_dev
        && first.st_ino == second.st_ino;
}

ExitCode exitFor(ImageDecoder::Status status)
{
    return status == ImageDecoder::TooLarge ? kExitTooLarge : kExitUnreadable;
}

} // namespace

Converter::Converter(ConverterArguments arguments)
    : m_arguments(std::move(arguments))
{
}

ExitCode Converter::fail(ExitCode code, const QString& why)
{
    m_error = why;
    removeStaleOutput(m_arguments.convertPath);
    removeStaleOutput(m_arguments.infoPath);
    return code;
}

void Converter::removeStaleOutput(const QString& path) const
{
    if (path.isEmpty() || sameFile(path, m_arguments.imagePath))
        return;
    const QFileInfo target(path);
    if (target.isFile() && !target.isSymLink())
        QFile::remove(path);
}

bool Converter::writeAtomically(const QString& path, const std::function<bool(QIODevice*)>& write)
{
    const QFileInfo target(path);
    if (target.fileName().isEmpty() || target.isDir())
        return false;
    QTemporaryFile temporary(target.absolutePath() + QStringLiteral("/.") + target.fileName()
        + QStringLiteral(".XXXXXX"));
    if (!temporary.open())
        return false;
    // A temporary file is private to its owner; the output gets the usual
    // permissions of a new file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(temporary.handle(), 0666 & ~mask);
    if (!write(&temporary) || !temporary.flush() || temporary.error() != QFile::NoError)
        return false;
    temporary.close();
    if (::rename(QFile::encodeName(temporary.fileName()).constData(),
            QFile::encodeName(target.absoluteFilePath()).constData())
        != 0)
        return false;
    temporary.setAutoRemove(false);
    return true;
}

ExitCode Converter::run()
{
    const QString& path = m_arguments.imagePath;
    const QFileInfo info(path);
    // Only regular files: a FIFO or device would block the read forever.
    if (!info.exists())
        return fail(kExitUnreadable, QStringLiteral("no such file: %1").arg(path));
    if (!info.isFile())
        return fail(kExitUnreadable, QStringLiteral("not a regular file: %1").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(kExitUnreadable, QStringLiteral("cannot open %1").arg(path));

    const ImageFormat::Type type = ImageFormat::sniff(file.peek(ImageFormat::kSniffBytes));
    if (type == ImageFormat::Unknown)
        return fail(kExitUnreadable, QStringLiteral("not an image of a known type: %1").arg(path));
    if (!ImageFormat::matchesName(type, ImageFormat::fromSuffix(path)))
        return fail(kExitUnreadable,
            QStringLiteral("%1 holds %2 content, not what its name says")
                .arg(path, ImageFormat::displayName(type)));

    // The whole file is needed for JPEG 2000, for the report and for the
    // length checks of TIFF and BMP; mapping it costs no copy.
    const bool jpeg2000 = type == ImageFormat::Jp2 || type == ImageFormat::J2kCodestream;
    const bool checkLength = type == ImageFormat::Tiff || type == ImageFormat::Bmp;
    const bool needBytes = jpeg2000 || checkLength || !m_arguments.infoPath.isEmpty();
    const qint64 fileSize = file.size();
    QByteArray bytes;
    uchar* mapped = nullptr;
    if (needBytes) {
        mapped = file.map(0, fileSize);
        bytes = mapped
            ? QByteArray::fromRawData(reinterpret_cast<const char*>(mapped), qsizetype(fileSize))
            : file.readAll();
        if (bytes.size() != fileSize)
            return fail(kExitUnreadable, QStringLiteral("cannot read %1").arg(path));
        file.seek(0);
    }

    HeaderFacts facts;
    if (needBytes && !jpeg2000)
        facts = HeaderProbe::probe(bytes, type);
    if (checkLength && !facts.complete)
        return fail(kExitUnreadable, QStringLiteral("%1 is cut off or damaged").arg(path));

    QImage image;
    const ImageDecoder::Status status = jpeg2000
        ? ImageDecoder::decodeJpeg2000(bytes, type, &image, &facts)
        : ImageDecoder::decodeWithQt(&file, type, &image);
    if (status != ImageDecoder::Ok)
        return fail(exitFor(status),
            status == ImageDecoder::TooLarge
                ? QStringLiteral("%1 has more pixels than allowed").arg(path)
                : QStringLiteral("cannot decode %1").arg(path));
    if (jpeg2000 && !m_arguments.infoPath.isEmpty()) {
        const HeaderFacts boxes = HeaderProbe::probe(bytes, type);
        facts.dpiX = boxes.dpiX;
        facts.dpiY = boxes.dpiY;
    }

    if (!m_arguments.convertPath.isEmpty()) {
        const bool written = writeAtomically(m_arguments.convertPath,
            [&image](QIODevice* device) { return BmpWriter::write(image, device); });
        if (!written)
            return fail(
                kExitWriteFailed, QStringLiteral("cannot write %1").arg(m_arguments.convertPath));
    }
    if (!m_arguments.infoPath.isEmpty()) {
        const QByteArray report
            = ImageInfoReport::build(path, fileSize, type, facts, image).toUtf8();
        const bool written = writeAtomically(m_arguments.infoPath,
            [&report](QIODevice* device) { return device->write(report) == report.size(); });
        if (!written)
            return fail(
                kExitWriteFailed, QStringLiteral("cannot write %1").arg(m_arguments.infoPath));
    }
    return kExitOk;
}
