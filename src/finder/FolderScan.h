#pragma once
// Lists the candidate files of the chosen folders: regular files with a
// picture suffix (PictureTypes.h), or with any name when asked, whose names
// do not begin with "." , in
// each folder and, when asked, in its subfolders. Links are never followed
// (neither to files nor to folders), hidden folders are not entered, a
// folder reached twice (given twice, or inside another given folder) is read
// once, and a file reached under two names (a hard link) is listed once,
// under the name that sorts first.

#include "finder/FinderResult.h"
#include "finder/SearchFilters.h"

#include <sys/stat.h>

#include <atomic>
#include <functional>
#include <vector>

namespace finder {

struct ScannedFile {
    QByteArray path; // absolute, raw bytes
    FileIdentity identity;
    bool pictureName = true; // the name ends in a picture suffix
};

struct ScanOutcome {
    std::vector<ScannedFile> files; // sorted by path (byte order)
    // Subfolders that could not be opened or read, with the reason.
    std::vector<UnreadableFile> unreadableFolders;
    // Regular files (not hidden) left out because their names have no
    // picture suffix; 0 when every name is listed.
    std::int64_t otherNames = 0;
    // Regular files left out because they are smaller than the minimum size.
    std::int64_t smallFiles = 0;
    bool cancelled = false;
};

// What the scan leaves out besides hidden names and links.
struct ScanLimits {
    ExcludePatterns excludes; // matched below each searched folder
    std::int64_t minimumSize = 0; // bytes; smaller files are counted in smallFiles
};

// The folder as an absolute path without trailing "/" (except "/" itself);
// relative paths are taken from the working folder.
QByteArray absoluteFolder(const QByteArray& folder);

// found(count) is called now and then with the number of files found so far.
// anyName lists every regular file, whatever its name.
ScanOutcome scanFolders(const QList<QByteArray>& folders, bool recursive,
    const std::atomic<bool>* stop, const std::function<void(std::int64_t)>& found,
    bool anyName = false, const ScanLimits& limits = {});

// What the subfolders of a folder hold in pictures, counted by name alone
// (nothing is opened or decoded): the folder's own files are not counted.
// Hidden names are left out and links are not followed, as in scanFolders.
struct SubfolderPictures {
    std::int64_t pictures = 0; // files with a picture suffix, up to limit + 1
    std::int64_t folders = 0; // subfolders (at any depth) holding at least one of them
    bool overLimit = false; // more than limit pictures: the count stopped there
    bool cancelled = false;
};

// Stops as soon as more than limit pictures are found, or when *stop is set.
SubfolderPictures countSubfolderPictures(
    const QByteArray& folder, std::int64_t limit, const std::atomic<bool>* stop = nullptr);

} // namespace finder
