#include "finder/PairEvidence.h"

#include <algorithm>

namespace finder {

using decoding::PictureType;

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
void PairEvidence::beginPlan()
{
    m_planning = true;
    m_guessed = false;
    m_asked.clear();
}
std::vector<Question> PairEvidence::endPlan()
{
    m_planning = false;
    return {m_asked.begin(), m_asked.end()};
}

Answer PairEvidence::answer(const Question& question)
{
    Answer answer;
    const FileRecord& fa = fileOf(question.a);
    const FileRecord& fb = fileOf(question.b);
    switch (question.kind) {
    case Question::Kind::Proof:
        answer.proof = m_proofs.measure(fa, fb);
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

void PairEvidence::learn(const Question& question, const Answer& answer)
{
    const FileRecord& fa = fileOf(question.a);
    const FileRecord& fb = fileOf(question.b);
    const bool keep = m_cache && fa.keepable() && fb.keepable();
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

void PairEvidence::know(
    std::uint32_t a, std::uint32_t b, std::optional<similar::PhotoDifference> proof)
{
    m_known[std::minmax(a, b)]
        = proof && a > b ? std::optional(similar::measuredFrom(a, b, *proof)) : proof;
}

std::optional<similar::PhotoDifference> PairEvidence::prove(std::uint32_t a, std::uint32_t b)
{
    const auto key = std::minmax(a, b);
    if (auto found = m_known.find(key); found != m_known.end())
        return found->second;
    // Measured from the lower unit to the higher, whichever is asked first.
    const FileRecord& fa = fileOf(key.first);
    const FileRecord& fb = fileOf(key.second);
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
        proof = m_proofs.measure(fa, fb);
        if (proof && m_cache && fa.keepable() && fb.keepable())
            m_cache->storeProof(fa.identity, fb.identity, *proof);
    }
    m_known[key] = proof;
    return proof;
}

similar::Enlargement PairEvidence::enlargement(std::uint32_t a, std::uint32_t b)
{
    if (const auto found = m_enlargements.find({a, b}); found != m_enlargements.end())
        return found->second;
    const FileRecord& larger = fileOf(a);
    const FileRecord& smaller = fileOf(b);
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

bool PairEvidence::isLossless(std::uint32_t a)
{
    if (const auto found = m_lossless.find(a); found != m_lossless.end())
        return found->second;
    if (m_planning && m_guessed)
        return false; // a run that is thrown away
    return m_lossless[a] = readLossless(a);
}

std::optional<bool> PairEvidence::madeFrom(std::uint32_t a, std::uint32_t b)
{
    // The proof tells most pairs apart without a decode.
    const std::optional<similar::PhotoDifference> proof = prove(a, b);
    if (proof && proof->max > similar::kOneLevelOnProof)
        return false;
    if (const auto found = m_madeFrom.find({a, b}); found != m_madeFrom.end())
        return found->second;
    const FileRecord& lossless = fileOf(a);
    const FileRecord& lossy = fileOf(b);
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

void PairEvidence::ask(const Question& question)
{
    m_asked.insert(question);
    m_guessed = true;
}

bool PairEvidence::readLossless(std::uint32_t a)
{
    constexpr auto question = SamePhotoCache::Question::Lossless;
    for (std::size_t i : m_units[a].files) {
        const FileRecord& file = m_files[i];
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
        if (either && !known && m_cache && file.keepable())
            m_cache->storeEnlargement(file.identity, file.identity,
                lossless ? similar::Enlargement::Yes : similar::Enlargement::No, question);
        if (!lossless)
            return false;
    }
    return true;
}

} // namespace finder
