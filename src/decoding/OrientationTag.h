#pragma once
// How a viewer turns a picture before showing it, read from the header bytes
// alone: the EXIF Orientation of a JPEG (APP1) and the Orientation tag of a
// TIFF. Every other type says "as stored" here: HEIF's rotation and mirror
// are applied by its decoder, and a PNG eXIf or WebP EXIF orientation is
// ignored on purpose, as most viewers ignore it.

#include "decoding/DecodedPicture.h"

#include <cstdint>

namespace decoding {

// The eight values of the EXIF/TIFF tag (274), named by what a viewer does
// to the stored rows.
enum class Orientation : std::uint8_t {
    AsStored = 1,
    MirrorLeftRight = 2,
    Turn180 = 3,
    MirrorTopBottom = 4,
    Transpose = 5, // the first stored row becomes the first column
    TurnClockwise = 6,
    Transverse = 7,
    TurnAnticlockwise = 8,
};

struct OrientationTag {
    Orientation orientation = Orientation::AsStored;
    // A TIFF whose pages say different orientations (its pages could not be
    // shown as one picture of one size).
    bool pagesDisagree = false;
};

// file may be the whole file or its first bytes; a tag beyond them, a
// damaged or missing tag, or a value outside 1-8 reads as AsStored.
OrientationTag readOrientation(Bytes file);

// True when the orientation swaps width and height.
inline bool swapsSides(Orientation orientation)
{
    return std::uint8_t(orientation) >= 5;
}

} // namespace decoding
