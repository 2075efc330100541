#pragma once
// Shared checks of the converter's fuzz targets.

#include "decoding/DecodedPicture.h"

#include <cstddef>
#include <cstdint>

class FuzzSupport {
public:
    // Decodes `bytes` as the converter does (by their content; `type` says
    // which reader the target means to reach and is checked against the
    // sniffed type), probes the headers, and for every picture it decodes
    // checks what the converter promises: a picture within the pixel budget
    // whose bitmap reads back with the same pixels.
    static void decodeAndCheck(decoding::Bytes bytes, decoding::PictureType type);

    // Aborts (a finding for libFuzzer) when the bitmap of `picture` does not
    // read back with its pixels.
    static void checkBitmapRoundTrip(const decoding::DecodedPicture& picture);
};
