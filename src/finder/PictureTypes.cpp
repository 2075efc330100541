#include "finder/PictureTypes.h"

#include "decoding/PictureType.h"

#include <cstring>
#include <string_view>

namespace finder {

bool hasPictureSuffix(const char* name, std::size_t length)
{
    const char* dot = static_cast<const char*>(memrchr(name, '.', length));
    if (!dot)
        return false;
    const std::size_t suffixLength = length - std::size_t(dot + 1 - name);
    return decoding::typeOfSuffix(std::string_view(dot + 1, suffixLength))
        != decoding::PictureType::Unknown;
}

QString typeName(decoding::PictureType type)
{
    return QString::fromLatin1(decoding::typeName(type));
}

} // namespace finder
