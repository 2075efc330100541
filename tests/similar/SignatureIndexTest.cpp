// The signature index must find every stored hash within the distance asked
// for (a miss loses a true copy) and nothing beyond it, at every distance up
// to the largest the search uses; checked against a plain scan of all of them.
#include "similar/SignatureIndex.h"
#include "similar/PhotoDifference.h"
#include "similar/PhotoSignature.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <random>

namespace {

// 1,542 hashes: clusters, a crowd and duplicates, as below.
std::vector<std::uint64_t> testHashes(std::uint64_t seed)
{
    std::mt19937_64 random(seed);
    std::vector<std::uint64_t> hashes;
    // Clusters of near hashes (copies of one photo) among unrelated ones.
    for (int cluster = 0; cluster < 300; ++cluster) {
        const std::uint64_t centre = random();
        hashes.push_back(centre);
        for (int copy = 0; copy < 4; ++copy) {
            std::uint64_t near = centre;
            const int flips = int(random() % 13);
            for (int f = 0; f < flips; ++f)
                near ^= std::uint64_t(1) << (random() % 64);
            hashes.push_back(near);
        }
    }
    // A crowd: hashes that differ only in the lowest six bits of each chunk
    // (22, 21, 21 bits), so that one 64-value word of a chunk's table holds
    // many items, more than it keeps beside its bits; and exact duplicates.
    const std::uint64_t crowd = random();
    for (int i = 0; i < 40; ++i) {
        const std::uint64_t low = random();
        hashes.push_back(
            crowd ^ (low & 0x3F) ^ (((low >> 6) & 0x3F) << 22) ^ (((low >> 12) & 0x3F) << 43));
    }
    hashes.push_back(crowd);
    hashes.push_back(crowd);
    return hashes;
}

class SignatureIndexDistance : public ::testing::TestWithParam<int> { };

TEST_P(SignatureIndexDistance, FindsExactlyTheHashesAPlainScanFinds)
{
    const int distance = GetParam();
    const std::vector<std::uint64_t> hashes = testHashes(7 + std::uint64_t(distance));
    ASSERT_GT(hashes.size(), similar::SignatureIndex::kScanUpTo); // the tables are used
    const similar::SignatureIndex index(hashes);
    const std::size_t crowdStart = hashes.size() - 42;
    for (std::size_t q = 0; q < hashes.size(); q += q < crowdStart ? 7 : 1) {
        std::vector<std::uint32_t> found = index.near(hashes[q], distance);
        std::sort(found.begin(), found.end());
        std::vector<std::uint32_t> expected;
        for (std::size_t i = 0; i < hashes.size(); ++i) {
            if (std::popcount(hashes[i] ^ hashes[q]) <= distance)
                expected.push_back(std::uint32_t(i));
        }
        ASSERT_EQ(found, expected) << "query " << q << " at distance " << distance;
    }
}

// Every near pair, once, in order, whether the hashes are few enough to be
// compared pair by pair or are looked up in the tables.
TEST(SignatureIndexPairs, EveryPairWithinTheDistanceOnBothSidesOfTheScanLimit)
{
    const std::vector<std::uint64_t> all = testHashes(99);
    for (std::size_t count : {std::size_t(2), similar::SignatureIndex::kScanUpTo, all.size()}) {
        SCOPED_TRACE(count);
        const std::vector<std::uint64_t> hashes(all.end() - std::ptrdiff_t(count), all.end());
        std::vector<std::pair<std::uint32_t, std::uint32_t>> expected;
        for (std::uint32_t i = 0; i < hashes.size(); ++i) {
            for (std::uint32_t j = i + 1; j < hashes.size(); ++j) {
                if (std::popcount(hashes[i] ^ hashes[j]) <= similar::kMaxHashDistance)
                    expected.emplace_back(i, j);
            }
        }
        EXPECT_EQ(similar::SignatureIndex(hashes).nearPairs(similar::kMaxHashDistance), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(UpToTheSearchDistance, SignatureIndexDistance,
    ::testing::Values(0, 1, 2, 3, 5, 8, similar::kMaxHashDistance, 11),
    [](const auto& info) { return "distance_" + std::to_string(info.param); });

struct AspectRow {
    const char* name;
    std::uint32_t widthA, heightA, widthB, heightB;
    bool agree;
};

class AspectRule : public ::testing::TestWithParam<AspectRow> { };

// Both sides of the 1 % bound: a copy one pixel narrower or an eighth the
// size must be compared; a crop of 2 % of one side must not.
TEST_P(AspectRule, AgreesOnlyWithinOnePercent)
{
    const AspectRow& row = GetParam();
    EXPECT_EQ(similar::aspectsAgree(row.widthA, row.heightA, row.widthB, row.heightB), row.agree);
    EXPECT_EQ(similar::aspectsAgree(row.widthB, row.heightB, row.widthA, row.heightA), row.agree);
}

INSTANTIATE_TEST_SUITE_P(Rows, AspectRule,
    ::testing::Values(AspectRow{"same", 1024, 640, 1024, 640, true},
        AspectRow{"one_pixel_narrower", 1024, 640, 1023, 640, true},
        AspectRow{"an_eighth", 1024, 640, 128, 80, true},
        AspectRow{"a_third_rounded", 1024, 640, 341, 213, true},
        AspectRow{"within_one_percent", 1000, 1000, 1009, 1000, true},
        AspectRow{"crop_of_two_percent", 1000, 1000, 980, 1000, false},
        AspectRow{"quarter_turn", 1024, 640, 640, 1024, false},
        AspectRow{"empty", 0, 0, 10, 10, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A signature survives the cache's byte form, and other bytes give none.
TEST(SignatureBytes, RoundTripAndRefuseOtherBytes)
{
    similar::PhotoSignature signature;
    signature.hash = 0x0123456789abcdefULL;
    signature.width = 4000;
    signature.height = 3000;
    for (std::size_t i = 0; i < signature.colour.size(); ++i)
        signature.colour[i] = std::uint8_t(i * 5);
    std::vector<std::uint8_t> bytes = similar::pack(signature);
    EXPECT_EQ(similar::unpackSignature(bytes.data(), bytes.size()), signature);
    EXPECT_FALSE(similar::unpackSignature(bytes.data(), bytes.size() - 1));
    bytes[0] ^= 0xff; // another revision
    EXPECT_FALSE(similar::unpackSignature(bytes.data(), bytes.size()));
}

} // namespace
