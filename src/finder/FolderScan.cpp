#include "finder/FolderScan.h"

#include "finder/PictureTypes.h"
#include "finder/SearchFilters.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace finder {

namespace {

QByteArray joined(const QByteArray& folder, const char* name)
{
    QByteArray path = folder;
    if (!path.endsWith('/'))
        path += '/';
    path += name;
    return path;
}

using Visited = std::set<std::pair<dev_t, ino_t>>;

// The folder open at fd (taken over), ready to be listed; nullptr when it was
// listed before (a folder reached twice), with *again set, or when it cannot
// be read (errno says why). fd is closed whenever nullptr is returned.
DIR* listOnce(int fd, Visited& visited, bool* again)
{
    struct stat info;
    *again = fstat(fd, &info) != 0 || !visited.insert({info.st_dev, info.st_ino}).second;
    DIR* dir = *again ? nullptr : fdopendir(fd);
    if (!dir) {
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    return dir;
}

// A subfolder of the folder being listed, opened relative to it while it is
// open, so that no link put in place of a parent on the way is ever followed.
int openSubfolder(DIR* dir, const QByteArray& name)
{
    return openat(
        dirfd(dir), name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
}

class Walker {
public:
    Walker(bool recursive, bool anyName, const std::atomic<bool>* stop,
        const std::function<void(std::int64_t)>& found, const ScanLimits& limits)
        : m_recursive(recursive)
        , m_anyName(anyName)
        , m_stop(stop)
        , m_found(found)
        , m_limits(limits)
    {
    }

    // Reads the folder open at fd (taken over and closed here); relative is
    // its path below the searched folder ("" for the searched folder itself).
    void readFolder(int fd, const QByteArray& path, const QByteArray& relative = {})
    {
        bool again = false;
        DIR* dir = listOnce(fd, m_visited, &again);
        if (!dir) {
            if (!again)
                unreadable(path, errno);
            return;
        }
        std::vector<QByteArray> subfolders;
        errno = 0;
        while (const dirent* item = readdir(dir)) {
            if (stopped())
                break;
            const char* name = item->d_name;
            if (name[0] == '.') // hidden names, "." and ".."
                continue;
            const unsigned char type = item->d_type;
            if (type == DT_LNK || type == DT_FIFO || type == DT_SOCK || type == DT_CHR
                || type == DT_BLK)
                continue;
            if (type == DT_DIR) {
                if (m_recursive)
                    subfolders.emplace_back(name);
                continue;
            }
            if (excluded(relative, name))
                continue;
            const std::size_t length = std::strlen(name);
            const bool pictureName = hasPictureSuffix(name, length);
            // A regular file of another name is only counted, without a stat.
            if (!pictureName && !m_anyName && type == DT_REG) {
                ++m_otherNames;
                continue;
            }
            struct stat entry;
            if (fstatat(dirfd(dir), name, &entry, AT_SYMLINK_NOFOLLOW) != 0)
                continue; // vanished since the listing
            if (S_ISDIR(entry.st_mode)) {
                if (m_recursive)
                    subfolders.emplace_back(name);
            } else if (S_ISREG(entry.st_mode) && entry.st_size < m_limits.minimumSize) {
                ++m_smallFiles;
            } else if (S_ISREG(entry.st_mode) && (pictureName || m_anyName)) {
                m_files.push_back({joined(path, name), identityOf(entry), pictureName});
                if (m_found && m_files.size() % 1000 == 0)
                    m_found(std::int64_t(m_files.size()));
            } else if (S_ISREG(entry.st_mode)) {
                ++m_otherNames;
            }
            errno = 0;
        }
        if (errno != 0 && !stopped())
            unreadable(path, errno);
        std::sort(subfolders.begin(), subfolders.end());
        for (const QByteArray& name : subfolders) {
            if (stopped())
                break;
            const QByteArray below = relative.isEmpty() ? name : relative + '/' + name;
            // An excluded folder is not even opened.
            if (!m_limits.excludes.isEmpty() && m_limits.excludes.excludesFolder(below))
                continue;
            const int child = openSubfolder(dir, name);
            if (child < 0) {
                if (errno != ENOENT && errno != ELOOP && errno != ENOTDIR)
                    unreadable(joined(path, name.constData()), errno);
                continue;
            }
            readFolder(child, joined(path, name.constData()), below);
        }
        closedir(dir);
    }

    void unreadable(const QByteArray& path, int error)
    {
        m_unreadable.push_back({path,
            QStringLiteral("folder cannot be read: %1")
                .arg(QString::fromLocal8Bit(std::strerror(error)))});
    }

    bool stopped() const { return m_stop && m_stop->load(std::memory_order_relaxed); }

    bool excluded(const QByteArray& relative, const char* name) const
    {
        if (m_limits.excludes.isEmpty())
            return false;
        return m_limits.excludes.excludesFile(
            relative.isEmpty() ? QByteArray(name) : relative + '/' + name);
    }

    std::vector<ScannedFile> m_files;
    std::vector<UnreadableFile> m_unreadable;
    std::int64_t m_otherNames = 0;
    std::int64_t m_smallFiles = 0;

private:
    bool m_recursive;
    bool m_anyName;
    const std::atomic<bool>* m_stop;
    const std::function<void(std::int64_t)>& m_found;
    const ScanLimits& m_limits;
    Visited m_visited;
};

} // namespace

QByteArray absoluteFolder(const QByteArray& folder)
{
    QByteArray path = folder;
    if (!path.startsWith('/')) {
        char* here = getcwd(nullptr, 0);
        path = joined(here ? QByteArray(here) : QByteArray("/"), path.constData());
        free(here);
    }
    // "." and empty parts say nothing; ".." stays, as the folder before it may be a link.
    QByteArray cleaned;
    for (const QByteArray& part : path.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        cleaned += '/' + part;
    }
    return cleaned.isEmpty() ? QByteArray("/") : cleaned;
}

ScanOutcome scanFolders(const QList<QByteArray>& folders, bool recursive,
    const std::atomic<bool>* stop, const std::function<void(std::int64_t)>& found, bool anyName,
    const ScanLimits& limits)
{
    Walker walker(recursive, anyName, stop, found, limits);
    for (const QByteArray& given : folders) {
        const QByteArray folder = absoluteFolder(given);
        // The folder itself was named by the user: a link to it is followed.
        const int fd = open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) {
            walker.unreadable(folder, errno);
            continue;
        }
        walker.readFolder(fd, folder);
    }
    ScanOutcome outcome;
    outcome.cancelled = walker.stopped();
    outcome.unreadableFolders = std::move(walker.m_unreadable);
    outcome.otherNames = walker.m_otherNames;
    outcome.smallFiles = walker.m_smallFiles;
    std::vector<ScannedFile> files = std::move(walker.m_files);
    std::sort(files.begin(), files.end(),
        [](const ScannedFile& a, const ScannedFile& b) { return a.path < b.path; });
    // One entry per file: the first name of each device and inode.
    std::set<std::pair<std::uint64_t, std::uint64_t>> seen;
    for (ScannedFile& file : files) {
        if (seen.insert({file.identity.device, file.identity.inode}).second)
            outcome.files.push_back(std::move(file));
    }
    if (found)
        found(std::int64_t(outcome.files.size()));
    return outcome;
}

namespace {

class PictureCounter {
public:
    PictureCounter(std::int64_t limit, const std::atomic<bool>* stop)
        : m_limit(limit)
        , m_stop(stop)
    {
    }

