#pragma once
// What the picture the neighbour search shows may leave out. The search shows
// and compares one 8-bit RGBA picture (Qt's reading of a BMP, JPEG or GIF,
// the converter's bitmap of a PNG, TIFF or JPEG 2000). A file that holds
// more (deeper samples, several frames or pages, inks, signed samples, extra
// samples, a 16-bit colour map; its header reader in src/decoding says so) is
// judged like the whole-folder search judges it: by the fingerprint of every
// stored sample (finder/PixelFingerprint), decoded in process at full depth,
// orientation not applied. The fingerprint goes under
// ImageLoader::kHiddenContentKey, so two pictures compare equal only when
// their fingerprints do too.

#include "decoding/DecodedPicture.h"

#include <QImage>
#include <QString>

class HiddenContent {
public:
    // Marks `shown`, the picture decoded from the file at path whose bytes
    // are of `type`: its text under kHiddenContentKey becomes the file's
    // full-depth fingerprint when the file holds more than `shown` carries,
    // and "" when it holds exactly `shown` (a 16-bit PNG whose samples are
    // all v * 257, say). Plain files are judged from their header alone.
    // False when a file that holds more cannot be read or decoded at full
    // depth (unsupported, damaged, out of memory, changed): such a picture
    // must not be compared with anything.
    static bool mark(const QString& path, decoding::PictureType type, QImage& shown);
};
