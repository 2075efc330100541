#pragma once
// Which member of a same-photo group is the best copy: the one the others
// were made from. The claim is made only where the evidence supports it,
// and says which evidence it rests on.
//
// Content first: a copy with more pixels (by at least a tenth; sizes closer
// than that count as the same) is best unless it is an enlargement. At the
// same size, a lossless copy is best unless its pixels are a lossy copy's
// decode (within one level): then it was made from that copy and holds
// nothing more, and the lossy copy is. Between lossy copies (or lossless
// ones) of the same size, the content tells nothing: the one modified more
// than a day before every other is best. Where the evidence is ambiguous
// there is no best copy.

#include "similar/ReducedPicture.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace similar {

struct PhotoUnit;
class PhotoEvidence;

// Copies saved closer together than this tell nothing by their times.
inline constexpr std::int64_t kClearlyOlderNs = 24LL * 3600 * 1'000'000'000;

struct BestCopy {
    std::optional<std::uint32_t> unit; // none when the evidence is ambiguous
    std::string because; // "most pixels", ..., "no clear best copy: ..."
};

// The best of `members` (units of one group, at least two).
BestCopy chooseBestCopy(const std::vector<PhotoUnit>& units, std::vector<std::uint32_t> members,
    PhotoEvidence& evidence);

// The frame's samples rounded to 8-bit levels, RGBA, rows packed.
std::vector<std::uint8_t> eightBitLevels(const FrameView& frame);

// Whether every sample of the frame, rounded to 8-bit levels, is within one
// level of `levels` (eightBitLevels of a frame of the same size).
bool withinOneLevel(const FrameView& frame, const std::vector<std::uint8_t>& levels);

} // namespace similar
