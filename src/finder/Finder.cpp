#include "finder/Finder.h"

#include "finder/FileReading.h"
#include "finder/FingerprintCache.h"
#include "finder/FolderScan.h"
#include "finder/IgnoreList.h"
#include "finder/MemoryBudget.h"
#include "finder/PictureReader.h"
#include "finder/PictureTypes.h"
#include "finder/PixelFingerprint.h"
#include "finder/ProofPictures.h"
#include "finder/SamePhotoCache.h"
#include "finder/SamePhotoSearch.h"
#include "finder/SearchFilters.h"
#include "finder/SearchProgress.h"
#include "finder/WorkerPool.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <unordered_map>

namespace {

// The cache's version of the decoders: a picture over the memory budget is
// remembered as too large, which holds only under the same budget.
std::string cacheVersion(std::uint64_t budgetBytes)
{
    return finder::decoderVersion() + "; memory budget " + std::to_string(budgetBytes >> 20)
        + " MB";
}

QString cachePathOf(const FinderOptions& options)
{
    return options.cachePath.isEmpty() ? finder::FingerprintCache::defaultPath()
                                       : options.cachePath;
}

using decoding::PictureType;
using finder::PixelFingerprint;

// Enough for the header of a BMP, GIF, PNG, TIFF (mostly) and JPEG 2000 file.
constexpr qint64 kHeaderBytes = 64 * 1024;
// A JPEG's size follows its metadata, which a camera can make long.
constexpr qint64 kLongHeaderBytes = 2 * 1024 * 1024;
// The reason of a file whose content is no picture type Corvane reads.
const QString kNotAPicture = QStringLiteral("not a picture of a type Corvane reads");
// Cache entries are written in batches of at most this many (and at least
// every FinderOptions::cacheWriteEveryMs).
constexpr std::size_t kFlushEvery = 4096;

enum class Stage : std::uint8_t {
    Listed, // nothing known yet
    HeaderKnown, // type and dimensions from the header (or the cache)
    HeaderUnknown, // a header that does not say: decode to find out
    Fingerprinted,
    Unreadable,
};

struct FileRecord {
    QByteArray path;
    FileIdentity identity;
    PictureType type = PictureType::Unknown;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t frames = 0; // 0: not known
    Stage stage = Stage::Listed;
    bool pictureName = true; // the name ends in a picture suffix
    bool fromCache = false;
    bool cacheable = false; // what this search learned may be kept
    bool shareBytes = false; // another file to decode has the same size
    PixelFingerprint fingerprint;
    QString reason;
    std::optional<similar::PhotoSignature> signature; // made in the same decode, when asked for
};

using Digest = std::array<std::uint8_t, 32>;

// What the decode of one file's bytes gave, handed to every file with the same bytes.
struct DecodeResult {
    bool ok = false;
    PictureType type = PictureType::Unknown;
    PixelFingerprint fingerprint;
    QString reason;
    // A failure of the moment (memory, a stop): nothing of it is kept.
    bool passing = false;
    std::optional<similar::PhotoSignature> signature;
};

// Files with equal bytes need only one decode: the first file to claim a
// byte digest decodes it, the others take its result when it is published.
class SharedDecodes {
public:
    enum class Claim { Decode, Wait, Taken };

    Claim claim(const Digest& bytes, std::size_t index, DecodeResult* result)
    {
        std::lock_guard lock(m_mutex);
        auto [entry, added] = m_entries.try_emplace(bytes);
        if (added)
            return Claim::Decode;
        if (!entry->second.pending) {
            *result = entry->second.result;
            return Claim::Taken;
        }
        entry->second.waiters.push_back(index);
        return Claim::Wait;
    }

