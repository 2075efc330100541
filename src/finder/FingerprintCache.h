#pragma once
// What earlier searches learned about files, kept in an SQLite file under the
// user's cache folder (~/.cache/Corvane/fingerprints.sqlite, or under
// $XDG_CACHE_HOME): for each file, by device and inode, the size and both
// change times it had, the decoder version that read it, and what was found:
// its header, its pixel fingerprint, or why it cannot be read. An entry
// counts only while all of these still match the file and the decoders.
//
// The cache is never trusted blindly: a file that is not Corvane's cache
// database or is damaged is deleted and made anew, one of another layout is
// emptied, a row whose checksum does not match its fields is ignored (and
// written anew), and one that cannot be written (read-only, locked for longer than
// the busy timeout) is bypassed for the whole search. Any error while
// reading makes every entry read so far worthless (see lookUpAll). Two
// Corvane processes share the file through SQLite's write-ahead log.

#include "finder/FinderResult.h"
#include "finder/PixelFingerprint.h"

#include <QString>

#include <optional>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

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
    enum class State {
        Ready, // opened as it was
        Rebuilt, // damaged, foreign or of another layout: made anew
        Bypassed, // not used in this search; problem() says why
    };

    // Opens (creating the folder and file when needed) the cache at path for
    // facts read by decoders of the given version.
    FingerprintCache(const QString& path, std::string decoderVersion, int busyTimeoutMs = 5000);
    ~FingerprintCache();
    FingerprintCache(const FingerprintCache&) = delete;
    FingerprintCache& operator=(const FingerprintCache&) = delete;

    State state() const { return m_state; }
    QString problem() const { return m_problem; }

    // Looks every identity up; false when reading failed part-way (then the
    // cache is bypassed and nothing read from it may be used).
    bool lookUpAll(const std::vector<FileIdentity>& identities,
        std::vector<std::optional<CachedFacts>>* found);

    // Buffers an entry; written at the next flush().
    void store(const FileIdentity& identity, const CachedFacts& facts);
    // Writes the buffered entries in one transaction; on failure the cache is
    // bypassed for the rest of the search (what is on disk stays consistent).
    void flush();

    // Carries rows over to files Corvane itself renamed (Put back returns a
    // file from the trash by renaming it, which moves its change time on):
    // each pair is (the identity the row was stored under, the file's identity
    // right after the rename). A row is carried only when device, inode, size
    // and modification time are unchanged and it is whole; anything else
    // means the file is decoded again. Returns how many rows were carried.
    int carryOverRenamed(const std::vector<std::pair<FileIdentity, FileIdentity>>& renamed);

    // <cache folder>/Corvane/fingerprints.sqlite
    static QString defaultPath();

private:
    enum class SchemaOutcome { Ok, Failed, Damaged };

    bool open();
    SchemaOutcome prepareSchema();
    void bypass(const QString& why);
    void close();
    // Whether a row's checksum still matches its fields (see rowChecksum).
    bool rowIsWhole(sqlite3_stmt* statement, const FileIdentity& identity) const;
    std::optional<CachedFacts> rowFacts(sqlite3_stmt* statement) const;

    QString m_path;
    std::string m_decoderVersion;
    int m_busyTimeoutMs;
    sqlite3* m_db = nullptr;
    long long m_decoderId = 0;
    State m_state = State::Ready;
    QString m_problem;
    std::vector<std::pair<FileIdentity, CachedFacts>> m_pending;
};

} // namespace finder
