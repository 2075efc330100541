#pragma once
// Where the same-photo search's pictures come from when the identical
// search's decode did not leave them: proof pictures (the ones kept, else a
// decode now, kept for the next candidate if it fits), signatures of files
// never decoded, and the decodes the proof of a pair, an enlargement or a
// lossless source needs. Every decode takes its memory from the search's
// budget; a file that no longer reads or decodes, or a search that stops,
// gives nothing (the pair is then not proven, and nothing is grouped on it).

#include "finder/FileTable.h"
#include "finder/MemoryBudget.h"
#include "finder/ProofPictures.h"
#include "similar/Enlargement.h"
#include "similar/PhotoDifference.h"
#include "similar/PhotoSignature.h"

#include <atomic>
#include <cstdint>
#include <optional>

namespace finder {

class ProofSource {
public:
    ProofSource(MemoryBudget& budget, ProofPictures& kept, const std::atomic<bool>* stop);

    ProofPictures::Picture get(const FileRecord& file);

    // A signature for a file the identical search did not decode: a JPEG's
    // from its reduced decode, any other's from its proof picture (kept for
    // its proofs).
    std::optional<similar::PhotoSignature> signature(const FileRecord& file);

    // The proof of a pair: their proof pictures measured, or every frame's
    // when either has several. Nothing when their aspects differ or either
    // no longer decodes.
    std::optional<similar::PhotoDifference> measure(const FileRecord& a, const FileRecord& b);

    // Whether `larger` is an enlargement of a width x height copy, judged at
    // the smallest size above that one that the file decodes to at once (a
    // JPEG's reduced decode), since an enlargement does not show at proof size.
    similar::Enlargement enlargement(
        const FileRecord& larger, std::uint32_t width, std::uint32_t height);

    // Whether the file is coded without loss, read from its headers.
    bool isLossless(const FileRecord& file);

    // Whether `lossless` holds `lossy`'s decode: the same size, every sample
    // within one level. Nothing when either no longer decodes.
    std::optional<bool> holds(const FileRecord& lossless, const FileRecord& lossy);

    // Pictures decoded for their proof pictures: not kept from the identical
    // search's decode, or given back to the budget since.
    std::int64_t proofDecodes() const { return m_decodes.load(); }

private:
    MemoryBudget& m_budget;
    ProofPictures& m_kept;
    const std::atomic<bool>* m_stop;
    std::atomic<std::int64_t> m_decodes{0};
};

} // namespace finder
