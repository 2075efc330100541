// webpCodingFacts (CodingFacts.h): WebP's RIFF chunks read without libwebp,
// so that a caller that only reports on a file loads no codec.

#include "decoding/CodingFacts.h"

#include <cstring>

namespace decoding {

namespace {

std::uint32_t littleEndian32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16
        | std::uint32_t(p[3]) << 24;
}

struct Tally {
    int lossy = 0;
    int lossless = 0;
    bool alpha = false;
    bool animation = false;
    std::uint32_t frames = 0;
    bool cut = false; // a chunk ran past the bytes given
};

// Walks the chunks of `bytes` (the file after its RIFF header, or the
// inside of an animation frame).
void walk(Bytes bytes, Tally& tally, int depth)
{
    std::size_t at = 0;
    // A padding byte may take `at` one past the end.
    while (at <= bytes.size() && bytes.size() - at >= 8) {
        const std::uint8_t* chunk = bytes.data() + at;
        const std::uint64_t size = littleEndian32(chunk + 4);
        // A chunk cut short (a file read only in part) still says its coding.
        const bool whole = size <= bytes.size() - at - 8;
        const Bytes payload
            = bytes.subspan(at + 8, whole ? std::size_t(size) : bytes.size() - at - 8);
        if (std::memcmp(chunk, "VP8 ", 4) == 0) {
            ++tally.lossy;
        } else if (std::memcmp(chunk, "VP8L", 4) == 0) {
            ++tally.lossless;
            // Signature byte, then 14 + 14 bits of size and the alpha bit.
            if (payload.size() >= 5 && (littleEndian32(payload.data() + 1) >> 28 & 1))
                tally.alpha = true;
        } else if (std::memcmp(chunk, "ALPH", 4) == 0) {
            tally.alpha = true;
        } else if (std::memcmp(chunk, "VP8X", 4) == 0 && !payload.empty()) {
            tally.animation = (payload[0] & 0x02) != 0;
            if (payload[0] & 0x10)
                tally.alpha = true;
        } else if (std::memcmp(chunk, "ANMF", 4) == 0 && depth == 0 && payload.size() >= 16) {
            ++tally.frames;
            walk(payload.subspan(16), tally, depth + 1);
        }
        if (!whole) {
            tally.cut = true;
            break;
        }
        at += 8 + std::size_t(size) + (size & 1);
    }
}

} // namespace

CodingFacts webpCodingFacts(Bytes file)
{
    CodingFacts facts;
    if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0
        || std::memcmp(file.data() + 8, "WEBP", 4) != 0)
        return facts;
    Tally tally;
    walk(file.subspan(12), tally, 0);
    if (tally.lossy > 0 && tally.lossless > 0)
        facts.compression = "VP8 and VP8L (lossy and lossless frames)";
    else if (tally.lossy > 0)
        facts.compression = "VP8 (lossy)";
    else if (tally.lossless > 0)
        facts.compression = "VP8L (lossless)";
    // An animation cut short may have lossy frames further on.
    facts.lossless = tally.lossless > 0 && tally.lossy == 0 && !(tally.animation && tally.cut);
    if (tally.lossy > 0 || tally.lossless > 0)
        facts.bitsPerPixel = tally.alpha ? 32 : 24;
    facts.frames = tally.animation ? tally.frames : 1;
    return facts;
}

} // namespace decoding
