// The orientation reader on hand-made headers: the tag found where viewers
// find it, and every damaged or unusual header read as "as stored" (or as
// pages that disagree) without reading past the bytes it was given.

#include "decoding/OrientationTag.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using decoding::Orientation;

std::string be16(unsigned v)
{
    return {char(v >> 8), char(v)};
}
std::string be32(std::uint32_t v)
{
    return be16(v >> 16) + be16(v & 0xFFFF);
}
std::string le16(unsigned v)
{
    return {char(v), char(v >> 8)};
}
std::string le32(std::uint32_t v)
{
    return le16(v & 0xFFFF) + le16(v >> 16);
}

// A big-endian directory of (tag, type, value) SHORT or LONG entries.
struct Entry {
    unsigned tag;
    unsigned type;
    std::uint32_t value;
};
std::string directoryBe(std::initializer_list<Entry> entries, std::uint32_t next)
{
    std::string out = be16(unsigned(entries.size()));
    for (const Entry& e : entries)
        out += be16(e.tag) + be16(e.type) + be32(1)
            + (e.type == 3 ? be16(e.value) + be16(0) : be32(e.value));
    return out + be32(next);
}

std::string exifJpeg(const std::string& tiff, bool jfifFirst = true)
{
    const std::string body = std::string("Exif\0\0", 6) + tiff;
    std::string jpeg = "\xFF\xD8";
    if (jfifFirst)
        jpeg += std::string("\xFF\xE0", 2) + be16(16) + std::string("JFIF\0\1\1\0\0\1\0\1\0\0", 14);
    jpeg += std::string("\xFF\xE1", 2) + be16(unsigned(body.size() + 2)) + body;
    return jpeg + "\xFF\xDB" + be16(4) + "xx" + "\xFF\xDA";
}

std::string bigEndianTiff(unsigned orientation)
{
    return std::string("MM\0*", 4) + be32(8) + directoryBe({{274, 3, orientation}}, 0);
}

struct TagCase {
    const char* name;
    std::string bytes;
    Orientation orientation;
    bool pagesDisagree;
};

void PrintTo(const TagCase& c, std::ostream* os)
{
    *os << c.name;
}

class OrientationTagTest : public ::testing::TestWithParam<TagCase> { };

TEST_P(OrientationTagTest, ReadsTheTagOrAsStored)
{
    const TagCase& c = GetParam();
    // The bytes live in a buffer of their own length: a read past them is
    // caught by the sanitizer build.
    const std::vector<std::uint8_t> bytes(c.bytes.begin(), c.bytes.end());
    const decoding::OrientationTag tag = decoding::readOrientation(bytes);
    EXPECT_EQ(int(tag.orientation), int(c.orientation));
    EXPECT_EQ(tag.pagesDisagree, c.pagesDisagree);
}

const std::string kTiffLittle6 = std::string("II*\0", 4) + le32(8) + le16(1) + le16(274) + le16(3)
    + le32(1) + le16(6) + le16(0) + le32(0);

INSTANTIATE_TEST_SUITE_P(Cases, OrientationTagTest,
    ::testing::Values(
        TagCase{"JpegAfterJfif", exifJpeg(bigEndianTiff(6)), Orientation::TurnClockwise, false},
        TagCase{"JpegExifFirst", exifJpeg(bigEndianTiff(8), false), Orientation::TurnAnticlockwise,
            false},
        TagCase{"JpegLittleEndianExif", exifJpeg(kTiffLittle6), Orientation::TurnClockwise, false},
        TagCase{"JpegLongValue",
            exifJpeg(std::string("MM\0*", 4) + be32(8) + directoryBe({{274, 4, 3}}, 0)),
            Orientation::Turn180, false},
        TagCase{"JpegValueZero", exifJpeg(bigEndianTiff(0)), Orientation::AsStored, false},
        TagCase{"JpegValueNine", exifJpeg(bigEndianTiff(9)), Orientation::AsStored, false},
        TagCase{"JpegDirectoryPastTheEnd",
            exifJpeg(std::string("MM\0*", 4) + be32(4000) + directoryBe({{274, 3, 6}}, 0)),
            Orientation::AsStored, false},
        TagCase{"JpegEntryCountPastTheEnd",
            exifJpeg(std::string("MM\0*", 4) + be32(8) + be16(500) + be16(274) + be16(3) + be32(1)
                + be16(6)),
            Orientation::AsStored, false},
        TagCase{"JpegCutInsideTheSegment", exifJpeg(bigEndianTiff(6)).substr(0, 30),
            Orientation::AsStored, false},
        TagCase{"JpegExifAfterTheScanIsNotRead",
            std::string("\xFF\xD8\xFF\xDA", 4) + exifJpeg(bigEndianTiff(6)).substr(2),
            Orientation::AsStored, false},
        TagCase{"JpegOtherApp1",
            std::string("\xFF\xD8\xFF\xE1", 4) + be16(8) + std::string("http\0\0", 6)
                + exifJpeg(bigEndianTiff(6)).substr(2),
            Orientation::TurnClockwise, false},
        TagCase{"Tiff", kTiffLittle6, Orientation::TurnClockwise, false},
        TagCase{"TiffPagesAgree",
            std::string("MM\0*", 4) + be32(8) + directoryBe({{274, 3, 3}}, 26)
                + directoryBe({{274, 3, 3}}, 0),
            Orientation::Turn180, false},
        TagCase{"TiffPagesDisagree",
            std::string("MM\0*", 4) + be32(8) + directoryBe({{274, 3, 1}}, 26)
                + directoryBe({{274, 3, 6}}, 0),
            Orientation::AsStored, true},
        TagCase{"TiffThumbnailIsNoPage",
            std::string("MM\0*", 4) + be32(8) + directoryBe({{274, 3, 5}}, 26)
                + directoryBe({{254, 4, 1}, {274, 3, 1}}, 0),
            Orientation::Transpose, false},
        TagCase{"TiffDirectoryLoop",
            std::string("MM\0*", 4) + be32(8) + directoryBe({{274, 3, 7}}, 8),
            Orientation::Transverse, false},
        TagCase{"BigTiff",
            std::string("II+\0", 4) + le16(8) + le16(0) + le32(16) + le32(0) + le32(1) + le32(0)
                + le16(274) + le16(3) + le32(1) + le32(0) + le16(2) + le16(0) + le32(0) + le32(0)
                + le32(0) + le32(0),
            Orientation::MirrorLeftRight, false},
        TagCase{"PngIsAsStored", std::string("\x89PNG\r\n\x1a\n", 8) + kTiffLittle6,
            Orientation::AsStored, false}),
    [](const ::testing::TestParamInfo<TagCase>& info) { return std::string(info.param.name); });

} // namespace
