#include "finder/PairEvidence.h"
#include "finder/PictureTypes.h"
#include "finder/SearchStages.h"
#include "similar/EditedCopies.h"

#include <algorithm>
#include <tuple>

namespace finder {

namespace {

// The file of an identical member that "Keep the oldest" keeps: the oldest,
// then the shorter path, then the lower path bytes.
int oldestFileOf(const SamePhotoMember& member)
{
    auto order
        = [](const FoundFile& f) { return std::tuple(f.identity.modifiedNs, f.path.size()); };
    int oldest = 0;
    for (int i = 1; i < int(member.files.size()); ++i) {
        const FoundFile& a = member.files[std::size_t(i)];
        const FoundFile& b = member.files[std::size_t(oldest)];
        if (order(a) < order(b) || (order(a) == order(b) && a.path < b.path))
            oldest = i;
    }
    return oldest;
}

std::int64_t totalSize(const SamePhotoGroup& group)
{
    std::int64_t total = 0;
    for (const SamePhotoMember& member : group.members) {
        for (const FoundFile& file : member.files)
            total += file.identity.size;
    }
    return total;
}

} // namespace

void groupSamePhotos(
    SearchContext& context, const FileTable& files, SamePhotoWork& work, FinderResult& result)
{
    context.report(FinderProgress::Stage::Grouping, 0, 2);
    const std::vector<similar::EditedGroup> editedGroups
        = similar::findEditedCopies(work.photos, work.candidates, work.groups, *work.evidence);
    context.report(FinderProgress::Stage::Grouping, 1, 2);
    if (SamePhotoCache* cache = context.photoCache.get()) {
        cache->flush();
        context.noteCacheProblem(cache->problem());
    }

    auto memberOf = [&](std::uint32_t unit) {
        SamePhotoMember member;
        const FileRecord& first = files[work.units[unit].files[0]];
        member.width = first.width;
        member.height = first.height;
        member.identicalGroup = work.units[unit].identicalGroup;
        for (FileId id : work.units[unit].files)
            member.files.push_back(
                {files[id].path, files[id].identity, finder::typeName(files[id].type)});
        return member;
    };
    for (const similar::PhotoGroup& group : work.groups) {
        SamePhotoGroup found;
        found.members.push_back(memberOf(group.best));
        found.bestBecause = QString::fromStdString(group.because);
        if (group.hasBestCopy)
            found.bestFile = oldestFileOf(found.members.front());
        for (const auto& [unit, difference] : group.others) {
            found.members.push_back(memberOf(unit));
            found.members.back().difference = difference;
        }
        result.samePhotoGroups.push_back(std::move(found));
    }
    for (const similar::EditedGroup& group : editedGroups) {
        SamePhotoGroup found;
        found.members.push_back(memberOf(group.source));
        for (const auto& [unit, difference] : group.edited) {
            found.members.push_back(memberOf(unit));
            found.members.back().difference = difference;
        }
        result.editedGroups.push_back(std::move(found));
    }
    for (auto* list : {&result.samePhotoGroups, &result.editedGroups}) {
        std::stable_sort(
            list->begin(), list->end(), [&](const SamePhotoGroup& a, const SamePhotoGroup& b) {
                const std::int64_t sizeA = totalSize(a);
                const std::int64_t sizeB = totalSize(b);
                if (sizeA != sizeB)
                    return sizeA > sizeB;
                return a.members.front().files.front().path < b.members.front().files.front().path;
            });
    }
    context.report(FinderProgress::Stage::Grouping, 2, 2);
}

} // namespace finder
