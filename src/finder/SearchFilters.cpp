#include "finder/SearchFilters.h"

#include "finder/FolderScan.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <map>
#include <set>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace finder {

namespace {

// fnmatch() without its locale: "*" any run of bytes, "?" one byte, every
// other byte itself ("/" never occurs: names are matched one at a time).
bool nameMatches(const char* pattern, const char* patternEnd, const char* name, const char* nameEnd)
{
    const char* star = nullptr;
    const char* resume = nullptr;
    while (name < nameEnd) {
        if (pattern < patternEnd && *pattern == '*') {
            star = ++pattern;
            resume = name;
        } else if (pattern < patternEnd && (*pattern == '?' || *pattern == *name)) {
            ++pattern;
            ++name;
        } else if (star) {
            pattern = star;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (pattern < patternEnd && *pattern == '*')
        ++pattern;
    return pattern == patternEnd;
}

bool nameMatches(const QByteArray& pattern, const QByteArray& name)
{
    return nameMatches(pattern.constData(), pattern.constData() + pattern.size(), name.constData(),
        name.constData() + name.size());
}

bool partsMatch(const std::vector<QByteArray>& pattern, std::size_t p,
    const QList<QByteArray>& names, qsizetype n)
{
    if (p == pattern.size())
        return n == names.size();
    if (pattern[p] == "**") {
        // Any number of names, none included.
        for (qsizetype k = n; k <= names.size(); ++k) {
            if (partsMatch(pattern, p + 1, names, k))
                return true;
        }
        return false;
    }
    return n < names.size() && nameMatches(pattern[p], names[n])
        && partsMatch(pattern, p + 1, names, n + 1);
}

} // namespace

ExcludePatterns::ExcludePatterns(const QList<QByteArray>& patterns)
{
    for (const QByteArray& text : patterns) {
        if (text.isEmpty())
            continue;
        Pattern pattern;
        pattern.nameOnly = !text.contains('/');
        for (const QByteArray& part : text.split('/')) {
            // "a//b", "./a" and a leading or trailing "/" say nothing more.
            if (part.isEmpty() || part == ".")
                continue;
            // "**" then "**" is "**".
            if (part == "**" && !pattern.parts.empty() && pattern.parts.back() == "**")
                continue;
            pattern.parts.push_back(part);
        }
        if (!pattern.parts.empty())
            m_patterns.push_back(std::move(pattern));
    }
}

bool ExcludePatterns::matches(const Pattern& pattern, const QByteArray& relative) const
{
    if (pattern.nameOnly) {
        const qsizetype slash = relative.lastIndexOf('/');
        return nameMatches(pattern.parts.front(), slash < 0 ? relative : relative.mid(slash + 1));
    }
    return partsMatch(pattern.parts, 0, relative.split('/'), 0);
}

bool ExcludePatterns::excludesFile(const QByteArray& relative) const
{
    for (const Pattern& pattern : m_patterns) {
        if (matches(pattern, relative))
            return true;
    }
    return false;
}

bool ExcludePatterns::excludesFolder(const QByteArray& relative) const
{
    for (const Pattern& pattern : m_patterns) {
        if (matches(pattern, relative))
            return true;
        // "X/**" leaves out all that X holds, hence the folder X itself.
        if (pattern.parts.size() > 1 && pattern.parts.back() == "**") {
            Pattern inside = pattern;
            inside.parts.pop_back();
            if (matches(inside, relative))
                return true;
        }
    }
    return false;
}

std::optional<std::int64_t> parseSize(const QByteArray& text)
{
    if (text.isEmpty())
        return std::nullopt;
    std::int64_t unit = 1;
    qsizetype digits = text.size();
    switch (text.back()) {
    case 'k':
    case 'K':
        unit = 1024;
        --digits;
        break;
    case 'm':
    case 'M':
        unit = 1024 * 1024;
        --digits;
        break;
    case 'g':
    case 'G':
        unit = 1024 * 1024 * 1024;
        --digits;
        break;
    default:
        break;
    }
    if (digits == 0)
        return std::nullopt;
    std::int64_t value = 0;
    for (qsizetype i = 0; i < digits; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        if (value > (std::numeric_limits<std::int64_t>::max() - (c - '0')) / 10)
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > std::numeric_limits<std::int64_t>::max() / unit)
        return std::nullopt;
    return value * unit;
}

namespace {

using Inode = std::pair<std::uint64_t, std::uint64_t>;

// Whether a folder (an absolute path) is one of the protected folders or
// lies inside one, by device and inode, each folder looked at once.
class ProtectedFolders {
public:
    explicit ProtectedFolders(const QList<QByteArray>& folders)
    {
        for (const QByteArray& folder : folders) {
            struct stat info;
            if (::stat(absoluteFolder(folder).constData(), &info) == 0 && S_ISDIR(info.st_mode))
                m_inodes.insert({std::uint64_t(info.st_dev), std::uint64_t(info.st_ino)});
        }
    }

    bool isEmpty() const { return m_inodes.empty(); }

    bool holds(const QByteArray& folder)
    {
        const auto known = m_known.find(folder);
        if (known != m_known.end())
            return known->second;
        bool inside = false;
        struct stat info;
        if (::stat(folder.constData(), &info) == 0)
            inside = m_inodes.count({std::uint64_t(info.st_dev), std::uint64_t(info.st_ino)}) > 0;
        if (!inside && folder != "/") {
            const qsizetype slash = folder.lastIndexOf('/');
            inside = holds(slash <= 0 ? QByteArray("/") : folder.left(slash));
        }
        m_known.emplace(folder, inside);
        return inside;
    }

private:
    std::set<Inode> m_inodes;
    std::map<QByteArray, bool> m_known;
};

// Every name under the folder open at fd (taken over), hidden ones too, links
// not followed: the wanted files found there are taken out of `wanted`.
void findNames(
    int fd, std::set<Inode>& wanted, std::set<Inode>& visited, const std::atomic<bool>* stop)
{
    struct stat self;
    if (fstat(fd, &self) != 0
        || !visited.insert({std::uint64_t(self.st_dev), std::uint64_t(self.st_ino)}).second) {
        ::close(fd);
        return;
    }
    DIR* dir = fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    std::vector<QByteArray> subfolders;
    while (const dirent* item = readdir(dir)) {
        if (wanted.empty() || (stop && stop->load(std::memory_order_relaxed)))
            break;
        const char* name = item->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        const unsigned char type = item->d_type;
        if (type != DT_REG && type != DT_DIR && type != DT_UNKNOWN)
            continue;
        struct stat entry;
        if (fstatat(dirfd(dir), name, &entry, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(entry.st_mode))
            subfolders.emplace_back(name);
        else if (S_ISREG(entry.st_mode) && entry.st_nlink > 1)
            wanted.erase({std::uint64_t(entry.st_dev), std::uint64_t(entry.st_ino)});
    }
    for (const QByteArray& name : subfolders) {
        if (wanted.empty())
            break;
        const int child = openat(dirfd(dir), name.constData(),
            O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (child >= 0)
            findNames(child, wanted, visited, stop);
    }
    closedir(dir);
}

} // namespace

void markProtected(
    FinderResult& result, const QList<QByteArray>& folders, const std::atomic<bool>* stop)
{
    ProtectedFolders protectedFolders(folders);
    if (protectedFolders.isEmpty())
        return;
    // Files with other names, not protected by the one the scan kept.
    std::set<Inode> linked;
    forEachFoundFile(result, [&](FoundFile& file) {
        const qsizetype slash = file.path.lastIndexOf('/');
        file.isProtected
            = protectedFolders.holds(slash <= 0 ? QByteArray("/") : file.path.left(slash));
        if (!file.isProtected && file.identity.links > 1)
            linked.insert({file.identity.device, file.identity.inode});
    });
    if (linked.empty())
        return;
    const std::set<Inode> wanted = linked;
    std::set<Inode> visited;
    for (const QByteArray& folder : folders) {
        const int fd = ::open(
            absoluteFolder(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
        if (fd >= 0)
            findNames(fd, linked, visited, stop);
    }
    // What is no longer wanted was found under a protected folder.
    forEachFoundFile(result, [&](FoundFile& file) {
        const Inode inode{file.identity.device, file.identity.inode};
        if (!file.isProtected && wanted.count(inode) && !linked.count(inode))
            file.isProtected = true;
    });
}

} // namespace finder
