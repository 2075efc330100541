// Whether a file is coded without loss, read from its own headers (the
// evidence the same-photo search's best copy rests on): every type's
// lossless and lossy codings as Debian's encoders write them. A file whose
// losslessness cannot be read counts as lossy.

#include "FormatFiles.h"

#include "decoding/CodingFacts.h"
#include "decoding/PictureType.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace FormatFiles;

namespace {

struct LosslessCase {
    const char* name;
    const char* fileName;
    const char* program;
    QStringList options; // between the input and the output ("-o" where the program needs it)
    bool lossless;
    bool grey = false; // the source in shades of grey
};

void PrintTo(const LosslessCase& row, std::ostream* os)
{
    *os << row.name;
}

class LosslessCoding : public ::testing::TestWithParam<LosslessCase> { };

TEST_P(LosslessCoding, ReadFromTheFile)
{
    const LosslessCase& row = GetParam();
    QTemporaryDir folder;
    const QString source = folder.filePath(QStringLiteral("source.png"));
    const QImage picture = photoLike(48, 40, 3, false);
    ASSERT_TRUE(
        (row.grey ? picture.convertToFormat(QImage::Format_Grayscale8) : picture).save(source));
    const QString output = folder.filePath(QLatin1String(row.fileName));
    const QString program = QLatin1String(row.program);
    QStringList arguments;
    if (program == QLatin1String("convert"))
        arguments = QStringList{source} + row.options + QStringList{output};
    else if (program == QLatin1String("opj_compress"))
        arguments
            = QStringList{QStringLiteral("-i"), source, QStringLiteral("-o"), output} + row.options;
    else
        arguments = row.options + QStringList{source, QStringLiteral("-o"), output};
    ASSERT_EQ(run(program, arguments), QString());
    const QByteArray bytes = readBytes(output);
    const decoding::PictureType type = decoding::detectType(bytesOf(bytes));
    ASSERT_NE(type, decoding::PictureType::Unknown);
    EXPECT_EQ(decoding::codedWithoutLoss(bytesOf(bytes), type), row.lossless);
    // The search reads a WebP's start only: its first chunk says it all.
    if (type == decoding::PictureType::WebP) {
        EXPECT_EQ(decoding::codedWithoutLoss(bytesOf(bytes.left(64)), type), row.lossless);
    }
    // Cut short anywhere, a file is read no further than it goes.
    for (qsizetype length = 0; length < bytes.size(); length += 5)
        decoding::codedWithoutLoss(bytesOf(bytes.left(length)), type);
}

const char* const kConvert = "convert";

INSTANTIATE_TEST_SUITE_P(Rows, LosslessCoding,
    ::testing::Values(LosslessCase{"png", "a.png", kConvert, {}, true},
        LosslessCase{"bmp", "a.bmp", kConvert, {}, true},
        LosslessCase{"gif", "a.gif", kConvert, {}, true},
        LosslessCase{"jpeg", "a.jpg", kConvert, {"-quality", "100"}, false},
        LosslessCase{"tiffNone", "a.tif", kConvert, {"-compress", "None"}, true},
        LosslessCase{"tiffLzw", "a.tif", kConvert, {"-compress", "LZW"}, true},
        LosslessCase{"tiffDeflate", "a.tif", kConvert, {"-compress", "Zip"}, true},
        LosslessCase{
            "tiffBigEndian", "a.tif", kConvert, {"-endian", "MSB", "-compress", "LZW"}, true},
        LosslessCase{"tiffJpeg", "a.tif", kConvert, {"-compress", "JPEG"}, false},
        LosslessCase{"webpLossless", "a.webp", "cwebp", {"-quiet", "-lossless"}, true},
        LosslessCase{"webpLossy", "a.webp", "cwebp", {"-quiet", "-q", "100"}, false},
        LosslessCase{"jpeg2000Reversible", "a.jp2", "opj_compress", {}, true},
        LosslessCase{"jpeg2000Irreversible", "a.jp2", "opj_compress", {"-I", "-r", "20"}, false},
        LosslessCase{"jpeg2000Codestream", "a.j2k", "opj_compress", {}, true},
        LosslessCase{"jpeg2000CodestreamIrreversible", "a.j2k", "opj_compress", {"-I"}, false},
        LosslessCase{"heic", "a.heic", "heif-enc", {"-q", "90"}, false},
        LosslessCase{"heic444", "a.heic", "heif-enc", {"-q", "90", "-p", "chroma=444"}, false},
        // Lossless HEVC of subsampled chroma lost the colours on the way in.
        LosslessCase{"heicLosslessSubsampled", "a.heic", "heif-enc", {"-L"}, false},
        // Lossless HEVC of unsubsampled chroma still rounded the colours
        // into luma and chroma, unless a colour box says they stayed RGB
        // (this encoder writes none, whatever it is asked).
        LosslessCase{"heicLosslessYCbCr", "a.heic", "heif-enc",
            {"-L", "-p", "chroma=444", "--matrix_coefficients=0"}, false},
        LosslessCase{"heicLosslessGrey", "a.heic", "heif-enc", {"-L"}, true, true},
        LosslessCase{"heicGrey", "a.heic", "heif-enc", {"-q", "90"}, false, true},
        // AV1 says whether it is lossless in its frame headers only.
        LosslessCase{"avifLossless", "a.avif", "heif-enc", {"-A", "-L"}, false},
        LosslessCase{"avif", "a.avif", "heif-enc", {"-A", "-q", "90"}, false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
