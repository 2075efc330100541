#pragma once
// A folder of photos and what was made of them, written by the tests with
// Debian's encoders (ImageMagick, cjpeg, heif-enc, cwebp) from the photos of
// the mate-backgrounds package, each first brought to 768 pixels wide.
//
// For every photo: true copies that must join its group (re-saves at JPEG
// quality 70 to 100, resizes to 1/2, 1/3, 1/8 and by one pixel, HEIC, AVIF,
// lossy WebP, one pixel or one row changed, a byte copy that makes an
// identical group, an enlargement that must never be the best copy), and
// near misses that must stay in no group (crops shifted by 2 to 5 %, two
// crops overlapping by 80 %, colour and exposure edits, a quarter turn
// without a tag, a mirror). The photos themselves are of similar subjects
// (flowers, grass, sky) and must never share a group.

#include "decoding/DecodedPicture.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <vector>

namespace photocollection {

// Apart: another picture, or an edit of the whole (tone, framing, a turn).
// Edited: the same photo but for one region; listed as an edited copy of it.
enum class Role { Original, Copy, Enlargement, Apart, Edited };

struct Made {
    QString photo; // which photo it was made from
    QString name; // file name in the folder
    QString kase; // what it guards, e.g. "jpeg quality 70"
    Role role = Role::Copy;
};

struct Collection {
    QString root;
    std::vector<Made> files;
};

// The photos whose figures chose the thresholds, and those that check them:
// the second set with the saved copies and the edits, the first with the
// first variants alone (for the tests of the search's machinery, which
// need many files but not every pair of them).
QStringList calibrationPhotos();
QStringList checkPhotos();
QStringList checkEditPhotos();

// Which variants: the first ones (re-saves, resizes, crops, colour edits,
// turns), or every one (also chroma subsampling, 16-bit, messenger copies,
// watermarks, pasted patches, tone edits and reframings).
enum class Variants { First, Every };

// Writes the variants of the given photos into root; fails the running
// test (ADD_FAILURE) and returns false when a tool or photo is missing.
bool make(const QString& root, const QStringList& photos, Collection* collection,
    Variants variants = Variants::Every);

bool run(const QString& program, const QStringList& arguments, QByteArray* output = nullptr);

// The picture in a file as the whole-folder search decodes it; nothing when
// it does not read or decode.
std::optional<decoding::DecodedPicture> decodeFile(const QString& path);

} // namespace photocollection
