// libFuzzer target: the converter's report facts for all six types
// (compression, depth, resolution, frame count, TIFF strip bounds): its own
// walks of PNG, TIFF and JPEG 2000, its wording of what the decoding
// library's BMP, JPEG and GIF reader finds, and the decoding library's
// header readers.

#include "FuzzSupport.h"

#include "converter/HeaderProbe.h"
#include "decoding/PictureDecoders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    using decoding::PictureType;
    static const PictureType types[] = {PictureType::Bmp, PictureType::Jpeg, PictureType::Gif,
        PictureType::Png, PictureType::Tiff, PictureType::Jpeg2000};
    // The first byte picks the parser, the rest is the file.
    const decoding::Bytes file(data + 1, size - 1);
    HeaderProbe::probe(file, types[data[0] % 6]);
    decoding::readHeader(file);
    return 0;
}
