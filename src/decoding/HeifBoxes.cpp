#include "decoding/HeifBoxes.h"

#include "decoding/CodingFacts.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <set>

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

struct Item {
    std::string type; // "hvc1", "av01", "grid", ...
    bool hidden = false;
};

std::map<std::uint32_t, Item> itemsIn(Bytes iinf)
{
    std::map<std::uint32_t, Item> items;
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
        const std::uint64_t flags = entry.read(3);
        if (entryVersion < 2)
            continue; // no item type before version 2
        const auto id = std::uint32_t(entry.read(entryVersion == 2 ? 2 : 4));
        entry.read(2); // protection index
        const Bytes type = entry.take(4);
        if (!entry.ok())
            continue;
        items[id] = {std::string(reinterpret_cast<const char*>(type.data()), 4), (flags & 1) != 0};
    }
    return items;
}

struct Reference {
    std::string type; // "dimg", "thmb", "auxl", ...
    std::uint32_t from = 0;
    std::vector<std::uint32_t> to;
};

std::vector<Reference> referencesIn(Bytes iref)
{
    std::vector<Reference> references;
    Reader reader(iref);
    const int idSize = reader.read(1) == 0 ? 2 : 4;
    reader.read(3);
    if (!reader.ok())
        return references;
    for (const Box& box : boxesIn(iref.subspan(reader.position()))) {
        Reader entry(box.payload);
        Reference reference;
        reference.type.assign(box.type, 4);
        reference.from = std::uint32_t(entry.read(idSize));
        const std::uint64_t count = entry.read(2);
        for (std::uint64_t i = 0; i < count && entry.ok(); ++i)
            reference.to.push_back(std::uint32_t(entry.read(idSize)));
        if (entry.ok())
            references.push_back(std::move(reference));
    }
    return references;
}

// The properties of each item, as 1-based indices into ipco's boxes.
std::map<std::uint32_t, std::vector<std::size_t>> associationsIn(Bytes ipma)
{
    std::map<std::uint32_t, std::vector<std::size_t>> associations;
    Reader reader(ipma);
    const int version = int(reader.read(1));
    const std::uint64_t flags = reader.read(3);
    const std::uint64_t count = reader.read(4);
    for (std::uint64_t i = 0; i < count && reader.ok(); ++i) {
        const auto id = std::uint32_t(reader.read(version < 1 ? 2 : 4));
        const std::uint64_t links = reader.read(1);
        for (std::uint64_t l = 0; l < links && reader.ok(); ++l) {
            // The top bit says "essential"; the rest is the index.
            const std::uint64_t value = reader.read((flags & 1) ? 2 : 1);
            associations[id].push_back(std::size_t(value & ((flags & 1) ? 0x7FFF : 0x7F)));
        }
    }
    return associations;
}

// The boxes of the "meta" box that the readers below need.
struct Meta {
    std::optional<Box> pitm, iinf, iloc, iref, idat, ipco, ipma;
};

std::optional<Meta> metaOf(Bytes file)
{
    const std::optional<Box> meta = child(file, "meta");
    if (!meta || meta->payload.size() < 4)
        return std::nullopt;
    const Bytes body = meta->payload.subspan(4); // after version and flags
    Meta boxes;
    boxes.pitm = child(body, "pitm");
    boxes.iinf = child(body, "iinf");
    boxes.iloc = child(body, "iloc");
    boxes.iref = child(body, "iref");
    boxes.idat = child(body, "idat");
    if (const auto iprp = child(body, "iprp")) {
        boxes.ipco = child(iprp->payload, "ipco");
        boxes.ipma = child(iprp->payload, "ipma");
    }
    return boxes;
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

// The bits of an HEVC parameter set, emulation prevention bytes removed.
class BitReader {
public:
    explicit BitReader(Bytes nal)
    {
        int zeros = 0;
        for (const std::uint8_t byte : nal) {
            if (zeros >= 2 && byte == 3) {
                zeros = 0;
                continue;
            }
            zeros = byte == 0 ? zeros + 1 : 0;
            m_bytes.push_back(byte);
        }
    }
    bool ok() const { return m_ok; }
    std::uint32_t bits(int count)
    {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i) {
            if (m_at >= m_bytes.size() * 8) {
                m_ok = false;
                return 0;
            }
            value = value << 1 | ((m_bytes[m_at / 8] >> (7 - m_at % 8)) & 1U);
            ++m_at;
        }
        return value;
    }
    std::uint32_t unsignedGolomb()
    {
        int zeros = 0;
        while (bits(1) == 0 && m_ok && zeros < 32)
            ++zeros;
        if (zeros >= 32)
            m_ok = false;
        return m_ok ? (1U << zeros) - 1 + bits(zeros) : 0;
    }
    void signedGolomb() { unsignedGolomb(); }

private:
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_at = 0;
    bool m_ok = true;
};

