// libFuzzer target: the HEIF/HEIC and AVIF decoder and its header reader, on
// libheif (libde265, dav1d and libaom behind it), and the box reader of the
// information report.

#include "NewerTypesCheck.h"

#include "decoding/CodingFacts.h"
#include "decoding/HeifDecoder.h"
#include "decoding/PictureType.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const decoding::Bytes bytes(data, size);
    const decoding::PictureHeader header = decoding::readHeifHeader(bytes);
    if (header.ok && header.type != decoding::detectType(bytes))
        NewerTypesCheck::fail("header reader and type sniffer disagree");
    NewerTypesCheck::check(header, decoding::decodeHeif(bytes));
    decoding::heifCodingFacts(bytes);
    return 0;
}
