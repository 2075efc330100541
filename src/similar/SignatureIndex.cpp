#include "similar/SignatureIndex.h"

#include <algorithm>
#include <bit>

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

} // namespace similar
