#include "decoding/BmpJpegGifHeaders.h"

#include "decoding/PictureType.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace decoding {

namespace {

std::uint16_t le16(Bytes b, std::size_t at)
{
    return std::uint16_t(b[at] | (b[at + 1] << 8));
}

std::uint32_t le32(Bytes b, std::size_t at)
{
    return std::uint32_t(b[at]) | (std::uint32_t(b[at + 1]) << 8) | (std::uint32_t(b[at + 2]) << 16)
        | (std::uint32_t(b[at + 3]) << 24);
}

std::uint16_t be16(Bytes b, std::size_t at)
{
    return std::uint16_t((b[at] << 8) | b[at + 1]);
}

bool startsWith(Bytes b, const char* signature, std::size_t length)
{
    return b.size() >= length && std::memcmp(b.data(), signature, length) == 0;
}

// Start-of-frame markers: every C0..CF except DHT (C4), JPG (C8) and DAC (CC).
bool isStartOfFrame(std::uint8_t marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Markers that stand alone, without a length field.
bool isStandalone(std::uint8_t marker)
{
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);
}

// Bits of a GIF colour table announced by a flags byte, 0 for none.
int gifTableBits(std::uint8_t flags)
{
    return (flags & 0x80) ? (flags & 7) + 1 : 0;
}

std::size_t gifTableBytes(int bits)
{
    return bits == 0 ? 0 : std::size_t(3) << bits;
}

// The quantisation tables of one DQT segment, body [from, end): keeps the
// first table of slot 0.
void readQuantisationTables(Bytes file, std::size_t from, std::size_t end, JpegLayout& jpeg)
{
    for (std::size_t p = from; p < end;) {
        const int info = file[p];
        const std::size_t entrySize = (info >> 4) ? 2 : 1;
        if (p + 1 + 64 * entrySize > end)
            return;
        if ((info & 0x0F) == 0 && !jpeg.hasLuminanceTable) {
            for (std::size_t i = 0; i < 64; ++i) {
                const std::size_t at = p + 1 + i * entrySize;
                jpeg.luminanceTable[i] = entrySize == 2 ? be16(file, at) : file[at];
            }
            jpeg.hasLuminanceTable = true;
        }
        p += 1 + 64 * entrySize;
    }
}

// The components of a frame header whose length field is at `at`.
void readFrameComponents(Bytes file, std::size_t at, std::size_t length, JpegLayout& jpeg)
{
    const std::size_t count = file[at + 7];
    if (count == 0 || count > 4 || length < 8 + 3 * count || at + 8 + 3 * count > file.size())
        return;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t p = at + 8 + 3 * i;
        JpegComponent component;
        component.id = file[p];
        component.horizontal = file[p + 1] >> 4;
        component.vertical = file[p + 1] & 0x0F;
        jpeg.frameComponents.push_back(component);
    }
}

// A scan header, body [from, end). Components it names that the frame does
// not have are left out (the scan then counts for no component).
JpegScan readScanHeader(Bytes file, std::size_t from, std::size_t end, const JpegLayout& jpeg)
{
    JpegScan scan;
    if (from >= end)
        return scan;
    const std::size_t count = file[from];
    if (from + 1 + 2 * count + 3 > end)
        return scan;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t id = file[from + 1 + 2 * i];
        for (std::size_t c = 0; c < jpeg.frameComponents.size(); ++c) {
            if (jpeg.frameComponents[c].id == id)
                scan.components.push_back(int(c));
        }
    }
    const std::size_t p = from + 1 + 2 * count;
    scan.spectralStart = file[p];
    scan.spectralEnd = file[p + 1];
    scan.approximationHigh = file[p + 2] >> 4;
    scan.approximationLow = file[p + 2] & 0x0F;
    return scan;
}

} // namespace

// --- BMP -------------------------------------------------------------------

