// BMP, JPEG and GIF files made by ImageMagick and cjpeg, read through the Qt
// adapter by every part that uses it: each must see exactly the pixels
// Qt's own reader gives (the JPEG decoder of the search, libjpeg itself,
// too), and GIF animations one frame apart must never look alike.

#include "decoding/PictureDecoders.h"
#include "finder/PixelFingerprint.h"
#include "finder/QtFingerprint.h"
#include "qtreading/QtPictureReading.h"
#include "review/PictureForView.h"
#include "search/ImageLoader.h"

#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>

namespace {

using decoding::Bytes;
using decoding::PictureType;

struct FileCase {
    const char* name;
    const char* program; // "convert", "cjpeg", or "bytes" (written by paletteGap())
    QStringList arguments; // the output file is appended
    const char* file;
    PictureType type;
    int frames;
};

void PrintTo(const FileCase& c, std::ostream* out)
{
    *out << c.name;
}

// An 8-bit BMP of 4 x 2 whose palette holds 2 colours and whose pixels use
// indices 5, 7 and 200 as well: Qt gives such a pixel no colour. With
// blackInstead, the palette gains black and those pixels use it.
QByteArray paletteGap(bool blackInstead = false)
{
    QByteArray bmp("BM", 2);
    auto put = [&bmp](quint32 value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            bmp.append(char((value >> (8 * i)) & 0xFF));
    };
    const quint32 colours = blackInstead ? 3 : 2;
    const quint32 dataOffset = 14 + 40 + colours * 4;
    for (const quint32 field : {dataOffset + 8, 0u, dataOffset, 40u, 4u, 2u})
        put(field, 4);
    put(1, 2);
    put(8, 2); // bits a pixel
    for (const quint32 field : {0u, 8u, 2835u, 2835u, colours, 0u, 0x00FF0000u, 0x000000FFu})
        put(field, 4);
    if (blackInstead) {
        put(0, 4);
        bmp.append(QByteArray("\x00\x01\x02\x02\x01\x00\x02\x01", 8));
    } else {
        bmp.append(QByteArray("\x00\x01\x05\xC8\x01\x00\x07\x01", 8));
    }
    return bmp;
}

QString makeFile(const QTemporaryDir& dir, const FileCase& c)
{
    const QString path = dir.filePath(QString::fromLatin1(c.file).section(QLatin1Char(':'), -1));
    if (QByteArray(c.program) == "bytes") {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(paletteGap()) > 0 ? path : QString();
    }
    QProcess process;
    process.setWorkingDirectory(dir.path());
    QStringList arguments = c.arguments;
    if (QByteArray(c.program) == "cjpeg") {
        // A 41 x 23 picture of every kind of edge, as PPM on cjpeg's input.
        QByteArray ppm("P6\n41 23\n255\n");
        for (int i = 0; i < 41 * 23; ++i)
            ppm.append(char(i * 7)).append(char((i / 41) * 11)).append(char(255 - i));
        arguments << QStringLiteral("-outfile") << path;
        process.start(QStandardPaths::findExecutable(QStringLiteral("cjpeg")), arguments);
        process.write(ppm);
    } else {
        arguments << QLatin1String(c.file);
        process.start(QStandardPaths::findExecutable(QStringLiteral("convert")), arguments);
    }
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    return path;
}

// Every frame as Qt's plain reader gives it.
std::vector<QImage> framesByQt(const QString& path)
{
    QImageReader reader(path);
    std::vector<QImage> frames;
    QImage frame;
    while (reader.read(&frame)) {
        frames.push_back(frame);
        if (!reader.canRead())
            break;
    }
    return frames;
}

std::vector<std::uint8_t> rowsOf(const QImage& image)
{
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    std::vector<std::uint8_t> out;
    for (int y = 0; y < rgba.height(); ++y)
        out.insert(out.end(), rgba.constScanLine(y), rgba.constScanLine(y) + rgba.width() * 4);
    return out;
}

// Through ARGB32, as the window draws a picture: a palette index without a
// colour is transparent black there.
std::vector<std::uint8_t> windowRowsOf(const QImage& image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    std::vector<std::uint8_t> out;
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            out.insert(out.end(),
                {std::uint8_t(qRed(line[x])), std::uint8_t(qGreen(line[x])),
                    std::uint8_t(qBlue(line[x])), std::uint8_t(qAlpha(line[x]))});
    }
    return out;
}

using ReadPicture = bool (*)(const std::uint8_t*, std::size_t, int, decoding::DecodeOutcome*);

