#include "decoding/BmpJpegGifHeaders.h"

#include "decoding/PictureType.h"

#include <algorithm>
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

// Bytes of a GIF colour table announced by a flags byte.
std::size_t gifTableBytes(std::uint8_t flags)
{
    return (flags & 0x80) ? std::size_t(3) << ((flags & 7) + 1) : 0;
}

} // namespace

PictureHeader readBmpHeader(Bytes head)
{
    PictureHeader header;
    if (!startsWith(head, "BM", 2))
        return header;
    header.type = PictureType::Bmp;
    // File header (14 bytes), then the information header, which begins with its own size.
    if (head.size() < 18)
        return header;
    const std::uint32_t infoSize = le32(head, 14);
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint16_t planes = 0;
    std::uint16_t bitCount = 0;
    if (infoSize == 12) { // OS/2 1.x core header: 16-bit sizes
        if (head.size() < 26)
            return header;
        width = le16(head, 18);
        height = le16(head, 20);
        planes = le16(head, 22);
        bitCount = le16(head, 24);
    } else if (infoSize >= 16 && infoSize <= 124) {
        if (head.size() < 30)
            return header;
        width = std::int32_t(le32(head, 18));
        height = std::int32_t(le32(head, 22)); // negative: rows stored top-down
        planes = le16(head, 26);
        bitCount = le16(head, 28);
    } else {
        return header;
    }
    if (height < 0)
        height = -height;
    const bool knownDepth = bitCount == 1 || bitCount == 2 || bitCount == 4 || bitCount == 8
        || bitCount == 16 || bitCount == 24 || bitCount == 32 || bitCount == 0;
    if (width <= 0 || height <= 0 || planes != 1 || !knownDepth || width > 0xFFFFFFFF
        || height > 0xFFFFFFFF)
        return header;
    header.width = std::uint32_t(width);
    header.height = std::uint32_t(height);
    header.frames = 1;
    header.ok = true;
    return header;
}

PictureHeader readJpegHeader(Bytes head)
{
    PictureHeader header;
    if (head.size() < 3 || head[0] != 0xFF || head[1] != 0xD8 || head[2] != 0xFF)
        return header;
    header.type = PictureType::Jpeg;
    std::size_t at = 2;
    while (at + 1 < head.size()) {
        if (head[at] != 0xFF)
            return header; // garbage between segments
        // Any number of fill bytes may stand before a marker.
        while (at + 1 < head.size() && head[at + 1] == 0xFF)
            ++at;
        if (at + 1 >= head.size())
            return header;
        const std::uint8_t marker = head[at + 1];
        at += 2;
        if (isStandalone(marker))
            continue;
        if (marker == 0xD8 || marker == 0xD9 || marker == 0xDA || marker == 0x00)
            return header; // a scan or the end before any frame header
        if (at + 2 > head.size())
            return header;
        const std::size_t length = be16(head, at);
        if (length < 2)
            return header;
        if (isStartOfFrame(marker)) {
            // Length, precision, height, width, component count.
            if (length < 8 || at + 8 > head.size())
                return header;
            const std::uint16_t height = be16(head, at + 3);
            const std::uint16_t width = be16(head, at + 5);
            const std::uint8_t components = head[at + 7];
            // A height of 0 is announced later (DNL): not a size we can use.
            if (width == 0 || height == 0 || components == 0)
                return header;
            header.width = width;
            header.height = height;
            header.frames = 1;
            // Four components are inks (CMYK or YCCK), which RGB cannot hold;
            // a precision of 12 bits is deeper than 8.
            header.beyondEightBitRgba = head[at + 2] != 8 || (components != 1 && components != 3);
            header.ok = true;
            return header;
        }
        at += length;
    }
    return header;
}

