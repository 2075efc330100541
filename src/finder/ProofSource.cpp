#include "finder/ProofSource.h"

#include "decoding/CodingFacts.h"
#include "finder/FileReading.h"
#include "finder/PictureReader.h"
#include "finder/PictureTypes.h"
#include "finder/SignedDecode.h"
#include "similar/BestCopy.h"
#include "similar/Enlargement.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace finder {

namespace {

using decoding::PictureType;

// A listed file, fully decoded, its memory taken from the budget while
// `use` runs on the picture; false when it no longer reads or decodes, or
// the search stops (the pair is then not proven, and nothing is grouped on it).
template <typename Use>
bool withDecodedPicture(
    const FileRecord& file, MemoryBudget& budget, const std::atomic<bool>* stop, const Use& use)
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
    const FileRecord& file, MemoryBudget& budget, const std::atomic<bool>* stop, const Use& use)
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

// Two pictures of which at least one has several frames (or a count its
// header did not tell): the same photo only when both have as many frames
// and every frame passes; the figures are the worst frame's.
std::optional<similar::PhotoDifference> measureFrames(
    const FileRecord& a, const FileRecord& b, MemoryBudget& budget, const std::atomic<bool>* stop)
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

} // namespace

ProofSource::ProofSource(MemoryBudget& budget, ProofPictures& kept, const std::atomic<bool>* stop)
    : m_budget(budget)
    , m_kept(kept)
    , m_stop(stop)
{
}

ProofPictures::Picture ProofSource::get(const FileRecord& file)
{
    const QByteArray key = file.fingerprinted() ? ProofPictures::keyOf(file.fingerprint)
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

std::optional<similar::PhotoSignature> ProofSource::signature(const FileRecord& file)
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

similar::Enlargement ProofSource::enlargement(
    const FileRecord& larger, std::uint32_t width, std::uint32_t height)
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

bool ProofSource::isLossless(const FileRecord& file)
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

std::optional<bool> ProofSource::holds(const FileRecord& lossless, const FileRecord& lossy)
{
    if (lossless.width != lossy.width || lossless.height != lossy.height)
        return false;
    std::vector<std::uint8_t> levels;
    try {
        if (!withDecodedFile(lossy, m_budget, m_stop,
                [&](const similar::FrameView& frame) { levels = similar::eightBitLevels(frame); }))
            return std::nullopt;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    std::optional<bool> within;
    withDecodedFile(lossless, m_budget, m_stop,
        [&](const similar::FrameView& frame) { within = similar::withinOneLevel(frame, levels); });
    return within;
}

std::optional<similar::PhotoDifference> ProofSource::measure(
    const FileRecord& a, const FileRecord& b)
{
    if (!similar::aspectsAgree(a.width, a.height, b.width, b.height))
        return std::nullopt;
    if (a.frames != 1 || b.frames != 1)
        return measureFrames(a, b, m_budget, m_stop);
    const ProofPictures::Picture pa = get(a);
    if (!pa)
        return std::nullopt;
    const ProofPictures::Picture pb = get(b);
    if (!pb)
        return std::nullopt;
    return similar::compareProofPictures(*pa, *pb);
}

} // namespace finder
