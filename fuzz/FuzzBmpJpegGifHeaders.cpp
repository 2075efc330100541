// libFuzzer target: the BMP, JPEG and GIF header readers, which the
// whole-folder search runs on the first bytes of every candidate file before
// any decoder sees it. Whatever the bytes, a header that says ok names its
// type and a size that is not zero.

#include "decoding/BmpJpegGifHeaders.h"
#include "decoding/PictureDecoders.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const decoding::Bytes bytes(data, size);
    for (const decoding::PictureHeader& header :
        {decoding::readBmpHeader(bytes), decoding::readJpegHeader(bytes),
            decoding::readGifHeader(bytes), decoding::readHeader(bytes)}) {
        if (header.ok
            && (header.width == 0 || header.height == 0
                || header.type == decoding::PictureType::Unknown)) {
            fprintf(stderr, "a header said ok without a type and a size\n");
            abort();
        }
    }
    return 0;
}
