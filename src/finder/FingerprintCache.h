#pragma once
// The cache's table of what earlier searches learned about files: for each
// file, by device and inode, the size and both change times it had, the
// version of the decoders (and memory budget) that read it, and what was
// found: its header, its pixel fingerprint, or why it cannot be read. An
// entry counts only while all of these still match the file and the
// decoders, and its checksum its fields. Any error while reading makes every
// entry read so far worthless (see lookUpAll). The file, its connection and
// the rules for a cache in doubt are CacheStore's.

#include "finder/CacheStore.h"
#include "finder/FinderResult.h"
#include "finder/PixelFingerprint.h"

#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace finder {

struct CachedFacts {
    enum class Kind { Header = 1, Fingerprint = 2, Unreadable = 3 };
    Kind kind = Kind::Header;
    decoding::PictureType type = decoding::PictureType::Unknown;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t frames = 0;
    PixelFingerprint fingerprint; // Kind::Fingerprint
    QString reason; // Kind::Unreadable
};

class FingerprintCache {
public:
    using State = CacheStore::State;

    explicit FingerprintCache(CacheStore& store);
    ~FingerprintCache();
    FingerprintCache(const FingerprintCache&) = delete;
    FingerprintCache& operator=(const FingerprintCache&) = delete;

    // The store's: the one file is one cache to the user.
    State state() const { return m_store.state(); }
    QString problem() const { return m_store.problem(); }

    // Looks every identity up; false when reading failed part-way (then the
    // cache is bypassed and nothing read from it may be used).
    bool lookUpAll(const std::vector<FileIdentity>& identities,
        std::vector<std::optional<CachedFacts>>* found);

    // Buffers an entry; written at the next flush().
    void store(const FileIdentity& identity, const CachedFacts& facts);
    // Writes the buffered entries in one transaction; on failure the cache is
    // written no more in this search (what is on disk stays consistent).
    void flush();

    // Carries rows over to files Corvane itself renamed (Put back returns a
    // file from the trash by renaming it, which moves its change time on):
    // each pair is (the identity the row was stored under, the file's identity
    // right after the rename). A row is carried only when device, inode, size
    // and modification time are unchanged and it is whole; anything else
    // means the file is decoded again. Returns how many rows were carried.
    int carryOverRenamed(const std::vector<std::pair<FileIdentity, FileIdentity>>& renamed);

private:
    CacheStore& m_store;
    std::vector<std::pair<FileIdentity, CachedFacts>> m_pending;
};

} // namespace finder
