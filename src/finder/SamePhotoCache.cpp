#include "finder/SamePhotoCache.h"

#include "finder/RowChecksum.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

namespace finder {

namespace {

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

// The file part of a key: device, inode, size, modification and change
// time; after the version number's 8 bytes.
constexpr int kVersionBytes = 8;
constexpr int kFileKeyBytes = 40;
constexpr int kPairKeyBytes = kVersionBytes + 2 * kFileKeyBytes;

void append(QByteArray& key, std::uint64_t value)
{
    key.append(reinterpret_cast<const char*>(&value), sizeof value);
}

QByteArray filePart(const FileIdentity& file)
{
    QByteArray part;
    append(part, file.device);
    append(part, file.inode);
    append(part, std::uint64_t(file.size));
    append(part, std::uint64_t(file.modifiedNs));
    append(part, std::uint64_t(file.changedNs));
    return part;
}

QByteArray versionPart(std::int64_t version)
{
    QByteArray part;
    append(part, std::uint64_t(version));
    return part;
}

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

CacheScope scopeOf(SamePhotoCache::Question question)
{
    using Question = SamePhotoCache::Question;
    return question == Question::Enlargement ? CacheScope::Enlargements
        : question == Question::MadeFrom     ? CacheScope::MadeFrom
                                             : CacheScope::Lossless;
}

} // namespace

SamePhotoCache::SamePhotoCache(CacheStore& store)
    : m_store(store)
{
}

SamePhotoCache::~SamePhotoCache()
{
    flush();
}

QByteArray SamePhotoCache::fileKey(const FileIdentity& file) const
{
    return versionPart(m_store.versionOf(CacheScope::Signatures)) + filePart(file);
}

// A pair of a proof is kept one way round (see storedReversed).
QByteArray SamePhotoCache::pairKey(const FileIdentity& a, const FileIdentity& b) const
{
    const bool reversed = storedReversed(a, b);
    return versionPart(m_store.versionOf(CacheScope::Proofs)) + filePart(reversed ? b : a)
        + filePart(reversed ? a : b);
}

QByteArray SamePhotoCache::orderedPairKey(
    const FileIdentity& a, const FileIdentity& b, Question question) const
{
    return versionPart(m_store.versionOf(scopeOf(question))) + filePart(a) + filePart(b);
}

std::optional<similar::Enlargement> SamePhotoCache::enlargement(
    const FileIdentity& a, const FileIdentity& b, Question question)
{
    if (!m_store.readable())
        return std::nullopt;
    CacheStore::Statement read(
        m_store, "SELECT enlarged, checksum FROM photo_enlargements WHERE key = ?");
    const QByteArray key = orderedPairKey(a, b, question);
    if (read.bindBlob(1, key).step() != SQLITE_ROW || !read.isInteger(0))
        return std::nullopt;
    const std::int64_t enlarged = read.integer(0);
    if (enlarged < 0 || enlarged > 2)
        return std::nullopt;
    const auto verdict = similar::Enlargement(enlarged);
    if (!read.isInteger(1) || read.integer(1) != enlargementChecksum(key, verdict))
        return std::nullopt;
    return verdict;
}

void SamePhotoCache::storeEnlargement(
    const FileIdentity& a, const FileIdentity& b, similar::Enlargement verdict, Question question)
{
    if (m_store.writable())
        m_enlargements.emplace_back(orderedPairKey(a, b, question), verdict);
}

std::optional<similar::PhotoSignature> SamePhotoCache::signature(const FileIdentity& file)
{
    if (!m_store.readable())
        return std::nullopt;
    CacheStore::Statement read(
        m_store, "SELECT signature, checksum FROM photo_signatures WHERE key = ?");
    const QByteArray key = fileKey(file);
    if (read.bindBlob(1, key).step() != SQLITE_ROW || !read.isBlob(0))
        return std::nullopt;
    const void* bytes = read.blob(0);
    const int length = read.bytes(0);
    if (!read.isInteger(1) || read.integer(1) != signatureChecksum(key, bytes, length))
        return std::nullopt;
    return similar::unpackSignature(static_cast<const std::uint8_t*>(bytes), std::size_t(length));
}

std::optional<similar::PhotoDifference> SamePhotoCache::proof(
    const FileIdentity& a, const FileIdentity& b)
{
    if (!m_store.readable())
        return std::nullopt;
    CacheStore::Statement read(m_store,
        "SELECT ssim, mean, max, width, height, checksum, figures FROM photo_proofs WHERE key = ?");
    const QByteArray key = pairKey(a, b);
    if (read.bindBlob(1, key).step() != SQLITE_ROW)
        return std::nullopt;
    for (int column = 2; column < 6; ++column) {
        if (!read.isInteger(column))
            return std::nullopt;
    }
    const std::int64_t max = read.integer(2);
    const std::int64_t width = read.integer(3);
    const std::int64_t height = read.integer(4);
    if (max < 0 || max > 255 || width < 0 || width > 0xFFFFFFFF || height < 0
        || height > 0xFFFFFFFF)
        return std::nullopt;
    similar::PhotoDifference difference;
    difference.ssim = read.real(0);
    difference.mean = read.real(1);
    difference.max = int(max);
    difference.comparedWidth = std::uint32_t(width);
    difference.comparedHeight = std::uint32_t(height);
    if (!read.isBlob(6) || !unpackFigures(read.blob(6), read.bytes(6), difference))
        return std::nullopt;
    if (read.integer(5) != proofChecksum(key, difference))
        return std::nullopt;
    return storedReversed(a, b) ? reversed(difference) : difference;
}

void SamePhotoCache::storeSignature(
    const FileIdentity& file, const similar::PhotoSignature& signature)
{
    if (m_store.writable())
        m_signatures.emplace_back(fileKey(file), similar::pack(signature));
}

void SamePhotoCache::storeProof(
    const FileIdentity& a, const FileIdentity& b, const similar::PhotoDifference& difference)
{
    if (m_store.writable())
        m_proofs.emplace_back(
            pairKey(a, b), storedReversed(a, b) ? reversed(difference) : difference);
}

void SamePhotoCache::flush()
{
    const bool pending = !m_signatures.empty() || !m_proofs.empty() || !m_enlargements.empty();
    if (m_store.writable() && pending) {
        const int code = write();
        if (code != SQLITE_OK)
            m_store.writingFailed(code);
    }
    m_signatures.clear();
    m_proofs.clear();
    m_enlargements.clear();
}

// Every buffered row in one transaction; the first step that fails ends it.
int SamePhotoCache::write()
{
    int code = m_store.beginWrite();
    if (code != SQLITE_OK)
        return code;
    // Steps a bound row; SQLITE_OK when it was written.
    auto step = [](CacheStore::Statement& statement) {
        const int result = statement.step();
        statement.reset();
        return result == SQLITE_DONE ? SQLITE_OK : result;
    };
    {
        CacheStore::Statement write(m_store,
            "INSERT OR REPLACE INTO photo_signatures(key, signature, checksum) VALUES(?, ?, ?)");
        for (const auto& [key, bytes] : m_signatures) {
            write.bindBlob(1, key)
                .bindBlob(2, bytes.data(), int(bytes.size()))
                .bindInt(3, signatureChecksum(key, bytes.data(), int(bytes.size())));
            if ((code = step(write)) != SQLITE_OK)
                return code;
        }
    }
    {
        CacheStore::Statement write(m_store,
            "INSERT OR REPLACE INTO photo_proofs(key, ssim, mean, max, width, height, checksum, "
            "figures) VALUES(?, ?, ?, ?, ?, ?, ?, ?)");
        for (const auto& [key, d] : m_proofs) {
            write.bindBlob(1, key)
                .bindReal(2, d.ssim)
                .bindReal(3, d.mean)
                .bindInt(4, d.max)
                .bindInt(5, d.comparedWidth)
                .bindInt(6, d.comparedHeight)
                .bindInt(7, proofChecksum(key, d))
                .bindBlob(8, packFigures(d));
            if ((code = step(write)) != SQLITE_OK)
                return code;
        }
    }
    {
        CacheStore::Statement write(m_store,
            "INSERT OR REPLACE INTO photo_enlargements(key, enlarged, checksum) VALUES(?, ?, ?)");
        for (const auto& [key, enlarged] : m_enlargements) {
            write.bindBlob(1, key)
                .bindInt(2, int(enlarged))
                .bindInt(3, enlargementChecksum(key, enlarged));
            if ((code = step(write)) != SQLITE_OK)
                return code;
        }
    }
    return m_store.commit();
}

int SamePhotoCache::carryOverRenamed(
    const std::vector<std::pair<FileIdentity, FileIdentity>>& renamed)
{
    if (!m_store.readable() || !m_store.writable())
        return 0;
    // The file part of each old key, and who the file is now.
    std::map<QByteArray, FileIdentity> now;
    for (const auto& [was, is] : renamed) {
        if (was.device != is.device || was.inode != is.inode || was.size != is.size
            || was.modifiedNs != is.modifiedNs)
            continue;
        now.emplace(filePart(was), is);
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
    // Pairs: this version's rows that name either file.
    const std::int64_t proofs = m_store.versionOf(CacheScope::Proofs);
    const std::pair<std::int64_t, Question> verdicts[] = {
        {m_store.versionOf(CacheScope::Enlargements), Question::Enlargement},
        {m_store.versionOf(CacheScope::MadeFrom), Question::MadeFrom},
        {m_store.versionOf(CacheScope::Lossless), Question::Lossless},
    };
    const char* const pairTables[] = {"photo_proofs", "photo_enlargements"};
    for (const char* table : pairTables) {
        const std::string sql = std::string("SELECT key FROM ") + table
            + " WHERE length(key) = " + std::to_string(kPairKeyBytes) + " AND (substr(key, "
            + std::to_string(kVersionBytes + 1) + ", 40) = ?1 OR substr(key, "
            + std::to_string(kVersionBytes + kFileKeyBytes + 1) + ", 40) = ?1)";
        CacheStore::Statement find(m_store, sql.c_str());
        std::vector<QByteArray> keys;
        for (const auto& entry : now) {
            find.bindBlob(1, entry.first);
            while (find.step() == SQLITE_ROW)
                keys.push_back(find.blobBytes(0));
            find.reset();
        }
        // A pair of two renamed files is found through both.
        std::sort(keys.begin(), keys.end());
        keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
        for (const QByteArray& key : keys) {
            if (key.size() != kPairKeyBytes)
                continue;
            std::uint64_t version = 0;
            std::memcpy(&version, key.constData(), sizeof version);
            const QByteArray partA = key.mid(kVersionBytes, kFileKeyBytes);
            const QByteArray partB = key.mid(kVersionBytes + kFileKeyBytes, kFileKeyBytes);
            const FileIdentity a = identityFromKey(partA.constData());
            const FileIdentity b = identityFromKey(partB.constData());
            if (table == pairTables[0]) {
                if (std::int64_t(version) != proofs)
                    continue;
                if (const std::optional<similar::PhotoDifference> d = proof(a, b)) {
                    storeProof(current(a, partA), current(b, partB), *d);
                    ++carried;
                }
                continue;
            }
            for (const auto& [number, question] : verdicts) {
                if (std::int64_t(version) != number)
                    continue;
                if (const std::optional<similar::Enlargement> verdict
                    = enlargement(a, b, question)) {
                    storeEnlargement(current(a, partA), current(b, partB), *verdict, question);
                    ++carried;
                }
                break;
            }
        }
    }
    flush();
    return m_store.writable() ? carried : 0;
}

} // namespace finder
