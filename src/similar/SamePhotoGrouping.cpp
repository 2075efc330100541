#include "similar/SamePhotoGrouping.h"

#include "similar/BestCopy.h"
#include "similar/SignatureIndex.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <numeric>

namespace similar {

using decoding::PictureType;

int lossRank(PictureType type)
{
    switch (type) {
    case PictureType::Png:
    case PictureType::Tiff:
    case PictureType::Bmp:
        return 0;
    case PictureType::Gif: // lossless, but only 256 colours
        return 1;
    case PictureType::Jpeg2000:
    case PictureType::WebP: // either may be lossless
        return 2;
    case PictureType::Heif:
    case PictureType::Avif:
        return 3;
    case PictureType::Jpeg:
        return 4;
    case PictureType::Unknown:
        break;
    }
    return 5;
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> candidatePairs(
    const std::vector<PhotoUnit>& units, std::size_t nearest)
{
    // The index ranks equal distances by nearness in number: number the
    // units by aspect ratio, so that those that can be compared come first.
    std::vector<std::uint32_t> unitAt(units.size());
    std::iota(unitAt.begin(), unitAt.end(), 0U);
    auto aspect = [&](std::uint32_t unit) {
        const PhotoSignature& s = units[unit].signature;
        return s.height ? double(s.width) / double(s.height) : 0.0;
    };
    std::stable_sort(unitAt.begin(), unitAt.end(),
        [&](std::uint32_t a, std::uint32_t b) { return aspect(a) < aspect(b); });
    std::vector<std::uint64_t> hashes;
    hashes.reserve(units.size());
    for (std::uint32_t unit : unitAt)
        hashes.push_back(units[unit].signature.hash);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;
    for (const auto& [i, j] : SignatureIndex::nearestPairs(
             hashes, kMaxHashDistance, nearest, [&](std::uint32_t i, std::uint32_t j) {
                 const PhotoSignature& sa = units[unitAt[i]].signature;
                 const PhotoSignature& sb = units[unitAt[j]].signature;
                 return aspectsAgree(sa.width, sa.height, sb.width, sb.height)
                     && thumbnailDifference(sa, sb) <= kMaxThumbnailDifference;
             }))
        pairs.push_back(std::minmax(unitAt[i], unitAt[j]));
    std::sort(pairs.begin(), pairs.end());
    return pairs;
}

namespace {

// Hash bits beyond which a member is not measured against its cluster's
// largest: twice the candidates' distance, which copies of one photo keep
// well within even through a chain of candidates.
constexpr int kMaxAlikeHashDistance = 2 * kMaxHashDistance;

class Clusters {
public:
    explicit Clusters(std::size_t n)
        : m_parent(n)
    {
        std::iota(m_parent.begin(), m_parent.end(), 0U);
    }
    std::uint32_t find(std::uint32_t x)
    {
        while (m_parent[x] != x)
            x = m_parent[x] = m_parent[m_parent[x]];
        return x;
    }
    void join(std::uint32_t a, std::uint32_t b) { m_parent[find(a)] = find(b); }

private:
    std::vector<std::uint32_t> m_parent;
};

std::uint64_t pixelsOf(const PhotoUnit& unit)
{
    return std::uint64_t(unit.signature.width) * unit.signature.height;
}

// Better copies first: most pixels, least lossy type, largest file.
bool betterCopy(const PhotoUnit& a, const PhotoUnit& b)
{
    if (pixelsOf(a) != pixelsOf(b))
        return pixelsOf(a) > pixelsOf(b);
    if (a.lossRank != b.lossRank)
        return a.lossRank < b.lossRank;
    return a.largestFile > b.largestFile;
}

// Names the group's best copy; when it is not the reference, it takes the
// reference's place and every other member is measured against it (all must
// pass, or the group keeps its reference and has no best copy).
template <typename Proof>
void chooseBest(
    const std::vector<PhotoUnit>& units, PhotoGroup& group, PhotoEvidence& evidence, Proof& proof)
{
    std::vector<std::uint32_t> members{group.best};
    for (const auto& [unit, difference] : group.others)
        members.push_back(unit);
    BestCopy best = chooseBestCopy(units, members, evidence);
    if (best.unit && *best.unit != group.best) {
        std::vector<std::pair<std::uint32_t, PhotoDifference>> others;
        for (std::uint32_t unit : members) {
            if (unit == *best.unit)
                continue;
            const std::optional<PhotoDifference> difference = proof(*best.unit, unit);
            if (!difference || !passes(*difference)) {
                best = {std::nullopt, "no clear best copy: not every copy is like the best"};
                break;
            }
            others.emplace_back(unit, *difference);
        }
        if (best.unit) {
            group.best = *best.unit;
            group.others = std::move(others);
        }
    }
    group.hasBestCopy = best.unit.has_value();
    group.because = std::move(best.because);
}

} // namespace

std::vector<PhotoGroup> groupSamePhotos(const std::vector<PhotoUnit>& units,
    const std::vector<std::pair<std::uint32_t, std::uint32_t>>& candidates, PhotoEvidence& evidence)
{
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::optional<PhotoDifference>> proven;
    auto proof = [&](std::uint32_t a, std::uint32_t b) {
        const auto key = std::minmax(a, b);
        auto found = proven.find(key);
        if (found == proven.end())
            found = proven.emplace(key, evidence.prove(key.first, key.second)).first;
        return found->second;
    };
    Clusters clusters(units.size());
    for (const auto& [a, b] : candidates) {
        const std::optional<PhotoDifference> difference = proof(a, b);
        if (difference && passes(*difference))
            clusters.join(a, b);
    }
    std::map<std::uint32_t, std::vector<std::uint32_t>> byCluster;
    for (const auto& [a, b] : candidates) {
        for (std::uint32_t unit : {a, b})
            byCluster[clusters.find(unit)].push_back(unit);
    }

    std::vector<PhotoGroup> groups;
    for (auto& [root, members] : byCluster) {
        std::sort(members.begin(), members.end());
        members.erase(std::unique(members.begin(), members.end()), members.end());
        std::vector<std::uint32_t> left = members;
        std::stable_sort(left.begin(), left.end(),
            [&](std::uint32_t a, std::uint32_t b) { return betterCopy(units[a], units[b]); });
        while (left.size() >= 2) {
            // Only members alike the largest take part this round: a copy
            // that differs from it (a watermark, a patch) must not become the
            // reference through a smaller copy that hides its edit, nor join
            // through one. The others are grouped again afterwards, in the
            // same order. A member whose aspect ratio differs from the
            // largest's cannot pass, nor one whose hash is far beyond the
            // candidates' distance: neither is measured, so that a long chain
            // of pictures each like the next (the frames of a pan) costs few
            // proofs per round, not one for every picture left.
            const PhotoSignature& largest = units[left.front()].signature;
            std::vector<std::uint32_t> alike{left.front()};
            std::vector<std::uint32_t> rest;
            for (std::size_t k = 1; k < left.size(); ++k) {
                const PhotoSignature& other = units[left[k]].signature;
                if (!aspectsAgree(largest.width, largest.height, other.width, other.height)
                    || hashDistance(largest.hash, other.hash) > kMaxAlikeHashDistance) {
                    rest.push_back(left[k]);
                    continue;
                }
                const std::optional<PhotoDifference> difference = proof(left.front(), left[k]);
                (difference && passes(*difference) ? alike : rest).push_back(left[k]);
            }
            // The reference is the first that is not an enlargement of the
            // largest member clearly smaller than itself (a member one pixel
            // smaller says nothing: reducing by a pixel loses nothing).
            std::size_t bestAt = 0;
            for (; bestAt + 1 < alike.size(); ++bestAt) {
                const PhotoSignature& candidate = units[alike[bestAt]].signature;
                std::optional<std::uint32_t> smaller;
                for (std::size_t k = bestAt + 1; k < alike.size(); ++k) {
                    const PhotoSignature& other = units[alike[k]].signature;
                    if (std::uint64_t(other.width) * 4 <= std::uint64_t(candidate.width) * 3) {
                        smaller = alike[k];
                        break;
                    }
                }
                if (!smaller || evidence.enlargement(alike[bestAt], *smaller) != Enlargement::Yes)
                    break;
            }
            const std::uint32_t best = alike[bestAt];
            PhotoGroup group;
            group.best = best;
            std::vector<std::uint32_t> unlike; // alike the largest, but not the reference
            for (std::uint32_t unit : alike) {
                if (unit == best)
                    continue;
                const std::optional<PhotoDifference> difference = proof(best, unit);
                if (difference && passes(*difference))
                    group.others.emplace_back(unit, measuredFrom(best, unit, *difference));
                else
                    unlike.push_back(unit);
            }
            if (!group.others.empty()) {
                chooseBest(units, group, evidence, proof);
                std::stable_sort(group.others.begin(), group.others.end(),
                    [](const auto& a, const auto& b) { return a.second.ssim > b.second.ssim; });
                groups.push_back(std::move(group));
            }
            // Both lists keep the order of `left`: merged, better copies
            // first, and of equal ones the rest before the unlike.
            left.clear();
            std::merge(rest.begin(), rest.end(), unlike.begin(), unlike.end(),
                std::back_inserter(left),
                [&](std::uint32_t a, std::uint32_t b) { return betterCopy(units[a], units[b]); });
        }
    }
    return groups;
}

} // namespace similar
