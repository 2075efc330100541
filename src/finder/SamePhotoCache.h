#pragma once
// What earlier searches learned for the same-photo groups, kept in the
// fingerprint cache's SQLite file in tables of their own: each file's
// signature, and the measured difference of each pair of files that was
// proven. Both are keyed by the files' identities (device, inode, size, both
// change times) and the decoders' version, so a changed file or decoder is
// measured again. The tables are created on first use; a cache that cannot
// be opened or written is simply not used (a search then measures again).

#include "finder/FinderResult.h"
#include "similar/PhotoDifference.h"
#include "similar/PhotoSignature.h"

#include <QString>

#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace finder {

class SamePhotoCache {
public:
    SamePhotoCache(const QString& path, const std::string& decoderVersion, int busyTimeoutMs);
    ~SamePhotoCache();
    SamePhotoCache(const SamePhotoCache&) = delete;
    SamePhotoCache& operator=(const SamePhotoCache&) = delete;

    bool usable() const { return m_db != nullptr; }

    std::optional<similar::PhotoSignature> signature(const FileIdentity& file);
    std::optional<similar::PhotoDifference> proof(const FileIdentity& a, const FileIdentity& b);

    // Whether a is an enlargement of a picture of b's size (see similar::isEnlargement).
    std::optional<bool> enlargement(const FileIdentity& a, const FileIdentity& b);

    // Buffered; written by flush() in one transaction.
    void storeEnlargement(const FileIdentity& a, const FileIdentity& b, bool enlarged);
    void storeSignature(const FileIdentity& file, const similar::PhotoSignature& signature);
    void storeProof(
        const FileIdentity& a, const FileIdentity& b, const similar::PhotoDifference& difference);
    void flush();

private:
    QByteArray fileKey(const FileIdentity& file) const;
    QByteArray pairKey(const FileIdentity& a, const FileIdentity& b) const;
    QByteArray orderedPairKey(const FileIdentity& a, const FileIdentity& b) const;
    void close();

    sqlite3* m_db = nullptr;
    std::uint64_t m_version = 0;
    std::vector<std::pair<QByteArray, std::vector<std::uint8_t>>> m_signatures;
    std::vector<std::pair<QByteArray, similar::PhotoDifference>> m_proofs;
    std::vector<std::pair<QByteArray, bool>> m_enlargements;
};

} // namespace finder
