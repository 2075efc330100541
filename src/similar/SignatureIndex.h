#pragma once
// Finds every stored hash within a few bits of a query without looking at
// all of them (multi-index hashing): the 64 bits are cut into three chunks of
// 22, 21 and 21 bits, and two hashes that differ in at most d bits agree in
// some chunk up to d / 3 bits. Each chunk has its own table; a query looks up
// its chunks and their near variants, so its cost depends on how many hashes
// lie near it, not on how many are stored.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace similar {

class SignatureIndex {
public:
    // Up to this many hashes nothing is indexed: comparing every pair is
    // quicker than building and probing tables of 4 MB (a warm search of a
    // small folder would spend more on them than on everything else).
    static constexpr std::size_t kScanUpTo = 1024;

    // Indexes hashes[i] as item i.
    explicit SignatureIndex(std::vector<std::uint64_t> hashes);

    // The items whose hash differs from `hash` in at most maxDistance bits
    // (maxDistance at most 11), in no particular order, each once.
    std::vector<std::uint32_t> near(std::uint64_t hash, int maxDistance) const;

    // Every pair (i < j) of items within maxDistance bits of each other.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> nearPairs(int maxDistance) const;

    // Pairs (i < j, in order, each once) of items within maxDistance bits,
    // at most `nearest` of them per item: each item keeps the nearest items
    // that `accept(item, other)` lets through, and a pair is kept when either
    // side keeps the other. Of items at the same distance, those nearest in
    // number to the item come first (the caller numbers the items so that
    // this means something), so that a crowd of equal hashes is linked as a
    // band, never all to all. At most kExaminedPerNearest * nearest items are
    // offered to `accept` per item. Its cost grows with the number of items
    // and of distinct hashes near each one, not with the number of equal hashes.
    static constexpr std::size_t kExaminedPerNearest = 8;
    static std::vector<std::pair<std::uint32_t, std::uint32_t>> nearestPairs(
        const std::vector<std::uint64_t>& hashes, int maxDistance, std::size_t nearest,
        const std::function<bool(std::uint32_t, std::uint32_t)>& accept);

private:
    // One chunk's table, laid out so that a query's cost hardly grows with
    // the number of items: most variants a query looks up are held by no
    // item, and one bit per possible chunk value answers them. The same
    // 32 bytes hold the full hashes of the first two items of those 64
    // values (a word rarely holds more, even at a million items), so a
    // value that is held is checked without reading another place in
    // memory; the rest lie side by side in value order.
    static constexpr std::uint32_t kInline = 2;
    struct Values {
        std::uint64_t present = 0; // bit b: some item's chunk value is 64 * word + b
        std::uint32_t itemsBefore = 0; // items whose chunk value lies in earlier words
        std::uint32_t count = 0; // items whose chunk value lies in this word
        std::uint64_t first[kInline] = {}; // the hashes of the first of them
    };
    struct Chunk {
        int shift = 0;
        int bits = 0;
        std::vector<Values> words;
        std::vector<std::uint64_t> hashes; // the items' hashes, ordered by chunk value
        std::vector<std::uint32_t> items; // their item numbers, in the same order
    };
    void lookUp(const Chunk& chunk, std::uint32_t value, std::uint64_t hash, int maxDistance,
        std::vector<std::uint32_t>& out) const;

    std::vector<std::uint64_t> m_hashes;
    std::vector<Chunk> m_chunks;
    mutable std::vector<std::uint32_t> m_seen; // per item: last query that met it
    mutable std::uint32_t m_query = 0;
};

} // namespace similar
