#include "finder/FingerprintCache.h"

#include "finder/RowChecksum.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <sqlite3.h>

#include <cstring>

namespace finder {

namespace {

// Changes whenever the tables below change; another value empties the cache.
constexpr char kLayout[] = "Corvane fingerprint cache 2";

constexpr char kSchema[] = R"(
CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE decoders(id INTEGER PRIMARY KEY, version TEXT NOT NULL UNIQUE);
CREATE TABLE files(
    device INTEGER NOT NULL, inode INTEGER NOT NULL,
    size INTEGER NOT NULL, modified_ns INTEGER NOT NULL, changed_ns INTEGER NOT NULL,
    decoder INTEGER NOT NULL, kind INTEGER NOT NULL, type INTEGER NOT NULL,
    width INTEGER NOT NULL, height INTEGER NOT NULL, frames INTEGER NOT NULL,
    depth INTEGER NOT NULL, digest BLOB, reason TEXT, checksum INTEGER NOT NULL,
    PRIMARY KEY(device, inode)) WITHOUT ROWID;
)";

// Statements finalised when they go out of scope.
class Statement {
public:
    Statement(sqlite3* db, const char* sql)
    {
        m_result = sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool ok() const { return m_result == SQLITE_OK; }
    int prepareResult() const { return m_result; }
    sqlite3_stmt* get() const { return m_statement; }

private:
    sqlite3_stmt* m_statement = nullptr;
    int m_result;
};

bool isDamage(int code)
{
    const int primary = code & 0xff;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

// Every field of a files row, in a fixed order (see RowChecksum).
sqlite3_int64 rowChecksum(const sqlite3_int64 (&numbers)[12], const void* digest, int digestBytes,
    const void* reason, int reasonBytes)
{
    RowChecksum sum;
    for (sqlite3_int64 number : numbers)
        sum.number(number);
    return sum.bytes(digest, digestBytes).bytes(reason, reasonBytes).value();
}

bool isKnownType(sqlite3_int64 type)
{
    return type >= sqlite3_int64(decoding::PictureType::Bmp)
        && type <= sqlite3_int64(decoding::PictureType::Avif);
}

} // namespace

FingerprintCache::FingerprintCache(
    const QString& path, std::string decoderVersion, int busyTimeoutMs)
    : m_path(path)
    , m_decoderVersion(std::move(decoderVersion))
    , m_busyTimeoutMs(busyTimeoutMs)
{
    if (!open())
        return;
    switch (prepareSchema()) {
    case SchemaOutcome::Ok:
        return;
    case SchemaOutcome::Failed:
        return;
    case SchemaOutcome::Damaged:
        break;
    }
    // Not a database, damaged, or someone else's: make it anew.
    close();
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(m_path + QLatin1String(suffix));
    m_problem.clear();
    if (open() && prepareSchema() == SchemaOutcome::Ok)
        m_state = State::Rebuilt;
    else if (m_state != State::Bypassed)
        bypass(QStringLiteral("it could not be made anew"));
}

FingerprintCache::~FingerprintCache()
{
    if (m_state != State::Bypassed)
        flush();
    close();
}

QString FingerprintCache::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
        + QStringLiteral("/Corvane/fingerprints.sqlite");
}

bool FingerprintCache::open()
{
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath())) {
        bypass(QStringLiteral("its folder cannot be made"));
        return false;
    }
    const QByteArray name = QFile::encodeName(m_path);
    if (sqlite3_open_v2(name.constData(), &m_db,
            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr)
        != SQLITE_OK) {
        bypass(QStringLiteral("it cannot be opened"));
        return false;
    }
    sqlite3_busy_timeout(m_db, m_busyTimeoutMs);
    // An entry that cannot be brought up to date would soon be stale.
    if (sqlite3_db_readonly(m_db, "main") == 1) {
        bypass(QStringLiteral("it is read-only"));
        return false;
    }
    return true;
}

