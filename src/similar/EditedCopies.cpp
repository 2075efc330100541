#include "similar/EditedCopies.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

namespace similar {

namespace {

bool isRegionEdit(const PhotoDifference& d)
{
    return d.ssim >= kMinSsim && d.mean <= kMaxMean && editOf(d) == Edit::Region;
}

// How far a pair is from the same photo outside its region: of two sources
// an edited copy could come from, the one it matches best elsewhere.
double distanceOutsideRegion(const PhotoDifference& d)
{
    return std::max({std::abs(d.tone.mean[0]), std::abs(d.tone.mean[1]), std::abs(d.tone.mean[2])})
        / kMaxTone
        + std::abs(d.tone.worstBand) / kMaxToneBand + d.shift / kMaxFramingShift
        + d.local.share / kMaxRegionShare;
}

} // namespace

std::vector<EditedGroup> findEditedCopies(const std::vector<PhotoUnit>& units,
    const std::vector<std::pair<std::uint32_t, std::uint32_t>>& candidates,
    const std::vector<PhotoGroup>& groups, PhotoEvidence& evidence)
{
    // Which same-photo group each unit is in, and whether it is its best copy.
    std::map<std::uint32_t, std::size_t> groupOf;
    std::set<std::uint32_t> isBest;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        groupOf[groups[g].best] = g;
        isBest.insert(groups[g].best);
        for (const auto& [unit, difference] : groups[g].others)
            groupOf[unit] = g;
    }
    auto pixels = [&](std::uint32_t unit) {
        return std::uint64_t(units[unit].signature.width) * units[unit].signature.height;
    };

    struct Choice {
        std::uint32_t source;
        PhotoDifference difference;
    };
    // The best copy of a same-photo group before a picture in none, then the
    // closest outside the region.
    auto rank = [&](std::uint32_t unit, const PhotoDifference& d) {
        return std::pair(isBest.count(unit) ? 0 : 1, distanceOutsideRegion(d));
    };
    std::map<std::uint32_t, Choice> sourceOf; // edited unit -> its closest source
    auto consider = [&](std::uint32_t source, std::uint32_t edited, const PhotoDifference& proof) {
        const PhotoDifference difference = measuredFrom(source, edited, proof);
        auto found = sourceOf.find(edited);
        if (found == sourceOf.end()
            || rank(source, difference) < rank(found->second.source, found->second.difference))
            sourceOf[edited] = {source, difference};
    };
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ungroupedPairs;
    for (const auto& [a, b] : candidates) {
        const auto inGroupA = groupOf.find(a);
        const auto inGroupB = groupOf.find(b);
        if (inGroupA != groupOf.end() && inGroupB != groupOf.end()
            && inGroupA->second == inGroupB->second)
            continue;
        const bool aBest = isBest.count(a) > 0;
        const bool bBest = isBest.count(b) > 0;
        // A member of a group other than its best copy is represented by it.
        if ((inGroupA != groupOf.end() && !aBest) || (inGroupB != groupOf.end() && !bBest))
            continue;
        const std::optional<PhotoDifference> proof = evidence.prove(a, b);
        if (!proof || !isRegionEdit(*proof))
            continue;
        if (aBest != bBest) {
            // A best copy is a source first: the photo its group's copies share.
            if (aBest)
                consider(a, b, *proof);
            else
                consider(b, a, *proof);
        } else if (!aBest) {
            ungroupedPairs.emplace_back(a, b);
        }
        // Two best copies of different groups: two photos, each with its own copies.
    }
    // Pictures in no group, neither already an edited copy of a best copy:
    // the one with more pixels is the source, of equal ones the first.
    for (const auto& [a, b] : ungroupedPairs) {
        if (sourceOf.count(a) || sourceOf.count(b))
            continue;
        const std::optional<PhotoDifference> proof = evidence.prove(a, b);
        if (!proof)
            continue;
        if (pixels(b) > pixels(a))
            consider(b, a, *proof);
        else
            consider(a, b, *proof);
    }
    std::map<std::uint32_t, EditedGroup> bySource;
    for (const auto& [edited, choice] : sourceOf) {
        EditedGroup& group = bySource[choice.source];
        group.source = choice.source;
        group.edited.emplace_back(edited, choice.difference);
    }
    std::vector<EditedGroup> result;
    for (auto& [source, group] : bySource) {
        std::stable_sort(group.edited.begin(), group.edited.end(),
            [](const auto& x, const auto& y) { return x.second.ssim > y.second.ssim; });
        result.push_back(std::move(group));
    }
    return result;
}

} // namespace similar