    // The files that waited for this result.
    std::vector<std::size_t> publish(const Digest& bytes, const DecodeResult& result)
    {
        std::lock_guard lock(m_mutex);
        Entry& entry = m_entries[bytes];
        entry.pending = false;
        entry.result = result;
        return std::move(entry.waiters);
    }

private:
    struct Entry {
        bool pending = true;
        DecodeResult result;
        std::vector<std::size_t> waiters;
    };
    std::mutex m_mutex;
    std::map<Digest, Entry> m_entries;
};

// A picture whose decode needs more than the whole memory budget.
struct PictureTooLarge {
    std::uint64_t needs;
    std::uint64_t budget;
};
// The search was stopped while a decode waited for memory.
struct SearchStopped { };

void apply(FileRecord& record, const DecodeResult& result)
{
    if (result.ok) {
        record.stage = Stage::Fingerprinted;
        record.type = result.type;
        record.fingerprint = result.fingerprint;
        record.width = result.fingerprint.width;
        record.height = result.fingerprint.height;
        record.frames = result.fingerprint.frames;
        record.signature = result.signature;
    } else {
        record.stage = Stage::Unreadable;
        if (result.type != PictureType::Unknown)
            record.type = result.type;
        record.reason = result.reason;
    }
}

decoding::Bytes bytesOf(const QByteArray& data)
{
    return {reinterpret_cast<const std::uint8_t*>(data.constData()), std::size_t(data.size())};
}

finder::CachedFacts factsOf(const FileRecord& record)
{
    finder::CachedFacts facts;
    facts.type = record.type;
    facts.width = record.width;
    facts.height = record.height;
    facts.frames = record.frames;
    if (record.stage == Stage::Fingerprinted) {
        facts.kind = finder::CachedFacts::Kind::Fingerprint;
        facts.fingerprint = record.fingerprint;
    } else if (record.stage == Stage::Unreadable) {
        facts.kind = finder::CachedFacts::Kind::Unreadable;
        facts.reason = record.reason;
    } else {
        facts.kind = finder::CachedFacts::Kind::Header;
    }
    return facts;
}

// When each task of a stage started and ended, kept so that the stage's
// spread over the workers can be told afterwards. Each task writes only its
// own slot: no lock.
class TaskTimeline {
public:
    explicit TaskTimeline(std::size_t tasks)
        : m_spans(tasks)
    {
    }
    template <typename Task> void run(std::size_t n, Task&& task)
    {
        m_spans[n].first = now();
        task();
        m_spans[n].second = now();
    }
    WorkSpread spread(const QString& stage, int threads) const
    {
        WorkSpread spread;
        spread.stage = stage;
        spread.threads = threads;
        spread.secondsRunning.assign(std::size_t(threads) + 1, 0.0);
        // Sweep over starts (+1) and ends (-1) in time order.
        std::vector<std::pair<std::int64_t, int>> events;
        events.reserve(2 * m_spans.size());
        for (const auto& [start, end] : m_spans) {
            if (start == 0) // not run (a stopped search)
                continue;
            events.emplace_back(start, 1);
            events.emplace_back(end, -1);
        }
        std::sort(events.begin(), events.end());
        spread.tasks = std::int64_t(events.size() / 2);
        if (events.empty())
            return spread;
        int running = 0;
        for (std::size_t i = 0; i + 1 < events.size(); ++i) {
            running += events[i].second;
            const double span = double(events[i + 1].first - events[i].first) * 1e-9;
            spread.secondsRunning[std::size_t(std::clamp(running, 0, threads))] += span;
        }
        spread.seconds = double(events.back().first - events.front().first) * 1e-9;
        return spread;
    }

private:
    static std::int64_t now()
    {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    std::vector<std::pair<std::int64_t, std::int64_t>> m_spans;
};

// One search's state; Finder::run makes one and walks it through the stages.
class Search {
public:
    Search(const FinderOptions& options, FinderStats& stats, const std::atomic<bool>* stop,
        const Finder::ProgressCallback& progress)
        : m_options(options)
        , m_stats(stats)
        , m_stop(stop)
        , m_progress(progress)
        , m_threads(options.threads > 0 ? options.threads : finder::coreCount())
        , m_budget(
              options.memoryBudget > 0 ? options.memoryBudget : finder::MemoryBudget::defaultSize())
        , m_tracker(options.samePhoto)
    {
        if (options.samePhoto)
            m_proofs.emplace(m_budget);
    }

