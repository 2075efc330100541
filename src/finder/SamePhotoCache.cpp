#include "finder/SamePhotoCache.h"

#include "finder/RowChecksum.h"

#include <QFile>

#include <sqlite3.h>

#include <cmath>
#include <cstring>
#include <map>

namespace finder {

namespace {

constexpr char kSchema[] = R"(
CREATE TABLE IF NOT EXISTS photo_signatures(key BLOB PRIMARY KEY, signature BLOB NOT NULL,
    checksum INTEGER NOT NULL) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS photo_proofs(key BLOB PRIMARY KEY, ssim REAL NOT NULL, mean REAL NOT NULL,
    max INTEGER NOT NULL, width INTEGER NOT NULL, height INTEGER NOT NULL, figures BLOB NOT NULL,
    checksum INTEGER NOT NULL) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS photo_enlargements(key BLOB PRIMARY KEY, enlarged INTEGER NOT NULL,
    checksum INTEGER NOT NULL) WITHOUT ROWID;
)";

// Each table with the newest column it must have: an older Corvane's table
// that lacks it is dropped and its rows made again.
constexpr std::pair<const char*, const char*> kTables[] = {{"photo_signatures", "checksum"},
    {"photo_proofs", "figures"}, {"photo_enlargements", "checksum"}};

// The figures beyond the whole-picture ones, packed as doubles in a fixed
// order. The tone is stored as measured from `a` to `b`.
constexpr int kFigureCount = 15;
QByteArray packFigures(const similar::PhotoDifference& d)
{
    const double values[kFigureCount] = {d.local.value, d.local.limit, double(d.local.region[0]),
        double(d.local.region[1]), double(d.local.region[2]), double(d.local.region[3]),
        d.tone.mean[0], d.tone.mean[1], d.tone.mean[2], d.tone.worstBand, d.shift, double(d.frames),
        d.local.share, d.local.span, d.tone.blockShift};
    return QByteArray(reinterpret_cast<const char*>(values), sizeof values);
}

bool unpackFigures(const void* bytes, int length, similar::PhotoDifference& d)
{
    double values[kFigureCount];
    if (length != int(sizeof values))
        return false;
    std::memcpy(values, bytes, sizeof values);
    for (double v : values) {
        if (!std::isfinite(v))
            return false;
    }
    for (int i = 2; i < 6; ++i) {
        if (values[i] < 0 || values[i] > 4294967295.0)
            return false;
    }
    if (values[11] < 1 || values[11] > 4294967295.0)
        return false;
    d.local.value = values[0];
    d.local.limit = values[1];
    for (std::size_t i = 0; i < 4; ++i)
        d.local.region[i] = std::uint32_t(values[2 + i]);
    d.tone.mean = {values[6], values[7], values[8]};
    d.tone.worstBand = values[9];
    d.shift = values[10];
    d.frames = std::uint32_t(values[11]);
    d.local.share = values[12];
    d.local.span = values[13];
    d.tone.blockShift = values[14];
    return true;
}

// The same pair measured the other way round: the tone changes its sign.
similar::PhotoDifference reversed(const similar::PhotoDifference& d)
{
    return similar::measuredFrom(1, 0, d); // the one rule for turning a proof round
}

// Whether a pair is stored the other way round from how it is asked for.
bool storedReversed(const FileIdentity& a, const FileIdentity& b)
{
    return std::make_pair(a.device, a.inode) > std::make_pair(b.device, b.inode);
}

std::int64_t signatureChecksum(const QByteArray& key, const void* signature, int bytes)
{
    return RowChecksum().bytes(key).bytes(signature, bytes).value();
}

std::int64_t proofChecksum(const QByteArray& key, const similar::PhotoDifference& d)
{
    return RowChecksum()
        .bytes(key)
        .real(d.ssim)
        .real(d.mean)
        .number(d.max)
        .number(d.comparedWidth)
        .number(d.comparedHeight)
        .bytes(packFigures(d))
        .value();
}

std::int64_t enlargementChecksum(const QByteArray& key, similar::Enlargement verdict)
{
    return RowChecksum().bytes(key).number(int(verdict)).value();
}

// Part of every enlargement row's key: raised whenever the verdict is
// reached differently, so that no verdict of an older check is read back.
// 2: three methods and a re-save, with Unsure. 3: a file stored without
// loss that does not reduce well is no enlargement.
constexpr std::uint64_t kEnlargementRevision = 3;
// The same for the rows that say whether a lossless file holds a lossy one's
// decode, and whether a file is coded without loss (they share the table,
// under keys of their own).
constexpr std::uint64_t kMadeFromRevision = 0x4d46'0000'0000'0001; // "MF", 1
constexpr std::uint64_t kLosslessRevision = 0x4c53'0000'0000'0001; // "LS", 1

QByteArray withEnlargementRevision(QByteArray key, SamePhotoCache::Question question)
{
    using Question = SamePhotoCache::Question;
    const std::uint64_t revision = question == Question::Enlargement ? kEnlargementRevision
        : question == Question::MadeFrom                             ? kMadeFromRevision
                                                                     : kLosslessRevision;
    key.append(reinterpret_cast<const char*>(&revision), sizeof revision);
    return key;
}

int failedPrepare(sqlite3* db)
{
    const int code = sqlite3_errcode(db);
    return code == SQLITE_OK ? SQLITE_ERROR : code;
}

// Whether the row's checksum (in `column`) is the expected one.
bool checksumMatches(sqlite3_stmt* row, int column, std::int64_t expected)
{
    return sqlite3_column_type(row, column) == SQLITE_INTEGER
        && sqlite3_column_int64(row, column) == expected;
}

// FNV-1a: a stable number for the decoders' version text and the signature revision.
std::uint64_t versionNumber(const std::string& text)
{
    std::uint64_t hash = 1469598103934665603ULL;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ULL;
    }
    return hash;
}

