// libFuzzer target: the WebP decoder (stills and animations) and its header
// reader, on libwebp.

#include "NewerTypesCheck.h"

#include "decoding/WebpDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const decoding::Bytes bytes(data, size);
    NewerTypesCheck::check(decoding::readWebpHeader(bytes), decoding::decodeWebp(bytes));
    return 0;
}