    FinderResult run();

private:
    bool stopped() const { return m_stop && m_stop->load(); }
    void report(FinderProgress::Stage stage, std::int64_t done, std::int64_t total);
    bool settled(std::int64_t newestChangeNs) const
    {
        return finder::wallClockNs() - newestChangeNs >= m_options.cacheSettleNs;
    }

    void listFiles(FinderResult& result);
    void useCache();
    void readHeaders();
    // Progress goes out as stage, counting from base (see run()).
    void decodeAll(
        std::vector<std::size_t> indices, FinderProgress::Stage stage, std::int64_t base);
    std::vector<std::size_t> picturesThatCanMatch();
    // The memory a decode of this file's picture holds while it runs.
    std::uint64_t pictureBytes(const FileRecord& record) const;
    void group(FinderResult& result);
    void findSamePhotos(FinderResult& result);

    void readHeader(FileRecord& record);
    void decode(std::size_t index);
    void complete(std::size_t index);
    // On the calling thread: progress, and what was learned into the cache.
    void takeCompleted(FinderProgress::Stage stage, std::int64_t total, std::int64_t base = 0);

    const FinderOptions& m_options;
    FinderStats& m_stats;
    const std::atomic<bool>* m_stop;
    const Finder::ProgressCallback& m_progress;
    int m_threads;

    std::vector<FileRecord> m_records;
    std::unique_ptr<finder::FingerprintCache> m_cache;
    SharedDecodes m_shared;
    finder::MemoryBudget m_budget;
    // The same-photo search's proof pictures, kept from the decodes of the
    // identical search within the budget (only when same photos are asked for).
    std::optional<finder::ProofPictures> m_proofs;
    std::chrono::steady_clock::time_point m_lastWrite = std::chrono::steady_clock::now();