void append(QByteArray& key, std::uint64_t value)
{
    key.append(reinterpret_cast<const char*>(&value), sizeof value);
}

class Statement {
public:
    Statement(sqlite3* db, const char* sql)
    {
        sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return m_statement; }
    bool ok() const { return m_statement != nullptr; }

private:
    sqlite3_stmt* m_statement = nullptr;
};

} // namespace

SamePhotoCache::SamePhotoCache(
    const QString& path, const std::string& decoderVersion, int busyTimeoutMs)
    : m_version(versionNumber(
        decoderVersion + "; signature " + std::to_string(similar::kSignatureRevision)))
{
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db,
            SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr)
        != SQLITE_OK) {
        close();
        return;
    }
    sqlite3_busy_timeout(m_db, busyTimeoutMs);
    if (const int code = prepareTables(); code != SQLITE_OK) {
        writingFailed(code);
        close();
    }
}

int SamePhotoCache::prepareTables()
{
    int code = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (code != SQLITE_OK)
        return code;
    // An older Corvane's tables, whose rows carry no checksum: their rows are made again.
    for (const auto& [table, newest] : kTables) {
        Statement columns(m_db,
            "SELECT (SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?1), "
            "(SELECT count(*) FROM pragma_table_info(?1) WHERE name = ?2)");
        if (!columns.ok())
            return failedPrepare(m_db);
        if ((code = sqlite3_bind_text(columns.get(), 1, table, -1, SQLITE_STATIC)) != SQLITE_OK
            || (code = sqlite3_bind_text(columns.get(), 2, newest, -1, SQLITE_STATIC)) != SQLITE_OK)
            return code;
        if ((code = sqlite3_step(columns.get())) != SQLITE_ROW)
            return code == SQLITE_DONE ? SQLITE_ERROR : code;
        const bool older
            = sqlite3_column_int(columns.get(), 0) > 0 && sqlite3_column_int(columns.get(), 1) == 0;
        sqlite3_reset(columns.get()); // no statement may run while a table is dropped
        if (older) {
            const std::string drop = std::string("DROP TABLE ") + table;
            if ((code = sqlite3_exec(m_db, drop.c_str(), nullptr, nullptr, nullptr)) != SQLITE_OK)
                return code;
        }
    }
    if ((code = sqlite3_exec(m_db, kSchema, nullptr, nullptr, nullptr)) != SQLITE_OK)
        return code;
    return sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
}

SamePhotoCache::~SamePhotoCache()
{
    flush();
    close();
}

void SamePhotoCache::close()
{
    if (m_db)
        sqlite3_close(m_db);
    m_db = nullptr;
}

QByteArray SamePhotoCache::fileKey(const FileIdentity& file) const
{
    QByteArray key;
    append(key, m_version);
    append(key, file.device);
    append(key, file.inode);
    append(key, std::uint64_t(file.size));
    append(key, std::uint64_t(file.modifiedNs));
    append(key, std::uint64_t(file.changedNs));
    return key;
}

