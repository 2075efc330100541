#pragma once
// What a whole-folder search finds: groups of files whose pixels are
// identical, and the files that could not be read. Shared by the command
// line, the window's pair walk and the review window; none of them searches.

#include "files/FileIdentity.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "similar/PhotoDifference.h"

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

// FoundFile::identity is who a file was when it was examined. Before acting on
// a file, a front-end compares it with the file as it is now: any difference
// (or a link in its place) means the file changed since the search and is
// left alone.
struct FoundFile {
    // Absolute path as the file system spells it: any bytes but "/" and NUL,
    // not necessarily UTF-8 (QFile::decodeName() to show it).
    QByteArray path;
    FileIdentity identity;
    QString type; // "BMP", "JPEG", "GIF", "PNG", "TIFF", "JPEG 2000", "WebP", "HEIF", "AVIF"
    // Under a protected folder (by this name or another): never marked, never acted on.
    bool isProtected = false;
    // The user judged this file not a duplicate of the others, and the group
    // is shown again because a file not judged joined it (or when asked).
    bool ignored = false;
};

struct DuplicateGroup {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t frames = 1;
    // At least two files, in a stable order (path order); the first is the
    // group's first picture in the window's pair walk.
    std::vector<FoundFile> files;
};

// One member of a same-photo group: one picture, held by one file or by
// several pixel-identical files.
struct SamePhotoMember {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<FoundFile> files; // path order; all with the same pixels
    int identicalGroup = -1; // index in FinderResult::groups when files are identical, else -1
    // Measured against the group's best copy; none for the best copy itself.
    std::optional<similar::PhotoDifference> difference;
};

// The same photo saved differently: at least two members whose pixels differ,
// each proven against the first member: the best copy when there is one (the
// copy the others were made from, as far as the evidence shows), else the
// reference copy (the most pixels, no enlargement).
struct SamePhotoGroup {
    std::vector<SamePhotoMember> members; // best copy first, then most similar first
    // The best copy's file: an index into members.front().files (the oldest
    // file of an identical member), -1 when the group has no best copy.
    int bestFile = -1;
    // Why: "most pixels", "oldest of equal size", ..., or why there is none
    // ("no clear best copy: the largest may be an enlargement").
    QString bestBecause;
};

struct UnreadableFile {
    UnreadableFile() = default;
    // Size and type as far as known: a folder has neither.
    UnreadableFile(QByteArray path, QString reason, std::int64_t size = -1, QString type = {})
        : path(std::move(path))
        , reason(std::move(reason))
        , size(size)
        , type(std::move(type))
    {
    }

    QByteArray path;
    QString reason; // one line: "truncated PNG data", "file vanished", ...
    std::int64_t size = -1; // as the scan saw it; -1 for a folder
    QString type; // as FoundFile::type; "unknown" when the content says no type
};

struct FinderResult {
    QList<QByteArray> folders; // as given, made absolute
    std::int64_t filesExamined = 0;
    // Regular files not examined because their names have no picture suffix
    // (hidden files are neither examined nor counted).
    std::int64_t filesNotExamined = 0;
    // Files examined for their content alone (FinderOptions::anyName, names
    // without a picture suffix) that hold no picture: counted, not listed as
    // unreadable.
    std::int64_t filesNotPictures = 0;
    // Of filesNotExamined: files smaller than FinderOptions::minimumSize.
    std::int64_t filesTooSmall = 0;
    // Groups left out because the user judged them not duplicates.
    std::int64_t groupsIgnored = 0;
    std::vector<DuplicateGroup> groups; // stable order: largest total size first
    // Only when FinderOptions::samePhoto: stable order, largest total size first.
    std::vector<SamePhotoGroup> samePhotoGroups;
    // Only when FinderOptions::samePhoto: pictures that are the same photo as
    // the first member but for one region (a watermark, a pasted patch),
    // each member measured against that first one. Never marked by a rule.
    std::vector<SamePhotoGroup> editedGroups;
    bool samePhotoSearched
        = false; // the search looked for them (its report names each group's kind)
    std::vector<UnreadableFile> unreadable;
    // Names the scan met that it could not keep (none today: paths are bytes).
    bool cancelled = false;
};
