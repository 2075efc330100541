#pragma once
// The whole-folder search: every group of pixel-identical pictures among the
// files of the chosen folders, whatever their sizes, types and names.
//
//   scan (FolderScan) -> cached facts (FingerprintCache) -> headers of the
//   rest, on all cores -> decode only pictures whose dimensions another
//   picture shares, each once (files with equal bytes share one decode) ->
//   fingerprint (PixelFingerprint: SHA-256 of the pixels) -> group.
//
// A group is only ever made of files whose pixel digests are equal, computed
// in this search or read from the cache under the same decoder version. The
// search knows nothing of windows: it runs on the calling thread (decoding on
// worker threads), polls a stop flag and reports progress through a callback.

#include "finder/FinderResult.h"

#include <QString>

#include <atomic>
#include <functional>
#include <utility>
#include <vector>

struct FinderOptions {
    QList<QByteArray>
        folders; // file-system paths (any bytes); relative ones from the working folder
    bool recursive = false; // also every subfolder (never through a link, never hidden ones)
    // Examine every regular file by its content, not only names with a
    // picture suffix (PictureTypes.h).
    bool anyName = false;
    bool useCache = true;
    QString cachePath; // "" for CacheStore::defaultPath()
    int threads = 0; // decode threads; 0 for one per core
    // Facts about a file changed less than this long ago are not cached: a
    // second write within the file system's time granularity could leave
    // the same size and times on other content.
    std::int64_t cacheSettleNs = 3'000'000'000;
    int cacheBusyTimeoutMs = 5000; // how long to wait for another process's write
    // Bytes that the decodes in flight may hold together; 0 for a quarter of
    // the physical memory (MemoryBudget::defaultSize()).
    std::uint64_t memoryBudget = 0;
    // What has been learned goes into the cache at least this often, so that
    // a search that is killed keeps most of its work.
    int cacheWriteEveryMs = 2000;
    // Also find the same photo saved differently (FinderResult::samePhotoGroups):
    // every picture gets a signature, reduced-scale where nothing else decodes it.
    bool samePhoto = false;
    // Left out of the scan: patterns matched below each searched folder
    // (SearchFilters.h), and files smaller than minimumSize bytes (counted as
    // not examined).
    QList<QByteArray> excludes;
    std::int64_t minimumSize = 0;
    // Files under these folders, by any of their names, are marked
    // FoundFile::isProtected; they are still grouped.
    QList<QByteArray> protectedFolders;
    // Groups the user judged not to be duplicates (IgnoreList.h) are left out
    // of the result, or with showIgnored kept and their judged files flagged.
    bool useIgnoreList = false;
    QString ignoreListPath; // "" for IgnoreList::defaultPath()
    bool showIgnored = false;
};

struct FinderProgress {
    // In the order a search runs them; the last four only when same photos are asked for.
    enum class Stage {
        Scanning, // done = files found so far; total = 0
        // done of total files whose size is known: headers read, then the
        // few pictures decoded because their headers did not say (total grows by those)
        ReadingHeaders,
        Decoding, // done of total pictures that another picture's size makes worth decoding
        Signing, // done of total pictures given a same-photo signature in this search
        FindingCandidates, // done of total pictures whose near signatures were looked up
        // done of total pairs proven: the candidates, then each pair the
        // grouping asks for beyond them (total grows by those)
        Proving,
        Grouping, // done of total steps of making the groups out of the proven pairs
        Finished,
    };
    Stage stage = Stage::Scanning;
    std::int64_t done = 0; // never falls within a stage
    std::int64_t total = 0; // may grow within a stage, never falls; 0 while unknown
    int step = 1; // this stage is step `step` of `steps` that this search runs
    int steps = 3;
    // Of the whole search, from 0 to 1: never falls from one report to the next.
    double fraction = 0;
};

// How one stage's tasks spread over the worker threads: from the first
// task's start to the last one's end, the time during which exactly k tasks
// ran at once (k = 0 .. threads). A stage that keeps every core busy spends
// nearly all of it at k = threads.
struct WorkSpread {
    QString stage; // "headers", "sizes" (decodes for unknown sizes), "decoding"
    int threads = 0;
    std::int64_t tasks = 0;
    double seconds = 0;
    std::vector<double> secondsRunning; // index k
};

// What one search did, for tests, benchmarks and the command line's notes.
struct FinderStats {
    std::int64_t filesListed = 0;
    std::int64_t cacheHits = 0; // files whose facts came from the cache
    std::int64_t headersRead = 0;
    std::int64_t decoded = 0; // decodes actually run
    std::int64_t sharedDecodes = 0; // files that took the result of an equal file's decode
    std::int64_t skippedUniqueSize = 0; // never decoded: no other picture has their dimensions
    std::int64_t signaturesMade = 0; // same-photo signatures computed in this search
    std::int64_t photoCandidates = 0; // pairs of pictures whose signatures are near
    std::int64_t photoProofsMeasured = 0; // pairs decoded and measured (the rest from the cache)
    std::int64_t photoProofDecodes = 0; // decoded again for proof pictures (the rest kept)
    bool cacheUsed = false;
    std::uint64_t memoryBudget = 0; // bytes the decodes in flight could share
    std::uint64_t memoryPeak = 0; // the most they held at once
    QString cacheProblem; // why the cache was bypassed or rebuilt; "" when it worked
    std::vector<WorkSpread> spread; // one per stage run on the workers
};

class Finder {
public:
    using ProgressCallback = std::function<void(const FinderProgress&)>;

    explicit Finder(FinderOptions options);

    // Runs the search to its end or until *stop is true; progress is called on
    // the calling thread, about ten times a second at most. A stopped search
    // returns cancelled = true and no groups or unreadable files.
    FinderResult run(
        const std::atomic<bool>* stop = nullptr, const ProgressCallback& progress = {});

    const FinderStats& stats() const { return m_stats; }

private:
    FinderOptions m_options;
    FinderStats m_stats;
};

// After Corvane renamed files back to their places (Put back), lets the cache
// of the searches made with these options keep what it learned about them:
// each pair is (the file as the search saw it, the file right after the
// rename). See FingerprintCache::carryOverRenamed; returns the rows carried.
int carryOverRenamedFiles(const FinderOptions& options,
    const std::vector<std::pair<FileIdentity, FileIdentity>>& renamed);