// A pair's rows also carry the proof's revision: a verdict measured under
// an older rule is never used.
QByteArray SamePhotoCache::pairKey(const FileIdentity& a, const FileIdentity& b) const
{
    QByteArray first = fileKey(a);
    QByteArray second = fileKey(b).mid(8);
    if (storedReversed(a, b)) {
        first = fileKey(b);
        second = fileKey(a).mid(8);
    }
    QByteArray key = first + second;
    append(key, std::uint64_t(similar::kProofRevision));
    return key;
}

QByteArray SamePhotoCache::orderedPairKey(const FileIdentity& a, const FileIdentity& b) const
{
    QByteArray key = fileKey(a) + fileKey(b).mid(8);
    append(key, std::uint64_t(similar::kProofRevision));
    return key;
}

std::optional<similar::Enlargement> SamePhotoCache::enlargement(
    const FileIdentity& a, const FileIdentity& b, Question question)
{
    if (!m_db)
        return std::nullopt;
    Statement read(m_db, "SELECT enlarged, checksum FROM photo_enlargements WHERE key = ?");
    if (!read.ok())
        return std::nullopt;
    const QByteArray key = withEnlargementRevision(orderedPairKey(a, b), question);
    sqlite3_bind_blob(read.get(), 1, key.constData(), int(key.size()), SQLITE_STATIC);
    if (sqlite3_step(read.get()) != SQLITE_ROW
        || sqlite3_column_type(read.get(), 0) != SQLITE_INTEGER)
        return std::nullopt;
    const sqlite3_int64 enlarged = sqlite3_column_int64(read.get(), 0);
    if (enlarged < 0 || enlarged > 2)
        return std::nullopt;
    const auto verdict = similar::Enlargement(enlarged);
    if (!checksumMatches(read.get(), 1, enlargementChecksum(key, verdict)))
        return std::nullopt;
    return verdict;
}

void SamePhotoCache::storeEnlargement(
    const FileIdentity& a, const FileIdentity& b, similar::Enlargement verdict, Question question)
{
    if (m_db && m_writable)
        m_enlargements.emplace_back(
            withEnlargementRevision(orderedPairKey(a, b), question), verdict);
}

std::optional<similar::PhotoSignature> SamePhotoCache::signature(const FileIdentity& file)
{
    if (!m_db)
        return std::nullopt;
    Statement read(m_db, "SELECT signature, checksum FROM photo_signatures WHERE key = ?");
    if (!read.ok())
        return std::nullopt;
    const QByteArray key = fileKey(file);
    sqlite3_bind_blob(read.get(), 1, key.constData(), int(key.size()), SQLITE_STATIC);
    if (sqlite3_step(read.get()) != SQLITE_ROW || sqlite3_column_type(read.get(), 0) != SQLITE_BLOB)
        return std::nullopt;
    const void* bytes = sqlite3_column_blob(read.get(), 0);
    const int length = sqlite3_column_bytes(read.get(), 0);
    if (!checksumMatches(read.get(), 1, signatureChecksum(key, bytes, length)))
        return std::nullopt;
    return similar::unpackSignature(static_cast<const std::uint8_t*>(bytes), std::size_t(length));
}

std::optional<similar::PhotoDifference> SamePhotoCache::proof(
    const FileIdentity& a, const FileIdentity& b)
{
    if (!m_db)
        return std::nullopt;
    Statement read(m_db,
        "SELECT ssim, mean, max, width, height, checksum, figures FROM photo_proofs WHERE key = ?");
    if (!read.ok())
        return std::nullopt;
    const QByteArray key = pairKey(a, b);
    sqlite3_bind_blob(read.get(), 1, key.constData(), int(key.size()), SQLITE_STATIC);
    if (sqlite3_step(read.get()) != SQLITE_ROW)
        return std::nullopt;
    for (int column = 2; column < 5; ++column) {
        if (sqlite3_column_type(read.get(), column) != SQLITE_INTEGER)
            return std::nullopt;
    }
    const sqlite3_int64 max = sqlite3_column_int64(read.get(), 2);
    const sqlite3_int64 width = sqlite3_column_int64(read.get(), 3);
    const sqlite3_int64 height = sqlite3_column_int64(read.get(), 4);
    if (max < 0 || max > 255 || width < 0 || width > 0xFFFFFFFF || height < 0
        || height > 0xFFFFFFFF)
        return std::nullopt;
    similar::PhotoDifference difference;
    difference.ssim = sqlite3_column_double(read.get(), 0);
    difference.mean = sqlite3_column_double(read.get(), 1);
    difference.max = int(max);
    difference.comparedWidth = std::uint32_t(width);
    difference.comparedHeight = std::uint32_t(height);
    if (sqlite3_column_type(read.get(), 6) != SQLITE_BLOB
        || !unpackFigures(
            sqlite3_column_blob(read.get(), 6), sqlite3_column_bytes(read.get(), 6), difference))
        return std::nullopt;
    if (!checksumMatches(read.get(), 5, proofChecksum(key, difference)))
        return std::nullopt;
    return storedReversed(a, b) ? reversed(difference) : difference;
}

