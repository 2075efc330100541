#include "similar/Enlargement.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include <jpeglib.h>

namespace similar {

namespace {

constexpr double kPi = 3.14159265358979323846;

double kernel(Resampling method, double x)
{
    x = std::abs(x);
    switch (method) {
    case Resampling::Bilinear:
        return x < 1 ? 1 - x : 0;
    case Resampling::Bicubic: { // Keys, a = -0.5 (Catmull-Rom)
        constexpr double a = -0.5;
        if (x < 1)
            return ((a + 2) * x - (a + 3)) * x * x + 1;
        if (x < 2)
            return ((a * x - 5 * a) * x + 8 * a) * x - 4 * a;
        return 0;
    }
    case Resampling::Lanczos: { // three lobes
        if (x < 1e-9)
            return 1;
        if (x >= 3)
            return 0;
        const double px = kPi * x;
        return 3 * std::sin(px) * std::sin(px / 3) / (px * px);
    }
    }
    return 0;
}

double support(Resampling method)
{
    switch (method) {
    case Resampling::Bilinear:
        return 1;
    case Resampling::Bicubic:
        return 2;
    case Resampling::Lanczos:
        return 3;
    }
    return 1;
}

// Each output position's source taps and weights along one axis.
struct Taps {
    std::vector<std::uint32_t> first;
    std::vector<std::uint32_t> count;
    std::vector<float> weights; // count[i] of them per output, packed at i * stride
    std::uint32_t stride = 0;
};

Taps tapsFor(std::uint32_t from, std::uint32_t to, Resampling method)
{
    const double scale = double(from) / double(to);
    const double stretch = std::max(1.0, scale); // widen the kernel when reducing
    const double radius = support(method) * stretch;
    Taps taps;
    taps.stride = std::uint32_t(std::ceil(radius) * 2 + 2);
    taps.first.resize(to);
    taps.count.resize(to);
    taps.weights.assign(std::size_t(to) * taps.stride, 0.0F);
    for (std::uint32_t i = 0; i < to; ++i) {
        const double centre = (i + 0.5) * scale - 0.5;
        const auto low = std::int64_t(std::floor(centre - radius + 1));
        const auto high = std::int64_t(std::floor(centre + radius));
        std::vector<double> w;
        double total = 0;
        const std::int64_t start = std::max<std::int64_t>(0, low);
        const std::int64_t end = std::min<std::int64_t>(std::int64_t(from) - 1, high);
        for (std::int64_t s = low; s <= high; ++s) {
            const double weight = kernel(method, (double(s) - centre) / stretch);
            // Taps beyond the edges repeat the edge pixel.
            const std::int64_t at = std::clamp<std::int64_t>(s, start, end);
            if (w.size() < std::size_t(at - start + 1))
                w.resize(std::size_t(at - start + 1), 0.0);
            w[std::size_t(at - start)] += weight;
            total += weight;
        }
        taps.first[i] = std::uint32_t(start);
        taps.count[i] = std::uint32_t(std::min<std::size_t>(w.size(), taps.stride));
        for (std::uint32_t k = 0; k < taps.count[i]; ++k)
            taps.weights[std::size_t(i) * taps.stride + k]
                = float(total != 0 ? w[k] / total : (k == 0 ? 1.0 : 0.0));
    }
    return taps;
}

} // namespace

ReducedPicture resample(
    const ReducedPicture& picture, std::uint32_t width, std::uint32_t height, Resampling method)
{
    const Taps across = tapsFor(picture.width, width, method);
    const Taps down = tapsFor(picture.height, height, method);
    ReducedPicture wide; // rows resampled, columns not yet
    wide.width = width;
    wide.height = picture.height;
    wide.samples.assign(std::size_t(width) * picture.height * 4, 0.0F);
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            float sum[4] = {0, 0, 0, 0};
            const float* w = across.weights.data() + std::size_t(x) * across.stride;
            for (std::uint32_t k = 0; k < across.count[x]; ++k) {
                const float* p = picture.pixel(across.first[x] + k, y);
                for (int c = 0; c < 4; ++c)
                    sum[c] += w[k] * p[c];
            }
            float* o = wide.samples.data() + (std::size_t(y) * width + x) * 4;
            std::copy(sum, sum + 4, o);
        }
    }
    ReducedPicture out;
    out.width = width;
    out.height = height;
    out.samples.assign(std::size_t(width) * height * 4, 0.0F);
    for (std::uint32_t y = 0; y < height; ++y) {
        const float* w = down.weights.data() + std::size_t(y) * down.stride;
        // Distinct rows of distinct pictures: said so, the loop runs on
        // whole vectors (the same sums, element by element).
        float* __restrict o = out.samples.data() + std::size_t(y) * width * 4;
        for (std::uint32_t k = 0; k < down.count[y]; ++k) {
            const float* __restrict row
                = wide.samples.data() + std::size_t(down.first[y] + k) * width * 4;
            const float weight = w[k];
            for (std::size_t i = 0; i < std::size_t(width) * 4; ++i)
                o[i] += weight * row[i];
        }
        for (std::size_t i = 0; i < std::size_t(width) * 4; ++i)
            o[i] = std::clamp(o[i], 0.0F, 255.0F);
    }
    return out;
}

