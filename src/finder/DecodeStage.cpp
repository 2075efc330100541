#include "finder/CompletedFiles.h"
#include "finder/FileReading.h"
#include "finder/PictureReader.h"
#include "finder/PictureTypes.h"
#include "finder/PixelFingerprint.h"
#include "finder/SearchStages.h"
#include "finder/SharedDecodes.h"
#include "finder/SignedDecode.h"
#include "finder/TaskTimeline.h"
#include "finder/WorkerPool.h"

#include <algorithm>
#include <map>
#include <new>
#include <tuple>
#include <unordered_map>

namespace finder {

namespace {

// A picture whose decode needs more than the whole memory budget.
struct PictureTooLarge {
    std::uint64_t needs;
    std::uint64_t budget;
};
// The search was stopped while a decode waited for memory.
struct SearchStopped { };

// One file's decode on a worker, and what it gives to the files with equal bytes.
class Decoder {
public:
    Decoder(SearchContext& context, FileTable& files, CompletedFiles& completed)
        : m_context(context)
        , m_files(files)
        , m_completed(completed)
    {
    }

    void decode(FileId id);

    std::int64_t decodes() const { return m_decodes.load(); }
    std::int64_t sharedDecodes() const { return m_sharedDecodes.load(); }

private:
    // Decodes the bytes into result; throws what the catch in decode() sorts out.
    void decodeBytes(const FileRecord& record, decoding::Bytes bytes, DecodeResult& result);

    SearchContext& m_context;
    FileTable& m_files;
    CompletedFiles& m_completed;
    SharedDecodes m_shared;
    std::atomic<std::int64_t> m_decodes{0};
    std::atomic<std::int64_t> m_sharedDecodes{0};
};

void Decoder::decode(FileId id)
{
    FileRecord& record = m_files[id];
    DecodeResult result;
    std::optional<SharedDecodes::Digest> bytesDigest;
    try {
        FileBytes file = readWholeFile(record.path, record.identity);
        if (!file.ok) {
            record.cacheable = false;
            result.reason = file.reason;
            apply(record, result);
            m_completed.complete(id);
            return;
        }
        record.cacheable = m_context.settled(file.newestChangeNs);
        const decoding::Bytes bytes = bytesOf(file.bytes);
        result.type = detectType(bytes);
        if (record.shareBytes) {
            bytesDigest = sha256(bytes);
            switch (m_shared.claim(*bytesDigest, id, &result)) {
            case SharedDecodes::Claim::Decode:
                break;
            case SharedDecodes::Claim::Taken:
                ++m_sharedDecodes;
                if (!result.ok && result.passing)
                    record.cacheable = false;
                apply(record, result);
                m_completed.complete(id);
                return;
            case SharedDecodes::Claim::Wait:
                return; // completed by the file that decodes these bytes
            }
        }
        decodeBytes(record, bytes, result);
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
        for (FileId waiter : m_shared.publish(*bytesDigest, result)) {
            ++m_sharedDecodes;
            apply(m_files[waiter], result);
            if (!record.cacheable)
                m_files[waiter].cacheable = false;
            m_completed.complete(waiter);
        }
    }
    m_completed.complete(id);
}

void Decoder::decodeBytes(const FileRecord& record, decoding::Bytes bytes, DecodeResult& result)
{
    MemoryBudget& budget = m_context.budget;
    const std::uint64_t needs
        = pictureMemory(record.type, record.width, record.height, record.frames);
    // Two copies' worth: what decoders hold beside the picture (a
    // canvas, a converted copy, the library's own planes) is rarely more.
    const std::uint64_t share = std::min(budget.total(), 2 * needs + bytes.size());
    switch (budget.take(needs > budget.total() ? needs : share, m_context.stop)) {
    case MemoryBudget::Take::Taken:
        break;
    case MemoryBudget::Take::TooLarge:
        throw PictureTooLarge(needs, budget.total());
    case MemoryBudget::Take::Stopped:
        throw SearchStopped();
    }
    const BudgetShare held(budget, share);
    ++m_decodes;
    if (m_context.options.samePhoto) {
        // The pixels are needed twice: for the fingerprint and the signature.
        const SignedFingerprint decoded = fingerprintAndSignature(bytes, result.type);
        result.ok = decoded.ok;
        result.fingerprint = decoded.fingerprint;
        result.signature = decoded.signature;
        if (decoded.proof)
            m_context.proofs->keep(ProofPictures::keyOf(decoded.fingerprint), decoded.proof);
        if (!decoded.ok) {
            result.reason = QString::fromStdString(decoded.reason);
            result.passing = decoded.failureKind == decoding::FailureKind::Passing;
        }
    } else {
        const PictureFingerprint decoded = fingerprintPicture(bytes, result.type);
        result.ok = decoded.ok;
        result.fingerprint = decoded.fingerprint;
        if (!decoded.ok) {
            result.reason = QString::fromStdString(decoded.reason);
            result.passing = decoded.failureKind == decoding::FailureKind::Passing;
        }
    }
}

// Decodes the files on the workers; progress goes out as `stage`, counting from base.
void decodeAll(SearchContext& context, FileTable& files, Decoder& decoder,
    CompletedFiles& completed, std::vector<FileId> ids, FinderProgress::Stage stage,
    std::int64_t base)
{
    if (ids.empty()) {
        // A stage with nothing to do is still one the search passed.
        context.report(stage, base, base);
        return;
    }
    // Largest files first: a large file started last would keep one core
    // busy alone at the end while the others wait.
    std::stable_sort(ids.begin(), ids.end(),
        [&](FileId a, FileId b) { return files[a].identity.size > files[b].identity.size; });
    // Only files that share their size with another file to decode can have equal bytes.
    std::unordered_map<std::int64_t, int> sizes;
    for (FileId id : ids)
        ++sizes[files[id].identity.size];
    for (FileId id : ids)
        files[id].shareBytes = sizes[files[id].identity.size] > 1;

    completed.beginStage();
    const auto total = std::int64_t(ids.size());
    context.report(stage, base, base + total);
    TaskTimeline timeline(ids.size());
    runOnWorkers(
        ids.size(), context.threads, context.stop,
        [&](std::size_t n) { timeline.run(n, [&] { decoder.decode(ids[n]); }); },
        [&] { completed.take(stage, total, base); });
    context.stats.spread.push_back(
        timeline.spread(stage == FinderProgress::Stage::Decoding ? QStringLiteral("decoding")
                                                                 : QStringLiteral("sizes"),
            context.threads));
}

// The pictures that can have a twin: those whose width, height and frame
// count (where known) another picture shares. The others' headers are kept
// in the cache, as they are never decoded.
std::vector<FileId> picturesThatCanMatch(SearchContext& context, FileTable& files)
{
    // Every picture whose size is known, in order of width, height and frames.
    std::vector<FileId> sized;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (files[i].readable())
            sized.push_back(FileId(i));
    }
    auto key
        = [&](FileId i) { return std::tuple(files[i].width, files[i].height, files[i].frames); };
    std::sort(sized.begin(), sized.end(), [&](FileId a, FileId b) { return key(a) < key(b); });