void SamePhotoCache::storeSignature(
    const FileIdentity& file, const similar::PhotoSignature& signature)
{
    if (m_db && m_writable)
        m_signatures.emplace_back(fileKey(file), similar::pack(signature));
}

void SamePhotoCache::storeProof(
    const FileIdentity& a, const FileIdentity& b, const similar::PhotoDifference& difference)
{
    if (m_db && m_writable)
        m_proofs.emplace_back(
            pairKey(a, b), storedReversed(a, b) ? reversed(difference) : difference);
}

void SamePhotoCache::writingFailed(int code)
{
    if (!sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    // What the failed transaction left in the write-ahead log is given back
    // (on a full disk, most of all), and nothing more is written.
    sqlite3_exec(m_db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
    m_writable = false;
    const int primary = code & 0xff;
    // In the fingerprint cache's words: it is one file to the user.
    m_problem = primary == SQLITE_BUSY || primary == SQLITE_LOCKED
        ? QStringLiteral("another program holds it locked")
        : QStringLiteral("writing it failed (%1)").arg(QString::fromUtf8(sqlite3_errstr(code)));
}

void SamePhotoCache::flush()
{
    const bool pending = !m_signatures.empty() || !m_proofs.empty() || !m_enlargements.empty();
    if (m_db && m_writable && pending) {
        const int code = write();
        if (code != SQLITE_OK)
            writingFailed(code);
    }
    m_signatures.clear();
    m_proofs.clear();
    m_enlargements.clear();
}

// Every buffered row in one transaction; the first step that fails ends it.
int SamePhotoCache::write()
{
    int code = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (code != SQLITE_OK)
        return code;
    // Binds a row's values and steps; SQLITE_OK when the row was written.
    auto step = [](sqlite3_stmt* statement) {
        const int result = sqlite3_step(statement);
        sqlite3_reset(statement);
        return result == SQLITE_DONE ? SQLITE_OK : result;
    };
    {
        Statement write(m_db,
            "INSERT OR REPLACE INTO photo_signatures(key, signature, checksum) VALUES(?, ?, ?)");
        if (!write.ok())
            return failedPrepare(m_db);
        for (const auto& [key, bytes] : m_signatures) {
            sqlite3_stmt* s = write.get();
            if ((code = sqlite3_bind_blob(s, 1, key.constData(), int(key.size()), SQLITE_STATIC))
                    != SQLITE_OK
                || (code = sqlite3_bind_blob(s, 2, bytes.data(), int(bytes.size()), SQLITE_STATIC))
                    != SQLITE_OK
                || (code = sqlite3_bind_int64(
                        s, 3, signatureChecksum(key, bytes.data(), int(bytes.size()))))
                    != SQLITE_OK
                || (code = step(s)) != SQLITE_OK)
                return code;
        }
    }
    {
        Statement write(m_db,
            "INSERT OR REPLACE INTO photo_proofs(key, ssim, mean, max, width, height, checksum, "
            "figures) VALUES(?, ?, ?, ?, ?, ?, ?, ?)");
        if (!write.ok())
            return failedPrepare(m_db);
        for (const auto& [key, d] : m_proofs) {
            sqlite3_stmt* s = write.get();
            const QByteArray figures = packFigures(d);
            if ((code = sqlite3_bind_blob(s, 1, key.constData(), int(key.size()), SQLITE_STATIC))
                    != SQLITE_OK
                || (code = sqlite3_bind_double(s, 2, d.ssim)) != SQLITE_OK
                || (code = sqlite3_bind_double(s, 3, d.mean)) != SQLITE_OK
                || (code = sqlite3_bind_int64(s, 4, d.max)) != SQLITE_OK
                || (code = sqlite3_bind_int64(s, 5, d.comparedWidth)) != SQLITE_OK
                || (code = sqlite3_bind_int64(s, 6, d.comparedHeight)) != SQLITE_OK
                || (code = sqlite3_bind_int64(s, 7, proofChecksum(key, d))) != SQLITE_OK
                || (code = sqlite3_bind_blob(
                        s, 8, figures.constData(), int(figures.size()), SQLITE_TRANSIENT))
                    != SQLITE_OK
                || (code = step(s)) != SQLITE_OK)
                return code;
        }
    }
    {
        Statement write(m_db,
            "INSERT OR REPLACE INTO photo_enlargements(key, enlarged, checksum) VALUES(?, ?, ?)");
        if (!write.ok())
            return failedPrepare(m_db);
        for (const auto& [key, enlarged] : m_enlargements) {
            sqlite3_stmt* s = write.get();
            if ((code = sqlite3_bind_blob(s, 1, key.constData(), int(key.size()), SQLITE_STATIC))
                    != SQLITE_OK
                || (code = sqlite3_bind_int(s, 2, int(enlarged))) != SQLITE_OK
                || (code = sqlite3_bind_int64(s, 3, enlargementChecksum(key, enlarged)))
                    != SQLITE_OK
                || (code = step(s)) != SQLITE_OK)
                return code;
        }
    }
    return sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
}

namespace {

// The file part of a key (fileKey without its version): device, inode, size,
// modification and change time.
constexpr int kFileKeyBytes = 40;

FileIdentity identityFromKey(const char* bytes)
{
    std::uint64_t fields[5];
    std::memcpy(fields, bytes, sizeof fields);
    FileIdentity file;
    file.device = fields[0];
    file.inode = fields[1];
    file.size = std::int64_t(fields[2]);
    file.modifiedNs = std::int64_t(fields[3]);
    file.changedNs = std::int64_t(fields[4]);
    return file;
}

} // namespace

int SamePhotoCache::carryOverRenamed(
    const std::vector<std::pair<FileIdentity, FileIdentity>>& renamed)
{
    if (!m_db || !m_writable)
        return 0;
    // The file part of each old key, and who the file is now.
    std::map<QByteArray, FileIdentity> now;
    for (const auto& [was, is] : renamed) {
        if (was.device != is.device || was.inode != is.inode || was.size != is.size
            || was.modifiedNs != is.modifiedNs)
            continue;
        now.emplace(fileKey(was).mid(8), is);
    }
    if (now.empty())
        return 0;
    auto current = [&now](const FileIdentity& file, const QByteArray& part) {
        const auto it = now.find(part);
        return it == now.end() ? file : it->second;
    };
    int carried = 0;
    for (const auto& [part, is] : now) {
        if (const std::optional<similar::PhotoSignature> kept
            = signature(identityFromKey(part.constData()))) {
            storeSignature(is, *kept);
            ++carried;
        }
    }
    // Pairs: the version, either file's part, then the proof revision.
    const char* const pairTables[] = {"photo_proofs", "photo_enlargements"};
    for (const char* table : pairTables) {
        const std::string sql = std::string("SELECT key FROM ") + table
            + " WHERE length(key) = 96 AND (substr(key, 9, 40) = ?1 OR substr(key, 49, 40) = ?1)";
        Statement find(m_db, sql.c_str());
        if (!find.ok())
            continue;
        std::vector<QByteArray> keys;
        for (const auto& entry : now) {
            const QByteArray& part = entry.first;
            sqlite3_bind_blob(find.get(), 1, part.constData(), int(part.size()), SQLITE_STATIC);
            while (sqlite3_step(find.get()) == SQLITE_ROW) {
                const char* bytes = static_cast<const char*>(sqlite3_column_blob(find.get(), 0));
                keys.emplace_back(bytes, sqlite3_column_bytes(find.get(), 0));
            }
            sqlite3_reset(find.get());
        }
        for (const QByteArray& key : keys) {
            std::uint64_t version = 0;
            std::memcpy(&version, key.constData(), sizeof version);
            if (version != m_version)
                continue;
            const QByteArray partA = key.mid(8, kFileKeyBytes);
            const QByteArray partB = key.mid(8 + kFileKeyBytes, kFileKeyBytes);
            const FileIdentity a = identityFromKey(partA.constData());
            const FileIdentity b = identityFromKey(partB.constData());
            if (table == pairTables[0]) {
                if (const std::optional<similar::PhotoDifference> d = proof(a, b)) {
                    storeProof(current(a, partA), current(b, partB), *d);
                    ++carried;
                }
            } else if (const std::optional<similar::Enlargement> enlarged = enlargement(a, b)) {
                storeEnlargement(current(a, partA), current(b, partB), *enlarged);
                ++carried;
            }
        }
    }
    flush();
    return m_writable ? carried : 0;
}

} // namespace finder
