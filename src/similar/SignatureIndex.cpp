#include "similar/SignatureIndex.h"

#include <algorithm>
#include <bit>
#include <numeric>

namespace similar {

namespace {

std::uint32_t chunkOf(std::uint64_t hash, int shift, int bits)
{
    return std::uint32_t((hash >> shift) & ((std::uint64_t(1) << bits) - 1));
}

} // namespace

SignatureIndex::SignatureIndex(std::vector<std::uint64_t> hashes)
    : m_hashes(std::move(hashes))
    , m_seen(m_hashes.size(), 0)
{
    if (m_hashes.size() <= kScanUpTo)
        return;
    const int layout[3][2] = {{0, 22}, {22, 21}, {43, 21}};
    for (const auto& [shift, bits] : layout) {
        Chunk chunk;
        chunk.shift = shift;
        chunk.bits = bits;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> byValue;
        byValue.reserve(m_hashes.size());
        for (std::size_t i = 0; i < m_hashes.size(); ++i)
            byValue.emplace_back(chunkOf(m_hashes[i], shift, bits), std::uint32_t(i));
        std::sort(byValue.begin(), byValue.end());
        chunk.words.resize((std::size_t(1) << bits) / 64);
        chunk.hashes.reserve(byValue.size());
        chunk.items.reserve(byValue.size());
        for (const auto& [value, item] : byValue) {
            chunk.words[value / 64].present |= std::uint64_t(1) << (value % 64);
            chunk.hashes.push_back(m_hashes[item]);
            chunk.items.push_back(item);
        }
        std::uint32_t before = 0;
        for (std::size_t w = 0; w < chunk.words.size(); ++w) {
            Values& word = chunk.words[w];
            word.itemsBefore = before;
            while (before + word.count < byValue.size()
                && byValue[before + word.count].first / 64 == w) {
                if (word.count < kInline)
                    word.first[word.count] = chunk.hashes[before + word.count];
                ++word.count;
            }
            before += word.count;
        }
        m_chunks.push_back(std::move(chunk));
    }
}

void SignatureIndex::lookUp(const Chunk& chunk, std::uint32_t value, std::uint64_t hash,
    int maxDistance, std::vector<std::uint32_t>& out) const
{
    const Values& word = chunk.words[value / 64];
    if (!((word.present >> (value % 64)) & 1))
        return;
    // The items of this word's values, in value order: the first in the
    // word itself, any others from itemsBefore on.
    for (std::uint32_t j = 0; j < word.count; ++j) {
        const std::uint64_t itemHash
            = j < kInline ? word.first[j] : chunk.hashes[word.itemsBefore + j];
        const std::uint32_t held = chunkOf(itemHash, chunk.shift, chunk.bits);
        if (held < value)
            continue;
        if (held > value)
            break;
        if (std::popcount(itemHash ^ hash) > maxDistance)
            continue;
        const std::uint32_t item = chunk.items[word.itemsBefore + j];
        if (m_seen[item] == m_query)
            continue;
        m_seen[item] = m_query;
        out.push_back(item);
    }
}

std::vector<std::uint32_t> SignatureIndex::near(std::uint64_t hash, int maxDistance) const
{
    std::vector<std::uint32_t> out;
    if (m_chunks.empty()) {
        for (std::uint32_t i = 0; i < m_hashes.size(); ++i) {
            if (std::popcount(m_hashes[i] ^ hash) <= maxDistance)
                out.push_back(i);
        }
        return out;
    }
    if (++m_query == 0) {
        std::fill(m_seen.begin(), m_seen.end(), 0);
        m_query = 1;
    }
    const int radius = std::min(maxDistance, 11) / 3;
    for (const Chunk& chunk : m_chunks) {
        const std::uint32_t value = chunkOf(hash, chunk.shift, chunk.bits);
        lookUp(chunk, value, hash, maxDistance, out);
        // Every variant of the chunk with 1 .. radius bits flipped.
        std::vector<int> flips;
        auto visit = [&](auto&& self, int from, std::uint32_t variant) -> void {
            for (int bit = from; bit < chunk.bits; ++bit) {
                const std::uint32_t next = variant ^ (std::uint32_t(1) << bit);
                lookUp(chunk, next, hash, maxDistance, out);
                flips.push_back(bit);
                if (int(flips.size()) < radius)
                    self(self, bit + 1, next);
                flips.pop_back();
            }
        };
        if (radius > 0)
            visit(visit, 0, value);
    }
    return out;
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> SignatureIndex::nearPairs(
    int maxDistance) const
{
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;
    if (m_chunks.empty()) {
        for (std::uint32_t i = 0; i < m_hashes.size(); ++i) {
            for (std::uint32_t j = i + 1; j < m_hashes.size(); ++j) {
                if (std::popcount(m_hashes[i] ^ m_hashes[j]) <= maxDistance)
                    pairs.emplace_back(i, j);
            }
        }
        return pairs;
    }
    for (std::uint32_t i = 0; i < m_hashes.size(); ++i) {
        for (std::uint32_t j : near(m_hashes[i], maxDistance)) {
            if (j > i)
                pairs.emplace_back(i, j);
        }
    }
    std::sort(pairs.begin(), pairs.end());
    return pairs;
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> SignatureIndex::nearestPairs(
    const std::vector<std::uint64_t>& hashes, int maxDistance, std::size_t nearest,
    const std::function<bool(std::uint32_t, std::uint32_t)>& accept)
{
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;
    if (hashes.size() < 2 || nearest == 0)
        return pairs;
    // The items of each distinct hash side by side, in item order: the index
    // holds each hash once, so a crowd of equal hashes costs one look-up.
    std::vector<std::uint32_t> byHash(hashes.size());
    std::iota(byHash.begin(), byHash.end(), 0U);
    std::stable_sort(byHash.begin(), byHash.end(),
        [&](std::uint32_t a, std::uint32_t b) { return hashes[a] < hashes[b]; });
    std::vector<std::uint64_t> distinct;
    std::vector<std::uint32_t> firstOf; // distinct hash d: byHash[firstOf[d] .. firstOf[d + 1])
    for (std::uint32_t at = 0; at < byHash.size(); ++at) {
        if (distinct.empty() || hashes[byHash[at]] != distinct.back()) {
            distinct.push_back(hashes[byHash[at]]);
            firstOf.push_back(at);
        }
    }
    firstOf.push_back(std::uint32_t(byHash.size()));
    const SignatureIndex index(distinct);

    const std::size_t examinedAtMost = kExaminedPerNearest * nearest;
    std::vector<std::vector<std::uint32_t>> atDistance(std::size_t(std::max(maxDistance, 0)) + 1);
    for (std::uint32_t item = 0; item < hashes.size(); ++item) {
        for (auto& list : atDistance)
            list.clear();
        for (std::uint32_t d : index.near(hashes[item], maxDistance))
            atDistance[std::size_t(std::popcount(distinct[d] ^ hashes[item]))].push_back(d);
        std::size_t kept = 0;
        std::size_t examined = 0;
        auto offer = [&](std::uint32_t other) {
            ++examined;
            if (accept(item, other)) {
                pairs.push_back(std::minmax(item, other));
                ++kept;
            }
            return kept < nearest && examined < examinedAtMost;
        };
        bool more = true;
        for (auto& list : atDistance) {
            std::sort(list.begin(), list.end());
            for (std::size_t n = 0; more && n < list.size(); ++n) {
                // Outwards from where the item's number falls among this
                // hash's items, the nearer in number first.
                const auto begin = byHash.begin() + firstOf[list[n]];
                const auto end = byHash.begin() + firstOf[list[n] + 1];
                auto up = std::lower_bound(begin, end, item);
                auto down = up;
                if (up != end && *up == item)
                    ++up;
                while (more && (down != begin || up != end)) {
                    const bool takeUp
                        = down == begin || (up != end && *up - item < item - *(down - 1));
                    more = offer(takeUp ? *up++ : *--down);
                }
            }
            if (!more)
                break;
        }
    }
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
    return pairs;
}

} // namespace similar