    std::mutex m_completedMutex;
    std::vector<std::size_t> m_completed;
    std::int64_t m_stageDone = 0;
    std::size_t m_pendingWrites = 0;
    std::atomic<std::int64_t> m_decodes{0};
    std::atomic<std::int64_t> m_sharedDecodes{0};
    std::chrono::steady_clock::time_point m_lastReport;
    finder::ProgressTracker m_tracker;
};

void Search::report(FinderProgress::Stage stage, std::int64_t done, std::int64_t total)
{
    if (!m_progress)
        return;
    const auto now = std::chrono::steady_clock::now();
    // Every stage's first and last report always goes out.
    const bool milestone = done == total || m_tracker.beginsStage(stage);
    const std::optional<FinderProgress> progress = m_tracker.next(stage, done, total);
    if (!progress)
        return;
    if (!milestone && now - m_lastReport < std::chrono::milliseconds(100))
        return;
    m_lastReport = now;
    m_progress(*progress);
}

FinderResult Search::run()
{
    FinderResult result;
    finder::preparePictureReading();
    listFiles(result);
    if (!stopped() && m_options.useCache && !m_records.empty())
        useCache();
    if (!stopped())
        readHeaders();
    // Pictures whose headers did not say their size are decoded first: their
    // dimensions decide which of the others can have a twin.
    if (!stopped()) {
        std::vector<std::size_t> unknown;
        for (std::size_t i = 0; i < m_records.size(); ++i) {
            if (m_records[i].stage == Stage::HeaderUnknown)
                unknown.push_back(i);
        }
        // For the progress line this is still finding out sizes.
        decodeAll(unknown, FinderProgress::Stage::ReadingHeaders,
            m_stats.headersRead - std::int64_t(unknown.size()));
    }
    if (!stopped())
        decodeAll(picturesThatCanMatch(), FinderProgress::Stage::Decoding, 0);
    if (m_cache) {
        m_cache->flush();
        m_stats.cacheUsed = m_cache->state() != finder::FingerprintCache::State::Bypassed;
        m_stats.cacheProblem = m_cache->problem();
    }
    m_stats.memoryBudget = m_budget.total();
    m_stats.memoryPeak = m_budget.peak();
    m_stats.decoded = m_decodes.load();
    m_stats.sharedDecodes = m_sharedDecodes.load();
    if (stopped()) {
        result.cancelled = true;
        result.unreadable.clear();
        return result;
    }
    group(result);
    if (m_options.samePhoto)
        findSamePhotos(result);
    if (stopped()) {
        result = FinderResult();
        result.cancelled = true;
        return result;
    }
    report(FinderProgress::Stage::Finished, std::int64_t(m_records.size()),
        std::int64_t(m_records.size()));
    return result;
}

void Search::listFiles(FinderResult& result)
{
    for (const QByteArray& folder : m_options.folders)
        result.folders.append(finder::absoluteFolder(folder));
    report(FinderProgress::Stage::Scanning, 0, 0);
    finder::ScanLimits limits;
    limits.excludes = finder::ExcludePatterns(m_options.excludes);
    limits.minimumSize = m_options.minimumSize;
    finder::ScanOutcome scan = finder::scanFolders(
        m_options.folders, m_options.recursive, m_stop,
        [this](std::int64_t found) { report(FinderProgress::Stage::Scanning, found, 0); },
        m_options.anyName, limits);
    result.unreadable = std::move(scan.unreadableFolders);
    result.filesNotExamined = scan.otherNames + scan.smallFiles;
    result.filesTooSmall = scan.smallFiles;
    m_records.reserve(scan.files.size());
    for (finder::ScannedFile& file : scan.files) {
        FileRecord record;
        record.path = std::move(file.path);
        record.identity = file.identity;
        record.pictureName = file.pictureName;
        m_records.push_back(std::move(record));
    }
    scan.files.clear();
    scan.files.shrink_to_fit();
    m_stats.filesListed = std::int64_t(m_records.size());
}

void Search::useCache()
{
    const QString path = cachePathOf(m_options);
    m_cache = std::make_unique<finder::FingerprintCache>(
        path, cacheVersion(m_budget.total()), m_options.cacheBusyTimeoutMs);
    std::vector<FileIdentity> identities;
    identities.reserve(m_records.size());
    for (const FileRecord& record : m_records)
        identities.push_back(record.identity);
    std::vector<std::optional<finder::CachedFacts>> found;
    // A read that fails part-way leaves nothing found: no entry of a cache in
    // doubt is used.
    m_cache->lookUpAll(identities, &found);
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        if (!found[i])
            continue;
        FileRecord& record = m_records[i];
        const finder::CachedFacts& facts = *found[i];
        record.fromCache = true;
        record.type = facts.type;
        record.width = facts.width;
        record.height = facts.height;
        record.frames = facts.frames;
        switch (facts.kind) {
        case finder::CachedFacts::Kind::Header:
            record.stage = Stage::HeaderKnown;
            break;
        case finder::CachedFacts::Kind::Fingerprint:
            record.stage = Stage::Fingerprinted;
            record.fingerprint = facts.fingerprint;
            break;
        case finder::CachedFacts::Kind::Unreadable:
            record.stage = Stage::Unreadable;
            record.reason = facts.reason;
            break;
        }
        ++m_stats.cacheHits;
    }
}

void Search::readHeader(FileRecord& record)
{
    finder::FileBytes head = finder::readFileStart(record.path, record.identity, kHeaderBytes);
    if (!head.ok) {
        record.stage = Stage::Unreadable;
        record.reason = head.reason;
        return;
    }
    decoding::PictureHeader header = finder::readHeader(bytesOf(head.bytes));
    if (!header.ok && header.type == PictureType::Jpeg && record.identity.size > kHeaderBytes) {
        head = finder::readFileStart(record.path, record.identity, kLongHeaderBytes);
        if (head.ok)
            header = finder::readHeader(bytesOf(head.bytes));
    }
    record.cacheable = head.ok && settled(head.newestChangeNs);
    record.type = header.type;
    if (header.type == PictureType::Unknown) {
        record.stage = Stage::Unreadable;
        record.reason = kNotAPicture;
    } else if (!finder::hasDecoder(header.type)) {
        record.stage = Stage::Unreadable;
        record.reason = QStringLiteral("no decoder for %1").arg(finder::typeName(header.type));
    } else if (header.ok && std::uint64_t(header.width) * header.height > decoding::kPixelBudget) {
        record.stage = Stage::Unreadable;
        record.reason = QStringLiteral("%1 x %2 is over the pixel budget")
                            .arg(header.width)
                            .arg(header.height);
    } else if (header.ok) {
        record.stage = Stage::HeaderKnown;
        record.width = header.width;
        record.height = header.height;
        record.frames = header.frames;
    } else {
        record.stage = Stage::HeaderUnknown;
    }
}

void Search::readHeaders()
{
    std::vector<std::size_t> listed;
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        if (m_records[i].stage == Stage::Listed)
            listed.push_back(i);
    }
    m_stageDone = 0;
    const auto total = std::int64_t(listed.size());
    report(FinderProgress::Stage::ReadingHeaders, 0, total);
    TaskTimeline timeline(listed.size());
    finder::runOnWorkers(
        listed.size(), m_threads, m_stop,
        [&](std::size_t n) {
            timeline.run(n, [&] { readHeader(m_records[listed[n]]); });
            // A picture whose header did not say its size is done with
            // this stage only once it has been decoded (see run()).
            if (m_records[listed[n]].stage != Stage::HeaderUnknown)
                complete(listed[n]);
        },
        [&] { takeCompleted(FinderProgress::Stage::ReadingHeaders, total); });
    m_stats.headersRead = std::int64_t(listed.size());
    if (!listed.empty())
        m_stats.spread.push_back(timeline.spread(QStringLiteral("headers"), m_threads));
}

