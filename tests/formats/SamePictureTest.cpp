// The case Corvane is for: one photo kept as HEIC (or AVIF), as a lossless
// PNG of its decoded pixels and as a lossless WebP of that PNG is one picture
// three times; a lossy WebP of it is another picture. Decoded through the
// library's dispatch, as every whole-folder search reads them.

#include "FormatFiles.h"

#include "decoding/PictureDecoders.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace FormatFiles;

namespace {

struct CollectionCase {
    const char* name;
    QString original; // "photo.heic" or "photo.avif"
    QStringList encoderOptions; // heif-enc's
    bool deep; // a 16-bit PNG, which no WebP can hold
};

void PrintTo(const CollectionCase& row, std::ostream* os)
{
    *os << row.name;
}

class SamePicture : public ::testing::TestWithParam<CollectionCase> { };

TEST_P(SamePicture, CopiesInOtherTypesAreIdenticalAndALossyOneIsNot)
{
    const CollectionCase& row = GetParam();
    QTemporaryDir folder;
    const QString source = folder.filePath(QStringLiteral("camera.png"));
    (row.deep ? deepPhotoLike(120, 80, 8, false) : photoLike(120, 80, 8, false)).save(source);
    const QString original = folder.filePath(row.original);
    ASSERT_EQ(run(QStringLiteral("heif-enc"),
                  row.encoderOptions + QStringList{source, QStringLiteral("-o"), original}),
        QString());
    const QString png = folder.filePath(QStringLiteral("photo as png.png"));
    ASSERT_EQ(
        run(QStringLiteral("heif-convert"), {QStringLiteral("--quiet"), original, png}), QString());
    const QString lossless = folder.filePath(QStringLiteral("photo lossless.webp"));
    const QString lossy = folder.filePath(QStringLiteral("photo lossy.webp"));
    if (!row.deep) {
        ASSERT_EQ(run(QStringLiteral("cwebp"),
                      {QStringLiteral("-quiet"), QStringLiteral("-lossless"),
                          QStringLiteral("-exact"), png, QStringLiteral("-o"), lossless}),
            QString());
        ASSERT_EQ(run(QStringLiteral("cwebp"),
                      {QStringLiteral("-quiet"), QStringLiteral("-q"), QStringLiteral("95"), png,
                          QStringLiteral("-o"), lossy}),
            QString());
    }

    auto decode = [](const QString& path) {
        const QByteArray bytes = readBytes(path);
        decoding::DecodeOutcome outcome = decoding::decode(bytesOf(bytes));
        EXPECT_EQ(outcome.status, decoding::DecodeStatus::Ok)
            << path.toStdString() << ": " << outcome.reason;
        return outcome.picture;
    };
    const decoding::DecodedPicture fromOriginal = decode(original);
    EXPECT_EQ(fromOriginal.bytesPerSample, row.deep ? 2 : 1);
    EXPECT_EQ(firstDifference(fromOriginal, decode(png)), "");
    if (!row.deep) {
        EXPECT_EQ(firstDifference(fromOriginal, decode(lossless)), "");
        const decoding::DecodedPicture fromLossy = decode(lossy);
        EXPECT_NE(firstDifference(fromOriginal, fromLossy), "");
        // Close, though: a lossy copy of the same photo, not another photo.
        EXPECT_LT(meanDifference(fromOriginal, fromLossy), 0.02);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, SamePicture,
    ::testing::Values(CollectionCase{"heic", QStringLiteral("photo.heic"), {}, false},
        CollectionCase{"heic10Bit", QStringLiteral("photo.heic"),
            {QStringLiteral("-b"), QStringLiteral("10")}, true},
        CollectionCase{"avif", QStringLiteral("photo.avif"),
            {QStringLiteral("-A"), QStringLiteral("-p"), QStringLiteral("chroma=422")}, false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
