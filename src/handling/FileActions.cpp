#include "handling/FileActions.h"

#include "files/FileDescriptor.h"
#include "files/FileIdentity.h"
#include "files/WholeIo.h"

#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>

// Qt's "signals" keyword would clash with a GDBus structure member.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

QString errnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

// Removes a half-made temporary file unless it was handed over.
class TemporaryFileGuard {
public:
    explicit TemporaryFileGuard(QByteArray path)
        : m_path(std::move(path))
    {
    }
    ~TemporaryFileGuard()
    {
        if (!m_path.isEmpty())
            ::unlink(m_path.constData());
    }
    TemporaryFileGuard(const TemporaryFileGuard&) = delete;
    TemporaryFileGuard& operator=(const TemporaryFileGuard&) = delete;
    void release() { m_path.clear(); }

private:
    QByteArray m_path;
};

// Gives the file at `from` the name `to` unless `to` exists; 0 or errno
// (EEXIST when the name is taken, EXDEV across file systems). *linked comes
// back true when only a hard link could be made: `from` then still exists and
// the caller decides whether it may go.
int placeNoReplace(const QByteArray& from, const QByteArray& to, bool useRenameat2, bool* linked)
{
    *linked = false;
    if (useRenameat2) {
        if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE)
            == 0)
            return 0;
        const int err = errno;
        if (err != EINVAL && err != ENOSYS && err != ENOTSUP && err != EOPNOTSUPP)
            return err;
    }
    // link() refuses an existing name as atomically as the flag above does.
    if (::link(from.constData(), to.constData()) == 0) {
        *linked = true;
        return 0;
    }
    const int linkErr = errno;
    if (linkErr != EPERM && linkErr != ENOTSUP && linkErr != EOPNOTSUPP)
        return linkErr;
    // No hard links either (FAT-like file systems): reserve the name with an
    // exclusive create, then rename over our own placeholder.
    const int fd = ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno;
    ::close(fd);
    if (::rename(from.constData(), to.constData()) == 0)
        return 0;
    const int err = errno;
    ::unlink(to.constData());
    return err;
}

// placeNoReplace for a file nobody else knows of (our own temporary or
// private name): a hard link left behind is simply dropped.
int renameOwnFileNoReplace(const QByteArray& from, const QByteArray& to, bool useRenameat2)
{
    bool linked = false;
    const int err = placeNoReplace(from, to, useRenameat2, &linked);
    if (err == 0 && linked)
        ::unlink(from.constData());
    return err;
}

// Whether `now` is still the file `then` described (see sameFile in
// files/FileIdentity.h: without the change time right after our own rename).
bool sameFile(const struct stat& now, const struct stat& then, bool withChangeTime)
{
    return ::sameFile(identityOf(now), identityOf(then),
        withChangeTime ? ChangeTime::Compared : ChangeTime::Ignored);
}

QByteArray folderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

// What became of a source that was to be removed.
struct SourceRemoval {
    enum Result { Removed, Changed, Failed } result = Failed;
    int err = 0;
    // Changed: where the file found under the source's name is now (the
    // source's own name unless it could not be given back).
    QByteArray keptAs;
};

// Takes `path` out of sight under a private name in its own folder, never
// replacing anything there; 0 or errno.
int claimUnderPrivateName(const QByteArray& path, QByteArray* claimed)
{
    const QByteArray folder = folderOf(path);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = (folder == "/" ? folder : folder + '/')
            + FileActions::kRemovingPrefix
            + QByteArray::number(QRandomGenerator::global()->generate64(), 16);
        int err = 0;
        if (::renameat2(AT_FDCWD, path.constData(), AT_FDCWD, name.constData(), RENAME_NOREPLACE)
            == 0) {
            *claimed = name;
            return 0;
        }
        err = errno;
        if (err == EINVAL || err == ENOSYS || err == ENOTSUP || err == EOPNOTSUPP) {
            // No atomic refusal here; a random private name is as good as free.
            struct stat taken { };
            if (::lstat(name.constData(), &taken) == 0)
                continue;
            if (::rename(path.constData(), name.constData()) == 0) {
                *claimed = name;
                return 0;
            }
            err = errno;
        }
        if (err != EEXIST)
            return err;
    }
    return EEXIST;
}