void Search::decode(std::size_t index)
{
    FileRecord& record = m_records[index];
    DecodeResult result;
    std::optional<Digest> bytesDigest;
    try {
        finder::FileBytes file = finder::readWholeFile(record.path, record.identity);
        if (!file.ok) {
            record.cacheable = false;
            result.reason = file.reason;
            apply(record, result);
            complete(index);
            return;
        }
        record.cacheable = settled(file.newestChangeNs);
        const decoding::Bytes bytes = bytesOf(file.bytes);
        result.type = finder::detectType(bytes);
        if (record.shareBytes) {
            bytesDigest = finder::sha256(bytes);
            switch (m_shared.claim(*bytesDigest, index, &result)) {
            case SharedDecodes::Claim::Decode:
                break;
            case SharedDecodes::Claim::Taken:
                ++m_sharedDecodes;
                if (!result.ok && result.passing)
                    record.cacheable = false;
                apply(record, result);
                complete(index);
                return;
            case SharedDecodes::Claim::Wait:
                return; // completed by the file that decodes these bytes
            }
        }
        const std::uint64_t needs = pictureBytes(record);
        // Two copies' worth: what decoders hold beside the picture (a
        // canvas, a converted copy, the library's own planes) is rarely more.
        const std::uint64_t share = std::min(m_budget.total(), 2 * needs + bytes.size());
        switch (m_budget.take(needs > m_budget.total() ? needs : share, m_stop)) {
        case finder::MemoryBudget::Take::Taken:
            break;
        case finder::MemoryBudget::Take::TooLarge:
            throw PictureTooLarge(needs, m_budget.total());
        case finder::MemoryBudget::Take::Stopped:
            throw SearchStopped();
        }
        const finder::BudgetShare held(m_budget, share);
        ++m_decodes;
        if (m_options.samePhoto) {
            // The pixels are needed twice: for the fingerprint and the signature.
            const finder::SignedFingerprint decoded
                = finder::fingerprintAndSignature(bytes, result.type);
            result.ok = decoded.ok;
            result.fingerprint = decoded.fingerprint;
            result.signature = decoded.signature;
            if (decoded.proof)
                m_proofs->keep(finder::ProofPictures::keyOf(decoded.fingerprint), decoded.proof);
            if (!decoded.ok) {
                result.reason = QString::fromStdString(decoded.reason);
                result.passing = decoded.failureKind == decoding::FailureKind::Passing;
            }
        } else {
            const finder::PictureFingerprint decoded
                = finder::fingerprintPicture(bytes, result.type);
            result.ok = decoded.ok;
            result.fingerprint = decoded.fingerprint;
            if (!decoded.ok) {
                result.reason = QString::fromStdString(decoded.reason);
                result.passing = decoded.failureKind == decoding::FailureKind::Passing;
            }
        }
    } catch (const PictureTooLarge& tooLarge) {
        // Depends on the file (and the budget, which is part of the cache's key).
        result.ok = false;
        result.reason
            = QStringLiteral("needs %1 MB to decode, more than the memory budget of %2 MB")
                  .arg(tooLarge.needs >> 20)
                  .arg(tooLarge.budget >> 20);
    } catch (const SearchStopped&) {
        result.ok = false;
        result.reason = QStringLiteral("the search was stopped");
        result.passing = true;
    } catch (const std::bad_alloc&) {
        result.ok = false;
        result.reason = QStringLiteral("not enough memory to decode it");
        result.passing = true;
    } catch (const std::exception& error) {
        result.ok = false;
        result.reason
            = QStringLiteral("cannot be decoded (%1)").arg(QString::fromLocal8Bit(error.what()));
        result.passing = true; // a thread or a resource of the system, not the file
    }
    // Nothing learned from a failure of the moment is kept.
    if (!result.ok && result.passing)
        record.cacheable = false;
    apply(record, result);
    if (bytesDigest) {
        for (std::size_t waiter : m_shared.publish(*bytesDigest, result)) {
            ++m_sharedDecodes;
            apply(m_records[waiter], result);
            if (!record.cacheable)
                m_records[waiter].cacheable = false;
            complete(waiter);
        }
    }
    complete(index);
}

