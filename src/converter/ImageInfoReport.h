#pragma once
// The text report of the information mode: one "name = value" line per fact.
// Corvane's report window picks lines by the keywords "Compression",
// "Image", "Print", "Color depth" and "Number of", so every fact it shows
// sits on its own line and no other fact line carries one of those words.
// The file's name and folder are written with their control characters
// (a newline above all) shown as visible symbols, so a name can never start
// a line of its own.

#include "converter/HeaderProbe.h"
#include "decoding/DecodedPicture.h"

#include <string>

class ImageInfoReport {
public:
    // `picture` is the decoded 8-bit picture; `type` and the first bytes in
    // `head` name the format.
    static std::string build(const std::string& imagePath, std::uint64_t fileSize,
        decoding::Bytes head, const HeaderFacts& facts, const decoding::DecodedPicture& picture);

    // Distinct RGB colours of the first frame (alpha ignored). Uses a fixed
    // 2 MB table, so the work is one pass over the pixels whatever they hold.
    static std::uint64_t countUniqueColors(const decoding::DecodedPicture& picture);

    // 1234567 -> "1,234,567".
    static std::string groupedNumber(std::uint64_t value);

    // `text` with each control character (U+0000..U+001F, U+007F) replaced
    // by its visible symbol (U+2400..U+241F, U+2421).
    static std::string visibleControls(const std::string& text);
};
