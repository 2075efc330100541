#pragma once
// Pictures that carry an orientation tag, made by the tests with Debian's
// tools: the same small picture stored upright, stored turned with the tag
// that turns it back, and stored turned without a tag. Its 8 x 8 blocks of
// flat colour decode to the same pixels wherever a block lands, so even a
// JPEG stored turned shows exactly the upright JPEG's pixels.

#include <QString>

namespace orientedfiles {

enum class Kind { Jpeg, Tiff, Png, WebP };

// "jpg", "tif", "png", "webp".
QString suffix(Kind kind);

// Writes into folder (which exists): upright.SUFFIX (no tag), tagged.SUFFIX
// (stored so that the viewer's turn for `orientation`, 1 to 8, shows it
// upright; carries that tag: EXIF for JPEG, PNG eXIf and WebP, the TIFF tag
// for TIFF) and untagged.SUFFIX (the same stored rows, no tag). Returns ""
// on success, else what failed.
QString makeSet(const QString& folder, Kind kind, int orientation);

} // namespace orientedfiles
