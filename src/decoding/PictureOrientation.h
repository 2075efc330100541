#pragma once
// Turns pictures as a viewer shows them, by the tag readOrientation() reads
// (JPEG EXIF, TIFF Orientation). The decoders give stored rows; every decode
// ends in decodeAsShown(), which turns them when the caller asks for the
// picture as shown (DecodeOptions::asShown), so that the whole-folder search
// and everything that shows its groups turn pictures by one rule and one
// piece of code.

#include "decoding/DecodeOptions.h"
#include "decoding/DecodedPicture.h"
#include "decoding/OrientationTag.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace decoding {

// The header as a viewer shows the picture: width and height swapped by a
// quarter turn. head as for readOrientation.
PictureHeader orientedHeader(PictureHeader header, Bytes head);

// Turns every frame of a decoded picture (any number of bytes a pixel).
void orientPicture(DecodedPicture& picture, Orientation orientation);

// Writes the rows at `in` (width x height stored pixels of pixelBytes,
// inStride bytes apart) turned by orientation to `out`, whose rows are
// outStride bytes apart and which holds the turned size (sides swapped by a
// quarter turn). For a caller with pixels of its own form (a QImage).
void orientRows(const std::uint8_t* in, std::size_t inStride, std::uint32_t width,
    std::uint32_t height, std::size_t pixelBytes, Orientation orientation, std::uint8_t* out,
    std::size_t outStride);

// Whether the file is shown as it is stored: no turn, and no TIFF pages of
// different orientations.
bool shownAsStored(Bytes file);

// The step every decode of a whole file passes through: decodeStored()
// gives the stored rows; with options.asShown the picture comes back turned
// as its tag says, and a TIFF whose pages say different orientations (no
// one picture of one size) is refused. Without it, the stored rows.
DecodeOutcome decodeAsShown(
    Bytes file, const DecodeOptions& options, const std::function<DecodeOutcome()>& decodeStored);

} // namespace decoding
