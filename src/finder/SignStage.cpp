#include "finder/PairEvidence.h"
#include "finder/PictureReader.h"
#include "finder/ProofSource.h"
#include "finder/SearchStages.h"
#include "finder/WorkerPool.h"

namespace finder {

SamePhotoWork::SamePhotoWork(SearchContext& context)
    : proofSource(std::make_unique<ProofSource>(context.budget, *context.proofs, context.stop))
{
}

SamePhotoWork::~SamePhotoWork() = default;

void signPictures(SearchContext& context, FileTable& files, SamePhotoWork& work)
{
    // The search's one store, opened when the facts were looked up.
    if (context.store && context.store->readable())
        context.photoCache = std::make_unique<SamePhotoCache>(*context.store);
    SamePhotoCache* cache = context.photoCache.get();

    // Signatures: from this search's decodes, the cache, or a reduced decode.
    std::vector<FileId> missing;
    std::vector<char> learned(files.size(), 0); // not vector<bool>: written from the workers
    for (std::size_t i = 0; i < files.size(); ++i) {
        FileRecord& file = files[i];
        if (!file.readable())
            continue;
        if (file.signature) {
            learned[i] = 1;
            continue;
        }
        if (cache)
            file.signature = cache->signature(file.identity);
        if (!file.signature)
            missing.push_back(FileId(i));
    }
    std::atomic<std::int64_t> done{0};
    const auto total = std::int64_t(missing.size());
    runOnWorkers(
        missing.size(), context.threads, context.stop,
        [&](std::size_t n) {
            files[missing[n]].signature = work.proofSource->signature(files[missing[n]]);
            learned[missing[n]] = 1;
            ++done;
        },
        [&] { context.report(FinderProgress::Stage::Signing, done.load(), total); });
    context.stats.signaturesMade = total;
    if (cache) {
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (learned[i] && files[i].signature && files[i].keepable())
                cache->storeSignature(files[i].identity, *files[i].signature);
        }
        cache->flush();
    }
}

} // namespace finder
