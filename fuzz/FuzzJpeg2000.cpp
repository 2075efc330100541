// libFuzzer target: the converter's JPEG 2000 path (OpenJPEG with the
// header-first budget check, band decoding, conversion to 8 bits, the box
// probe and the bitmap written for what it decodes).

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::initialise();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = FuzzSupport::bytes(data, size);
    // Both containers: what the first bytes say, else a box file.
    const ImageFormat::Type type
        = ImageFormat::sniff(bytes.left(ImageFormat::kSniffBytes)) == ImageFormat::J2kCodestream
        ? ImageFormat::J2kCodestream
        : ImageFormat::Jp2;
    FuzzSupport::decodeAndCheck(bytes, type);
    return 0;
}
