#include "converter/HeaderProbe.h"

#include "decoding/BmpJpegGifHeaders.h"
#include "decoding/CodingFacts.h"

#include <cstdint>
#include <cstring>
#include <set>
#include <string>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kInchesPerMetre = 39.37007874015748;
constexpr std::uint64_t kMaxTiffSamples = 16;
constexpr std::uint64_t kMaxTiffBitsPerSample = 64;

// Bounds-checked reads at absolute offsets; a read past the end gives 0 and
// marks the reader as failed.
class Reader {
public:
    Reader(decoding::Bytes data, bool bigEndian)
        : m_data(data.data())
        , m_size(data.size())
        , m_bigEndian(bigEndian)
    {
    }

    std::uint64_t size() const { return m_size; }
    bool has(std::uint64_t offset, std::uint64_t length) const
    {
        return offset <= m_size && length <= m_size - offset;
    }
    std::uint64_t read(std::uint64_t offset, int length)
    {
        if (!has(offset, std::uint64_t(length))) {
            m_failed = true;
            return 0;
        }
        std::uint64_t value = 0;
        for (int i = 0; i < length; ++i) {
            const std::uint64_t byte = m_data[offset + std::uint64_t(i)];
            value |= m_bigEndian ? byte << (8 * (length - 1 - i)) : byte << (8 * i);
        }
        return value;
    }
    std::uint64_t u8(std::uint64_t offset) { return read(offset, 1); }
    std::uint64_t u16(std::uint64_t offset) { return read(offset, 2); }
    std::uint64_t u32(std::uint64_t offset) { return read(offset, 4); }
    std::uint64_t u64(std::uint64_t offset) { return read(offset, 8); }
    bool failed() const { return m_failed; }

private:
    const std::uint8_t* m_data;
    std::uint64_t m_size;
    bool m_bigEndian;
    bool m_failed = false;
};

// `length` bytes at `offset` as text, shorter when the data ends first.
std::string textAt(decoding::Bytes data, std::uint64_t offset, std::size_t length)
{
    if (offset >= data.size())
        return {};
    length = std::min<std::size_t>(length, data.size() - std::size_t(offset));
    return std::string(reinterpret_cast<const char*>(data.data()) + offset, length);
}

std::string withNumber(const char* pattern, std::uint64_t value)
{
    std::string text(pattern);
    const std::size_t at = text.find("%1");
    if (at != std::string::npos)
        text.replace(at, 2, std::to_string(value));
    return text;
}

double dpiFromPixelsPerMetre(double perMetre)
{
    return perMetre / kInchesPerMetre;
}

std::string tiffCompressionName(std::uint64_t code)
{
    switch (code) {
    case 1:
        return std::string("None");
    case 2:
        return std::string("CCITT modified Huffman RLE");
    case 3:
        return std::string("CCITT Group 3 fax");
    case 4:
        return std::string("CCITT Group 4 fax");
    case 5:
        return std::string("LZW");
    case 6:
    case 7:
        return std::string("JPEG");
    case 8:
    case 32946:
        return std::string("ZIP (Deflate)");
    case 32773:
        return std::string("PackBits");
    case 34712:
        return std::string("JPEG 2000");
    case 34925:
        return std::string("LZMA");
    case 50000:
        return std::string("Zstandard");
    case 50001:
        return std::string("WebP");
    default:
        return withNumber("Other (code %1)", code);
    }
}

} // namespace

HeaderFacts HeaderProbe::probe(decoding::Bytes data, decoding::PictureType type)
{
    HeaderFacts facts;
    switch (type) {
    case decoding::PictureType::Png:
        probePng(data, facts);
        break;
    case decoding::PictureType::Jpeg:
        probeJpeg(data, facts);
        break;
    case decoding::PictureType::Gif:
        probeGif(data, facts);
        break;
    case decoding::PictureType::Bmp:
        probeBmp(data, facts);
        break;
    case decoding::PictureType::Tiff:
        probeTiff(data, facts);
        break;
    case decoding::PictureType::Jpeg2000:
        probeJp2(data, facts);
        break;
    case decoding::PictureType::WebP:
    case decoding::PictureType::Heif:
    case decoding::PictureType::Avif: {
        const decoding::CodingFacts coding = type == decoding::PictureType::WebP
            ? decoding::webpCodingFacts(data)
            : decoding::heifCodingFacts(data);
        facts.compression = coding.compression;
        facts.bitsPerPixel = coding.bitsPerPixel;
        facts.frames = int(std::min<std::uint32_t>(coding.frames, INT32_MAX));
        break;
    }
    default:
        break;
    }
    return facts;
}