// Removes the file at `path` only while it is still the file `expected`
// describes. Another program may save over the name at any moment, so the
// name is checked, renamed to a private name (no one else saves there), and
// that private name is checked again before it is unlinked; a file that is
// not the expected one goes back to its name.
SourceRemoval removeIfStillTheSame(
    const QByteArray& path, const struct stat& expected, const FileActions::MoveOptions& options)
{
    SourceRemoval removal;
    if (options.beforeRemoveSource)
        options.beforeRemoveSource();
    struct stat now { };
    if (::lstat(path.constData(), &now) != 0) {
        removal.err = errno;
        removal.result = removal.err == ENOENT ? SourceRemoval::Changed : SourceRemoval::Failed;
        return removal;
    }
    if (!sameFile(now, expected, true)) {
        removal.result = SourceRemoval::Changed;
        removal.keptAs = path;
        return removal;
    }
    if (options.afterSourceChecked)
        options.afterSourceChecked();

    QByteArray claimed;
    if (const int err = claimUnderPrivateName(path, &claimed)) {
        removal.err = err;
        removal.result = err == ENOENT ? SourceRemoval::Changed : SourceRemoval::Failed;
        return removal;
    }
    struct stat atClaim { };
    const bool same
        = ::lstat(claimed.constData(), &atClaim) == 0 && sameFile(atClaim, expected, false);
    if (same) {
        if (::unlink(claimed.constData()) == 0) {
            removal.result = SourceRemoval::Removed;
            return removal;
        }
        removal.err = errno;
        removal.result = SourceRemoval::Failed;
    } else {
        removal.result = SourceRemoval::Changed;
    }
    // Give the file its name back; should another file have taken that name
    // in the meantime, it keeps the private one and the caller says where.
    removal.keptAs = renameOwnFileNoReplace(claimed, path, true) == 0 ? path : claimed;
    return removal;
}

