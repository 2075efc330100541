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

bool isPng(Bytes head)
{
    return startsWith(head, "\x89PNG\r\n\x1a\n", 8);
}

bool isJpeg2000(Bytes head)
{
    return startsWith(head, "\0\0\0\x0cjP  \r\n\x87\n", 12)
        || startsWith(head, "\xff\x4f\xff\x51", 4); // bare codestream
}

bool isJpeg(Bytes head)
{
    return startsWith(head, "\xff\xd8\xff", 3);
}

bool isGif(Bytes head)
{
    return startsWith(head, "GIF87a", 6) || startsWith(head, "GIF89a", 6);
}

bool isTiff(Bytes head)
{
    // Classic and big TIFF, both byte orders.
    return startsWith(head, "II*\0", 4) || startsWith(head, "MM\0*", 4)
        || startsWith(head, "II+\0", 4) || startsWith(head, "MM\0+", 4);
}

bool isWebp(Bytes head)
{
    return startsWith(head, "RIFF", 4) && matchesAt(head, 8, "WEBP", 4);
}

bool isHeif(Bytes head)
{
    return isoMediaType(head) == PictureType::Heif;
}

bool isAvif(Bytes head)
{
    return isoMediaType(head) == PictureType::Avif;
}

bool isBmp(Bytes head)
{
    return startsWith(head, "BM", 2);
}

constexpr PictureTypeRow kTypes[] = {
    {PictureType::Png, "PNG", {"png"}, "png", PictureReader::Png, "png", isPng},
    {PictureType::Jpeg2000, "JPEG 2000", {"jp2", "j2k", "j2c", "jpc", "jpf", "jpx"}, "jp2",
        PictureReader::Jpeg2000, nullptr, isJpeg2000},
    {PictureType::Jpeg, "JPEG", {"jpg", "jpeg", "jpe", "jfif"}, "jpg", PictureReader::Qt, "jpeg",
        isJpeg},
    {PictureType::Gif, "GIF", {"gif"}, "gif", PictureReader::Qt, "gif", isGif},
    {PictureType::Tiff, "TIFF", {"tif", "tiff"}, "tif", PictureReader::Tiff, "tiff", isTiff},
    {PictureType::WebP, "WebP", {"webp"}, "", PictureReader::WebP, nullptr, isWebp},
    {PictureType::Heif, "HEIF", {"heic", "heif", "hif"}, "", PictureReader::Heif, nullptr, isHeif},
    {PictureType::Avif, "AVIF", {"avif"}, "", PictureReader::Heif, nullptr, isAvif},
    {PictureType::Bmp, "BMP", {"bmp", "dib"}, "bmp", PictureReader::Qt, "bmp", isBmp},
};

} // namespace

std::span<const PictureTypeRow> pictureTypes()
{
    return kTypes;
}

const PictureTypeRow* rowOf(PictureType type)
{
    for (const PictureTypeRow& row : kTypes) {
        if (row.type == type)
            return &row;
    }
    return nullptr;
}

PictureType detectType(Bytes head)
{
    for (const PictureTypeRow& row : kTypes) {
        if (row.matches(head))
            return row.type;
    }
    return PictureType::Unknown;
}

PictureType typeOfSuffix(std::string_view suffix)
{
    char lower[8];
    if (suffix.empty() || suffix.size() > sizeof lower)
        return PictureType::Unknown;
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        const char c = suffix[i];
        lower[i] = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    }
    const std::string_view wanted(lower, suffix.size());
    for (const PictureTypeRow& row : kTypes) {
        if (std::find(row.spellings.begin(), row.spellings.end(), wanted) != row.spellings.end())
            return row.type;
    }
    return PictureType::Unknown;
}

PictureType typeOfFirstDesignSuffix(std::string_view suffix)
{
    for (const PictureTypeRow& row : kTypes) {
        if (!row.firstDesignSpelling.empty() && row.firstDesignSpelling == suffix)
            return row.type;
    }
    return PictureType::Unknown;
}

const char* qtFormatOf(PictureType type)
{
    const PictureTypeRow* row = rowOf(type);
    return row ? row->qtFormat : nullptr;
}

const char* typeName(PictureType type)
{
    const PictureTypeRow* row = rowOf(type);
    return row ? row->name : "unknown";
}

bool withinPixelBudget(std::uint64_t width, std::uint64_t height)
{
    return width > 0 && height > 0 && width <= kPixelBudget && height <= kPixelBudget
        && width * height <= kPixelBudget;
}

} // namespace decoding
