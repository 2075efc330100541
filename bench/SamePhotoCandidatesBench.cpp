// How the same-photo search's candidate step grows with the number of
// pictures: the time per picture to find every candidate pair among 100,000
// signatures, against the same at 10,000 (the reference, measured in the
// same run). Multi-index hashing should keep it near flat; a scan of all
// pairs would make it ten times as much. Prints "key value" lines for
// scripts/bench-photos.
//
// The signatures are made up, as a photo library would give them: photos
// with unrelated hashes and colours in three aspect ratios, one in five with
// one to three saved copies a few bits away, and one in ten with a sibling
// shot of the same scene 8 to 16 bits away and a little brighter.
#include "similar/SamePhotoGrouping.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>

namespace {

std::vector<similar::PhotoUnit> library(std::size_t count, std::uint32_t seed)
{
    std::mt19937_64 random(seed);
    const std::pair<std::uint32_t, std::uint32_t> aspects[]
        = {{6000, 4000}, {4032, 3024}, {1920, 1080}};
    auto flipped = [&](std::uint64_t hash, int bits) {
        for (int i = 0; i < bits; ++i)
            hash ^= std::uint64_t(1) << (random() % 64);
        return hash;
    };
    std::vector<similar::PhotoUnit> units;
    units.reserve(count);
    while (units.size() < count) {
        similar::PhotoUnit photo;
        photo.signature.hash = random();
        const auto [width, height] = aspects[random() % 3];
        photo.signature.width = width;
        photo.signature.height = height;
        for (std::uint8_t& sample : photo.signature.colour)
            sample = std::uint8_t(random());
        units.push_back(photo);
        const std::uint64_t kind = random() % 10;
        const int copies = kind < 2 ? 1 + int(random() % 3) : kind == 2 ? 1 : 0;
        for (int c = 0; c < copies && units.size() < count; ++c) {
            similar::PhotoUnit copy = photo;
            const bool sibling = kind == 2;
            copy.signature.hash = flipped(
                photo.signature.hash, sibling ? 8 + int(random() % 9) : int(random() % 5));
            for (std::uint8_t& sample : copy.signature.colour)
                sample = std::uint8_t(std::min(255, sample + (sibling ? 12 : int(random() % 4))));
            units.push_back(copy);
        }
    }
    return units;
}

// Seconds of one run, and the pairs found.
std::pair<double, std::size_t> candidateSeconds(const std::vector<similar::PhotoUnit>& units)
{
    const auto start = std::chrono::steady_clock::now();
    const std::size_t pairs = similar::candidatePairs(units).size();
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), pairs};
}

} // namespace

int main()
{
    const auto small = library(10'000, 1);
    const auto large = library(100'000, 2);
    // The least of seven runs of each, taken in turn, so that other work on
    // the machine weighs on both sizes alike.
    double smallSeconds = 1e9;
    double largeSeconds = 1e9;
    std::size_t smallPairs = 0;
    std::size_t largePairs = 0;
    for (int run = 0; run < 7; ++run) {
        const auto [s, sp] = candidateSeconds(small);
        const auto [l, lp] = candidateSeconds(large);
        smallSeconds = std::min(smallSeconds, s);
        largeSeconds = std::min(largeSeconds, l);
        smallPairs = sp;
        largePairs = lp;
    }
    const double smallPerPicture = smallSeconds / double(small.size());
    const double largePerPicture = largeSeconds / double(large.size());
    std::printf("small_pictures %zu\nsmall_seconds %.6f\nsmall_pairs %zu\n", small.size(),
        smallSeconds, smallPairs);
    std::printf("large_pictures %zu\nlarge_seconds %.6f\nlarge_pairs %zu\n", large.size(),
        largeSeconds, largePairs);
    std::printf("small_us_per_picture %.3f\nlarge_us_per_picture %.3f\nratio %.3f\n",
        smallPerPicture * 1e6, largePerPicture * 1e6, largePerPicture / smallPerPicture);
    return 0;
}