BmpLayout readBmpLayout(Bytes head)
{
    BmpLayout bmp;
    if (!startsWith(head, "BM", 2))
        return bmp;
    bmp.signature = true;
    // File header (14 bytes), then the information header, which begins with its own size.
    if (head.size() < 18)
        return bmp;
    bmp.pixelOffset = le32(head, 10);
    bmp.infoSize = le32(head, 14);
    if (bmp.infoSize == 12) { // OS/2 1.x core header: 16-bit sizes
        if (head.size() < 26)
            return bmp;
        bmp.width = le16(head, 18);
        bmp.height = le16(head, 20);
        bmp.planes = le16(head, 22);
        bmp.bitCount = le16(head, 24);
    } else if (bmp.infoSize >= 16 && bmp.infoSize <= 124) {
        if (head.size() < 30)
            return bmp;
        bmp.width = std::int32_t(le32(head, 18));
        bmp.height = std::int32_t(le32(head, 22));
        bmp.planes = le16(head, 26);
        bmp.bitCount = le16(head, 28);
        // The shortest OS/2 2.x header ends before these fields.
        if (bmp.infoSize >= 20 && head.size() >= 34)
            bmp.compression = le32(head, 30);
        if (bmp.infoSize >= 32 && head.size() >= 46) {
            bmp.xPixelsPerMetre = std::int32_t(le32(head, 38));
            bmp.yPixelsPerMetre = std::int32_t(le32(head, 42));
        }
    } else {
        return bmp;
    }
    // The masks follow a 40-byte header and begin later ones (OS/2's 64-byte
    // header gives compression 3 another meaning): red, green, blue, then
    // alpha where the header holds one or compression 6 asks for it.
    const bool bitFields = bmp.compression == 3 || bmp.compression == 6;
    const bool windowsHeader = bmp.infoSize == 40 || bmp.infoSize == 52 || bmp.infoSize == 56
        || bmp.infoSize == 108 || bmp.infoSize == 124;
    if (bitFields && windowsHeader) {
        const int masks = bmp.infoSize >= 56 || bmp.compression == 6 ? 4 : 3;
        if (head.size() < 54 + 4 * std::size_t(masks))
            return bmp;
        for (int i = 0; i < masks; ++i)
            bmp.widestField = std::max(bmp.widestField, std::popcount(le32(head, 54 + 4 * i)));
    }
    bmp.readable = true;
    return bmp;
}

PictureHeader readBmpHeader(Bytes head)
{
    PictureHeader header;
    const BmpLayout bmp = readBmpLayout(head);
    if (!bmp.signature)
        return header;
    header.type = PictureType::Bmp;
    if (!bmp.readable)
        return header;
    const std::int64_t height = bmp.height < 0 ? -bmp.height : bmp.height;
    const std::uint16_t bits = bmp.bitCount;
    const bool knownDepth = bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16
        || bits == 24 || bits == 32 || bits == 0;
    if (bmp.width <= 0 || height <= 0 || bmp.planes != 1 || !knownDepth || bmp.width > 0xFFFFFFFF
        || height > 0xFFFFFFFF)
        return header;
    header.width = std::uint32_t(bmp.width);
    header.height = std::uint32_t(height);
    header.frames = 1;
    header.beyondEightBitRgba = bmp.widestField > 8;
    header.ok = true;
    return header;
}

bool bmpComplete(Bytes head, std::uint64_t fileSize)
{
    const BmpLayout bmp = readBmpLayout(head);
    // Windows headers of 40 bytes and more, and the OS/2 core header: Qt's
    // reader takes no other.
    if (!bmp.readable || (bmp.infoSize != 12 && (bmp.infoSize < 40 || head.size() < 34)))
        return false;
    const std::int64_t size = std::int64_t(std::min<std::uint64_t>(fileSize, INT64_MAX));
    if (std::int64_t(bmp.pixelOffset) >= size)
        return false;
    // Run-length data has no length of its own to check against.
    constexpr std::uint32_t kRgb = 0, kBitFields = 3, kAlphaBitFields = 6;
    if (bmp.compression != kRgb && bmp.compression != kBitFields
        && bmp.compression != kAlphaBitFields)
        return true;
    if (bmp.width <= 0 || bmp.height == 0 || bmp.bitCount == 0)
        return false;
    const std::int64_t rows = bmp.height < 0 ? -bmp.height : bmp.height;
    const std::int64_t stride = (bmp.width * bmp.bitCount + 31) / 32 * 4;
    // Checked one by one first, so that the product cannot overflow.
    if (rows > size || stride > size)
        return false;
    return std::int64_t(bmp.pixelOffset) + stride * rows <= size;
}

// --- JPEG ------------------------------------------------------------------

bool JpegLayout::progressive() const
{
    return frameMarker == 0xC2 || frameMarker == 0xC6 || frameMarker == 0xCA || frameMarker == 0xCE;
}

