// The type comes from a file's first bytes only.

#include "decoding/PictureType.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>

namespace {

using decoding::PictureType;

struct Head {
    const char* name;
    std::string bytes;
    PictureType type;
};

void PrintTo(const Head& c, std::ostream* os)
{
    *os << c.name;
}

std::string ftyp(const std::string& major, const std::string& compatible)
{
    const std::string body = major + std::string("\0\0\0\0", 4) + compatible;
    const char size = char(8 + body.size());
    return std::string("\0\0\0", 3) + size + "ftyp" + body;
}

class DetectType : public ::testing::TestWithParam<Head> { };

TEST_P(DetectType, FromTheLeadingBytes)
{
    const std::string& bytes = GetParam().bytes;
    EXPECT_EQ(
        decoding::detectType({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}),
        GetParam().type);
}

INSTANTIATE_TEST_SUITE_P(Heads, DetectType,
    ::testing::Values(
        Head{"Png", std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16), PictureType::Png},
        Head{"PngCutInItsSignature", std::string("\x89PNG\r\n", 6), PictureType::Unknown},
        Head{"Jp2", std::string("\0\0\0\x0cjP  \r\n\x87\n", 12), PictureType::Jpeg2000},
        Head{"J2kCodestream", std::string("\xff\x4f\xff\x51\0\x29", 6), PictureType::Jpeg2000},
        Head{"Jpeg", std::string("\xff\xd8\xff\xe0", 4), PictureType::Jpeg},
        Head{"Gif87", "GIF87a", PictureType::Gif}, Head{"Gif89", "GIF89a..", PictureType::Gif},
        Head{"TiffIntel", std::string("II*\0", 4), PictureType::Tiff},
        Head{"TiffMotorola", std::string("MM\0*", 4), PictureType::Tiff},
        Head{"BigTiff", std::string("II+\0", 4), PictureType::Tiff},
        Head{"Bmp", "BM\x36\0\0\0", PictureType::Bmp},
        Head{"WebP", std::string("RIFF\x24\0\0\0WEBPVP8 ", 16), PictureType::WebP},
        Head{"RiffWave", std::string("RIFF\x24\0\0\0WAVEfmt ", 16), PictureType::Unknown},
        Head{"Heic", ftyp("heic", "mif1heic"), PictureType::Heif},
        Head{"HeifByCompatibleBrand", ftyp("abcd", "mif1"), PictureType::Heif},
        Head{"Avif", ftyp("avif", "mif1avifmiaf"), PictureType::Avif},
        Head{"AvifListedAfterMif1", ftyp("mif1", "mif1avif"), PictureType::Avif},
        Head{"Mp4Video", ftyp("isom", "isomavc1"), PictureType::Unknown},
        Head{"Text", "hello", PictureType::Unknown}, Head{"Empty", "", PictureType::Unknown}),
    [](const auto& info) { return std::string(info.param.name); });

// A name suffix: the type the table gives it, and whether the first design's
// candidate list (three letters, one spelling per type) takes it.
struct Suffix {
    const char* name;
    const char* suffix;
    PictureType type;
    bool firstDesign;
};

void PrintTo(const Suffix& c, std::ostream* os)
{
    *os << c.name;
}

class SuffixType : public ::testing::TestWithParam<Suffix> { };

TEST_P(SuffixType, ComesFromTheOneTable)
{
    const Suffix& c = GetParam();
    EXPECT_EQ(decoding::typeOfSuffix(c.suffix), c.type);
    EXPECT_EQ(decoding::typeOfFirstDesignSuffix(c.suffix) != PictureType::Unknown, c.firstDesign);
}

