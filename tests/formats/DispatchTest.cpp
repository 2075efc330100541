// WebP, HEIF and AVIF files reach their decoders through the library's one
// door (decoding::readHeader / decode), told apart by content alone.

#include "FormatFiles.h"

#include "decoding/HeifDecoder.h"
#include "decoding/PictureDecoders.h"
#include "decoding/WebpDecoder.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace FormatFiles;
using decoding::PictureType;

namespace {

struct DoorCase {
    const char* name;
    QString program;
    QStringList options; // before the source; the output follows "-o"
    PictureType type;
};

void PrintTo(const DoorCase& row, std::ostream* os)
{
    *os << row.name;
}

class ThroughTheDispatch : public ::testing::TestWithParam<DoorCase> { };

TEST_P(ThroughTheDispatch, SamePixelsAsTheTypesOwnDecoder)
{
    const DoorCase& row = GetParam();
    QTemporaryDir scratch;
    const QString png = scratch.filePath(QStringLiteral("source.png"));
    photoLike(40, 30, 6, true).save(png);
    // A name that promises nothing: the content decides.
    const QString file = scratch.filePath(QStringLiteral("picture.bin"));
    const QString output = row.program == QLatin1String("convert") ? file : QStringLiteral("-o");
    QStringList arguments = row.options + QStringList{png, output};
    if (output == QLatin1String("-o"))
        arguments << file;
    else
        arguments.last() = QStringLiteral("avif:") + file;
    ASSERT_EQ(run(row.program, arguments), QString());

    const QByteArray bytes = readBytes(file);
    const decoding::Bytes view = bytesOf(bytes);
    const decoding::PictureHeader header = decoding::readHeader(view);
    EXPECT_TRUE(header.ok);
    EXPECT_EQ(header.type, row.type);
    EXPECT_EQ(header.width, 40u);
    EXPECT_EQ(header.height, 30u);
    EXPECT_TRUE(decoding::decodesPixels(row.type));

    const decoding::DecodeOutcome viaDoor = decoding::decode(view);
    ASSERT_EQ(viaDoor.status, decoding::DecodeStatus::Ok) << viaDoor.reason;
    const decoding::DecodeOutcome direct
        = row.type == PictureType::WebP ? decoding::decodeWebp(view) : decoding::decodeHeif(view);
    EXPECT_EQ(firstDifference(direct.picture, viaDoor.picture), "");
}

INSTANTIATE_TEST_SUITE_P(Rows, ThroughTheDispatch,
    ::testing::Values(
        DoorCase{"webp", QStringLiteral("cwebp"), {QStringLiteral("-quiet")}, PictureType::WebP},
        DoorCase{"heic", QStringLiteral("heif-enc"), {}, PictureType::Heif},
        DoorCase{"avif", QStringLiteral("convert"), {}, PictureType::Avif}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
