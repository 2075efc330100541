#pragma once
// Lists the candidate files of the chosen folders: regular files with a
// picture suffix (PictureTypes.h) whose names do not begin with "." , in
// each folder and, when asked, in its subfolders. Links are never followed
// (neither to files nor to folders), hidden folders are not entered, a
// folder reached twice (given twice, or inside another given folder) is read
// once, and a file reached under two names (a hard link) is listed once,
// under the name that sorts first.

#include "finder/FinderResult.h"

#include <sys/stat.h>

#include <atomic>
#include <functional>
#include <vector>

namespace finder {

struct ScannedFile {
    QByteArray path; // absolute, raw bytes
    FileIdentity identity;
};

struct ScanOutcome {
    std::vector<ScannedFile> files; // sorted by path (byte order)
    // Subfolders that could not be opened or read, with the reason.
    std::vector<UnreadableFile> unreadableFolders;
    bool cancelled = false;
};

// The folder as an absolute path without trailing "/" (except "/" itself);
// relative paths are taken from the working folder.
QByteArray absoluteFolder(const QByteArray& folder);

// found(count) is called now and then with the number of files found so far.
ScanOutcome scanFolders(const QList<QByteArray>& folders, bool recursive,
    const std::atomic<bool>* stop, const std::function<void(std::int64_t)>& found);

} // namespace finder