ReadPicture converterModule()
{
    static void* module = dlopen(CORVANE_BIN_DIR "/i__view32-readers.so", RTLD_NOW);
    return module ? reinterpret_cast<ReadPicture>(dlsym(module, "corvane_read_picture")) : nullptr;
}

const QStringList kPlasma = {QStringLiteral("-size"), QStringLiteral("37x29"),
    QStringLiteral("-seed"), QStringLiteral("7"), QStringLiteral("plasma:fractal")};

QStringList plasma(QStringList more)
{
    return kPlasma + more;
}

class EveryCaller : public ::testing::TestWithParam<FileCase> { };

TEST_P(EveryCaller, SeesThePixelsQtGives)
{
    const FileCase& c = GetParam();
    QTemporaryDir dir;
    const QString path = makeFile(dir, c);
    ASSERT_FALSE(path.isEmpty()) << "the tool failed";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const Bytes data(reinterpret_cast<const std::uint8_t*>(bytes.constData()), bytes.size());
    ASSERT_EQ(decoding::detectType(data), c.type);

    const std::vector<QImage> expected = framesByQt(path);
    ASSERT_EQ(int(expected.size()), c.frames);
    const std::vector<std::uint8_t> first = rowsOf(expected.front());

    // The whole-folder search: every frame, and the fingerprint of the same.
    const decoding::DecodeOutcome searched = qtreading::decode(data, c.type);
    ASSERT_EQ(searched.status, decoding::DecodeStatus::Ok) << searched.reason;
    ASSERT_EQ(int(searched.picture.frames.size()), c.frames);
    ASSERT_TRUE(searched.picture.isRgba());
    for (int i = 0; i < c.frames; ++i)
        EXPECT_TRUE(searched.picture.frames[i] == windowRowsOf(expected[i])) << "frame " << i;
    const finder::QtFingerprint print = finder::fingerprintWithQt(data, c.type);
    ASSERT_EQ(print.status, decoding::DecodeStatus::Ok) << print.reason;
    EXPECT_EQ(print.fingerprint.digest, finder::fingerprintOf(searched.picture).digest);

    // The window: the first frame as Qt gives it, by name and by content.
    const std::vector<std::uint8_t> shown = windowRowsOf(expected.front());
    // Qt's straight conversion and the window's part where a palette index
    // has no colour (opaque against transparent black); the search takes the
    // window's, so such a pixel never meets a black one.
    EXPECT_EQ(shown == first, QByteArray(c.program) != "bytes");
    EXPECT_TRUE(searched.picture.frames.front() == shown);
    EXPECT_TRUE(windowRowsOf(ImageLoader::load(path)) == shown);
    ImageContent::Kind kind = ImageContent::Unknown;
    EXPECT_TRUE(windowRowsOf(ImageLoader::loadByContent(path, &kind)) == shown);

    // The full-size view (none of these files carries an orientation tag).
    EXPECT_TRUE(windowRowsOf(pictureForView(QFile::encodeName(path))) == shown);

    // The converter's reader module: the first frame, 8 bits a sample, as the
    // window shows it.
    const ReadPicture read = converterModule();
    ASSERT_NE(read, nullptr) << dlerror();
    decoding::DecodeOutcome converted;
    ASSERT_TRUE(read(data.data(), data.size(), int(c.type), &converted)) << converted.reason;
    ASSERT_EQ(converted.picture.frames.size(), 1u);
    EXPECT_TRUE(converted.picture.frames.front() == shown);
}

