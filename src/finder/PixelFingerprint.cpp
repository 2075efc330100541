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

bool narrowsToEightBits(const decoding::DecodedPicture& picture)
{
    for (const auto& frame : picture.frames) {
        const std::size_t samples = frame.size() / 2;
        const auto* data = frame.data();
        for (std::size_t i = 0; i < samples; ++i) {
            std::uint16_t sample;
            std::memcpy(&sample, data + 2 * i, 2);
            if (sample % 257 != 0)
                return false;
        }
    }
    return true;
}

// Feeds 16-bit host-order samples to the digest in chunks, narrowed to bytes
// or as little-endian pairs.
void addSixteenBitFrame(Sha256& digest, const std::vector<std::uint8_t>& frame, bool narrow)
{
    constexpr std::size_t kChunkSamples = 16384;
    std::uint8_t chunk[kChunkSamples * 2];
    const std::size_t samples = frame.size() / 2;
    for (std::size_t first = 0; first < samples; first += kChunkSamples) {
        const std::size_t count = std::min(kChunkSamples, samples - first);
        const std::uint8_t* in = frame.data() + 2 * first;
        if (narrow) {
            for (std::size_t i = 0; i < count; ++i) {
                std::uint16_t sample;
                std::memcpy(&sample, in + 2 * i, 2);
                chunk[i] = std::uint8_t(sample / 257);
            }
            digest.add(chunk, count);
        } else if constexpr (std::endian::native == std::endian::little) {
            digest.add(in, count * 2);
        } else {
            for (std::size_t i = 0; i < count; ++i) {
                chunk[2 * i] = in[2 * i + 1];
                chunk[2 * i + 1] = in[2 * i];
            }
            digest.add(chunk, count * 2);
        }
    }
}

// The shape goes first, so that pixels of one shape never read as another's.
void addShape(Sha256& digest, const PixelFingerprint& shape)
{
    digest.add("Corvane pixels 1", 16);
    digest.addWord(shape.width);
    digest.addWord(shape.height);
    digest.addWord(shape.frames);
    digest.addWord(shape.bytesPerSample);
}

} // namespace

PixelFingerprint fingerprintOf(const decoding::DecodedPicture& picture)
{
    PixelFingerprint fingerprint;
    fingerprint.width = picture.width;
    fingerprint.height = picture.height;
    fingerprint.frames = std::uint32_t(picture.frames.size());
    const bool sixteen = picture.bytesPerSample == 2;
    const bool narrow = sixteen && narrowsToEightBits(picture);
    fingerprint.bytesPerSample = (sixteen && !narrow) ? 2 : 1;

    Sha256 digest;
    addShape(digest, fingerprint);
    for (const auto& frame : picture.frames) {
        if (sixteen)
            addSixteenBitFrame(digest, frame, narrow);
        else
            digest.add(frame.data(), frame.size());
    }
    fingerprint.digest = digest.finish();
    return fingerprint;
}

EightBitPixelHasher::EightBitPixelHasher(
    std::uint32_t width, std::uint32_t height, std::uint32_t frames)
    : m_digest(std::make_unique<Sha256>())
{
    m_fingerprint.width = width;
    m_fingerprint.height = height;
    m_fingerprint.frames = frames;
    m_fingerprint.bytesPerSample = 1;
    addShape(*m_digest, m_fingerprint);
}

EightBitPixelHasher::~EightBitPixelHasher() = default;

void EightBitPixelHasher::add(const std::uint8_t* rgba, std::size_t length)
{
    m_digest->add(rgba, length);
}

PixelFingerprint EightBitPixelHasher::finish()
{
    m_fingerprint.digest = m_digest->finish();
    return m_fingerprint;
}

std::array<std::uint8_t, 32> sha256(decoding::Bytes bytes)
{
    Sha256 digest;
    digest.add(bytes.data(), bytes.size());
    return digest.finish();
}

} // namespace finder
