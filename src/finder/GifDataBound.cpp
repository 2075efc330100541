#include "finder/GifDataBound.h"

#include <algorithm>
#include <cstdint>

namespace finder {

namespace {

// 4,096 pixels per 12-bit code is 2,731 a byte; a rounder bound leaves room.
constexpr std::uint64_t kMostPixelsPerByte = 4096;
// Tiny pictures need a few bytes of codes whatever their content.
constexpr std::uint64_t kSlackPixels = 65536;

bool fits(std::uint64_t width, std::uint64_t height, std::uint64_t dataBytes)
{
    return width * height <= dataBytes * kMostPixelsPerByte + kSlackPixels;
}

std::uint32_t littleEndian16(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8;
}

} // namespace

bool gifDataCanFill(decoding::Bytes file)
{
    const std::size_t size = file.size();
    if (size < 13)
        return false;
    const std::uint32_t screenWidth = littleEndian16(file.data() + 6);
    const std::uint32_t screenHeight = littleEndian16(file.data() + 8);
    std::size_t at = 13;
    if (file[10] & 0x80)
        at += 3u << ((file[10] & 7) + 1); // the global colour table
    // Adds up a run of sub-blocks (a length byte, then that many bytes).
    auto subBlocks = [&](std::uint64_t* bytes) {
        while (at < size) {
            const std::size_t length = file[at++];
            if (length == 0)
                return true;
            // A cut-off last block still counts what it holds.
            const std::size_t held = std::min(length, size - at);
            if (bytes)
                *bytes += held;
            at += held;
        }
        return false;
    };
    std::uint64_t allData = 0;
    while (at < size) {
        const std::uint8_t block = file[at++];
        if (block == 0x3B) // trailer
            break;
        if (block == 0x21) { // extension: its label, then sub-blocks
            ++at;
            if (!subBlocks(nullptr))
                break;
            continue;
        }
        if (block != 0x2C || size - at < 10)
            break; // damaged: Qt's reader says what it makes of the rest
        const std::uint32_t width = littleEndian16(file.data() + at + 4);
        const std::uint32_t height = littleEndian16(file.data() + at + 6);
        const std::uint8_t packed = file[at + 8];
        at += 9;
        if (packed & 0x80)
            at += 3u << ((packed & 7) + 1); // a local colour table
        ++at; // LZW minimum code size
        std::uint64_t data = 0;
        const bool whole = subBlocks(&data);
        if (!fits(width, height, data))
            return false;
        allData += data;
        if (!whole)
            break;
    }
    return fits(screenWidth, screenHeight, allData);
}

} // namespace finder
