// libFuzzer target: the converter's own header parsers for all six types
// (compression, depth, resolution, frame count, TIFF strip bounds).

#include "FuzzSupport.h"

#include "converter/HeaderProbe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    static const ImageFormat::Type types[] = {ImageFormat::Bmp, ImageFormat::Jpeg, ImageFormat::Gif,
        ImageFormat::Png, ImageFormat::Tiff, ImageFormat::Jp2};
    // The first byte picks the parser, the rest is the file.
    const ImageFormat::Type type = types[data[0] % 6];
    HeaderProbe::probe(FuzzSupport::bytes(data + 1, size - 1), type);
    return 0;
}