FingerprintCache::SchemaOutcome FingerprintCache::prepareSchema()
{
    char* message = nullptr;
    auto run = [&](const char* sql) {
        sqlite3_free(message);
        message = nullptr;
        return sqlite3_exec(m_db, sql, nullptr, nullptr, &message);
    };
    auto fail = [&](int code) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_free(message);
        if (isDamage(code))
            return SchemaOutcome::Damaged;
        const int primary = code & 0xff;
        if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
            bypass(QStringLiteral("another program holds it locked"));
        else if (primary == SQLITE_READONLY)
            bypass(QStringLiteral("it is read-only"));
        else
            bypass(QStringLiteral("it cannot be used (%1)")
                       .arg(QString::fromUtf8(sqlite3_errstr(code))));
        return SchemaOutcome::Failed;
    };

    int code = run("PRAGMA journal_mode=WAL");
    if (code != SQLITE_OK)
        return fail(code);
    run("PRAGMA synchronous=NORMAL");
    if ((code = run("BEGIN IMMEDIATE")) != SQLITE_OK)
        return fail(code);

    // Whose database is it?
    int objects = -1;
    {
        Statement count(m_db, "SELECT count(*) FROM sqlite_master");
        if (!count.ok())
            return fail(count.prepareResult());
        if ((code = sqlite3_step(count.get())) != SQLITE_ROW)
            return fail(code);
        objects = sqlite3_column_int(count.get(), 0);
    }
    QByteArray layout;
    if (objects > 0) {
        Statement read(m_db, "SELECT value FROM meta WHERE key = 'layout'");
        if (read.ok() && sqlite3_step(read.get()) == SQLITE_ROW)
            layout = reinterpret_cast<const char*>(sqlite3_column_text(read.get(), 0));
        else if (!read.ok() && isDamage(read.prepareResult()))
            return fail(read.prepareResult());
        if (layout.isEmpty()) {
            // Another program's database at Corvane's cache path.
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_free(message);
            return SchemaOutcome::Damaged;
        }
    }
    if (layout != kLayout) {
        if (!layout.isEmpty()) {
            m_state = State::Rebuilt; // an older or newer Corvane's layout: emptied
            if ((code = run("DROP TABLE IF EXISTS files; DROP TABLE IF EXISTS decoders; DROP TABLE "
                            "IF EXISTS meta"))
                != SQLITE_OK)
                return fail(code);
        }
        if ((code = run(kSchema)) != SQLITE_OK)
            return fail(code);
        Statement write(m_db, "INSERT INTO meta(key, value) VALUES('layout', ?)");
        sqlite3_bind_text(write.get(), 1, kLayout, -1, SQLITE_STATIC);
        if ((code = sqlite3_step(write.get())) != SQLITE_DONE)
            return fail(code);
    }

    // This decoder version's number, added on first use.
    {
        Statement add(m_db, "INSERT OR IGNORE INTO decoders(version) VALUES(?)");
        sqlite3_bind_text(add.get(), 1, m_decoderVersion.c_str(), -1, SQLITE_STATIC);
        if ((code = sqlite3_step(add.get())) != SQLITE_DONE)
            return fail(code);
        Statement find(m_db, "SELECT id FROM decoders WHERE version = ?");
        sqlite3_bind_text(find.get(), 1, m_decoderVersion.c_str(), -1, SQLITE_STATIC);
        if ((code = sqlite3_step(find.get())) != SQLITE_ROW)
            return fail(code);
        m_decoderId = sqlite3_column_int64(find.get(), 0);
    }
    if ((code = run("COMMIT")) != SQLITE_OK)
        return fail(code);
    sqlite3_free(message);
    return SchemaOutcome::Ok;
}

void FingerprintCache::bypass(const QString& why)
{
    m_state = State::Bypassed;
    if (m_problem.isEmpty())
        m_problem = why;
    m_pending.clear();
}

void FingerprintCache::close()
{
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

bool FingerprintCache::lookUpAll(
    const std::vector<FileIdentity>& identities, std::vector<std::optional<CachedFacts>>* found)
{
    found->assign(identities.size(), std::nullopt);
    if (m_state == State::Bypassed)
        return true;
    auto broken = [&](int code) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        found->assign(identities.size(), std::nullopt);
        bypass(
            QStringLiteral("reading it failed (%1)").arg(QString::fromUtf8(sqlite3_errstr(code))));
        return false;
    };
    // One read transaction: one snapshot, and no lock taken per file.
    int code = sqlite3_exec(m_db, "BEGIN", nullptr, nullptr, nullptr);
    if (code != SQLITE_OK)
        return broken(code);
    Statement select(m_db,
        "SELECT size, modified_ns, changed_ns, decoder, kind, type, width, height, frames, depth, "
        "digest, reason, checksum FROM files WHERE device = ? AND inode = ?");
    if (!select.ok())
        return broken(select.prepareResult());
    sqlite3_stmt* s = select.get();
    for (std::size_t i = 0; i < identities.size(); ++i) {
        const FileIdentity& identity = identities[i];
        sqlite3_bind_int64(s, 1, sqlite3_int64(identity.device));
        sqlite3_bind_int64(s, 2, sqlite3_int64(identity.inode));
        code = sqlite3_step(s);
        if (code == SQLITE_ROW) {
            if (sqlite3_column_int64(s, 0) == identity.size
                && sqlite3_column_int64(s, 1) == identity.modifiedNs
                && sqlite3_column_int64(s, 2) == identity.changedNs
                && sqlite3_column_int64(s, 3) == m_decoderId && rowIsWhole(s, identity))
                (*found)[i] = rowFacts(s);
        } else if (code != SQLITE_DONE) {
            return broken(code);
        }
        sqlite3_reset(s);
    }
    sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    return true;
}