namespace {

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void onJpegError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

// The two libjpeg passes of a re-save; false when libjpeg gave up (memory).
// No C++ object with a destructor lives across the jumps.
bool encodeAndDecode(const std::uint8_t* rgb, std::uint32_t width, std::uint32_t height,
    int quality, unsigned char** coded, unsigned long* codedSize, std::uint8_t* decoded)
{
    JpegError error;
    jpeg_compress_struct out;
    jpeg_decompress_struct in;
    out.err = jpeg_std_error(&error.manager);
    in.err = &error.manager;
    error.manager.error_exit = onJpegError;
    bool outMade = false;
    bool inMade = false;
    if (setjmp(error.jump)) {
        if (outMade)
            jpeg_destroy_compress(&out);
        if (inMade)
            jpeg_destroy_decompress(&in);
        return false;
    }
    jpeg_create_compress(&out);
    outMade = true;
    jpeg_mem_dest(&out, coded, codedSize);
    out.image_width = width;
    out.image_height = height;
    out.input_components = 3;
    out.in_color_space = JCS_RGB;
    jpeg_set_defaults(&out);
    jpeg_set_quality(&out, quality, TRUE);
    jpeg_start_compress(&out, TRUE);
    while (out.next_scanline < height) {
        JSAMPROW row = const_cast<std::uint8_t*>(rgb) + std::size_t(out.next_scanline) * width * 3;
        jpeg_write_scanlines(&out, &row, 1);
    }
    jpeg_finish_compress(&out);
    jpeg_destroy_compress(&out);
    outMade = false;

    jpeg_create_decompress(&in);
    inMade = true;
    jpeg_mem_src(&in, *coded, *codedSize);
    jpeg_read_header(&in, TRUE);
    in.out_color_space = JCS_RGB;
    jpeg_start_decompress(&in);
    while (in.output_scanline < in.output_height) {
        JSAMPROW row = decoded + std::size_t(in.output_scanline) * width * 3;
        jpeg_read_scanlines(&in, &row, 1);
    }
    jpeg_finish_decompress(&in);
    jpeg_destroy_decompress(&in);
    return true;
}

} // namespace

ReducedPicture jpegResave(const ReducedPicture& picture, int quality)
{
    const std::size_t pixels = std::size_t(picture.width) * picture.height;
    std::vector<std::uint8_t> rgb(pixels * 3);
    for (std::size_t i = 0; i < pixels; ++i)
        for (int c = 0; c < 3; ++c)
            rgb[i * 3 + c]
                = std::uint8_t(std::clamp(picture.samples[i * 4 + c] + 0.5F, 0.0F, 255.0F));
    std::vector<std::uint8_t> decoded(rgb.size());
    unsigned char* coded = nullptr;
    unsigned long codedSize = 0;
    const bool ok = encodeAndDecode(
        rgb.data(), picture.width, picture.height, quality, &coded, &codedSize, decoded.data());
    std::free(coded);
    ReducedPicture out;
    if (!ok)
        return out;
    out.width = picture.width;
    out.height = picture.height;
    out.samples.resize(pixels * 4);
    for (std::size_t i = 0; i < pixels; ++i) {
        for (int c = 0; c < 3; ++c)
            out.samples[i * 4 + c] = decoded[i * 3 + c];
        out.samples[i * 4 + 3] = picture.samples[i * 4 + 3];
    }
    return out;
}

