#pragma once
// Who a file is: the one record every check of "is it still the same file?"
// uses, from the search to the moment a copy is trashed, deleted or moved.

#include <cstdint>
#include <optional>
#include <string>

struct stat;

struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0; // st_mtim in nanoseconds since the epoch
    std::int64_t changedNs = 0; // st_ctim in nanoseconds since the epoch
    std::uint32_t mode = 0; // type and permission bits
    std::uint32_t links = 0;
    std::uint32_t owner = 0;
    std::uint32_t group = 0;

    bool operator==(const FileIdentity&) const = default;
};

FileIdentity identityOf(const struct stat& info);

// Whether `now` is still the file `then` described. Corvane's own claiming
// rename moves a file's change time on, so right after it the comparison is
// made without the change time: every other field (size, modification time,
// mode, owner, links) still catches what would have moved it.
enum class ChangeTime { Compared, Ignored };
bool sameFile(const FileIdentity& now, const FileIdentity& then, ChangeTime changeTime);

// What became of a file since its identity was taken.
enum class FileChange {
    None,
    Removed,
    ReplacedByLink,
    NotPlainFile,
    Replaced, // another inode under the name
    Resized,
    Changed, // rewritten, re-permissioned, re-linked or touched
    Unreadable, // lstat failed for another reason (see the errno)
};

// The identity of the plain file at path now, without following a link;
// nullopt with *change (and *err for Unreadable) saying why not.
std::optional<FileIdentity> plainFileIdentity(
    const char* path, FileChange* change = nullptr, int* err = nullptr);

// FileChange::None while the file at path is still `then`; *err is set for
// FileChange::Unreadable.
FileChange changeSince(const char* path, const FileIdentity& then,
    ChangeTime changeTime = ChangeTime::Compared, int* err = nullptr);

// One short line for the user: "removed since the search", ...
std::string changeText(FileChange change, int err = 0);
