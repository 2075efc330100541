// The information mode: Corvane's report window picks the lines of info.txt
// that hold "Compression", "Image", "Print", "Color depth" or "Number of".

#include "ConverterProcess.h"
#include "Jp2TestCodec.h"
#include "TestImages.h"

#include "converter/ConverterContract.h"

#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>

namespace {

const char* const kKeywords[] = {"Compression", "Image", "Print", "Color depth", "Number of"};

constexpr int kWidth = 64;
constexpr int kHeight = 48;
constexpr int kDotsPerMetreAt200Dpi = 7874;

// Six colours in vertical bands.
QImage sixColours()
{
    const QRgb colours[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 0),
        qRgb(0, 0, 0), qRgb(255, 255, 255)};
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            image.setPixel(x, y, colours[x * 6 / kWidth]);
    image.setDotsPerMeterX(kDotsPerMetreAt200Dpi);
    image.setDotsPerMeterY(kDotsPerMetreAt200Dpi);
    return image;
}

bool writeWithQt(const QString& path, const char* format)
{
    QImageWriter writer(path, format);
    if (QByteArray(format) == "tiff")
        writer.setCompression(1); // LZW
    if (QByteArray(format) == "jpeg")
        writer.setQuality(90);
    return writer.write(sixColours());
}

bool writeJp2(const QString& path)
{
    const QImage image = sixColours();
    std::vector<Jp2TestComponent> components(3);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const QRgb p = image.pixel(x, y);
            components[0].samples.push_back(qRed(p));
            components[1].samples.push_back(qGreen(p));
            components[2].samples.push_back(qBlue(p));
        }
    }
    return Jp2TestCodec::write(path, kWidth, kHeight, components);
}

// GIF has no writer in Qt: ImageMagick makes it from a PNG.
bool writeWithImageMagick(const QString& path, const QStringList& options = {})
{
    const QString convert = QStandardPaths::findExecutable(QStringLiteral("convert"));
    if (convert.isEmpty())
        return false;
    const QString png = path + QStringLiteral(".png");
    if (!sixColours().save(png))
        return false;
    QProcess process;
    process.start(convert, QStringList{png} + options + QStringList{path});
    const bool ok = process.waitForFinished(60000) && process.exitCode() == 0;
    QFile::remove(png);
    return ok;
}

struct InfoCase {
    const char* name;
    const char* fileName;
    std::function<bool(const QString&)> write;
    const char* compression;
    const char* depth;
    const char* printSize;
    bool exactColours;
};

void PrintTo(const InfoCase& c, std::ostream* os)
{
    *os << c.name;
}

class InfoReport : public ::testing::TestWithParam<InfoCase> { };

QStringList reportLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString lineWith(const QStringList& lines, const char* keyword)
{
    for (const QString& line : lines)
        if (line.contains(QLatin1String(keyword)))
            return line;
    return {};
}

TEST_P(InfoReport, CarriesEveryKeywordOnceWithTheRightValue)
{
    const InfoCase& c = GetParam();
    QTemporaryDir images;
    QTemporaryDir scratch;
    const QString source = images.filePath(QLatin1String(c.fileName));
    if (!c.write(source))
        GTEST_SKIP() << "cannot write " << c.fileName << " here";

    const ConverterResult run
        = ConverterProcess::run(ConverterContract::informationArguments(scratch.path(), source));
    ASSERT_EQ(run.exitCode, ConverterContract::kExitOk) << qPrintable(run.standardError);
    const QStringList lines
        = reportLines(scratch.filePath(QLatin1String(ConverterContract::kInfoFileName)));

    // Corvane appends a line once per keyword in it: no line may hold two.
    for (const char* keyword : kKeywords)
        EXPECT_FALSE(lineWith(lines, keyword).isEmpty()) << keyword;
    for (const QString& line : lines) {
        const auto count = std::count_if(std::begin(kKeywords), std::end(kKeywords),
            [&line](const char* k) { return line.contains(QLatin1String(k)); });
        EXPECT_LE(count, 1) << qPrintable(line);
    }

    EXPECT_TRUE(lineWith(lines, "Compression")
                    .startsWith(QLatin1String("Compression = ") + QLatin1String(c.compression)))
        << qPrintable(lineWith(lines, "Compression"));
    EXPECT_EQ(lineWith(lines, "Image"), QStringLiteral("Image dimensions = 64 x 48 Pixels"));
    EXPECT_EQ(lineWith(lines, "Print"),
        QStringLiteral("Print size (from DPI) = ") + QLatin1String(c.printSize));
    EXPECT_EQ(lineWith(lines, "Color depth"), QStringLiteral("Color depth = ") + c.depth);
    if (c.exactColours) {
        EXPECT_TRUE(lines.contains(QStringLiteral("Number of unique colors = 6")));
    }
    EXPECT_TRUE(lines.contains(QStringLiteral("Number of frames/pages = 1")));
}