INSTANTIATE_TEST_SUITE_P(Files, EveryCaller,
    ::testing::Values(FileCase{"BmpTrueColour", "convert",
                          plasma({QStringLiteral("-type"), QStringLiteral("truecolor")}),
                          "BMP3:a.bmp", PictureType::Bmp, 1},
        FileCase{"BmpWithAlpha", "convert",
            plasma({QStringLiteral("-alpha"), QStringLiteral("set"), QStringLiteral("-channel"),
                QStringLiteral("A"), QStringLiteral("-fx"), QStringLiteral("i/w")}),
            "BMP:a.bmp", PictureType::Bmp, 1},
        FileCase{"BmpPalette", "convert",
            plasma({QStringLiteral("-type"), QStringLiteral("palette")}), "BMP3:a.bmp",
            PictureType::Bmp, 1},
        FileCase{"BmpRunLength", "convert",
            plasma({QStringLiteral("-type"), QStringLiteral("palette"), QStringLiteral("-compress"),
                QStringLiteral("RLE")}),
            "BMP3:a.bmp", PictureType::Bmp, 1},
        FileCase{"BmpOs2", "convert", plasma({QStringLiteral("-type"), QStringLiteral("palette")}),
            "BMP2:a.bmp", PictureType::Bmp, 1},
        FileCase{"BmpPaletteIndexWithoutColour", "bytes", {}, "gap.bmp", PictureType::Bmp, 1},
        FileCase{"JpegBaseline", "cjpeg", {}, "a.jpg", PictureType::Jpeg, 1},
        FileCase{"JpegProgressive", "cjpeg", {QStringLiteral("-progressive")}, "a.jpg",
            PictureType::Jpeg, 1},
        FileCase{
            "JpegGrey", "cjpeg", {QStringLiteral("-grayscale")}, "a.jpg", PictureType::Jpeg, 1},
        FileCase{"GifStill", "convert", plasma({}), "a.gif", PictureType::Gif, 1},
        FileCase{"GifTransparent", "convert",
            plasma({QStringLiteral("-fuzz"), QStringLiteral("30%"), QStringLiteral("-transparent"),
                QStringLiteral("white")}),
            "a.gif", PictureType::Gif, 1},
        FileCase{"GifAnimation", "convert",
            {QStringLiteral("-size"), QStringLiteral("20x10"), QStringLiteral("xc:red"),
                QStringLiteral("xc:blue"), QStringLiteral("xc:none")},
            "a.gif", PictureType::Gif, 3}),
    [](const ::testing::TestParamInfo<FileCase>& info) { return std::string(info.param.name); });

// Animations alike in their first frame and one pixel apart later: the
// window keeps them apart by their later frames' digest, the search by its
// fingerprint of every frame; the same animation twice stays alike.
// A pixel whose palette index has no colour shows transparent; it never
// meets an opaque black pixel.
TEST(EveryCallerNearMisses, PaletteIndexWithoutAColourIsNotBlack)
{
    const QByteArray gap = paletteGap();
    const QByteArray black = paletteGap(true);
    const auto print = [](const QByteArray& bytes) {
        return finder::fingerprintWithQt(
            Bytes(reinterpret_cast<const std::uint8_t*>(bytes.constData()), bytes.size()),
            decoding::PictureType::Bmp);
    };
    ASSERT_EQ(print(gap).status, decoding::DecodeStatus::Ok);
    ASSERT_EQ(print(black).status, decoding::DecodeStatus::Ok);
    EXPECT_NE(print(gap).fingerprint, print(black).fingerprint);
}

TEST(EveryCallerNearMisses, AnimationsOnePixelApartInALaterFrame)
{
    QTemporaryDir dir;
    auto animation = [&dir](const char* name, const char* dot) {
        const QStringList arguments = {QStringLiteral("-size"), QStringLiteral("16x16"),
            QStringLiteral("xc:red"), QStringLiteral("("), QStringLiteral("xc:blue"),
            QStringLiteral("-fill"), QStringLiteral("white"), QStringLiteral("-draw"),
            QLatin1String(dot), QStringLiteral(")"), dir.filePath(QLatin1String(name))};
        QProcess process;
        process.start(QStandardPaths::findExecutable(QStringLiteral("convert")), arguments);
        return process.waitForFinished(60000) && process.exitCode() == 0;
    };
    ASSERT_TRUE(animation("a.gif", "point 3,3"));
    ASSERT_TRUE(animation("b.gif", "point 3,3"));
    ASSERT_TRUE(animation("c.gif", "point 3,4"));
    auto key = [&dir](const char* name) {
        return ImageLoader::load(dir.filePath(QLatin1String(name)), "gif")
            .text(QLatin1String(ImageLoader::kHiddenContentKey));
    };
    auto print = [&dir](const char* name) {
        QFile file(dir.filePath(QLatin1String(name)));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        return finder::fingerprintWithQt(
            Bytes(reinterpret_cast<const std::uint8_t*>(bytes.constData()), bytes.size()),
            PictureType::Gif)
            .fingerprint.digest;
    };
    EXPECT_FALSE(key("a.gif").isEmpty());
    EXPECT_EQ(key("a.gif"), key("b.gif"));
    EXPECT_NE(key("a.gif"), key("c.gif"));
    EXPECT_EQ(print("a.gif"), print("b.gif"));
    EXPECT_NE(print("a.gif"), print("c.gif"));
}

} // namespace
