#pragma once
// Sizes a HEIF file claims that libheif 1.15 does not show before it
// decodes, read straight from the boxes: every coded size ("ispe") and the
// canvas of every derived picture (a "grid" of tiles, an "iovl" overlay).
// libheif allocates a derived picture's canvas from its own descriptor, which
// can claim far more than the picture's "ispe"; these sizes go under the
// pixel budget before anything is decoded.

#include "decoding/DecodedPicture.h"

#include <vector>

namespace decoding {

struct ClaimedSize {
    std::uint64_t width = 0;
    std::uint64_t height = 0;
};

// Every size found; boxes that are cut off or malformed are skipped (libheif
// refuses those itself).
std::vector<ClaimedSize> heifClaimedSizes(Bytes bytes);

// Whether the file holds an image sequence (a 'moov' box with its tracks, or
// the brands 'msf1', 'avis' or 'hevs' that announce one). libheif 1.15 reads
// only the still pictures of such a file, not the frames of its track.
bool heifHoldsSequence(Bytes bytes);

} // namespace decoding
