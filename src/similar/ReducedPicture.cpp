#include "similar/ReducedPicture.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace similar {

FrameView firstFrameOf(const decoding::DecodedPicture& picture)
{
    FrameView view;
    view.data = picture.frames.front().data();
    view.width = picture.width;
    view.height = picture.height;
    view.bytesPerSample = picture.bytesPerSample;
    view.stride = std::size_t(picture.width) * 4 * std::size_t(picture.bytesPerSample);
    return view;
}

namespace {

// For one axis: which source cells feed each output cell, and how much.
struct Tap {
    std::uint32_t first = 0;
    std::vector<float> weights; // sum to 1
};

std::vector<Tap> areaTaps(std::uint32_t from, std::uint32_t to)
{
    std::vector<Tap> taps(to);
    const double scale = double(from) / double(to);
    for (std::uint32_t i = 0; i < to; ++i) {
        const double begin = i * scale;
        const double end = (i + 1) * scale;
        auto first = std::uint32_t(std::floor(begin));
        auto last = std::min(from, std::uint32_t(std::ceil(end)));
        Tap& tap = taps[i];
        tap.first = first;
        for (std::uint32_t s = first; s < last; ++s) {
            const double cover = std::min(end, double(s + 1)) - std::max(begin, double(s));
            tap.weights.push_back(float(cover / scale));
        }
    }
    return taps;
}

// One source row as RGBA floats on the 8-bit scale.
void readRow(const FrameView& frame, std::uint32_t y, float* out)
{
    const std::uint8_t* row = frame.data + std::size_t(y) * frame.stride;
    if (frame.bgraWords) {
        for (std::uint32_t x = 0; x < frame.width; ++x) {
            std::uint32_t word;
            std::memcpy(&word, row + 4 * std::size_t(x), 4);
            out[4 * x + 0] = float((word >> 16) & 0xff);
            out[4 * x + 1] = float((word >> 8) & 0xff);
            out[4 * x + 2] = float(word & 0xff);
            out[4 * x + 3] = float(word >> 24);
        }
    } else if (frame.bytesPerSample == 2) {
        for (std::size_t i = 0; i < std::size_t(frame.width) * 4; ++i) {
            std::uint16_t sample;
            std::memcpy(&sample, row + 2 * i, 2);
            out[i] = float(sample) / 257.0F;
        }
    } else {
        for (std::size_t i = 0; i < std::size_t(frame.width) * 4; ++i)
            out[i] = float(row[i]);
    }
}

template <typename RowReader>
ReducedPicture reduce(std::uint32_t fromWidth, std::uint32_t fromHeight, std::uint32_t width,
    std::uint32_t height, RowReader readSourceRow)
{
    width = std::clamp<std::uint32_t>(width, 1, fromWidth);
    height = std::clamp<std::uint32_t>(height, 1, fromHeight);
    const std::vector<Tap> across = areaTaps(fromWidth, width);
    const std::vector<Tap> down = areaTaps(fromHeight, height);
    // Each source row is narrowed once and added into the output rows it feeds.
    ReducedPicture out;
    out.width = width;
    out.height = height;
    out.samples.assign(std::size_t(width) * height * 4, 0.0F);
    std::vector<float> source(std::size_t(fromWidth) * 4);
    std::vector<float> narrow(std::size_t(width) * 4);
    std::size_t nextOut = 0;
    for (std::uint32_t y = 0; y < fromHeight; ++y) {
        readSourceRow(y, source.data());
        for (std::uint32_t x = 0; x < width; ++x) {
            const Tap& tap = across[x];
            float sum[4] = {0, 0, 0, 0};
            for (std::size_t k = 0; k < tap.weights.size(); ++k) {
                const float* s = source.data() + 4 * (tap.first + k);
                for (int c = 0; c < 4; ++c)
                    sum[c] += s[c] * tap.weights[k];
            }
            std::copy(sum, sum + 4, narrow.data() + 4 * x);
        }
        while (nextOut < height && down[nextOut].first + down[nextOut].weights.size() <= y)
            ++nextOut;
        for (std::size_t o = nextOut; o < height && down[o].first <= y; ++o) {
            const float weight = down[o].weights[y - down[o].first];
            float* target = out.samples.data() + o * width * 4;
            for (std::size_t i = 0; i < std::size_t(width) * 4; ++i)
                target[i] += narrow[i] * weight;
        }
    }
    return out;
}

} // namespace

