#include "finder/FingerprintCache.h"

#include "finder/RowChecksum.h"

#include <sqlite3.h>

#include <cstring>

namespace finder {

namespace {

// Every field of a files row, in a fixed order (see RowChecksum).
std::int64_t rowChecksum(const std::int64_t (&numbers)[12], const void* digest, int digestBytes,
    const void* reason, int reasonBytes)
{
    RowChecksum sum;
    for (std::int64_t number : numbers)
        sum.number(number);
    return sum.bytes(digest, digestBytes).bytes(reason, reasonBytes).value();
}

bool isKnownType(std::int64_t type)
{
    return type >= std::int64_t(decoding::PictureType::Bmp)
        && type <= std::int64_t(decoding::PictureType::Avif);
}

// Whether a row's checksum still matches its fields. Columns: size,
// modified_ns, changed_ns, version, kind, type, width, height, frames, depth,
// digest, reason, checksum.
bool rowIsWhole(const CacheStore::Statement& s, const FileIdentity& identity)
{
    const std::int64_t numbers[12] = {std::int64_t(identity.device), std::int64_t(identity.inode),
        s.integer(0), s.integer(1), s.integer(2), s.integer(3), s.integer(4), s.integer(5),
        s.integer(6), s.integer(7), s.integer(8), s.integer(9)};
    return s.isInteger(12)
        && s.integer(12) == rowChecksum(numbers, s.blob(10), s.bytes(10), s.blob(11), s.bytes(11));
}

std::optional<CachedFacts> rowFacts(const CacheStore::Statement& s)
{
    // Columns from 4 on: kind, type, width, height, frames, depth, digest, reason.
    CachedFacts facts;
    const std::int64_t kind = s.integer(4);
    const std::int64_t type = s.integer(5);
    const std::int64_t width = s.integer(6);
    const std::int64_t height = s.integer(7);
    const std::int64_t frames = s.integer(8);
    const std::int64_t depth = s.integer(9);
    constexpr std::int64_t kLargest = 0xFFFFFFFF;
    if (width < 0 || width > kLargest || height < 0 || height > kLargest || frames < 0
        || frames > kLargest)
        return std::nullopt;
    facts.width = std::uint32_t(width);
    facts.height = std::uint32_t(height);
    facts.frames = std::uint32_t(frames);
    switch (kind) {
    case std::int64_t(CachedFacts::Kind::Header):
        if (!isKnownType(type) || width == 0 || height == 0)
            return std::nullopt;
        facts.kind = CachedFacts::Kind::Header;
        break;
    case std::int64_t(CachedFacts::Kind::Fingerprint): {
        const void* digest = s.blob(10);
        if (!isKnownType(type) || width == 0 || height == 0 || frames == 0
            || (depth != 1 && depth != 2) || !digest || s.bytes(10) != 32)
            return std::nullopt;
        facts.kind = CachedFacts::Kind::Fingerprint;
        facts.fingerprint.width = facts.width;
        facts.fingerprint.height = facts.height;
        facts.fingerprint.frames = facts.frames;
        facts.fingerprint.bytesPerSample = std::uint8_t(depth);
        std::memcpy(facts.fingerprint.digest.data(), digest, 32);
        break;
    }
    case std::int64_t(CachedFacts::Kind::Unreadable): {
        const char* reason = s.text(11);
        if (!reason || !*reason || type < 0 || type > std::int64_t(decoding::PictureType::Avif))
            return std::nullopt;
        facts.kind = CachedFacts::Kind::Unreadable;
        facts.reason = QString::fromUtf8(reason);
        break;
    }
    default:
        return std::nullopt;
    }
    facts.type = decoding::PictureType(type);
    return facts;
}

} // namespace

FingerprintCache::FingerprintCache(CacheStore& store)
    : m_store(store)
{
}

FingerprintCache::~FingerprintCache()
{
    flush();
}

bool FingerprintCache::lookUpAll(
    const std::vector<FileIdentity>& identities, std::vector<std::optional<CachedFacts>>* found)
{
    found->assign(identities.size(), std::nullopt);
    if (!m_store.readable())
        return true;
    auto broken = [&](int code) {
        found->assign(identities.size(), std::nullopt);
        m_store.readingFailed(code);
        m_pending.clear();
        return false;
    };
    // One read transaction: one snapshot, and no lock taken per file.
    int code = m_store.beginRead();
    if (code != SQLITE_OK)
        return broken(code);
    CacheStore::Statement select(m_store,
        "SELECT size, modified_ns, changed_ns, version, kind, type, width, height, frames, depth, "
        "digest, reason, checksum FROM files WHERE device = ? AND inode = ?");
    if (!select.ok())
        return broken(select.prepareResult());
    const std::int64_t version = m_store.versionOf(CacheScope::Files);
    for (std::size_t i = 0; i < identities.size(); ++i) {
        const FileIdentity& identity = identities[i];
        select.bindInt(1, std::int64_t(identity.device)).bindInt(2, std::int64_t(identity.inode));
        code = select.step();
        if (code == SQLITE_ROW) {
            if (select.integer(0) == identity.size && select.integer(1) == identity.modifiedNs
                && select.integer(2) == identity.changedNs && select.integer(3) == version
                && rowIsWhole(select, identity))
                (*found)[i] = rowFacts(select);
        } else if (code != SQLITE_DONE) {
            return broken(code);
        }
        select.reset();
    }
    m_store.commit();
    return true;
}

void FingerprintCache::store(const FileIdentity& identity, const CachedFacts& facts)
{
    if (m_store.writable())
        m_pending.emplace_back(identity, facts);
}

void FingerprintCache::flush()
{
    if (!m_store.writable() || m_pending.empty()) {
        m_pending.clear();
        return;
    }
    auto broken = [&](int code) {
        m_store.writingFailed(code);
        m_pending.clear();
    };
    int code = m_store.beginWrite();
    if (code != SQLITE_OK)
        return broken(code);
    CacheStore::Statement insert(m_store,
        "INSERT OR REPLACE INTO files(device, inode, size, modified_ns, changed_ns, version, kind, "
        "type, width, height, frames, depth, digest, reason, checksum) "
        "VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    if (!insert.ok())
        return broken(insert.prepareResult());
    const std::int64_t version = m_store.versionOf(CacheScope::Files);
    for (const auto& [identity, facts] : m_pending) {
        const bool fingerprint = facts.kind == CachedFacts::Kind::Fingerprint;
        const bool unreadable = facts.kind == CachedFacts::Kind::Unreadable;
        const std::int64_t depth = fingerprint ? facts.fingerprint.bytesPerSample : 0;
        const QByteArray reason = facts.reason.toUtf8();
        const std::int64_t numbers[12]
            = {std::int64_t(identity.device), std::int64_t(identity.inode), identity.size,
                identity.modifiedNs, identity.changedNs, version, std::int64_t(facts.kind),
                std::int64_t(facts.type), facts.width, facts.height, facts.frames, depth};
        for (int i = 0; i < 12; ++i)
            insert.bindInt(i + 1, numbers[i]);
        if (fingerprint)
            insert.bindBlob(13, facts.fingerprint.digest.data(), 32);
        else
            insert.bindNull(13);
        if (unreadable)
            insert.bindText(14, reason.constData(), int(reason.size()));
        else
            insert.bindNull(14);
        insert.bindInt(15,
            rowChecksum(numbers, fingerprint ? facts.fingerprint.digest.data() : nullptr,
                fingerprint ? 32 : 0, unreadable ? reason.constData() : nullptr,
                unreadable ? int(reason.size()) : 0));
        code = insert.step();
        insert.reset();
        if (code != SQLITE_DONE)
            return broken(code);
    }
    code = m_store.commit();
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
    return m_store.writable() ? carried : 0;
}

} // namespace finder
