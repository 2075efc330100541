// Cut-off JPEGs of every coding are refused whatever follows the cut (libjpeg
// decodes an arithmetic-coded scan cut before a marker without a word), two
// photos cut alike never group in a cold search or the warm one after it,
// and the whole files decode and group exactly when their pixels are equal.

#include "FalsePairFiles.h"
#include "FormatFiles.h"

#include "decoding/BmpJpegGifHeaders.h"
#include "decoding/JpegDecoder.h"
#include "finder/PictureReader.h"
#include "qtreading/QtPictureReading.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <tuple>

using namespace FormatFiles;

namespace {

struct Coding {
    const char* name;
    QStringList options;
};

const Coding kCodings[] = {
    {"Arithmetic", {QStringLiteral("-arithmetic")}},
    {"ArithmeticWithRestarts",
        {QStringLiteral("-arithmetic"), QStringLiteral("-restart"), QStringLiteral("1")}},
    {"Baseline", {QStringLiteral("-baseline")}},
    {"Progressive", {QStringLiteral("-progressive")}},
    {"ArithmeticProgressive", {QStringLiteral("-progressive"), QStringLiteral("-arithmetic")}},
};

// Bytes that are no JPEG data, a 0xFF among them.
QByteArray garbage()
{
    QByteArray bytes;
    for (int i = 0; i < 300; ++i)
        bytes.append(char((i * 37 + 11) & 0xFF));
    return bytes;
}

struct Cut {
    const char* name;
    double kept; // share of the first scan's data kept; 0: cut right after its header
    QByteArray tail;
};

const Cut kCuts[] = {
    {"AfterScanHeaderBare", 0, {}},
    {"AfterScanHeaderWithEnd", 0, QByteArray("\xff\xd9", 2)},
    {"AfterScanHeaderWithCommentAndEnd", 0, QByteArray("\xff\xfe\x00\x07hello\xff\xd9", 11)},
    {"AfterScanHeaderWithGarbage", 0, garbage()},
    {"HalfwayBare", 0.5, {}},
    {"HalfwayWithEnd", 0.5, QByteArray("\xff\xd9", 2)},
    {"HalfwayWithCommentAndEnd", 0.5, QByteArray("\xff\xfe\x00\x07hello\xff\xd9", 11)},
    {"HalfwayWithGarbage", 0.5, garbage()},
};

QByteArray cutOff(const QByteArray& whole, const Cut& cut)
{
    const decoding::JpegLayout layout
        = decoding::readJpegLayout(bytesOf(whole), decoding::JpegWalk::ToFirstScan);
    EXPECT_GT(layout.firstScanData, 0U);
    const auto data = qsizetype(layout.firstScanData);
    // Halfway between the first scan's data and the end marker (in a
    // progressive file, somewhere in its later scans).
    const qsizetype end = whole.size() - 2;
    return whole.left(data + qsizetype(double(end - data) * cut.kept)) + cut.tail;
}

// Two different photos, large enough for several rows of blocks after a
// cut. A comment of its own after the start marker, as a camera's header
// differs from photo to photo: two photos cut right after their scan header
// must not be the same bytes.
QByteArray photo(const QTemporaryDir& dir, int seed, const Coding& coding)
{
    const QString path
        = encodeJpeg(dir, QStringLiteral("photo%1").arg(seed), 160, 120, seed, coding.options);
    if (path.isEmpty())
        return {};
    const QByteArray bytes = readBytes(path);
    return bytes.left(2) + QByteArray("\xff\xfe\x00\x09photo ", 10) + char('0' + seed)
        + bytes.mid(2);
}

class RowSinkStub : public decoding::RowSink {
public:
    bool begin(std::uint32_t width, std::uint32_t) override
    {
        m_row.resize(std::size_t(width) * 3);
        return true;
    }
    std::uint8_t* row(std::uint32_t) override { return m_row.data(); }
    bool rowDone(std::uint32_t) override { return true; }

private:
    std::vector<std::uint8_t> m_row;
};

void PrintTo(const Coding& coding, std::ostream* os)
{
    *os << coding.name;
}

void PrintTo(const Cut& cut, std::ostream* os)
{
    *os << cut.name;
}

class CutJpegs : public ::testing::TestWithParam<std::tuple<Coding, Cut>> { };

TEST_P(CutJpegs, AreRefusedByEveryDecodeWhileTheWholeFilesDecode)
{
    const auto& [coding, cut] = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (int seed : {1, 2}) {
        SCOPED_TRACE(seed);
        const QByteArray whole = photo(dir, seed, coding);
        ASSERT_FALSE(whole.isEmpty());
        const decoding::DecodeOutcome decoded = decoding::jpeg::decode(bytesOf(whole));
        ASSERT_EQ(decoded.status, decoding::DecodeStatus::Ok) << decoded.reason;

        const QByteArray bytes = cutOff(whole, cut);
        const decoding::DecodeOutcome outcome = decoding::jpeg::decode(bytesOf(bytes));
        EXPECT_EQ(outcome.status, decoding::DecodeStatus::Unreadable);
        EXPECT_EQ(outcome.failureKind, decoding::FailureKind::Lasting);
        EXPECT_EQ(decoding::jpeg::decodeReduced(bytesOf(bytes), 8).status,
            decoding::DecodeStatus::Unreadable);
        RowSinkStub rows;
        EXPECT_EQ(decoding::jpeg::streamRows(bytesOf(bytes), rows, nullptr),
            decoding::StreamResult::Failed);
        EXPECT_FALSE(finder::fingerprintPicture(bytesOf(bytes), decoding::PictureType::Jpeg).ok);
        // The window's reader: Qt's, which shows a Huffman file cut halfway
        // with its last rows grey, but never a cut arithmetic one.
        const auto readByQt = [](const QByteArray& file) {
            return qtreading::readFile(bytesOf(file), decoding::PictureType::Jpeg,
                qtreading::Frames::First, [](QImage&) { return true; })
                .status;
        };
        EXPECT_EQ(readByQt(whole), decoding::DecodeStatus::Ok);
        if (QByteArray(coding.name).startsWith("Arithmetic")) {
            EXPECT_EQ(readByQt(bytes), decoding::DecodeStatus::Unreadable);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, CutJpegs,
    ::testing::Combine(::testing::ValuesIn(kCodings), ::testing::ValuesIn(kCuts)),
    [](const ::testing::TestParamInfo<std::tuple<Coding, Cut>>& info) {
        return std::string(std::get<0>(info.param).name) + std::get<1>(info.param).name;
    });

// The whole-folder search over two photos cut alike, for every coding and
// cut, beside the whole photo in every coding: the cut files are unreadable,
// cold and warm; the whole files group exactly when their pixels are equal.
TEST(CutJpegSearch, CutPhotosNeverGroupColdOrWarm)
{
    FalsePairFiles::Folder folder;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::set<std::string> cutNames;
    std::map<std::string, decoding::DecodedPicture> wholes;
    for (const Coding& coding : kCodings) {
        for (int seed : {1, 2}) {
            const QByteArray whole = photo(dir, seed, coding);
            ASSERT_FALSE(whole.isEmpty());
            if (seed == 1) {
                const std::string name = std::string("whole ") + coding.name + ".jpg";
                ASSERT_TRUE(writeBytes(folder.path(name), whole));
                wholes[name] = decoding::jpeg::decode(bytesOf(whole)).picture;
            }
            for (const Cut& cut : kCuts) {
                const std::string name = std::string(coding.name) + " " + cut.name + " "
                    + std::to_string(seed) + ".jpg";
                ASSERT_TRUE(writeBytes(folder.path(name), cutOff(whole, cut)));
                cutNames.insert(name);
            }
        }
    }
    // The codings are lossless over the same coefficients: every whole file
    // should hold the baseline's pixels. Whatever they hold, only equal
    // pixels may group.
    FalsePairFiles::Group same;
    const decoding::DecodedPicture& baseline = wholes.at("whole Baseline.jpg");
    for (const auto& [name, picture] : wholes) {
        if (firstDifference(baseline, picture).empty())
            same.insert(name);
    }
    EXPECT_EQ(same.size(), wholes.size());
    std::set<FalsePairFiles::Group> expected;
    if (same.size() > 1)
        expected.insert(same);
    for (const bool warm : {false, true}) {
        SCOPED_TRACE(warm ? "warm" : "cold");
        const FinderResult result = folder.search(true);
        EXPECT_EQ(FalsePairFiles::groupsOf(result), expected);
        std::set<std::string> unreadable;
        for (const auto& [name, reason] : FalsePairFiles::unreadableOf(result))
            unreadable.insert(name);
        EXPECT_EQ(unreadable, cutNames);
    }
}

// Arithmetic coding may end its data long before its last block: a flat
// picture, or a photo whose last rows are flat, must still decode.
TEST(ArithmeticJpeg, DataEndingEarlyOnAFlatAreaIsWhole)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QImage photoOnFlat = photoLike(160, 120, 3, false).convertToFormat(QImage::Format_RGB888);
    for (int y = 40; y < 120; ++y) {
        for (int x = 0; x < 160; ++x)
            photoOnFlat.setPixel(x, y, qRgb(250, 250, 250));
    }
    QImage flat(256, 192, QImage::Format_RGB888);
    flat.fill(QColor(128, 128, 128));
    for (const auto& [name, image] :
        {std::pair{"photo above a flat area", photoOnFlat}, std::pair{"flat grey", flat}}) {
        for (const QStringList& options : {QStringList{QStringLiteral("-arithmetic")},
                 QStringList{QStringLiteral("-arithmetic"), QStringLiteral("-restart"),
                     QStringLiteral("4")}}) {
            SCOPED_TRACE(std::string(name) + " " + options.join(' ').toStdString());
            const QString source = dir.filePath(QStringLiteral("source.ppm"));
            ASSERT_TRUE(image.save(source));
            const QString jpeg = dir.filePath(QStringLiteral("flat.jpg"));
            ASSERT_EQ(run(QStringLiteral("cjpeg"),
                          options + QStringList{QStringLiteral("-outfile"), jpeg, source}),
                QString());
            const QByteArray bytes = readBytes(jpeg);
            const decoding::DecodeOutcome outcome = decoding::jpeg::decode(bytesOf(bytes));
            EXPECT_EQ(outcome.status, decoding::DecodeStatus::Ok) << outcome.reason;
            EXPECT_TRUE(finder::fingerprintPicture(bytesOf(bytes), decoding::PictureType::Jpeg).ok);
        }
    }
}

} // namespace
