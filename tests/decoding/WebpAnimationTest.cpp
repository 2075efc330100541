// Animated WebP files made by the test with ImageMagick, cwebp and webpmux,
// composed by Corvane on its one canvas: every frame must equal, sample for
// sample, what libwebp's own animation decoder gives (the pixels a viewer
// shows), whatever the frames' offsets, blending and disposal.

#include "decoding/WebpDecoder.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <webp/demux.h>

#include <cstring>
#include <vector>

namespace {

using namespace decoding;

bool run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

struct FramePlan {
    const char* size;
    const char* picture; // ImageMagick's source, e.g. "gradient:red-rgba(0,0,255,0.3)"
    int x;
    int y;
    bool disposeToBackground;
    bool blend;
    bool lossy = false;
};

struct AnimationCase {
    const char* name;
    std::vector<FramePlan> frames;
};

// libwebp's own composition of every frame.
std::vector<std::vector<std::uint8_t>> libwebpFrames(
    const QByteArray& file, std::uint32_t* width, std::uint32_t* height)
{
    std::vector<std::vector<std::uint8_t>> frames;
    WebPAnimDecoderOptions options;
    WebPAnimDecoderOptionsInit(&options);
    options.color_mode = MODE_RGBA;
    const WebPData data{
        reinterpret_cast<const std::uint8_t*>(file.constData()), std::size_t(file.size())};
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
    if (!decoder)
        return frames;
    WebPAnimInfo info;
    WebPAnimDecoderGetInfo(decoder, &info);
    *width = info.canvas_width;
    *height = info.canvas_height;
    while (WebPAnimDecoderHasMoreFrames(decoder)) {
        std::uint8_t* canvas = nullptr;
        int timestamp = 0;
        if (!WebPAnimDecoderGetNext(decoder, &canvas, &timestamp))
            break;
        frames.emplace_back(canvas, canvas + std::size_t(*width) * *height * 4);
    }
    WebPAnimDecoderDelete(decoder);
    return frames;
}

class WebpAnimations : public ::testing::TestWithParam<AnimationCase> { };

TEST_P(WebpAnimations, EqualLibwebpsOwnComposition)
{
    QTemporaryDir dir;
    QStringList mux;
    int index = 0;
    for (const FramePlan& frame : GetParam().frames) {
        const QString png = dir.filePath(QStringLiteral("frame%1.png").arg(index));
        const QString webp = dir.filePath(QStringLiteral("frame%1.webp").arg(index));
        ++index;
        ASSERT_TRUE(run(QStringLiteral("convert"),
            {QStringLiteral("-size"), QString::fromLatin1(frame.size),
                QString::fromLatin1(frame.picture), QStringLiteral("png32:") + png}));
        QStringList encode{QStringLiteral("-quiet"), QStringLiteral("-exact")};
        encode << (frame.lossy ? QStringList{QStringLiteral("-q"), QStringLiteral("70")}
                               : QStringList{QStringLiteral("-lossless")});
        ASSERT_TRUE(
            run(QStringLiteral("cwebp"), encode + QStringList{png, QStringLiteral("-o"), webp}));
        mux << QStringLiteral("-frame") << webp
            << QStringLiteral("+100+%1+%2+%3%4")
                   .arg(frame.x)
                   .arg(frame.y)
                   .arg(frame.disposeToBackground ? 1 : 0)
                   .arg(frame.blend ? QLatin1String("+b") : QLatin1String("-b"));
    }
    const QString animation = dir.filePath(QStringLiteral("animation.webp"));
    ASSERT_TRUE(run(QStringLiteral("webpmux"), mux + QStringList{QStringLiteral("-o"), animation}));
    QFile file(animation);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();

    std::uint32_t width = 0;
    std::uint32_t height = 0;
    const auto expected = libwebpFrames(bytes, &width, &height);
    ASSERT_EQ(expected.size(), GetParam().frames.size());
    const DecodeOutcome outcome = decodeWebp(
        {reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())});
    ASSERT_EQ(outcome.status, DecodeStatus::Ok) << outcome.reason;
    ASSERT_EQ(outcome.picture.width, width);
    ASSERT_EQ(outcome.picture.height, height);
    ASSERT_EQ(outcome.picture.frames.size(), expected.size());
    for (std::size_t n = 0; n < expected.size(); ++n) {
        const auto& frame = outcome.picture.frames[n];
        for (std::size_t i = 0; i < frame.size(); i += 4) {
            if (std::memcmp(frame.data() + i, expected[n].data() + i, 4) == 0)
                continue;
            ADD_FAILURE() << "frame " << n << ", pixel " << i / 4 % width << "," << i / 4 / width
                          << ": " << int(frame[i]) << "," << int(frame[i + 1]) << ","
                          << int(frame[i + 2]) << "," << int(frame[i + 3]) << " against "
                          << int(expected[n][i]) << "," << int(expected[n][i + 1]) << ","
                          << int(expected[n][i + 2]) << "," << int(expected[n][i + 3]);
            break;
        }
    }
}

const char* const kOpaque = "gradient:rgb(250,20,10)-rgb(10,40,230)";
const char* const kHalfSeen = "gradient:rgba(255,200,0,0.8)-rgba(0,90,255,0.15)";
const char* const kFaint = "gradient:rgba(20,255,60,0.02)-rgba(200,0,200,0.6)";
// Fully transparent pixels that still carry a colour (kept by cwebp -exact).
const char* const kInvisible = "xc:rgba(30,200,90,0)";

INSTANTIATE_TEST_SUITE_P(Compositions, WebpAnimations,
    ::testing::Values(
        AnimationCase{"BlendOverOpaque",
            {{"64x48", kOpaque, 0, 0, false, false}, {"32x24", kHalfSeen, 8, 8, false, true}}},
        AnimationCase{"BlendOverBlend",
            {{"64x48", kHalfSeen, 0, 0, false, false}, {"40x30", kFaint, 10, 6, false, true},
                {"20x20", kHalfSeen, 30, 20, false, true}}},
        AnimationCase{"WithoutBlending",
            {{"64x48", kOpaque, 0, 0, false, false}, {"32x24", kHalfSeen, 16, 10, false, false}}},
        AnimationCase{"OverlapsAFrameClearedToTheBackground",
            {{"64x48", kOpaque, 0, 0, false, false}, {"32x24", kHalfSeen, 0, 0, true, true},
                {"32x24", kFaint, 16, 12, false, true}}},
        AnimationCase{"AfterAWholeCanvasCleared",
            {{"64x48", kOpaque, 0, 0, true, false}, {"32x24", kHalfSeen, 8, 8, false, true},
                {"64x48", kFaint, 0, 0, false, true}}},
        AnimationCase{"InvisibleColoursInAKeyFrame",
            {{"64x48", kInvisible, 0, 0, false, false}, {"32x24", kInvisible, 8, 8, false, true},
                {"32x24", kHalfSeen, 20, 20, true, true},
                {"64x48", kInvisible, 0, 0, false, true}}},
        AnimationCase{"LossyFramesWithAlpha",
            {{"64x48", kHalfSeen, 0, 0, false, false, true},
                {"48x36", kFaint, 6, 4, false, true, true}}}),
    [](const ::testing::TestParamInfo<AnimationCase>& info) {
        return std::string(info.param.name);
    });

} // namespace