bool JpegLayout::lossless() const
{
    return frameMarker == 0xC3 || frameMarker == 0xC7 || frameMarker == 0xCB || frameMarker == 0xCF;
}

bool JpegLayout::arithmetic() const
{
    return frameMarker >= 0xC9;
}

JpegLayout readJpegLayout(Bytes file, JpegWalk walk)
{
    JpegLayout jpeg;
    if (!startsWith(file, "\xff\xd8\xff", 3))
        return jpeg;
    jpeg.signature = true;
    const std::size_t size = file.size();
    auto damaged = [&jpeg] {
        if (!jpeg.hasFrame)
            jpeg.cleanBeforeFrame = false;
    };
    std::size_t at = 2;
    while (at < size) {
        // Like libjpeg, skip stray bytes and fill bytes up to a marker.
        if (file[at] != 0xFF) {
            damaged();
            ++at;
            continue;
        }
        while (at < size && file[at] == 0xFF)
            ++at;
        if (at >= size)
            break;
        const std::uint8_t marker = file[at++];
        if (isStandalone(marker))
            continue;
        if (marker == 0x00 || marker == 0xD8) { // a stuffed byte, a second start of image
            damaged();
            continue;
        }
        if (marker == 0xD9) { // the end of the image before any scan
            damaged();
            return jpeg;
        }
        if (at + 2 > size)
            break;
        const std::size_t length = be16(file, at);
        if (length < 2) {
            damaged();
            return jpeg;
        }
        if (isStartOfFrame(marker) && !jpeg.hasFrame) {
            // Length, precision, height, width, component count.
            if (length < 8 || at + 8 > size) {
                damaged();
                return jpeg;
            }
            jpeg.hasFrame = true;
            jpeg.frameMarker = marker;
            jpeg.precision = file[at + 2];
            jpeg.height = be16(file, at + 3);
            jpeg.width = be16(file, at + 5);
            jpeg.components = file[at + 7];
            if (walk == JpegWalk::ToFrame)
                return jpeg;
            readFrameComponents(file, at, length, jpeg);
        }
        const std::size_t end = at + length;
        if (end > size)
            break;
        const std::size_t body = at + 2;
        if (marker == 0xDB) {
            readQuantisationTables(file, body, end, jpeg);
        } else if (marker == 0xE0 && length >= 16 && std::memcmp(&file[body], "JFIF\0", 5) == 0) {
            jpeg.hasJfifDensity = true;
            jpeg.densityUnits = file[body + 7];
            jpeg.xDensity = be16(file, body + 8);
            jpeg.yDensity = be16(file, body + 10);
        } else if (marker == 0xDA) {
            damaged(); // a scan before any frame header
            if (jpeg.firstScanData == 0)
                jpeg.firstScanData = end;
            if (walk != JpegWalk::AllScans)
                return jpeg;
            JpegScan scan = readScanHeader(file, body, end, jpeg);
            at = end;
            // The entropy-coded data: every 0xFF in it is followed by a
            // stuffed 0x00, a restart marker or fill bytes before a marker.
            for (;;) {
                const auto* found = static_cast<const std::uint8_t*>(
                    std::memchr(file.data() + at, 0xFF, size - at));
                if (!found) {
                    at = size;
                    break;
                }
                std::size_t next = std::size_t(found - file.data()) + 1;
                while (next < size && file[next] == 0xFF)
                    ++next;
                if (next < size
                    && (file[next] == 0x00 || (file[next] >= 0xD0 && file[next] <= 0xD7))) {
                    at = next + 1;
                    continue;
                }
                at = std::size_t(found - file.data());
                break;
            }
            scan.dataBytes = at - end;
            jpeg.scans.push_back(std::move(scan));
            continue;
        }
        at = end;
    }
    damaged(); // the bytes ended first
    return jpeg;
}

PictureHeader readJpegHeader(Bytes head)
{
    PictureHeader header;
    const JpegLayout jpeg = readJpegLayout(head, JpegWalk::ToFrame);
    if (!jpeg.signature)
        return header;
    header.type = PictureType::Jpeg;
    // A height of 0 is announced later (DNL): not a size we can use.
    if (!jpeg.hasFrame || !jpeg.cleanBeforeFrame || jpeg.width == 0 || jpeg.height == 0
        || jpeg.components == 0)
        return header;
    header.width = jpeg.width;
    header.height = jpeg.height;
    header.frames = 1;
    // Four components are inks (CMYK or YCCK), which RGB cannot hold;
    // a precision of 12 bits is deeper than 8.
    header.beyondEightBitRgba
        = jpeg.precision != 8 || (jpeg.components != 1 && jpeg.components != 3);
    header.ok = true;
    return header;
}

