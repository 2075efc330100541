#include "finder/PictureTypes.h"

#include "decoding/PictureType.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace finder {

namespace {

constexpr std::array<std::string_view, 21> kSuffixes
    = {"bmp", "dib", "jpg", "jpeg", "jpe", "jfif", "gif", "png", "tif", "tiff", "jp2", "j2k", "j2c",
        "jpc", "jpf", "jpx", "webp", "heic", "heif", "hif", "avif"};

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
    return QString::fromLatin1(decoding::typeName(type));
}

} // namespace finder
