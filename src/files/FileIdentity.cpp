#include "files/FileIdentity.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace {

std::int64_t nanoseconds(const struct timespec& t)
{
    return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

} // namespace

FileIdentity identityOf(const struct stat& info)
{
    FileIdentity identity;
    identity.device = std::uint64_t(info.st_dev);
    identity.inode = std::uint64_t(info.st_ino);
    identity.size = std::int64_t(info.st_size);
    identity.modifiedNs = nanoseconds(info.st_mtim);
    identity.changedNs = nanoseconds(info.st_ctim);
    identity.mode = std::uint32_t(info.st_mode);
    identity.links = std::uint32_t(info.st_nlink);
    identity.owner = std::uint32_t(info.st_uid);
    identity.group = std::uint32_t(info.st_gid);
    return identity;
}

bool sameFile(const FileIdentity& now, const FileIdentity& then, ChangeTime changeTime)
{
    return now.device == then.device && now.inode == then.inode && now.size == then.size
        && now.modifiedNs == then.modifiedNs && now.mode == then.mode && now.links == then.links
        && now.owner == then.owner && now.group == then.group
        && (changeTime == ChangeTime::Ignored || now.changedNs == then.changedNs);
}

std::optional<FileIdentity> plainFileIdentity(const char* path, FileChange* change, int* err)
{
    const auto fail = [&](FileChange why, int e) -> std::optional<FileIdentity> {
        if (change)
            *change = why;
        if (err)
            *err = e;
        return std::nullopt;
    };
    struct stat st { };
    if (::lstat(path, &st) != 0) {
        const int e = errno;
        return fail(e == ENOENT || e == ENOTDIR ? FileChange::Removed : FileChange::Unreadable, e);
    }
    if (S_ISLNK(st.st_mode))
        return fail(FileChange::ReplacedByLink, 0);
    if (!S_ISREG(st.st_mode))
        return fail(FileChange::NotPlainFile, 0);
    if (change)
        *change = FileChange::None;
    return identityOf(st);
}

FileChange changeSince(const char* path, const FileIdentity& then, ChangeTime changeTime, int* err)
{
    FileChange change = FileChange::None;
    const std::optional<FileIdentity> now = plainFileIdentity(path, &change, err);
    if (!now)
        return change;
    if (now->device != then.device || now->inode != then.inode)
        return FileChange::Replaced;
    if (now->size != then.size)
        return FileChange::Resized;
    // An identity recorded without mode or links (an older record) compares
    // on the fields it has.
    FileIdentity expected = then;
    if (expected.mode == 0) {
        expected.mode = now->mode;
        expected.links = now->links;
        expected.owner = now->owner;
        expected.group = now->group;
    }
    return sameFile(*now, expected, changeTime) ? FileChange::None : FileChange::Changed;
}

std::string changeText(FileChange change, int err)
{
    switch (change) {
    case FileChange::None:
        return {};
    case FileChange::Removed:
        return "removed since the search";
    case FileChange::ReplacedByLink:
        return "replaced by a link since the search";
    case FileChange::NotPlainFile:
        return "no longer a plain file";
    case FileChange::Replaced:
        return "replaced by another file since the search";
    case FileChange::Resized:
        return "size changed since the search";
    case FileChange::Changed:
        return "changed since the search";
    case FileChange::Unreadable:
        return std::strerror(err);
    }
    return {};
}
