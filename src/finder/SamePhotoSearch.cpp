#include "finder/SamePhotoSearch.h"

#include "decoding/CodingFacts.h"
#include "decoding/JpegDecoder.h"
#include "decoding/OrientationTag.h"
#include "finder/FileReading.h"
#include "finder/FingerprintCache.h"
#include "finder/PictureOrientation.h"
#include "finder/PictureReader.h"
#include "finder/PictureTypes.h"
#include "finder/SamePhotoCache.h"
#include "finder/WorkerPool.h"
#include "similar/BestCopy.h"
#include "similar/EditedCopies.h"
#include "similar/Enlargement.h"
#include "similar/ReducedJpegSignature.h"
#include "similar/SamePhotoGrouping.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <tuple>

namespace finder {

namespace {

using decoding::PictureType;

decoding::Bytes bytesOf(const QByteArray& data)
{
    return {reinterpret_cast<const std::uint8_t*>(data.constData()), std::size_t(data.size())};
}

// A JPEG at a reduction, turned as its tag says (the full decode at 1).
decoding::DecodeOutcome decodeJpegAt(decoding::Bytes file, int reduction)
{
    if (reduction <= 1)
        return decodePicture(file, PictureType::Jpeg);
    decoding::DecodeOutcome outcome = decoding::jpeg::decodeReduced(file, unsigned(reduction));
    if (outcome.status == decoding::DecodeStatus::Ok && !outcome.picture.frames.empty())
        orientPicture(outcome.picture, decoding::readOrientation(file).orientation);
    return outcome;
}

// A JPEG's signature, the one way it is made whatever decode is at hand:
// from its decode at jpegReduction (`full` when that is the full decode and
// one was made). Nothing when it does not decode or is not RGBA.
std::optional<similar::PhotoSignature> jpegSignature(decoding::Bytes file, std::uint32_t width,
    std::uint32_t height, const decoding::DecodedPicture* full)
{
    const int reduction = similar::jpegReduction(width, height);
    if (reduction == 1 && full)
        return similar::reducedJpegSignature(*full, width, height);
    const decoding::DecodeOutcome outcome = decodeJpegAt(file, reduction);
    if (outcome.status != decoding::DecodeStatus::Ok)
        return std::nullopt;
    return similar::reducedJpegSignature(outcome.picture, width, height);
}

// A listed file, fully decoded, its memory taken from the budget while
// `use` runs on the picture; false when it no longer reads or decodes, or
// the search stops (the pair is then not proven, and nothing is grouped on it).
template <typename Use>
bool withDecodedPicture(
    const PhotoFile& file, MemoryBudget& budget, const std::atomic<bool>* stop, const Use& use)
{
    try {
        const std::uint64_t needs = pictureMemory(
            file.type, file.width, file.height, std::max<std::uint32_t>(file.frames, 1));
        if (needs > budget.total())
            return false;
        const FileBytes bytes = readWholeFile(file.path, file.identity);
        if (!bytes.ok)
            return false;
        // The same share as the identical search's decode of it.
        const std::uint64_t share
            = std::min(budget.total(), 2 * needs + std::uint64_t(bytes.bytes.size()));
        if (budget.take(share, stop) != MemoryBudget::Take::Taken)
            return false;
        const BudgetShare held(budget, share);
        const decoding::DecodeOutcome outcome = decodePicture(bytesOf(bytes.bytes), file.type);
        // Only pictures of red, green, blue and alpha are measured: inks,
        // signed samples or extra samples have no brightness to compare.
        if (outcome.status != decoding::DecodeStatus::Ok || outcome.picture.frames.empty()
            || !outcome.picture.isRgba())
            return false;
        use(outcome.picture);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// The same for the first frame alone.
template <typename Use>
bool withDecodedFile(
    const PhotoFile& file, MemoryBudget& budget, const std::atomic<bool>* stop, const Use& use)
{
    return withDecodedPicture(file, budget, stop,
        [&](const decoding::DecodedPicture& picture) { use(similar::firstFrameOf(picture)); });
}

// What every frame of a picture of several frames is measured on: each
// frame's proof picture, smaller than a still picture's when there are many
// frames, so that one picture's frames never hold more than kFramesBytes.
constexpr std::uint64_t kFramesBytes = 64ULL << 20;
std::vector<similar::ProofPicture> frameProofs(const decoding::DecodedPicture& picture)
{
    auto [width, height] = similar::proofSize(picture.width, picture.height);
    const std::uint64_t perFrame = std::uint64_t(width) * height * 4 * sizeof(float);
    const std::uint64_t all = perFrame * picture.frames.size();
    if (all > kFramesBytes) {
        const double scale = std::sqrt(double(kFramesBytes) / double(all));
        width = std::max<std::uint32_t>(1, std::uint32_t(width * scale));
        height = std::max<std::uint32_t>(1, std::uint32_t(height * scale));
    }
    std::vector<similar::ProofPicture> proofs;
    proofs.reserve(picture.frames.size());
    for (std::size_t i = 0; i < picture.frames.size(); ++i) {
        similar::FrameView frame = similar::firstFrameOf(picture);
        frame.data = picture.frames[i].data();
        proofs.push_back(similar::eightBitProof(similar::reduceArea(frame, width, height)));
    }
    return proofs;
}

// Where proof pictures come from: the ones kept, else a decode now (kept
// for the next candidate if it fits).
class ProofSource {
public:
    ProofSource(MemoryBudget& budget, ProofPictures& kept, const std::atomic<bool>* stop,
        std::atomic<std::int64_t>& decodes)
        : m_budget(budget)
        , m_kept(kept)
        , m_stop(stop)
        , m_decodes(decodes)
    {
    }

    ProofPictures::Picture get(const PhotoFile& file)
    {
        const QByteArray key = file.fingerprint ? ProofPictures::keyOf(*file.fingerprint)
                                                : ProofPictures::keyOf(file.path);
        if (ProofPictures::Picture kept = m_kept.find(key))
            return kept;
        ProofPictures::Picture picture;
        ++m_decodes;
        withDecodedFile(file, m_budget, m_stop, [&](const similar::FrameView& frame) {
            picture = std::make_shared<const similar::ProofPicture>(similar::proofPicture(frame));
        });
        m_kept.keep(key, picture);
        return picture;
    }

    // A signature for a file the identical search did not decode: a JPEG's
    // from its reduced decode, any other's from its proof picture (kept for
    // its proofs).
    std::optional<similar::PhotoSignature> signature(const PhotoFile& file)
    {
        if (file.type == PictureType::Jpeg) {
            try {
                const FileBytes bytes = readWholeFile(file.path, file.identity);
                if (!bytes.ok)
                    return std::nullopt;
                return jpegSignature(bytesOf(bytes.bytes), file.width, file.height, nullptr);
            } catch (const std::bad_alloc&) {
                return std::nullopt;
            }
        }
        const ProofPictures::Picture picture = get(file);
        if (!picture)
            return std::nullopt;
        return similar::signatureOf(*picture, file.width, file.height);
    }

    // Whether `larger` is an enlargement of a width x height copy, judged at
    // the smallest size above that one that the file decodes to at once (a
    // JPEG's reduced decode), since an enlargement does not show at proof size.
    similar::Enlargement enlargement(
        const PhotoFile& larger, std::uint32_t width, std::uint32_t height)
    {
        similar::Enlargement verdict = similar::Enlargement::Unsure;
        // A GIF's palette dithers a photo: noise a round trip drops, as a lossy coding's.
        const bool noCodingNoise = larger.type != PictureType::Gif && isLossless(larger);
        auto judge = [&](const similar::FrameView& frame) {
            verdict = similar::isEnlargement(frame, width, height, noCodingNoise);
        };
        int reduction = 1;
        if (larger.type == PictureType::Jpeg) {
            for (int r : {8, 4, 2}) {
                if ((larger.width + unsigned(r) - 1) / unsigned(r) > width
                    && (larger.height + unsigned(r) - 1) / unsigned(r) > height) {
                    reduction = r;
                    break;
                }
            }
        }
        if (reduction == 1) {
            if (!withDecodedFile(larger, m_budget, m_stop, judge))
                return similar::Enlargement::Unsure;
            return verdict;
        }
        try {
            const std::uint64_t needs = pictureMemory(larger.type,
                (larger.width + unsigned(reduction) - 1) / unsigned(reduction),
                (larger.height + unsigned(reduction) - 1) / unsigned(reduction), 1);
            const FileBytes bytes = readWholeFile(larger.path, larger.identity);
            if (!bytes.ok)
                return similar::Enlargement::Unsure;
            const std::uint64_t share
                = std::min(m_budget.total(), 16 * needs + std::uint64_t(bytes.bytes.size()));
            if (m_budget.take(share, m_stop) != MemoryBudget::Take::Taken)
                return similar::Enlargement::Unsure;
            const BudgetShare held(m_budget, share);
            const decoding::DecodeOutcome outcome = decodeJpegAt(bytesOf(bytes.bytes), reduction);
            if (outcome.status != decoding::DecodeStatus::Ok || outcome.picture.frames.empty()
                || !outcome.picture.isRgba())
                return similar::Enlargement::Unsure;
            judge(similar::firstFrameOf(outcome.picture));
            return verdict;
        } catch (const std::bad_alloc&) {
            return similar::Enlargement::Unsure;
        }
    }

    // Whether every file of a unit is coded without loss, read from its headers.
    bool isLossless(const PhotoFile& file)
    {
        switch (file.type) {
        case PictureType::Png:
        case PictureType::Bmp:
        case PictureType::Gif:
            return true;
        case PictureType::Jpeg:
        case PictureType::Unknown:
            return false;
        default:
            break;
        }
        try {
            // A TIFF's directory may follow its pixels; the other types say
            // how they are coded in their first chunks or boxes.
            constexpr qint64 kHead = 256 * 1024;
            const FileBytes bytes = file.type == PictureType::Tiff
                ? readWholeFile(file.path, file.identity)
                : readFileStart(file.path, file.identity, kHead);
            return bytes.ok && decoding::codedWithoutLoss(bytesOf(bytes.bytes), file.type);
        } catch (const std::bad_alloc&) {
            return false;
        }
    }

    // Whether `lossless` holds `lossy`'s decode: the same size, every sample
    // within one level. Nothing when either no longer decodes.
    std::optional<bool> holds(const PhotoFile& lossless, const PhotoFile& lossy)
    {
        if (lossless.width != lossy.width || lossless.height != lossy.height)
            return false;
        std::vector<std::uint8_t> levels;
        try {
            if (!withDecodedFile(lossy, m_budget, m_stop, [&](const similar::FrameView& frame) {
                    levels = similar::eightBitLevels(frame);
                }))
                return std::nullopt;
        } catch (const std::bad_alloc&) {
            return std::nullopt;
        }
        std::optional<bool> within;
        withDecodedFile(lossless, m_budget, m_stop, [&](const similar::FrameView& frame) {
            within = similar::withinOneLevel(frame, levels);
        });
        return within;
    }

private:
    MemoryBudget& m_budget;
    ProofPictures& m_kept;
    const std::atomic<bool>* m_stop;
    std::atomic<std::int64_t>& m_decodes;
};

// Two pictures of which at least one has several frames (or a count its
// header did not tell): the same photo only when both have as many frames
// and every frame passes; the figures are the worst frame's.
std::optional<similar::PhotoDifference> measureFrames(
    const PhotoFile& a, const PhotoFile& b, MemoryBudget& budget, const std::atomic<bool>* stop)
{
    std::vector<similar::ProofPicture> framesA;
    std::vector<similar::ProofPicture> framesB;
    if (!withDecodedPicture(a, budget, stop,
            [&](const decoding::DecodedPicture& picture) { framesA = frameProofs(picture); })
        || !withDecodedPicture(b, budget, stop,
            [&](const decoding::DecodedPicture& picture) { framesB = frameProofs(picture); }))
        return std::nullopt;
    if (framesA.size() != framesB.size() || framesA.empty())
        return similar::PhotoDifference{}; // another picture: SSIM 0 fails every bound
    similar::PhotoDifference worst = similar::compareProofPictures(framesA[0], framesB[0]);
    for (std::size_t i = 1; i < framesA.size(); ++i)
        worst = similar::worseOf(worst, similar::compareProofPictures(framesA[i], framesB[i]));
    return worst;
}

std::optional<similar::PhotoDifference> measurePair(const PhotoFile& a, const PhotoFile& b,
    ProofSource& proofs, MemoryBudget& budget, const std::atomic<bool>* stop)
{
    if (!similar::aspectsAgree(a.width, a.height, b.width, b.height))
        return std::nullopt;
    if (a.frames != 1 || b.frames != 1)
        return measureFrames(a, b, budget, stop);
    const ProofPictures::Picture pa = proofs.get(a);
    if (!pa)
        return std::nullopt;
    const ProofPictures::Picture pb = proofs.get(b);
    if (!pb)
        return std::nullopt;
    return similar::compareProofPictures(*pa, *pb);
}

// One member of the grouping: an identical group or a single file.
struct Unit {
    std::vector<std::size_t> files; // indices into the files; the first stands for all
    int identicalGroup = -1;
};

// A question of the grouping that needs the files: a proof (a, b measured
// from the lower unit to the higher), whether a is an enlargement of a
// picture of b's size, or whether lossless a holds lossy b's decode.
struct Question {
    enum class Kind { Proof, Enlargement, MadeFrom };
    Kind kind = Kind::Proof;
    std::uint32_t a = 0;
    std::uint32_t b = 0;
    auto operator<=>(const Question&) const = default;
};

// Its answer, found on a worker.
struct Answer {
    std::optional<similar::PhotoDifference> proof;
    similar::Enlargement enlargement = similar::Enlargement::Unsure;
    std::optional<bool> madeFrom;
};

class FileEvidence : public similar::PhotoEvidence {
public:
    FileEvidence(const std::vector<PhotoFile>& files, const std::vector<Unit>& units,
        SamePhotoCache* cache, std::int64_t& measured, ProofSource& proofs, MemoryBudget& budget,
        const std::atomic<bool>* stop)
        : m_budget(budget)
        , m_stop(stop)
        , m_files(files)
        , m_units(units)
        , m_cache(cache)
        , m_measured(measured)
        , m_proofs(proofs)
    {
    }

    const PhotoFile& fileOf(std::uint32_t unit) const { return m_files[m_units[unit].files[0]]; }

    // A run of the grouping that only plans: a question neither known nor
    // in the cache is not answered on this thread. It is noted for the
    // workers and, meanwhile, answered by a guess: a proof passes (most
    // pairs the grouping asks for are copies of one photo), an enlargement
    // is unsure, a decode held is not known. So one run notes a whole round
    // at once: a member against every other, or every member against a new
    // best copy. Nothing guessed is kept. The grouping is run again with the
    // noted questions answered until a run needs nothing it does not know:
    // that run's groups are the ones answering every question on the spot
    // would have made, since every answer it took is the one the spot would
    // have given.
    void beginPlan()
    {
        m_planning = true;
        m_guessed = false;
        m_asked.clear();
    }
    // What the run asked for and nobody knew.
    std::vector<Question> endPlan()
    {
        m_planning = false;
        return {m_asked.begin(), m_asked.end()};
    }

    // On a worker: the answer to a question, nothing kept.
    Answer answer(const Question& question)
    {
        Answer answer;
        const PhotoFile& fa = fileOf(question.a);
        const PhotoFile& fb = fileOf(question.b);
        switch (question.kind) {
        case Question::Kind::Proof:
            answer.proof = measurePair(fa, fb, m_proofs, m_budget, m_stop);
            break;
        case Question::Kind::Enlargement:
            answer.enlargement = m_proofs.enlargement(fa, fb.width, fb.height);
            break;
        case Question::Kind::MadeFrom:
            answer.madeFrom = m_proofs.holds(fa, fb);
            break;
        }
        return answer;
    }

    // On the calling thread: an answer found on the workers, kept for the
    // grouping and in the cache.
    void learn(const Question& question, const Answer& answer)
    {
        const PhotoFile& fa = fileOf(question.a);
        const PhotoFile& fb = fileOf(question.b);
        const bool keep = m_cache && fa.cacheable && fb.cacheable;
        switch (question.kind) {
        case Question::Kind::Proof:
            ++m_measured;
            know(question.a, question.b, answer.proof);
            if (answer.proof && keep)
                m_cache->storeProof(fa.identity, fb.identity, *answer.proof);
            break;
        case Question::Kind::Enlargement:
            m_enlargements[{question.a, question.b}] = answer.enlargement;
            if (keep)
                m_cache->storeEnlargement(fa.identity, fb.identity, answer.enlargement);
            break;
        case Question::Kind::MadeFrom:
            m_madeFrom[{question.a, question.b}] = answer.madeFrom;
            if (answer.madeFrom && keep)
                m_cache->storeEnlargement(fa.identity, fb.identity,
                    *answer.madeFrom ? similar::Enlargement::Yes : similar::Enlargement::No,
                    SamePhotoCache::Question::MadeFrom);
            break;
        }
    }

    // Proofs measured on the workers before the grouping asks for them.
    void know(std::uint32_t a, std::uint32_t b, std::optional<similar::PhotoDifference> proof)
    {
        m_known[std::minmax(a, b)]
            = proof && a > b ? std::optional(similar::measuredFrom(a, b, *proof)) : proof;
    }

    std::optional<similar::PhotoDifference> prove(std::uint32_t a, std::uint32_t b) override
    {
        const auto key = std::minmax(a, b);
        if (auto found = m_known.find(key); found != m_known.end())
            return found->second;
        // Measured from the lower unit to the higher, whichever is asked first.
        const PhotoFile& fa = fileOf(key.first);
        const PhotoFile& fb = fileOf(key.second);
        std::optional<similar::PhotoDifference> proof;
        if (m_cache)
            proof = m_cache->proof(fa.identity, fb.identity);
        if (!proof && m_planning) {
            ask({Question::Kind::Proof, key.first, key.second});
            similar::PhotoDifference alike; // equal pictures: passes every bound
            alike.ssim = 1;
            alike.comparedWidth = std::min(fa.width, fb.width);
            alike.comparedHeight = std::min(fa.height, fb.height);
            return alike;
        }
        if (!proof) {
            ++m_measured;
            proof = measurePair(fa, fb, m_proofs, m_budget, m_stop);
            if (proof && m_cache && fa.cacheable && fb.cacheable)
                m_cache->storeProof(fa.identity, fb.identity, *proof);
        }
        m_known[key] = proof;
        return proof;
    }

    similar::Enlargement enlargement(std::uint32_t a, std::uint32_t b) override
    {
        if (const auto found = m_enlargements.find({a, b}); found != m_enlargements.end())
            return found->second;
        const PhotoFile& larger = fileOf(a);
        const PhotoFile& smaller = fileOf(b);
        if (m_cache) {
            if (const std::optional<similar::Enlargement> known
                = m_cache->enlargement(larger.identity, smaller.identity))
                return m_enlargements[{a, b}] = *known;
        }
        const Question question{Question::Kind::Enlargement, a, b};
        if (m_planning) {
            ask(question);
            return similar::Enlargement::Unsure;
        }
        Answer found = answer(question);
        learn(question, found);
        return found.enlargement;
    }

    bool isLossless(std::uint32_t a) override
    {
        if (const auto found = m_lossless.find(a); found != m_lossless.end())
            return found->second;
        if (m_planning && m_guessed)
            return false; // a run that is thrown away
        return m_lossless[a] = readLossless(a);
    }

    std::optional<bool> madeFrom(std::uint32_t a, std::uint32_t b) override
    {
        // The proof tells most pairs apart without a decode.
        const std::optional<similar::PhotoDifference> proof = prove(a, b);
        if (proof && proof->max > similar::kOneLevelOnProof)
            return false;
        if (const auto found = m_madeFrom.find({a, b}); found != m_madeFrom.end())
            return found->second;
        const PhotoFile& lossless = fileOf(a);
        const PhotoFile& lossy = fileOf(b);
        if (lossless.width != lossy.width || lossless.height != lossy.height)
            return false;
        if (m_cache) {
            if (const std::optional<similar::Enlargement> known = m_cache->enlargement(
                    lossless.identity, lossy.identity, SamePhotoCache::Question::MadeFrom))
                return m_madeFrom[{a, b}] = *known == similar::Enlargement::Yes;
        }
        const Question question{Question::Kind::MadeFrom, a, b};
        if (m_planning) {
            ask(question);
            return std::nullopt;
        }
        Answer found = answer(question);
        learn(question, found);
        return found.madeFrom;
    }

private:
    void ask(const Question& question)
    {
        m_asked.insert(question);
        m_guessed = true;
    }

    bool readLossless(std::uint32_t a)
    {
        constexpr auto question = SamePhotoCache::Question::Lossless;
        for (std::size_t i : m_units[a].files) {
            const PhotoFile& file = m_files[i];
            // Types that may be either are read from the file (a TIFF whole),
            // and the answer kept for the next search.
            const bool either = file.type == PictureType::Tiff || file.type == PictureType::WebP
                || file.type == PictureType::Jpeg2000 || file.type == PictureType::Heif
                || file.type == PictureType::Avif;
            std::optional<similar::Enlargement> known;
            if (either && m_cache)
                known = m_cache->enlargement(file.identity, file.identity, question);
            const bool lossless
                = known ? *known == similar::Enlargement::Yes : m_proofs.isLossless(file);
            if (either && !known && m_cache && file.cacheable)
                m_cache->storeEnlargement(file.identity, file.identity,
                    lossless ? similar::Enlargement::Yes : similar::Enlargement::No, question);
            if (!lossless)
                return false;
        }
        return true;
    }

    MemoryBudget& m_budget;
    const std::atomic<bool>* m_stop;
    const std::vector<PhotoFile>& m_files;
    const std::vector<Unit>& m_units;
    SamePhotoCache* m_cache;
    std::int64_t& m_measured;
    ProofSource& m_proofs;
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::optional<similar::PhotoDifference>>
        m_known;
    // What was learned by a decode, asked again by each run of the grouping.
    std::map<std::pair<std::uint32_t, std::uint32_t>, similar::Enlargement> m_enlargements;
    std::map<std::uint32_t, bool> m_lossless;
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::optional<bool>> m_madeFrom;
    bool m_planning = false;
    bool m_guessed = false; // this run made up an answer
    std::set<Question> m_asked;
};

// The file of an identical member that "Keep the oldest" keeps: the oldest,
// then the shorter path, then the lower path bytes.
int oldestFileOf(const SamePhotoMember& member)
{
    auto order
        = [](const FoundFile& f) { return std::tuple(f.identity.modifiedNs, f.path.size()); };
    int oldest = 0;
    for (int i = 1; i < int(member.files.size()); ++i) {
        const FoundFile& a = member.files[std::size_t(i)];
        const FoundFile& b = member.files[std::size_t(oldest)];
        if (order(a) < order(b) || (order(a) == order(b) && a.path < b.path))
            oldest = i;
    }
    return oldest;
}

} // namespace

SignedFingerprint fingerprintAndSignature(decoding::Bytes file, decoding::PictureType type)
{
    SignedFingerprint result;
    const decoding::DecodeOutcome outcome = decodePicture(file, type);
    result.ok = outcome.status == decoding::DecodeStatus::Ok && !outcome.picture.frames.empty();
    if (!result.ok) {
        result.reason = outcome.reason.empty() ? "cannot be decoded" : outcome.reason;
        result.failureKind = outcome.failureKind;
        return result;
    }
    result.fingerprint = fingerprintOf(outcome.picture);
    if (outcome.picture.isRgba()) {
        // One pass over the full frame for the proof picture; the signature
        // as any other decode would make it: a JPEG's from its reduced
        // decode even with the full one at hand, any other's from the proof picture.
        auto proof = std::make_shared<const similar::ProofPicture>(
            similar::proofPicture(similar::firstFrameOf(outcome.picture)));
        const std::uint32_t width = outcome.picture.width;
        const std::uint32_t height = outcome.picture.height;
        result.signature = type == PictureType::Jpeg
            ? jpegSignature(file, width, height, &outcome.picture)
            : similar::signatureOf(*proof, width, height);
        result.proof = std::move(proof);
    }
    return result;
}

SamePhotoSearch::SamePhotoSearch(const FinderOptions& options, int threads,
    const std::atomic<bool>* stop, MemoryBudget& budget, ProofPictures& proofs, Progress progress)
    : m_options(options)
    , m_threads(threads)
    , m_stop(stop)
    , m_budget(budget)
    , m_proofs(proofs)
    , m_progress(std::move(progress))
{
}

void SamePhotoSearch::run(std::vector<PhotoFile>& files, FinderResult& result)
{
    std::unique_ptr<SamePhotoCache> cache;
    if (m_options.useCache) {
        cache = std::make_unique<SamePhotoCache>(
            m_options.cachePath.isEmpty() ? FingerprintCache::defaultPath() : m_options.cachePath,
            decoderVersion(), m_options.cacheBusyTimeoutMs);
        if (!cache->usable()) {
            m_cacheProblem = cache->problem(); // its tables could not be made
            cache.reset();
        }
    }
    auto stopped = [&] { return m_stop && m_stop->load(); };

    // Signatures: from this search's decodes, the cache, or a reduced decode.
    ProofSource proofSource(m_budget, m_proofs, m_stop, m_proofDecodes);
    std::vector<std::size_t> missing;
    std::vector<char> learned(files.size(), 0); // not vector<bool>: written from the workers
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (files[i].signature) {
            learned[i] = 1;
            continue;
        }
        if (cache)
            files[i].signature = cache->signature(files[i].identity);
        if (!files[i].signature)
            missing.push_back(i);
    }
    std::atomic<std::int64_t> done{0};
    const auto total = std::int64_t(missing.size());
    runOnWorkers(
        missing.size(), m_threads, m_stop,
        [&](std::size_t n) {
            files[missing[n]].signature = proofSource.signature(files[missing[n]]);
            learned[missing[n]] = 1;
            ++done;
        },
        [&] {
            if (m_progress)
                m_progress(FinderProgress::Stage::Signing, done.load(), total);
        });
    m_signaturesMade = total;
    if (cache) {
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (learned[i] && files[i].signature && files[i].cacheable)
                cache->storeSignature(files[i].identity, *files[i].signature);
        }
        cache->flush();
        m_cacheProblem = cache->problem();
    }
    if (stopped())
        return;