bool jpegComplete(Bytes file)
{
    const JpegLayout jpeg = readJpegLayout(file, JpegWalk::ToFirstScan);
    if (jpeg.firstScanData == 0)
        return false;
    // Scan data stuffs every 0xFF with a 0x00, so the end-of-image marker
    // after the first scan means the file was not cut off.
    static constexpr std::uint8_t kEnd[] = {0xFF, 0xD9};
    const auto rest = file.subspan(jpeg.firstScanData);
    return std::search(rest.begin(), rest.end(), std::begin(kEnd), std::end(kEnd)) != rest.end();
}

// --- GIF -------------------------------------------------------------------

GifLayout readGifLayout(Bytes file)
{
    GifLayout gif;
    const std::size_t size = file.size();
    if (size < 13 || !(startsWith(file, "GIF87a", 6) || startsWith(file, "GIF89a", 6)))
        return gif;
    gif.signature = true;
    gif.screenWidth = le16(file, 6);
    gif.screenHeight = le16(file, 8);
    gif.globalTableBits = gifTableBits(file[10]);
    std::size_t at = 13 + gifTableBytes(gif.globalTableBits);

    // Sub-blocks: a length byte, that many bytes, ..., a zero length. Adds
    // up their bytes (a cut-off last block as far as it goes); false when
    // the bytes end before the zero length.
    auto subBlocks = [&](std::uint64_t& bytes) {
        while (at < size) {
            const std::size_t length = file[at++];
            if (length == 0)
                return true;
            bytes += std::min(length, size - at);
            at += length;
        }
        return false;
    };
    for (;;) {
        if (at >= size) {
            gif.end = at == size ? GifEnd::BlockBoundary : GifEnd::CutOff;
            return gif;
        }
        const std::uint8_t block = file[at];
        if (block == 0x3B) {
            gif.end = GifEnd::Trailer;
            return gif;
        }
        if (block == 0x21) { // extension: its label, then sub-blocks
            at += 2;
            std::uint64_t ignored = 0;
            if (!subBlocks(ignored))
                break;
        } else if (block == 0x2C) { // image descriptor
            if (at + 10 > size)
                break;
            GifFrame frame;
            frame.width = le16(file, at + 5);
            frame.height = le16(file, at + 7);
            frame.localTableBits = gifTableBits(file[at + 9]);
            at += 10 + gifTableBytes(frame.localTableBits) + 1; // after the LZW code size
            const bool whole = subBlocks(frame.dataBytes);
            gif.frames.push_back(frame);
            if (!whole)
                break;
        } else {
            gif.end = GifEnd::Damaged;
            return gif;
        }
    }
    gif.end = GifEnd::CutOff;
    return gif;
}

PictureHeader readGifHeader(Bytes head)
{
    PictureHeader header;
    if (!startsWith(head, "GIF87a", 6) && !startsWith(head, "GIF89a", 6))
        return header;
    header.type = PictureType::Gif;
    const GifLayout gif = readGifLayout(head);
    if (!gif.signature || gif.screenWidth == 0 || gif.screenHeight == 0)
        return header;
    switch (gif.end) {
    case GifEnd::Damaged:
        return header;
    case GifEnd::Trailer:
        if (gif.frames.empty())
            return header; // a trailer without any picture
        header.frames = std::uint32_t(std::min<std::size_t>(gif.frames.size(), UINT32_MAX));
        break;
    case GifEnd::BlockBoundary:
    case GifEnd::CutOff:
        header.frames = 0; // the count is not known from these bytes
        break;
    }
    header.width = gif.screenWidth;
    header.height = gif.screenHeight;
    header.ok = true;
    return header;
}

bool gifComplete(const GifLayout& layout)
{
    return layout.signature && !layout.frames.empty()
        && (layout.end == GifEnd::Trailer || layout.end == GifEnd::BlockBoundary);
}

bool gifComplete(Bytes file)
{
    return gifComplete(readGifLayout(file));
}

