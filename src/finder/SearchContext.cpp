#include "finder/SearchContext.h"

#include "finder/FileReading.h"
#include "finder/PictureReader.h"
#include "finder/WorkerPool.h"

namespace finder {

std::unique_ptr<CacheStore> openCacheStore(const FinderOptions& options, std::uint64_t budgetBytes)
{
    return std::make_unique<CacheStore>(
        options.cachePath.isEmpty() ? CacheStore::defaultPath() : options.cachePath,
        CacheVersion::current(budgetBytes), options.cacheBusyTimeoutMs);
}

SearchContext::SearchContext(const FinderOptions& options, FinderStats& stats,
    const std::atomic<bool>* stop, const Finder::ProgressCallback& progress)
    : options(options)
    , stats(stats)
    , stop(stop)
    , threads(options.threads > 0 ? options.threads : coreCount())
    , budget(options.memoryBudget > 0 ? options.memoryBudget : MemoryBudget::defaultSize())
    , m_progress(progress)
    , m_tracker(options.samePhoto)
{
    if (options.samePhoto)
        proofs.emplace(budget);
}

bool SearchContext::settled(std::int64_t newestChangeNs) const
{
    return wallClockNs() - newestChangeNs >= options.cacheSettleNs;
}

void SearchContext::report(FinderProgress::Stage stage, std::int64_t done, std::int64_t total)
{
    if (!m_progress)
        return;
    const auto now = std::chrono::steady_clock::now();
    const bool milestone = done == total || m_tracker.beginsStage(stage);
    const std::optional<FinderProgress> progress = m_tracker.next(stage, done, total);
    if (!progress)
        return;
    if (!milestone && now - m_lastReport < std::chrono::milliseconds(100))
        return;
    m_lastReport = now;
    m_progress(*progress);
}

void SearchContext::noteCacheProblem(const QString& problem)
{
    if (problem.isEmpty() || !stats.cacheProblem.isEmpty())
        return;
    stats.cacheProblem = problem; // said once, as the fingerprint cache's
    stats.cacheUsed = false;
}

} // namespace finder
