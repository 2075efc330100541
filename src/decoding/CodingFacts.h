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
};

// Facts of a WebP file (RIFF chunks).
CodingFacts webpCodingFacts(Bytes file);

// Facts of a HEIF or AVIF file's primary picture; frames counts the pictures
// a viewer lists (neither thumbnails, alpha planes nor tiles).
CodingFacts heifCodingFacts(Bytes file);

} // namespace decoding
