// What "identical" means for fingerprints: shape, frames and every sample at
// full depth, with 16-bit samples that are exact 8-bit widenings equal to
// their 8-bit picture.
#include "finder/PixelFingerprint.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

decoding::DecodedPicture picture(
    std::uint32_t width, std::uint32_t height, int depth, int frames = 1, std::uint16_t seed = 3)
{
    decoding::DecodedPicture p;
    p.width = width;
    p.height = height;
    p.bytesPerSample = depth;
    for (int f = 0; f < frames; ++f) {
        std::vector<std::uint8_t> frame(p.frameBytes());
        for (std::size_t i = 0; i < frame.size() / std::size_t(depth); ++i) {
            const std::uint8_t value = std::uint8_t(i * 37 + seed + f);
            if (depth == 1) {
                frame[i] = value;
            } else {
                const std::uint16_t wide = std::uint16_t(value * 257);
                std::memcpy(frame.data() + 2 * i, &wide, 2);
            }
        }
        p.frames.push_back(std::move(frame));
    }
    return p;
}

void setSample16(decoding::DecodedPicture& p, std::size_t sample, std::uint16_t value)
{
    std::memcpy(p.frames[0].data() + 2 * sample, &value, 2);
}

TEST(PixelFingerprint, EqualExactlyWhenEverySampleIsEqual)
{
    const auto base = finder::fingerprintOf(picture(4, 3, 1));
    EXPECT_EQ(finder::fingerprintOf(picture(4, 3, 1)), base);
    // A 16-bit picture of exact widenings is the 8-bit picture.
    EXPECT_EQ(finder::fingerprintOf(picture(4, 3, 2)), base);

    struct Row {
        const char* name;
        decoding::DecodedPicture p;
    };
    std::vector<Row> different;
    different.push_back({"other shape, same bytes", picture(3, 4, 1)});
    different.push_back({"a second frame", picture(4, 3, 1, 2)});
    different.push_back({"other samples", picture(4, 3, 1, 1, 4)});
    auto alpha = picture(4, 3, 1);
    alpha.frames[0][3] ^= 1; // the first pixel's alpha
    different.push_back({"one alpha step", alpha});
    auto deep = picture(4, 3, 2);
    setSample16(deep, 5, std::uint16_t(deep.frames[0][10] * 257 + 1)); // not a widening
    different.push_back({"one 16-bit sample between two 8-bit values", deep});
    for (const Row& row : different)
        EXPECT_NE(finder::fingerprintOf(row.p), base) << row.name;

    // Two 16-bit pictures that differ only below 8 bits differ.
    auto deepOther = deep;
    setSample16(deepOther, 5, std::uint16_t(deep.frames[0][10] * 257 + 2));
    EXPECT_NE(finder::fingerprintOf(deepOther), finder::fingerprintOf(deep));
    EXPECT_EQ(finder::fingerprintOf(deep).bytesPerSample, 2);
}

// Samples of one meaning laid out per pixel as the pixel form holds them;
// `opaqueSlot` puts 255 (or 65535) in the alpha sample.
decoding::DecodedPicture withMeaning(decoding::ColourSpace space, decoding::SampleFormat format,
    int extra, int depth, bool opaqueSlot, const std::vector<std::uint16_t>& kept)
{
    decoding::DecodedPicture p;
    p.width = 3;
    p.height = 2;
    p.bytesPerSample = depth;
    p.colourSpace = space;
    p.sampleFormat = format;
    p.extraSamples = extra;
    std::vector<std::uint8_t> frame(p.frameBytes());
    const std::size_t perPixel = std::size_t(p.samplesPerPixel());
    std::size_t next = 0;
    for (std::size_t i = 0; i < frame.size() / std::size_t(depth); ++i) {
        const bool alpha = i % perPixel == std::size_t(p.colourSamples());
        const std::uint16_t v = alpha && opaqueSlot ? std::uint16_t(depth == 1 ? 255 : 65535)
                                                    : kept[next++ % kept.size()];
        if (depth == 1)
            frame[i] = std::uint8_t(v);
        else
            std::memcpy(frame.data() + 2 * i, &v, 2);
    }
    p.frames.push_back(std::move(frame));
    return p;
}