    // Counts the folder open at fd (taken over and closed here); the top
    // folder's own files are not counted.
    void countFolder(int fd, bool top)
    {
        bool again = false;
        DIR* dir = listOnce(fd, m_visited, &again);
        if (!dir)
            return;
        std::vector<QByteArray> subfolders;
        std::int64_t here = 0;
        while (const dirent* item = readdir(dir)) {
            if (finished())
                break;
            const char* name = item->d_name;
            if (name[0] == '.')
                continue;
            unsigned char type = item->d_type;
            if (type == DT_UNKNOWN) {
                struct stat entry;
                if (fstatat(dirfd(dir), name, &entry, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
                type = S_ISDIR(entry.st_mode) ? DT_DIR : S_ISREG(entry.st_mode) ? DT_REG : DT_LNK;
            }
            if (type == DT_DIR) {
                subfolders.emplace_back(name);
            } else if (type == DT_REG && !top && hasPictureSuffix(name, std::strlen(name))) {
                ++here;
                if (++m_result.pictures > m_limit)
                    m_result.overLimit = true;
            }
        }
        if (here > 0)
            ++m_result.folders;
        for (const QByteArray& name : subfolders) {
            if (finished())
                break;
            const int child = openSubfolder(dir, name);
            if (child >= 0)
                countFolder(child, false);
        }
        closedir(dir);
    }

    bool finished()
    {
        if (m_stop && m_stop->load(std::memory_order_relaxed))
            m_result.cancelled = true;
        return m_result.cancelled || m_result.overLimit;
    }

    SubfolderPictures m_result;

private:
    std::int64_t m_limit;
    const std::atomic<bool>* m_stop;
    Visited m_visited;
};

} // namespace

SubfolderPictures countSubfolderPictures(
    const QByteArray& folder, std::int64_t limit, const std::atomic<bool>* stop)
{
    PictureCounter counter(limit, stop);
    const QByteArray path = absoluteFolder(folder);
    const int fd = open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0)
        counter.countFolder(fd, true);
    return counter.m_result;
}

} // namespace finder
