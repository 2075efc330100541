#pragma once
// What a search leaves out and what it must never touch:
//
// - Exclusion patterns, matched against the path of each file and folder
//   relative to the searched folder it was found in. "*" matches any run of
//   bytes within one name, "?" one byte, "**" as a whole part any number of
//   folders (none included). A pattern without "/" is matched against the
//   name alone, at any depth ("*.tmp"); a pattern with "/" against the whole
//   relative path ("**/cache/**", "2019/*.png"; a leading "/" changes
//   nothing). A folder is left out, and not even listed, when the pattern
//   matches it or everything inside it ("**/Thumbnails/**").
// - A minimum size: smaller files are counted as not examined.
// - Protected folders: a file found under one, under any of its names (hard
//   links), is marked FoundFile::isProtected.
//
// Paths are bytes: a pattern is matched byte for byte, never as text.

#include "finder/FinderResult.h"

#include <QByteArray>
#include <QList>

#include <atomic>
#include <optional>
#include <vector>

namespace finder {

class ExcludePatterns {
public:
    ExcludePatterns() = default;
    explicit ExcludePatterns(const QList<QByteArray>& patterns);

    bool isEmpty() const { return m_patterns.empty(); }
    // relative: the path below the searched folder ("a/b.jpg"), no leading "/".
    bool excludesFile(const QByteArray& relative) const;
    bool excludesFolder(const QByteArray& relative) const;

private:
    struct Pattern {
        std::vector<QByteArray> parts; // split at "/"; "**" stands alone
        bool nameOnly = false; // no "/": matched against the last name
    };
    bool matches(const Pattern& pattern, const QByteArray& relative) const;
    std::vector<Pattern> m_patterns;
};

// "1234", "200K", "5M", "1G" (K, M and G are 1024, 1024² and 1024³; lower
// case too): the size in bytes, or nullopt for anything else (empty, a sign,
// a fraction, another unit, a size beyond 2^63).
std::optional<std::int64_t> parseSize(const QByteArray& text);

// Sets FoundFile::isProtected on every file of result's groups that lies under
// one of the folders (compared as folders, by device and inode, so that a
// folder reached through a link still counts), or that has another name
// under one of them (a file with several links: the protected folders are then
// walked for it). Stops early when *stop is set.
void markProtected(FinderResult& result, const QList<QByteArray>& folders,
    const std::atomic<bool>* stop = nullptr);

// Calls f on every file of every group of the result (identical, same photo, edited).
template <typename F> void forEachFoundFile(FinderResult& result, F&& f)
{
    for (DuplicateGroup& group : result.groups)
        for (FoundFile& file : group.files)
            f(file);
    for (auto* list : {&result.samePhotoGroups, &result.editedGroups})
        for (SamePhotoGroup& group : *list)
            for (SamePhotoMember& member : group.members)
                for (FoundFile& file : member.files)
                    f(file);
}

} // namespace finder
