#include "handling/LinkReplacement.h"

#include "files/FileDescriptor.h"
#include "files/WholeIo.h"
#include "handling/FileActions.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <optional>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Outcome = LinkReplacement::Outcome;
using Result = LinkReplacement::Result;
using Method = LinkReplacement::Method;

QString errnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

QString changeReason(const QByteArray& path, const FileIdentity& expected, ChangeTime changeTime)
{
    int err = 0;
    return QString::fromStdString(
        changeText(changeSince(path.constData(), expected, changeTime, &err), err));
}

QByteArray folderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

std::int64_t nanoseconds(const struct timespec& t)
{
    return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

struct timespec timeOf(std::int64_t ns)
{
    return {time_t(ns / 1'000'000'000), long(ns % 1'000'000'000)};
}

// The file system has no clones to give (ext4, tmpfs), or not between these two.
bool noCloneHere(int err)
{
    return err == EOPNOTSUPP || err == ENOTSUP || err == EXDEV || err == EINVAL || err == ENOTTY
        || err == ENOSYS;
}

bool sameInode(const struct stat& a, const FileIdentity& b)
{
    return std::uint64_t(a.st_dev) == b.device && std::uint64_t(a.st_ino) == b.inode;
}

// Removes the name only while it still names `placed` (ours).
void removeOwnName(const QByteArray& path, const FileIdentity& placed)
{
    struct stat st { };
    if (::lstat(path.constData(), &st) == 0 && sameInode(st, placed))
        ::unlink(path.constData());
}

// Opens a plain file for reading without following a link; the descriptor
// and who it is.
FileDescriptor openPlain(const QByteArray& path, FileIdentity* who)
{
    FileDescriptor fd(::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st { };
    if (fd.valid() && (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)))
        return FileDescriptor();
    if (fd.valid())
        *who = identityOf(st);
    return fd;
}

// Gives the old file metadata to a new file: owner first (changing it clears
// set-user-ID bits that fchmod then restores; only root may give a file
// away, so a refusal is expected and harmless), mode, times.
int takeOver(int fd, const FileIdentity& old, std::int64_t accessedNs)
{
    [[maybe_unused]] const int owned = ::fchown(fd, old.owner, old.group);
    if (::fchmod(fd, old.mode & 07777) != 0)
        return errno;
    const struct timespec times[2] = {timeOf(accessedNs), timeOf(old.modifiedNs)};
    return ::futimens(fd, times) == 0 ? 0 : errno;
}

// Makes a clone of keptFd under the free name path; 0 or errno (EEXIST when
// the name is taken). *placed is who the clone is.
int makeClone(const QByteArray& path, int keptFd, const FileIdentity& old, std::int64_t accessedNs,
    FileIdentity* placed)
{
    FileDescriptor out(
        ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!out.valid())
        return errno;
    struct stat made { };
    ::fstat(out.get(), &made);
    *placed = identityOf(made);
    int err = ::ioctl(out.get(), FICLONE, keptFd) == 0 ? 0 : errno;
    if (err == 0)
        err = takeOver(out.get(), old, accessedNs);
    if (err == 0 && ::fsync(out.get()) != 0)
        err = errno;
    if (err == 0 && ::fstat(out.get(), &made) == 0)
        *placed = identityOf(made);
    if (const int closed = out.close(); err == 0)
        err = closed;
    if (err != 0)
        removeOwnName(path, *placed);
    return err;
}

} // namespace