std::uint64_t Search::pictureBytes(const FileRecord& record) const
{
    return finder::pictureMemory(record.type, record.width, record.height, record.frames);
}

void Search::decodeAll(
    std::vector<std::size_t> indices, FinderProgress::Stage stage, std::int64_t base)
{
    if (indices.empty()) {
        report(stage, base, base); // a stage with nothing to do is still one the search passed
        return;
    }
    // Largest files first: a large file started last would keep one core
    // busy alone at the end while the others wait.
    std::stable_sort(indices.begin(), indices.end(), [&](std::size_t a, std::size_t b) {
        return m_records[a].identity.size > m_records[b].identity.size;
    });
    // Only files that share their size with another file to decode can have equal bytes.
    std::unordered_map<std::int64_t, int> sizes;
    for (std::size_t i : indices)
        ++sizes[m_records[i].identity.size];
    for (std::size_t i : indices)
        m_records[i].shareBytes = sizes[m_records[i].identity.size] > 1;

    m_stageDone = 0;
    const auto total = std::int64_t(indices.size());
    report(stage, base, base + total);
    TaskTimeline timeline(indices.size());
    finder::runOnWorkers(
        indices.size(), m_threads, m_stop,
        [&](std::size_t n) { timeline.run(n, [&] { decode(indices[n]); }); },
        [&] { takeCompleted(stage, total, base); });
    m_stats.spread.push_back(
        timeline.spread(stage == FinderProgress::Stage::Decoding ? QStringLiteral("decoding")
                                                                 : QStringLiteral("sizes"),
            m_threads));
}

void Search::complete(std::size_t index)
{
    std::lock_guard lock(m_completedMutex);
    m_completed.push_back(index);
}

void Search::takeCompleted(FinderProgress::Stage stage, std::int64_t total, std::int64_t base)
{
    std::vector<std::size_t> completed;
    {
        std::lock_guard lock(m_completedMutex);
        completed.swap(m_completed);
    }
    m_stageDone += std::int64_t(completed.size());
    if (m_cache) {
        for (std::size_t index : completed) {
            const FileRecord& record = m_records[index];
            // A header alone is kept only for pictures that are not decoded
            // (see picturesThatCanMatch), so that no file is written twice.
            if (record.cacheable
                && (record.stage == Stage::Fingerprinted || record.stage == Stage::Unreadable))
                m_cache->store(record.identity, factsOf(record));
        }
        m_pendingWrites += completed.size();
        const auto now = std::chrono::steady_clock::now();
        if (m_pendingWrites >= kFlushEvery || m_stageDone == total
            || (m_pendingWrites > 0
                && now - m_lastWrite >= std::chrono::milliseconds(m_options.cacheWriteEveryMs))) {
            m_cache->flush();
            m_pendingWrites = 0;
            m_lastWrite = now;
        }
    }
    report(stage, base + m_stageDone, base + total);
}

