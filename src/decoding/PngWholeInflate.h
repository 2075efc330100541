#pragma once
// PNG's usual forms read without libpng's row machinery: the size of the
// inflated image data is known from IHDR, so libdeflate inflates all IDAT
// data in one call, the rows are unfiltered in place and expanded to
// Corvane's RGBA form in one pass each. The pixels equal libpng's (the
// expansions PngDecoder asks of it) sample for sample.
//
// This path takes only files it reads exactly as libpng does: not
// interlaced, no animation, no colour-key transparency (tRNS of grey or RGB),
// no palette index past the palette, every chunk's CRC right, the zlib
// stream whole with its Adler-32 right, an IEND at the end. Anything else is
// left to libpng, which gives its own verdict.

#include "decoding/DecodeOptions.h"
#include "decoding/DecodedPicture.h"

#include <optional>

namespace decoding::png {

// The decoded picture, a TooLarge outcome when the pixel memory cannot be
// had, or nothing when libpng must read the file.
std::optional<DecodeOutcome> decodeWholeInflate(Bytes file, const DecodeOptions& options);

} // namespace decoding::png
