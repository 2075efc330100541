// libFuzzer target: the BMP, JPEG and GIF header and completeness readers,
// which both searches run on every candidate file before Qt's readers see it.
// Whatever the bytes, a header that says ok names its type and a size that is
// not zero, and only bytes of a type's own signature are whole of that type.

#include "decoding/BmpJpegGifHeaders.h"
#include "decoding/PictureDecoders.h"
#include "decoding/PictureType.h"

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
    // Every walk runs, whatever the signature says.
    (void)decoding::bmpComplete(bytes, size);
    (void)decoding::bmpComplete(bytes, size / 2);
    (void)decoding::jpegComplete(bytes);
    (void)decoding::gifComplete(bytes);
    for (const auto type :
        {decoding::PictureType::Bmp, decoding::PictureType::Jpeg, decoding::PictureType::Gif}) {
        if (decoding::isComplete(bytes, type) && decoding::detectType(bytes) != type) {
            fprintf(stderr, "content of another type taken as whole\n");
            abort();
        }
    }
    return 0;
}
