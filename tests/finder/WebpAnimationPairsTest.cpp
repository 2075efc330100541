// Animated WebPs through the search's fingerprint, which hashes each frame as
// it is composed: re-encoded copies of one animation group, and animations
// that differ in one pixel, one offset, one disposal or in the order of their
// frames stay apart. Made by the test with ImageMagick, cwebp and webpmux.
#include "TestCollection.h"
#include "finder/PictureReader.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

namespace {

using decoding::PictureType;

struct Frame {
    const char* picture; // ImageMagick source and drawing, blank-separated
    int x = 0;
    int y = 0;
    bool disposeToBackground = false;
    bool blend = true;
    int duration = 100;
};

const char* const kBase = "-size 48x32 gradient:rgb(250,20,10)-rgb(10,40,230)";
const char* const kOverlay = "-size 24x16 gradient:rgba(255,200,0,0.8)-rgba(0,90,255,0.2)";
const char* const kOverlayOnePixel
    = "-size 24x16 gradient:rgba(255,200,0,0.8)-rgba(0,90,255,0.2) -fill rgba(1,2,3,0.5) "
      "-draw point_5,5";
const char* const kOpaqueOverlay = "-size 24x16 gradient:rgb(255,200,0)-rgb(0,90,255)";
const char* const kNearlyOpaqueOverlay
    = "-size 24x16 gradient:rgb(255,200,0)-rgb(0,90,255) -alpha on -channel A "
      "-fx i==23&&j==15?254/255:u +channel";

class WebpAnimationPairs : public ::testing::Test {
public:
    finder::PixelFingerprint fingerprint(const std::vector<Frame>& frames)
    {
        QStringList mux;
        for (const Frame& frame : frames) {
            const QString png = m_dir.filePath(QStringLiteral("f%1.png").arg(m_files));
            const QString webp = m_dir.filePath(QStringLiteral("f%1.webp").arg(m_files++));
            QStringList draw = QString::fromLatin1(frame.picture).split(QLatin1Char(' '));
            for (QString& part : draw)
                part.replace(QLatin1Char('_'), QLatin1Char(' '));
            EXPECT_TRUE(testcollection::run(
                QStringLiteral("convert"), draw + QStringList{QStringLiteral("png32:") + png}));
            EXPECT_TRUE(testcollection::run(QStringLiteral("cwebp"),
                {QStringLiteral("-quiet"), QStringLiteral("-exact"), QStringLiteral("-lossless"),
                    png, QStringLiteral("-o"), webp}));
            mux << QStringLiteral("-frame") << webp
                << QStringLiteral("+%1+%2+%3+%4%5")
                       .arg(frame.duration)
                       .arg(frame.x)
                       .arg(frame.y)
                       .arg(frame.disposeToBackground ? 1 : 0)
                       .arg(frame.blend ? QLatin1String("+b") : QLatin1String("-b"));
        }
        const QString animation = m_dir.filePath(QStringLiteral("a%1.webp").arg(m_files++));
        EXPECT_TRUE(testcollection::run(
            QStringLiteral("webpmux"), mux + QStringList{QStringLiteral("-o"), animation}));
        QFile file(animation);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const decoding::Bytes view(
            reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
        const finder::PictureFingerprint streamed
            = finder::fingerprintPicture(view, PictureType::WebP);
        EXPECT_TRUE(streamed.ok) << streamed.reason;
        // The same digest as the pixels decoded whole.
        const decoding::DecodeOutcome whole = finder::decodePicture(view, PictureType::WebP);
        EXPECT_EQ(whole.status, decoding::DecodeStatus::Ok) << whole.reason;
        if (whole.status == decoding::DecodeStatus::Ok) {
            EXPECT_EQ(streamed.fingerprint, finder::fingerprintOf(whole.picture));
        }
        return streamed.fingerprint;
    }

    QTemporaryDir m_dir;
    int m_files = 0;
};

struct Variant {
    const char* name;
    std::vector<Frame> frames;
};

TEST_F(WebpAnimationPairs, CopiesGroupAndNearMissesStayApart)
{
    const std::vector<Frame> original{{kBase, 0, 0, false, false}, {kOverlay, 8, 6}};
    const finder::PixelFingerprint reference = fingerprint(original);

    const Variant copies[] = {
        {"OtherDurations", {{kBase, 0, 0, false, false, 40}, {kOverlay, 8, 6, false, true, 700}}},
        {"FirstFrameBlendedOntoNothing", {{kBase, 0, 0, false, true}, {kOverlay, 8, 6}}},
    };
    for (const Variant& copy : copies)
        EXPECT_EQ(fingerprint(copy.frames), reference) << copy.name;

    const Variant nearMisses[] = {
        {"OnePixelOfTheOverlay", {{kBase, 0, 0, false, false}, {kOverlayOnePixel, 8, 6}}},
        {"OverlayTwoPixelsLeft", {{kBase, 0, 0, false, false}, {kOverlay, 6, 6}}},
        {"OverlayNotBlended", {{kBase, 0, 0, false, false}, {kOverlay, 8, 6, false, false}}},
        {"FirstFrameClearedAfterwards", {{kBase, 0, 0, true, false}, {kOverlay, 8, 6}}},
        {"FramesInTheOtherOrder", {{kOverlay, 8, 6}, {kBase, 0, 0, false, false}}},
        {"OneFrameMore", {{kBase, 0, 0, false, false}, {kOverlay, 8, 6}, {kOverlay, 8, 6}}},
    };
    for (const Variant& miss : nearMisses)
        EXPECT_NE(fingerprint(miss.frames), reference) << miss.name;

    // Opaque animations hash their colours alone: one pixel of alpha 254
    // (drawn without blending, so that it stays) must still tell them apart.
    const finder::PixelFingerprint opaque
        = fingerprint({{kBase, 0, 0, false, false}, {kOpaqueOverlay, 8, 6, false, false}});
    EXPECT_NE(
        fingerprint({{kBase, 0, 0, false, false}, {kNearlyOpaqueOverlay, 8, 6, false, false}}),
        opaque);
}

} // namespace