std::vector<std::size_t> Search::picturesThatCanMatch()
{
    // Every picture whose size is known, in order of width, height and frames.
    std::vector<std::size_t> sized;
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        const Stage stage = m_records[i].stage;
        if (stage == Stage::HeaderKnown || stage == Stage::Fingerprinted)
            sized.push_back(i);
    }
    auto key = [&](std::size_t i) {
        const FileRecord& r = m_records[i];
        return std::tuple(r.width, r.height, r.frames);
    };
    std::sort(
        sized.begin(), sized.end(), [&](std::size_t a, std::size_t b) { return key(a) < key(b); });

    std::vector<std::size_t> toDecode;
    for (std::size_t first = 0; first < sized.size();) {
        std::size_t end = first + 1;
        const FileRecord& head = m_records[sized[first]];
        while (end < sized.size() && m_records[sized[end]].width == head.width
            && m_records[sized[end]].height == head.height)
            ++end;
        // Within one width and height: frame counts must agree, where known.
        bool anyUnknownFrames = false;
        std::map<std::uint32_t, int> framesCount;
        for (std::size_t k = first; k < end; ++k) {
            const std::uint32_t frames = m_records[sized[k]].frames;
            anyUnknownFrames = anyUnknownFrames || frames == 0;
            ++framesCount[frames];
        }
        const int members = int(end - first);
        for (std::size_t k = first; k < end; ++k) {
            FileRecord& record = m_records[sized[k]];
            if (record.stage != Stage::HeaderKnown)
                continue;
            const bool partner = record.frames == 0
                ? members > 1
                : framesCount[record.frames] > 1 || (anyUnknownFrames && members > 1);
            if (partner) {
                toDecode.push_back(sized[k]);
            } else {
                ++m_stats.skippedUniqueSize;
                if (m_cache && record.cacheable && !record.fromCache)
                    m_cache->store(record.identity, factsOf(record));
            }
        }
        first = end;
    }
    std::sort(toDecode.begin(), toDecode.end());
    return toDecode;
}

void Search::group(FinderResult& result)
{
    std::vector<std::size_t> fingerprinted;
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        const FileRecord& record = m_records[i];
        if (record.stage == Stage::Fingerprinted) {
            fingerprinted.push_back(i);
        } else if (record.stage != Stage::Unreadable) {
            continue;
        } else if (!record.pictureName && record.type == PictureType::Unknown
            && record.reason == kNotAPicture) {
            // Examined only because every name was asked for, and no
            // picture: no fault of the file, so it is counted, not listed.
            ++result.filesNotPictures;
        } else {
            result.unreadable.push_back(
                {record.path, record.reason, record.identity.size, finder::typeName(record.type)});
        }
    }
    std::stable_sort(fingerprinted.begin(), fingerprinted.end(), [&](std::size_t a, std::size_t b) {
        return m_records[a].fingerprint < m_records[b].fingerprint;
    });
    std::vector<std::int64_t> totals;
    for (std::size_t first = 0; first < fingerprinted.size();) {
        std::size_t end = first + 1;
        const PixelFingerprint& print = m_records[fingerprinted[first]].fingerprint;
        while (end < fingerprinted.size() && m_records[fingerprinted[end]].fingerprint == print)
            ++end;
        if (end - first > 1) {
            DuplicateGroup group;
            group.width = print.width;
            group.height = print.height;
            group.frames = print.frames;
            for (std::size_t k = first; k < end; ++k) {
                const FileRecord& record = m_records[fingerprinted[k]];
                group.files.push_back(
                    {record.path, record.identity, finder::typeName(record.type)});
            }
            result.groups.push_back(std::move(group));
        }
        first = end;
    }
    auto totalSize = [](const DuplicateGroup& group) {
        std::int64_t total = 0;
        for (const FoundFile& file : group.files)
            total += file.identity.size;
        return total;
    };
    std::stable_sort(result.groups.begin(), result.groups.end(),
        [&](const DuplicateGroup& a, const DuplicateGroup& b) {
            const std::int64_t sizeA = totalSize(a);
            const std::int64_t sizeB = totalSize(b);
            if (sizeA != sizeB)
                return sizeA > sizeB;
            return a.files.front().path < b.files.front().path;
        });
    std::sort(result.unreadable.begin(), result.unreadable.end(),
        [](const UnreadableFile& a, const UnreadableFile& b) { return a.path < b.path; });
    result.filesExamined = std::int64_t(m_records.size());
}

