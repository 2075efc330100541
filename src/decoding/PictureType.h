#pragma once
// Recognises a picture's type from its first bytes, whatever its name says.

#include "decoding/DecodedPicture.h"

namespace decoding {

// Bytes detectType() needs to tell every type apart (the HEIF brands sit in
// the first box, which is read up to this length).
inline constexpr std::size_t kTypeSniffBytes = 64;

// The type the leading bytes announce, or Unknown. `head` may be the whole
// file or its first kTypeSniffBytes bytes.
PictureType detectType(Bytes head);

// Short name for people: "PNG", "JPEG 2000", ...; "unknown" for Unknown.
const char* typeName(PictureType type);

// Whether one frame of width x height is within kPixelBudget (and neither
// side is zero).
bool withinPixelBudget(std::uint64_t width, std::uint64_t height);

} // namespace decoding
