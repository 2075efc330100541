// libFuzzer target: the WebP decoder (stills and animations) and its header
// reader, on libwebp, and the chunk reader of the information report.

#include "NewerTypesCheck.h"

#include "decoding/CodingFacts.h"
#include "decoding/WebpDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const decoding::Bytes bytes(data, size);
    NewerTypesCheck::check(decoding::readWebpHeader(bytes), decoding::decodeWebp(bytes));
    decoding::webpCodingFacts(bytes);
    return 0;
}
