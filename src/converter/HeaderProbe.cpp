#include "converter/HeaderProbe.h"

#include <QSet>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kInchesPerMetre = 39.37007874015748;
constexpr quint64 kMaxTiffSamples = 16;
constexpr quint64 kMaxTiffBitsPerSample = 64;

// Bounds-checked reads at absolute offsets; a read past the end gives 0 and
// marks the reader as failed.
class Bytes {
public:
    Bytes(const QByteArray& data, bool bigEndian)
        : m_data(reinterpret_cast<const uchar*>(data.constData()))
        , m_size(quint64(data.size()))
        , m_bigEndian(bigEndian)
    {
    }

    quint64 size() const { return m_size; }
    bool has(quint64 offset, quint64 length) const
    {
        return offset <= m_size && length <= m_size - offset;
    }
    quint64 read(quint64 offset, int length)
    {
        if (!has(offset, quint64(length))) {
            m_failed = true;
            return 0;
        }
        quint64 value = 0;
        for (int i = 0; i < length; ++i) {
            const quint64 byte = m_data[offset + quint64(i)];
            value |= m_bigEndian ? byte << (8 * (length - 1 - i)) : byte << (8 * i);
        }
        return value;
    }
    quint64 u8(quint64 offset) { return read(offset, 1); }
    quint64 u16(quint64 offset) { return read(offset, 2); }
    quint64 u32(quint64 offset) { return read(offset, 4); }
    quint64 u64(quint64 offset) { return read(offset, 8); }
    bool failed() const { return m_failed; }

private:
    const uchar* m_data;
    quint64 m_size;
    bool m_bigEndian;
    bool m_failed = false;
};

double dpiFromPixelsPerMetre(double perMetre)
{
    return perMetre / kInchesPerMetre;
}

QString tiffCompressionName(quint64 code)
{
    switch (code) {
    case 1:
        return QStringLiteral("None");
    case 2:
        return QStringLiteral("CCITT modified Huffman RLE");
    case 3:
        return QStringLiteral("CCITT Group 3 fax");
    case 4:
        return QStringLiteral("CCITT Group 4 fax");
    case 5:
        return QStringLiteral("LZW");
    case 6:
    case 7:
        return QStringLiteral("JPEG");
    case 8:
    case 32946:
        return QStringLiteral("ZIP (Deflate)");
    case 32773:
        return QStringLiteral("PackBits");
    case 34712:
        return QStringLiteral("JPEG 2000");
    case 34925:
        return QStringLiteral("LZMA");
    case 50000:
        return QStringLiteral("Zstandard");
    case 50001:
        return QStringLiteral("WebP");
    default:
        return QStringLiteral("Other (code %1)").arg(code);
    }
}

} // namespace

HeaderFacts HeaderProbe::probe(const QByteArray& data, ImageFormat::Type type)
{
    HeaderFacts facts;
    switch (type) {
    case ImageFormat::Png:
        probePng(data, facts);
        break;
    case ImageFormat::Jpeg:
        probeJpeg(data, facts);
        break;
    case ImageFormat::Gif:
        probeGif(data, facts);
        break;
    case ImageFormat::Bmp:
        probeBmp(data, facts);
        break;
    case ImageFormat::Tiff:
        probeTiff(data, facts);
        break;
    case ImageFormat::Jp2:
    case ImageFormat::J2kCodestream:
        probeJp2(data, facts);
        break;
    case ImageFormat::Unknown:
        break;
    }
    return facts;
}

