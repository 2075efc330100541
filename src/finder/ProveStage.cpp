#include "finder/PairEvidence.h"
#include "finder/SearchStages.h"
#include "finder/WorkerPool.h"

#include <atomic>

namespace finder {

void provePairs(SearchContext& context, SamePhotoWork& work)
{
    PairEvidence& evidence = *work.evidence;
    SamePhotoCache* cache = context.photoCache.get();
    const auto& candidates = work.candidates;

    // Candidates not in the cache are measured on the workers.
    std::vector<std::size_t> toMeasure;
    for (std::size_t k = 0; k < candidates.size(); ++k) {
        const auto [a, b] = candidates[k];
        std::optional<similar::PhotoDifference> proof;
        if (cache)
            proof = cache->proof(evidence.fileOf(a).identity, evidence.fileOf(b).identity);
        if (proof)
            evidence.know(a, b, proof);
        else
            toMeasure.push_back(k);
    }
    // Proving counts every pair: the candidates the cache knew are done at
    // once, and what the grouping asks beyond them (a member against its
    // best copy, an enlargement, a decode held) adds to the total.
    std::int64_t proven = std::int64_t(candidates.size() - toMeasure.size());
    auto toProve = std::int64_t(candidates.size());
    std::atomic<std::int64_t> done{0};
    const auto tick
        = [&] { context.report(FinderProgress::Stage::Proving, proven + done.load(), toProve); };
    // Answers questions on the workers, learned on this thread; false when the search stopped.
    std::vector<Answer> answers;
    const auto answerAll = [&](const std::vector<Question>& questions) {
        answers.assign(questions.size(), Answer());
        done = 0;
        runOnWorkers(
            questions.size(), context.threads, context.stop,
            [&](std::size_t n) {
                answers[n] = evidence.answer(questions[n]);
                ++done;
            },
            tick);
        if (context.stopped())
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
    for (;;) {
        evidence.beginPlan();
        work.groups = similar::groupSamePhotos(work.photos, candidates, evidence);
        questions = evidence.endPlan();
        if (questions.empty())
            break;
        toProve += std::int64_t(questions.size());
        if (!answerAll(questions))
            return;
    }
}

} // namespace finder