void syncFolder(const QByteArray& folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

FileActions::MoveResult failed(QString* error, const QString& text)
{
    setError(error, text);
    return FileActions::MoveResult::Failed;
}

// The file has its place in the target folder; what is left is taking the
// source away, which happens only while it is still the file `expected`
// describes. `placed` identifies what was put at `target`.
FileActions::MoveResult removeSourceAfterPlacing(const QByteArray& source,
    const struct stat& expected, const QByteArray& target, const struct stat& placed,
    QString* error, const FileActions::MoveOptions& options)
{
    const SourceRemoval removal = removeIfStillTheSame(source, expected, options);
    QString movedAside;
    if (!removal.keptAs.isEmpty() && removal.keptAs != source) {
        movedAside = QStringLiteral(" The file found under the old name now has the name %1.")
                         .arg(QFile::decodeName(removal.keptAs));
    }
    switch (removal.result) {
    case SourceRemoval::Removed:
        return FileActions::MoveResult::Moved;
    case SourceRemoval::Changed:
        setError(error,
            QStringLiteral("The copy made before the change is %1.").arg(QFile::decodeName(target))
                + movedAside);
        return FileActions::MoveResult::SourceChanged;
    case SourceRemoval::Failed:
        break;
    }
    // Two copies would not be a move: take ours back, while it is still ours,
    // and leave things as they were.
    struct stat atTarget { };
    if (::lstat(target.constData(), &atTarget) == 0 && atTarget.st_dev == placed.st_dev
        && atTarget.st_ino == placed.st_ino)
        ::unlink(target.constData());
    return failed(error,
        QStringLiteral("The original could not be removed: ") + errnoText(removal.err)
            + movedAside);
}

FileActions::MoveResult copyAcross(const QByteArray& source, const struct stat& sourceStat,
    const QByteArray& folder, const QByteArray& target, QString* error,
    const FileActions::MoveOptions& options)
{
    FileDescriptor in(::open(source.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!in.valid())
        return failed(error, errnoText(errno));
    struct stat opened { };
    if (::fstat(in.get(), &opened) != 0)
        return failed(error, errnoText(errno));
    if (opened.st_dev != sourceStat.st_dev || opened.st_ino != sourceStat.st_ino)
        return failed(error, QStringLiteral("The file changed while it was being moved."));

    // Refuse early when the name is taken, so no copy is made in vain; the
    // final step below refuses again if a file appears in the meantime.
    struct stat existing { };
    if (::lstat(target.constData(), &existing) == 0) {
        setError(error, errnoText(EEXIST));
        return FileActions::MoveResult::AlreadyExists;
    }

    QByteArray temporary = folder + '/' + FileActions::kTemporaryPrefix + "XXXXXX";
    FileDescriptor out(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!out.valid())
        return failed(error, errnoText(errno));
    TemporaryFileGuard guard(temporary);

    if (const int err = copyAll(in.get(), out.get()))
        return failed(error, errnoText(err));
    if (::fsync(out.get()) != 0)
        return failed(error, errnoText(errno));
    if (const int cmp = compareAll(in.get(), out.get())) {
        return failed(error,
            cmp < 0 ? QStringLiteral("The copy differs from the original.") : errnoText(cmp));
    }
    // Owner first: changing it clears set-user-ID bits that fchmod then restores.
    // Only root may give a file away, so a refusal is expected and harmless.
    [[maybe_unused]] const int chownResult = ::fchown(out.get(), opened.st_uid, opened.st_gid);
    if (::fchmod(out.get(), opened.st_mode & 07777) != 0)
        return failed(error, errnoText(errno));
    const struct timespec times[2] = {opened.st_atim, opened.st_mtim};
    if (::futimens(out.get(), times) != 0)
        return failed(error, errnoText(errno));
    struct stat copied { };
    if (::fstat(out.get(), &copied) != 0)
        return failed(error, errnoText(errno));
    if (const int err = out.close())
        return failed(error, errnoText(err));

    if (options.beforePublish)
        options.beforePublish();
    if (const int err
        = renameOwnFileNoReplace(temporary, target, !options.withoutNoReplaceRename)) {
        if (err == EEXIST) {
            setError(error, errnoText(err));
            return FileActions::MoveResult::AlreadyExists;
        }
        return failed(error, errnoText(err));
    }
    guard.release();
    syncFolder(folder);
    // The source must still be the file that was opened and copied: the same
    // inode, untouched since (a save over its name or an edit in place would
    // otherwise be lost with it).
    return removeSourceAfterPlacing(source, opened, target, copied, error, options);
}

} // namespace

namespace {

// Sends the file at native to the trash: the local VFS directly, since
// trashing a local file needs no desktop daemon.
bool trashNative(const QByteArray& native, QString* error)
{
    GFile* file = g_vfs_get_file_for_path(g_vfs_get_local(), native.constData());
    GError* gerror = nullptr;
    const bool ok = g_file_trash(file, nullptr, &gerror);
    if (!ok) {
        setError(error,
            gerror ? QString::fromUtf8(gerror->message)
                   : QStringLiteral("The file could not be moved to the trash."));
    }
    if (gerror)
        g_error_free(gerror);
    g_object_unref(file);
    return ok;
}

// Empty while the file at path is still `expected`; otherwise what happened.
QString changeOf(const QByteArray& path, const FileIdentity& expected, ChangeTime changeTime)
{
    int err = 0;
    const FileChange change = changeSince(path.constData(), expected, changeTime, &err);
    return QString::fromStdString(changeText(change, err));
}

} // namespace

FileActions::CheckedResult FileActions::RecycleFileIfUnchanged(
    const QByteArray& path, const FileIdentity& expected, QString* error)
{
    if (const QString change = changeOf(path, expected, ChangeTime::Compared); !change.isEmpty()) {
        setError(error, change);
        return CheckedResult::Changed;
    }
    return trashNative(path, error) ? CheckedResult::Done : CheckedResult::Failed;
}

FileActions::CheckedResult FileActions::DeleteFileIfUnchanged(
    const QByteArray& path, const FileIdentity& expected, QString* error)
{
    if (const QString change = changeOf(path, expected, ChangeTime::Compared); !change.isEmpty()) {
        setError(error, change);
        return CheckedResult::Changed;
    }
    QByteArray claimed;
    if (const int err = claimUnderPrivateName(path, &claimed)) {
        setError(
            error, err == ENOENT ? QStringLiteral("removed since the search") : errnoText(err));
        return err == ENOENT ? CheckedResult::Changed : CheckedResult::Failed;
    }
    // The rename moved the change time on; every other field still tells.
    const QString change = changeOf(claimed, expected, ChangeTime::Ignored);
    if (change.isEmpty()) {
        if (::unlink(claimed.constData()) == 0)
            return CheckedResult::Done;
        setError(error, errnoText(errno));
    } else {
        setError(error, change);
    }
    // Give the file its name back; should another file have taken that name
    // meanwhile, it keeps the private one and the reason says where.
    if (renameOwnFileNoReplace(claimed, path, true) != 0) {
        setError(error,
            (error ? *error : QString())
                + QStringLiteral("; the file now has the name %1").arg(QFile::decodeName(claimed)));
    }
    return change.isEmpty() ? CheckedResult::Failed : CheckedResult::Changed;
}

int FileActions::ClaimUnderPrivateName(const QByteArray& path, QByteArray* claimed)
{
    return claimUnderPrivateName(path, claimed);
}

int FileActions::GiveNameBack(const QByteArray& claimed, const QByteArray& path)
{
    return renameOwnFileNoReplace(claimed, path, true);
}

bool FileActions::RecycleFile(const QString& path, QString* error)
{
    if (path.isEmpty()) {
        setError(error, QStringLiteral("No file was named."));
        return false;
    }
    struct stat st { };
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode)) {
        // Corvane acts on image files only; a folder here is a caller's mistake.
        setError(error, errnoText(EISDIR));
        return false;
    }
    return trashNative(QFile::encodeName(path), error);
}