    // Units: each identical group is one; every other signed picture is one.
    std::map<QByteArray, int> groupOfPath;
    for (std::size_t g = 0; g < result.groups.size(); ++g) {
        for (const FoundFile& file : result.groups[g].files)
            groupOfPath[file.path] = int(g);
    }
    std::vector<Unit> units;
    std::map<int, std::size_t> unitOfGroup;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!files[i].signature)
            continue;
        const auto group = groupOfPath.find(files[i].path);
        if (group == groupOfPath.end()) {
            units.push_back({{i}, -1});
            continue;
        }
        auto [slot, added] = unitOfGroup.try_emplace(group->second, units.size());
        if (added)
            units.push_back({{}, group->second});
        units[slot->second].files.push_back(i);
    }
    std::vector<similar::PhotoUnit> photoUnits;
    for (const Unit& unit : units) {
        similar::PhotoUnit photo;
        photo.signature = *files[unit.files[0]].signature;
        photo.lossRank = similar::lossRank(files[unit.files[0]].type);
        photo.modifiedNs = files[unit.files[0]].identity.modifiedNs;
        for (std::size_t i : unit.files) {
            photo.modifiedNs = std::min(photo.modifiedNs, files[i].identity.modifiedNs);
            photo.lossRank = std::min(photo.lossRank, similar::lossRank(files[i].type));
            photo.largestFile = std::max(photo.largestFile, files[i].identity.size);
        }
        photoUnits.push_back(photo);
    }

    const auto unitCount = std::int64_t(photoUnits.size());
    if (m_progress)
        m_progress(FinderProgress::Stage::FindingCandidates, 0, unitCount);
    const auto candidates = similar::candidatePairs(photoUnits);
    m_candidates = std::int64_t(candidates.size());
    if (m_progress)
        m_progress(FinderProgress::Stage::FindingCandidates, unitCount, unitCount);
    FileEvidence evidence(
        files, units, cache.get(), m_proofsMeasured, proofSource, m_budget, m_stop);

    // Candidates not in the cache are measured on the workers.
    std::vector<std::size_t> toMeasure;
    std::vector<std::optional<similar::PhotoDifference>> proofs(candidates.size());
    for (std::size_t k = 0; k < candidates.size(); ++k) {
        const auto [a, b] = candidates[k];
        if (cache)
            proofs[k] = cache->proof(evidence.fileOf(a).identity, evidence.fileOf(b).identity);
        if (proofs[k])
            evidence.know(a, b, proofs[k]);
        else
            toMeasure.push_back(k);
    }
    // Proving counts every pair: the candidates the cache knew are done at
    // once, and what the grouping asks beyond them (a member against its
    // best copy, an enlargement, a decode held) adds to the total.
    std::int64_t proven = std::int64_t(candidates.size() - toMeasure.size());
    auto toProve = std::int64_t(candidates.size());
    const auto tick = [&] {
        if (m_progress)
            m_progress(FinderProgress::Stage::Proving, proven + done.load(), toProve);
    };
    // Answers questions on the workers, learned on this thread; false when the search stopped.
    std::vector<Answer> answers;
    const auto answerAll = [&](const std::vector<Question>& questions) {
        answers.assign(questions.size(), Answer());
        done = 0;
        runOnWorkers(
            questions.size(), m_threads, m_stop,
            [&](std::size_t n) {
                answers[n] = evidence.answer(questions[n]);
                ++done;
            },
            tick);
        if (stopped())
            return false;
        for (std::size_t n = 0; n < questions.size(); ++n)
            evidence.learn(questions[n], answers[n]);
        proven += std::int64_t(questions.size());
        done = 0;
        return true;
    };
    std::vector<Question> questions;
    for (std::size_t k : toMeasure)
        questions.push_back({Question::Kind::Proof, candidates[k].first, candidates[k].second});
    if (!answerAll(questions))
        return;
    // The questions beyond the candidates, a round at a time, until the
    // grouping needs nothing it does not know.
    std::vector<similar::PhotoGroup> groups;
    for (;;) {
        evidence.beginPlan();
        groups = similar::groupSamePhotos(photoUnits, candidates, evidence);
        questions = evidence.endPlan();
        if (questions.empty())
            break;
        toProve += std::int64_t(questions.size());
        if (!answerAll(questions))
            return;
    }

    if (m_progress)
        m_progress(FinderProgress::Stage::Grouping, 0, 2);
    const std::vector<similar::EditedGroup> editedGroups
        = similar::findEditedCopies(photoUnits, candidates, groups, evidence);
    if (m_progress)
        m_progress(FinderProgress::Stage::Grouping, 1, 2);
    if (cache) {
        cache->flush();
        m_cacheProblem = cache->problem();
    }

    auto memberOf = [&](std::uint32_t unit) {
        SamePhotoMember member;
        const PhotoFile& first = files[units[unit].files[0]];
        member.width = first.width;
        member.height = first.height;
        member.identicalGroup = units[unit].identicalGroup;
        for (std::size_t i : units[unit].files)
            member.files.push_back({files[i].path, files[i].identity, typeName(files[i].type)});
        return member;
    };
    for (const similar::PhotoGroup& group : groups) {
        SamePhotoGroup found;
        found.members.push_back(memberOf(group.best));
        found.bestBecause = QString::fromStdString(group.because);
        if (group.hasBestCopy)
            found.bestFile = oldestFileOf(found.members.front());
        for (const auto& [unit, difference] : group.others) {
            found.members.push_back(memberOf(unit));
            found.members.back().difference = difference;
        }
        result.samePhotoGroups.push_back(std::move(found));
    }
    for (const similar::EditedGroup& group : editedGroups) {
        SamePhotoGroup found;
        found.members.push_back(memberOf(group.source));
        for (const auto& [unit, difference] : group.edited) {
            found.members.push_back(memberOf(unit));
            found.members.back().difference = difference;
        }
        result.editedGroups.push_back(std::move(found));
    }
    auto totalSize = [](const SamePhotoGroup& group) {
        std::int64_t total = 0;
        for (const SamePhotoMember& member : group.members) {
            for (const FoundFile& file : member.files)
                total += file.identity.size;
        }
        return total;
    };
    for (auto* list : {&result.samePhotoGroups, &result.editedGroups}) {
        std::stable_sort(
            list->begin(), list->end(), [&](const SamePhotoGroup& a, const SamePhotoGroup& b) {
                const std::int64_t sizeA = totalSize(a);
                const std::int64_t sizeB = totalSize(b);
                if (sizeA != sizeB)
                    return sizeA > sizeB;
                return a.members.front().files.front().path < b.members.front().files.front().path;
            });
    }
    if (m_progress)
        m_progress(FinderProgress::Stage::Grouping, 2, 2);
}

} // namespace finder
