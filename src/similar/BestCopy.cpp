#include "similar/BestCopy.h"

#include "similar/SamePhotoGrouping.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace similar {

namespace {

std::uint64_t pixelsOf(const PhotoUnit& unit)
{
    return std::uint64_t(unit.signature.width) * unit.signature.height;
}

// Whether a holds more pixels than b by at least a tenth.
bool clearlyMorePixels(const PhotoUnit& a, const PhotoUnit& b)
{
    return pixelsOf(a) * 10 >= pixelsOf(b) * 11;
}

// Of copies the content cannot tell apart: the one clearly older than the others.
BestCopy oldestOf(
    const std::vector<PhotoUnit>& units, std::vector<std::uint32_t> copies, const char* because)
{
    std::stable_sort(copies.begin(), copies.end(), [&](std::uint32_t a, std::uint32_t b) {
        return units[a].modifiedNs < units[b].modifiedNs;
    });
    if (copies.size() == 1
        || units[copies[1]].modifiedNs - units[copies[0]].modifiedNs > kClearlyOlderNs)
        return {copies[0], because};
    return {std::nullopt, "no clear best copy: copies of the same size saved within a day"};
}

// One row of the frame as 8-bit RGBA levels.
void levelsOfRow(const FrameView& frame, std::uint32_t y, std::uint8_t* out)
{
    const std::uint8_t* row = frame.data + std::size_t(y) * frame.stride;
    if (frame.bgraWords) {
        for (std::uint32_t x = 0; x < frame.width; ++x) {
            std::uint32_t word;
            std::memcpy(&word, row + 4 * std::size_t(x), 4);
            out[4 * x + 0] = std::uint8_t(word >> 16);
            out[4 * x + 1] = std::uint8_t(word >> 8);
            out[4 * x + 2] = std::uint8_t(word);
            out[4 * x + 3] = std::uint8_t(word >> 24);
        }
    } else if (frame.bytesPerSample == 2) {
        for (std::size_t i = 0; i < std::size_t(frame.width) * 4; ++i) {
            std::uint16_t sample;
            std::memcpy(&sample, row + 2 * i, 2);
            out[i] = std::uint8_t((std::uint32_t(sample) + 128) / 257);
        }
    } else {
        std::memcpy(out, row, std::size_t(frame.width) * 4);
    }
}

} // namespace

std::vector<std::uint8_t> eightBitLevels(const FrameView& frame)
{
    std::vector<std::uint8_t> levels(std::size_t(frame.width) * frame.height * 4);
    for (std::uint32_t y = 0; y < frame.height; ++y)
        levelsOfRow(frame, y, levels.data() + std::size_t(y) * frame.width * 4);
    return levels;
}

bool withinOneLevel(const FrameView& frame, const std::vector<std::uint8_t>& levels)
{
    const std::size_t rowSamples = std::size_t(frame.width) * 4;
    if (levels.size() != rowSamples * frame.height)
        return false;
    std::vector<std::uint8_t> row(rowSamples);
    for (std::uint32_t y = 0; y < frame.height; ++y) {
        levelsOfRow(frame, y, row.data());
        const std::uint8_t* other = levels.data() + std::size_t(y) * rowSamples;
        for (std::size_t i = 0; i < rowSamples; ++i) {
            if (std::abs(int(row[i]) - int(other[i])) > 1)
                return false;
        }
    }
    return true;
}

BestCopy chooseBestCopy(const std::vector<PhotoUnit>& units, std::vector<std::uint32_t> members,
    PhotoEvidence& evidence)
{
    std::stable_sort(members.begin(), members.end(),
        [&](std::uint32_t a, std::uint32_t b) { return pixelsOf(units[a]) > pixelsOf(units[b]); });
    // The largest copies, less those that are enlargements of the next
    // smaller one. A copy that may be one stays in the contest beside a copy
    // of its size that is surely none (the rules for equal sizes decide
    // between them); without such a copy it leaves the group without a best.
    bool enlargementsLeft = false;
    std::vector<std::uint32_t> largest;
    while (!members.empty()) {
        std::vector<std::uint32_t> unsure;
        const PhotoUnit& top = units[members.front()];
        const auto smaller = std::find_if(members.begin(), members.end(),
            [&](std::uint32_t m) { return clearlyMorePixels(top, units[m]); });
        std::vector<std::uint32_t> tier(members.begin(), smaller);
        if (smaller == members.end()) {
            largest = std::move(tier);
            break;
        }
        for (std::uint32_t m : tier) {
            switch (evidence.enlargement(m, *smaller)) {
            case Enlargement::No:
                largest.push_back(m);
                break;
            case Enlargement::Yes:
                // Its pixels say enlargement, its time says it came first:
                // a photo without detail or grain beyond the smaller size.
                if (units[m].modifiedNs + kClearlyOlderNs < units[*smaller].modifiedNs)
                    return {std::nullopt,
                        "no clear best copy: the largest looks enlarged but is older"};
                break;
            case Enlargement::Unsure:
                unsure.push_back(m);
                break;
            }
        }
        if (!largest.empty()) {
            // In the tier's order, so that ties fall as before.
            largest.insert(largest.end(), unsure.begin(), unsure.end());
            std::stable_sort(largest.begin(), largest.end(), [&](std::uint32_t a, std::uint32_t b) {
                return std::find(tier.begin(), tier.end(), a)
                    < std::find(tier.begin(), tier.end(), b);
            });
            break;
        }
        if (!unsure.empty())
            return {std::nullopt, "no clear best copy: the largest may be an enlargement"};
        enlargementsLeft = true;
        members.erase(members.begin(), smaller);
    }
    if (largest.size() == 1)
        return {
            largest.front(), enlargementsLeft ? "most pixels but for enlargements" : "most pixels"};

    // The same size: a lossless copy holds more than a lossy one unless it was made from it.
    std::vector<std::uint32_t> lossless;
    std::vector<std::uint32_t> lossy;
    for (std::uint32_t m : largest)
        (evidence.isLossless(m) ? lossless : lossy).push_back(m);
    std::vector<std::uint32_t> madeFromNothing;
    for (std::uint32_t x : lossless) {
        bool made = false;
        for (std::uint32_t y : lossy) {
            const std::optional<bool> from = evidence.madeFrom(x, y);
            if (!from)
                return {std::nullopt, "no clear best copy: the copies could not be compared"};
            if (*from) {
                made = true;
                break;
            }
        }
        if (!made)
            madeFromNothing.push_back(x);
    }
    if (madeFromNothing.size() == 1 && !lossy.empty())
        return {madeFromNothing.front(), "made from nothing else: the lossless copy holds more"};
    if (!madeFromNothing.empty())
        return oldestOf(units, madeFromNothing, "oldest of equal size");
    if (lossy.size() == 1)
        return {lossy.front(), "the lossless copy was made from it"};
    return oldestOf(units, lossy, "oldest of equal size");
}

} // namespace similar
