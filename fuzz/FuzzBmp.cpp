// libFuzzer target: the converter's BMP path (Qt's reader, the header probe,
// the budget check and the bitmap written for what it decodes).

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzSupport::decodeAndCheck({data, size}, decoding::PictureType::Bmp);
    return 0;
}
