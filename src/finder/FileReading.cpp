#include "finder/FileReading.h"

#include "decoding/DecodedPicture.h"
#include "finder/FolderScan.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace finder {

namespace {

// An uncompressed 16-bit picture at the pixel budget, with room for headers.
constexpr qint64 kLargestFile = qint64(decoding::kPixelBudget) * 8 + 64 * 1024 * 1024;

FileBytes failed(const QString& reason)
{
    FileBytes result;
    result.reason = reason;
    return result;
}

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

FileBytes readFile(const QByteArray& path, const FileIdentity& listed, qint64 maxBytes)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            return failed(QStringLiteral("file vanished during the search"));
        if (error == ELOOP)
            return failed(QStringLiteral("replaced by a link during the search"));
        return failed(QStringLiteral("cannot be opened: %1").arg(systemReason(error)));
    }
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};

    struct stat before;
    if (fstat(fd, &before) != 0)
        return failed(QStringLiteral("cannot be read: %1").arg(systemReason(errno)));
    if (!S_ISREG(before.st_mode) || identityOf(before) != listed)
        return failed(QStringLiteral("changed during the search"));
    if (before.st_size > kLargestFile && maxBytes > kLargestFile)
        return failed(QStringLiteral("file too large for any picture Corvane reads"));

    const qint64 wanted = std::min<qint64>(before.st_size, maxBytes);
    FileBytes result;
    result.bytes.resize(wanted);
    qint64 done = 0;
    while (done < wanted) {
        const ssize_t got
            = ::pread(fd, result.bytes.data() + done, std::size_t(wanted - done), done);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return failed(QStringLiteral("cannot be read: %1").arg(systemReason(errno)));
        }
        if (got == 0)
            return failed(QStringLiteral("changed during the search")); // cut short meanwhile
        done += got;
    }
    struct stat after;
    if (fstat(fd, &after) != 0 || identityOf(after) != listed)
        return failed(QStringLiteral("changed during the search"));
    result.ok = true;
    result.newestChangeNs = std::max(listed.modifiedNs, listed.changedNs);
    return result;
}

} // namespace

FileBytes readFileStart(const QByteArray& path, const FileIdentity& listed, qint64 maxBytes)
{
    return readFile(path, listed, maxBytes);
}

FileBytes readWholeFile(const QByteArray& path, const FileIdentity& listed)
{
    return readFile(path, listed, kLargestFile + 1);
}

std::int64_t wallClockNs()
{
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return std::int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

} // namespace finder
