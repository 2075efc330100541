#pragma once
// The cache's tables of what earlier searches learned for the same-photo
// groups: each file's signature, the measured difference of each pair of
// files that was proven, and the verdicts on pairs (whether a larger picture
// is an enlargement of a smaller one, and the like). All are keyed by the
// files' identities (device, inode, size, both change times) and the number
// of the version that concerns the table (CacheStore::versionOf), so a
// changed file, decoder or rule is measured again. Every row carries a
// checksum over all its fields (RowChecksum); a row that fails it is ignored
// and made again. The file, its connection and the rules for a cache in
// doubt are CacheStore's; while the store cannot be read this table answers
// nothing, and while it cannot be written it keeps nothing.

#include "finder/CacheStore.h"
#include "finder/FinderResult.h"
#include "similar/Enlargement.h"
#include "similar/PhotoDifference.h"
#include "similar/PhotoSignature.h"

#include <QString>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace finder {

class SamePhotoCache {
public:
    explicit SamePhotoCache(CacheStore& store);
    ~SamePhotoCache();
    SamePhotoCache(const SamePhotoCache&) = delete;
    SamePhotoCache& operator=(const SamePhotoCache&) = delete;

    bool usable() const { return m_store.readable(); }
    // Why the store is not used or not written; empty while it works.
    QString problem() const { return m_store.problem(); }

    std::optional<similar::PhotoSignature> signature(const FileIdentity& file);
    std::optional<similar::PhotoDifference> proof(const FileIdentity& a, const FileIdentity& b);

    // The question a verdict row answers: whether a is an enlargement of a
    // picture of b's size (see similar::isEnlargement), or whether lossless a
    // holds lossy b's decode (Yes or No; see similar::PhotoEvidence::madeFrom),
    // or whether file a (b the same) is coded without loss (Yes or No).
    enum class Question { Enlargement, MadeFrom, Lossless };
    std::optional<similar::Enlargement> enlargement(
        const FileIdentity& a, const FileIdentity& b, Question question = Question::Enlargement);

    // Buffered; written by flush() in one transaction.
    void storeEnlargement(const FileIdentity& a, const FileIdentity& b,
        similar::Enlargement verdict, Question question = Question::Enlargement);
    void storeSignature(const FileIdentity& file, const similar::PhotoSignature& signature);
    void storeProof(
        const FileIdentity& a, const FileIdentity& b, const similar::PhotoDifference& difference);
    void flush();

    // Carries the rows of files Corvane itself renamed (Put back) over to
    // their identities right after the rename: each pair is (the identity the
    // rows were stored under, the identity now). Only whole rows of files
    // whose device, inode, size and modification time are unchanged are
    // carried; the pairs' rows are found through either file. Returns how
    // many rows were carried.
    int carryOverRenamed(const std::vector<std::pair<FileIdentity, FileIdentity>>& renamed);

private:
    QByteArray fileKey(const FileIdentity& file) const;
    QByteArray pairKey(const FileIdentity& a, const FileIdentity& b) const;
    QByteArray orderedPairKey(
        const FileIdentity& a, const FileIdentity& b, Question question) const;
    int write();

    CacheStore& m_store;
    std::vector<std::pair<QByteArray, std::vector<std::uint8_t>>> m_signatures;
    std::vector<std::pair<QByteArray, similar::PhotoDifference>> m_proofs;
    std::vector<std::pair<QByteArray, similar::Enlargement>> m_enlargements;
};

} // namespace finder
