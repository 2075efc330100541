#pragma once
// How a WebP or HEIF/AVIF file is coded, read from its chunks or boxes alone
// (no codec library), for the image-information report.

#include "decoding/DecodedPicture.h"

#include <string>

namespace decoding {

struct CodingFacts {
    std::string compression; // "VP8L (lossless)", "HEVC, 4:2:0, grid of 4 tiles", ...; "" unknown
    int bitsPerPixel = 0; // all channels with alpha; 0 when unknown
    std::uint32_t frames = 1; // animation frames or top-level pictures
    bool lossless = false; // every picture coded without loss, as far as the file says
};

// Facts of a WebP file (RIFF chunks).
CodingFacts webpCodingFacts(Bytes file);

// Facts of a HEIF or AVIF file's primary picture; frames counts the pictures
// a viewer lists (neither thumbnails, alpha planes nor tiles).
CodingFacts heifCodingFacts(Bytes file);

// Whether the file's picture is coded without loss, read from the file
// itself: PNG, BMP and GIF always; a TIFF unless JPEG-compressed (or in a
// compression not known to keep every sample); a WebP of VP8L chunks only;
// a JPEG 2000 coded with the reversible 5-3 wavelet; a HEIF or AVIF file
// never (its losslessness is not written where its boxes say). A JPEG, and a
// file whose headers cannot be read, counts as lossy.
bool codedWithoutLoss(Bytes file, PictureType type);

} // namespace decoding
