#include "finder/PictureTypes.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace finder {

namespace {

constexpr std::array<std::string_view, 20> kSuffixes
    = {"bmp", "dib", "jpg", "jpeg", "jpe", "jfif", "gif", "png", "tif", "tiff", "jp2", "j2k", "j2c",
        "jpc", "jpf", "jpx", "webp", "heic", "heif", "avif"};

bool startsWith(decoding::Bytes head, std::size_t at, std::string_view text)
{
    return head.size() >= at + text.size()
        && std::memcmp(head.data() + at, text.data(), text.size()) == 0;
}

// HEIF and AVIF share one box layout: an "ftyp" box whose brands tell them apart.
decoding::PictureType isoMediaType(decoding::Bytes head)
{
    if (!startsWith(head, 4, "ftyp") || head.size() < 16)
        return decoding::PictureType::Unknown;
    const std::size_t boxSize = std::min<std::size_t>(
        (std::size_t(head[0]) << 24) | (head[1] << 16) | (head[2] << 8) | head[3], head.size());
    bool heif = false;
    // The major brand at 8, then compatible brands from 16 on.
    for (std::size_t at = 8; at + 4 <= boxSize; at += (at == 8 ? 8 : 4)) {
        const std::string_view brand(reinterpret_cast<const char*>(head.data() + at), 4);
        if (brand == "avif" || brand == "avis")
            return decoding::PictureType::Avif;
        if (brand == "heic" || brand == "heix" || brand == "heim" || brand == "heis"
            || brand == "hevc" || brand == "hevx" || brand == "mif1" || brand == "msf1")
            heif = true;
    }
    return heif ? decoding::PictureType::Heif : decoding::PictureType::Unknown;
}

} // namespace

bool hasPictureSuffix(const char* name, std::size_t length)
{
    const char* dot = static_cast<const char*>(memrchr(name, '.', length));
    if (!dot)
        return false;
    const std::size_t suffixLength = length - std::size_t(dot + 1 - name);
    if (suffixLength < 3 || suffixLength > 4)
        return false;
    char lower[4];
    for (std::size_t i = 0; i < suffixLength; ++i) {
        const char c = dot[1 + i];
        lower[i] = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    }
    const std::string_view suffix(lower, suffixLength);
    return std::find(kSuffixes.begin(), kSuffixes.end(), suffix) != kSuffixes.end();
}

QString typeName(decoding::PictureType type)
{
    using decoding::PictureType;
    switch (type) {
    case PictureType::Bmp:
        return QStringLiteral("BMP");
    case PictureType::Jpeg:
        return QStringLiteral("JPEG");
    case PictureType::Gif:
        return QStringLiteral("GIF");
    case PictureType::Png:
        return QStringLiteral("PNG");
    case PictureType::Tiff:
        return QStringLiteral("TIFF");
    case PictureType::Jpeg2000:
        return QStringLiteral("JPEG 2000");
    case PictureType::WebP:
        return QStringLiteral("WebP");
    case PictureType::Heif:
        return QStringLiteral("HEIF");
    case PictureType::Avif:
        return QStringLiteral("AVIF");
    case PictureType::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

decoding::PictureType sniffType(decoding::Bytes head)
{
    using decoding::PictureType;
    if (startsWith(head, 0, "BM"))
        return PictureType::Bmp;
    if (startsWith(head, 0, "\xFF\xD8\xFF"))
        return PictureType::Jpeg;
    if (startsWith(head, 0, "GIF87a") || startsWith(head, 0, "GIF89a"))
        return PictureType::Gif;
    if (startsWith(head, 0, "\x89PNG\r\n\x1A\n"))
        return PictureType::Png;
    if (startsWith(head, 0, std::string_view("II*\0", 4))
        || startsWith(head, 0, std::string_view("MM\0*", 4)))
        return PictureType::Tiff;
    // A JP2 box file, or a bare codestream (its SOC and SIZ markers).
    if (startsWith(head, 0, std::string_view("\0\0\0\x0CjP  \r\n\x87\n", 12))
        || startsWith(head, 0, "\xFF\x4F\xFF\x51"))
        return PictureType::Jpeg2000;
    if (startsWith(head, 0, "RIFF") && startsWith(head, 8, "WEBP"))
        return PictureType::WebP;
    return isoMediaType(head);
}

} // namespace finder
