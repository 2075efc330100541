#pragma once
// A picture's fingerprint: its dimensions, frame count, sample depth and the
// SHA-256 of its samples in one canonical form. Two pictures have equal
// fingerprints exactly when every stored sample is equal, with its meaning
// and at its stored depth (up to a SHA-256 collision, which nobody knows how
// to make). This is Corvane's identity rule:
//
// - Every stored sample counts: every frame, page and picture of the file,
//   every colour sample, the alpha sample, and every extra sample a TIFF
//   carries (only one declared as alpha is alpha; the rest are data).
// - Its meaning counts: the colour space (a CMYK picture equals only one with
//   the same inks, never an RGB one) and the sample format (signed samples
//   never equal unsigned ones).
// - Its depth counts. Across depths only two things are equal: a 16-bit
//   picture whose samples are all v * 257 and its 8-bit form (it is narrowed
//   before hashing), and a 10- or 12-bit picture and a 16-bit one holding its
//   values in their top bits (the decoders give such pictures that way).
// - Floating-point samples are unsupported. A file the decoders cannot hold
//   exactly is refused as unsupported and listed as unreadable, never hashed
//   approximately.
//
// The canonical form: a header naming the shape and meaning, then every
// frame's samples in file order, 8-bit samples as bytes, 16-bit samples
// little-endian. When every alpha sample is at its maximum, the alpha samples
// are left out (a quarter less to hash); the number of samples a pixel keeps
// is part of the header, so an opaque picture never meets one with
// transparency.

#include "decoding/DecodedPicture.h"
#include "decoding/RowSink.h"

#include <array>
#include <compare>
#include <cstdint>
#include <memory>
#include <vector>

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

// The same fingerprint for an 8-bit RGBA picture (unsigned, no extra
// samples) fed in canonical form, row after
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

// The fingerprint of an opaque 8-bit picture of one frame whose rows a
// streaming decoder hands out (decoding/RowSink.h): each row is hashed where
// the decoder wrote it, while it is still in the processor's cache, and no
// whole picture is held. Equal to fingerprintOf() of the decoded picture.
class OpaqueRowHasher : public decoding::RowSink {
public:
    bool begin(std::uint32_t width, std::uint32_t height) override;
    decoding::RowOrder order() const override { return decoding::RowOrder::Rgb; }
    std::uint8_t* row(std::uint32_t y) override;
    bool rowDone(std::uint32_t y) override;
    // After every row was taken.
    PixelFingerprint finish();

private:
    static constexpr std::uint32_t kBatchRows = 32;
    std::unique_ptr<EightBitPixelHasher> m_hasher;
    std::vector<std::uint8_t> m_rows; // kBatchRows rows, refilled in turn
    std::size_t m_rowBytes = 0;
    std::uint32_t m_height = 0;
};

// SHA-256 of a run of bytes (a whole file, to tell equal files apart).
std::array<std::uint8_t, 32> sha256(decoding::Bytes bytes);

} // namespace finder