// Whether an HEVC configuration's picture parameter set lets its coding
// units skip transform and quantisation: how HEVC codes without loss.
bool hevcTransquantBypass(Bytes hvcC)
{
    Reader reader(hvcC);
    reader.take(22);
    const std::uint64_t arrays = reader.read(1);
    for (std::uint64_t a = 0; a < arrays && reader.ok(); ++a) {
        const int type = int(reader.read(1) & 0x3F);
        const std::uint64_t units = reader.read(2);
        for (std::uint64_t u = 0; u < units && reader.ok(); ++u) {
            const Bytes nal = reader.take(std::size_t(reader.read(2)));
            if (type != 34 || nal.size() < 3) // a picture parameter set
                continue;
            BitReader pps(nal.subspan(2)); // after the unit header
            pps.unsignedGolomb(); // its id
            pps.unsignedGolomb(); // its sequence parameter set
            pps.bits(7); // dependent slices, output flag, extra slice header bits, sign hiding,
                         // cabac init
            pps.unsignedGolomb(); // reference indexes, both lists
            pps.unsignedGolomb();
            pps.signedGolomb(); // initial QP
            pps.bits(2); // constrained intra prediction, transform skip
            if (pps.bits(1)) // QP deltas, and their depth
                pps.unsignedGolomb();
            pps.signedGolomb(); // chroma QP offsets
            pps.signedGolomb();
            pps.bits(3); // slice chroma QP offsets, weighted prediction, both
            const bool bypass = pps.bits(1) != 0;
            return pps.ok() && bypass;
        }
    }
    return false;
}

} // namespace

bool heifHoldsSequence(Bytes bytes)
{
    for (const Box& box : boxesIn(bytes)) {
        if (isType(box, "moov"))
            return true;
        if (!isType(box, "ftyp"))
            continue;
        // Major brand, minor version, then compatible brands.
        for (std::size_t at = 0; at + 4 <= box.payload.size(); at += 4) {
            if (at == 4)
                continue; // the minor version
            const auto* brand = box.payload.data() + at;
            if (std::memcmp(brand, "msf1", 4) == 0 || std::memcmp(brand, "avis", 4) == 0
                || std::memcmp(brand, "hevs", 4) == 0)
                return true;
        }
    }
    return false;
}

