#include "finder/SamePhotoCache.h"

#include <QFile>

#include <sqlite3.h>

#include <cstring>

namespace finder {

namespace {

constexpr char kSchema[] = R"(
CREATE TABLE IF NOT EXISTS photo_signatures(key BLOB PRIMARY KEY, signature BLOB NOT NULL) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS photo_proofs(key BLOB PRIMARY KEY, ssim REAL NOT NULL, mean REAL NOT NULL,
    max INTEGER NOT NULL, width INTEGER NOT NULL, height INTEGER NOT NULL) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS photo_enlargements(key BLOB PRIMARY KEY, enlarged INTEGER NOT NULL) WITHOUT ROWID;
)";

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
    if (sqlite3_exec(m_db, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK)
        close();
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

QByteArray SamePhotoCache::pairKey(const FileIdentity& a, const FileIdentity& b) const
{
    QByteArray first = fileKey(a);
    QByteArray second = fileKey(b).mid(8);
    if (std::make_pair(a.device, a.inode) > std::make_pair(b.device, b.inode)) {
        first = fileKey(b);
        second = fileKey(a).mid(8);
    }
    return first + second;
}

QByteArray SamePhotoCache::orderedPairKey(const FileIdentity& a, const FileIdentity& b) const
{
    return fileKey(a) + fileKey(b).mid(8);
}

std::optional<bool> SamePhotoCache::enlargement(const FileIdentity& a, const FileIdentity& b)
{
    if (!m_db)
        return std::nullopt;
    Statement read(m_db, "SELECT enlarged FROM photo_enlargements WHERE key = ?");
    if (!read.ok())
        return std::nullopt;
    const QByteArray key = orderedPairKey(a, b);
    sqlite3_bind_blob(read.get(), 1, key.constData(), int(key.size()), SQLITE_STATIC);
    if (sqlite3_step(read.get()) != SQLITE_ROW)
        return std::nullopt;
    return sqlite3_column_int(read.get(), 0) != 0;
}

void SamePhotoCache::storeEnlargement(const FileIdentity& a, const FileIdentity& b, bool enlarged)
{
    if (m_db)
        m_enlargements.emplace_back(orderedPairKey(a, b), enlarged);
}

std::optional<similar::PhotoSignature> SamePhotoCache::signature(const FileIdentity& file)
{
    if (!m_db)
        return std::nullopt;
    Statement read(m_db, "SELECT signature FROM photo_signatures WHERE key = ?");
    if (!read.ok())
        return std::nullopt;
    const QByteArray key = fileKey(file);
    sqlite3_bind_blob(read.get(), 1, key.constData(), int(key.size()), SQLITE_STATIC);
    if (sqlite3_step(read.get()) != SQLITE_ROW)
        return std::nullopt;
    return similar::unpackSignature(
        static_cast<const std::uint8_t*>(sqlite3_column_blob(read.get(), 0)),
        std::size_t(sqlite3_column_bytes(read.get(), 0)));
}

std::optional<similar::PhotoDifference> SamePhotoCache::proof(
    const FileIdentity& a, const FileIdentity& b)
{
    if (!m_db)
        return std::nullopt;
    Statement read(m_db, "SELECT ssim, mean, max, width, height FROM photo_proofs WHERE key = ?");
    if (!read.ok())
        return std::nullopt;
    const QByteArray key = pairKey(a, b);
    sqlite3_bind_blob(read.get(), 1, key.constData(), int(key.size()), SQLITE_STATIC);
    if (sqlite3_step(read.get()) != SQLITE_ROW)
        return std::nullopt;
    similar::PhotoDifference difference;
    difference.ssim = sqlite3_column_double(read.get(), 0);
    difference.mean = sqlite3_column_double(read.get(), 1);
    difference.max = sqlite3_column_int(read.get(), 2);
    difference.comparedWidth = std::uint32_t(sqlite3_column_int64(read.get(), 3));
    difference.comparedHeight = std::uint32_t(sqlite3_column_int64(read.get(), 4));
    return difference;
}

void SamePhotoCache::storeSignature(
    const FileIdentity& file, const similar::PhotoSignature& signature)
{
    if (m_db)
        m_signatures.emplace_back(fileKey(file), similar::pack(signature));
}

void SamePhotoCache::storeProof(
    const FileIdentity& a, const FileIdentity& b, const similar::PhotoDifference& difference)
{
    if (m_db)
        m_proofs.emplace_back(pairKey(a, b), difference);
}

void SamePhotoCache::flush()
{
    if (!m_db || (m_signatures.empty() && m_proofs.empty() && m_enlargements.empty()))
        return;
    if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        m_signatures.clear();
        m_proofs.clear();
        m_enlargements.clear();
        return;
    }
    {
        Statement write(
            m_db, "INSERT OR REPLACE INTO photo_signatures(key, signature) VALUES(?, ?)");
        for (const auto& [key, bytes] : m_signatures) {
            if (!write.ok())
                break;
            sqlite3_bind_blob(write.get(), 1, key.constData(), int(key.size()), SQLITE_STATIC);
            sqlite3_bind_blob(write.get(), 2, bytes.data(), int(bytes.size()), SQLITE_STATIC);
            sqlite3_step(write.get());
            sqlite3_reset(write.get());
        }
        Statement proof(m_db,
            "INSERT OR REPLACE INTO photo_proofs(key, ssim, mean, max, width, height) "
            "VALUES(?, ?, ?, ?, ?, ?)");
        for (const auto& [key, d] : m_proofs) {
            if (!proof.ok())
                break;
            sqlite3_bind_blob(proof.get(), 1, key.constData(), int(key.size()), SQLITE_STATIC);
            sqlite3_bind_double(proof.get(), 2, d.ssim);
            sqlite3_bind_double(proof.get(), 3, d.mean);
            sqlite3_bind_int(proof.get(), 4, d.max);
            sqlite3_bind_int64(proof.get(), 5, d.comparedWidth);
            sqlite3_bind_int64(proof.get(), 6, d.comparedHeight);
            sqlite3_step(proof.get());
            sqlite3_reset(proof.get());
        }
        Statement enlargement(
            m_db, "INSERT OR REPLACE INTO photo_enlargements(key, enlarged) VALUES(?, ?)");
        for (const auto& [key, enlarged] : m_enlargements) {
            if (!enlargement.ok())
                break;
            sqlite3_bind_blob(
                enlargement.get(), 1, key.constData(), int(key.size()), SQLITE_STATIC);
            sqlite3_bind_int(enlargement.get(), 2, enlarged ? 1 : 0);
            sqlite3_step(enlargement.get());
            sqlite3_reset(enlargement.get());
        }
    }
    if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    m_signatures.clear();
    m_proofs.clear();
    m_enlargements.clear();
}

} // namespace finder
