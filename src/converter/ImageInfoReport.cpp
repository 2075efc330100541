#include "converter/ImageInfoReport.h"

#include "converter/ConverterSwitches.h"
#include "decoding/PictureType.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

constexpr double kAssumedDpi = 96.0;

std::string decimal(double value, int digits)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", digits, value);
    return text;
}

// 72 for 72.0004 (a resolution stored in pixels per metre), else two digits.
std::string resolutionText(double dpi)
{
    return std::abs(dpi - std::round(dpi)) < 0.01 ? decimal(std::round(dpi), 0) : decimal(dpi, 2);
}

std::string formatName(decoding::Bytes head)
{
    const decoding::PictureType type = decoding::detectType(head);
    if (type == decoding::PictureType::Jpeg2000)
        return head.size() >= 4 && std::memcmp(head.data(), "\xff\x4f\xff\x51", 4) == 0
            ? "JPEG 2000 (codestream)"
            : "JPEG 2000 (JP2)";
    return decoding::typeName(type);
}

// The folder of `path` as an absolute path, and the file's own name.
void splitPath(const std::string& path, std::string* folder, std::string* name)
{
    std::string absolute = path;
    if (absolute.empty() || absolute.front() != '/') {
        std::vector<char> buffer(4096);
        if (::getcwd(buffer.data(), buffer.size()))
            absolute = std::string(buffer.data()) + "/" + absolute;
    }
    const std::size_t slash = absolute.rfind('/');
    *name = absolute.substr(slash + 1);
    *folder = slash == 0 ? std::string("/") : absolute.substr(0, slash);
}

} // namespace

std::string ImageInfoReport::groupedNumber(std::uint64_t value)
{
    std::string digits = std::to_string(value);
    for (std::ptrdiff_t i = std::ptrdiff_t(digits.size()) - 3; i > 0; i -= 3)
        digits.insert(std::size_t(i), ",");
    return digits;
}

std::string ImageInfoReport::visibleControls(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            const unsigned symbol = byte == 0x7F ? 0x2421 : 0x2400 + byte;
            out += char(0xE0 | (symbol >> 12));
            out += char(0x80 | ((symbol >> 6) & 0x3F));
            out += char(0x80 | (symbol & 0x3F));
        } else {
            out += c;
        }
    }
    return out;
}

std::uint64_t ImageInfoReport::countUniqueColors(const decoding::DecodedPicture& picture)
{
    if (picture.frames.empty() || picture.bytesPerSample != 1)
        return 0;
    std::vector<std::uint64_t> seen(std::size_t(1) << 18, 0); // one bit per 24-bit colour
    const std::vector<std::uint8_t>& pixels = picture.frames.front();
    for (std::size_t i = 0; i + 3 < pixels.size(); i += 4) {
        const std::uint32_t rgb
            = std::uint32_t(pixels[i]) << 16 | std::uint32_t(pixels[i + 1]) << 8 | pixels[i + 2];
        seen[rgb >> 6] |= std::uint64_t(1) << (rgb & 63);
    }
    std::uint64_t count = 0;
    for (std::uint64_t word : seen)
        count += std::uint64_t(std::popcount(word));
    return count;
}

std::string ImageInfoReport::build(const std::string& imagePath, std::uint64_t fileSize,
    decoding::Bytes head, const HeaderFacts& facts, const decoding::DecodedPicture& picture)
{
    std::string folder;
    std::string name;
    splitPath(imagePath, &folder, &name);
    const std::uint32_t width = picture.width;
    const std::uint32_t height = picture.height;
    const bool stored = facts.dpiX > 0 && facts.dpiY > 0;
    const double dpiX = stored ? facts.dpiX : kAssumedDpi;
    const double dpiY = stored ? facts.dpiY : kAssumedDpi;
    const double inchesX = width / dpiX;
    const double inchesY = height / dpiY;
    bool alpha = false;
    for (std::size_t f = 0; f < picture.frames.size() && !alpha; ++f) {
        const std::vector<std::uint8_t>& pixels = picture.frames[f];
        for (std::size_t i = 3; i < pixels.size(); i += 4) {
            if (pixels[i] != 255) {
                alpha = true;
                break;
            }
        }
    }
    const int depth = facts.bitsPerPixel > 0 ? facts.bitsPerPixel : alpha ? 32 : 24;

    std::string report;
    auto line = [&report](const std::string& text) { report += text + "\n"; };
    line("[Corvane image information]");
    line(ConverterContract::kFileNameKey + visibleControls(name));
    line(ConverterContract::kFolderKey + visibleControls(folder));
    line("File size = " + groupedNumber(fileSize) + " bytes");
    line("Format = " + formatName(head));
    line("Compression = "
        + (facts.compression.empty() ? std::string("unknown") : facts.compression));
    line(
        "Image dimensions = " + std::to_string(width) + " x " + std::to_string(height) + " Pixels");
    if (stored)
        line("Resolution = " + resolutionText(dpiX) + " x " + resolutionText(dpiY) + " DPI");
    else
        line("Resolution = none stored, " + decimal(kAssumedDpi, 0) + " DPI assumed");
    line("Print size (from DPI) = " + decimal(inchesX * 2.54, 1) + " x "
        + decimal(inchesY * 2.54, 1) + " cm; " + decimal(inchesX, 2) + " x " + decimal(inchesY, 2)
        + " inches");
    line("Color depth = " + std::to_string(depth) + (depth == 1 ? " bit" : " bits"));
    line("Number of unique colors = " + std::to_string(countUniqueColors(picture)));
    line("Number of frames/pages = " + std::to_string(facts.frames));
    line(std::string("Alpha channel = ") + (alpha ? "yes" : "no"));
    return report;
}
