// libFuzzer target: the orientation reader, which the whole-folder search and
// the review window run on the header bytes of every JPEG and TIFF. Whatever
// the bytes, it ends, reads inside them, and gives one of the eight values.

#include "decoding/OrientationTag.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const decoding::OrientationTag tag = decoding::readOrientation(decoding::Bytes(data, size));
    const auto value = std::uint8_t(tag.orientation);
    if (value < 1 || value > 8) {
        fprintf(stderr, "orientation %u is none of the eight\n", unsigned(value));
        abort();
    }
    return 0;
}
