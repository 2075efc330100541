#include "similar/RegionFigures.h"

#include "similar/ProofRule.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace similar {

namespace {

// Sums of one per-pixel value over the blocks of a fixed grid: the
// summed-area table of the value, kept only at the blocks' edges and filled a
// row at a time, so that no table of the whole picture is ever held. Its
// block means equal those of a whole table to the last bit: the sums are
// added in the same order.
class BlockSums {
public:
    // edgesX, edgesY: every block's first and one-past-last column and row, sorted.
    BlockSums(const std::vector<std::uint32_t>& edgesX, const std::vector<std::uint32_t>& edgesY)
        : m_edgesX(edgesX)
        , m_edgesY(edgesY)
        , m_columns(edgesX.size(), 0.0)
        , m_sums(edgesX.size() * edgesY.size(), 0.0)
    {
    }
    // Row y's values, rows in order from 0.
    void addRow(std::uint32_t y, const float* values)
    {
        double row = 0;
        std::uint32_t x = 0;
        for (std::size_t k = 0; k < m_edgesX.size(); ++k) {
            for (; x < m_edgesX[k]; ++x)
                row += values[x];
            m_columns[k] += row;
        }
        const auto edge = std::lower_bound(m_edgesY.begin(), m_edgesY.end(), y + 1);
        if (edge != m_edgesY.end() && *edge == y + 1) {
            std::copy(m_columns.begin(), m_columns.end(),
                m_sums.begin()
                    + std::ptrdiff_t(std::size_t(edge - m_edgesY.begin()) * m_edgesX.size()));
        }
    }
    double blockMean(std::uint32_t x, std::uint32_t y, std::uint32_t w, std::uint32_t h) const
    {
        const std::size_t x0 = indexOf(m_edgesX, x);
        const std::size_t x1 = indexOf(m_edgesX, x + w);
        const std::size_t y0 = indexOf(m_edgesY, y);
        const std::size_t y1 = indexOf(m_edgesY, y + h);
        auto s = [&](std::size_t i, std::size_t j) { return m_sums[j * m_edgesX.size() + i]; };
        return (s(x1, y1) - s(x0, y1) - s(x1, y0) + s(x0, y0)) / (double(w) * h);
    }

private:
    static std::size_t indexOf(const std::vector<std::uint32_t>& edges, std::uint32_t at)
    {
        return std::size_t(std::lower_bound(edges.begin(), edges.end(), at) - edges.begin());
    }

