#pragma once
// The one table of picture types: how each is told from its first bytes,
// every name suffix it goes by, its name for people, and which reader takes
// it. A file's type always comes from its content; a name only makes a file
// a candidate. Adding a type means one row here, one decoder file and one
// fuzz target (docs/architecture.md).

#include "decoding/DecodedPicture.h"

#include <array>
#include <span>
#include <string_view>

namespace decoding {

// Bytes detectType() needs to tell every type apart (the HEIF brands sit in
// the first box, which is read up to this length).
inline constexpr std::size_t kTypeSniffBytes = 64;

// Who reads a type's pixels: one of the decoding library's decoders, or Qt's
// readers (BMP, JPEG and GIF, through the Qt adapter outside this library).
enum class PictureReader { Qt, Png, Tiff, Jpeg2000, WebP, Heif };

struct PictureTypeRow {
    PictureType type;
    const char* name; // for people: "PNG", "JPEG 2000", ...
    // Every name suffix, lower case, without the dot; unused slots are empty.
    std::array<std::string_view, 6> spellings;
    // The suffix the first design's candidate list accepts for this type
    // (three letters), or empty when that search does not take the type.
    std::string_view firstDesignSpelling;
    PictureReader reader;
    // The format name Qt's readers know the type by, or nullptr when
    // Corvane never hands it to them.
    const char* qtFormat;
    // True when the leading bytes carry the type's signature. Rows are tried
    // in table order, the weakest signature (BMP's "BM") last.
    bool (*matches)(Bytes head);
};

// Every type, in the order detectType() tries them.
std::span<const PictureTypeRow> pictureTypes();

// The row of a type; nullptr for Unknown.
const PictureTypeRow* rowOf(PictureType type);

// The type the leading bytes announce, or Unknown. `head` may be the whole
// file or its first kTypeSniffBytes bytes.
PictureType detectType(Bytes head);

// The type a name suffix (without the dot, any ASCII case) stands for, or
// Unknown.
PictureType typeOfSuffix(std::string_view suffix);

// The type whose first-design spelling the suffix is (lower case, exactly
// three letters), or Unknown.
PictureType typeOfFirstDesignSuffix(std::string_view suffix);

// Qt's format name for a type ("bmp", "jpeg", ...), or nullptr.
const char* qtFormatOf(PictureType type);

// Short name for people: "PNG", "JPEG 2000", ...; "unknown" for Unknown.
const char* typeName(PictureType type);

// Whether one frame of width x height is within kPixelBudget (and neither
// side is zero).
bool withinPixelBudget(std::uint64_t width, std::uint64_t height);

} // namespace decoding
