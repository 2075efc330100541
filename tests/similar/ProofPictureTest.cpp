// Proof pictures are kept as 8-bit samples (grey alone when the picture
// is grey, alpha only when needed). The proof must reach the verdicts it reaches on
// the averaged floats they are made from: true copies pass, near misses
// stay apart, with the figures moved by no more than the rounding.
#include "PhotoCollection.h"

#include "finder/PictureReader.h"
#include "similar/PhotoDifference.h"
#include "similar/ReducedPicture.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

// The proof measured on floats, as it was before the pictures were kept in 8 bits.
similar::PhotoDifference floatProof(const similar::FrameView& a, const similar::FrameView& b)
{
    auto floats = [](const similar::FrameView& frame) {
        const auto [width, height] = similar::proofSize(frame.width, frame.height);
        return similar::reduceArea(frame, width, height);
    };
    similar::ReducedPicture pa = floats(a);
    similar::ReducedPicture pb = floats(b);
    const std::uint32_t width = std::min(pa.width, pb.width);
    const std::uint32_t height = std::min(pa.height, pb.height);
    return similar::measure(
        similar::reduceArea(pa, width, height), similar::reduceArea(pb, width, height));
}

// Sources: a colour texture, the same in grey, and one with a transparent
// band and soft alpha edges.
struct Source {
    const char* name;
    QStringList make; // convert's arguments before the output
};
const Source kSources[] = {
    {"colour.png", {"-size", "900x600", "-seed", "11", "plasma:fractal", "-blur", "0x1"}},
    {"grey.png",
        {"-size", "900x600", "-seed", "12", "plasma:fractal", "-blur", "0x1", "-colorspace",
            "Gray"}},
    {"alpha.png",
        {"-size", "900x600", "-seed", "13", "plasma:fractal", "-blur", "0x1", "(", "-size",
            "600x900", "gradient:white-black", "-rotate", "90", ")", "-alpha", "off", "-compose",
            "CopyOpacity", "-composite"}},
};

struct Case {
    const char* kase;
    QStringList edit; // convert's arguments between the source and the output
    const char* suffix;
    bool same;
};
const Case kCases[] = {
    {"jpeg quality 85", {"-quality", "85"}, ".jpg", true},
    {"half size", {"-resize", "50%"}, ".png", true},
    {"webp quality 90", {"-quality", "90"}, ".webp", true},
    {"one pixel changed", {"-fill", "red", "-draw", "point 300,200"}, ".png", true},
    {"crop by 3 %, resized back", {"-crop", "873x582+27+18", "+repage", "-resize", "900x600!"},
        ".png", false},
    {"brighter by 6 %", {"-modulate", "106"}, ".png", false},
    {"contrast raised", {"-sigmoidal-contrast", "3,50%"}, ".png", false},
    {"patch pasted", {"-fill", "rgb(200,40,40)", "-draw", "rectangle 400,250 470,320"}, ".png",
        false},
    {"mirrored", {"-flop"}, ".png", false},
};

TEST(ProofPicture, EightBitPlanesGiveTheVerdictsOfTheFloats)
{
    finder::preparePictureReading();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const Source& source : kSources) {
        const QString original = dir.filePath(source.name);
        ASSERT_TRUE(
            photocollection::run(QStringLiteral("convert"), QStringList(source.make) << original));
        const auto a = photocollection::decodeFile(original);
        ASSERT_TRUE(a) << source.name;
        for (const Case& c : kCases) {
            const QString copy = dir.filePath(QString::fromLatin1(source.name) + '-'
                + QString::number(&c - kCases) + QString::fromLatin1(c.suffix));
            ASSERT_TRUE(photocollection::run(
                QStringLiteral("convert"), QStringList(original) << c.edit << copy));
            const auto b = photocollection::decodeFile(copy);
            ASSERT_TRUE(b) << c.kase;
            const similar::FrameView fa = similar::firstFrameOf(*a);
            const similar::FrameView fb = similar::firstFrameOf(*b);
            const similar::PhotoDifference before = floatProof(fa, fb);
            const auto after = similar::compareFrames(fa, fb);
            ASSERT_TRUE(after) << c.kase;
            const std::string what = std::string(source.name) + ": " + c.kase;
            // JPEG drops alpha: another picture wherever a pixel is transparent.
            const bool transparent = source.name == std::string("alpha.png");
            const bool same = c.same && (!transparent || c.suffix != std::string(".jpg"));
            EXPECT_EQ(similar::passes(*after), same) << what;
            EXPECT_EQ(similar::passes(before), similar::passes(*after)) << what;
            EXPECT_EQ(similar::editOf(before), similar::editOf(*after)) << what;
            // Samples rounded to whole levels move the SSIM a little and the
            // mean (already of whole levels) hardly at all.
            EXPECT_NEAR(before.ssim, after->ssim, 0.003) << what;
            EXPECT_NEAR(before.mean, after->mean, 0.1) << what;
        }
    }
}

// What the samples keep: grey pictures one a pixel, opaque ones no alpha,
// and every sample back within its rounding.
TEST(ProofPicture, PlanesHoldOnlyWhatThePictureNeedsAndGiveItsSamplesBack)
{
    struct Row {
        const char* name;
        float red, green, blue, alpha; // a sample at the picture's middle
        bool chroma; // three samples a pixel
        bool alphaPlane;
    };
    const Row rows[] = {
        {"grey", 90, 90, 90, 255, false, false},
        {"saturated red", 250, 10, 20, 255, true, false},
        {"dark blue", 5, 20, 120, 255, true, false},
        {"half transparent green", 30, 200, 60, 128, true, true},
        {"grey, clear", 200, 200, 200, 0, false, true},
    };
    for (const Row& row : rows) {
        // A smooth ramp of the row's colour, odd-sized so the colour cells
        // at the right and bottom edges cover one pixel.
        similar::ReducedPicture floats;
        floats.width = 33;
        floats.height = 21;
        floats.samples.resize(std::size_t(floats.width) * floats.height * 4);
        for (std::uint32_t y = 0; y < floats.height; ++y) {
            for (std::uint32_t x = 0; x < floats.width; ++x) {
                float* p = floats.samples.data() + (std::size_t(y) * floats.width + x) * 4;
                const float ramp = 0.8F + 0.4F * float(x + y) / float(floats.width + floats.height);
                p[0] = std::min(255.0F, row.red * ramp);
                p[1] = std::min(255.0F, row.green * ramp);
                p[2] = std::min(255.0F, row.blue * ramp);
                p[3] = row.alpha;
            }
        }
        const similar::ProofPicture proof = similar::eightBitProof(floats);
        EXPECT_EQ(proof.channels, row.chroma ? 3 : 1) << row.name;
        EXPECT_EQ(!proof.alpha.empty(), row.alphaPlane) << row.name;
        const std::uint64_t pixels = std::uint64_t(floats.width) * floats.height;
        EXPECT_EQ(proof.bytes(),
            pixels * ((row.chroma ? 3 : 1) + (row.alphaPlane ? 1 : 0)) + sizeof proof)
            << row.name;
        const similar::ReducedPicture back = similar::floatsOf(proof);
        ASSERT_EQ(back.samples.size(), floats.samples.size());
        float worst = 0;
        for (std::size_t i = 0; i < back.samples.size(); ++i)
            worst = std::max(worst, std::abs(back.samples[i] - floats.samples[i]));
        EXPECT_LE(worst, 0.5F) << row.name; // rounded once
    }
}

} // namespace
