#pragma once
// What every stage of one whole-folder search shares besides the table of
// files: the options, the worker count, the stop flag, the memory budget,
// the cache, the proof pictures kept for the same-photo search, the
// figures for FinderStats and the progress report.

#include "finder/CacheStore.h"
#include "finder/Finder.h"
#include "finder/FingerprintCache.h"
#include "finder/MemoryBudget.h"
#include "finder/ProofPictures.h"
#include "finder/SamePhotoCache.h"
#include "finder/SearchProgress.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace finder {

// Opens the cache file at the options' path, under the version of this
// build and memory budget: the one connection of a search.
std::unique_ptr<CacheStore> openCacheStore(const FinderOptions& options, std::uint64_t budgetBytes);

class SearchContext {
public:
    SearchContext(const FinderOptions& options, FinderStats& stats, const std::atomic<bool>* stop,
        const Finder::ProgressCallback& progress);

    const FinderOptions& options;
    FinderStats& stats;
    const std::atomic<bool>* const stop;
    const int threads;
    MemoryBudget budget;
    // The same-photo search's proof pictures, kept from the decodes of the
    // identical search within the budget (only when same photos are asked for).
    std::optional<ProofPictures> proofs;
    // Open only when the cache is used: the one store, and the tables over it
    // (the same-photo tables once the same-photo search begins).
    std::unique_ptr<CacheStore> store;
    std::unique_ptr<FingerprintCache> cache;
    std::unique_ptr<SamePhotoCache> photoCache;

    bool stopped() const { return stop && stop->load(); }
    // Whether facts about a file last changed at newestChangeNs may be kept.
    bool settled(std::int64_t newestChangeNs) const;
    // Sends a stage's count on, at most about ten times a second (every
    // stage's first and last report always), never backwards.
    void report(FinderProgress::Stage stage, std::int64_t done, std::int64_t total);
    // Notes why the cache could not be used or written, once.
    void noteCacheProblem(const QString& problem);

private:
    const Finder::ProgressCallback& m_progress;
    ProgressTracker m_tracker;
    std::chrono::steady_clock::time_point m_lastReport;
};

} // namespace finder