// Pairs whose canonical samples are the same bytes but whose meaning differs.
TEST(PixelFingerprint, SamplesOfAnotherMeaningNeverMeet)
{
    using decoding::ColourSpace;
    using decoding::SampleFormat;
    const std::vector<std::uint16_t> bytes = {10, 200, 30, 40, 250, 6, 70};
    std::vector<std::uint16_t> widened;
    for (const std::uint16_t v : bytes)
        widened.push_back(std::uint16_t(v * 257));
    struct Row {
        const char* name;
        decoding::DecodedPicture a;
        decoding::DecodedPicture b;
    };
    const Row rows[] = {
        {"opaque CMYK inks and RGBA with the inks' values",
            withMeaning(ColourSpace::Cmyk, SampleFormat::Unsigned, 0, 1, true, bytes),
            withMeaning(ColourSpace::Rgb, SampleFormat::Unsigned, 0, 1, false, bytes)},
        {"signed and unsigned 16-bit samples of the same bits",
            withMeaning(ColourSpace::Rgb, SampleFormat::Signed, 0, 2, true, widened),
            withMeaning(ColourSpace::Rgb, SampleFormat::Unsigned, 0, 2, true, widened)},
        {"signed samples of v * 257 and their 8-bit form",
            withMeaning(ColourSpace::Rgb, SampleFormat::Signed, 0, 2, true, widened),
            withMeaning(ColourSpace::Rgb, SampleFormat::Signed, 0, 1, true, bytes)},
        {"an opaque picture's extra sample and another's alpha",
            withMeaning(ColourSpace::Rgb, SampleFormat::Unsigned, 1, 1, true, bytes),
            withMeaning(ColourSpace::Rgb, SampleFormat::Unsigned, 0, 1, false, bytes)},
        {"one extra sample and two",
            withMeaning(ColourSpace::Rgb, SampleFormat::Unsigned, 1, 1, false, bytes),
            withMeaning(ColourSpace::Rgb, SampleFormat::Unsigned, 2, 1, true, bytes)},
    };
    for (const Row& row : rows)
        EXPECT_NE(finder::fingerprintOf(row.a), finder::fingerprintOf(row.b)) << row.name;
    // The same meaning and samples still meet.
    EXPECT_EQ(finder::fingerprintOf(
                  withMeaning(ColourSpace::Cmyk, SampleFormat::Unsigned, 1, 2, true, widened)),
        finder::fingerprintOf(
            withMeaning(ColourSpace::Cmyk, SampleFormat::Unsigned, 1, 1, true, bytes)));
}

} // namespace

namespace {

TEST(PixelFingerprint, OpaquePicturesHashTheirColoursOnlyAndStillMeetTheirOwnKind)
{
    auto opaque = picture(5, 2, 1);
    for (std::size_t i = 3; i < opaque.frames[0].size(); i += 4)
        opaque.frames[0][i] = 0xFF;
    const auto print = finder::fingerprintOf(opaque);

    // Fed row by row as colours only, as Qt's readers feed it.
    finder::EightBitPixelHasher hasher(5, 2, 1, true);
    for (std::size_t p = 0; p < 10; ++p)
        hasher.add(opaque.frames[0].data() + 4 * p, 3);
    EXPECT_EQ(hasher.finish(), print);

    // The same picture at 16 bits, alpha at its maximum, is the same picture.
    decoding::DecodedPicture wide = opaque;
    wide.bytesPerSample = 2;
    wide.frames[0].assign(opaque.frames[0].size() * 2, 0);
    for (std::size_t i = 0; i < opaque.frames[0].size(); ++i)
        setSample16(wide, i, std::uint16_t(opaque.frames[0][i] * 257));
    EXPECT_EQ(finder::fingerprintOf(wide), print);

    // One pixel a step short of opaque is another picture.
    auto almost = opaque;
    almost.frames[0][7] = 0xFE;
    EXPECT_NE(finder::fingerprintOf(almost), print);
}

} // namespace

namespace {

// The 8-bit RGBA picture's fingerprint is made in blocks and pixel pairs;
// each row guards a size or a place of the one transparent pixel where a
// block or pair edge could lose or misplace a sample. The reference feeds
// the canonical form one pixel at a time.
TEST(PixelFingerprint, BlockAndPairEdgesKeepEverySample)
{
    const struct {
        const char* name;
        std::uint32_t width;
        std::uint32_t height;
        std::int64_t transparentAt; // a pixel index, or -1 for none
    } rows[] = {
        {"one pixel", 1, 1, -1},
        {"odd count of pixels", 3, 1, -1},
        {"one pixel past a 4096-pixel block", 4097, 1, -1},
        {"one pixel past a 8192-pixel chunk", 8193, 1, -1},
        {"several chunks, odd rows", 301, 97, -1},
        {"transparent first pixel", 301, 97, 0},
        {"transparent last pixel", 301, 97, 301 * 97 - 1},
        {"transparent first pixel of the second block", 301, 97, 4096},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto rgba = picture(row.width, row.height, 1);
        std::vector<std::uint8_t>& frame = rgba.frames[0];
        for (std::size_t i = 3; i < frame.size(); i += 4)
            frame[i] = 0xFF;
        if (row.transparentAt >= 0)
            frame[4 * std::size_t(row.transparentAt) + 3] = 0x80;
        const bool opaque = row.transparentAt < 0;
        finder::EightBitPixelHasher reference(row.width, row.height, 1, opaque);
        for (std::size_t p = 0; p < frame.size() / 4; ++p)
            reference.add(frame.data() + 4 * p, opaque ? 3 : 4);
        EXPECT_EQ(finder::fingerprintOf(rgba), reference.finish());
    }
}

} // namespace
