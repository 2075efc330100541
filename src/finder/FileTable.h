#pragma once
// The one table of files a whole-folder search works on: one row per file
// found by the scan, its id the row's index. Every stage reads and writes
// these rows (SearchStages.h), and what a stage learns stays in the row: the
// identical search's fingerprint, the same-photo signature, the identical
// group the file ended in.

#include "decoding/PictureType.h"
#include "files/FileIdentity.h"
#include "finder/PixelFingerprint.h"
#include "similar/PhotoSignature.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace finder {

using FileId = std::uint32_t;

// How far the search has come with a file.
enum class FileState : std::uint8_t {
    Listed, // nothing known yet
    HeaderKnown, // type and dimensions from the header (or the cache)
    HeaderUnknown, // a header that does not say: decode to find out
    Fingerprinted,
    Unreadable,
};

struct FileRecord {
    QByteArray path;
    FileIdentity identity;
    decoding::PictureType type = decoding::PictureType::Unknown;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t frames = 0; // 0: not known
    FileState state = FileState::Listed;
    bool pictureName = true; // the name ends in a picture suffix
    bool fromCache = false;
    bool cacheable = false; // what this search learned may be kept
    bool shareBytes = false; // another file to decode has the same size
    PixelFingerprint fingerprint; // when Fingerprinted
    QString reason; // when Unreadable
    std::optional<similar::PhotoSignature> signature; // the same-photo search's
    int identicalGroup = -1; // its index in FinderResult::groups, once grouped

    bool fingerprinted() const { return state == FileState::Fingerprinted; }
    // A picture whose size is known and that reads: the same-photo search's files.
    bool readable() const
    {
        return state == FileState::Fingerprinted || state == FileState::HeaderKnown;
    }
    // Whether what is learned about it now may be kept in the cache.
    bool keepable() const { return cacheable || fromCache; }
};

using FileTable = std::vector<FileRecord>;

} // namespace finder
