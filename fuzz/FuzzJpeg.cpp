// libFuzzer target: the whole-folder search's JPEG decoder on libjpeg
// (CMYK kept as inks, damaged streams refused), against the JPEG header
// reader of the same bytes.

#include "NewerTypesCheck.h"

#include "decoding/BmpJpegGifHeaders.h"
#include "decoding/JpegDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const decoding::Bytes bytes(data, size);
    NewerTypesCheck::check(decoding::readJpegHeader(bytes), decoding::jpeg::decode(bytes));
    return 0;
}
