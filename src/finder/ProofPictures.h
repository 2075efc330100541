#pragma once
// The proof pictures a same-photo search keeps (similar::proofPicture: each
// picture averaged down to at most 512 pixels on its long side, in 8-bit
// samples: 3 bytes a pixel, 1 when grey, one more with transparency), so that a
// picture with several candidates is decoded once, and a picture the
// identical search decoded anyway is not decoded again for its proofs.
//
// What they hold comes out of the search's memory budget: a picture is kept
// only while its bytes fit beside the decodes in flight (and in at most half
// the budget, and never more than kKeptProofBytes: a budget of a quarter of
// a large machine's memory would otherwise let a search of many thousand
// pictures hold gigabytes of them), and a decode that waits for memory takes
// it back, the least recently used first. A picture not kept is decoded
// again when asked for.

#include "finder/MemoryBudget.h"
#include "finder/PixelFingerprint.h"
#include "similar/ReducedPicture.h"

#include <QByteArray>

#include <map>
#include <memory>
#include <mutex>

namespace finder {

// The most the kept proof pictures hold: about 800 pictures of 512 x 320
// in colour, more than a folder of 650 photos and their copies asks for.
inline constexpr std::uint64_t kKeptProofBytes = 384ULL << 20;

class ProofPictures {
public:
    using Picture = std::shared_ptr<const similar::ProofPicture>;

    // Registers itself as the budget's reclaimer until destroyed; destroy it
    // only when no decode of the budget runs.
    explicit ProofPictures(MemoryBudget& budget);
    ~ProofPictures();
    ProofPictures(const ProofPictures&) = delete;
    ProofPictures& operator=(const ProofPictures&) = delete;

    // Pictures with equal fingerprints have equal proof pictures, so files
    // with the same pixels share one; a file whose fingerprint this search
    // does not know is kept under its path.
    static QByteArray keyOf(const PixelFingerprint& fingerprint);
    static QByteArray keyOf(const QByteArray& path);

    // Keeps the picture if its bytes fit now; never waits.
    void keep(const QByteArray& key, Picture picture);
    // Nothing when it was never kept or has been given back.
    Picture find(const QByteArray& key);

    // Gives back at least `bytes` (or all it holds), least recently used first.
    void giveBack(std::uint64_t bytes);

    std::uint64_t bytesHeld() const;

    static std::uint64_t bytesOf(const similar::ProofPicture& picture);

private:
    struct Entry {
        Picture picture;
        std::uint64_t bytes = 0;
        std::uint64_t lastUse = 0;
    };
    MemoryBudget& m_budget;
    mutable std::mutex m_mutex;
    std::map<QByteArray, Entry> m_pictures;
    std::uint64_t m_bytes = 0;
    std::uint64_t m_clock = 0;
};

} // namespace finder
