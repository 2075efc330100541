// The WebP decoder against dwebp (stills) and against webpmux's frames
// composed by the test (animations), on files cwebp, img2webp and gif2webp
// make here; and its answers to cut, corrupt and enormous files.

#include "FormatFiles.h"

#include "decoding/AnimationBudget.h"
#include "decoding/WebpDecoder.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace FormatFiles;
using decoding::DecodeStatus;

namespace {

struct StillCase {
    const char* name;
    int width;
    int height;
    bool alpha;
    QStringList cwebpOptions;
    bool lossless; // the decode must equal the source pixels too
};

void PrintTo(const StillCase& row, std::ostream* os)
{
    *os << row.name;
}

class WebpStill : public ::testing::TestWithParam<StillCase> { };

TEST_P(WebpStill, DecodesLikeDwebp)
{
    const StillCase& row = GetParam();
    QTemporaryDir scratch;
    const QString png = scratch.filePath(QStringLiteral("source.png"));
    const QString webp = scratch.filePath(QStringLiteral("picture.webp"));
    const QImage source = photoLike(row.width, row.height, 3, row.alpha);
    ASSERT_TRUE(source.save(png));
    ASSERT_EQ(run(QStringLiteral("cwebp"),
                  QStringList{QStringLiteral("-quiet")} + row.cwebpOptions
                      + QStringList{png, QStringLiteral("-o"), webp}),
        QString());

    QString error;
    const decoding::DecodedPicture reference = dwebp(webp, &error);
    ASSERT_EQ(error, QString());
    const QByteArray bytes = readBytes(webp);
    const decoding::DecodeOutcome outcome = decoding::decodeWebp(bytesOf(bytes));
    ASSERT_EQ(outcome.status, DecodeStatus::Ok) << outcome.reason;
    EXPECT_EQ(firstDifference(reference, outcome.picture), "");
    if (row.lossless) {
        EXPECT_EQ(firstDifference(fromImage(source), outcome.picture), "");
    }

    const decoding::PictureHeader header = decoding::readWebpHeader(bytesOf(bytes));
    EXPECT_TRUE(header.ok);
    EXPECT_EQ(header.type, decoding::PictureType::WebP);
    EXPECT_EQ(header.width, std::uint32_t(row.width));
    EXPECT_EQ(header.height, std::uint32_t(row.height));
    EXPECT_EQ(header.frames, 1u);
}

INSTANTIATE_TEST_SUITE_P(Rows, WebpStill,
    ::testing::Values(
        StillCase{"lossy", 61, 47, false, {QStringLiteral("-q"), QStringLiteral("75")}, false},
        // Coarse quantisation: the decoder's upsampling and filters show most.
        StillCase{"lossyCoarse", 64, 48, false, {QStringLiteral("-q"), QStringLiteral("3")}, false},
        StillCase{"lossyAlpha", 61, 47, true, {QStringLiteral("-q"), QStringLiteral("75")}, false},
        StillCase{"lossyAlphaQuantised", 40, 30, true,
            {QStringLiteral("-alpha_q"), QStringLiteral("30"), QStringLiteral("-alpha_filter"),
                QStringLiteral("best")},
            false},
        StillCase{"lossless", 61, 47, false,
            {QStringLiteral("-lossless"), QStringLiteral("-exact")}, true},
        StillCase{"losslessAlpha", 61, 47, true,
            {QStringLiteral("-lossless"), QStringLiteral("-exact")}, true},
        StillCase{"onePixel", 1, 1, false, {QStringLiteral("-lossless")}, true}),
    [](const auto& info) { return std::string(info.param.name); });

// Frames for an animation: a picture, the same with a small patch changed
// (encoders write only the changed rectangle), and a different picture.
QStringList writeFrames(const QTemporaryDir& scratch)
{
    QStringList paths;
    QImage first = photoLike(48, 40, 1, false);
    QImage patched = first;
    for (int y = 10; y < 18; ++y)
        for (int x = 20; x < 31; ++x)
            patched.setPixelColor(x, y, QColor(250, 20, 20));
    const QImage last = photoLike(48, 40, 9, false);
    int i = 0;
    for (const QImage& image : {first, patched, last, first}) {
        paths << scratch.filePath(QStringLiteral("frame%1.png").arg(i++));
        image.save(paths.back());
    }
    return paths;
}

struct AnimationCase {
    const char* name;
    QStringList img2webpOptions; // empty: a GIF through gif2webp instead
    bool lossless;
};

void PrintTo(const AnimationCase& row, std::ostream* os)
{
    *os << row.name;
}

class WebpAnimation : public ::testing::TestWithParam<AnimationCase> { };

TEST_P(WebpAnimation, EveryFrameComposedLikeTheFramesThemselves)
{
    const AnimationCase& row = GetParam();
    QTemporaryDir scratch;
    const QStringList frames = writeFrames(scratch);
    const QString webp = scratch.filePath(QStringLiteral("animation.webp"));
    if (row.img2webpOptions.isEmpty()) {
        // Transparent holes and frames disposed to the background.
        const QString gif = scratch.filePath(QStringLiteral("animation.gif"));
        ASSERT_EQ(
            run(QStringLiteral("convert"),
                {QStringLiteral("-dispose"), QStringLiteral("Background"), QStringLiteral("-size"),
                    QStringLiteral("30x20"), QStringLiteral("xc:none"), QStringLiteral("-size"),
                    QStringLiteral("12x8"), QStringLiteral("xc:blue"), QStringLiteral("-geometry"),
                    QStringLiteral("+3+4"), QStringLiteral("-compose"), QStringLiteral("over"),
                    QStringLiteral("-composite"), QStringLiteral("("), QStringLiteral("-size"),
                    QStringLiteral("30x20"), QStringLiteral("xc:none"), QStringLiteral("-size"),
                    QStringLiteral("9x9"), QStringLiteral("xc:yellow"), QStringLiteral("-geometry"),
                    QStringLiteral("+17+9"), QStringLiteral("-composite"), QStringLiteral(")"),
                    QStringLiteral("-size"), QStringLiteral("30x20"), QStringLiteral("xc:green"),
                    gif}),
            QString());
        ASSERT_EQ(run(QStringLiteral("gif2webp"),
                      {QStringLiteral("-quiet"), gif, QStringLiteral("-o"), webp}),
            QString());
    } else {
        ASSERT_EQ(run(QStringLiteral("img2webp"),
                      row.img2webpOptions + frames + QStringList{QStringLiteral("-o"), webp}),
            QString());
    }

    QString error;
    const decoding::DecodedPicture reference = composeAnimation(webp, &error);
    ASSERT_EQ(error, QString());
    ASSERT_GE(reference.frames.size(), 3u);
    const QByteArray bytes = readBytes(webp);
    const decoding::DecodeOutcome outcome = decoding::decodeWebp(bytesOf(bytes));
    ASSERT_EQ(outcome.status, DecodeStatus::Ok) << outcome.reason;
    EXPECT_EQ(firstDifference(reference, outcome.picture), "");
    if (row.lossless) {
        ASSERT_EQ(outcome.picture.frames.size(), std::size_t(frames.size()));
        for (int i = 0; i < frames.size(); ++i) {
            decoding::DecodedPicture one = outcome.picture;
            one.frames = {outcome.picture.frames[std::size_t(i)]};
            EXPECT_EQ(firstDifference(readWithQt(frames[i]), one), "") << "frame " << i;
        }
    }

    const decoding::PictureHeader header = decoding::readWebpHeader(bytesOf(bytes));
    EXPECT_TRUE(header.ok);
    EXPECT_EQ(header.width, reference.width);
    EXPECT_EQ(header.height, reference.height);
    EXPECT_EQ(header.frames, std::uint32_t(reference.frames.size()));
}

INSTANTIATE_TEST_SUITE_P(Rows, WebpAnimation,
    ::testing::Values(AnimationCase{"lossless", {QStringLiteral("-lossless")}, true},
        AnimationCase{"lossy", {QStringLiteral("-lossy")}, false},
        AnimationCase{"mixed", {QStringLiteral("-mixed")}, false},
        AnimationCase{"allKeyFrames",
            {QStringLiteral("-kmax"), QStringLiteral("0"), QStringLiteral("-lossless")}, true},
        AnimationCase{"gifWithHolesAndDisposal", {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A RIFF chunk with its padding byte.
QByteArray chunk(const char* fourcc, const QByteArray& payload)
{
    QByteArray out(fourcc, 4);
    const quint32 size = quint32(payload.size());
    out.append(char(size & 0xFF)).append(char(size >> 8 & 0xFF));
    out.append(char(size >> 16 & 0xFF)).append(char(size >> 24));
    out += payload;
    if (payload.size() % 2)
        out.append('\0');
    return out;
}

QByteArray little24(std::uint32_t value)
{
    QByteArray out;
    out.append(char(value & 0xFF)).append(char(value >> 8 & 0xFF)).append(char(value >> 16));
    return out;
}

QByteArray riff(const QByteArray& chunks)
{
    QByteArray body = QByteArrayLiteral("WEBP") + chunks;
    QByteArray out = chunk("RIFF", body);
    return out;
}

// An animation whose canvas and frame count are whatever the row claims,
// each frame the same 1 x 1 lossless picture.
QByteArray claimedAnimation(const QByteArray& onePixelChunk, std::uint32_t canvasWidth,
    std::uint32_t canvasHeight, int frames)
{
    QByteArray vp8x(1, char(0x02)); // animation
    vp8x += QByteArray(3, '\0') + little24(canvasWidth - 1) + little24(canvasHeight - 1);
    QByteArray body = chunk("VP8X", vp8x) + chunk("ANIM", QByteArray(6, '\0'));
    QByteArray frame = little24(0) + little24(0) + little24(0) + little24(0) + little24(100);
    frame.append('\0');
    const QByteArray anmf = chunk("ANMF", frame + onePixelChunk);
    for (int i = 0; i < frames; ++i)
        body += anmf;
    return riff(body);
}

struct BadCase {
    const char* name;
    DecodeStatus expected;
};

void PrintTo(const BadCase& row, std::ostream* os)
{
    *os << row.name;
}

class WebpBadInput : public ::testing::TestWithParam<BadCase> {
protected:
    // Real files to cut and a one-pixel frame to build claims around.
    static void SetUpTestSuite()
    {
        s_scratch = new QTemporaryDir;
        const QString png = s_scratch->filePath(QStringLiteral("p.png"));
        photoLike(64, 48, 5, true).save(png);
        auto encode = [&](const QStringList& options, const QString& name) {
            const QString out = s_scratch->filePath(name);
            run(QStringLiteral("cwebp"),
                QStringList{QStringLiteral("-quiet")} + options + QStringList{png, "-o", out});
            return readBytes(out);
        };
        s_lossy = encode({QStringLiteral("-q"), QStringLiteral("80")}, QStringLiteral("a.webp"));
        s_lossless = encode({QStringLiteral("-lossless")}, QStringLiteral("b.webp"));
        const QString pixel = s_scratch->filePath(QStringLiteral("pixel.png"));
        photoLike(1, 1, 1, false).save(pixel);
        const QString pixelWebp = s_scratch->filePath(QStringLiteral("pixel.webp"));
        run(QStringLiteral("cwebp"),
            {QStringLiteral("-quiet"), QStringLiteral("-lossless"), pixel, QStringLiteral("-o"),
                pixelWebp});
        s_pixelChunk = readBytes(pixelWebp).mid(12);
        const QStringList frames = writeFrames(*s_scratch);
        const QString anim = s_scratch->filePath(QStringLiteral("anim.webp"));
        run(QStringLiteral("img2webp"), frames + QStringList{QStringLiteral("-o"), anim});
        s_animation = readBytes(anim);
    }
    static void TearDownTestSuite() { delete s_scratch; }

    static QByteArray bytesFor(const std::string& name)
    {
        if (name == "empty")
            return {};
        if (name == "riffHeaderOnly")
            return s_lossy.left(12);
        if (name == "lossyCutInHalf")
            return s_lossy.left(s_lossy.size() / 2);
        if (name == "losslessCutInHalf")
            return s_lossless.left(s_lossless.size() / 2);
        if (name == "animationCutInLastFrame")
            return s_animation.left(s_animation.size() - 40);
        if (name == "animationCutAfterHeader")
            return s_animation.left(40);
        if (name == "losslessBitstreamScrambled") {
            QByteArray bytes = s_lossless;
            for (qsizetype i = 30; i < bytes.size(); i += 3)
                bytes[i] = char(bytes[i] ^ 0x5A);
            return bytes;
        }
        if (name == "losslessClaims16384Square") {
            // VP8L: signature, then 14 bits of width - 1 and of height - 1.
            const std::uint32_t bits = 16383u | 16383u << 14;
            QByteArray header(1, char(0x2F));
            for (int i = 0; i < 4; ++i)
                header.append(char(bits >> (8 * i) & 0xFF));
            return riff(chunk("VP8L", header + QByteArray(64, '\0')));
        }
        if (name == "animationCanvas60000Square")
            return claimedAnimation(s_pixelChunk, 60000, 60000, 1);
        if (name == "animationOverPixelBudget")
            return claimedAnimation(s_pixelChunk, 2000, 2000, 40);
        if (name == "animationOverFrameLimit")
            return claimedAnimation(s_pixelChunk, 1, 1, int(decoding::kFrameLimit) + 1);
        if (name == "animationWithinBudget")
            return claimedAnimation(s_pixelChunk, 2000, 2000, 3);
        return {};
    }

    static inline QTemporaryDir* s_scratch = nullptr;
    static inline QByteArray s_lossy;
    static inline QByteArray s_lossless;
    static inline QByteArray s_pixelChunk;
    static inline QByteArray s_animation;
};

TEST_P(WebpBadInput, ClearOutcomeWithoutCrash)
{
    const BadCase& row = GetParam();
    const QByteArray bytes = bytesFor(row.name);
    const decoding::DecodeOutcome outcome = decoding::decodeWebp(bytesOf(bytes));
    EXPECT_EQ(outcome.status, row.expected) << outcome.reason;
    if (outcome.status == DecodeStatus::Ok) {
        EXPECT_FALSE(outcome.picture.frames.empty());
    } else {
        EXPECT_FALSE(outcome.reason.empty());
        EXPECT_TRUE(outcome.picture.frames.empty());
    }
    decoding::readWebpHeader(bytesOf(bytes)); // must not crash either
}

INSTANTIATE_TEST_SUITE_P(Rows, WebpBadInput,
    ::testing::Values(BadCase{"empty", DecodeStatus::Unreadable},
        BadCase{"riffHeaderOnly", DecodeStatus::Unreadable},
        BadCase{"lossyCutInHalf", DecodeStatus::Unreadable},
        BadCase{"losslessCutInHalf", DecodeStatus::Unreadable},
        BadCase{"animationCutInLastFrame", DecodeStatus::Unreadable},
        BadCase{"animationCutAfterHeader", DecodeStatus::Unreadable},
        BadCase{"losslessBitstreamScrambled", DecodeStatus::Unreadable},
        BadCase{"losslessClaims16384Square", DecodeStatus::TooLarge},
        BadCase{"animationCanvas60000Square", DecodeStatus::TooLarge},
        BadCase{"animationOverPixelBudget", DecodeStatus::TooLarge},
        BadCase{"animationOverFrameLimit", DecodeStatus::TooLarge},
        // The claims above are refused for their size, not their form.
        BadCase{"animationWithinBudget", DecodeStatus::Ok}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WebpAnimationFirstFrame, AloneWhenAskedAndOverTheFrameLimitToo)
{
    QTemporaryDir scratch;
    const QStringList frames = writeFrames(scratch);
    const QString webp = scratch.filePath(QStringLiteral("a.webp"));
    ASSERT_EQ(run(QStringLiteral("img2webp"), frames + QStringList{QStringLiteral("-o"), webp}),
        QString());
    const QByteArray bytes = readBytes(webp);
    decoding::DecodeOptions firstOnly;
    firstOnly.firstFrameOnly = true;
    const decoding::DecodeOutcome all = decoding::decodeWebp(bytesOf(bytes));
    const decoding::DecodeOutcome first = decoding::decodeWebp(bytesOf(bytes), firstOnly);
    ASSERT_EQ(all.status, DecodeStatus::Ok) << all.reason;
    ASSERT_EQ(first.status, DecodeStatus::Ok) << first.reason;
    ASSERT_EQ(first.picture.frames.size(), 1u);
    EXPECT_EQ(first.picture.frames[0], all.picture.frames[0]);
}

TEST(WebpHeader, CutAnimationHasAnUnknownFrameCount)
{
    QTemporaryDir scratch;
    const QStringList frames = writeFrames(scratch);
    const QString webp = scratch.filePath(QStringLiteral("a.webp"));
    ASSERT_EQ(run(QStringLiteral("img2webp"), frames + QStringList{QStringLiteral("-o"), webp}),
        QString());
    const QByteArray bytes = readBytes(webp);
    const decoding::PictureHeader whole = decoding::readWebpHeader(bytesOf(bytes));
    EXPECT_EQ(whole.frames, 4u);
    const decoding::PictureHeader cut = decoding::readWebpHeader(bytesOf(bytes.left(200)));
    EXPECT_TRUE(cut.ok);
    EXPECT_EQ(cut.width, 48u);
    EXPECT_EQ(cut.frames, 0u);
}

} // namespace
