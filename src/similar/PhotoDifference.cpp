#include "similar/PhotoDifference.h"

#include "similar/PhotoSignature.h"

#include <algorithm>
#include <cmath>

namespace similar {

namespace {

// SSIM over 8 x 8 windows, every 4 pixels (the whole picture when smaller).
double lumaSsim(const ReducedPicture& a, const ReducedPicture& b)
{
    const std::uint32_t width = a.width;
    const std::uint32_t height = a.height;
    std::vector<float> la(std::size_t(width) * height);
    std::vector<float> lb(la.size());
    for (std::size_t i = 0; i < la.size(); ++i) {
        const float* pa = a.samples.data() + 4 * i;
        const float* pb = b.samples.data() + 4 * i;
        la[i] = 0.299F * pa[0] + 0.587F * pa[1] + 0.114F * pa[2];
        lb[i] = 0.299F * pb[0] + 0.587F * pb[1] + 0.114F * pb[2];
    }
    constexpr double c1 = (0.01 * 255) * (0.01 * 255);
    constexpr double c2 = (0.03 * 255) * (0.03 * 255);
    const std::uint32_t window = std::min<std::uint32_t>({8, width, height});
    const std::uint32_t step = std::max<std::uint32_t>(1, window / 2);
    double total = 0;
    std::int64_t count = 0;
    auto starts = [&](std::uint32_t extent) {
        std::vector<std::uint32_t> s;
        for (std::uint32_t p = 0; p + window <= extent; p += step)
            s.push_back(p);
        if (s.empty() || s.back() + window < extent)
            s.push_back(extent - window); // the last rows and columns count too
        return s;
    };
    const std::vector<std::uint32_t> xs = starts(width);
    const std::vector<std::uint32_t> ys = starts(height);
    for (std::uint32_t y0 : ys) {
        for (std::uint32_t x0 : xs) {
            double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
            for (std::uint32_t y = y0; y < y0 + window; ++y) {
                for (std::uint32_t x = x0; x < x0 + window; ++x) {
                    const double va = la[std::size_t(y) * width + x];
                    const double vb = lb[std::size_t(y) * width + x];
                    sa += va;
                    sb += vb;
                    saa += va * va;
                    sbb += vb * vb;
                    sab += va * vb;
                }
            }
            const double n = double(window) * window;
            const double ma = sa / n, mb = sb / n;
            const double va = std::max(0.0, saa / n - ma * ma);
            const double vb = std::max(0.0, sbb / n - mb * mb);
            const double cov = sab / n - ma * mb;
            total += ((2 * ma * mb + c1) * (2 * cov + c2))
                / ((ma * ma + mb * mb + c1) * (va + vb + c2));
            ++count;
        }
    }
    return count ? total / double(count) : 1.0;
}

} // namespace

Edit editOf(const PhotoDifference& difference)
{
    const bool localFails = difference.local.value > difference.local.limit;
    const double toneShift = std::max({std::abs(difference.tone.mean[0]),
        std::abs(difference.tone.mean[1]), std::abs(difference.tone.mean[2])});
    const bool toneFails = toneShift > kMaxTone
        || std::abs(difference.tone.worstBand) > kMaxToneBand
        || difference.tone.blockShift > kMaxBlockShift;
    const bool framingFails = difference.shift > kMaxFramingShift;
    if (!localFails && !toneFails && !framingFails)
        return Edit::None;
    if (localFails && difference.local.share <= kMaxRegionShare
        && difference.local.span <= kMaxRegionSpan && !toneFails && !framingFails)
        return Edit::Region;
    if (toneFails)
        return Edit::Tone;
    if (framingFails)
        return Edit::Framing;
    return Edit::Widespread;
}

bool passes(const PhotoDifference& difference, const PhotoThresholds& thresholds)
{
    return difference.ssim >= thresholds.minSsim && difference.mean <= thresholds.maxMean
        && editOf(difference) == Edit::None;
}

PhotoDifference measuredFrom(std::uint32_t from, std::uint32_t to, PhotoDifference difference)
{
    if (from > to) {
        for (double& channel : difference.tone.mean)
            channel = -channel;
        difference.tone.worstBand = -difference.tone.worstBand;
    }
    return difference;
}

PhotoDifference worseOf(const PhotoDifference& a, const PhotoDifference& b)
{
    PhotoDifference worse = a;
    worse.ssim = std::min(a.ssim, b.ssim);
    worse.mean = std::max(a.mean, b.mean);
    worse.max = std::max(a.max, b.max);
    if (b.local.value * a.local.limit > a.local.value * b.local.limit)
        worse.local = b.local;
    worse.local.share = std::max(a.local.share, b.local.share);
    worse.local.span = std::max(a.local.span, b.local.span);
    worse.tone.blockShift = std::max(a.tone.blockShift, b.tone.blockShift);
    for (std::size_t c = 0; c < 3; ++c) {
        if (std::abs(b.tone.mean[c]) > std::abs(a.tone.mean[c]))
            worse.tone.mean[c] = b.tone.mean[c];
    }
    if (std::abs(b.tone.worstBand) > std::abs(a.tone.worstBand))
        worse.tone.worstBand = b.tone.worstBand;
    worse.shift = std::max(a.shift, b.shift);
    worse.frames = a.frames + b.frames;
    return worse;
}

PhotoDifference measure(const ReducedPicture& a, const ReducedPicture& b)
{
    PhotoDifference difference = measureWhole(a, b);
    // Another picture already by the whole-picture figures: neither the same
    // photo nor an edited copy of it, whatever its regions say, so they are
    // not measured.
    if (difference.ssim < kMinSsim || difference.mean > kMaxMean)
        return difference;
    const RegionFigures regions = measureRegions(a, b);
    difference.local = regions.local;
    difference.tone = regions.tone;
    difference.shift = regions.shift;
    return difference;
}

PhotoDifference measureWhole(const ReducedPicture& a, const ReducedPicture& b)
{
    PhotoDifference difference;
    difference.comparedWidth = a.width;
    difference.comparedHeight = a.height;
    // Whole levels summed as integers: exact, and a loop the processor runs
    // on whole vectors.
    std::int64_t sums[4] = {0, 0, 0, 0};
    int largest = 0;
    const std::size_t pixels = std::size_t(a.width) * a.height;
    const float* __restrict sa = a.samples.data();
    const float* __restrict sb = b.samples.data();
    for (std::size_t i = 0; i < pixels; ++i) {
        for (int c = 0; c < 4; ++c) {
            // Rounded to whole levels first, as 8-bit pictures would be
            // (samples are never negative, so truncation after +0.5 rounds).
            const int d = std::abs(int(sa[4 * i + c] + 0.5F) - int(sb[4 * i + c] + 0.5F));
            sums[c] += d;
            largest = std::max(largest, d);
        }
    }
    const std::int64_t worst = *std::max_element(sums, sums + 4);
    difference.mean = pixels ? double(worst) / double(pixels) : 0.0;
    difference.max = largest;
    difference.ssim = lumaSsim(a, b);
    return difference;
}

std::pair<std::uint32_t, std::uint32_t> proofSize(std::uint32_t width, std::uint32_t height)
{
    const std::uint32_t longSide = std::max(width, height);
    if (longSide <= kProofSide)
        return {width, height};
    auto scaled = [&](std::uint32_t side) {
        const auto rounded = std::uint32_t(
            (std::uint64_t(side) * kProofSide + longSide / 2) / std::uint64_t(longSide));
        return std::max<std::uint32_t>(1, rounded);
    };
    return {scaled(width), scaled(height)};
}

ProofPicture proofPicture(const FrameView& frame)
{
    const auto [width, height] = proofSize(frame.width, frame.height);
    if (width == frame.width && height == frame.height)
        return eightBitProof(fullSize(frame));
    return eightBitProof(reduceArea(frame, width, height));
}

PhotoDifference compareProofPictures(const ProofPicture& a, const ProofPicture& b)
{
    const std::uint32_t width = std::min(a.width, b.width);
    const std::uint32_t height = std::min(a.height, b.height);
    // Only the larger of the two is averaged again; the other is measured as it is.
    ReducedPicture floatsA = floatsOf(a);
    ReducedPicture floatsB = floatsOf(b);
    if (a.width != width || a.height != height)
        floatsA = reduceArea(floatsA, width, height);
    if (b.width != width || b.height != height)
        floatsB = reduceArea(floatsB, width, height);
    return measure(floatsA, floatsB);
}

std::optional<PhotoDifference> compareFrames(const FrameView& a, const FrameView& b)
{
    if (!aspectsAgree(a.width, a.height, b.width, b.height))
        return std::nullopt;
    return compareProofPictures(proofPicture(a), proofPicture(b));
}

} // namespace similar