void HeaderProbe::probePng(decoding::Bytes data, HeaderFacts& facts)
{
    Reader bytes(data, true);
    facts.compression = std::string("Deflate (ZIP)");
    std::uint64_t offset = 8;
    // Chunks before the first image data hold everything a report needs.
    for (int chunk = 0; chunk < 10000 && bytes.has(offset, 8); ++chunk) {
        const std::uint64_t length = bytes.u32(offset);
        const std::string type = textAt(data, offset + 4, 4);
        const std::uint64_t body = offset + 8;
        if (!bytes.has(body, length))
            break;
        if (type == "IHDR" && length >= 13) {
            const int depth = int(bytes.u8(body + 8));
            const int colourType = int(bytes.u8(body + 9));
            const int channels = colourType == 2 ? 3
                : colourType == 4                ? 2
                : colourType == 6                ? 4
                                                 : 1;
            facts.bitsPerPixel = depth * channels;
            if (bytes.u8(body + 12) == 1)
                facts.compression += std::string(", interlaced (Adam7)");
        } else if (type == "pHYs" && length >= 9 && bytes.u8(body + 8) == 1) {
            facts.dpiX = dpiFromPixelsPerMetre(double(bytes.u32(body)));
            facts.dpiY = dpiFromPixelsPerMetre(double(bytes.u32(body + 4)));
        } else if (type == "acTL" && length >= 8) {
            facts.frames
                = int(std::clamp<std::uint64_t>(bytes.u32(body), 1, std::uint64_t(INT32_MAX)));
        } else if (type == "IDAT" || type == "IEND") {
            break;
        }
        offset = body + length + 4;
    }
}

int HeaderProbe::estimateJpegQuality(const int* table)
{
    // The common luminance table for quality 50. An encoder scales it by
    // 5000/q percent (q < 50) or 200 - 2q percent, rounds and clamps to 1..255;
    // the quality whose table lies closest is the estimate. Scaling keeps the
    // order of the entries, so comparing sorted tables makes the estimate
    // independent of the order they were stored in.
    static const int standard[64] = {16, 11, 10, 16, 24, 40, 51, 61, 12, 12, 14, 19, 26, 58, 60, 55,
        14, 13, 16, 24, 40, 57, 69, 56, 14, 17, 22, 29, 51, 87, 80, 62, 18, 22, 37, 56, 68, 109,
        103, 77, 24, 35, 55, 64, 81, 104, 113, 92, 49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95,
        98, 112, 100, 103, 99};
    int sortedStandard[64];
    int sortedTable[64];
    std::copy(standard, standard + 64, sortedStandard);
    std::copy(table, table + 64, sortedTable);
    std::sort(sortedStandard, sortedStandard + 64);
    std::sort(sortedTable, sortedTable + 64);
    int best = 1;
    std::int64_t bestDistance = std::numeric_limits<std::int64_t>::max();
    for (int quality = 1; quality <= 100; ++quality) {
        const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
        std::int64_t distance = 0;
        for (int i = 0; i < 64; ++i) {
            const int expected = std::clamp((sortedStandard[i] * scale + 50) / 100, 1, 255);
            distance += std::abs(expected - sortedTable[i]);
        }
        if (distance < bestDistance) {
            bestDistance = distance;
            best = quality;
        }
    }
    return best;
}

void HeaderProbe::probeJpeg(decoding::Bytes data, HeaderFacts& facts)
{
    const decoding::JpegLayout jpeg
        = decoding::readJpegLayout(data, decoding::JpegWalk::ToFirstScan);
    if (jpeg.hasFrame)
        facts.bitsPerPixel = int(jpeg.precision) * int(jpeg.components);
    if (jpeg.hasJfifDensity && jpeg.densityUnits == 1) {
        facts.dpiX = jpeg.xDensity;
        facts.dpiY = jpeg.yDensity;
    } else if (jpeg.hasJfifDensity && jpeg.densityUnits == 2) {
        facts.dpiX = jpeg.xDensity * 2.54;
        facts.dpiY = jpeg.yDensity * 2.54;
    }
    facts.compression = jpeg.lossless() ? std::string("JPEG, lossless") : std::string("JPEG");
    if (jpeg.hasLuminanceTable && !jpeg.lossless())
        facts.compression
            += withNumber(", quality: ~%1", estimateJpegQuality(jpeg.luminanceTable.data()));
    if (jpeg.progressive())
        facts.compression += std::string(", progressive");
}