INSTANTIATE_TEST_SUITE_P(Suffixes, SuffixType,
    ::testing::Values(Suffix{"Jpg", "jpg", PictureType::Jpeg, true},
        Suffix{"JpgUpperCase", "JPG", PictureType::Jpeg, false},
        Suffix{"Jpeg", "jpeg", PictureType::Jpeg, false},
        Suffix{"Jpe", "jpe", PictureType::Jpeg, false},
        Suffix{"Jfif", "JfIf", PictureType::Jpeg, false},
        Suffix{"Bmp", "bmp", PictureType::Bmp, true}, Suffix{"Dib", "dib", PictureType::Bmp, false},
        Suffix{"Gif", "gif", PictureType::Gif, true}, Suffix{"Png", "png", PictureType::Png, true},
        Suffix{"Tif", "tif", PictureType::Tiff, true},
        Suffix{"Tiff", "tiff", PictureType::Tiff, false},
        Suffix{"Jp2", "jp2", PictureType::Jpeg2000, true},
        Suffix{"J2k", "j2k", PictureType::Jpeg2000, false},
        Suffix{"J2c", "j2c", PictureType::Jpeg2000, false},
        Suffix{"Jpc", "jpc", PictureType::Jpeg2000, false},
        Suffix{"Jpf", "jpf", PictureType::Jpeg2000, false},
        Suffix{"Jpx", "JPX", PictureType::Jpeg2000, false},
        Suffix{"Webp", "webp", PictureType::WebP, false},
        Suffix{"Heic", "heic", PictureType::Heif, false},
        Suffix{"Heif", "HEIF", PictureType::Heif, false},
        Suffix{"Hif", "hif", PictureType::Heif, false},
        Suffix{"Avif", "avif", PictureType::Avif, false},
        Suffix{"Targa", "tga", PictureType::Unknown, false},
        Suffix{"JpegWithATail", "jpegg", PictureType::Unknown, false},
        Suffix{"TwoLetters", "jp", PictureType::Unknown, false},
        Suffix{"Empty", "", PictureType::Unknown, false},
        Suffix{"Long", "jpegjpegjpeg", PictureType::Unknown, false},
        Suffix{"TrailingSpace", "png ", PictureType::Unknown, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PictureTypeTable, EverySpellingNamesOneTypeAndEveryTypeHasOneRow)
{
    std::set<std::string_view> spellings;
    std::set<PictureType> types;
    for (const decoding::PictureTypeRow& row : decoding::pictureTypes()) {
        EXPECT_TRUE(types.insert(row.type).second) << row.name << " has two rows";
        EXPECT_NE(row.type, PictureType::Unknown);
        EXPECT_EQ(decoding::rowOf(row.type), &row);
        EXPECT_STREQ(decoding::typeName(row.type), row.name);
        for (const std::string_view spelling : row.spellings) {
            if (!spelling.empty()) {
                EXPECT_TRUE(spellings.insert(spelling).second) << spelling << " is in two rows";
            }
        }
        if (!row.firstDesignSpelling.empty()) {
            EXPECT_EQ(row.firstDesignSpelling.size(), 3u) << row.name;
            EXPECT_EQ(decoding::typeOfSuffix(row.firstDesignSpelling), row.type) << row.name;
        }
    }
    EXPECT_EQ(decoding::rowOf(PictureType::Unknown), nullptr);
    EXPECT_STREQ(decoding::typeName(PictureType::Unknown), "unknown");
}

TEST(PixelBudget, CountsThePixelsOfOneFrame)
{
    EXPECT_TRUE(decoding::withinPixelBudget(1, 1));
    EXPECT_TRUE(decoding::withinPixelBudget(decoding::kPixelBudget, 1));
    EXPECT_FALSE(decoding::withinPixelBudget(decoding::kPixelBudget + 1, 1));
    EXPECT_FALSE(decoding::withinPixelBudget(20000, 20000));
    EXPECT_FALSE(decoding::withinPixelBudget(0, 10));
    // A product that would wrap in 64 bits must not pass.
    EXPECT_FALSE(decoding::withinPixelBudget(std::uint64_t(1) << 32, std::uint64_t(1) << 32));
}

} // namespace
