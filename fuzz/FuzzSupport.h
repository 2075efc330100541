#pragma once
// Shared set-up and checks of the converter's fuzz targets.

#include "converter/ImageFormat.h"

#include <QByteArray>
#include <QImage>

#include <cstddef>
#include <cstdint>

class FuzzSupport {
public:
    // Quiet Qt messages and the same reader set-up as the converter.
    static void initialise();

    static QByteArray bytes(const uint8_t* data, size_t size);

    // Decodes `bytes` as `type` like the converter does, probes its headers,
    // and for every picture it decodes checks the converter's promise: the
    // bitmap written for it reads back with the same pixels.
    static void decodeAndCheck(const QByteArray& bytes, ImageFormat::Type type);

    // Aborts (a finding for libFuzzer) when the bitmap of `image` does not
    // read back with its pixels.
    static void checkBitmapRoundTrip(const QImage& image);
};
