#pragma once
// Edited copies: pictures that are the same photo as another but for one
// region (a watermark, text, a pasted or painted patch, a removed object).
// Every other figure of their proof passes: the whole picture, the tone
// and the framing. They are listed, each beside the photo it was edited
// from, and never marked by a rule: a photographer keeps a watermarked
// export beside the original on purpose.

#include "similar/SamePhotoGrouping.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace similar {

struct EditedGroup {
    std::uint32_t source = 0; // the photo the others were edited from
    // Each edited copy with its difference measured from the source.
    std::vector<std::pair<std::uint32_t, PhotoDifference>> edited;
};

// The edited groups among the candidate pairs, whose proofs the evidence
// already holds. A source is the best copy of a same-photo group or a
// picture in none; of two such, the one with more pixels (then the first).
// An edited copy joins one group: the one whose source it differs least
// from. A copy already in the same group as its source is not an edit of it.
std::vector<EditedGroup> findEditedCopies(const std::vector<PhotoUnit>& units,
    const std::vector<std::pair<std::uint32_t, std::uint32_t>>& candidates,
    const std::vector<PhotoGroup>& groups, PhotoEvidence& evidence);

} // namespace similar
