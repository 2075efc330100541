#pragma once
// The whole-folder search's second kind of group: the same photo saved
// differently. Runs after the identical groups are made: gives every
// picture that has none yet a signature (a JPEG's always from a
// reduced-scale decode, any other's from its proof picture), finds
// candidates through the signature index, proves each by measuring both
// proof pictures, and groups them (similar::groupSamePhotos). Every proof,
// the candidates' and those the grouping asks for beyond them (a member
// against its best copy), and every enlargement or lossless source it asks
// about, is found on the worker threads. Identical
// groups take part as one member each. A proof picture the identical search
// kept is used as it is; any other is decoded within the search's memory
// budget. Signatures and proofs are kept in the cache, so a warm search
// decodes nothing again.

#include "finder/Finder.h"
#include "finder/FinderResult.h"
#include "finder/MemoryBudget.h"
#include "finder/PixelFingerprint.h"
#include "finder/ProofPictures.h"
#include "similar/PhotoSignature.h"

#include <atomic>
#include <functional>
#include <optional>
#include <string>

namespace finder {

// A picture's fingerprint, same-photo signature and proof picture from its
// full decode (signature and proof picture for RGBA pictures only). The
// signature is made as every other decode of the search makes it: a JPEG's
// from its decode at similar::jpegReduction (a second, reduced decode when
// that is not the full one), every other picture's from its proof picture.
struct SignedFingerprint {
    bool ok = false;
    std::string reason; // when not ok
    decoding::FailureKind failureKind = decoding::FailureKind::Lasting; // when not ok
    PixelFingerprint fingerprint;
    std::optional<similar::PhotoSignature> signature;
    ProofPictures::Picture proof;
};
SignedFingerprint fingerprintAndSignature(decoding::Bytes file, decoding::PictureType type);

// A readable picture of the search.
struct PhotoFile {
    QByteArray path;
    FileIdentity identity;
    decoding::PictureType type = decoding::PictureType::Unknown;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t frames = 0;
    bool cacheable = false; // what is learned about it may be kept
    std::optional<similar::PhotoSignature> signature; // when its decode made one
    std::optional<PixelFingerprint> fingerprint; // when known: the key of its proof picture
};

class SamePhotoSearch {
public:
    // Called on the calling thread with the stage at hand: Signing,
    // FindingCandidates, Proving, then Grouping.
    using Progress
        = std::function<void(FinderProgress::Stage stage, std::int64_t done, std::int64_t total)>;

    // `proofs` holds what the identical search kept; pictures decoded for
    // proofs take their memory from `budget` and are kept there too.
    SamePhotoSearch(const FinderOptions& options, int threads, const std::atomic<bool>* stop,
        MemoryBudget& budget, ProofPictures& proofs, Progress progress);

    // Fills result.samePhotoGroups; result.groups must already be made.
    void run(std::vector<PhotoFile>& files, FinderResult& result);

    std::int64_t signaturesMade() const { return m_signaturesMade; }
    std::int64_t candidates() const { return m_candidates; }
    std::int64_t proofsMeasured() const { return m_proofsMeasured; }
    // Pictures decoded (again) for their proof pictures: not kept from the
    // identical search's decode, or given back to the budget since.
    std::int64_t proofDecodes() const { return m_proofDecodes; }
    // Why the cache's same-photo tables could not be written; empty when they could.
    QString cacheProblem() const { return m_cacheProblem; }

private:
    const FinderOptions& m_options;
    int m_threads;
    const std::atomic<bool>* m_stop;
    MemoryBudget& m_budget;
    ProofPictures& m_proofs;
    Progress m_progress;
    std::int64_t m_signaturesMade = 0;
    std::int64_t m_candidates = 0;
    std::int64_t m_proofsMeasured = 0;
    std::atomic<std::int64_t> m_proofDecodes = 0;
    QString m_cacheProblem;
};

} // namespace finder