PictureHeader readGifHeader(Bytes head)
{
    PictureHeader header;
    if (!startsWith(head, "GIF87a", 6) && !startsWith(head, "GIF89a", 6))
        return header;
    header.type = PictureType::Gif;
    if (head.size() < 13)
        return header;
    const std::uint16_t width = le16(head, 6);
    const std::uint16_t height = le16(head, 8);
    if (width == 0 || height == 0)
        return header;
    const std::uint8_t flags = head[10];
    std::size_t at = 13;
    if (flags & 0x80)
        at += 3u * (2u << (flags & 7)); // global colour table

    // Sub-blocks: a length byte, that many bytes, ..., a zero length.
    auto skipSubBlocks = [&](std::size_t from) -> std::size_t {
        std::size_t p = from;
        while (p < head.size()) {
            const std::size_t length = head[p];
            if (length == 0)
                return p + 1;
            p += 1 + length;
        }
        return 0; // ran out of bytes
    };

    // Walks the blocks up to the trailer; false when the bytes end first.
    std::uint32_t pictures = 0;
    auto walk = [&]() -> bool {
        while (at < head.size()) {
            const std::uint8_t introducer = head[at];
            if (introducer == 0x3B) // trailer
                return true;
            if (introducer == 0x21) { // extension: label, then sub-blocks
                at = skipSubBlocks(at + 2);
            } else if (introducer == 0x2C) { // image descriptor
                if (at + 10 > head.size())
                    return false;
                const std::uint8_t imageFlags = head[at + 9];
                at += 10;
                if (imageFlags & 0x80)
                    at += 3u * (2u << (imageFlags & 7)); // local colour table
                at = skipSubBlocks(at + 1); // after the LZW minimum code size
                ++pictures;
            } else {
                pictures = 0; // not a GIF block: damaged
                return true;
            }
            if (at == 0)
                return false;
        }
        return false;
    };
    if (walk()) {
        if (pictures == 0)
            return header; // damaged, or a trailer without any picture
        header.frames = pictures;
    } else {
        header.frames = 0;
    }
    header.width = width;
    header.height = height;
    header.ok = true;
    return header;
}

bool bmpComplete(Bytes head, std::uint64_t fileSize)
{
    if (head.size() < 26 || !startsWith(head, "BM", 2))
        return false;
    const std::int64_t size = std::int64_t(std::min<std::uint64_t>(fileSize, INT64_MAX));
    const std::int64_t pixelOffset = le32(head, 10);
    const std::uint32_t headerSize = le32(head, 14);
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t bitsPerPixel = 0;
    std::uint32_t compression = 0;
    if (headerSize == 12) {
        width = le16(head, 18);
        height = le16(head, 20);
        bitsPerPixel = le16(head, 24);
    } else {
        if (headerSize < 40 || head.size() < 34)
            return false;
        width = std::int32_t(le32(head, 18));
        height = std::int32_t(le32(head, 22));
        bitsPerPixel = le16(head, 28);
        compression = le32(head, 30);
    }
    if (pixelOffset >= size)
        return false;
    // Run-length data has no length of its own to check against.
    constexpr std::uint32_t kRgb = 0, kBitFields = 3, kAlphaBitFields = 6;
    if (compression != kRgb && compression != kBitFields && compression != kAlphaBitFields)
        return true;
    if (width <= 0 || height == 0 || bitsPerPixel <= 0)
        return false;
    const std::int64_t rows = height < 0 ? -height : height;
    const std::int64_t stride = (width * bitsPerPixel + 31) / 32 * 4;
    // Checked one by one first, so that the product cannot overflow.
    if (rows > size || stride > size)
        return false;
    return pixelOffset + stride * rows <= size;
}

bool jpegComplete(Bytes file)
{
    const std::size_t size = file.size();
    std::size_t at = 2;
    while (at < size) {
        // Like the decoder, skip stray bytes and fill bytes up to a marker.
        if (file[at] != 0xFF) {
            ++at;
            continue;
        }
        while (at < size && file[at] == 0xFF)
            ++at;
        if (at >= size)
            return false;
        const std::uint8_t marker = file[at++];
        if (marker == 0xD9) // end of image before any scan
            return false;
        if (isStandalone(marker))
            continue;
        if (at + 2 > size)
            return false;
        const std::size_t length = be16(file, at);
        if (length < 2 || at + length > size)
            return false;
        at += length;
        if (marker == 0xDA) {
            // Scan data stuffs every 0xFF with a 0x00, so the end-of-image
            // marker after the first scan means the file was not cut off.
            static constexpr std::uint8_t kEnd[] = {0xFF, 0xD9};
            const auto rest = file.subspan(at);
            return std::search(rest.begin(), rest.end(), std::begin(kEnd), std::end(kEnd))
                != rest.end();
        }
    }
    return false;
}

bool gifComplete(Bytes file)
{
    const std::size_t size = file.size();
    if (size < 13 || !(startsWith(file, "GIF87a", 6) || startsWith(file, "GIF89a", 6)))
        return false;
    std::size_t at = 13 + gifTableBytes(file[10]);
    int pictures = 0;
    auto skipSubBlocks = [&]() {
        while (at < size) {
            const std::uint8_t length = file[at++];
            if (length == 0)
                return true;
            at += length;
        }
        return false;
    };
    while (at < size) {
        const std::uint8_t block = file[at];
        if (block == 0x3B) // trailer
            return pictures > 0;
        if (block == 0x21) {
            at += 2;
            if (!skipSubBlocks())
                return false;
        } else if (block == 0x2C) {
            if (at + 10 > size)
                return false;
            at += 10 + gifTableBytes(file[at + 9]) + 1;
            if (!skipSubBlocks())
                return false;
            ++pictures;
        } else {
            return false;
        }
    }
    return at == size && pictures > 0;
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