bool LinkReplacement::canClone(const QByteArray& kept, const QByteArray& folder)
{
    FileIdentity who;
    const FileDescriptor in = openPlain(kept, &who);
    FileDescriptor probe(::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    return in.valid() && probe.valid() && ::ioctl(probe.get(), FICLONE, in.get()) == 0;
}

LinkReplacement::Outcome LinkReplacement::replace(const Request& request)
{
    Outcome out;
    out.method = request.method;
    const auto finish = [&out](Result result, const QString& reason) {
        out.result = result;
        out.reason = reason;
        return out;
    };
    const QByteArray& path = request.path;

    // 1. Both files as the search saw them, on one file system, the same bytes.
    if (const QString change
        = changeReason(request.kept, request.keptExpected, ChangeTime::Compared);
        !change.isEmpty())
        return finish(Result::Skipped, QStringLiteral("the copy that stays was ") + change);
    if (const QString change = changeReason(path, request.expected, ChangeTime::Compared);
        !change.isEmpty())
        return finish(Result::Skipped, change);
    if (request.expected.device != request.keptExpected.device)
        return finish(
            Result::Skipped, QStringLiteral("on another file system than the copy that stays"));
    if (request.expected.inode == request.keptExpected.inode)
        return finish(Result::Skipped, QStringLiteral("already one file with the copy that stays"));
    FileIdentity keptOpened;
    FileIdentity markedOpened;
    const FileDescriptor keptFd = openPlain(request.kept, &keptOpened);
    // A file with no name left was saved over while it was being opened.
    if (keptFd.valid() && keptOpened.links == 0)
        return finish(
            Result::Skipped, QStringLiteral("the copy that stays was replaced during the action"));
    if (!keptFd.valid() || !sameFile(keptOpened, request.keptExpected, ChangeTime::Compared))
        return finish(
            Result::Skipped, QStringLiteral("the copy that stays changed since the search"));
    const FileDescriptor markedFd = openPlain(path, &markedOpened);
    if (markedFd.valid() && markedOpened.links == 0)
        return finish(Result::Skipped,
            QStringLiteral("another file was saved under its name during the action"));
    if (!markedFd.valid() || !sameFile(markedOpened, request.expected, ChangeTime::Compared))
        return finish(Result::Skipped, QStringLiteral("changed since the search"));
    if (const int cmp = compareAll(markedFd.get(), keptFd.get())) {
        return cmp < 0 ? finish(Result::Skipped,
                   QStringLiteral("its bytes differ from the copy that stays (its own "
                                  "metadata or compression would be lost)"))
                       : finish(Result::Failed, errnoText(cmp));
    }

    // 2. The marked file under a private name, looked at again there (the
    // rename moved its change time on).
    QByteArray claimed;
    if (const int err = FileActions::ClaimUnderPrivateName(path, &claimed)) {
        return err == ENOENT ? finish(Result::Skipped, QStringLiteral("removed since the search"))
                             : finish(Result::Failed, errnoText(err));
    }
    QString movedAside;
    const auto giveBack = [&] {
        if (FileActions::GiveNameBack(claimed, path) != 0) {
            movedAside
                = QStringLiteral("; the file now has the name %1").arg(QFile::decodeName(claimed));
        }
    };
    struct stat atClaim { };
    if (::lstat(claimed.constData(), &atClaim) != 0 || !sameInode(atClaim, markedOpened)
        || !sameFile(identityOf(atClaim), request.expected, ChangeTime::Ignored)) {
        giveBack();
        return finish(Result::Skipped,
            QStringLiteral("another file was saved under its name during the action") + movedAside);
    }
    out.accessedNs = nanoseconds(atClaim.st_atim);

    // 3. The clone or link under the free name; nothing is written over.
    int err = 0;
    if (request.method == Method::Clone) {
        err = makeClone(path, keptFd.get(), request.expected, out.accessedNs, &out.placed);
        if (noCloneHere(err) && request.hardLinkAllowed)
            out.method = Method::HardLink;
        else if (noCloneHere(err))
            err = EOPNOTSUPP;
    } else {
        out.method = Method::HardLink;
    }
    if (out.method == Method::HardLink) {
        err = ::link(request.kept.constData(), path.constData()) == 0 ? 0 : errno;
        struct stat linked { };
        if (err == 0 && ::lstat(path.constData(), &linked) == 0)
            out.placed = identityOf(linked);
    }
    if (err != 0) {
        giveBack();
        if (err == EEXIST) {
            return finish(Result::Skipped,
                QStringLiteral("another file took its name during the action") + movedAside);
        }
        if (err == EOPNOTSUPP && out.method == Method::Clone)
            return finish(Result::Failed,
                QStringLiteral("this file system cannot make a clone") + movedAside);
        if (err == EPERM && out.method == Method::HardLink)
            return finish(Result::Failed,
                QStringLiteral("the system refused a hard link to the copy that stays (%1)")
                        .arg(errnoText(err))
                    + movedAside);
        return finish(Result::Failed, errnoText(err) + movedAside);
    }
    // The copy that stays must still be the file compared: a hard link made
    // by name takes whatever holds the name now.
    FileIdentity keptWanted = request.keptExpected;
    keptWanted.links += out.method == Method::HardLink ? 1 : 0;
    const std::optional<FileIdentity> keptNow = plainFileIdentity(request.kept.constData());
    const bool keptSame = keptNow && sameFile(*keptNow, keptWanted, ChangeTime::Ignored)
        && (out.method == Method::Clone || out.placed.inode == keptOpened.inode);
    if (!keptSame) {
        removeOwnName(path, out.placed);
        giveBack();
        return finish(Result::Skipped,
            QStringLiteral("the copy that stays changed during the action") + movedAside);
    }

    // 4. The claimed file goes, while it is still the file compared.
    struct stat beforeRemoval { };
    if (::lstat(claimed.constData(), &beforeRemoval) != 0 || !sameInode(beforeRemoval, markedOpened)
        || !sameFile(identityOf(beforeRemoval), request.expected, ChangeTime::Ignored)) {
        removeOwnName(path, out.placed);
        giveBack();
        return finish(Result::Skipped, QStringLiteral("changed during the action") + movedAside);
    }
    if (::unlink(claimed.constData()) != 0) {
        const int unlinkErr = errno;
        removeOwnName(path, out.placed);
        giveBack();
        return finish(Result::Failed, errnoText(unlinkErr) + movedAside);
    }
    out.freed = beforeRemoval.st_nlink == 1;
    // After a hard link both names are one file: who it is now.
    if (const std::optional<FileIdentity> placed = plainFileIdentity(path.constData()))
        out.placed = *placed;
    if (const std::optional<FileIdentity> kept = plainFileIdentity(request.kept.constData()))
        out.keptNow = *kept;
    return finish(Result::Done, QString());
}

LinkReplacement::Restored LinkReplacement::putBack(const Linked& linked)
{
    Restored restored;
    const auto refuse = [&restored](const QString& reason) {
        restored.reason = reason;
        return restored;
    };
    // The copy that stays is where the old bytes come from: it must be as it
    // was when the name was linked to it (its link count and change time
    // move with every name put back).
    FileIdentity keptWho;
    const FileDescriptor keptFd = openPlain(linked.kept, &keptWho);
    FileIdentity keptWanted = linked.keptAfter;
    keptWanted.links = keptWho.links;
    if (!keptFd.valid() || !sameFile(keptWho, keptWanted, ChangeTime::Ignored)) {
        const QString change = changeReason(linked.kept, keptWanted, ChangeTime::Ignored);
        return refuse(QStringLiteral("the copy that stays changed since the links were made (%1): "
                                     "its bytes are not this file's old bytes")
                          .arg(change.isEmpty() ? QStringLiteral("rewritten") : change));
    }
    const std::optional<FileIdentity> there = plainFileIdentity(linked.path.constData());
    if (!there)
        return refuse(QStringLiteral("it is no longer there"));
    if (there->device != linked.placed.device || there->inode != linked.placed.inode)
        return refuse(QStringLiteral("another file now stands at its place"));
    if (linked.method == Method::Clone) {
        FileIdentity placedWanted = linked.placed;
        placedWanted.links = there->links;
        if (!sameFile(*there, placedWanted, ChangeTime::Ignored))
            return refuse(QStringLiteral("it was edited since: it is a file of its own already"));
    }

    // A copy of the old bytes under a private name, with the old metadata.
    const QByteArray folder = folderOf(linked.path);
    QByteArray own = folder + (folder == "/" ? "" : "/") + kPutBackPrefix + "XXXXXX";
    FileDescriptor out(::mkostemp(own.data(), O_CLOEXEC));
    if (!out.valid())
        return refuse(errnoText(errno));
    bool handedOver = false;
    const auto dropOwn = [&] {
        if (!handedOver)
            ::unlink(own.constData());
    };
    int err = copyAll(keptFd.get(), out.get());
    if (err == 0)
        err = ::fsync(out.get()) == 0 ? 0 : errno;
    if (err == 0) {
        const int cmp = compareAll(keptFd.get(), out.get());
        err = cmp < 0 ? EIO : cmp;
    }
    if (err == 0)
        err = takeOver(out.get(), linked.old, linked.oldAccessedNs);
    if (err == 0)
        err = out.close();
    struct stat keptAfterCopy { };
    if (err == 0
        && (::fstat(keptFd.get(), &keptAfterCopy) != 0
            || !sameFile(identityOf(keptAfterCopy), keptWho, ChangeTime::Ignored))) {
        dropOwn();
        return refuse(QStringLiteral("the copy that stays changed while it was copied"));
    }
    if (err != 0) {
        dropOwn();
        return refuse(errnoText(err));
    }

    // The link or clone is claimed, looked at again, and the copy takes its name.
    QByteArray claimed;
    if (const int claimErr = FileActions::ClaimUnderPrivateName(linked.path, &claimed)) {
        dropOwn();
        return refuse(
            claimErr == ENOENT ? QStringLiteral("it is no longer there") : errnoText(claimErr));
    }
    struct stat atClaim { };
    if (::lstat(claimed.constData(), &atClaim) != 0 || !sameInode(atClaim, linked.placed)) {
        dropOwn();
        if (FileActions::GiveNameBack(claimed, linked.path) != 0)
            return refuse(QStringLiteral("another file took its place; the file that stood "
                                         "there now has the name %1")
                              .arg(QFile::decodeName(claimed)));
        return refuse(QStringLiteral("another file now stands at its place"));
    }
    if (const int placeErr = FileActions::GiveNameBack(own, linked.path)) {
        dropOwn();
        const bool back = FileActions::GiveNameBack(claimed, linked.path) == 0;
        return refuse(errnoText(placeErr)
            + (back ? QString()
                    : QStringLiteral("; the link now has the name %1")
                          .arg(QFile::decodeName(claimed))));
    }
    handedOver = true;
    if (::unlink(claimed.constData()) != 0) {
        restored.reason = QStringLiteral("the link left behind could not be removed: %1 (%2)")
                              .arg(errnoText(errno), QFile::decodeName(claimed));
    }
    if (const std::optional<FileIdentity> now = plainFileIdentity(linked.path.constData()))
        restored.now = *now;
    if (const std::optional<FileIdentity> kept = plainFileIdentity(linked.kept.constData()))
        restored.keptNow = *kept;
    return restored;
}