std::vector<ClaimedSize> heifClaimedSizes(Bytes bytes)
{
    std::vector<ClaimedSize> sizes;
    const std::optional<Meta> meta = metaOf(bytes);
    if (!meta)
        return sizes;
    if (meta->ipco)
        for (const Box& property : boxesIn(meta->ipco->payload)) {
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
    if (!meta->iinf || !meta->iloc)
        return sizes;
    const std::map<std::uint32_t, Location> locations = itemLocations(meta->iloc->payload);
    for (const auto& [id, item] : itemsIn(meta->iinf->payload)) {
        if (item.type != "grid" && item.type != "iovl")
            continue;
        const auto found = locations.find(id);
        if (found == locations.end())
            continue;
        const Location& location = found->second;
        Bytes source;
        if (location.constructionMethod == 0)
            source = bytes;
        else if (location.constructionMethod == 1 && meta->idat)
            source = meta->idat->payload;
        else
            continue;
        const std::uint64_t start = location.baseOffset + location.extentOffset;
        if (start < location.baseOffset || start >= source.size())
            continue;
        if (const auto canvas = canvasOf(item.type, source.subspan(std::size_t(start))))
            sizes.push_back(*canvas);
    }
    return sizes;
}

CodingFacts heifCodingFacts(Bytes file)
{
    CodingFacts facts;
    const std::optional<Meta> meta = metaOf(file);
    if (!meta || !meta->iinf)
        return facts;
    const std::map<std::uint32_t, Item> items = itemsIn(meta->iinf->payload);
    const std::vector<Reference> references
        = meta->iref ? referencesIn(meta->iref->payload) : std::vector<Reference>{};

    // Pictures a viewer lists: image items that are no thumbnail, no
    // auxiliary picture (alpha, depth) and no tile or layer of another.
    static const std::set<std::string> kPictureTypes
        = {"hvc1", "av01", "grid", "iovl", "iden", "jpeg", "avc1", "vvc1", "j2k1", "unci"};
    std::map<std::uint32_t, bool> listed;
    for (const auto& [id, item] : items)
        if (!item.hidden && kPictureTypes.count(item.type))
            listed[id] = true;
    for (const Reference& reference : references) {
        if (reference.type == "thmb" || reference.type == "auxl")
            listed.erase(reference.from);
        if (reference.type == "dimg")
            for (const std::uint32_t to : reference.to)
                listed.erase(to);
    }
    facts.frames = std::uint32_t(std::max<std::size_t>(listed.size(), 1));

    std::uint32_t primary = 0;
    if (meta->pitm) {
        Reader reader(meta->pitm->payload);
        const int version = int(reader.read(1));
        reader.read(3);
        primary = std::uint32_t(reader.read(version == 0 ? 2 : 4));
    }
    // A derived picture (grid, overlay) is coded in the pictures it is made of.
    std::uint32_t coded = primary;
    std::size_t tiles = 0;
    const auto primaryItem = items.find(primary);
    if (primaryItem != items.end() && primaryItem->second.type == "grid")
        for (const Reference& reference : references)
            if (reference.type == "dimg" && reference.from == primary && !reference.to.empty()) {
                coded = reference.to.front();
                tiles = reference.to.size();
            }

    std::vector<Box> properties;
    if (meta->ipco)
        properties = boxesIn(meta->ipco->payload);
    const auto links = meta->ipma ? associationsIn(meta->ipma->payload)
                                  : std::map<std::uint32_t, std::vector<std::size_t>>{};
    // An auxiliary picture of the primary whose kind ("auxC") is alpha:
    // AVIF and HEVC name it differently.
    auto isAlphaPlane = [&](std::uint32_t item) {
        const auto found = links.find(item);
        if (found == links.end())
            return false;
        for (const std::size_t index : found->second) {
            if (index == 0 || index > properties.size() || !isType(properties[index - 1], "auxC"))
                continue;
            const Bytes payload = properties[index - 1].payload;
            const std::string kind(reinterpret_cast<const char*>(payload.data()), payload.size());
            if (kind.find("auxiliary:alpha") != std::string::npos
                || kind.find("urn:mpeg:hevc:2015:auxid:1") != std::string::npos)
                return true;
        }
        return false;
    };
    bool alpha = false;
    for (const Reference& reference : references)
        if (reference.type == "auxl" && !reference.to.empty() && reference.to.front() == primary
            && isAlphaPlane(reference.from))
            alpha = true;

    const auto codedLinks = links.find(coded);
    if (codedLinks == links.end())
        return facts;
    static const char* const kChroma[] = {"monochrome", "4:2:0", "4:2:2", "4:4:4"};
    // Colours kept as red, green and blue (matrix 0 of an "nclx" colour
    // box): no conversion to luma and chroma that rounds them.
    bool rgbMatrix = false;
    for (const std::uint32_t item : {coded, primary}) {
        const auto found = links.find(item);
        if (found == links.end())
            continue;
        for (const std::size_t index : found->second) {
            if (index == 0 || index > properties.size() || !isType(properties[index - 1], "colr"))
                continue;
            const Bytes payload = properties[index - 1].payload;
            if (payload.size() >= 10 && std::memcmp(payload.data(), "nclx", 4) == 0)
                rgbMatrix = payload[8] == 0 && payload[9] == 0;
        }
    }
    for (const std::size_t index : codedLinks->second) {
        if (index == 0 || index > properties.size())
            continue;
        const Box& property = properties[index - 1];
        Reader reader(property.payload);
        int depth = 0;
        int chroma = 1;
        if (isType(property, "hvcC")) {
            // After version, profile, compatibility, constraints, level,
            // segmentation and parallelism: chroma format, then bit depths.
            reader.take(16);
            chroma = int(reader.read(1) & 3);
            depth = int(reader.read(1) & 7) + 8;
            facts.compression = "HEVC";
            // Without loss only when every sample is kept: no chroma
            // subsampling, and transform and quantisation skipped.
            facts.lossless = ((chroma == 3 && rgbMatrix) || chroma == 0)
                && hevcTransquantBypass(property.payload);
        } else if (isType(property, "av1C")) {
            reader.read(2);
            const int bits = int(reader.read(1));
            depth = (bits & 0x40) ? ((bits & 0x20) ? 12 : 10) : 8;
            const bool monochrome = (bits & 0x10) != 0;
            const bool subX = (bits & 0x08) != 0;
            const bool subY = (bits & 0x04) != 0;
            chroma = monochrome ? 0 : subX && subY ? 1 : subX ? 2 : 3;
            facts.compression = "AV1";
        } else {
            continue;
        }
        if (!reader.ok()) {
            facts.compression.clear();
            continue;
        }
        facts.compression += std::string(", ") + kChroma[chroma];
        if (tiles > 1)
            facts.compression += ", grid of " + std::to_string(tiles) + " tiles";
        facts.bitsPerPixel = depth * ((chroma == 0 ? 1 : 3) + (alpha ? 1 : 0));
        break;
    }
    return facts;
}

} // namespace decoding
