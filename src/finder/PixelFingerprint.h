#pragma once
// A picture's fingerprint: its dimensions, frame count, sample depth and the
// SHA-256 of its pixels in one canonical form. Two pictures have equal
// fingerprints exactly when their pixels are equal at full depth (up to a
// SHA-256 collision, which nobody knows how to make).
//
// The canonical form: every frame's straight RGBA samples in file order, 8-bit
// samples as bytes, 16-bit samples little-endian. A 16-bit picture whose every
// sample is a multiple of 257 (the exact widening of an 8-bit value, v * 257)
// shows the same colours as its 8-bit copy, so it is first narrowed to 8 bits;
// any other 16-bit picture keeps its full depth and can only equal another one
// with the same 16-bit samples. When every alpha sample is at its maximum, the
// alpha samples are left out (a quarter less to hash); the number of samples a
// pixel keeps is part of the digest, so an opaque picture never meets one with
// transparency.

#include "decoding/DecodedPicture.h"

#include <array>
#include <compare>
#include <cstdint>
#include <memory>

namespace finder {

struct PixelFingerprint {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t frames = 0;
    std::uint8_t bytesPerSample = 0; // after narrowing: 1 or 2
    std::array<std::uint8_t, 32> digest{};

    auto operator<=>(const PixelFingerprint&) const = default;
};

// The fingerprint of a decoded picture (at least one frame).
PixelFingerprint fingerprintOf(const decoding::DecodedPicture& picture);

// The same fingerprint for an 8-bit picture fed in canonical form, row after
// row and frame after frame, without holding it in one buffer: R, G, B bytes
// per pixel when the whole picture is opaque, R, G, B, A otherwise.
class EightBitPixelHasher {
public:
    EightBitPixelHasher(
        std::uint32_t width, std::uint32_t height, std::uint32_t frames, bool opaque);
    ~EightBitPixelHasher();
    EightBitPixelHasher(const EightBitPixelHasher&) = delete;
    EightBitPixelHasher& operator=(const EightBitPixelHasher&) = delete;

    void add(const std::uint8_t* samples, std::size_t length);
    PixelFingerprint finish();

    class Sha256; // OpenSSL's SHA-256, shared with fingerprintOf()

private:
    PixelFingerprint m_fingerprint;
    std::unique_ptr<Sha256> m_digest;
};

// SHA-256 of a run of bytes (a whole file, to tell equal files apart).
std::array<std::uint8_t, 32> sha256(decoding::Bytes bytes);

} // namespace finder