bool FingerprintCache::rowIsWhole(sqlite3_stmt* s, const FileIdentity& identity) const
{
    const sqlite3_int64 numbers[12] = {sqlite3_int64(identity.device),
        sqlite3_int64(identity.inode), sqlite3_column_int64(s, 0), sqlite3_column_int64(s, 1),
        sqlite3_column_int64(s, 2), sqlite3_column_int64(s, 3), sqlite3_column_int64(s, 4),
        sqlite3_column_int64(s, 5), sqlite3_column_int64(s, 6), sqlite3_column_int64(s, 7),
        sqlite3_column_int64(s, 8), sqlite3_column_int64(s, 9)};
    const void* digest = sqlite3_column_blob(s, 10);
    const int digestBytes = sqlite3_column_bytes(s, 10);
    const void* reason = sqlite3_column_blob(s, 11);
    const int reasonBytes = sqlite3_column_bytes(s, 11);
    return sqlite3_column_type(s, 12) == SQLITE_INTEGER
        && sqlite3_column_int64(s, 12)
        == rowChecksum(numbers, digest, digestBytes, reason, reasonBytes);
}

std::optional<CachedFacts> FingerprintCache::rowFacts(sqlite3_stmt* s) const
{
    // Columns from 4 on: kind, type, width, height, frames, depth, digest, reason.
    CachedFacts facts;
    const sqlite3_int64 kind = sqlite3_column_int64(s, 4);
    const sqlite3_int64 type = sqlite3_column_int64(s, 5);
    const sqlite3_int64 width = sqlite3_column_int64(s, 6);
    const sqlite3_int64 height = sqlite3_column_int64(s, 7);
    const sqlite3_int64 frames = sqlite3_column_int64(s, 8);
    const sqlite3_int64 depth = sqlite3_column_int64(s, 9);
    constexpr sqlite3_int64 kLargest = 0xFFFFFFFF;
    if (width < 0 || width > kLargest || height < 0 || height > kLargest || frames < 0
        || frames > kLargest)
        return std::nullopt;
    facts.width = std::uint32_t(width);
    facts.height = std::uint32_t(height);
    facts.frames = std::uint32_t(frames);
    switch (kind) {
    case sqlite3_int64(CachedFacts::Kind::Header):
        if (!isKnownType(type) || width == 0 || height == 0)
            return std::nullopt;
        facts.kind = CachedFacts::Kind::Header;
        break;
    case sqlite3_int64(CachedFacts::Kind::Fingerprint): {
        const void* digest = sqlite3_column_blob(s, 10);
        if (!isKnownType(type) || width == 0 || height == 0 || frames == 0
            || (depth != 1 && depth != 2) || !digest || sqlite3_column_bytes(s, 10) != 32)
            return std::nullopt;
        facts.kind = CachedFacts::Kind::Fingerprint;
        facts.fingerprint.width = facts.width;
        facts.fingerprint.height = facts.height;
        facts.fingerprint.frames = facts.frames;
        facts.fingerprint.bytesPerSample = std::uint8_t(depth);
        std::memcpy(facts.fingerprint.digest.data(), digest, 32);
        break;
    }
    case sqlite3_int64(CachedFacts::Kind::Unreadable): {
        const unsigned char* reason = sqlite3_column_text(s, 11);
        if (!reason || !*reason || type < 0 || type > sqlite3_int64(decoding::PictureType::Avif))
            return std::nullopt;
        facts.kind = CachedFacts::Kind::Unreadable;
        facts.reason = QString::fromUtf8(reinterpret_cast<const char*>(reason));
        break;
    }
    default:
        return std::nullopt;
    }
    facts.type = decoding::PictureType(type);
    return facts;
}

