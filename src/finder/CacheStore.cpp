#include "finder/CacheStore.h"

#include "finder/PictureReader.h"
#include "similar/PhotoSignature.h"
#include "similar/ProofRule.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <sqlite3.h>

#include <atomic>
#include <vector>

namespace finder {

namespace {

// Changes whenever a table's key or meaning changes; another value empties
// the whole file. 3: one store, rows keyed by the version numbers of the
// versions table.
constexpr char kLayout[] = "Corvane cache 3";

struct Table {
    const char* name;
    const char* newestColumn; // a table of an older Corvane that lacks it is dropped
    const char* create;
};

// Every table of the file. The same-photo tables' keys are the scope's
// version number (8 bytes) and one or two files (40 bytes each: device,
// inode, size, modification and change time).
constexpr Table kTables[] = {
    {"meta", "value", "CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value TEXT NOT NULL)"},
    {"versions", "version",
        "CREATE TABLE IF NOT EXISTS versions(id INTEGER PRIMARY KEY, version TEXT NOT NULL "
        "UNIQUE)"},
    {"files", "checksum",
        "CREATE TABLE IF NOT EXISTS files(device INTEGER NOT NULL, inode INTEGER NOT NULL, "
        "size INTEGER NOT NULL, modified_ns INTEGER NOT NULL, changed_ns INTEGER NOT NULL, "
        "version INTEGER NOT NULL, kind INTEGER NOT NULL, type INTEGER NOT NULL, "
        "width INTEGER NOT NULL, height INTEGER NOT NULL, frames INTEGER NOT NULL, "
        "depth INTEGER NOT NULL, digest BLOB, reason TEXT, checksum INTEGER NOT NULL, "
        "PRIMARY KEY(device, inode)) WITHOUT ROWID"},
    {"photo_signatures", "checksum",
        "CREATE TABLE IF NOT EXISTS photo_signatures(key BLOB PRIMARY KEY, signature BLOB NOT "
        "NULL, checksum INTEGER NOT NULL) WITHOUT ROWID"},
    {"photo_proofs", "figures",
        "CREATE TABLE IF NOT EXISTS photo_proofs(key BLOB PRIMARY KEY, ssim REAL NOT NULL, "
        "mean REAL NOT NULL, max INTEGER NOT NULL, width INTEGER NOT NULL, height INTEGER NOT "
        "NULL, figures BLOB NOT NULL, checksum INTEGER NOT NULL) WITHOUT ROWID"},
    {"photo_enlargements", "checksum",
        "CREATE TABLE IF NOT EXISTS photo_enlargements(key BLOB PRIMARY KEY, enlarged INTEGER "
        "NOT NULL, checksum INTEGER NOT NULL) WITHOUT ROWID"},
};

std::atomic<int> s_connections{0};

bool isDamage(int code)
{
    const int primary = code & 0xff;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

bool isLock(int code)
{
    const int primary = code & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

QString errorText(int code)
{
    return QString::fromUtf8(sqlite3_errstr(code));
}

} // namespace

CacheVersion CacheVersion::current(std::uint64_t memoryBudgetBytes)
{
    CacheVersion version;
    version.decoders = decoderVersion();
    version.memoryBudgetMB = memoryBudgetBytes >> 20;
    version.signature = similar::kSignatureRevision;
    version.proof = similar::kProofRevision;
    return version;
}

std::string CacheVersion::of(CacheScope scope) const
{
    const std::string base = decoders + "; ";
    const std::string proofs = base + "proof " + std::to_string(proof);
    switch (scope) {
    case CacheScope::Files:
        return base + "memory budget " + std::to_string(memoryBudgetMB) + " MB";
    case CacheScope::Signatures:
        return base + "signature " + std::to_string(signature);
    case CacheScope::Proofs:
        return proofs;
    case CacheScope::Enlargements:
        return proofs + "; enlargement " + std::to_string(enlargement);
    case CacheScope::MadeFrom:
        return proofs + "; made from " + std::to_string(madeFrom);
    case CacheScope::Lossless:
        return proofs + "; lossless " + std::to_string(lossless);
    }
    return base;
}

CacheStore::CacheStore(const QString& path, const CacheVersion& version, int busyTimeoutMs)
    : m_path(path)
    , m_version(version)
    , m_busyTimeoutMs(busyTimeoutMs)
{
    if (!open())
        return;
    switch (prepareSchema()) {
    case SchemaOutcome::Ok:
        return;
    case SchemaOutcome::Failed:
        close();
        return;
    case SchemaOutcome::Damaged:
        break;
    }
    // Not a database, damaged, or someone else's: make it anew.
    close();
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(m_path + QLatin1String(suffix));
    m_problem.clear();
    if (open() && prepareSchema() == SchemaOutcome::Ok) {
        m_state = State::Rebuilt;
        return;
    }
    if (m_state != State::Bypassed)
        bypass(QStringLiteral("it could not be made anew"));
    close();
}

CacheStore::~CacheStore()
{
    close();
}

QString CacheStore::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
        + QStringLiteral("/Corvane/fingerprints.sqlite");
}

int CacheStore::connectionsOpened()
{
    return s_connections.load();
}

bool CacheStore::open()
{
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath())) {
        bypass(QStringLiteral("its folder cannot be made"));
        return false;
    }
    const QByteArray name = QFile::encodeName(m_path);
    ++s_connections;
    if (sqlite3_open_v2(name.constData(), &m_db,
            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr)
        != SQLITE_OK) {
        close();
        bypass(QStringLiteral("it cannot be opened"));
        return false;
    }
    sqlite3_busy_timeout(m_db, m_busyTimeoutMs);
    // An entry that cannot be brought up to date would soon be stale.
    if (sqlite3_db_readonly(m_db, "main") == 1) {
        close();
        bypass(QStringLiteral("it is read-only"));
        return false;
    }
    return true;
}

