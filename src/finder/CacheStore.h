#pragma once
// The cache file: one SQLite connection for a whole search, under the user's
// cache folder (~/.cache/Corvane/fingerprints.sqlite, or under
// $XDG_CACHE_HOME), and the one statement wrapper every table of it uses.
// The tables are FingerprintCache (what a file is: header, pixel fingerprint
// or why it cannot be read) and SamePhotoCache (signatures, proofs and
// verdicts of the same-photo search); each keeps its rows through this store.
//
// The store is never trusted blindly:
// - a file that is not Corvane's cache or is damaged is deleted and made
//   anew; one of another layout is emptied; a table that lacks its newest
//   column (an older Corvane's) is dropped and made anew;
// - one that cannot be opened (its folder cannot be made, read-only, locked
//   for longer than the busy timeout while its tables are checked) is not
//   used at all in this search, and problem() says why;
// - one that cannot be written (a full disk, a lock held too long) is written
//   no more in this search: the failed transaction is rolled back, its
//   write-ahead log emptied, and problem() says why;
// - one that fails while being read is not used any more in this search.
// Every row carries a checksum over all of its fields (RowChecksum); a table
// ignores a row whose checksum does not match, and it is made again.
//
// What a row was made by is one version key (CacheVersion): the decoders'
// revision, the memory budget, and the revisions of the signature, the proof
// and the verdicts. Each table's rows carry the number of the parts that
// concern it (see CacheVersion::of), so a change of one part makes exactly
// the rows that depend on it be made again, and two Corvane builds sharing
// the file do not empty each other's rows. Two Corvane processes share the
// file through SQLite's write-ahead log.

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace finder {

// What made the rows of a table.
enum class CacheScope {
    Files, // headers, fingerprints and reasons: the decoders and the memory budget
    Signatures,
    Proofs,
    Enlargements, // whether a picture is an enlargement of another one's size
    MadeFrom, // whether a lossless file holds a lossy one's decode
    Lossless, // whether a file is coded without loss
};
inline constexpr int kCacheScopes = 6;

struct CacheVersion {
    std::string decoders; // finder::decoderVersion()
    std::uint64_t memoryBudgetMB = 0; // a picture over it is remembered as too large
    int signature = 0;
    int proof = 0;
    // Raised whenever a verdict is reached differently. Enlargement 2: three
    // methods and a re-save, with Unsure; 3: a file stored without loss that
    // does not reduce well is no enlargement.
    int enlargement = 3;
    int madeFrom = 1;
    int lossless = 1;

    // This build's version under the given memory budget.
    static CacheVersion current(std::uint64_t memoryBudgetBytes);
    // The text of the parts that concern a scope's rows.
    std::string of(CacheScope scope) const;
};

class CacheStore {
public:
    enum class State {
        Ready, // opened as it was
        Rebuilt, // damaged, foreign or of another layout: made anew
        Bypassed, // not used, or written no more, in this search; problem() says why
    };

    // Opens (creating the folder and file when needed) the cache at path.
    CacheStore(const QString& path, const CacheVersion& version, int busyTimeoutMs = 5000);
    ~CacheStore();
    CacheStore(const CacheStore&) = delete;
    CacheStore& operator=(const CacheStore&) = delete;

    State state() const { return m_state; }
    QString problem() const { return m_problem; }
    bool readable() const { return m_db && m_readable; }
    bool writable() const { return m_db && m_writable; }

    // The number the rows of a scope carry for this version.
    std::int64_t versionOf(CacheScope scope) const { return m_versions[std::size_t(scope)]; }

    // Transactions: SQLite's result code (SQLITE_OK when it worked).
    int beginRead();
    int beginWrite();
    int commit();
    void rollback(); // when a transaction is open
    int execute(const char* sql);

    // A read failed part-way: nothing more is read or written.
    void readingFailed(int code);
    // A write failed: rolled back, the log emptied, nothing more is written.
    void writingFailed(int code);

    // A prepared statement, finalised when it goes out of scope. A binding
    // that fails is remembered and returned by the next step().
    class Statement {
    public:
        Statement(CacheStore& store, const char* sql);
        ~Statement();
        Statement(const Statement&) = delete;
        Statement& operator=(const Statement&) = delete;

        bool ok() const { return m_statement != nullptr; }
        int prepareResult() const { return m_prepared; }

        Statement& bindInt(int index, std::int64_t value);
        Statement& bindReal(int index, double value);
        // Copied: the bytes need not outlive the binding.
        Statement& bindBlob(int index, const void* data, int length);
        Statement& bindBlob(int index, const QByteArray& data)
        {
            return bindBlob(index, data.constData(), int(data.size()));
        }
        Statement& bindText(int index, const char* text, int length = -1);
        Statement& bindNull(int index);

        // SQLITE_ROW, SQLITE_DONE, or what went wrong.
        int step();
        // Ready to bind and step again.
        void reset();

        bool isInteger(int column) const;
        bool isReal(int column) const;
        bool isBlob(int column) const;
        std::int64_t integer(int column) const;
        double real(int column) const;
        // Null for an empty or missing value.
        const void* blob(int column) const;
        int bytes(int column) const;
        QByteArray blobBytes(int column) const;
        const char* text(int column) const;

    private:
        sqlite3_stmt* m_statement = nullptr;
        int m_prepared;
        int m_bound;
    };

    // <cache folder>/Corvane/fingerprints.sqlite
    static QString defaultPath();
    // How many connections to a cache file this process has opened.
    static int connectionsOpened();

private:
    enum class SchemaOutcome { Ok, Failed, Damaged };

    bool open();
    SchemaOutcome prepareSchema();
    void bypass(const QString& why);
    void close();

    QString m_path;
    CacheVersion m_version;
    int m_busyTimeoutMs;
    sqlite3* m_db = nullptr;
    std::array<std::int64_t, kCacheScopes> m_versions{};
    State m_state = State::Ready;
    bool m_readable = true;
    bool m_writable = true;
    QString m_problem;
};

} // namespace finder
