#pragma once
// What earlier searches learned for the same-photo groups, kept in the
// fingerprint cache's SQLite file in tables of their own: each file's
// signature, and the measured difference of each pair of files that was
// proven, and whether a larger picture is an enlargement of a smaller one.
// All are keyed by the files' identities (device, inode, size, both change
// times) and the decoders' version, so a changed file or decoder is measured
// again. Every row carries a checksum over all its fields (RowChecksum, as
// the files table's); a row that fails it is ignored and made again. The
// tables are created on first use; tables of an older Corvane whose rows
// carry no checksum are dropped. A cache that cannot be opened is simply not
// used; one that cannot be written (a full disk, a lock held too long) is
// written no more in this search, its log is emptied, and problem() says why
// (the answers stay those of a search without it).

#include "finder/FinderResult.h"
#include "similar/Enlargement.h"
#include "similar/PhotoDifference.h"
#include "similar/PhotoSignature.h"

#include <QString>

#include <optional>
#include <string>
#include <utility>
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
    // Why writing stopped; empty while it works.
    QString problem() const { return m_problem; }

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
    QByteArray orderedPairKey(const FileIdentity& a, const FileIdentity& b) const;
    void close();
    int prepareTables();
    int write();
    void writingFailed(int code);

    sqlite3* m_db = nullptr;
    std::uint64_t m_version = 0;
    bool m_writable = true;
    QString m_problem;
    std::vector<std::pair<QByteArray, std::vector<std::uint8_t>>> m_signatures;
    std::vector<std::pair<QByteArray, similar::PhotoDifference>> m_proofs;
    std::vector<std::pair<QByteArray, similar::Enlargement>> m_enlargements;
};

} // namespace finder
