#pragma once
// The groups the user judged not to be duplicates, kept in Corvane's data
// folder (not with the cache, which may be deleted at any time) and applied
// to every search's result, whichever front-end asked for it.
//
// Files are known by their content, not their names: each by its size and
// the SHA-256 of its bytes, so that a renamed or moved file stays judged,
// while a file whose bytes change is a new file. A judgment is on a whole
// group (none of its files are duplicates of each other) or on one file's
// membership in a group (that file is not a copy of the others).
//
// A group found again is left out when every one of its files was judged in
// one judgment; for a membership, the judged file alone is left out. When a
// file the user has not judged joins the group, it comes back whole, its
// judged files flagged FoundFile::ignored.

#include "finder/FinderResult.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace finder {

struct ContentKey {
    std::int64_t size = 0;
    QByteArray sha256; // 32 bytes

    bool operator==(const ContentKey&) const = default;
    bool operator<(const ContentKey& other) const
    {
        return size != other.size ? size < other.size : sha256 < other.sha256;
    }
};

// The key of a found file as it is now; nullopt (with *reason) when it cannot
// be read or is no longer the file the search saw.
std::optional<ContentKey> contentKeyOf(const FoundFile& file, QString* reason = nullptr);

struct IgnoredGroup {
    std::vector<ContentKey> files; // every file of the group when it was judged
    std::vector<ContentKey> judged; // of those, the ones judged: all, or one member
};

class IgnoreList {
public:
    // ignored-groups.json in the data folder, the same for the window and
    // corvane-find: $XDG_DATA_HOME/Corvane (by default ~/.local/share/Corvane).
    static QString defaultPath();

    // Empty when there is no list; *problem says why a list that exists could not be read.
    static IgnoreList load(const QString& path, QString* problem = nullptr);
    // Written whole or not at all; "" on success, else why not.
    QString save(const QString& path) const;
    // Forgets every judgment; "" on success.
    static QString forget(const QString& path);

    // A judgment on the files of one group: the whole group when member is
    // null, else that member's place in it. Every file is read for its key;
    // "" on success, else why not (nothing is then added).
    QString add(const std::vector<const FoundFile*>& group, const FoundFile* member = nullptr);

    std::size_t size() const { return m_groups.size(); }
    const std::vector<IgnoredGroup>& groups() const { return m_groups; }

    // Leaves out the judged groups and members of result (counting the groups
    // left out in result.groupsIgnored) and flags the judged files of groups
    // that came back; with show, nothing is left out, judged files flagged.
    void apply(FinderResult& result, bool show) const;

private:
    std::vector<IgnoredGroup> m_groups;
};

} // namespace finder