CacheStore::SchemaOutcome CacheStore::prepareSchema()
{
    auto fail = [&](int code) {
        rollback();
        if (isDamage(code))
            return SchemaOutcome::Damaged;
        if (isLock(code))
            bypass(QStringLiteral("another program holds it locked"));
        else if ((code & 0xff) == SQLITE_READONLY)
            bypass(QStringLiteral("it is read-only"));
        else
            bypass(QStringLiteral("it cannot be used (%1)").arg(errorText(code)));
        return SchemaOutcome::Failed;
    };

    int code = execute("PRAGMA journal_mode=WAL");
    if (code != SQLITE_OK)
        return fail(code);
    execute("PRAGMA synchronous=NORMAL");
    if ((code = beginWrite()) != SQLITE_OK)
        return fail(code);

    // Whose database is it, and of which layout?
    std::vector<QByteArray> tables;
    {
        Statement list(*this, "SELECT name FROM sqlite_master WHERE type = 'table'");
        if (!list.ok())
            return fail(list.prepareResult());
        while ((code = list.step()) == SQLITE_ROW)
            tables.emplace_back(list.text(0));
        if (code != SQLITE_DONE)
            return fail(code);
    }
    QByteArray layout;
    if (!tables.empty()) {
        Statement read(*this, "SELECT value FROM meta WHERE key = 'layout'");
        if (read.ok() && read.step() == SQLITE_ROW)
            layout = read.text(0);
        else if (!read.ok() && isDamage(read.prepareResult()))
            return fail(read.prepareResult());
        if (layout.isEmpty()) {
            // Another program's database at Corvane's cache path.
            rollback();
            return SchemaOutcome::Damaged;
        }
    }
    if (!layout.isEmpty() && layout != kLayout) {
        // An older or newer Corvane's file: emptied.
        m_state = State::Rebuilt;
        for (const QByteArray& table : tables) {
            if (table.startsWith("sqlite_"))
                continue;
            const QByteArray drop = "DROP TABLE \"" + table + '"';
            if ((code = execute(drop.constData())) != SQLITE_OK)
                return fail(code);
        }
        tables.clear();
    }
    // Every table checked the same way: one that lacks its newest column is
    // an older Corvane's, whose rows are made again.
    for (const Table& table : kTables) {
        {
            Statement columns(*this,
                "SELECT (SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?1), "
                "(SELECT count(*) FROM pragma_table_info(?1) WHERE name = ?2)");
            columns.bindText(1, table.name).bindText(2, table.newestColumn);
            if ((code = columns.step()) != SQLITE_ROW)
                return fail(code == SQLITE_DONE ? SQLITE_ERROR : code);
            const bool older = columns.integer(0) > 0 && columns.integer(1) == 0;
            // No statement may run while a table is dropped.
            columns.reset();
            if (older) {
                const std::string drop = std::string("DROP TABLE ") + table.name;
                if ((code = execute(drop.c_str())) != SQLITE_OK)
                    return fail(code);
            }
        }
        if ((code = execute(table.create)) != SQLITE_OK)
            return fail(code);
    }
    {
        Statement write(*this, "INSERT OR REPLACE INTO meta(key, value) VALUES('layout', ?)");
        if ((code = write.bindText(1, kLayout).step()) != SQLITE_DONE)
            return fail(code);
    }

    // Each scope's version number, added on first use.
    {
        Statement add(*this, "INSERT OR IGNORE INTO versions(version) VALUES(?)");
        Statement find(*this, "SELECT id FROM versions WHERE version = ?");
        for (int scope = 0; scope < kCacheScopes; ++scope) {
            const std::string text = m_version.of(CacheScope(scope));
            if ((code = add.bindText(1, text.c_str()).step()) != SQLITE_DONE)
                return fail(code);
            add.reset();
            if ((code = find.bindText(1, text.c_str()).step()) != SQLITE_ROW)
                return fail(code == SQLITE_DONE ? SQLITE_ERROR : code);
            m_versions[std::size_t(scope)] = find.integer(0);
            find.reset();
        }
    }
    if ((code = commit()) != SQLITE_OK)
        return fail(code);
    return SchemaOutcome::Ok;
}