    std::vector<FileId> toDecode;
    for (std::size_t first = 0; first < sized.size();) {
        std::size_t end = first + 1;
        const FileRecord& head = files[sized[first]];
        while (end < sized.size() && files[sized[end]].width == head.width
            && files[sized[end]].height == head.height)
            ++end;
        // Within one width and height: frame counts must agree, where known.
        bool anyUnknownFrames = false;
        std::map<std::uint32_t, int> framesCount;
        for (std::size_t k = first; k < end; ++k) {
            const std::uint32_t frames = files[sized[k]].frames;
            anyUnknownFrames = anyUnknownFrames || frames == 0;
            ++framesCount[frames];
        }
        const int members = int(end - first);
        for (std::size_t k = first; k < end; ++k) {
            FileRecord& record = files[sized[k]];
            if (record.state != FileState::HeaderKnown)
                continue;
            const bool partner = record.frames == 0
                ? members > 1
                : framesCount[record.frames] > 1 || (anyUnknownFrames && members > 1);
            if (partner) {
                toDecode.push_back(sized[k]);
            } else {
                ++context.stats.skippedUniqueSize;
                if (context.cache && record.cacheable && !record.fromCache)
                    context.cache->store(record.identity, factsOf(record));
            }
        }
        first = end;
    }
    std::sort(toDecode.begin(), toDecode.end());
    return toDecode;
}

} // namespace

void decodePictures(SearchContext& context, FileTable& files)
{
    CompletedFiles completed(context, files);
    Decoder decoder(context, files, completed);
    // Pictures whose headers did not say their size are decoded first: their
    // dimensions decide which of the others can have a twin.
    std::vector<FileId> unknown;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (files[i].state == FileState::HeaderUnknown)
            unknown.push_back(FileId(i));
    }
    // For the progress line this is still finding out sizes.
    decodeAll(context, files, decoder, completed, unknown, FinderProgress::Stage::ReadingHeaders,
        context.stats.headersRead - std::int64_t(unknown.size()));
    if (!context.stopped())
        decodeAll(context, files, decoder, completed, picturesThatCanMatch(context, files),
            FinderProgress::Stage::Decoding, 0);
    context.stats.decoded = decoder.decodes();
    context.stats.sharedDecodes = decoder.sharedDecodes();
}

} // namespace finder
