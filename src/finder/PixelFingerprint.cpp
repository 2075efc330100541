#include "finder/PixelFingerprint.h"

#include <openssl/evp.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace finder {

namespace {

struct DigestContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

} // namespace

// OpenSSL's SHA-256 uses the processor's SHA instructions where it has them.
class EightBitPixelHasher::Sha256 {
public:
    Sha256()
        : m_context(EVP_MD_CTX_new())
    {
        if (!m_context || EVP_DigestInit_ex(m_context.get(), EVP_sha256(), nullptr) != 1)
            throw std::runtime_error("SHA-256 is not available");
    }
    void add(const void* data, std::size_t length)
    {
        EVP_DigestUpdate(m_context.get(), data, length);
    }
    void addWord(std::uint32_t value)
    {
        const std::uint8_t bytes[4] = {std::uint8_t(value), std::uint8_t(value >> 8),
            std::uint8_t(value >> 16), std::uint8_t(value >> 24)};
        add(bytes, sizeof bytes);
    }
    std::array<std::uint8_t, 32> finish()
    {
        std::array<std::uint8_t, 32> digest{};
        unsigned int length = 0;
        EVP_DigestFinal_ex(m_context.get(), digest.data(), &length);
        return digest;
    }

private:
    std::unique_ptr<EVP_MD_CTX, DigestContextFree> m_context;
};

using Sha256 = EightBitPixelHasher::Sha256;

namespace {

constexpr std::size_t kChunkPixels = 8192;

// What the canonical form of a decoded picture leaves out: the low byte of
// 16-bit unsigned samples that are all exact widenings (v * 257), and the
// alpha sample when every pixel is fully opaque.
struct Reduction {
    bool narrow = false;
    bool opaque = false;
};

// Whether the sample at `alpha` of every 8-bit pixel is 0xFF. RGBA pixels
// are ANDed together a block at a time (a loop the compiler vectorises),
// stopping at the first block that shows transparency.
bool alphaAllMax(const std::vector<std::uint8_t>& frame, std::size_t perPixel, std::size_t alpha)
{
    if (perPixel != 4) {
        for (std::size_t i = alpha; i < frame.size(); i += perPixel) {
            if (frame[i] != 0xFF)
                return false;
        }
        return true;
    }
    constexpr std::size_t kBlockPixels = 4096;
    const std::size_t pixels = frame.size() / 4;
    for (std::size_t first = 0; first < pixels; first += kBlockPixels) {
        const std::size_t count = std::min(kBlockPixels, pixels - first);
        std::uint32_t all = 0xFFFFFFFFu;
        for (std::size_t p = 0; p < count; ++p) {
            std::uint32_t word;
            std::memcpy(&word, frame.data() + 4 * (first + p), 4);
            all &= word;
        }
        std::uint8_t samples[4];
        std::memcpy(samples, &all, 4);
        if (samples[alpha] != 0xFF)
            return false;
    }
    return true;
}

Reduction reductionOf(const decoding::DecodedPicture& picture)
{
    Reduction reduction;
    reduction.narrow
        = picture.bytesPerSample == 2 && picture.sampleFormat == decoding::SampleFormat::Unsigned;
    reduction.opaque = true;
    const std::size_t perPixel = std::size_t(picture.samplesPerPixel());
    const std::size_t alpha = std::size_t(picture.colourSamples());
    for (const auto& frame : picture.frames) {
        if (picture.bytesPerSample == 2) {
            const std::size_t samples = frame.size() / 2;
            for (std::size_t i = 0; i < samples; ++i) {
                std::uint16_t sample;
                std::memcpy(&sample, frame.data() + 2 * i, 2);
                reduction.narrow = reduction.narrow && sample % 257 == 0;
                if (i % perPixel == alpha)
                    reduction.opaque = reduction.opaque && sample == 0xFFFF;
            }
        } else if (reduction.opaque) {
            reduction.opaque = alphaAllMax(frame, perPixel, alpha);
        }
    }
    return reduction;
}

// R, G, B of each R, G, B, A pixel. `rgb` has room for 2 bytes beyond the
// last pixel: on a little-endian processor two pixels at a time are moved
// as one 8-byte word and the next pair overwrites the 2 bytes past them.
void packRgb(const std::uint8_t* __restrict rgba, std::size_t pixels, std::uint8_t* __restrict rgb)
{
    std::size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + 2 <= pixels; i += 2) {
            std::uint64_t two;
            std::memcpy(&two, rgba + 4 * i, 8);
            const std::uint64_t packed
                = (two & 0xFFFFFFu) | ((two >> 8) & (std::uint64_t(0xFFFFFFu) << 24));
            std::memcpy(rgb + 3 * i, &packed, 8);
        }
    }
    for (; i < pixels; ++i) {
        rgb[3 * i] = rgba[4 * i];
        rgb[3 * i + 1] = rgba[4 * i + 1];
        rgb[3 * i + 2] = rgba[4 * i + 2];
    }
}