bool gifDataCanFill(const GifLayout& layout)
{
    if (!layout.signature)
        return false;
    // 4,096 pixels per 12-bit code is 2,731 a byte; a rounder bound leaves room.
    constexpr std::uint64_t kMostPixelsPerByte = 4096;
    // Tiny pictures need a few bytes of codes whatever their content.
    constexpr std::uint64_t kSlackPixels = 65536;
    auto fits = [](std::uint64_t width, std::uint64_t height, std::uint64_t dataBytes) {
        return width * height <= dataBytes * kMostPixelsPerByte + kSlackPixels;
    };
    std::uint64_t allData = 0;
    for (const GifFrame& frame : layout.frames) {
        if (!fits(frame.width, frame.height, frame.dataBytes))
            return false;
        allData += frame.dataBytes;
    }
    return fits(layout.screenWidth, layout.screenHeight, allData);
}

bool jpegDataCanFill(const JpegLayout& layout)
{
    if (!layout.signature || !layout.hasFrame || layout.arithmetic() || layout.lossless())
        return true;
    const std::vector<JpegComponent>& components = layout.frameComponents;
    if (components.empty() || layout.width == 0 || layout.height == 0)
        return true; // libjpeg refuses such a header before it allocates anything
    int widest = 1;
    int tallest = 1;
    for (const JpegComponent& c : components) {
        if (c.horizontal < 1 || c.horizontal > 4 || c.vertical < 1 || c.vertical > 4)
            return true; // refused by libjpeg's header check
        widest = std::max(widest, c.horizontal);
        tallest = std::max(tallest, c.vertical);
    }
    auto ceilDiv = [](std::uint64_t a, std::uint64_t b) { return (a + b - 1) / b; };
    const std::uint64_t width = layout.width;
    const std::uint64_t height = layout.height;
    std::vector<bool> covered(components.size(), false);
    for (const JpegScan& scan : layout.scans) {
        // A progressive scan of AC coefficients can code a long run of
        // empty blocks in a few bits.
        if (scan.components.empty() || (layout.progressive() && scan.spectralStart != 0))
            continue;
        std::uint64_t blocks = 0;
        if (scan.components.size() == 1) {
            // A component alone: its own blocks, partial ones included.
            const JpegComponent& c = components[std::size_t(scan.components.front())];
            blocks = ceilDiv(ceilDiv(width * std::uint64_t(c.horizontal), std::uint64_t(widest)), 8)
                * ceilDiv(ceilDiv(height * std::uint64_t(c.vertical), std::uint64_t(tallest)), 8);
        } else {
            // Interleaved: whole MCUs, each of every component's blocks.
            std::uint64_t perUnit = 0;
            for (int index : scan.components)
                perUnit += std::uint64_t(components[std::size_t(index)].horizontal)
                    * std::uint64_t(components[std::size_t(index)].vertical);
            blocks = ceilDiv(width, 8 * std::uint64_t(widest))
                * ceilDiv(height, 8 * std::uint64_t(tallest)) * perUnit;
        }
        if (scan.dataBytes * 8 < blocks)
            return false;
        for (int index : scan.components)
            covered[std::size_t(index)] = true;
    }
    return std::all_of(covered.begin(), covered.end(), [](bool c) { return c; });
}

bool jpegScansComplete(const JpegLayout& layout)
{
    if (!layout.signature || !layout.hasFrame || layout.lossless()
        || layout.frameComponents.empty())
        return true;
    const bool progressive = layout.progressive();
    for (std::size_t c = 0; c < layout.frameComponents.size(); ++c) {
        std::uint64_t finished = 0; // bit k: coefficient k has its last bit
        for (const JpegScan& scan : layout.scans) {
            if (std::find(scan.components.begin(), scan.components.end(), int(c))
                == scan.components.end())
                continue;
            // A sequential scan codes every coefficient whatever it says.
            const int from = progressive ? std::clamp(scan.spectralStart, 0, 63) : 0;
            const int to = progressive ? std::clamp(scan.spectralEnd, 0, 63) : 63;
            if (progressive && scan.approximationLow != 0)
                continue;
            for (int k = from; k <= to; ++k)
                finished |= std::uint64_t(1) << k;
        }
        if (finished != ~std::uint64_t(0))
            return false;
    }
    return true;
}

bool isComplete(Bytes file, PictureType type)
{
    if (detectType(file) != type)
        return false;
    switch (type) {
    case PictureType::Bmp:
        return bmpComplete(file, file.size());
    case PictureType::Jpeg:
        return jpegComplete(file);
    case PictureType::Gif:
        return gifComplete(file);
    default:
        return false;
    }
}

} // namespace decoding
