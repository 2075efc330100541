#include "similar/SignatureIndex.h"

#include <algorithm>
#include <bit>
#include <limits>

namespace similar {

namespace {

constexpr std::uint32_t kEmpty = std::numeric_limits<std::uint32_t>::max();

std::uint32_t chunkOf(std::uint64_t hash, int shift, int bits)
{
    return std::uint32_t((hash >> shift) & ((std::uint64_t(1) << bits) - 1));
}

std::uint32_t slotOf(std::uint32_t key, std::uint32_t mask)
{
    return (key * 2654435761U) & mask;
}

} // namespace

SignatureIndex::SignatureIndex(std::vector<std::uint64_t> hashes)
    : m_hashes(std::move(hashes))
    , m_seen(m_hashes.size(), 0)
{
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
        std::size_t capacity = 16;
        while (capacity < 2 * byValue.size())
            capacity *= 2;
        chunk.mask = std::uint32_t(capacity - 1);
        chunk.keys.assign(capacity, 0);
        chunk.starts.assign(capacity, kEmpty);
        chunk.items.reserve(byValue.size() + 1);
        for (std::size_t k = 0; k < byValue.size(); ++k) {
            if (k == 0 || byValue[k].first != byValue[k - 1].first) {
                std::uint32_t slot = slotOf(byValue[k].first, chunk.mask);
                while (chunk.starts[slot] != kEmpty)
                    slot = (slot + 1) & chunk.mask;
                chunk.keys[slot] = byValue[k].first;
                chunk.starts[slot] = std::uint32_t(chunk.items.size());
            }
            chunk.items.push_back(byValue[k].second);
        }
        m_chunks.push_back(std::move(chunk));
    }
}

void SignatureIndex::lookUp(const Chunk& chunk, std::uint32_t value, std::uint64_t hash,
    int maxDistance, std::vector<std::uint32_t>& out) const
{
    std::uint32_t slot = slotOf(value, chunk.mask);
    while (chunk.starts[slot] != kEmpty && chunk.keys[slot] != value)
        slot = (slot + 1) & chunk.mask;
    if (chunk.starts[slot] == kEmpty)
        return;
    // Items with one chunk value lie together; the run ends where the next value's starts.
    for (std::uint32_t k = chunk.starts[slot]; k < chunk.items.size(); ++k) {
        const std::uint32_t item = chunk.items[k];
        if (chunkOf(m_hashes[item], chunk.shift, chunk.bits) != value)
            break;
        if (m_seen[item] == m_query)
            continue;
        m_seen[item] = m_query;
        if (std::popcount(m_hashes[item] ^ hash) <= maxDistance)
            out.push_back(item);
    }
}

std::vector<std::uint32_t> SignatureIndex::near(std::uint64_t hash, int maxDistance) const
{
    std::vector<std::uint32_t> out;
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