void CacheStore::bypass(const QString& why)
{
    m_state = State::Bypassed;
    m_readable = false;
    m_writable = false;
    if (m_problem.isEmpty())
        m_problem = why;
}

void CacheStore::close()
{
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

int CacheStore::execute(const char* sql)
{
    if (!m_db)
        return SQLITE_MISUSE;
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
}

int CacheStore::beginRead()
{
    return execute("BEGIN");
}

int CacheStore::beginWrite()
{
    return execute("BEGIN IMMEDIATE");
}

int CacheStore::commit()
{
    return execute("COMMIT");
}

void CacheStore::rollback()
{
    if (m_db && !sqlite3_get_autocommit(m_db))
        execute("ROLLBACK");
}

void CacheStore::readingFailed(int code)
{
    rollback();
    bypass(QStringLiteral("reading it failed (%1)").arg(errorText(code)));
}

void CacheStore::writingFailed(int code)
{
    rollback();
    // What the failed transaction left in the write-ahead log is given back
    // (on a full disk, most of all), and nothing more is written.
    execute("PRAGMA wal_checkpoint(TRUNCATE)");
    m_state = State::Bypassed;
    m_writable = false;
    if (m_problem.isEmpty())
        m_problem = isLock(code) ? QStringLiteral("another program holds it locked")
                                 : QStringLiteral("writing it failed (%1)").arg(errorText(code));
}

CacheStore::Statement::Statement(CacheStore& store, const char* sql)
{
    if (!store.m_db) {
        m_prepared = SQLITE_MISUSE;
    } else {
        m_prepared = sqlite3_prepare_v2(store.m_db, sql, -1, &m_statement, nullptr);
        if (m_prepared == SQLITE_OK && !m_statement)
            m_prepared = SQLITE_ERROR; // no statement in the text
        if (m_prepared != SQLITE_OK) {
            sqlite3_finalize(m_statement);
            m_statement = nullptr;
        }
    }
    m_bound = m_prepared;
}

CacheStore::Statement::~Statement()
{
    sqlite3_finalize(m_statement);
}

namespace {

int firstFailure(int earlier, int now)
{
    return earlier != SQLITE_OK ? earlier : now;
}

} // namespace

CacheStore::Statement& CacheStore::Statement::bindInt(int index, std::int64_t value)
{
    if (m_statement)
        m_bound = firstFailure(m_bound, sqlite3_bind_int64(m_statement, index, value));
    return *this;
}

CacheStore::Statement& CacheStore::Statement::bindReal(int index, double value)
{
    if (m_statement)
        m_bound = firstFailure(m_bound, sqlite3_bind_double(m_statement, index, value));
    return *this;
}

CacheStore::Statement& CacheStore::Statement::bindBlob(int index, const void* data, int length)
{
    if (m_statement)
        m_bound = firstFailure(
            m_bound, sqlite3_bind_blob(m_statement, index, data, length, SQLITE_TRANSIENT));
    return *this;
}

CacheStore::Statement& CacheStore::Statement::bindText(int index, const char* text, int length)
{
    if (m_statement)
        m_bound = firstFailure(
            m_bound, sqlite3_bind_text(m_statement, index, text, length, SQLITE_TRANSIENT));
    return *this;
}

CacheStore::Statement& CacheStore::Statement::bindNull(int index)
{
    if (m_statement)
        m_bound = firstFailure(m_bound, sqlite3_bind_null(m_statement, index));
    return *this;
}

int CacheStore::Statement::step()
{
    if (m_bound != SQLITE_OK)
        return m_bound;
    return sqlite3_step(m_statement);
}

void CacheStore::Statement::reset()
{
    if (!m_statement)
        return;
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
    m_bound = SQLITE_OK;
}

bool CacheStore::Statement::isInteger(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_INTEGER;
}

bool CacheStore::Statement::isReal(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_FLOAT;
}

bool CacheStore::Statement::isBlob(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_BLOB;
}

std::int64_t CacheStore::Statement::integer(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

double CacheStore::Statement::real(int column) const
{
    return sqlite3_column_double(m_statement, column);
}

const void* CacheStore::Statement::blob(int column) const
{
    return sqlite3_column_blob(m_statement, column);
}

int CacheStore::Statement::bytes(int column) const
{
    return sqlite3_column_bytes(m_statement, column);
}

QByteArray CacheStore::Statement::blobBytes(int column) const
{
    const void* data = blob(column);
    return QByteArray(static_cast<const char*>(data), data ? bytes(column) : 0);
}

const char* CacheStore::Statement::text(int column) const
{
    return reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
}

} // namespace finder