ReducedPicture reduceArea(const FrameView& frame, std::uint32_t width, std::uint32_t height)
{
    return reduce(frame.width, frame.height, width, height,
        [&](std::uint32_t y, float* row) { readRow(frame, y, row); });
}

ReducedPicture reduceArea(const ReducedPicture& picture, std::uint32_t width, std::uint32_t height)
{
    return reduce(picture.width, picture.height, width, height, [&](std::uint32_t y, float* row) {
        const float* from = picture.samples.data() + std::size_t(y) * picture.width * 4;
        std::copy(from, from + std::size_t(picture.width) * 4, row);
    });
}

ReducedPicture fullSize(const FrameView& frame)
{
    ReducedPicture out;
    out.width = frame.width;
    out.height = frame.height;
    out.samples.resize(std::size_t(frame.width) * frame.height * 4);
    for (std::uint32_t y = 0; y < frame.height; ++y)
        readRow(frame, y, out.samples.data() + std::size_t(y) * frame.width * 4);
    return out;
}

ReducedPicture enlargeBilinear(
    const ReducedPicture& picture, std::uint32_t width, std::uint32_t height)
{
    ReducedPicture out;
    out.width = width;
    out.height = height;
    out.samples.resize(std::size_t(width) * height * 4);
    auto source = [](std::uint32_t i, std::uint32_t from, std::uint32_t to, std::uint32_t* low,
                      float* fraction) {
        const double centre = (i + 0.5) * double(from) / double(to) - 0.5;
        const double clamped = std::clamp(centre, 0.0, double(from - 1));
        *low = std::min(from - 1, std::uint32_t(clamped));
        *fraction = float(clamped - *low);
    };
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint32_t y0;
        float fy;
        source(y, picture.height, height, &y0, &fy);
        const std::uint32_t y1 = std::min(y0 + 1, picture.height - 1);
        for (std::uint32_t x = 0; x < width; ++x) {
            std::uint32_t x0;
            float fx;
            source(x, picture.width, width, &x0, &fx);
            const std::uint32_t x1 = std::min(x0 + 1, picture.width - 1);
            const float* a = picture.pixel(x0, y0);
            const float* b = picture.pixel(x1, y0);
            const float* c = picture.pixel(x0, y1);
            const float* d = picture.pixel(x1, y1);
            float* o = out.samples.data() + (std::size_t(y) * width + x) * 4;
            for (int k = 0; k < 4; ++k) {
                const float top = a[k] + (b[k] - a[k]) * fx;
                const float bottom = c[k] + (d[k] - c[k]) * fx;
                o[k] = top + (bottom - top) * fy;
            }
        }
    }
    return out;
}

namespace {

// Full-range luma and colour differences, as JPEG codes them.
constexpr float kRedLuma = 0.299F;
constexpr float kGreenLuma = 0.587F;
constexpr float kBlueLuma = 0.114F;
constexpr float kBlueScale = 1.772F; // Cb = 128 + (B - Y) / kBlueScale
constexpr float kRedScale = 1.402F; // Cr = 128 + (R - Y) / kRedScale

std::uint8_t level(float value)
{
    return std::uint8_t(std::clamp(value + 0.5F, 0.0F, 255.0F));
}

// Where a colour cell's neighbours lie for a pixel along one side: the
// cell below and above its position and how far towards the upper one.
void cellsAround(std::uint32_t pixel, std::uint32_t cells, std::uint32_t* low,
    std::uint32_t* high, float* fraction)
{
    // Cell c covers pixels 2c and 2c + 1: its centre lies at pixel 2c + 0.5.
    const float at = std::clamp((float(pixel) - 0.5F) / 2.0F, 0.0F, float(cells - 1));
    *low = std::uint32_t(at);
    *high = std::min(*low + 1, cells - 1);
    *fraction = at - float(*low);
}

} // namespace

std::uint64_t ProofPicture::bytes() const
{
    return luma.size() + chroma.size() + alpha.size() + sizeof(ProofPicture);
}