    std::vector<std::uint32_t> m_edgesX;
    std::vector<std::uint32_t> m_edgesY;
    std::vector<double> m_columns; // sums of the rows so far, up to each column edge
    std::vector<double> m_sums; // [row edge][column edge]
};

float luma(const float* p)
{
    return 0.299F * p[0] + 0.587F * p[1] + 0.114F * p[2];
}

// How much a picture changes from pixel (x, y) to its right and lower
// neighbours, in the channel that changes most.
float detailAt(const ReducedPicture& picture, std::uint32_t x, std::uint32_t y)
{
    const float* p = picture.pixel(x, y);
    const float* right = picture.pixel(std::min(x + 1, picture.width - 1), y);
    const float* below = picture.pixel(x, std::min(y + 1, picture.height - 1));
    float most = 0;
    for (int c = 0; c < 3; ++c)
        most = std::max(most, 0.5F * (std::abs(right[c] - p[c]) + std::abs(below[c] - p[c])));
    return most;
}

// Every block's first and one-past-last position along one side, sorted.
std::vector<std::uint32_t> edgesOf(const std::vector<std::uint32_t>& starts, std::uint32_t block)
{
    std::vector<std::uint32_t> edges;
    for (std::uint32_t start : starts) {
        edges.push_back(start);
        edges.push_back(start + block);
    }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    return edges;
}

// Block starts along one side: every `step`, the last block flush with the edge.
std::vector<std::uint32_t> blockStarts(
    std::uint32_t extent, std::uint32_t block, std::uint32_t step)
{
    std::vector<std::uint32_t> starts;
    for (std::uint32_t p = 0; p + block <= extent; p += step)
        starts.push_back(p);
    if (starts.empty() || starts.back() + block < extent)
        starts.push_back(extent - block);
    return starts;
}

std::vector<float> lumaOf(const ReducedPicture& picture)
{
    std::vector<float> plane(std::size_t(picture.width) * picture.height);
    for (std::size_t i = 0; i < plane.size(); ++i)
        plane[i] = luma(picture.samples.data() + 4 * i);
    return plane;
}

// Pixels that lie in a block over its limit: 1, else 0.
using Mask = std::vector<std::uint8_t>;

// `blockShift`: the tone shift most blocks outside the failing ones agree
// on (see ToneFigure::blockShift).
LocalFigure localFigure(
    const ReducedPicture& reference, const ReducedPicture& copy, Mask& excluded, double& blockShift)
{
    LocalFigure figure;
    Mask failing(std::size_t(reference.width) * reference.height, 0);
    excluded.assign(failing.size(), 0);
    const std::uint32_t width = reference.width;
    const std::uint32_t height = reference.height;
    const std::uint32_t block = std::min(
        {std::max<std::uint32_t>(kLocalBlockMin, std::min(width, height) / kLocalBlockParts), width,
            height});
    const std::uint32_t step = std::max<std::uint32_t>(1, block / 2);
    const std::vector<std::uint32_t> startsX = blockStarts(width, block, step);
    const std::vector<std::uint32_t> startsY = blockStarts(height, block, step);
    const std::vector<std::uint32_t> edgesX = edgesOf(startsX, block);
    const std::vector<std::uint32_t> edgesY = edgesOf(startsY, block);

    // Per pixel, in one pass: the largest difference of a channel; the
    // signed difference of the luma (block means of it are what a tone edit
    // moves and what a re-save or a resize keeps: both keep the mean of every
    // area, JPEG its every block's DC; colour is left out, since subsampled
    // chroma of saturated colours clips and moves block means a little); and
    // each picture's detail.
    BlockSums difference(edgesX, edgesY);
    BlockSums signedLuma(edgesX, edgesY);
    BlockSums detailA(edgesX, edgesY);
    BlockSums detailB(edgesX, edgesY);
    std::vector<float> rows(std::size_t(width) * 4);
    float* const differenceRow = rows.data();
    float* const lumaRow = differenceRow + width;
    float* const detailRowA = lumaRow + width;
    float* const detailRowB = detailRowA + width;
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            const float* a = reference.pixel(x, y);
            const float* b = copy.pixel(x, y);
            float most = 0;
            for (int c = 0; c < 4; ++c)
                most = std::max(most, std::abs(a[c] - b[c]));
            differenceRow[x] = most;
            lumaRow[x] = luma(b) - luma(a);
            detailRowA[x] = detailAt(reference, x, y);
            detailRowB[x] = detailAt(copy, x, y);
        }
        difference.addRow(y, differenceRow);
        signedLuma.addRow(y, lumaRow);
        detailA.addRow(y, detailRowA);
        detailB.addRow(y, detailRowB);
    }

    struct Block {
        std::uint32_t x, y;
        double difference, detail, shift;
    };
    std::vector<Block> blocks;
    for (std::uint32_t y : startsY) {
        for (std::uint32_t x : startsX) {
            // The detail both pictures share: a watermark or a pasted patch
            // brings its own edges, which must not excuse its difference.
            const double detail = std::min(
                detailA.blockMean(x, y, block, block), detailB.blockMean(x, y, block, block));
            const double shift = std::abs(signedLuma.blockMean(x, y, block, block));
            blocks.push_back({x, y, difference.blockMean(x, y, block, block), detail, shift});
        }
    }
    std::vector<double> differences;
    differences.reserve(blocks.size());
    for (const Block& b : blocks)
        differences.push_back(b.difference);
    std::nth_element(
        differences.begin(), differences.begin() + differences.size() / 2, differences.end());
    const double noise = differences[differences.size() / 2];

    double worst = -1;
    std::uint32_t left = width, top = height, right = 0, bottom = 0;
    for (const Block& b : blocks) {
        const double limit = kLocalFloor + kLocalNoise * noise + kLocalDetail * b.detail;
        if (b.difference > limit) {
            left = std::min(left, b.x);
            top = std::min(top, b.y);
            right = std::max(right, b.x + block);
            bottom = std::max(bottom, b.y + block);
            for (std::uint32_t y = b.y; y < b.y + block; ++y)
                std::fill_n(failing.begin() + std::ptrdiff_t(std::size_t(y) * width + b.x), block,
                    std::uint8_t(1));
            // Left out of the tone and the framing: the block and half a
            // block around it, where an edit's fringe (the edge of a
            // watermark's letters) still differs without failing a block.
            const std::uint32_t x0 = b.x > step ? b.x - step : 0;
            const std::uint32_t y0 = b.y > step ? b.y - step : 0;
            const std::uint32_t x1 = std::min(width, b.x + block + step);
            const std::uint32_t y1 = std::min(height, b.y + block + step);
            for (std::uint32_t y = y0; y < y1; ++y)
                std::fill_n(excluded.begin() + std::ptrdiff_t(std::size_t(y) * width + x0), x1 - x0,
                    std::uint8_t(1));
        }
        if (b.difference / limit > worst) {
            worst = b.difference / limit;
            figure.value = b.difference;
            figure.limit = limit;
            figure.region = {b.x, b.y, block, block};
        }
    }
    figure.share = double(std::count(failing.begin(), failing.end(), std::uint8_t(1)))
        / double(failing.size());
    std::vector<double> shifts;
    for (const Block& b : blocks) {
        const double limit = kLocalFloor + kLocalNoise * noise + kLocalDetail * b.detail;
        if (b.difference <= limit)
            shifts.push_back(b.shift);
    }
    blockShift = 0;
    if (!shifts.empty()) {
        const auto at = shifts.begin() + std::ptrdiff_t(shifts.size() * kBlockShiftShare);
        std::nth_element(shifts.begin(), std::min(at, shifts.end() - 1), shifts.end());
        blockShift = *std::min(at, shifts.end() - 1);
    }
    if (right > left)
        figure.span = std::max(double(right - left) / width, double(bottom - top) / height);
    return figure;
}