EnlargementFigures enlargementFigures(
    const FrameView& picture, std::uint32_t width, std::uint32_t height)
{
    // A large picture is judged on its middle: an enlargement is one
    // everywhere, and the floats of a whole 24-megapixel photo would take
    // hundreds of megabytes. The piece starts on the 16-pixel grid of the
    // JPEG blocks, so that a re-save of it lines up with the file's own.
    FrameView piece = picture;
    auto middle = [](std::uint32_t side) {
        const std::uint32_t length = std::min(side, kJudgedSide);
        return std::pair(((side - length) / 2) & ~15U, length);
    };
    const auto [x0, pieceWidth] = middle(picture.width);
    const auto [y0, pieceHeight] = middle(picture.height);
    piece.data = picture.data + std::size_t(y0) * picture.stride
        + std::size_t(x0) * 4 * std::size_t(picture.bytesPerSample);
    piece.width = pieceWidth;
    piece.height = pieceHeight;
    auto scaled = [](std::uint32_t side, std::uint32_t to, std::uint32_t from) {
        return std::max<std::uint32_t>(
            1, std::uint32_t((std::uint64_t(side) * to + from / 2) / from));
    };
    const std::uint32_t pieceToWidth = scaled(pieceWidth, width, picture.width);
    const std::uint32_t pieceToHeight = scaled(pieceHeight, height, picture.height);

    EnlargementFigures figures;
    const ReducedPicture original = fullSize(piece);
    const ReducedPicture reduced = reduceArea(original, pieceToWidth, pieceToHeight);
    const Resampling methods[] = {Resampling::Bilinear, Resampling::Bicubic, Resampling::Lanczos};
    for (std::size_t m = 0; m < 3; ++m)
        figures.roundTrips[m]
            = measureWhole(original, resample(reduced, piece.width, piece.height, methods[m]));
    const ReducedPicture resaved = jpegResave(original, 90);
    if (resaved.width == original.width)
        figures.resave = measureWhole(original, resaved);
    return figures;
}

Enlargement judgeEnlargement(const EnlargementFigures& figures, bool noCodingNoise)
{
    // Reduces well: the round trip differs by no more than a re-save at
    // quality 100 would (SSIM 0.996, mean 1.0). Enlargements measured 0.9966
    // to 0.9992 by the method that made them or a near one; photos brought
    // to a quarter of their pixels 0.979 to 0.996.
    int reducesWell = 0;
    const PhotoDifference* closest = &figures.roundTrips[0];
    for (const PhotoDifference& trip : figures.roundTrips) {
        if (trip.ssim >= 0.996 && trip.mean <= 1.0)
            ++reducesWell;
        if (trip.ssim > closest->ssim)
            closest = &trip;
    }
    // Holds no more than JPEG noise: the closest round trip is about as near
    // as the picture's own re-save (enlargements saved as JPEGs measured up
    // to 0.0006 further). A photo that is soft but has grain falls behind
    // (a re-save keeps the grain, the round trip does not); between the two
    // bounds the test says neither.
    const double behind = figures.resave.ssim - closest->ssim;
    const bool meanWithin = closest->mean <= figures.resave.mean + 0.1;
    const bool withinResave = behind <= 0.0007 && meanWithin;
    const bool beyondResave = behind > 0.0015 || !meanWithin;
    if (reducesWell >= 2 && withinResave)
        return Enlargement::Yes;
    if (reducesWell == 0 && (beyondResave || noCodingNoise))
        return Enlargement::No;
    return Enlargement::Unsure;
}

Enlargement isEnlargement(
    const FrameView& picture, std::uint32_t width, std::uint32_t height, bool noCodingNoise)
{
    if (width >= picture.width || height >= picture.height)
        return Enlargement::No;
    return judgeEnlargement(enlargementFigures(picture, width, height), noCodingNoise);
}

} // namespace similar