bool FileActions::DeleteFilePermanently(const QString& path, QString* error)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st { };
    if (path.isEmpty() || ::lstat(native.constData(), &st) != 0) {
        setError(error, errnoText(path.isEmpty() ? ENOENT : errno));
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        setError(error, errnoText(EISDIR));
        return false;
    }
    if (::unlink(native.constData()) != 0) {
        setError(error, errnoText(errno));
        return false;
    }
    return true;
}

FileActions::MoveResult FileActions::MoveFileNoReplace(
    const QString& source, const QString& targetFolder, QString* error)
{
    return MoveFileNoReplace(source, targetFolder, error, MoveOptions());
}

FileActions::MoveResult FileActions::MoveFileNoReplace(
    const QString& source, const QString& targetFolder, QString* error, const MoveOptions& options)
{
    const QString name = source.mid(source.lastIndexOf(QLatin1Char('/')) + 1);
    QString folder = targetFolder;
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    if (folder.isEmpty())
        return failed(error, errnoText(ENOENT));
    return MoveFileToNoReplace(source,
        (folder == QStringLiteral("/") ? folder : folder + QLatin1Char('/')) + name, error,
        options);
}

FileActions::MoveResult FileActions::MoveFileToNoReplace(
    const QString& source, const QString& targetPath, QString* error)
{
    return MoveFileToNoReplace(source, targetPath, error, MoveOptions());
}

FileActions::MoveResult FileActions::MoveFileToNoReplace(
    const QString& source, const QString& targetPath, QString* error, const MoveOptions& options)
{
    const QByteArray nativeSource = QFile::encodeName(source);
    struct stat sourceStat { };
    if (source.isEmpty() || ::lstat(nativeSource.constData(), &sourceStat) != 0)
        return failed(error, errnoText(source.isEmpty() ? ENOENT : errno));
    if (!S_ISREG(sourceStat.st_mode))
        return failed(error, QStringLiteral("Only plain files are moved."));

    const QByteArray target = QFile::encodeName(targetPath);
    const QByteArray folder = folderOf(target);
    struct stat folderStat { };
    if (target.isEmpty() || target.endsWith('/') || ::stat(folder.constData(), &folderStat) != 0)
        return failed(error, errnoText(target.isEmpty() || target.endsWith('/') ? ENOENT : errno));
    if (!S_ISDIR(folderStat.st_mode))
        return failed(error, errnoText(ENOTDIR));

    if (options.beforePublish && folderStat.st_dev == sourceStat.st_dev)
        options.beforePublish();
    bool linked = false;
    const int err = placeNoReplace(nativeSource, target, !options.withoutNoReplaceRename, &linked);
    if (err == 0 && !linked)
        return MoveResult::Moved;
    if (err == 0) {
        // Two names for one file: the source name goes only while it still
        // names the file that was linked.
        struct stat placed { };
        if (::lstat(target.constData(), &placed) != 0)
            return failed(error, errnoText(errno));
        return removeSourceAfterPlacing(nativeSource, placed, target, placed, error, options);
    }
    if (err == EEXIST) {
        setError(error, errnoText(err));
        return MoveResult::AlreadyExists;
    }
    if (err != EXDEV)
        return failed(error, errnoText(err));
    return copyAcross(nativeSource, sourceStat, folder, target, error, options);
}
