#include "decoding/PictureType.h"

#include <algorithm>
#include <cstring>

namespace decoding {
namespace {

bool startsWith(Bytes head, const char* magic, std::size_t length)
{
    return head.size() >= length && std::memcmp(head.data(), magic, length) == 0;
}

bool matchesAt(Bytes head, std::size_t offset, const char* text, std::size_t length)
{
    return head.size() >= offset + length && std::memcmp(head.data() + offset, text, length) == 0;
}

std::uint32_t bigEndian32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

// ISO base media files ("ftyp" box first): the major brand and the
// compatible brands say whether the file holds HEIF or AVIF pictures.
PictureType isoMediaType(Bytes head)
{
    if (!matchesAt(head, 4, "ftyp", 4))
        return PictureType::Unknown;
    const std::uint32_t boxSize = bigEndian32(head.data());
    if (boxSize < 16)
        return PictureType::Unknown;
    const std::size_t end = std::min<std::size_t>(boxSize, head.size());
    bool heif = false;
    bool avif = false;
    auto look = [&](std::size_t at) {
        if (matchesAt(head, at, "avif", 4) || matchesAt(head, at, "avis", 4))
            avif = true;
        static const char* const heifBrands[]
            = {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1"};
        for (const char* brand : heifBrands) {
            if (matchesAt(head, at, brand, 4))
                heif = true;
        }
    };
    look(8); // major brand
    for (std::size_t at = 16; at + 4 <= end; at += 4)
        look(at);
    // An AVIF file also lists the generic "mif1" brand.
    if (avif)
        return PictureType::Avif;
    return heif ? PictureType::Heif : PictureType::Unknown;
}

} // namespace

PictureType detectType(Bytes head)
{
    if (startsWith(head, "\x89PNG\r\n\x1a\n", 8))
        return PictureType::Png;
    if (startsWith(head, "\0\0\0\x0cjP  \r\n\x87\n", 12))
        return PictureType::Jpeg2000;
    if (startsWith(head, "\xff\x4f\xff\x51", 4))
        return PictureType::Jpeg2000; // bare codestream
    if (startsWith(head, "\xff\xd8\xff", 3))
        return PictureType::Jpeg;
    if (startsWith(head, "GIF87a", 6) || startsWith(head, "GIF89a", 6))
        return PictureType::Gif;
    // Classic and big TIFF, both byte orders.
    if (startsWith(head, "II*\0", 4) || startsWith(head, "MM\0*", 4) || startsWith(head, "II+\0", 4)
        || startsWith(head, "MM\0+", 4))
        return PictureType::Tiff;
    if (startsWith(head, "RIFF", 4) && matchesAt(head, 8, "WEBP", 4))
        return PictureType::WebP;
    if (const PictureType iso = isoMediaType(head); iso != PictureType::Unknown)
        return iso;
    if (startsWith(head, "BM", 2))
        return PictureType::Bmp;
    return PictureType::Unknown;
}

const char* typeName(PictureType type)
{
    switch (type) {
    case PictureType::Bmp:
        return "BMP";
    case PictureType::Jpeg:
        return "JPEG";
    case PictureType::Gif:
        return "GIF";
    case PictureType::Png:
        return "PNG";
    case PictureType::Tiff:
        return "TIFF";
    case PictureType::Jpeg2000:
        return "JPEG 2000";
    case PictureType::WebP:
        return "WebP";
    case PictureType::Heif:
        return "HEIF";
    case PictureType::Avif:
        return "AVIF";
    case PictureType::Unknown:
        break;
    }
    return "unknown";
}

bool withinPixelBudget(std::uint64_t width, std::uint64_t height)
{
    return width > 0 && height > 0 && width <= kPixelBudget && height <= kPixelBudget
        && width * height <= kPixelBudget;
}

} // namespace decoding
