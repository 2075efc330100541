#pragma once
// Finds every stored hash within a few bits of a query without looking at
// all of them (multi-index hashing): the 64 bits are cut into three chunks of
// 22, 21 and 21 bits, and two hashes that differ in at most d bits agree in
// some chunk up to d / 3 bits. Each chunk has its own table; a query looks up
// its chunks and their near variants, so its cost depends on how many hashes
// lie near it, not on how many are stored.

#include <cstdint>
#include <vector>

namespace similar {

class SignatureIndex {
public:
    // Indexes hashes[i] as item i.
    explicit SignatureIndex(std::vector<std::uint64_t> hashes);

    // The items whose hash differs from `hash` in at most maxDistance bits
    // (maxDistance at most 11), in no particular order, each once.
    std::vector<std::uint32_t> near(std::uint64_t hash, int maxDistance) const;

    // Every pair (i < j) of items within maxDistance bits of each other.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> nearPairs(int maxDistance) const;

private:
    struct Chunk {
        int shift = 0;
        int bits = 0;
        // Open addressing: a chunk value and where its items start in `items`.
        std::vector<std::uint32_t> keys;
        std::vector<std::uint32_t> starts; // kEmpty where no key
        std::vector<std::uint32_t> items; // item numbers grouped by chunk value
        std::uint32_t mask = 0;
    };
    void lookUp(const Chunk& chunk, std::uint32_t value, std::uint64_t hash, int maxDistance,
        std::vector<std::uint32_t>& out) const;

    std::vector<std::uint64_t> m_hashes;
    std::vector<Chunk> m_chunks;
    mutable std::vector<std::uint32_t> m_seen; // per item: last query that met it
    mutable std::uint32_t m_query = 0;
};

} // namespace similar
