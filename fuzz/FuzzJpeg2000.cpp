// libFuzzer target: the converter's JPEG 2000 path (OpenJPEG with the
// header-first budget check, band decoding, 8- and 16-bit samples, the box
// probe and the bitmap written for what it decodes).

#include "FuzzSupport.h"

#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Both containers: a codestream as it comes; anything else behind a JP2
    // signature box, so that the fuzzer need not find the signature first.
    if (size >= 4 && std::memcmp(data, "\xff\x4f\xff\x51", 4) == 0) {
        FuzzSupport::decodeAndCheck({data, size}, decoding::PictureType::Jpeg2000);
        return 0;
    }
    static const std::uint8_t signature[12]
        = {0, 0, 0, 0x0c, 'j', 'P', ' ', ' ', '\r', '\n', 0x87, '\n'};
    std::vector<std::uint8_t> file(signature, signature + 12);
    if (size >= 12 && std::memcmp(data, signature, 12) == 0)
        file.clear();
    file.insert(file.end(), data, data + size);
    FuzzSupport::decodeAndCheck({file.data(), file.size()}, decoding::PictureType::Jpeg2000);
    return 0;
}
