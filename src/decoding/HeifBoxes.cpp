#include "decoding/HeifBoxes.h"

#include <cstring>
#include <map>
#include <optional>

namespace decoding {

namespace {

// Big-endian reads that stop (ok() false) at the end of their span instead
// of reading past it.
class Reader {
public:
    explicit Reader(Bytes bytes)
        : m_bytes(bytes)
    {
    }

    bool ok() const { return m_ok; }
    std::size_t remaining() const { return m_ok ? m_bytes.size() - m_at : 0; }
    std::size_t position() const { return m_at; }

    std::uint64_t read(int bytes)
    {
        if (!m_ok || bytes < 0 || std::size_t(bytes) > m_bytes.size() - m_at) {
            m_ok = false;
            return 0;
        }
        std::uint64_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value = value << 8 | m_bytes[m_at++];
        return value;
    }

    Bytes take(std::size_t count)
    {
        if (!m_ok || count > m_bytes.size() - m_at) {
            m_ok = false;
            return {};
        }
        const Bytes part = m_bytes.subspan(m_at, count);
        m_at += count;
        return part;
    }

private:
    Bytes m_bytes;
    std::size_t m_at = 0;
    bool m_ok = true;
};

struct Box {
    char type[4] = {};
    Bytes payload;
};

bool isType(const Box& box, const char* type)
{
    return std::memcmp(box.type, type, 4) == 0;
}

// The boxes of `bytes`, in order, up to the first that does not fit.
std::vector<Box> boxesIn(Bytes bytes)
{
    std::vector<Box> boxes;
    Reader reader(bytes);
    while (reader.remaining() >= 8) {
        const std::size_t start = reader.position();
        std::uint64_t size = reader.read(4);
        Box box;
        const Bytes type = reader.take(4);
        std::memcpy(box.type, type.data(), 4);
        if (size == 1)
            size = reader.read(8);
        else if (size == 0)
            size = bytes.size() - start;
        const std::size_t header = reader.position() - start;
        if (!reader.ok() || size < header || size - header > reader.remaining())
            break;
        box.payload = reader.take(std::size_t(size - header));
        boxes.push_back(box);
    }
    return boxes;
}

std::optional<Box> child(Bytes bytes, const char* type)
{
    for (const Box& box : boxesIn(bytes))
        if (isType(box, type))
            return box;
    return std::nullopt;
}

struct Location {
    int constructionMethod = 0; // 0: file offsets, 1: inside idat
    std::uint64_t baseOffset = 0;
    std::uint64_t extentOffset = 0; // of the first extent
};

std::map<std::uint32_t, Location> itemLocations(Bytes iloc)
{
    std::map<std::uint32_t, Location> locations;
    Reader reader(iloc);
    const int version = int(reader.read(1));
    reader.read(3); // flags
    const int sizes = int(reader.read(1));
    const int offsetSize = sizes >> 4;
    const int lengthSize = sizes & 0xF;
    const int more = int(reader.read(1));
    const int baseOffsetSize = more >> 4;
    const int indexSize = (version == 1 || version == 2) ? (more & 0xF) : 0;
    const std::uint64_t count = reader.read(version < 2 ? 2 : 4);
    for (std::uint64_t i = 0; i < count && reader.ok(); ++i) {
        const auto id = std::uint32_t(reader.read(version < 2 ? 2 : 4));
        Location location;
        if (version == 1 || version == 2)
            location.constructionMethod = int(reader.read(2) & 0xF);
        reader.read(2); // data reference index
        location.baseOffset = reader.read(baseOffsetSize);
        const std::uint64_t extents = reader.read(2);
        for (std::uint64_t e = 0; e < extents && reader.ok(); ++e) {
            reader.read(indexSize);
            const std::uint64_t offset = reader.read(offsetSize);
            reader.read(lengthSize);
            if (e == 0)
                location.extentOffset = offset;
        }
        if (reader.ok() && extents > 0)
            locations[id] = location;
    }
    return locations;
}

// Item IDs of the derived pictures, with their type ("grid" or "iovl").
std::map<std::uint32_t, std::string> derivedItems(Bytes iinf)
{
    std::map<std::uint32_t, std::string> items;
    Reader reader(iinf);
    const int version = int(reader.read(1));
    reader.read(3);
    reader.read(version == 0 ? 2 : 4); // entry count: the boxes say it too
    if (!reader.ok())
        return items;
    for (const Box& infe : boxesIn(iinf.subspan(reader.position()))) {
        if (!isType(infe, "infe"))
            continue;
        Reader entry(infe.payload);
        const int entryVersion = int(entry.read(1));
        entry.read(3);
        if (entryVersion < 2)
            continue; // no item type before version 2
        const auto id = std::uint32_t(entry.read(entryVersion == 2 ? 2 : 4));
        entry.read(2); // protection index
        const Bytes type = entry.take(4);
        if (!entry.ok())
            continue;
        const std::string name(reinterpret_cast<const char*>(type.data()), 4);
        if (name == "grid" || name == "iovl")
            items[id] = name;
    }
    return items;
}

std::optional<ClaimedSize> canvasOf(const std::string& type, Bytes descriptor)
{
    Reader reader(descriptor);
    reader.read(1); // version
    const int flags = int(reader.read(1));
    if (type == "grid")
        reader.read(2); // rows and columns, each less one
    else
        reader.take(8); // the fill colour, four 16-bit values
    const int fieldSize = (flags & 1) ? 4 : 2;
    ClaimedSize size;
    size.width = reader.read(fieldSize);
    size.height = reader.read(fieldSize);
    if (!reader.ok())
        return std::nullopt;
    return size;
}

} // namespace

std::vector<ClaimedSize> heifClaimedSizes(Bytes bytes)
{
    std::vector<ClaimedSize> sizes;
    const std::optional<Box> meta = child(bytes, "meta");
    if (!meta || meta->payload.size() < 4)
        return sizes;
    const Bytes metaBody = meta->payload.subspan(4); // after version and flags

    if (const auto iprp = child(metaBody, "iprp"))
        if (const auto ipco = child(iprp->payload, "ipco"))
            for (const Box& property : boxesIn(ipco->payload)) {
                if (!isType(property, "ispe"))
                    continue;
                Reader reader(property.payload);
                reader.read(4);
                ClaimedSize size;
                size.width = reader.read(4);
                size.height = reader.read(4);
                if (reader.ok())
                    sizes.push_back(size);
            }

    const auto iinf = child(metaBody, "iinf");
    const auto iloc = child(metaBody, "iloc");
    if (!iinf || !iloc)
        return sizes;
    const auto idat = child(metaBody, "idat");
    const std::map<std::uint32_t, Location> locations = itemLocations(iloc->payload);
    for (const auto& [id, type] : derivedItems(iinf->payload)) {
        const auto found = locations.find(id);
        if (found == locations.end())
            continue;
        const Location& location = found->second;
        Bytes source;
        if (location.constructionMethod == 0)
            source = bytes;
        else if (location.constructionMethod == 1 && idat)
            source = idat->payload;
        else
            continue;
        const std::uint64_t start = location.baseOffset + location.extentOffset;
        if (start < location.baseOffset || start >= source.size())
            continue;
        if (const auto canvas = canvasOf(type, source.subspan(std::size_t(start))))
            sizes.push_back(*canvas);
    }
    return sizes;
}

} // namespace decoding
