#include "finder/Finder.h"

#include "finder/IgnoreList.h"
#include "finder/PictureReader.h"
#include "finder/ProofSource.h"
#include "finder/SearchFilters.h"
#include "finder/SearchStages.h"

namespace {

// Runs the same-photo stages after the identical groups are made.
void findSamePhotos(finder::SearchContext& context, finder::FileTable& files, FinderResult& result)
{
    finder::SamePhotoWork work(context);
    finder::signPictures(context, files, work);
    if (!context.stopped())
        finder::findCandidates(context, files, work);
    if (!context.stopped())
        finder::provePairs(context, work);
    if (!context.stopped())
        finder::groupSamePhotos(context, files, work, result);
    result.samePhotoSearched = true;
    context.stats.photoProofsMeasured = work.proofsMeasured;
    context.stats.photoProofDecodes = work.proofSource->proofDecodes();
    context.stats.memoryPeak = context.budget.peak();
}

// The stages in order over one table of files; a stage that is not asked
// for does not run, and none runs once the search is stopped.
FinderResult runStages(finder::SearchContext& context)
{
    FinderResult result;
    finder::FileTable files;
    finder::preparePictureReading();
    finder::scanFiles(context, files, result);
    if (!context.stopped() && context.options.useCache && !files.empty())
        finder::takeCachedFacts(context, files);
    if (!context.stopped())
        finder::readHeaders(context, files);
    if (!context.stopped())
        finder::decodePictures(context, files);
    FinderStats& stats = context.stats;
    if (context.cache) {
        context.cache->flush();
        stats.cacheUsed = context.cache->state() != finder::CacheStore::State::Bypassed;
        stats.cacheProblem = context.cache->problem();
    }
    stats.memoryBudget = context.budget.total();
    stats.memoryPeak = context.budget.peak();
    if (context.stopped()) {
        result.cancelled = true;
        result.unreadable.clear();
        return result;
    }
    finder::groupIdentical(files, result);
    if (context.options.samePhoto)
        findSamePhotos(context, files, result);
    if (context.stopped()) {
        result = FinderResult();
        result.cancelled = true;
        return result;
    }
    context.report(
        FinderProgress::Stage::Finished, std::int64_t(files.size()), std::int64_t(files.size()));
    return result;
}

} // namespace

Finder::Finder(FinderOptions options)
    : m_options(std::move(options))
{
}

FinderResult Finder::run(const std::atomic<bool>* stop, const ProgressCallback& progress)
{
    m_stats = FinderStats();
    FinderResult result;
    {
        finder::SearchContext context(m_options, m_stats, stop, progress);
        result = runStages(context);
    }
    if (result.cancelled)
        return result;
    // What the user said of files and groups, for every front-end alike.
    finder::markProtected(result, m_options.protectedFolders, stop);
    if (m_options.useIgnoreList) {
        const finder::IgnoreList ignored = finder::IgnoreList::load(
            m_options.ignoreListPath.isEmpty() ? finder::IgnoreList::defaultPath()
                                               : m_options.ignoreListPath);
        ignored.apply(result, m_options.showIgnored);
    }
    return result;
}

int carryOverRenamedFiles(
    const FinderOptions& options, const std::vector<std::pair<FileIdentity, FileIdentity>>& renamed)
{
    if (!options.useCache || renamed.empty())
        return 0;
    const std::uint64_t budget
        = options.memoryBudget > 0 ? options.memoryBudget : finder::MemoryBudget::defaultSize();
    // One store for the facts and the same-photo search's signatures, proofs
    // and verdicts.
    const std::unique_ptr<finder::CacheStore> store = finder::openCacheStore(options, budget);
    int carried = finder::FingerprintCache(*store).carryOverRenamed(renamed);
    carried += finder::SamePhotoCache(*store).carryOverRenamed(renamed);
    return carried;
}