// Feeds one frame in canonical form, a chunk at a time.
void addFrame(Sha256& digest, const decoding::DecodedPicture& picture,
    const std::vector<std::uint8_t>& frame, Reduction reduction)
{
    const bool sixteen = picture.bytesPerSample == 2;
    if (!sixteen && !reduction.opaque) {
        digest.add(frame.data(), frame.size());
        return;
    }
    const std::size_t perPixel = std::size_t(picture.samplesPerPixel());
    const std::size_t alpha = std::size_t(picture.colourSamples());
    const std::size_t pixels = frame.size() / (perPixel * (sixteen ? 2 : 1));
    if (!sixteen && perPixel == 4) {
        std::uint8_t chunk[kChunkPixels * 3 + 2];
        for (std::size_t first = 0; first < pixels; first += kChunkPixels) {
            const std::size_t count = std::min(kChunkPixels, pixels - first);
            packRgb(frame.data() + 4 * first, count, chunk);
            digest.add(chunk, count * 3);
        }
        return;
    }
    std::vector<std::uint8_t> chunk(kChunkPixels * perPixel * 2);
    for (std::size_t first = 0; first < pixels; first += kChunkPixels) {
        const std::size_t count = std::min(kChunkPixels, pixels - first);
        std::uint8_t* out = chunk.data();
        const std::size_t pixelBytes = perPixel * (sixteen ? 2 : 1);
        const std::uint8_t* in = frame.data() + pixelBytes * first;
        for (std::size_t p = 0; p < count; ++p, in += pixelBytes) {
            for (std::size_t c = 0; c < perPixel; ++c) {
                if (c == alpha && reduction.opaque)
                    continue;
                if (!sixteen) {
                    *out++ = in[c];
                    continue;
                }
                std::uint16_t sample;
                std::memcpy(&sample, in + 2 * c, 2);
                if (reduction.narrow) {
                    *out++ = std::uint8_t(sample / 257);
                } else {
                    *out++ = std::uint8_t(sample); // little-endian
                    *out++ = std::uint8_t(sample >> 8);
                }
            }
        }
        digest.add(chunk.data(), std::size_t(out - chunk.data()));
    }
}

// What the samples mean, as the digest's header names it.
struct Meaning {
    decoding::ColourSpace colourSpace = decoding::ColourSpace::Rgb;
    decoding::SampleFormat sampleFormat = decoding::SampleFormat::Unsigned;
    std::uint32_t keptSamples = 4; // a pixel's samples in the canonical form
    // Of those, the data samples after the colours and alpha: an opaque
    // picture's extra sample must never read as another's alpha.
    std::uint32_t extraSamples = 0;
};

// The shape and meaning go first, so that samples of one shape or meaning
// never read as another's.
void addShape(Sha256& digest, const PixelFingerprint& shape, const Meaning& meaning)
{
    digest.add("Corvane pixels 3", 16);
    digest.addWord(shape.width);
    digest.addWord(shape.height);
    digest.addWord(shape.frames);
    digest.addWord(shape.bytesPerSample);
    digest.addWord(std::uint32_t(meaning.colourSpace));
    digest.addWord(std::uint32_t(meaning.sampleFormat));
    digest.addWord(meaning.keptSamples);
    digest.addWord(meaning.extraSamples);
}

} // namespace

PixelFingerprint fingerprintOf(const decoding::DecodedPicture& picture)
{
    PixelFingerprint fingerprint;
    fingerprint.width = picture.width;
    fingerprint.height = picture.height;
    fingerprint.frames = std::uint32_t(picture.frames.size());
    const bool sixteen = picture.bytesPerSample == 2;
    const Reduction reduction = reductionOf(picture);
    fingerprint.bytesPerSample = (sixteen && !reduction.narrow) ? 2 : 1;

    Sha256 digest;
    const Meaning meaning{picture.colourSpace, picture.sampleFormat,
        std::uint32_t(picture.samplesPerPixel() - (reduction.opaque ? 1 : 0)),
        std::uint32_t(picture.extraSamples)};
    addShape(digest, fingerprint, meaning);
    for (const auto& frame : picture.frames)
        addFrame(digest, picture, frame, reduction);
    fingerprint.digest = digest.finish();
    return fingerprint;
}

EightBitPixelHasher::EightBitPixelHasher(
    std::uint32_t width, std::uint32_t height, std::uint32_t frames, bool opaque)
    : m_digest(std::make_unique<Sha256>())
{
    m_fingerprint.width = width;
    m_fingerprint.height = height;
    m_fingerprint.frames = frames;
    m_fingerprint.bytesPerSample = 1;
    addShape(*m_digest, m_fingerprint, Meaning{.keptSamples = opaque ? 3u : 4u});
}

EightBitPixelHasher::~EightBitPixelHasher() = default;

void EightBitPixelHasher::add(const std::uint8_t* samples, std::size_t length)
{
    m_digest->add(samples, length);
}

PixelFingerprint EightBitPixelHasher::finish()
{
    m_fingerprint.digest = m_digest->finish();
    return m_fingerprint;
}

bool OpaqueRowHasher::begin(std::uint32_t width, std::uint32_t height)
{
    m_rowBytes = std::size_t(width) * 3;
    m_height = height;
    try {
        m_rows.resize(m_rowBytes * std::min<std::size_t>(kBatchRows, height));
    } catch (const std::bad_alloc&) {
        return false;
    }
    m_hasher = std::make_unique<EightBitPixelHasher>(width, height, 1, true);
    return true;
}

std::uint8_t* OpaqueRowHasher::row(std::uint32_t y)
{
    return m_rows.data() + m_rowBytes * (y % kBatchRows);
}

bool OpaqueRowHasher::rowDone(std::uint32_t y)
{
    // Hashing a row the moment the decoder wrote it reads it while its
    // stores are still in flight, and each read waits for them: rows are
    // hashed a batch at a time.
    if ((y + 1) % kBatchRows == 0 || y + 1 == m_height)
        m_hasher->add(m_rows.data(), m_rowBytes * (y % kBatchRows + 1));
    return true;
}

PixelFingerprint OpaqueRowHasher::finish()
{
    return m_hasher->finish();
}

std::array<std::uint8_t, 32> sha256(decoding::Bytes bytes)
{
    Sha256 digest;
    digest.add(bytes.data(), bytes.size());
    return digest.finish();
}

} // namespace finder
