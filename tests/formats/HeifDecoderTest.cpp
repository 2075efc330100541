// The HEIF/AVIF decoder against heif-convert on files heif-enc and
// ImageMagick make here: 8, 10 and 12 bits, alpha, several pictures, and
// rotation or mirroring written into the file; and its answers to cut,
// inconsistent and enormous files.

#include "FormatFiles.h"

#include "decoding/HeifDecoder.h"
#include "decoding/PictureType.h"

#include <QTemporaryDir>

#include <cstring>

#include <gtest/gtest.h>

using namespace FormatFiles;
using decoding::DecodeStatus;
using decoding::PictureType;

namespace {

enum class Source { Opaque, Alpha, Deep, DeepAlpha };

struct HeifCase {
    const char* name;
    const char* suffix;
    int width;
    int height;
    Source source;
    // heif-enc's options; empty means ImageMagick's convert instead.
    QStringList heifEncOptions;
    int bytesPerSample;
};

void PrintTo(const HeifCase& row, std::ostream* os)
{
    *os << row.name;
}

QImage sourceFor(Source source, int width, int height, int seed)
{
    if (source == Source::Deep || source == Source::DeepAlpha)
        return deepPhotoLike(width, height, seed, source == Source::DeepAlpha);
    return photoLike(width, height, seed, source == Source::Alpha);
}

// Encodes a picture of `source` into `path`; returns the tool's errors.
QString encode(const QTemporaryDir& scratch, const HeifCase& row, const QString& path, int seed = 2)
{
    const QString png = scratch.filePath(QStringLiteral("source%1.png").arg(seed));
    if (!sourceFor(row.source, row.width, row.height, seed).save(png))
        return QStringLiteral("could not write the source");
    if (row.heifEncOptions.isEmpty())
        return run(QStringLiteral("convert"), {png, path});
    return run(QStringLiteral("heif-enc"),
        row.heifEncOptions + QStringList{png, QStringLiteral("-o"), path});
}

class HeifPicture : public ::testing::TestWithParam<HeifCase> { };

TEST_P(HeifPicture, DecodesLikeHeifConvert)
{
    const HeifCase& row = GetParam();
    QTemporaryDir scratch;
    const QString file = scratch.filePath(QStringLiteral("picture.") + row.suffix);
    ASSERT_EQ(encode(scratch, row, file), QString());

    QString error;
    const decoding::DecodedPicture reference = heifConvert(file, &error);
    ASSERT_EQ(error, QString());
    const QByteArray bytes = readBytes(file);
    const decoding::DecodeOutcome outcome = decoding::decodeHeif(bytesOf(bytes));
    ASSERT_EQ(outcome.status, DecodeStatus::Ok) << outcome.reason;
    EXPECT_EQ(outcome.picture.bytesPerSample, row.bytesPerSample);
    EXPECT_EQ(firstDifference(reference, outcome.picture), "");
    // heif-convert shares libheif; the source keeps both honest about
    // channel order, depth and scale.
    EXPECT_LT(
        meanDifference(fromImage(sourceFor(row.source, row.width, row.height, 2)), outcome.picture),
        0.03);

    const PictureType type = QLatin1String(row.suffix) == QLatin1String("avif") ? PictureType::Avif
                                                                                : PictureType::Heif;
    const decoding::PictureHeader header = decoding::readHeifHeader(bytesOf(bytes));
    EXPECT_TRUE(header.ok);
    EXPECT_EQ(header.type, type);
    EXPECT_EQ(header.width, std::uint32_t(row.width));
    EXPECT_EQ(header.height, std::uint32_t(row.height));
    EXPECT_EQ(header.frames, 1u);
}

const QStringList kRgb444Heic{QStringLiteral("-L"), QStringLiteral("-p"),
    QStringLiteral("chroma=444"), QStringLiteral("--matrix_coefficients=0")};
// Debian's libaom asserts on 4:2:0 and 4:4:4 through heif-enc; 4:2:2 works.
const QStringList kAvif{QStringLiteral("-A"), QStringLiteral("-p"), QStringLiteral("chroma=422")};

INSTANTIATE_TEST_SUITE_P(Rows, HeifPicture,
    ::testing::Values(HeifCase{"heicLossy", "heic", 64, 48, Source::Opaque, {"-q", "60"}, 1},
        HeifCase{"heicOddSize", "heic", 61, 47, Source::Opaque, {"-q", "60"}, 1},
        HeifCase{"heicAlpha", "heic", 64, 48, Source::Alpha, {"-q", "70"}, 1},
        // heif-enc's lossless mode is not exact from a PNG here (GBR
        // coding); the row keeps an unsubsampled RGB-coded picture.
        HeifCase{"heicRgb444", "heic", 64, 48, Source::Opaque, kRgb444Heic, 1},
        HeifCase{"heic10Bit", "heic", 64, 48, Source::Deep, {"-b", "10"}, 2},
        HeifCase{"heic10BitAlpha", "heic", 64, 48, Source::DeepAlpha, {"-b", "10"}, 2},
        HeifCase{"heic12Bit", "heic", 64, 48, Source::Deep, {"-b", "12"}, 2},
        HeifCase{"avifByImageMagick", "avif", 64, 48, Source::Opaque, {}, 1},
        HeifCase{"avifAlpha", "avif", 64, 48, Source::Alpha, kAvif, 1},
        HeifCase{
            "avif10Bit",
            "avif",
            64,
            48,
            Source::Deep,
            kAvif + QStringList{"-b", "10"},
            2,
        }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HeifPictures, SeveralPicturesAreFramesInFileOrder)
{
    QTemporaryDir scratch;
    const QString first = scratch.filePath(QStringLiteral("first.png"));
    const QString second = scratch.filePath(QStringLiteral("second.png"));
    const QString third = scratch.filePath(QStringLiteral("third.png"));
    photoLike(64, 48, 1, false).save(first);
    photoLike(64, 48, 7, false).save(second);
    photoLike(64, 48, 1, false).mirrored(true, false).save(third);
    const QString file = scratch.filePath(QStringLiteral("three.heic"));
    ASSERT_EQ(run(QStringLiteral("heif-enc"), {first, second, third, QStringLiteral("-o"), file}),
        QString());

    QString error;
    const decoding::DecodedPicture reference = heifConvert(file, &error);
    ASSERT_EQ(error, QString());
    ASSERT_EQ(reference.frames.size(), 3u);
    const QByteArray bytes = readBytes(file);
    const decoding::DecodeOutcome outcome = decoding::decodeHeif(bytesOf(bytes));
    ASSERT_EQ(outcome.status, DecodeStatus::Ok) << outcome.reason;
    EXPECT_EQ(firstDifference(reference, outcome.picture), "");
    EXPECT_NE(outcome.picture.frames[0], outcome.picture.frames[1]);
    EXPECT_NE(outcome.picture.frames[0], outcome.picture.frames[2]);
    EXPECT_EQ(decoding::readHeifHeader(bytesOf(bytes)).frames, 3u);
}

TEST(HeifPictures, FirstPictureAloneWhenAskedWhateverTheOthersAre)
{
    QTemporaryDir scratch;
    const QString first = scratch.filePath(QStringLiteral("first.png"));
    const QString small = scratch.filePath(QStringLiteral("small.png"));
    photoLike(64, 48, 1, false).save(first);
    photoLike(30, 20, 2, false).save(small);
    const QString file = scratch.filePath(QStringLiteral("mixed.heic"));
    ASSERT_EQ(
        run(QStringLiteral("heif-enc"), {first, small, QStringLiteral("-o"), file}), QString());
    const QByteArray bytes = readBytes(file);
    EXPECT_EQ(decoding::decodeHeif(bytesOf(bytes)).status, DecodeStatus::Unreadable);
    decoding::DecodeOptions firstOnly;
    firstOnly.firstFrameOnly = true;
    const decoding::DecodeOutcome outcome = decoding::decodeHeif(bytesOf(bytes), firstOnly);
    ASSERT_EQ(outcome.status, DecodeStatus::Ok) << outcome.reason;
    ASSERT_EQ(outcome.picture.frames.size(), 1u);
    QString error;
    decoding::DecodedPicture reference = heifConvert(file, &error);
    ASSERT_EQ(error, QString());
    reference.frames.resize(1);
    EXPECT_EQ(firstDifference(reference, outcome.picture), "");
}

TEST(HeifPictures, DeepPicturesRoundToEightBitsWhenAsked)
{
    QTemporaryDir scratch;
    const QString png = scratch.filePath(QStringLiteral("deep.png"));
    deepPhotoLike(32, 24, 5, true).save(png);
    const QString file = scratch.filePath(QStringLiteral("deep.heic"));
    ASSERT_EQ(run(QStringLiteral("heif-enc"),
                  {QStringLiteral("-b"), QStringLiteral("10"), png, QStringLiteral("-o"), file}),
        QString());
    const QByteArray bytes = readBytes(file);
    const decoding::DecodeOutcome deep = decoding::decodeHeif(bytesOf(bytes));
    decoding::DecodeOptions options;
    options.eightBit = true;
    const decoding::DecodeOutcome reduced = decoding::decodeHeif(bytesOf(bytes), options);
    ASSERT_EQ(deep.status, DecodeStatus::Ok) << deep.reason;
    ASSERT_EQ(reduced.status, DecodeStatus::Ok) << reduced.reason;
    ASSERT_EQ(deep.picture.bytesPerSample, 2);
    ASSERT_EQ(reduced.picture.bytesPerSample, 1);

    // The 16-bit form holds the 10-bit value in its top bits.
    decoding::DecodedPicture expected = reduced.picture;
    const auto& samples = deep.picture.frames[0];
    for (std::size_t i = 0; i < expected.frames[0].size(); ++i) {
        std::uint16_t sample;
        std::memcpy(&sample, samples.data() + i * 2, 2);
        EXPECT_EQ(sample & 0x3F, 0) << "sample " << i << " is not a 10-bit value moved up";
        expected.frames[0][i] = std::uint8_t(((sample >> 6) * 255 + 511) / 1023);
    }
    EXPECT_EQ(firstDifference(expected, reduced.picture), "");
}

// heif-enc writes no rotation or mirroring, so the tests write it: the
// primary picture's 16-byte "pixi" property (bits per channel, which
// libheif also reads from the codec's own header) becomes an "irot" or
// "imir" property of the same length, padded with zeros, so no offset in
// the file moves.
QByteArray withTransformation(QByteArray file, const char* fourcc, int value)
{
    const qsizetype at = file.indexOf("pixi");
    if (at < 4 || file.mid(at - 4, 4) != QByteArray::fromHex("00000010"))
        return {};
    file.replace(at, 4, fourcc);
    file[at + 4] = char(value);
    for (int i = 5; i < 12; ++i)
        file[at + i] = '\0';
    return file;
}

struct TransformCase {
    const char* name;
    const char* fourcc;
    int value;
    int quarterTurns; // anticlockwise; -1 for a mirror
};

void PrintTo(const TransformCase& row, std::ostream* os)
{
    *os << row.name;
}

class HeifTransformation : public ::testing::TestWithParam<TransformCase> { };

TEST_P(HeifTransformation, AppliedAsHeifConvertShowsIt)
{
    const TransformCase& row = GetParam();
    QTemporaryDir scratch;
    const QString png = scratch.filePath(QStringLiteral("source.png"));
    photoLike(64, 48, 4, false).save(png);
    const QString plain = scratch.filePath(QStringLiteral("plain.heic"));
    ASSERT_EQ(run(QStringLiteral("heif-enc"),
                  {QStringLiteral("-q"), QStringLiteral("80"), png, QStringLiteral("-o"), plain}),
        QString());
    const QByteArray original = readBytes(plain);
    // The unturned control differs from the original only in that property.
    const QByteArray control = withTransformation(original, "irot", 0);
    const QByteArray turned = withTransformation(original, row.fourcc, row.value);
    ASSERT_FALSE(turned.isEmpty()) << "heif-enc no longer writes a 16-byte pixi property";
    const QString turnedPath = scratch.filePath(QStringLiteral("turned.heic"));
    ASSERT_TRUE(writeBytes(turnedPath, turned));

    QString error;
    const decoding::DecodedPicture reference = heifConvert(turnedPath, &error);
    ASSERT_EQ(error, QString());
    const decoding::DecodeOutcome outcome = decoding::decodeHeif(bytesOf(turned));
    ASSERT_EQ(outcome.status, DecodeStatus::Ok) << outcome.reason;
    EXPECT_EQ(firstDifference(reference, outcome.picture), "");

    const decoding::DecodeOutcome unturned = decoding::decodeHeif(bytesOf(control));
    ASSERT_EQ(unturned.status, DecodeStatus::Ok) << unturned.reason;
    if (row.quarterTurns < 0) {
        EXPECT_NE(firstDifference(unturned.picture, outcome.picture), "");
        EXPECT_EQ(outcome.picture.width, 64u);
    } else {
        decoding::DecodedPicture expected = unturned.picture;
        for (int i = 0; i < row.quarterTurns; ++i)
            expected = turnedAnticlockwise(expected);
        EXPECT_EQ(firstDifference(expected, outcome.picture), "");
    }
    const decoding::PictureHeader header = decoding::readHeifHeader(bytesOf(turned));
    EXPECT_EQ(header.width, outcome.picture.width);
    EXPECT_EQ(header.height, outcome.picture.height);
}

INSTANTIATE_TEST_SUITE_P(Rows, HeifTransformation,
    ::testing::Values(TransformCase{"quarterTurn", "irot", 1, 1},
        TransformCase{"halfTurn", "irot", 2, 2}, TransformCase{"threeQuarterTurns", "irot", 3, 3},
        TransformCase{"mirrorAxis0", "imir", 0, -1}, TransformCase{"mirrorAxis1", "imir", 1, -1}),
    [](const auto& info) { return std::string(info.param.name); });

// Every "ispe" (coded size) property that says 64 x 48 says width x height
// instead; the codec's data still holds 64 x 48.
QByteArray claimingSize(QByteArray file, std::uint32_t width, std::uint32_t height)
{
    const QByteArray from = QByteArray::fromHex("0000004000000030");
    QByteArray to(8, '\0');
    for (int i = 0; i < 4; ++i) {
        to[i] = char(width >> (24 - 8 * i) & 0xFF);
        to[4 + i] = char(height >> (24 - 8 * i) & 0xFF);
    }
    for (qsizetype at = file.indexOf("ispe"); at >= 0; at = file.indexOf("ispe", at + 4))
        if (file.mid(at + 8, 8) == from)
            file.replace(at + 8, 8, to);
    return file;
}

struct BadCase {
    const char* name;
    DecodeStatus expected;
    const char* reasonPart; // "" for any
};

void PrintTo(const BadCase& row, std::ostream* os)
{
    *os << row.name;
}

class HeifBadInput : public ::testing::TestWithParam<BadCase> {
protected:
    static void SetUpTestSuite()
    {
        s_scratch = new QTemporaryDir;
        auto png = [](const QImage& image, const QString& name) {
            const QString path = s_scratch->filePath(name);
            image.save(path);
            return path;
        };
        const QString photo = png(photoLike(64, 48, 3, false), QStringLiteral("p.png"));
        const QString small = png(photoLike(32, 20, 3, false), QStringLiteral("s.png"));
        const QString deep = png(deepPhotoLike(64, 48, 3, false), QStringLiteral("d.png"));
        auto heif = [](const QStringList& inputs, const QString& name) {
            const QString path = s_scratch->filePath(name);
            run(QStringLiteral("heif-enc"), inputs + QStringList{QStringLiteral("-o"), path});
            return readBytes(path);
        };
        s_photo = heif({photo}, QStringLiteral("p.heic"));
        s_sizes = heif({photo, small}, QStringLiteral("sizes.heic"));
        s_depths = heif({photo, deep}, QStringLiteral("depths.heic"));
    }
    static void TearDownTestSuite() { delete s_scratch; }

    static QByteArray bytesFor(const std::string& name)
    {
        if (name == "empty")
            return {};
        if (name == "fileTypeBoxOnly")
            return s_photo.left(32);
        if (name == "cutInMetadata")
            return s_photo.left(200);
        if (name == "cutInPictureData")
            return s_photo.left(s_photo.size() - 300);
        if (name == "lastByteMissing")
            return s_photo.chopped(1);
        if (name == "videoFileType") {
            QByteArray bytes = s_photo;
            bytes.replace(8, 4, "isom");
            return bytes.replace(16, 12, "isomiso2mp41");
        }
        if (name == "claims20000x10000")
            return claimingSize(s_photo, 20000, 10000);
        if (name == "claims60000Square")
            return claimingSize(s_photo, 60000, 60000);
        if (name == "gridCanvasOverBudget") {
            // heif-enc writes a one-tile grid; its descriptor (in "idat")
            // ends with the canvas width and height, 16 bits each.
            QByteArray bytes = s_photo;
            const qsizetype at = bytes.indexOf("idat");
            if (at < 0 || bytes.mid(at + 8, 4) != QByteArray::fromHex("00400030"))
                return {};
            return bytes.replace(at + 8, 4, QByteArray::fromHex("ffffffff"));
        }
        if (name == "picturesOfDifferentSizes")
            return s_sizes;
        if (name == "picturesOfDifferentDepths")
            return s_depths;
        return {};
    }

    static inline QTemporaryDir* s_scratch = nullptr;
    static inline QByteArray s_photo;
    static inline QByteArray s_sizes;
    static inline QByteArray s_depths;
};

TEST_P(HeifBadInput, ClearOutcomeWithoutCrash)
{
    const BadCase& row = GetParam();
    const QByteArray bytes = bytesFor(row.name);
    const decoding::DecodeOutcome outcome = decoding::decodeHeif(bytesOf(bytes));
    EXPECT_EQ(outcome.status, row.expected) << outcome.reason;
    EXPECT_NE(outcome.reason.find(row.reasonPart), std::string::npos) << outcome.reason;
    EXPECT_FALSE(outcome.reason.empty());
    EXPECT_TRUE(outcome.picture.frames.empty());
    const decoding::PictureHeader header = decoding::readHeifHeader(bytesOf(bytes));
    if (!header.ok) {
        // A damaged header still names the type, so the file gets decoded
        // and its reason reported.
        EXPECT_EQ(header.type, decoding::detectType(bytesOf(bytes)));
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, HeifBadInput,
    ::testing::Values(BadCase{"empty", DecodeStatus::Unreadable, ""},
        BadCase{"fileTypeBoxOnly", DecodeStatus::Unreadable, ""},
        BadCase{"cutInMetadata", DecodeStatus::Unreadable, ""},
        BadCase{"cutInPictureData", DecodeStatus::Unreadable, ""},
        BadCase{"lastByteMissing", DecodeStatus::Unreadable, ""},
        BadCase{"videoFileType", DecodeStatus::Unreadable, "not a HEIF"},
        // Within libheif's own limits: refused by the pixel budget.
        BadCase{"claims20000x10000", DecodeStatus::TooLarge, "20000 x 10000"},
        BadCase{"claims60000Square", DecodeStatus::TooLarge, ""},
        // The picture's own size stays 64 x 48: only the canvas libheif
        // would allocate for the tiles claims more.
        BadCase{"gridCanvasOverBudget", DecodeStatus::TooLarge, "65535 x 65535"},
        BadCase{"picturesOfDifferentSizes", DecodeStatus::Unreadable, "different sizes"},
        BadCase{"picturesOfDifferentDepths", DecodeStatus::Unreadable, "different depths"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