const char* const kAt200Dpi = "0.8 x 0.6 cm; 0.32 x 0.24 inches";
const char* const kAt96Dpi = "1.7 x 1.3 cm; 0.67 x 0.50 inches";

INSTANTIATE_TEST_SUITE_P(Types, InfoReport,
    ::testing::Values(
        InfoCase{"Png", "a.png", [](const QString& p) { return writeWithQt(p, "png"); }, "Deflate",
            "24 bits", kAt200Dpi, true},
        InfoCase{"Tiff", "a.tif", [](const QString& p) { return writeWithQt(p, "tiff"); }, "LZW",
            "24 bits", kAt200Dpi, true},
        InfoCase{"Bmp", "a.bmp", [](const QString& p) { return writeWithQt(p, "bmp"); }, "None",
            "24 bits", kAt200Dpi, true},
        InfoCase{"Jpeg", "a.jpg", [](const QString& p) { return writeWithQt(p, "jpeg"); },
            "JPEG, quality: ~90", "24 bits", kAt200Dpi, false},
        InfoCase{"Jpeg2000", "a.jp2", writeJp2, "JPEG 2000, reversible 5/3 wavelet", "24 bits",
            kAt96Dpi, true},
        InfoCase{"Gif", "a.gif", [](const QString& p) { return writeWithImageMagick(p); }, "LZW",
            "3 bits", kAt96Dpi, true}),
    [](const auto& info) { return std::string(info.param.name); });

// JP2 keeps its resolution in a "res " box inside the header box; OpenJPEG
// writes none, so the test adds one of 200 DPI (7874 grid points a metre).
TEST(InfoReportJpeg2000, ResolutionBoxGivesThePrintSize)
{
    QTemporaryDir folder;
    const QString source = folder.filePath(QStringLiteral("res.jp2"));
    ASSERT_TRUE(writeJp2(source));
    QFile file(source);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    const qsizetype header = bytes.indexOf("jp2h") - 4;
    ASSERT_GT(header, 0);
    auto be = [](quint32 value, int size) {
        QByteArray out;
        for (int i = size - 1; i >= 0; --i)
            out.append(char((value >> (8 * i)) & 0xFF));
        return out;
    };
    const QByteArray capture = be(7874, 2) + be(1, 2) + be(7874, 2) + be(1, 2) + be(0, 2);
    const QByteArray resc = be(8 + 10, 4) + "resc" + capture;
    const QByteArray res = be(quint32(8 + resc.size()), 4) + "res " + resc;
    const quint32 headerLength = qFromBigEndian<quint32>(bytes.constData() + header);
    bytes.insert(header + headerLength, res);
    qToBigEndian(quint32(headerLength + res.size()), bytes.data() + header);
    file.seek(0);
    file.write(bytes);
    file.close();

    const QString report = folder.filePath(QStringLiteral("info.txt"));
    const ConverterResult run = ConverterProcess::run({source, QStringLiteral("/info=") + report});
    ASSERT_EQ(run.exitCode, ConverterContract::kExitOk) << qPrintable(run.standardError);
    EXPECT_EQ(lineWith(reportLines(report), "Print"),
        QStringLiteral("Print size (from DPI) = ") + QLatin1String(kAt200Dpi));
}

class JpegQuality : public ::testing::TestWithParam<int> { };

