// The whole-folder search reads JPEG with libjpeg directly; the window shows
// JPEG through Qt's reader. For RGB and grey JPEGs both must give the same
// pixels, or a JPEG and its PNG would group in one and not the other. Each
// row is a cjpeg encoding of the same picture.

#include "FormatFiles.h"

#include "decoding/JpegDecoder.h"

#include <QDir>
#include <QImageReader>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>

using namespace FormatFiles;

namespace {

struct JpegCase {
    const char* name;
    QStringList cjpegOptions;
};

void PrintTo(const JpegCase& c, std::ostream* os)
{
    *os << c.name;
}

class JpegAsQtReadsIt : public ::testing::TestWithParam<JpegCase> { };

TEST_P(JpegAsQtReadsIt, EveryPixelEqual)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // An odd size, so that partial blocks and partial chroma samples show.
    const QString source = QDir(dir.path()).filePath(QStringLiteral("photo.ppm"));
    ASSERT_TRUE(photoLike(67, 43, 5, false).convertToFormat(QImage::Format_RGB888).save(source));
    const QString jpeg = QDir(dir.path()).filePath(QStringLiteral("photo.jpg"));
    ASSERT_EQ(run(QStringLiteral("cjpeg"),
                  GetParam().cjpegOptions + QStringList{QStringLiteral("-outfile"), jpeg, source}),
        QString());

    const QByteArray bytes = readBytes(jpeg);
    const decoding::DecodeOutcome ours = decoding::jpeg::decode(bytesOf(bytes));
    ASSERT_EQ(ours.status, decoding::DecodeStatus::Ok) << ours.reason;
    ASSERT_EQ(ours.picture.colourSpace, decoding::ColourSpace::Rgb);

    QImageReader reader(jpeg, "jpeg");
    reader.setAutoTransform(false);
    const QImage qt = reader.read();
    ASSERT_FALSE(qt.isNull());
    EXPECT_EQ(
        firstDifference(fromImage(qt.convertToFormat(QImage::Format_RGBA8888)), ours.picture), "");

    // The reduced decodes the same-photo signatures are made from: the
    // pixels Qt's reader gives when asked for exactly that size. Qt scales
    // inside the transform only when both sides divide evenly, as a camera's
    // do; otherwise it decodes larger and resizes, so those sizes are not
    // compared.
    const QString evenSource = QDir(dir.path()).filePath(QStringLiteral("even.ppm"));
    ASSERT_TRUE(
        photoLike(64, 48, 5, false).convertToFormat(QImage::Format_RGB888).save(evenSource));
    const QString evenJpeg = QDir(dir.path()).filePath(QStringLiteral("even.jpg"));
    ASSERT_EQ(run(QStringLiteral("cjpeg"),
                  GetParam().cjpegOptions
                      + QStringList{QStringLiteral("-outfile"), evenJpeg, evenSource}),
        QString());
    const QByteArray evenBytes = readBytes(evenJpeg);
    for (unsigned reduction : {2U, 4U, 8U}) {
        SCOPED_TRACE(reduction);
        const decoding::DecodeOutcome reduced
            = decoding::jpeg::decodeReduced(bytesOf(evenBytes), reduction);
        ASSERT_EQ(reduced.status, decoding::DecodeStatus::Ok) << reduced.reason;
        ASSERT_EQ(reduced.picture.width, 64 / reduction);
        ASSERT_EQ(reduced.picture.height, 48 / reduction);
        QImageReader scaledReader(evenJpeg, "jpeg");
        scaledReader.setAutoTransform(false);
        scaledReader.setScaledSize(QSize(int(64 / reduction), int(48 / reduction)));
        const QImage scaled = scaledReader.read();
        ASSERT_FALSE(scaled.isNull());
        EXPECT_EQ(firstDifference(
                      fromImage(scaled.convertToFormat(QImage::Format_RGBA8888)), reduced.picture),
            "");
    }
    // Partial blocks round up: 67 x 43 at an eighth is 9 x 6.
    const decoding::DecodeOutcome eighth = decoding::jpeg::decodeReduced(bytesOf(bytes), 8);
    ASSERT_EQ(eighth.status, decoding::DecodeStatus::Ok) << eighth.reason;
    EXPECT_EQ(eighth.picture.width, 9U);
    EXPECT_EQ(eighth.picture.height, 6U);
}

INSTANTIATE_TEST_SUITE_P(Cases, JpegAsQtReadsIt,
    ::testing::Values(JpegCase{"Baseline420", {"-baseline", "-sample", "2x2"}},
        JpegCase{"Progressive", {"-progressive"}}, JpegCase{"Sampling422", {"-sample", "2x1"}},
        JpegCase{"Sampling440", {"-sample", "1x2"}}, JpegCase{"Sampling444", {"-sample", "1x1"}},
        JpegCase{"Grey", {"-grayscale"}}, JpegCase{"RestartMarkers", {"-restart", "1"}},
        JpegCase{"Arithmetic", {"-arithmetic"}}, JpegCase{"OptimizedTables", {"-optimize"}},
        JpegCase{"LowQuality", {"-quality", "5"}}, JpegCase{"FloatTransform", {"-dct", "float"}}),
    [](const ::testing::TestParamInfo<JpegCase>& info) { return std::string(info.param.name); });

// A cut-off stream or one damaged mid-way is refused: libjpeg would fill
// the rest with grey and say nothing more than a warning.
TEST(JpegDecoder, DamagedStreamsAreRefusedNotFilled)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString source = QDir(dir.path()).filePath(QStringLiteral("photo.ppm"));
    ASSERT_TRUE(photoLike(64, 48, 6, false).convertToFormat(QImage::Format_RGB888).save(source));
    const QString jpeg = QDir(dir.path()).filePath(QStringLiteral("photo.jpg"));
    ASSERT_EQ(run(QStringLiteral("cjpeg"), {QStringLiteral("-outfile"), jpeg, source}), QString());
    const QByteArray whole = readBytes(jpeg);
    const std::pair<const char*, QByteArray> damaged[] = {
        {"cut in half", whole.left(whole.size() / 2)},
        {"without its last quarter but with an end marker",
            whole.left(whole.size() * 3 / 4) + QByteArray("\xff\xd9", 2)},
        {"a marker inside the data",
            [&] {
                QByteArray bytes = whole;
                // Inside the entropy-coded data, well past the tables.
                const qsizetype at = bytes.size() - 64;
                bytes[at - 1] = 0x12;
                bytes[at] = char(0xff);
                bytes[at + 1] = char(0xd0 + 5);
                return bytes;
            }()},
    };
    for (const auto& [what, bytes] : damaged) {
        SCOPED_TRACE(what);
        EXPECT_EQ(
            decoding::jpeg::decode(bytesOf(bytes)).status, decoding::DecodeStatus::Unreadable);
        // A reduced decode reads less of the transform, never less of the stream.
        EXPECT_EQ(decoding::jpeg::decodeReduced(bytesOf(bytes), 8).status,
            decoding::DecodeStatus::Unreadable);
    }
}

} // namespace
