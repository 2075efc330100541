#pragma once
// Writes one frame of an 8-bit decoded picture as an uncompressed Windows
// bitmap: 24 bits per pixel when every pixel is opaque, else 32 bits with a
// version 5 header and an alpha mask, so that readers keep its transparency.

#include "decoding/DecodedPicture.h"

#include <functional>
#include <vector>

class BmpWriter {
public:
    // Receives the file's bytes in order; returns false to stop the writing.
    using Sink = std::function<bool(const std::uint8_t* data, std::size_t size)>;

    // `dotsPerMetre` is the stored resolution (0 when none). Returns false
    // for a picture that is not 8-bit, too large for the format, or when
    // `sink` refuses a write.
    static bool write(const decoding::DecodedPicture& picture, std::size_t frame,
        std::uint32_t dotsPerMetreX, std::uint32_t dotsPerMetreY, const Sink& sink);

    // Whether any pixel of the frame is not fully opaque.
    static bool hasTransparency(const decoding::DecodedPicture& picture, std::size_t frame);

    // Bytes of one stored row: 3 or 4 bytes a pixel, padded to 4 bytes.
    static std::uint64_t rowSize(std::uint64_t width, bool alpha);
    // The file and info headers of a width x height bitmap, rows bottom-up;
    // empty when the file would exceed the format's 4 GB.
    static std::vector<std::uint8_t> header(std::uint32_t width, std::uint32_t height, bool alpha,
        std::uint32_t dotsPerMetreX, std::uint32_t dotsPerMetreY);
};