TEST_P(JpegQuality, EstimateMatchesTheEncoderSetting)
{
    QTemporaryDir folder;
    const QString source = folder.filePath(QStringLiteral("q.jpg"));
    QImageWriter writer(source, "jpeg");
    writer.setQuality(GetParam());
    ASSERT_TRUE(writer.write(TestImages::pattern(40, 30, QImage::Format_RGB32)));
    const QString report = folder.filePath(QStringLiteral("info.txt"));
    ASSERT_EQ(ConverterProcess::run({source, QStringLiteral("/info=") + report}).exitCode,
        ConverterContract::kExitOk);
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("quality: ~(\\d+)"))
                                              .match(lineWith(reportLines(report), "Compression"));
    ASSERT_TRUE(match.hasMatch());
    EXPECT_NEAR(match.captured(1).toInt(), GetParam(), 1);
}

INSTANTIATE_TEST_SUITE_P(Settings, JpegQuality, ::testing::Values(10, 50, 75, 95, 100));

struct FrameCase {
    const char* name;
    const char* fileName;
    int frames;
};

void PrintTo(const FrameCase& c, std::ostream* os)
{
    *os << c.name;
}

class FrameCount : public ::testing::TestWithParam<FrameCase> { };

TEST_P(FrameCount, CountsFramesAndPages)
{
    const QString convert = QStandardPaths::findExecutable(QStringLiteral("convert"));
    if (convert.isEmpty())
        GTEST_SKIP() << "ImageMagick's convert is not installed";
    QTemporaryDir folder;
    const QString frame = folder.filePath(QStringLiteral("frame.png"));
    ASSERT_TRUE(sixColours().save(frame));
    const QString source = folder.filePath(QLatin1String(GetParam().fileName));
    QStringList arguments;
    for (int i = 0; i < GetParam().frames; ++i)
        arguments << frame;
    QProcess process;
    process.start(convert, arguments << source);
    ASSERT_TRUE(process.waitForFinished(60000) && process.exitCode() == 0);

    const QString report = folder.filePath(QStringLiteral("info.txt"));
    ASSERT_EQ(ConverterProcess::run({source, QStringLiteral("/info=") + report}).exitCode,
        ConverterContract::kExitOk);
    EXPECT_TRUE(reportLines(report).contains(
        QStringLiteral("Number of frames/pages = %1").arg(GetParam().frames)));
}

INSTANTIATE_TEST_SUITE_P(Files, FrameCount,
    ::testing::Values(
        FrameCase{"AnimatedGif", "anim.gif", 3}, FrameCase{"MultiPageTiff", "pages.tif", 2}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

namespace {

// A name can hold any word and any character: the report shows it on its
// own line, with a newline drawn as a symbol, so it cannot add or forge a
// line (a folder called "Images" or a name holding "\nCompression = none").
TEST(InfoReportNames, CannotAddOrForgeLines)
{
    QTemporaryDir root;
    ASSERT_TRUE(QDir(root.path()).mkdir(QStringLiteral("Images\nNumber of frames = 9")));
    const QString folder = root.filePath(QStringLiteral("Images\nNumber of frames = 9"));
    const QString source
        = folder + QStringLiteral("/Print\nCompression = none\rColor depth = 1 bit.png");
    ASSERT_TRUE(sixColours().save(source, "png"));
    const QString report = root.filePath(QStringLiteral("info.txt"));
    const ConverterResult run = ConverterProcess::run({source, QStringLiteral("/info=") + report});
    ASSERT_EQ(run.exitCode, ConverterContract::kExitOk) << qPrintable(run.standardError);

    QFile file(report);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines
        = QString::fromUtf8(file.readAll())
              .split(QRegularExpression(QStringLiteral("\r\n|\n|\r")), Qt::SkipEmptyParts);
    auto starting = [&lines](const char* text) {
        return lines.filter(QRegularExpression(QLatin1Char('^') + QLatin1String(text))).size();
    };
    EXPECT_EQ(starting("Compression ="), 1) << qPrintable(lines.join('|'));
    EXPECT_EQ(starting("Number of frames"), 1);
    EXPECT_EQ(starting("Color depth ="), 1);
    EXPECT_TRUE(lines.contains(QStringLiteral("File name = Print\u240aCompression = "
                                              "none\u240dColor depth = 1 bit.png")))
        << qPrintable(lines.join('|'));
    EXPECT_TRUE(lines.filter(QStringLiteral("Folder = "))
                    .value(0)
                    .endsWith(QStringLiteral("/Images\u240aNumber of frames = 9")));
}

} // namespace
