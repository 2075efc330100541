#include "decoding/PngWholeInflate.h"

#include "decoding/DecoderSupport.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

namespace decoding::png {
namespace {

constexpr std::size_t kSignatureBytes = 8;
// Deflate turns one input byte into at most about 1,032 output bytes: image
// data shorter than its inflated size / 1,032 cannot be whole, and no
// memory is allocated for it.
constexpr std::uint64_t kMostInflatedPerByte = 1032;
// libpng's default limit on a side, which this path keeps too.
constexpr std::uint32_t kLongestSide = 1'000'000;

enum Colour : std::uint8_t { Grey = 0, Rgb = 2, Palette = 3, GreyAlpha = 4, Rgba = 6 };

std::uint32_t bigEndian32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

bool is(const std::uint8_t* type, const char (&name)[5])
{
    return std::memcmp(type, name, 4) == 0;
}

struct Layout {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int depth = 0;
    Colour colour = Grey;
    int samples = 1; // per pixel in the file
    std::array<std::uint32_t, 256> palette{}; // R, G, B, A in memory order
    int paletteEntries = 0;
    std::vector<std::span<const std::uint8_t>> idat;
    std::uint64_t idatBytes = 0;

    std::size_t rowBytes() const
    {
        return std::size_t((std::uint64_t(width) * std::uint64_t(samples * depth) + 7) / 8);
    }
    // Bytes from one pixel to the next for the filters (1 below 8 bits a pixel).
    int filterStep() const { return std::max(1, samples * depth / 8); }
};

bool validHeader(Layout& layout, const std::uint8_t* body)
{
    layout.width = bigEndian32(body);
    layout.height = bigEndian32(body + 4);
    layout.depth = body[8];
    const int colour = body[9];
    // Compression, filter method and interlacing: only the plain forms here.
    if (body[10] != 0 || body[11] != 0 || body[12] != 0)
        return false;
    if (layout.width == 0 || layout.height == 0 || layout.width > kLongestSide
        || layout.height > kLongestSide)
        return false;
    const int d = layout.depth;
    switch (colour) {
    case Grey:
        layout.samples = 1;
        return d == 1 || d == 2 || d == 4 || d == 8 || d == 16;
    case Palette:
        layout.samples = 1;
        break;
    case Rgb:
        layout.samples = 3;
        break;
    case GreyAlpha:
        layout.samples = 2;
        break;
    case Rgba:
        layout.samples = 4;
        break;
    default:
        return false;
    }
    layout.colour = Colour(colour);
    if (colour == Palette)
        return d == 1 || d == 2 || d == 4 || d == 8;
    return d == 8 || d == 16;
}

// Walks every chunk from IHDR to IEND, checking each CRC. False when the
// file has anything this path leaves to libpng.
bool readChunks(Bytes file, Layout& layout)
{
    std::size_t at = kSignatureBytes;
    bool first = true;
    bool idatEnded = false;
    bool transparency = false;
    while (file.size() - at >= 12) {
        const std::uint32_t length = bigEndian32(file.data() + at);
        const std::uint8_t* type = file.data() + at + 4;
        if (length > 0x7FFFFFFFu || file.size() - at - 12 < length)
            return false;
        const std::uint8_t* body = type + 4;
        if (libdeflate_crc32(0, type, length + 4) != bigEndian32(body + length))
            return false;
        at += 12 + std::size_t(length);
        if (first) {
            if (!is(type, "IHDR") || length != 13 || !validHeader(layout, body))
                return false;
            first = false;
        } else if (is(type, "IDAT")) {
            if (idatEnded || (layout.colour == Palette && layout.paletteEntries == 0))
                return false;
            layout.idat.emplace_back(body, length);
            layout.idatBytes += length;
        } else if (!layout.idat.empty()) {
            idatEnded = true;
            if (is(type, "IEND"))
                return true;
            if ((type[0] & 0x20) == 0) // critical chunks after the data
                return false;
        } else if (is(type, "PLTE")) {
            if (layout.paletteEntries != 0 || transparency || length % 3 != 0 || length == 0
                || length > 768)
                return false;
            if (layout.colour == Grey || layout.colour == GreyAlpha)
                return false; // libpng refuses it
            if (layout.colour != Palette)
                continue; // a suggested palette for true colour: not used
            layout.paletteEntries = int(length / 3);
            for (int i = 0; i < layout.paletteEntries; ++i) {
                const std::uint8_t* rgb = body + 3 * i;
                const std::array<std::uint8_t, 4> rgba{rgb[0], rgb[1], rgb[2], 0xFF};
                std::memcpy(&layout.palette[std::size_t(i)], rgba.data(), 4);
            }
        } else if (is(type, "tRNS")) {
            if (layout.colour != Palette || transparency || layout.paletteEntries == 0
                || length == 0 || int(length) > layout.paletteEntries)
                return false;
            transparency = true;
            for (std::uint32_t i = 0; i < length; ++i)
                reinterpret_cast<std::uint8_t*>(&layout.palette[i])[3] = body[i];
        } else if (is(type, "acTL") || is(type, "IEND") || (type[0] & 0x20) == 0) {
            // Animation, an early end, or critical chunks this path does not know.
            return false;
        }
    }
    return false; // no IEND
}

// Unfiltering, one row in place. `Step` is fixed per call so that the
// compiler unrolls the bytes of one pixel and vectorises across them (and
// across the whole row for Up).
template <int Step>
bool unfilterRow(std::uint8_t filter, std::uint8_t* row, const std::uint8_t* prior, std::size_t n)
{
    switch (filter) {
    case 0:
        return true;
    case 1:
        for (std::size_t i = Step; i < n; ++i)
            row[i] = std::uint8_t(row[i] + row[i - Step]);
        return true;
    case 2:
        for (std::size_t i = 0; i < n; ++i)
            row[i] = std::uint8_t(row[i] + prior[i]);
        return true;
    case 3:
        for (std::size_t i = 0; i < Step && i < n; ++i)
            row[i] = std::uint8_t(row[i] + (prior[i] >> 1));
        for (std::size_t i = Step; i < n; ++i)
            row[i] = std::uint8_t(row[i] + ((row[i - Step] + prior[i]) >> 1));
        return true;
    case 4:
        for (std::size_t i = 0; i < Step && i < n; ++i)
            row[i] = std::uint8_t(row[i] + prior[i]);
        for (std::size_t i = Step; i < n; ++i) {
            const int a = row[i - Step];
            const int b = prior[i];
            const int c = prior[i - Step];
            const int pa = std::abs(b - c);
            const int pb = std::abs(a - c);
            const int pc = std::abs(a + b - 2 * c);
            const int predicted = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
            row[i] = std::uint8_t(row[i] + predicted);
        }
        return true;
    default:
        return false; // libpng: bad adaptive filter value
    }
}

bool unfilter(std::uint8_t* data, std::size_t rowBytes, std::uint32_t height, int step)
{
    using Row = bool (*)(std::uint8_t, std::uint8_t*, const std::uint8_t*, std::size_t);
    Row row = nullptr;
    switch (step) {
    case 1:
        row = unfilterRow<1>;
        break;
    case 2:
        row = unfilterRow<2>;
        break;
    case 3:
        row = unfilterRow<3>;
        break;
    case 4:
        row = unfilterRow<4>;
        break;
    case 6:
        row = unfilterRow<6>;
        break;
    default:
        row = unfilterRow<8>;
        break;
    }
    const std::vector<std::uint8_t> zeros(rowBytes, 0);
    const std::uint8_t* prior = zeros.data();
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* line = data + std::size_t(y) * (rowBytes + 1);
        if (!row(line[0], line + 1, prior, rowBytes))
            return false;
        prior = line + 1;
    }
    return true;
}

// Samples below 8 bits, unpacked to one byte each (first pixel in the high bits).
void unpack(const std::uint8_t* in, std::uint8_t* out, std::uint32_t width, int depth)
{
    const int perByte = 8 / depth;
    const int mask = (1 << depth) - 1;
    for (std::uint32_t x = 0; x < width; ++x) {
        const int shift = 8 - depth * (int(x % std::uint32_t(perByte)) + 1);
        out[x] = std::uint8_t((in[x / std::uint32_t(perByte)] >> shift) & mask);
    }
}

std::uint16_t wideSample(const std::uint8_t* p)
{
    return std::uint16_t(p[0] << 8 | p[1]);
}

// libpng's png_set_scale_16: v / 257 rounded.
std::uint8_t scaled(const std::uint8_t* p)
{
    return std::uint8_t((std::uint32_t(wideSample(p)) * 255 + 32895) >> 16);
}

// One unfiltered row to RGBA, 8 bits a sample. False for a palette index past
// the palette (libpng's result for it is left to libpng).
bool expandRow8(const Layout& layout, const std::uint8_t* in, std::uint8_t* out,
    std::uint8_t* unpacked, bool wideInput)
{
    const std::uint32_t w = layout.width;
    if (layout.depth < 8) {
        unpack(in, unpacked, w, layout.depth);
        in = unpacked;
    }
    switch (layout.colour) {
    case Palette: {
        std::uint8_t highest = 0;
        for (std::uint32_t x = 0; x < w; ++x) {
            highest = std::max(highest, in[x]);
            std::memcpy(out + 4 * std::size_t(x), &layout.palette[in[x]], 4);
        }
        return highest < layout.paletteEntries;
    }
    case Grey: {
        // Low depths are widened by repeating their bits, as libpng does.
        const int factor = layout.depth == 1 ? 255
            : layout.depth == 2              ? 85
            : layout.depth == 4              ? 17
                                             : 1;
        for (std::uint32_t x = 0; x < w; ++x) {
            const std::uint8_t v
                = wideInput ? scaled(in + 2 * std::size_t(x)) : std::uint8_t(in[x] * factor);
            std::uint8_t* p = out + 4 * std::size_t(x);
            p[0] = p[1] = p[2] = v;
            p[3] = 0xFF;
        }
        return true;
    }
    default:
        break;
    }
    // One tight loop per form, so that each vectorises.
    const std::size_t n = w;
    if (!wideInput) {
        switch (layout.colour) {
        case Rgba:
            std::memcpy(out, in, 4 * n);
            break;
        case Rgb:
            for (std::size_t x = 0; x < n; ++x) {
                out[4 * x] = in[3 * x];
                out[4 * x + 1] = in[3 * x + 1];
                out[4 * x + 2] = in[3 * x + 2];
                out[4 * x + 3] = 0xFF;
            }
            break;
        default: // grey and alpha
            for (std::size_t x = 0; x < n; ++x) {
                out[4 * x] = out[4 * x + 1] = out[4 * x + 2] = in[2 * x];
                out[4 * x + 3] = in[2 * x + 1];
            }
            break;
        }
        return true;
    }
    if (layout.colour == Rgb) {
        for (std::size_t x = 0; x < n; ++x) {
            out[4 * x] = scaled(in + 6 * x);
            out[4 * x + 1] = scaled(in + 6 * x + 2);
            out[4 * x + 2] = scaled(in + 6 * x + 4);
            out[4 * x + 3] = 0xFF;
        }
        return true;
    }
    if (layout.colour == Rgba) {
        for (std::size_t i = 0; i < 4 * n; ++i)
            out[i] = scaled(in + 2 * i);
        return true;
    }
    const int samples = layout.samples;
    for (std::size_t x = 0; x < n; ++x) {
        const std::uint8_t* pixel = in + 2 * x * std::size_t(samples);
        std::uint8_t* p = out + 4 * x;
        if (layout.colour == GreyAlpha) {
            p[0] = p[1] = p[2] = scaled(pixel);
            p[3] = scaled(pixel + 2);
        } else {
            p[0] = scaled(pixel);
            p[1] = scaled(pixel + 2);
            p[2] = scaled(pixel + 4);
            p[3] = layout.colour == Rgba ? scaled(pixel + 6) : 0xFF;
        }
    }
    return true;
}

// One unfiltered 16-bit row to RGBA, 16 bits a sample in host order.
void expandRow16(const Layout& layout, const std::uint8_t* in, std::uint16_t* out)
{
    const int samples = layout.samples;
    for (std::uint32_t x = 0; x < layout.width; ++x) {
        const std::uint8_t* pixel = in + std::size_t(x) * std::size_t(samples) * 2;
        std::uint16_t* p = out + 4 * std::size_t(x);
        switch (layout.colour) {
        case Grey:
            p[0] = p[1] = p[2] = wideSample(pixel);
            p[3] = 0xFFFF;
            break;
        case GreyAlpha:
            p[0] = p[1] = p[2] = wideSample(pixel);
            p[3] = wideSample(pixel + 2);
            break;
        case Rgb:
            p[0] = wideSample(pixel);
            p[1] = wideSample(pixel + 2);
            p[2] = wideSample(pixel + 4);
            p[3] = 0xFFFF;
            break;
        default:
            p[0] = wideSample(pixel);
            p[1] = wideSample(pixel + 2);
            p[2] = wideSample(pixel + 4);
            p[3] = wideSample(pixel + 6);
            break;
        }
    }
}

struct DecompressorDeleter {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

} // namespace

std::optional<DecodeOutcome> decodeWholeInflate(Bytes file, const DecodeOptions& options)
{
    if (file.size() < kSignatureBytes || std::memcmp(file.data(), "\x89PNG\r\n\x1a\n", 8) != 0)
        return std::nullopt;
    Layout layout;
    if (!readChunks(file, layout) || layout.idat.empty())
        return std::nullopt;
    if (!withinPixelBudget(layout.width, layout.height))
        return detail::overBudget(layout.width, layout.height);
    const std::size_t rowBytes = layout.rowBytes();
    const std::uint64_t inflated = std::uint64_t(rowBytes + 1) * layout.height;
    if (layout.idatBytes * kMostInflatedPerByte < inflated)
        return std::nullopt; // cannot be whole: libpng says how it ends

    std::vector<std::uint8_t> joined;
    std::span<const std::uint8_t> stream = layout.idat.front();
    std::vector<std::uint8_t> data;
    try {
        if (layout.idat.size() > 1) {
            joined.reserve(std::size_t(layout.idatBytes));
            for (const auto& part : layout.idat)
                joined.insert(joined.end(), part.begin(), part.end());
            stream = joined;
        }
        data.resize(std::size_t(inflated));
    } catch (const std::bad_alloc&) {
        return detail::failure(DecodeStatus::TooLarge, "not enough memory for the picture");
    }
    const std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> inflater(
        libdeflate_alloc_decompressor());
    if (!inflater)
        return std::nullopt;
    // Exactly the inflated size, or libpng decides (short data, extra data).
    if (libdeflate_zlib_decompress(
            inflater.get(), stream.data(), stream.size(), data.data(), data.size(), nullptr)
        != LIBDEFLATE_SUCCESS)
        return std::nullopt;
    joined = {};
    if (!unfilter(data.data(), rowBytes, layout.height, layout.filterStep()))
        return std::nullopt;

    const bool wide = layout.depth == 16 && !options.eightBit;
    DecodeOutcome outcome;
    if (!detail::allocateFrames(outcome.picture, layout.width, layout.height, wide ? 2 : 1, 1))
        return detail::failure(DecodeStatus::TooLarge, "not enough memory for the picture");
    std::uint8_t* pixels = outcome.picture.frames[0].data();
    const std::size_t outRow = std::size_t(layout.width) * 4 * (wide ? 2 : 1);
    std::vector<std::uint8_t> unpacked(layout.depth < 8 ? layout.width : 0);
    for (std::uint32_t y = 0; y < layout.height; ++y) {
        const std::uint8_t* in = data.data() + std::size_t(y) * (rowBytes + 1) + 1;
        std::uint8_t* out = pixels + std::size_t(y) * outRow;
        if (wide)
            expandRow16(layout, in, reinterpret_cast<std::uint16_t*>(out));
        else if (!expandRow8(layout, in, out, unpacked.data(), layout.depth == 16))
            return std::nullopt;
    }
    outcome.status = DecodeStatus::Ok;
    return outcome;
}

} // namespace decoding::png