void FingerprintCache::store(const FileIdentity& identity, const CachedFacts& facts)
{
    if (m_state != State::Bypassed)
        m_pending.emplace_back(identity, facts);
}

void FingerprintCache::flush()
{
    if (m_state == State::Bypassed || m_pending.empty())
        return;
    auto broken = [&](int code) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        // What the failed transaction left in the write-ahead log is given back.
        sqlite3_exec(m_db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
        const int primary = code & 0xff;
        bypass(primary == SQLITE_BUSY || primary == SQLITE_LOCKED
                ? QStringLiteral("another program holds it locked")
                : QStringLiteral("writing it failed (%1)")
                      .arg(QString::fromUtf8(sqlite3_errstr(code))));
    };
    int code = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (code != SQLITE_OK)
        return broken(code);
    Statement insert(m_db,
        "INSERT OR REPLACE INTO files(device, inode, size, modified_ns, changed_ns, decoder, kind, "
        "type, "
        "width, height, frames, depth, digest, reason, checksum) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, "
        "?, ?, ?, ?, ?, ?)");
    if (!insert.ok())
        return broken(insert.prepareResult());
    sqlite3_stmt* s = insert.get();
    for (const auto& [identity, facts] : m_pending) {
        sqlite3_bind_int64(s, 1, sqlite3_int64(identity.device));
        sqlite3_bind_int64(s, 2, sqlite3_int64(identity.inode));
        sqlite3_bind_int64(s, 3, identity.size);
        sqlite3_bind_int64(s, 4, identity.modifiedNs);
        sqlite3_bind_int64(s, 5, identity.changedNs);
        sqlite3_bind_int64(s, 6, m_decoderId);
        sqlite3_bind_int64(s, 7, sqlite3_int64(facts.kind));
        sqlite3_bind_int64(s, 8, sqlite3_int64(facts.type));
        sqlite3_bind_int64(s, 9, facts.width);
        sqlite3_bind_int64(s, 10, facts.height);
        sqlite3_bind_int64(s, 11, facts.frames);
        const bool fingerprint = facts.kind == CachedFacts::Kind::Fingerprint;
        const sqlite3_int64 depth = fingerprint ? facts.fingerprint.bytesPerSample : 0;
        sqlite3_bind_int64(s, 12, depth);
        if (fingerprint)
            sqlite3_bind_blob(s, 13, facts.fingerprint.digest.data(), 32, SQLITE_STATIC);
        else
            sqlite3_bind_null(s, 13);
        const QByteArray reason = facts.reason.toUtf8();
        const bool unreadable = facts.kind == CachedFacts::Kind::Unreadable;
        if (unreadable)
            sqlite3_bind_text(s, 14, reason.constData(), int(reason.size()), SQLITE_TRANSIENT);
        else
            sqlite3_bind_null(s, 14);
        const sqlite3_int64 numbers[12]
            = {sqlite3_int64(identity.device), sqlite3_int64(identity.inode), identity.size,
                identity.modifiedNs, identity.changedNs, m_decoderId, sqlite3_int64(facts.kind),
                sqlite3_int64(facts.type), facts.width, facts.height, facts.frames, depth};
        sqlite3_bind_int64(s, 15,
            rowChecksum(numbers, fingerprint ? facts.fingerprint.digest.data() : nullptr,
                fingerprint ? 32 : 0, unreadable ? reason.constData() : nullptr,
                unreadable ? int(reason.size()) : 0));
        code = sqlite3_step(s);
        sqlite3_reset(s);
        if (code != SQLITE_DONE)
            return broken(code);
    }
    code = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    if (code != SQLITE_OK)
        return broken(code);
    m_pending.clear();
}

int FingerprintCache::carryOverRenamed(
    const std::vector<std::pair<FileIdentity, FileIdentity>>& renamed)
{
    std::vector<FileIdentity> before;
    std::vector<FileIdentity> after;
    for (const auto& [was, now] : renamed) {
        // A rename keeps the inode and the file's contents; only the change
        // time may differ.
        if (was.device != now.device || was.inode != now.inode || was.size != now.size
            || was.modifiedNs != now.modifiedNs)
            continue;
        before.push_back(was);
        after.push_back(now);
    }
    std::vector<std::optional<CachedFacts>> found;
    if (before.empty() || !lookUpAll(before, &found))
        return 0;
    int carried = 0;
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (found[i]) {
            store(after[i], *found[i]);
            ++carried;
        }
    }
    flush();
    return m_state == State::Bypassed ? 0 : carried;
}

} // namespace finder
