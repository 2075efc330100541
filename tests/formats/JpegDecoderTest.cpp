// The whole-folder search reads JPEG with libjpeg directly; the window shows
// JPEG through Qt's reader. For RGB and grey JPEGs both must give the same
// pixels, or a JPEG and its PNG would group in one and not the other. Each
// row is a cjpeg encoding of the same picture.

#include "FormatFiles.h"

#include "decoding/JpegDecoder.h"
#include "finder/PictureReader.h"
#include "finder/PixelFingerprint.h"

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
    const QString jpeg
        = encodeJpeg(dir, QStringLiteral("photo"), 67, 43, 5, GetParam().cjpegOptions);
    ASSERT_FALSE(jpeg.isEmpty());

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
    const QString evenJpeg
        = encodeJpeg(dir, QStringLiteral("even"), 64, 48, 5, GetParam().cjpegOptions);
    ASSERT_FALSE(evenJpeg.isEmpty());
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

// The search hashes a JPEG's rows as libjpeg writes them; each row must be
// the decode's, in either order a sink asks for, and the fingerprint the
// one the decoded picture has (the cache holds fingerprints of both ways).
class RowCollector : public decoding::RowSink {
public:
    explicit RowCollector(decoding::RowOrder order)
        : m_order(order)
    {
    }
    bool begin(std::uint32_t width, std::uint32_t height) override
    {
        m_width = width;
        rgba.assign(std::size_t(width) * height * 4, 0xFF);
        m_row.resize(std::size_t(width) * 3);
        return true;
    }
    decoding::RowOrder order() const override { return m_order; }
    std::uint8_t* row(std::uint32_t) override { return m_row.data(); }
    bool rowDone(std::uint32_t y) override
    {
        const bool bgr = m_order == decoding::RowOrder::Bgr;
        for (std::uint32_t x = 0; x < m_width; ++x) {
            std::uint8_t* out = rgba.data() + (std::size_t(y) * m_width + x) * 4;
            out[0] = m_row[3 * x + (bgr ? 2 : 0)];
            out[1] = m_row[3 * x + 1];
            out[2] = m_row[3 * x + (bgr ? 0 : 2)];
        }
        return true;
    }
    std::vector<std::uint8_t> rgba;

private:
    decoding::RowOrder m_order;
    std::uint32_t m_width = 0;
    std::vector<std::uint8_t> m_row;
};

TEST_P(JpegAsQtReadsIt, StreamedRowsAndTheirFingerprintAreTheDecodes)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString jpeg
        = encodeJpeg(dir, QStringLiteral("photo"), 67, 43, 5, GetParam().cjpegOptions);
    ASSERT_FALSE(jpeg.isEmpty());
    const QByteArray bytes = readBytes(jpeg);
    const decoding::DecodeOutcome decoded = decoding::jpeg::decode(bytesOf(bytes));
    ASSERT_EQ(decoded.status, decoding::DecodeStatus::Ok) << decoded.reason;

    for (const decoding::RowOrder order : {decoding::RowOrder::Rgb, decoding::RowOrder::Bgr}) {
        SCOPED_TRACE(order == decoding::RowOrder::Rgb ? "R, G, B rows" : "B, G, R rows");
        RowCollector rows(order);
        std::string reason;
        ASSERT_EQ(decoding::jpeg::streamRows(bytesOf(bytes), rows, &reason),
            decoding::StreamResult::Streamed)
            << reason;
        EXPECT_TRUE(rows.rgba == decoded.picture.frames.front());
    }
    const finder::PictureFingerprint streamed
        = finder::fingerprintPicture(bytesOf(bytes), decoding::PictureType::Jpeg);
    ASSERT_TRUE(streamed.ok) << streamed.reason;
    EXPECT_EQ(streamed.fingerprint, finder::fingerprintOf(decoded.picture));
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
    const QString jpeg = encodeJpeg(dir, QStringLiteral("photo"), 64, 48, 6, {});
    ASSERT_FALSE(jpeg.isEmpty());
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
        RowCollector rows(decoding::RowOrder::Rgb);
        EXPECT_EQ(decoding::jpeg::streamRows(bytesOf(bytes), rows, nullptr),
            decoding::StreamResult::Failed);
        EXPECT_FALSE(finder::fingerprintPicture(bytesOf(bytes), decoding::PictureType::Jpeg).ok);
    }
}

// Through the streamed fingerprint, the same pixels meet whatever else the
// file holds, and a picture one sample away never does.
TEST(JpegDecoder, StreamedFingerprintsMeetOnlyOnEqualPixels)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto encode = [&](const QString& name, const QImage& image, QStringList options) {
        const QString source = QDir(dir.path()).filePath(name + QStringLiteral(".ppm"));
        EXPECT_TRUE(image.convertToFormat(QImage::Format_RGB888).save(source));
        const QString jpeg = QDir(dir.path()).filePath(name + QStringLiteral(".jpg"));
        EXPECT_EQ(run(QStringLiteral("cjpeg"),
                      options + QStringList{QStringLiteral("-outfile"), jpeg, source}),
            QString());
        return readBytes(jpeg);
    };
    const auto printOf = [](const QByteArray& bytes) {
        const finder::PictureFingerprint print
            = finder::fingerprintPicture(bytesOf(bytes), decoding::PictureType::Jpeg);
        EXPECT_TRUE(print.ok) << print.reason;
        return print.fingerprint;
    };
    const QImage photo = photoLike(64, 48, 9, false);
    QImage blockChanged = photo.convertToFormat(QImage::Format_RGB32);
    // A flat 8 x 8 block, so that the change survives the encoding.
    for (int y = 16; y < 24; ++y) {
        for (int x = 16; x < 24; ++x)
            blockChanged.setPixel(x, y, qRgb(0, 0, 0));
    }
    const QImage transposed = photo.transformed(QTransform(0, 1, 1, 0, 0, 0));
    const QByteArray original = encode(QStringLiteral("original"), photo, {});
    // A comment segment right after the start marker: other bytes, the same pixels.
    const QByteArray commented = original.left(2)
        + QByteArray("\xff\xfe\x00\x08"
                     "a note",
            10)
        + original.mid(2);
    const struct {
        const char* name;
        QByteArray file;
        bool same;
    } rows[] = {
        {"same pixels, a comment added", commented, true},
        {"same pixels, restart markers",
            encode(QStringLiteral("restart"), photo,
                {QStringLiteral("-restart"), QStringLiteral("1")}),
            true},
        {"a block changed", encode(QStringLiteral("block"), blockChanged, {}), false},
        {"another quality",
            encode(QStringLiteral("quality"), photo,
                {QStringLiteral("-quality"), QStringLiteral("74")}),
            false},
        {"rows and columns swapped", encode(QStringLiteral("transposed"), transposed, {}), false},
    };
    const finder::PixelFingerprint originalPrint = printOf(original);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_NE(row.file, original);
        EXPECT_EQ(printOf(row.file) == originalPrint, row.same);
    }
}

} // namespace
