#include "finder/PairEvidence.h"
#include "finder/SearchStages.h"

#include <algorithm>
#include <map>

namespace finder {

void findCandidates(SearchContext& context, const FileTable& files, SamePhotoWork& work)
{
    // Units: each identical group is one; every other signed picture is one.
    std::map<int, std::size_t> unitOfGroup;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const FileRecord& file = files[i];
        if (!file.readable() || !file.signature)
            continue;
        if (file.identicalGroup < 0) {
            work.units.push_back({{FileId(i)}, -1});
            continue;
        }
        auto [slot, added] = unitOfGroup.try_emplace(file.identicalGroup, work.units.size());
        if (added)
            work.units.push_back({{}, file.identicalGroup});
        work.units[slot->second].files.push_back(FileId(i));
    }
    for (const UnitFiles& unit : work.units) {
        const FileRecord& first = files[unit.files[0]];
        similar::PhotoUnit photo;
        photo.signature = *first.signature;
        photo.lossRank = similar::lossRank(first.type);
        photo.modifiedNs = first.identity.modifiedNs;
        for (FileId id : unit.files) {
            photo.modifiedNs = std::min(photo.modifiedNs, files[id].identity.modifiedNs);
            photo.lossRank = std::min(photo.lossRank, similar::lossRank(files[id].type));
            photo.largestFile = std::max(photo.largestFile, files[id].identity.size);
        }
        work.photos.push_back(photo);
    }

    const auto unitCount = std::int64_t(work.photos.size());
    context.report(FinderProgress::Stage::FindingCandidates, 0, unitCount);
    work.candidates = similar::candidatePairs(work.photos);
    context.stats.photoCandidates = std::int64_t(work.candidates.size());
    context.report(FinderProgress::Stage::FindingCandidates, unitCount, unitCount);
    work.evidence = std::make_unique<PairEvidence>(
        files, work.units, context.photoCache.get(), work.proofsMeasured, *work.proofSource);
}

} // namespace finder