void HeaderProbe::probeGif(decoding::Bytes data, HeaderFacts& facts)
{
    const decoding::GifLayout gif = decoding::readGifLayout(data);
    facts.compression = std::string("LZW");
    facts.bitsPerPixel = gif.globalTableBits;
    for (const decoding::GifFrame& frame : gif.frames) {
        if (facts.bitsPerPixel != 0)
            break;
        facts.bitsPerPixel = frame.localTableBits;
    }
    facts.frames = int(std::clamp<std::size_t>(gif.frames.size(), 1, INT32_MAX));
}

void HeaderProbe::probeBmp(decoding::Bytes data, HeaderFacts& facts)
{
    const decoding::BmpLayout bmp = decoding::readBmpLayout(data);
    facts.bitsPerPixel = bmp.bitCount;
    facts.complete = decoding::bmpComplete(data, data.size());
    if (bmp.infoSize == 12) {
        facts.compression = std::string("None");
        return;
    }
    switch (bmp.compression) {
    case 0:
        facts.compression = std::string("None");
        break;
    case 1:
        facts.compression = std::string("RLE8");
        break;
    case 2:
        facts.compression = std::string("RLE4");
        break;
    case 3:
    case 6:
        facts.compression = std::string("None (bit fields)");
        break;
    case 4:
        facts.compression = std::string("JPEG");
        break;
    case 5:
        facts.compression = std::string("PNG");
        break;
    default:
        facts.compression = withNumber("Other (code %1)", bmp.compression);
        break;
    }
    if (bmp.xPixelsPerMetre > 0 && bmp.yPixelsPerMetre > 0) {
        facts.dpiX = dpiFromPixelsPerMetre(bmp.xPixelsPerMetre);
        facts.dpiY = dpiFromPixelsPerMetre(bmp.yPixelsPerMetre);
    }
}

void HeaderProbe::probeTiff(decoding::Bytes data, HeaderFacts& facts)
{
    Reader bytes(data, textAt(data, 0, 2) == "MM");
    const bool big = bytes.u16(2) == 43;
    const int entrySize = big ? 20 : 12;
    const int countSize = big ? 8 : 2;
    const int offsetSize = big ? 8 : 4;
    const int inlineSize = big ? 8 : 4;
    auto readOffset = [&](std::uint64_t at) { return big ? bytes.u64(at) : bytes.u32(at); };

    auto typeSize = [](std::uint64_t type) -> int {
        switch (type) {
        case 1:
        case 2:
        case 6:
        case 7:
            return 1;
        case 3:
        case 8:
            return 2;
        case 4:
        case 9:
        case 11:
        case 13:
            return 4;
        case 5:
        case 10:
        case 12:
        case 16:
        case 17:
        case 18:
            return 8;
        default:
            return 0;
        }
    };

    std::uint64_t ifd = readOffset(big ? 8 : 4);
    std::set<std::uint64_t> visited;
    int pages = 0;
    while (ifd != 0 && pages < 100000 && !visited.count(ifd)
        && bytes.has(ifd, std::uint64_t(countSize))) {
        visited.insert(ifd);
        ++pages;
        const std::uint64_t count = big ? bytes.u64(ifd) : bytes.u16(ifd);
        const std::uint64_t first = ifd + std::uint64_t(countSize);
        if (count > 100000
            || !bytes.has(first, count * std::uint64_t(entrySize) + std::uint64_t(offsetSize))) {
            facts.complete = pages > 1 && facts.complete;
            break;
        }
        if (pages == 1) {
            std::uint64_t samples = 1;
            std::uint64_t bitsPerSample = 1;
            std::uint64_t resolutionUnit = 2;
            double resolution[2] = {0, 0};
            // Strip or tile offsets and byte counts: (where, type, count).
            std::uint64_t offsets[3] = {0, 0, 0};
            std::uint64_t lengths[3] = {0, 0, 0};
            facts.compression = tiffCompressionName(1);
            for (std::uint64_t e = 0; e < count; ++e) {
                const std::uint64_t entry = first + e * std::uint64_t(entrySize);
                const std::uint64_t tag = bytes.u16(entry);
                const std::uint64_t type = bytes.u16(entry + 2);
                const std::uint64_t valueCount = big ? bytes.u64(entry + 4) : bytes.u32(entry + 4);
                const std::uint64_t valueField = entry + (big ? 12 : 8);
                const int size = typeSize(type);
                if (size == 0 || valueCount > (std::uint64_t(1) << 40))
                    continue;
                const std::uint64_t where
                    = valueCount * std::uint64_t(size) <= std::uint64_t(inlineSize)
                    ? valueField
                    : readOffset(valueField);
                auto value = [&](std::uint64_t index) {
                    return bytes.read(where + index * std::uint64_t(size), std::min(size, 8));
                };
                switch (tag) {
                case 258:
                    bitsPerSample = value(0);
                    break;
                case 259:
                    facts.compression = tiffCompressionName(value(0));
                    break;
                case 277:
                    samples = value(0);
                    break;
                case 282:
                case 283:
                    if (type == 5 && bytes.has(where, 8)) {
                        const double denominator = double(bytes.u32(where + 4));
                        if (denominator > 0)
                            resolution[tag - 282] = double(bytes.u32(where)) / denominator;
                    }
                    break;
                case 296:
                    resolutionUnit = value(0);
                    break;
                case 273:
                case 324:
                    offsets[0] = where;
                    offsets[1] = std::uint64_t(size);
                    offsets[2] = valueCount;
                    break;
                case 279:
                case 325:
                    lengths[0] = where;
                    lengths[1] = std::uint64_t(size);
                    lengths[2] = valueCount;
                    break;
                default:
                    break;
                }
            }
            facts.bitsPerPixel = int(std::min<std::uint64_t>(samples * bitsPerSample, 1024));
            // No picture has more channels or deeper samples than this; such
            // headers only make the TIFF library size huge buffers.
            if (samples == 0 || samples > kMaxTiffSamples || bitsPerSample == 0
                || bitsPerSample > kMaxTiffBitsPerSample)
                facts.complete = false;
            if (resolution[0] > 0 && resolution[1] > 0 && resolutionUnit != 1) {
                const double toInch = resolutionUnit == 3 ? 2.54 : 1.0;
                facts.dpiX = resolution[0] * toInch;
                facts.dpiY = resolution[1] * toInch;
            }
            // Every strip or tile must lie inside the file.
            if (offsets[2] != lengths[2]) {
                facts.complete = false;
            } else {
                for (std::uint64_t i = 0; i < offsets[2] && facts.complete; ++i) {
                    const std::uint64_t start
                        = bytes.read(offsets[0] + i * offsets[1], int(offsets[1]));
                    const std::uint64_t length
                        = bytes.read(lengths[0] + i * lengths[1], int(lengths[1]));
                    if (bytes.failed() || !bytes.has(start, length))
                        facts.complete = false;
                }
            }
        }
        ifd = readOffset(first + count * std::uint64_t(entrySize));
    }
    facts.frames = std::max(pages, 1);
    if (pages == 0)
        facts.complete = false;
}

