// libFuzzer target: PNG read with libdeflate in one call against libpng.
// Whatever the whole-inflate path decodes, libpng must decode to the same
// samples; what it leaves must reach libpng untouched.

#include "decoding/PngDecoder.h"
#include "decoding/PngWholeInflate.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const decoding::Bytes file(data, size);
    for (const bool eightBit : {false, true}) {
        decoding::DecodeOptions options;
        options.eightBit = eightBit;
        const std::optional<decoding::DecodeOutcome> whole
            = decoding::png::decodeWholeInflate(file, options);
        if (!whole || whole->status != decoding::DecodeStatus::Ok)
            continue;
        const decoding::DecodeOutcome reference = decoding::png::decodeWithLibpng(file, options);
        if (reference.status != decoding::DecodeStatus::Ok
            || reference.picture.bytesPerSample != whole->picture.bytesPerSample
            || reference.picture.frames != whole->picture.frames)
            std::abort();
    }
    return 0;
}