void HeaderProbe::probePng(const QByteArray& data, HeaderFacts& facts)
{
    Bytes bytes(data, true);
    facts.compression = QStringLiteral("Deflate (ZIP)");
    quint64 offset = 8;
    // Chunks before the first image data hold everything a report needs.
    for (int chunk = 0; chunk < 10000 && bytes.has(offset, 8); ++chunk) {
        const quint64 length = bytes.u32(offset);
        const QByteArray type = data.mid(qsizetype(offset + 4), 4);
        const quint64 body = offset + 8;
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
                facts.compression += QStringLiteral(", interlaced (Adam7)");
        } else if (type == "pHYs" && length >= 9 && bytes.u8(body + 8) == 1) {
            facts.dpiX = dpiFromPixelsPerMetre(double(bytes.u32(body)));
            facts.dpiY = dpiFromPixelsPerMetre(double(bytes.u32(body + 4)));
        } else if (type == "acTL" && length >= 8) {
            facts.frames = int(std::clamp<quint64>(bytes.u32(body), 1, INT_MAX));
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
    qint64 bestDistance = std::numeric_limits<qint64>::max();
    for (int quality = 1; quality <= 100; ++quality) {
        const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
        qint64 distance = 0;
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

void HeaderProbe::probeJpeg(const QByteArray& data, HeaderFacts& facts)
{
    Bytes bytes(data, true);
    int luminance[64];
    bool haveLuminance = false;
    bool progressive = false;
    bool lossless = false;
    quint64 offset = 2;
    while (bytes.has(offset, 4)) {
        if (bytes.u8(offset) != 0xFF)
            break;
        const int marker = int(bytes.u8(offset + 1));
        if (marker == 0xFF) {
            ++offset; // fill byte
            continue;
        }
        if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            offset += 2;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9)
            break;
        const quint64 length = bytes.u16(offset + 2);
        const quint64 body = offset + 4;
        if (length < 2 || !bytes.has(offset + 2, length))
            break;
        const quint64 end = offset + 2 + length;
        const bool startOfFrame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4
            && marker != 0xC8 && marker != 0xCC;
        if (startOfFrame && length >= 8) {
            facts.bitsPerPixel = int(bytes.u8(body) * bytes.u8(body + 5));
            progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
            lossless = marker == 0xC3 || marker == 0xC7 || marker == 0xCB || marker == 0xCF;
        } else if (marker == 0xDB) {
            for (quint64 p = body; p < end;) {
                const int info = int(bytes.u8(p));
                const int entrySize = (info >> 4) ? 2 : 1;
                if (!bytes.has(p + 1, 64 * quint64(entrySize)) || p + 1 + 64 * entrySize > end)
                    break;
                if ((info & 0x0F) == 0 && !haveLuminance) {
                    for (int i = 0; i < 64; ++i)
                        luminance[i] = int(bytes.read(p + 1 + quint64(i * entrySize), entrySize));
                    haveLuminance = true;
                }
                p += 1 + 64 * quint64(entrySize);
            }
        } else if (marker == 0xE0 && length >= 16
            && data.mid(qsizetype(body), 5) == QByteArray("JFIF\0", 5)) {
            const int units = int(bytes.u8(body + 7));
            const double x = double(bytes.u16(body + 8));
            const double y = double(bytes.u16(body + 10));
            if (units == 1) {
                facts.dpiX = x;
                facts.dpiY = y;
            } else if (units == 2) {
                facts.dpiX = x * 2.54;
                facts.dpiY = y * 2.54;
            }
        }
        offset = end;
    }
    facts.compression = lossless ? QStringLiteral("JPEG, lossless") : QStringLiteral("JPEG");
    if (haveLuminance && !lossless)
        facts.compression += QStringLiteral(", quality: ~%1").arg(estimateJpegQuality(luminance));
    if (progressive)
        facts.compression += QStringLiteral(", progressive");
}

void HeaderProbe::probeGif(const QByteArray& data, HeaderFacts& facts)
{
    Bytes bytes(data, false);
    facts.compression = QStringLiteral("LZW");
    const int screenFlags = int(bytes.u8(10));
    quint64 offset = 13;
    if (screenFlags & 0x80) {
        facts.bitsPerPixel = (screenFlags & 7) + 1;
        offset += 3ull << ((screenFlags & 7) + 1);
    }
    auto skipSubBlocks = [&bytes](quint64 p) {
        while (bytes.has(p, 1)) {
            const quint64 length = bytes.u8(p);
            p += 1 + length;
            if (length == 0)
                return p;
        }
        return quint64(0); // ran off the end
    };
    int frames = 0;
    while (bytes.has(offset, 1)) {
        const int introducer = int(bytes.u8(offset));
        if (introducer == 0x21) {
            offset = skipSubBlocks(offset + 2);
        } else if (introducer == 0x2C) {
            ++frames;
            const int flags = int(bytes.u8(offset + 9));
            if (facts.bitsPerPixel == 0 && (flags & 0x80))
                facts.bitsPerPixel = (flags & 7) + 1;
            offset += 10;
            if (flags & 0x80)
                offset += 3ull << ((flags & 7) + 1);
            offset = skipSubBlocks(offset + 1);
        } else {
            break; // trailer or damage
        }
        if (offset == 0)
            break;
    }
    facts.frames = std::max(frames, 1);
}

void HeaderProbe::probeBmp(const QByteArray& data, HeaderFacts& facts)
{
    Bytes bytes(data, false);
    const quint64 headerSize = bytes.u32(14);
    if (headerSize == 12) {
        facts.bitsPerPixel = int(bytes.u16(24));
        facts.compression = QStringLiteral("None");
        facts.complete = bytes.u32(10) < bytes.size() && !bytes.failed();
        return;
    }
    facts.bitsPerPixel = int(bytes.u16(28));
    switch (bytes.u32(30)) {
    case 0:
        facts.compression = QStringLiteral("None");
        break;
    case 1:
        facts.compression = QStringLiteral("RLE8");
        break;
    case 2:
        facts.compression = QStringLiteral("RLE4");
        break;
    case 3:
    case 6:
        facts.compression = QStringLiteral("None (bit fields)");
        break;
    case 4:
        facts.compression = QStringLiteral("JPEG");
        break;
    case 5:
        facts.compression = QStringLiteral("PNG");
        break;
    default:
        facts.compression = QStringLiteral("Other (code %1)").arg(bytes.u32(30));
        break;
    }
    const double x = double(qint32(bytes.u32(38)));
    const double y = double(qint32(bytes.u32(42)));
    if (x > 0 && y > 0 && !bytes.failed()) {
        facts.dpiX = dpiFromPixelsPerMetre(x);
        facts.dpiY = dpiFromPixelsPerMetre(y);
    }
    // Uncompressed pixels must fit between the data offset and the file's
    // end; Qt's reader fills what is missing with palette colour 0.
    const quint64 compression = bytes.u32(30);
    const qint64 width = qint32(bytes.u32(18));
    const qint64 height = qint32(bytes.u32(22));
    const quint64 offset = bytes.u32(10);
    if (bytes.failed() || offset >= bytes.size()) {
        facts.complete = false;
    } else if ((compression == 0 || compression == 3 || compression == 6)
        && facts.bitsPerPixel > 0) {
        const quint64 rowSize
            = ((quint64(width < 0 ? -width : width) * quint64(facts.bitsPerPixel) + 31) / 32) * 4;
        const quint64 rows = quint64(height < 0 ? -height : height);
        if (rows != 0 && rowSize > (bytes.size() - offset) / rows)
            facts.complete = false;
    }
}

void HeaderProbe::probeTiff(const QByteArray& data, HeaderFacts& facts)
{
    Bytes bytes(data, data.startsWith("MM"));
    const bool big = bytes.u16(2) == 43;
    const int entrySize = big ? 20 : 12;
    const int countSize = big ? 8 : 2;
    const int offsetSize = big ? 8 : 4;
    const int inlineSize = big ? 8 : 4;
    auto readOffset = [&](quint64 at) { return big ? bytes.u64(at) : bytes.u32(at); };

    auto typeSize = [](quint64 type) -> int {
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

    quint64 ifd = readOffset(big ? 8 : 4);
    QSet<quint64> visited;
    int pages = 0;
    while (ifd != 0 && pages < 100000 && !visited.contains(ifd)
        && bytes.has(ifd, quint64(countSize))) {
        visited.insert(ifd);
        ++pages;
        const quint64 count = big ? bytes.u64(ifd) : bytes.u16(ifd);
        const quint64 first = ifd + quint64(countSize);
        if (count > 100000 || !bytes.has(first, count * quint64(entrySize) + quint64(offsetSize))) {
            facts.complete = pages > 1 && facts.complete;
            break;
        }
        if (pages == 1) {
            quint64 samples = 1;
            quint64 bitsPerSample = 1;
            quint64 resolutionUnit = 2;
            double resolution[2] = {0, 0};
            // Strip or tile offsets and byte counts: (where, type, count).
            quint64 offsets[3] = {0, 0, 0};
            quint64 lengths[3] = {0, 0, 0};
            facts.compression = tiffCompressionName(1);
            for (quint64 e = 0; e < count; ++e) {
                const quint64 entry = first + e * quint64(entrySize);
                const quint64 tag = bytes.u16(entry);
                const quint64 type = bytes.u16(entry + 2);
                const quint64 valueCount = big ? bytes.u64(entry + 4) : bytes.u32(entry + 4);
                const quint64 valueField = entry + (big ? 12 : 8);
                const int size = typeSize(type);
                if (size == 0 || valueCount > (quint64(1) << 40))
                    continue;
                const quint64 where = valueCount * quint64(size) <= quint64(inlineSize)
                    ? valueField
                    : readOffset(valueField);
                auto value = [&](quint64 index) {
                    return bytes.read(where + index * quint64(size), std::min(size, 8));
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
                    offsets[1] = quint64(size);
                    offsets[2] = valueCount;
                    break;
                case 279:
                case 325:
                    lengths[0] = where;
                    lengths[1] = quint64(size);
                    lengths[2] = valueCount;
                    break;
                default:
                    break;
                }
            }
            facts.bitsPerPixel = int(std::min<quint64>(samples * bitsPerSample, 1024));
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
                for (quint64 i = 0; i < offsets[2] && facts.complete; ++i) {
                    const quint64 start = bytes.read(offsets[0] + i * offsets[1], int(offsets[1]));
                    const quint64 length = bytes.read(lengths[0] + i * lengths[1], int(lengths[1]));
                    if (bytes.failed() || !bytes.has(start, length))
                        facts.complete = false;
                }
            }
        }
        ifd = readOffset(first + count * quint64(entrySize));
    }
    facts.frames = std::max(pages, 1);
    if (pages == 0)
        facts.complete = false;
}

void HeaderProbe::probeJp2(const QByteArray& data, HeaderFacts& facts)
{
    // The codestream facts come from the decoder; the box file may add a
    // resolution. Display resolution wins over capture resolution.
    Bytes bytes(data, true);
    double capture[2] = {0, 0};
    double display[2] = {0, 0};
    auto readResolution = [&bytes](quint64 at, double* out) {
        const double vn = double(bytes.u16(at));
        const double vd = double(bytes.u16(at + 2));
        const double hn = double(bytes.u16(at + 4));
        const double hd = double(bytes.u16(at + 6));
        const int ve = qint8(bytes.u8(at + 8));
        const int he = qint8(bytes.u8(at + 9));
        if (vd > 0 && hd > 0 && !bytes.failed()) {
            out[0] = dpiFromPixelsPerMetre(hn / hd * std::pow(10.0, he));
            out[1] = dpiFromPixelsPerMetre(vn / vd * std::pow(10.0, ve));
        }
    };
    // Walks the boxes between `begin` and `end`, descending into the header
    // and resolution super boxes.
    auto walk = [&](auto&& self, quint64 begin, quint64 end, int depth) -> void {
        quint64 offset = begin;
        for (int n = 0; n < 1000 && depth < 4 && offset + 8 <= end && bytes.has(offset, 8); ++n) {
            quint64 length = bytes.u32(offset);
            const QByteArray type = data.mid(qsizetype(offset + 4), 4);
            quint64 header = 8;
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
