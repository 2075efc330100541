// How WebP, HEIF and AVIF files are coded, read from their chunks and boxes
// for the image-information report, on files Debian's encoders make; and
// the report the converter writes for them.

#include "FormatFiles.h"

#include "converter/ConverterContract.h"
#include "decoding/CodingFacts.h"
#include "decoding/PictureDecoders.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace FormatFiles;

namespace {

enum class Source { Opaque, Alpha, Deep };

struct FactsCase {
    const char* name;
    const char* fileName;
    Source source;
    int pictures; // of the source, encoded into one file
    QString program;
    // Before the inputs ("-o" and the output follow); for img2webp, the
    // options of each frame in turn.
    QStringList options;
    const char* compression;
    int bitsPerPixel;
    std::uint32_t frames;
};

void PrintTo(const FactsCase& row, std::ostream* os)
{
    *os << row.name;
}

// Encodes the row's file into `folder`; returns its path, or "" with the
// reason in `error`.
QString encodeRow(const QTemporaryDir& folder, const FactsCase& row, QString* error)
{
    QStringList inputs;
    for (int i = 0; i < row.pictures; ++i) {
        inputs << folder.filePath(QStringLiteral("source%1.png").arg(i));
        const QImage image = row.source == Source::Deep
            ? deepPhotoLike(40, 32, i, false)
            : photoLike(40, 32, i, row.source == Source::Alpha);
        image.save(inputs.back());
    }
    const QString output = folder.filePath(QLatin1String(row.fileName));
    if (row.program == QLatin1String("convert")) {
        *error = run(row.program, inputs + QStringList{output});
    } else if (row.program == QLatin1String("img2webp")) {
        QStringList arguments;
        for (int i = 0; i < inputs.size(); ++i)
            arguments << row.options.value(i) << inputs[i];
        *error = run(row.program, arguments + QStringList{QStringLiteral("-o"), output});
    } else {
        *error = run(row.program, row.options + inputs + QStringList{QStringLiteral("-o"), output});
    }
    return *error == QString() ? output : QString();
}

class CodingFactsOf : public ::testing::TestWithParam<FactsCase> { };

TEST_P(CodingFactsOf, ReadFromTheFilesOwnStructure)
{
    const FactsCase& row = GetParam();
    QTemporaryDir folder;
    QString error;
    const QString file = encodeRow(folder, row, &error);
    ASSERT_EQ(error, QString());
    const QByteArray bytes = readBytes(file);
    const decoding::PictureType type = decoding::detectType(bytesOf(bytes));
    const decoding::CodingFacts facts = type == decoding::PictureType::WebP
        ? decoding::webpCodingFacts(bytesOf(bytes))
        : decoding::heifCodingFacts(bytesOf(bytes));
    EXPECT_EQ(facts.compression, row.compression);
    EXPECT_EQ(facts.bitsPerPixel, row.bitsPerPixel);
    EXPECT_EQ(facts.frames, row.frames);
    // The frame count agrees with the decoders' own header readers.
    EXPECT_EQ(decoding::readHeader(bytesOf(bytes)).frames, row.frames);
}

const QString kCwebp = QStringLiteral("cwebp");
const QString kImg2webp = QStringLiteral("img2webp");
const QString kHeifEnc = QStringLiteral("heif-enc");

INSTANTIATE_TEST_SUITE_P(Rows, CodingFactsOf,
    ::testing::Values(FactsCase{"webpLossy", "a.webp", Source::Opaque, 1, kCwebp, {"-quiet"},
                          "VP8 (lossy)", 24, 1},
        FactsCase{
            "webpLossyAlpha", "a.webp", Source::Alpha, 1, kCwebp, {"-quiet"}, "VP8 (lossy)", 32, 1},
        FactsCase{"webpLossless", "a.webp", Source::Opaque, 1, kCwebp, {"-quiet", "-lossless"},
            "VP8L (lossless)", 24, 1},
        FactsCase{"webpLosslessAlpha", "a.webp", Source::Alpha, 1, kCwebp, {"-quiet", "-lossless"},
            "VP8L (lossless)", 32, 1},
        // An animation's later frames are stored with transparent holes
        // where nothing changes, so the file holds alpha whatever its pictures.
        FactsCase{"webpAnimation", "a.webp", Source::Opaque, 3, kImg2webp,
            {"-lossless", "-lossless", "-lossless"}, "VP8L (lossless)", 32, 3},
        FactsCase{"webpMixedAnimation", "a.webp", Source::Opaque, 3, kImg2webp,
            {"-lossy", "-lossless", "-lossy"}, "VP8 and VP8L (lossy and lossless frames)", 32, 3},
        FactsCase{"heic", "a.heic", Source::Opaque, 1, kHeifEnc, {}, "HEVC, 4:2:0", 24, 1},
        FactsCase{"heicAlpha", "a.heic", Source::Alpha, 1, kHeifEnc, {}, "HEVC, 4:2:0", 32, 1},
        FactsCase{"heic444", "a.heic", Source::Opaque, 1, kHeifEnc, {"-p", "chroma=444"},
            "HEVC, 4:4:4", 24, 1},
        FactsCase{
            "heic10Bit", "a.heic", Source::Deep, 1, kHeifEnc, {"-b", "10"}, "HEVC, 4:2:0", 30, 1},
        FactsCase{
            "heicThreePictures", "a.heic", Source::Opaque, 3, kHeifEnc, {}, "HEVC, 4:2:0", 24, 3},
        FactsCase{"avif", "a.avif", Source::Opaque, 1, QStringLiteral("convert"), {}, "AV1, 4:2:0",
            24, 1},
        FactsCase{"avifAlpha", "a.avif", Source::Alpha, 1, kHeifEnc, {"-A", "-p", "chroma=422"},
            "AV1, 4:2:2", 32, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CodingFactsOf, DamagedFilesGiveWhatTheyCanAndNeverReadPastTheEnd)
{
    QTemporaryDir folder;
    QString error;
    const QString heic
        = encodeRow(folder, {"", "a.heic", Source::Alpha, 2, kHeifEnc, {}, "", 0, 0}, &error);
    ASSERT_EQ(error, QString());
    const QByteArray bytes = readBytes(heic);
    for (qsizetype length = 0; length < bytes.size(); length += 7) {
        decoding::heifCodingFacts(bytesOf(bytes.left(length)));
        decoding::webpCodingFacts(bytesOf(bytes.left(length)));
    }
    EXPECT_EQ(decoding::heifCodingFacts({}).compression, "");
    EXPECT_EQ(decoding::webpCodingFacts({}).compression, "");
}

// What the report window shows for such a file: the converter's information
// file, through its command-line contract.
TEST(InformationReport, ListsTheCodingOfHeifAndWebp)
{
    QTemporaryDir folder;
    struct Expected {
        FactsCase row;
        QStringList lines;
    };
    const Expected cases[] = {
        {{"", "photo.heic", Source::Deep, 2, kHeifEnc, {"-b", "10"}, "", 0, 0},
            {"Format = HEIF", "Compression = HEVC, 4:2:0", "Color depth = 30 bits",
                "Number of frames/pages = 2", "Image dimensions = 40 x 32 Pixels"}},
        {{"", "photo.webp", Source::Alpha, 1, kCwebp, {"-quiet", "-lossless"}, "", 0, 0},
            {"Format = WebP", "Compression = VP8L (lossless)", "Color depth = 32 bits",
                "Number of frames/pages = 1", "Alpha channel = yes"}},
    };
    for (const Expected& expected : cases) {
        SCOPED_TRACE(expected.row.fileName);
        QString error;
        const QString file = encodeRow(folder, expected.row, &error);
        ASSERT_EQ(error, QString());
        QTemporaryDir scratch;
        QProcess converter;
        converter.start(ConverterContract::programPath(QStringLiteral(CORVANE_BIN_DIR)),
            ConverterContract::informationArguments(scratch.path(), file));
        ASSERT_TRUE(converter.waitForFinished(60'000));
        EXPECT_EQ(converter.exitCode(), 0) << converter.readAllStandardError().toStdString();
        const QString report = QString::fromUtf8(
            readBytes(scratch.filePath(QLatin1String(ConverterContract::kInfoFileName))));
        const QStringList lines = report.split(QLatin1Char('\n'));
        for (const QString& line : expected.lines)
            EXPECT_TRUE(lines.contains(line)) << line.toStdString() << " in\n"
                                              << report.toStdString();
    }
}

} // namespace
