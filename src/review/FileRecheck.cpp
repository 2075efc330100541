#include "review/FileRecheck.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace {

std::int64_t nanoseconds(const struct timespec& t)
{
    return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

} // namespace

std::optional<FileIdentity> currentIdentity(const QByteArray& path, QString* reason)
{
    struct stat st { };
    if (::lstat(path.constData(), &st) != 0) {
        const int err = errno;
        if (reason) {
            *reason = err == ENOENT ? QStringLiteral("removed since the search")
                                    : QString::fromLocal8Bit(std::strerror(err));
        }
        return std::nullopt;
    }
    if (S_ISLNK(st.st_mode)) {
        if (reason)
            *reason = QStringLiteral("replaced by a link since the search");
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) {
        if (reason)
            *reason = QStringLiteral("no longer a plain file");
        return std::nullopt;
    }
    FileIdentity now;
    now.device = std::uint64_t(st.st_dev);
    now.inode = std::uint64_t(st.st_ino);
    now.size = std::int64_t(st.st_size);
    now.modifiedNs = nanoseconds(st.st_mtim);
    now.changedNs = nanoseconds(st.st_ctim);
    return now;
}

QString changeSinceSearch(const QByteArray& path, const FileIdentity& searched)
{
    QString reason;
    const std::optional<FileIdentity> now = currentIdentity(path, &reason);
    if (!now)
        return reason;
    if (now->device != searched.device || now->inode != searched.inode)
        return QStringLiteral("replaced by another file since the search");
    if (now->size != searched.size)
        return QStringLiteral("size changed since the search");
    if (now->modifiedNs != searched.modifiedNs || now->changedNs != searched.changedNs)
        return QStringLiteral("changed since the search");
    return QString();
}

bool survivesAsText(const QByteArray& path)
{
    return QFile::encodeName(QFile::decodeName(path)) == path;
}