ProofPicture eightBitProof(const ReducedPicture& picture)
{
    ProofPicture out;
    out.width = picture.width;
    out.height = picture.height;
    const std::size_t pixels = std::size_t(picture.width) * picture.height;
    out.luma.resize(pixels);
    bool opaque = true;
    for (std::size_t i = 0; i < pixels; ++i) {
        const float* p = picture.samples.data() + 4 * i;
        out.luma[i] = level(kRedLuma * p[0] + kGreenLuma * p[1] + kBlueLuma * p[2]);
        opaque = opaque && level(p[3]) == 255;
    }
    if (!opaque) {
        out.alpha.resize(pixels);
        for (std::size_t i = 0; i < pixels; ++i)
            out.alpha[i] = level(picture.samples[4 * i + 3]);
    }
    // Each colour cell: the mean colour difference of the (up to) four pixels it covers.
    const std::uint32_t cellsAcross = out.chromaWidth();
    const std::uint32_t cellsDown = out.chromaHeight();
    out.chroma.resize(std::size_t(cellsAcross) * cellsDown * 2);
    bool grey = true;
    for (std::uint32_t cy = 0; cy < cellsDown; ++cy) {
        for (std::uint32_t cx = 0; cx < cellsAcross; ++cx) {
            float blue = 0;
            float red = 0;
            int count = 0;
            for (std::uint32_t y = 2 * cy; y < std::min(2 * cy + 2, picture.height); ++y) {
                for (std::uint32_t x = 2 * cx; x < std::min(2 * cx + 2, picture.width); ++x) {
                    const float* p = picture.pixel(x, y);
                    const float luma = kRedLuma * p[0] + kGreenLuma * p[1] + kBlueLuma * p[2];
                    blue += (p[2] - luma) / kBlueScale;
                    red += (p[0] - luma) / kRedScale;
                    ++count;
                }
            }
            std::uint8_t* cell = out.chroma.data() + 2 * (std::size_t(cy) * cellsAcross + cx);
            cell[0] = level(128.0F + blue / float(count));
            cell[1] = level(128.0F + red / float(count));
            grey = grey && cell[0] == 128 && cell[1] == 128;
        }
    }
    if (grey)
        out.chroma.clear();
    return out;
}

ReducedPicture floatsOf(const ProofPicture& picture)
{
    ReducedPicture out;
    out.width = picture.width;
    out.height = picture.height;
    out.samples.resize(std::size_t(picture.width) * picture.height * 4);
    const std::uint32_t cellsAcross = picture.chromaWidth();
    const std::uint32_t cellsDown = picture.chromaHeight();
    struct Between {
        std::uint32_t low, high;
        float fraction;
    };
    std::vector<Between> columns(picture.width);
    for (std::uint32_t x = 0; x < picture.width; ++x)
        cellsAround(x, cellsAcross, &columns[x].low, &columns[x].high, &columns[x].fraction);
    // One row of cells interpolated down to the pixel row, then across.
    std::vector<float> cellRow(std::size_t(cellsAcross) * 2, 0.0F);
    std::vector<float> blueRow(picture.width, 0.0F);
    std::vector<float> redRow(picture.width, 0.0F);
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        if (!picture.chroma.empty()) {
            Between row{};
            cellsAround(y, cellsDown, &row.low, &row.high, &row.fraction);
            const std::uint8_t* upper = picture.chroma.data() + std::size_t(row.low) * cellsAcross * 2;
            const std::uint8_t* lower = picture.chroma.data() + std::size_t(row.high) * cellsAcross * 2;
            for (std::size_t i = 0; i < cellRow.size(); ++i)
                cellRow[i] = float(upper[i]) - 128.0F
                    + (float(lower[i]) - float(upper[i])) * row.fraction;
            for (std::uint32_t x = 0; x < picture.width; ++x) {
                const Between& c = columns[x];
                const float* left = cellRow.data() + 2 * std::size_t(c.low);
                const float* right = cellRow.data() + 2 * std::size_t(c.high);
                blueRow[x] = left[0] + (right[0] - left[0]) * c.fraction;
                redRow[x] = left[1] + (right[1] - left[1]) * c.fraction;
            }
        }
        for (std::uint32_t x = 0; x < picture.width; ++x) {
            const std::size_t i = std::size_t(y) * picture.width + x;
            const float luma = picture.luma[i];
            const float red = luma + kRedScale * redRow[x];
            const float blue = luma + kBlueScale * blueRow[x];
            const float green = (luma - kRedLuma * red - kBlueLuma * blue) / kGreenLuma;
            float* o = out.samples.data() + 4 * i;
            o[0] = std::clamp(red, 0.0F, 255.0F);
            o[1] = std::clamp(green, 0.0F, 255.0F);
            o[2] = std::clamp(blue, 0.0F, 255.0F);
            o[3] = picture.alpha.empty() ? 255.0F : float(picture.alpha[i]);
        }
    }
    return out;
}

} // namespace similar
