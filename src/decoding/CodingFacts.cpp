// codedWithoutLoss (CodingFacts.h): the headers that tell a lossless coding
// from a lossy one, read without a codec library.

#include "decoding/CodingFacts.h"

#include <cstring>

namespace decoding {

namespace {

std::uint32_t bigEndian(const std::uint8_t* p, int bytes)
{
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = value << 8 | p[i];
    return value;
}

// The JPEG 2000 codestream of a JP2 file (its "jp2c" box), or the file
// itself when it is a bare codestream.
Bytes codestreamOf(Bytes file)
{
    if (file.size() >= 4 && file[0] == 0xFF && file[1] == 0x4F && file[2] == 0xFF
        && file[3] == 0x51)
        return file;
    std::size_t at = 0;
    while (file.size() - at >= 8) {
        std::uint64_t length = bigEndian(file.data() + at, 4);
        std::size_t header = 8;
        if (length == 1) {
            if (file.size() - at < 16)
                break;
            length = std::uint64_t(bigEndian(file.data() + at + 8, 4)) << 32
                | bigEndian(file.data() + at + 12, 4);
            header = 16;
        } else if (length == 0) {
            length = file.size() - at; // the box runs to the end
        }
        if (length < header || length > file.size() - at)
            break;
        if (std::memcmp(file.data() + at + 4, "jp2c", 4) == 0)
            return file.subspan(at + header, std::size_t(length) - header);
        at += std::size_t(length);
    }
    return {};
}

// The main header's COD marker says which wavelet codes every tile: 1 is
// the reversible 5-3 one (a tile-part may say otherwise; rare, and then the
// file counts as whatever its main header says).
bool jpeg2000Reversible(Bytes file)
{
    const Bytes stream = codestreamOf(file);
    if (stream.size() < 4 || stream[0] != 0xFF || stream[1] != 0x4F)
        return false;
    std::size_t at = 2;
    while (stream.size() - at >= 4 && stream[at] == 0xFF) {
        const std::uint8_t marker = stream[at + 1];
        if (marker == 0x90 || marker == 0x93 || marker == 0xD9) // SOT, SOD, EOC
            break;
        const std::uint32_t length = bigEndian(stream.data() + at + 2, 2);
        if (length < 2 || length > stream.size() - at - 2)
            break;
        // Scod, progression, layers (2), MCT, levels, block width and
        // height, block style, then the transform.
        if (marker == 0x52)
            return length >= 12 && stream[at + 4 + 9] == 1;
        at += 2 + length;
    }
    return false;
}

// TIFF compressions that keep every sample: none, CCITT (bilevel), LZW,
// deflate (two codes), PackBits, LZMA, Zstandard.
bool losslessTiffCompression(std::uint32_t compression)
{
    switch (compression) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 8:
    case 32773:
    case 32946:
    case 34925:
    case 50000:
        return true;
    default:
        return false;
    }
}

// The first directory's compression (1 when it has none).
bool tiffLossless(Bytes file)
{
    if (file.size() < 8)
        return false;
    const bool little = file[0] == 'I' && file[1] == 'I';
    if (!little && !(file[0] == 'M' && file[1] == 'M'))
        return false;
    auto read = [&](std::size_t at, int bytes) -> std::uint32_t {
        std::uint32_t value = 0;
        for (int i = 0; i < bytes; ++i) {
            const std::uint32_t byte = file[at + std::size_t(little ? i : bytes - 1 - i)];
            value |= byte << (8 * i);
        }
        return value;
    };
    if (read(2, 2) != 42) // a BigTIFF's directory is not read here
        return false;
    const std::uint32_t directory = read(4, 4);
    if (directory > file.size() - 2 || directory < 8)
        return false;
    const std::uint32_t entries = read(directory, 2);
    if (entries > (file.size() - directory - 2) / 12)
        return false;
    for (std::uint32_t e = 0; e < entries; ++e) {
        const std::size_t entry = directory + 2 + std::size_t(e) * 12;
        if (read(entry, 2) != 259)
            continue;
        const std::uint32_t type = read(entry + 2, 2);
        const std::uint32_t compression = type == 4 ? read(entry + 8, 4) : read(entry + 8, 2);
        return losslessTiffCompression(compression);
    }
    return true; // no compression field: uncompressed
}

} // namespace

bool codedWithoutLoss(Bytes file, PictureType type)
{
    switch (type) {
    case PictureType::Png:
    case PictureType::Bmp:
    case PictureType::Gif:
        return true;
    case PictureType::Tiff:
        return tiffLossless(file);
    case PictureType::WebP:
        return webpCodingFacts(file).lossless;
    case PictureType::Jpeg2000:
        return jpeg2000Reversible(file);
    case PictureType::Heif:
    case PictureType::Avif:
        return heifCodingFacts(file).lossless;
    case PictureType::Jpeg:
    case PictureType::Unknown:
        break;
    }
    return false;
}

} // namespace decoding