void HeaderProbe::probeJp2(decoding::Bytes data, HeaderFacts& facts)
{
    // The codestream facts come from the decoder; the box file may add a
    // resolution. Display resolution wins over capture resolution.
    Reader bytes(data, true);
    double capture[2] = {0, 0};
    double display[2] = {0, 0};
    auto readResolution = [&bytes](std::uint64_t at, double* out) {
        const double vn = double(bytes.u16(at));
        const double vd = double(bytes.u16(at + 2));
        const double hn = double(bytes.u16(at + 4));
        const double hd = double(bytes.u16(at + 6));
        const int ve = std::int8_t(bytes.u8(at + 8));
        const int he = std::int8_t(bytes.u8(at + 9));
        if (vd > 0 && hd > 0 && !bytes.failed()) {
            out[0] = dpiFromPixelsPerMetre(hn / hd * std::pow(10.0, he));
            out[1] = dpiFromPixelsPerMetre(vn / vd * std::pow(10.0, ve));
        }
    };
    // Walks the boxes between `begin` and `end`, descending into the header
    // and resolution super boxes.
    auto walk = [&](auto&& self, std::uint64_t begin, std::uint64_t end, int depth) -> void {
        std::uint64_t offset = begin;
        for (int n = 0; n < 1000 && depth < 4 && offset + 8 <= end && bytes.has(offset, 8); ++n) {
            std::uint64_t length = bytes.u32(offset);
            const std::string type = textAt(data, offset + 4, 4);
            std::uint64_t header = 8;
            if (length == 1) {
                length = bytes.u64(offset + 8);
                header = 16;
            } else if (length == 0) {
                length = end - offset;
            }
            if (length < header || length > end - offset)
                return;
            if (type == "jp2h" || type == "res ")
                self(self, offset + header, offset + length, depth + 1);
            else if (type == "resc" && length - header >= 10)
                readResolution(offset + header, capture);
            else if (type == "resd" && length - header >= 10)
                readResolution(offset + header, display);
            offset += length;
        }
    };
    walk(walk, 0, bytes.size(), 0);
    const double* chosen = display[0] > 0 ? display : capture;
    facts.dpiX = chosen[0];
    facts.dpiY = chosen[1];
}
