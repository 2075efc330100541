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

std::uint8_t level(float value)
{
    return std::uint8_t(std::clamp(value + 0.5F, 0.0F, 255.0F));
}

} // namespace

std::uint64_t ProofPicture::bytes() const
{
    return colour.size() + alpha.size() + sizeof(ProofPicture);
}

ProofPicture eightBitProof(const ReducedPicture& picture)
{
    ProofPicture out;
    out.width = picture.width;
    out.height = picture.height;
    const std::size_t pixels = std::size_t(picture.width) * picture.height;
    bool opaque = true;
    bool grey = true;
    for (std::size_t i = 0; i < pixels; ++i) {
        const float* p = picture.samples.data() + 4 * i;
        opaque = opaque && level(p[3]) == 255;
        grey = grey && level(p[0]) == level(p[1]) && level(p[1]) == level(p[2]);
    }
    out.channels = grey ? 1 : 3;
    out.colour.resize(pixels * std::size_t(out.channels));
    for (std::size_t i = 0; i < pixels; ++i) {
        for (int c = 0; c < out.channels; ++c)
            out.colour[i * std::size_t(out.channels) + std::size_t(c)]
                = level(picture.samples[4 * i + std::size_t(c)]);
    }
    if (!opaque) {
        out.alpha.resize(pixels);
        for (std::size_t i = 0; i < pixels; ++i)
            out.alpha[i] = level(picture.samples[4 * i + 3]);
    }
    return out;
}

ReducedPicture floatsOf(const ProofPicture& picture)
{
    ReducedPicture out;
    out.width = picture.width;
    out.height = picture.height;
    const std::size_t pixels = std::size_t(picture.width) * picture.height;
    out.samples.resize(pixels * 4);
    const std::size_t channels = std::size_t(picture.channels);
    for (std::size_t i = 0; i < pixels; ++i) {
        float* o = out.samples.data() + 4 * i;
        const std::uint8_t* p = picture.colour.data() + i * channels;
        o[0] = float(p[0]);
        o[1] = float(p[channels == 3 ? 1 : 0]);
        o[2] = float(p[channels == 3 ? 2 : 0]);
        o[3] = picture.alpha.empty() ? 255.0F : float(picture.alpha[i]);
    }
    return out;
}

} // namespace similar