void Search::findSamePhotos(FinderResult& result)
{
    std::vector<finder::PhotoFile> files;
    for (const FileRecord& record : m_records) {
        if (record.stage != Stage::Fingerprinted && record.stage != Stage::HeaderKnown)
            continue;
        finder::PhotoFile file;
        file.path = record.path;
        file.identity = record.identity;
        file.type = record.type;
        file.width = record.width;
        file.height = record.height;
        file.frames = record.frames;
        file.cacheable = record.cacheable || record.fromCache;
        file.signature = record.signature;
        if (record.stage == Stage::Fingerprinted)
            file.fingerprint = record.fingerprint;
        files.push_back(std::move(file));
    }
    finder::SamePhotoSearch search(m_options, m_threads, m_stop, m_budget, *m_proofs,
        [this](FinderProgress::Stage stage, std::int64_t done, std::int64_t total) {
            report(stage, done, total);
        });
    search.run(files, result);
    result.samePhotoSearched = true;
    m_stats.signaturesMade = search.signaturesMade();
    m_stats.photoCandidates = search.candidates();
    m_stats.photoProofsMeasured = search.proofsMeasured();
    m_stats.photoProofDecodes = search.proofDecodes();
    if (!search.cacheProblem().isEmpty() && m_stats.cacheProblem.isEmpty()) {
        m_stats.cacheProblem = search.cacheProblem(); // said once, as the fingerprint cache's
        m_stats.cacheUsed = false;
    }
    m_stats.memoryPeak = m_budget.peak();
}

} // namespace

Finder::Finder(FinderOptions options)
    : m_options(std::move(options))
{
}

FinderResult Finder::run(const std::atomic<bool>* stop, const ProgressCallback& progress)
{
    m_stats = FinderStats();
    Search search(m_options, m_stats, stop, progress);
    FinderResult result = search.run();
    if (result.cancelled)
        return result;
    // What the user said of files and groups, for every front-end alike.
    finder::markProtected(result, m_options.protectedFolders, stop);
    if (m_options.useIgnoreList) {
        const finder::IgnoreList ignored = finder::IgnoreList::load(
            m_options.ignoreListPath.isEmpty() ? finder::IgnoreList::defaultPath()
                                               : m_options.ignoreListPath);
        ignored.apply(result, m_options.showIgnored);
    }
    return result;
}

int carryOverRenamedFiles(
    const FinderOptions& options, const std::vector<std::pair<FileIdentity, FileIdentity>>& renamed)
{
    if (!options.useCache || renamed.empty())
        return 0;
    const std::uint64_t budget
        = options.memoryBudget > 0 ? options.memoryBudget : finder::MemoryBudget::defaultSize();
    int carried = 0;
    {
        finder::FingerprintCache cache(
            cachePathOf(options), cacheVersion(budget), options.cacheBusyTimeoutMs);
        carried += cache.carryOverRenamed(renamed);
    }
    // The same-photo search's signatures, proofs and enlargement verdicts.
    finder::SamePhotoCache photos(
        cachePathOf(options), finder::decoderVersion(), options.cacheBusyTimeoutMs);
    carried += photos.carryOverRenamed(renamed);
    return carried;
}