ToneFigure toneFigure(const ReducedPicture& reference, const ReducedPicture& copy, const Mask& skip)
{
    ToneFigure figure;
    std::size_t pixels = 0;
    double sums[3] = {0, 0, 0};
    for (std::size_t i = 0; i < skip.size(); ++i) {
        if (skip[i])
            continue;
        ++pixels;
        for (int c = 0; c < 3; ++c)
            sums[c] += copy.samples[4 * i + c] - reference.samples[4 * i + c];
    }
    if (pixels == 0)
        return figure;
    for (int c = 0; c < 3; ++c)
        figure.mean[std::size_t(c)] = sums[c] / double(pixels);

    // Bands by the brightness both pictures agree on (their average), so
    // that neither picture's noise decides which band a pixel falls in. A
    // histogram of quarter levels stands in for sorting the pixels: a band
    // ends at the quarter level where its share of the pixels is reached.
    constexpr int kBins = 1024;
    std::vector<std::int64_t> counts(kBins, 0);
    std::vector<double> sumsOfDifference(kBins, 0.0);
    for (std::size_t i = 0; i < skip.size(); ++i) {
        if (skip[i])
            continue;
        const float la = luma(reference.samples.data() + 4 * i);
        const float lb = luma(copy.samples.data() + 4 * i);
        const int bin = std::clamp(int(0.5F * (la + lb) * (kBins / 256.0F)), 0, kBins - 1);
        ++counts[std::size_t(bin)];
        sumsOfDifference[std::size_t(bin)] += lb - la;
    }
    int bin = 0;
    std::int64_t taken = 0;
    for (int band = 0; band < kToneBands; ++band) {
        const auto until = std::int64_t(pixels * std::size_t(band + 1) / kToneBands);
        std::int64_t count = 0;
        double sum = 0;
        while (bin < kBins && taken < until) {
            count += counts[std::size_t(bin)];
            taken += counts[std::size_t(bin)];
            sum += sumsOfDifference[std::size_t(bin)];
            ++bin;
        }
        if (count == 0)
            continue;
        const double mean = sum / double(count);
        if (std::abs(mean) > std::abs(figure.worstBand))
            figure.worstBand = mean;
    }
    return figure;
}

