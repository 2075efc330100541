#include "decoding/OrientationTag.h"

#include "decoding/PictureType.h"

#include <cstring>
#include <set>

namespace decoding {

namespace {

constexpr std::uint16_t kOrientationTag = 274;
constexpr std::uint16_t kSubfileTypeTag = 254;
constexpr std::uint32_t kReducedImage = 1; // a thumbnail, not a page
constexpr int kMostPages = 4096; // a longer chain of directories is not followed

// A TIFF structure (a TIFF file, or the EXIF block of a JPEG) in its own
// byte order; every read is checked against the end of the bytes.
class TiffStructure {
public:
    explicit TiffStructure(Bytes bytes)
        : m_bytes(bytes)
    {
    }

    bool readByteOrder()
    {
        if (m_bytes.size() < 8)
            return false;
        if (std::memcmp(m_bytes.data(), "II", 2) == 0)
            m_little = true;
        else if (std::memcmp(m_bytes.data(), "MM", 2) == 0)
            m_little = false;
        else
            return false;
        std::uint16_t magic = 0;
        if (!read16(2, &magic))
            return false;
        m_big = magic == 43;
        return magic == 42 || magic == 43;
    }

    std::uint64_t firstDirectory() const
    {
        std::uint64_t offset = 0;
        if (m_big) {
            read64(8, &offset);
        } else {
            std::uint32_t small = 0;
            read32(4, &small);
            offset = small;
        }
        return offset;
    }

    // The directory at offset: its orientation, whether it is a page, and
    // the offset of the next one (0 at the end, or when it cannot be read).
    struct Directory {
        bool read = false;
        Orientation orientation = Orientation::AsStored;
        bool page = true;
        std::uint64_t next = 0;
    };

    Directory directory(std::uint64_t offset) const
    {
        Directory result;
        const std::size_t countBytes = m_big ? 8 : 2;
        const std::size_t entryBytes = m_big ? 20 : 12;
        std::uint64_t entries = 0;
        if (m_big) {
            if (!read64(offset, &entries))
                return result;
        } else {
            std::uint16_t small = 0;
            if (!read16(offset, &small))
                return result;
            entries = small;
        }
        if (entries > (m_bytes.size() - offset) / entryBytes)
            return result;
        for (std::uint64_t i = 0; i < entries; ++i) {
            const std::uint64_t at = offset + countBytes + i * entryBytes;
            std::uint16_t tag = 0;
            std::uint16_t type = 0;
            read16(at, &tag);
            read16(at + 2, &type);
            const std::uint64_t value = at + (m_big ? 12 : 8);
            std::uint32_t number = 0;
            if (type == 3) { // SHORT
                std::uint16_t shortValue = 0;
                read16(value, &shortValue);
                number = shortValue;
            } else if (type == 4) { // LONG
                read32(value, &number);
            } else {
                continue;
            }
            if (tag == kOrientationTag && number >= 1 && number <= 8)
                result.orientation = Orientation(number);
            else if (tag == kSubfileTypeTag)
                result.page = (number & kReducedImage) == 0;
        }
        const std::uint64_t nextAt = offset + countBytes + entries * entryBytes;
        if (m_big) {
            read64(nextAt, &result.next);
        } else {
            std::uint32_t next = 0;
            read32(nextAt, &next);
            result.next = next;
        }
        result.read = true;
        return result;
    }

private:
    bool fits(std::uint64_t offset, std::size_t length) const
    {
        return offset <= m_bytes.size() && m_bytes.size() - offset >= length;
    }
    std::uint64_t value(std::uint64_t offset, std::size_t length) const
    {
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < length; ++i) {
            const std::uint8_t byte = m_bytes[offset + (m_little ? length - 1 - i : i)];
            v = v << 8 | byte;
        }
        return v;
    }
    bool read16(std::uint64_t offset, std::uint16_t* out) const
    {
        if (!fits(offset, 2))
            return false;
        *out = std::uint16_t(value(offset, 2));
        return true;
    }
    bool read32(std::uint64_t offset, std::uint32_t* out) const
    {
        if (!fits(offset, 4))
            return false;
        *out = std::uint32_t(value(offset, 4));
        return true;
    }
    bool read64(std::uint64_t offset, std::uint64_t* out) const
    {
        if (!fits(offset, 8))
            return false;
        *out = value(offset, 8);
        return true;
    }

    Bytes m_bytes;
    bool m_little = true;
    bool m_big = false;
};

// The first directory's orientation; with allPages, every page's directory
// is read too and compared with it.
OrientationTag fromTiffStructure(Bytes bytes, bool allPages)
{
    OrientationTag tag;
    TiffStructure tiff(bytes);
    if (!tiff.readByteOrder())
        return tag;
    std::set<std::uint64_t> seen;
    bool first = true;
    for (std::uint64_t offset = tiff.firstDirectory(); offset != 0 && seen.size() < kMostPages;) {
        if (!seen.insert(offset).second)
            break; // a loop of directories
        const TiffStructure::Directory directory = tiff.directory(offset);
        if (!directory.read)
            break;
        if (directory.page) {
            if (first)
                tag.orientation = directory.orientation;
            else if (directory.orientation != tag.orientation)
                tag.pagesDisagree = true;
            first = false;
        }
        if (!allPages && !first)
            break;
        offset = directory.next;
    }
    return tag;
}

// The EXIF block of the first APP1 segment that holds one, before the scan.
OrientationTag fromJpeg(Bytes file)
{
    std::size_t at = 2; // after SOI
    while (at + 4 <= file.size()) {
        if (file[at] != 0xFF)
            break;
        const std::uint8_t marker = file[at + 1];
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) // start of scan, end of picture
            break;
        const std::size_t length = std::size_t(file[at + 2]) << 8 | file[at + 3];
        if (length < 2 || at + 2 + length > file.size())
            break;
        const Bytes body = file.subspan(at + 4, length - 2);
        if (marker == 0xE1 && body.size() >= 6 && std::memcmp(body.data(), "Exif\0\0", 6) == 0)
            return fromTiffStructure(body.subspan(6), false);
        at += 2 + length;
    }
    return {};
}

} // namespace

OrientationTag readOrientation(Bytes file)
{
    switch (detectType(file)) {
    case PictureType::Jpeg:
        return fromJpeg(file);
    case PictureType::Tiff:
        return fromTiffStructure(file, true);
    default:
        return {};
    }
}

} // namespace decoding
