#pragma once
// What the same-photo grouping knows of pairs of units, and how it learns
// the rest: proofs, enlargement verdicts, lossless sources, from what is
// known, the cache, or the files (ProofSource). The grouping runs first to
// plan: what nobody knows is noted as a question, answered on the workers,
// and learned on the calling thread (see beginPlan).

#include "finder/FileTable.h"
#include "finder/ProofSource.h"
#include "finder/SamePhotoCache.h"
#include "finder/SearchStages.h"
#include "similar/SamePhotoGrouping.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace finder {

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

class PairEvidence : public similar::PhotoEvidence {
public:
    // `cache` may be null; `measured` counts the pairs measured from the files.
    PairEvidence(const FileTable& files, const std::vector<UnitFiles>& units, SamePhotoCache* cache,
        std::int64_t& measured, ProofSource& proofs)
        : m_files(files)
        , m_units(units)
        , m_cache(cache)
        , m_measured(measured)
        , m_proofs(proofs)
    {
    }

    const FileRecord& fileOf(std::uint32_t unit) const { return m_files[m_units[unit].files[0]]; }

    void beginPlan();
    // What the run asked for and nobody knew.
    std::vector<Question> endPlan();

    // On a worker: the answer to a question, nothing kept.
    Answer answer(const Question& question);
    // On the calling thread: an answer found on the workers, kept for the
    // grouping and in the cache.
    void learn(const Question& question, const Answer& answer);
    // Proofs measured on the workers before the grouping asks for them.
    void know(std::uint32_t a, std::uint32_t b, std::optional<similar::PhotoDifference> proof);

    std::optional<similar::PhotoDifference> prove(std::uint32_t a, std::uint32_t b) override;
    similar::Enlargement enlargement(std::uint32_t a, std::uint32_t b) override;
    bool isLossless(std::uint32_t a) override;
    std::optional<bool> madeFrom(std::uint32_t a, std::uint32_t b) override;

private:
    void ask(const Question& question);
    bool readLossless(std::uint32_t a);

    const FileTable& m_files;
    const std::vector<UnitFiles>& m_units;
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

} // namespace finder
