// libFuzzer target: the converter's TIFF path (Qt's reader, the header probe,
// the budget check and the bitmap written for what it decodes).

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::initialise();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzSupport::decodeAndCheck(FuzzSupport::bytes(data, size), ImageFormat::Tiff);
    return 0;
}
