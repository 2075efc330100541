#include "finder/CompletedFiles.h"

namespace finder {

namespace {

// Cache entries are written in batches of at most this many (and at least
// every FinderOptions::cacheWriteEveryMs).
constexpr std::size_t kFlushEvery = 4096;

} // namespace

CachedFacts factsOf(const FileRecord& record)
{
    CachedFacts facts;
    facts.type = record.type;
    facts.width = record.width;
    facts.height = record.height;
    facts.frames = record.frames;
    if (record.state == FileState::Fingerprinted) {
        facts.kind = CachedFacts::Kind::Fingerprint;
        facts.fingerprint = record.fingerprint;
    } else if (record.state == FileState::Unreadable) {
        facts.kind = CachedFacts::Kind::Unreadable;
        facts.reason = record.reason;
    } else {
        facts.kind = CachedFacts::Kind::Header;
    }
    return facts;
}

CompletedFiles::CompletedFiles(SearchContext& context, FileTable& files)
    : m_context(context)
    , m_files(files)
{
}

void CompletedFiles::complete(FileId id)
{
    std::lock_guard lock(m_mutex);
    m_completed.push_back(id);
}

void CompletedFiles::take(FinderProgress::Stage stage, std::int64_t total, std::int64_t base)
{
    std::vector<FileId> completed;
    {
        std::lock_guard lock(m_mutex);
        completed.swap(m_completed);
    }
    m_stageDone += std::int64_t(completed.size());
    if (FingerprintCache* cache = m_context.cache.get()) {
        for (FileId id : completed) {
            const FileRecord& record = m_files[id];
            // A header alone is kept only for pictures that are not decoded
            // (see the decode stage), so that no file is written twice.
            if (record.cacheable
                && (record.state == FileState::Fingerprinted
                    || record.state == FileState::Unreadable))
                cache->store(record.identity, factsOf(record));
        }
        m_pendingWrites += completed.size();
        const auto now = std::chrono::steady_clock::now();
        if (m_pendingWrites >= kFlushEvery || m_stageDone == total
            || (m_pendingWrites > 0
                && now - m_lastWrite
                    >= std::chrono::milliseconds(m_context.options.cacheWriteEveryMs))) {
            cache->flush();
            m_pendingWrites = 0;
            m_lastWrite = now;
        }
    }
    m_context.report(stage, base + m_stageDone, base + total);
}

} // namespace finder
