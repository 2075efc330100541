#pragma once
// Which file names the whole-folder search looks at, and what it calls each
// type. A name only makes a file a candidate; its content decides the type.

#include "decoding/DecodedPicture.h"

#include <QString>

#include <cstddef>

namespace finder {

// True when the name ends in one of the picture suffixes of the decoding
// library's type table, in any case (.bmp .dib, .jpg .jpeg .jpe .jfif, ...).
bool hasPictureSuffix(const char* name, std::size_t length);

// "BMP", "JPEG", ..., "JPEG 2000", "WebP", "HEIF", "AVIF"; "unknown" for Unknown
// (decoding::typeName as a QString).
QString typeName(decoding::PictureType type);

} // namespace finder
