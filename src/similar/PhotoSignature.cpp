#include "similar/PhotoSignature.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <numbers>

namespace similar {

namespace {

constexpr int kThumb = 32;
constexpr int kBands = 9; // coefficients 0..8 along each axis are looked at

float luma(const float* rgba)
{
    return 0.299F * rgba[0] + 0.587F * rgba[1] + 0.114F * rgba[2];
}

// cos((2x + 1) u pi / 64) for the first kBands frequencies.
const std::array<std::array<double, kThumb>, kBands>& cosines()
{
    static const auto table = [] {
        std::array<std::array<double, kThumb>, kBands> t{};
        for (int u = 0; u < kBands; ++u) {
            for (int x = 0; x < kThumb; ++x)
                t[u][x] = std::cos((2 * x + 1) * u * std::numbers::pi / (2 * kThumb));
        }
        return t;
    }();
    return table;
}

std::uint64_t dctHash(const ReducedPicture& thumb)
{
    const auto& cos = cosines();
    double rows[kThumb][kBands];
    for (int y = 0; y < kThumb; ++y) {
        for (int u = 0; u < kBands; ++u) {
            double sum = 0;
            for (int x = 0; x < kThumb; ++x)
                sum += luma(thumb.pixel(x, y)) * cos[u][x];
            rows[y][u] = sum;
        }
    }
    // The 8 x 8 lowest frequencies but the mean (0, 0), and (8, 0) to make 64.
    std::array<double, 64> coefficients{};
    int n = 0;
    for (int v = 0; v < kBands && n < 64; ++v) {
        for (int u = 0; u < 8 && n < 64; ++u) {
            if (u == 0 && v == 0)
                continue;
            if (v == 8 && u != 0)
                continue;
            double sum = 0;
            for (int y = 0; y < kThumb; ++y)
                sum += rows[y][u] * cos[v][y];
            coefficients[n++] = sum;
        }
    }
    std::array<double, 64> sorted = coefficients;
    std::nth_element(sorted.begin(), sorted.begin() + 32, sorted.end());
    const double median = sorted[32];
    std::uint64_t hash = 0;
    for (int i = 0; i < 64; ++i) {
        if (coefficients[i] > median)
            hash |= std::uint64_t(1) << i;
    }
    return hash;
}

} // namespace

namespace {

// The signature from the picture averaged to at most 32 x 32.
PhotoSignature signatureOfThumb(ReducedPicture thumb, std::uint32_t width, std::uint32_t height)
{
    PhotoSignature signature;
    signature.width = width;
    signature.height = height;
    // A picture smaller than the thumbnail is averaged to its own size and
    // then widened, so every picture is hashed from 32 x 32 cells.
    if (thumb.width != kThumb || thumb.height != kThumb)
        thumb = enlargeBilinear(thumb, kThumb, kThumb);
    signature.hash = dctHash(thumb);
    const ReducedPicture colour = reduceArea(thumb, 4, 4);
    for (int i = 0; i < 16; ++i) {
        for (int c = 0; c < 3; ++c)
            signature.colour[3 * i + c] = std::uint8_t(
                std::clamp(std::lround(colour.samples[4 * std::size_t(i) + c]), 0L, 255L));
    }
    return signature;
}

} // namespace

PhotoSignature signatureOf(const FrameView& pixels, std::uint32_t width, std::uint32_t height)
{
    return signatureOfThumb(reduceArea(pixels, kThumb, kThumb), width, height);
}

PhotoSignature signatureOf(const ReducedPicture& pixels, std::uint32_t width, std::uint32_t height)
{
    return signatureOfThumb(reduceArea(pixels, kThumb, kThumb), width, height);
}

PhotoSignature signatureOf(const ProofPicture& proof, std::uint32_t width, std::uint32_t height)
{
    return signatureOf(floatsOf(proof), width, height);
}

int hashDistance(std::uint64_t a, std::uint64_t b)
{
    return std::popcount(a ^ b);
}

double thumbnailDifference(const PhotoSignature& a, const PhotoSignature& b)
{
    double worst = 0;
    for (int c = 0; c < 3; ++c) {
        int sum = 0;
        for (int i = 0; i < 16; ++i)
            sum += std::abs(int(a.colour[3 * i + c]) - int(b.colour[3 * i + c]));
        worst = std::max(worst, sum / 16.0);
    }
    return worst;
}

bool aspectsAgree(
    std::uint32_t widthA, std::uint32_t heightA, std::uint32_t widthB, std::uint32_t heightB)
{
    if (heightA == 0 || heightB == 0 || widthA == 0 || widthB == 0)
        return false;
    const double a = double(widthA) / heightA;
    const double b = double(widthB) / heightB;
    return std::abs(a - b) <= 0.01 * std::min(a, b);
}

namespace {
constexpr std::size_t kPackedLength = 1 + 8 + 4 + 4 + 48;
}

std::vector<std::uint8_t> pack(const PhotoSignature& signature)
{
    std::vector<std::uint8_t> bytes(kPackedLength);
    bytes[0] = std::uint8_t(kSignatureRevision);
    std::memcpy(bytes.data() + 1, &signature.hash, 8);
    std::memcpy(bytes.data() + 9, &signature.width, 4);
    std::memcpy(bytes.data() + 13, &signature.height, 4);
    std::memcpy(bytes.data() + 17, signature.colour.data(), 48);
    return bytes;
}

std::optional<PhotoSignature> unpackSignature(const std::uint8_t* bytes, std::size_t length)
{
    if (length != kPackedLength || bytes[0] != kSignatureRevision)
        return std::nullopt;
    PhotoSignature signature;
    std::memcpy(&signature.hash, bytes + 1, 8);
    std::memcpy(&signature.width, bytes + 9, 4);
    std::memcpy(&signature.height, bytes + 13, 4);
    std::memcpy(signature.colour.data(), bytes + 17, 48);
    return signature;
}

} // namespace similar