double framingShift(const ReducedPicture& reference, const ReducedPicture& copy, const Mask& skip)
{
    const std::uint32_t width = reference.width;
    const std::uint32_t height = reference.height;
    const std::uint32_t shorter = std::min(width, height);
    const int reach = int(std::max<std::uint32_t>(2, shorter / 64));
    const std::uint32_t strip = std::max<std::uint32_t>(4, shorter / 8);
    if (shorter < 4 * std::uint32_t(reach) + 2 * strip)
        return 0; // too small for an edge to be told from the middle
    const std::vector<float> la = lumaOf(reference);
    const std::vector<float> lb = lumaOf(copy);
    auto a = [&](int x, int y) { return la[std::size_t(y) * width + std::size_t(x)]; };
    auto b = [&](int x, int y) { return lb[std::size_t(y) * width + std::size_t(x)]; };

    // One strip: x0..x1 by y0..y1 of the reference, the copy read `shift`
    // pixels along x (alongX) or y.
    auto strip_ = [&](int x0, int x1, int y0, int y1, bool alongX) {
        std::vector<double> error(std::size_t(2 * reach + 1), 0.0);
        double structure = 0;
        std::int64_t counted = 0;
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x)
                counted += skip[std::size_t(y) * width + std::size_t(x)] ? 0 : 1;
        }
        if (counted < std::int64_t(x1 - x0) * (y1 - y0) / 2)
            return 0.0; // most of the strip is an edited region: it tells nothing of the framing
        for (int shift = -reach; shift <= reach; ++shift) {
            double sum = 0;
            for (int y = y0; y < y1; ++y) {
                for (int x = x0; x < x1; ++x) {
                    if (skip[std::size_t(y) * width + std::size_t(x)])
                        continue;
                    const float there = alongX ? b(x + shift, y) : b(x, y + shift);
                    const double d = a(x, y) - there;
                    sum += d * d;
                }
            }
            error[std::size_t(shift + reach)] = sum / double(counted);
        }
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                if (skip[std::size_t(y) * width + std::size_t(x)])
                    continue;
                const double d = alongX ? a(x + 1, y) - a(x, y) : a(x, y + 1) - a(x, y);
                structure += d * d;
            }
        }
        structure /= double(counted);
        // A strip with too little structure (sky, a wall) cannot tell a shift.
        if (structure < kFramingStructure)
            return 0.0;
        const auto best = std::size_t(std::min_element(error.begin(), error.end()) - error.begin());
        if (best == 0 || best + 1 == error.size())
            return double(reach); // at the end of the reach or beyond
        const double left = error[best - 1];
        const double middle = error[best];
        const double right = error[best + 1];
        const double curve = left - 2 * middle + right;
        const double offset = curve > 0 ? 0.5 * (left - right) / curve : 0.0;
        return std::abs(double(best) - reach + offset);
    };
    const int w = int(width);
    const int h = int(height);
    const int s = int(strip);
    const int margin = int(shorter / 8); // corners left out: both strips would count them
    double largest = 0;
    largest = std::max(largest, strip_(reach, reach + s, margin, h - margin, true));
    largest = std::max(largest, strip_(w - reach - s - 1, w - reach - 1, margin, h - margin, true));
    largest = std::max(largest, strip_(margin, w - margin, reach, reach + s, false));
    largest
        = std::max(largest, strip_(margin, w - margin, h - reach - s - 1, h - reach - 1, false));
    return largest;
}

} // namespace

RegionFigures measureRegions(const ReducedPicture& reference, const ReducedPicture& copy)
{
    RegionFigures figures;
    if (reference.width == 0 || reference.height == 0)
        return figures;
    Mask excluded;
    double blockShift = 0;
    figures.local = localFigure(reference, copy, excluded, blockShift);
    figures.tone = toneFigure(reference, copy, excluded);
    figures.tone.blockShift = blockShift;
    figures.shift = framingShift(reference, copy, excluded);
    return figures;
}

} // namespace similar
