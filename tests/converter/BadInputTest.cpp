// Damaged, enormous, mislabelled and missing inputs: the converter must end
// with the right exit code, never crash or hang, and leave no output behind.

#include "ConverterProcess.h"
#include "Jp2TestCodec.h"
#include "TestImages.h"

#include "converter/ConverterContract.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>

namespace {

using ConverterContract::kExitTooLarge;
using ConverterContract::kExitUnreadable;

QByteArray encoded(const char* format, QImage::Format pixelFormat = QImage::Format_RGB32)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.write(TestImages::pattern(120, 80, pixelFormat));
    return bytes;
}

QByteArray encodedJp2(const QString& folder, bool codestream)
{
    Jp2TestComponent grey;
    for (int i = 0; i < 64 * 48; ++i)
        grey.samples.push_back((i * 7) & 0xFF);
    const QString path = folder + QStringLiteral("/reference.jp2");
    Jp2TestCodec::write(path, 64, 48, {grey}, codestream);
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    file.remove();
    return bytes;
}

quint32 crc32(const QByteArray& data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (char byte : data) {
        crc ^= uchar(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray bigEndian32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray pngChunk(const char* type, const QByteArray& body)
{
    const QByteArray typed = QByteArray(type) + body;
    return bigEndian32(quint32(body.size())) + typed + bigEndian32(crc32(typed));
}

// A valid PNG start whose header announces 60000 x 60000 pixels.
QByteArray hugePng()
{
    QByteArray header = bigEndian32(60000) + bigEndian32(60000);
    header += QByteArray("\x08\x02\x00\x00\x00", 5);
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header)
        + pngChunk("IDAT", QByteArray("\x78\x9c\x03\x00\x00\x00\x00\x01", 8))
        + pngChunk("IEND", {});
}

// A little-endian TIFF whose only strip lies inside the file but whose header
// announces 60000 x 60000 grey pixels.
QByteArray hugeTiff()
{
    struct Entry {
        quint16 tag;
        quint16 type;
        quint32 value;
    };
    const Entry entries[] = {{256, 4, 60000}, {257, 4, 60000}, {258, 3, 8}, {259, 3, 1},
        {262, 3, 1}, {273, 4, 0}, {277, 3, 1}, {278, 4, 60000}, {279, 4, 16}};
    const int count = int(std::size(entries));
    const quint32 dataOffset = 8 + 2 + quint32(count) * 12 + 4;
    QByteArray bytes("II*\0\x08\0\0\0", 8);
    auto put16 = [&bytes](quint16 v) { bytes.append(char(v & 0xFF)).append(char(v >> 8)); };
    auto put32 = [&put16](quint32 v) {
        put16(quint16(v & 0xFFFF));
        put16(quint16(v >> 16));
    };
    put16(quint16(count));
    for (const Entry& e : entries) {
        put16(e.tag);
        put16(e.type);
        put32(1);
        put32(e.tag == 273 ? dataOffset : e.value);
    }
    put32(0);
    bytes.append(16, '\x55');
    return bytes;
}

// A real codestream with the image and tile size in its SIZ marker raised
// to 60000 x 60000.
QByteArray hugeCodestream(const QString& folder)
{
    QByteArray bytes = encodedJp2(folder, true);
    for (int offset : {8, 12, 24, 28})
        qToBigEndian(quint32(60000), bytes.data() + offset);
    return bytes;
}

struct BadCase {
    const char* name;
    const char* fileName; // inside the input folder
    std::function<QByteArray(const QString& folder)> content;
    int expectedExit;
};

void PrintTo(const BadCase& c, std::ostream* os)
{
    *os << c.name;
}

class BadInput : public ::testing::TestWithParam<BadCase> { };

TEST_P(BadInput, FailsWithoutOutput)
{
    const BadCase& c = GetParam();
    QTemporaryDir images;
    QTemporaryDir scratch;
    const QString source = images.filePath(QLatin1String(c.fileName));
    if (c.content) {
        QFile file(source);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.content(images.path()));
    }
    for (const QStringList& arguments :
        {ConverterContract::conversionArguments(scratch.path(), source),
            ConverterContract::informationArguments(scratch.path(), source)}) {
        const ConverterResult run = ConverterProcess::run(arguments);
        EXPECT_FALSE(run.crashed);
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.exitCode, c.expectedExit) << qPrintable(arguments.join(QLatin1Char(' ')));
        EXPECT_EQ(ConverterProcess::entriesExcept(scratch.path(), {}), QStringList());
    }
}

INSTANTIATE_TEST_SUITE_P(Files, BadInput,
    ::testing::Values(BadCase{"Missing", "missing.png", nullptr, kExitUnreadable},
        BadCase{
            "ZeroBytes", "empty.png", [](const QString&) { return QByteArray(); }, kExitUnreadable},
        BadCase{"TextNamedPng", "text.png",
            [](const QString&) { return QByteArray("just some words, no picture\n"); },
            kExitUnreadable},
        BadCase{"TruncatedPng", "cut.png",
            [](const QString&) {
                const QByteArray png = encoded("png");
                return png.left(png.size() / 2);
            },
            kExitUnreadable},
        BadCase{"TruncatedTiff", "cut.tif",
            [](const QString&) {
                const QByteArray tiff = encoded("tiff");
                return tiff.left(tiff.size() / 2);
            },
            kExitUnreadable},
        BadCase{"TruncatedJp2", "cut.jp2",
            [](const QString& folder) {
                const QByteArray jp2 = encodedJp2(folder, false);
                return jp2.left(jp2.size() * 2 / 3);
            },
            kExitUnreadable},
        BadCase{"PngSignatureThenNoise", "noise.png",
            [](const QString&) {
                QByteArray bytes("\x89PNG\r\n\x1a\n", 8);
                for (int i = 0; i < 4000; ++i)
                    bytes.append(char((i * 7919) >> 3));
                return bytes;
            },
            kExitUnreadable},
        BadCase{"Jp2SignatureOnly", "sig.jp2",
            [](const QString&) { return QByteArray("\0\0\0\x0cjP  \r\n\x87\n", 12); },
            kExitUnreadable},
        BadCase{
            "HugePngHeader", "huge.png", [](const QString&) { return hugePng(); }, kExitTooLarge},
        BadCase{
            "HugeTiffHeader", "huge.tif", [](const QString&) { return hugeTiff(); }, kExitTooLarge},
        BadCase{"HugeJpeg2000Header", "huge.j2k",
            [](const QString& folder) { return hugeCodestream(folder); }, kExitTooLarge}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BadInputPath, FolderInsteadOfFile)
{
    QTemporaryDir images;
    QTemporaryDir scratch;
    const QString folder = images.filePath(QStringLiteral("folder.png"));
    ASSERT_TRUE(QDir().mkdir(folder));
    const ConverterResult run
        = ConverterProcess::run(ConverterContract::conversionArguments(scratch.path(), folder));
    EXPECT_EQ(run.exitCode, kExitUnreadable);
    EXPECT_EQ(ConverterProcess::entriesExcept(scratch.path(), {}), QStringList());
}

// A FIFO named like an image would block a reader forever.
TEST(BadInputPath, FifoIsRefusedWithoutWaiting)
{
    QTemporaryDir images;
    QTemporaryDir scratch;
    const QString fifo = images.filePath(QStringLiteral("pipe.png"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const ConverterResult run
        = ConverterProcess::run(ConverterContract::conversionArguments(scratch.path(), fifo));
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, kExitUnreadable);
    EXPECT_EQ(ConverterProcess::entriesExcept(scratch.path(), {}), QStringList());
}

TEST(BadInputPath, FailureRemovesAnEarlierOutputButNeverTheInput)
{
    QTemporaryDir images;
    QTemporaryDir scratch;
    const QString broken = images.filePath(QStringLiteral("broken.png"));
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\x89PNG\r\n\x1a\n but nothing else");
    file.close();

    // A bitmap left by an earlier run must not pass for this run's output.
    const QString stale = scratch.filePath(QStringLiteral("Temp.bmp"));
    ASSERT_TRUE(TestImages::pattern(4, 4, QImage::Format_RGB32).save(stale, "BMP"));
    EXPECT_EQ(ConverterProcess::run(ConverterContract::conversionArguments(scratch.path(), broken))
                  .exitCode,
        kExitUnreadable);
    EXPECT_FALSE(QFile::exists(stale));

    // Asked to write over its own input, a failed run keeps the input.
    EXPECT_EQ(ConverterProcess::run({broken, QStringLiteral("/convert=") + broken}).exitCode,
        kExitUnreadable);
    EXPECT_TRUE(QFile::exists(broken));
}

TEST(BadOutputPath, MissingFolderFailsWithWriteError)
{
    QTemporaryDir images;
    const QString source = images.filePath(QStringLiteral("a.png"));
    ASSERT_TRUE(TestImages::pattern(8, 8, QImage::Format_RGB32).save(source));
    const QString target = images.filePath(QStringLiteral("no such folder/Temp.bmp"));
    const ConverterResult run
        = ConverterProcess::run({source, QStringLiteral("/convert=") + target});
    EXPECT_EQ(run.exitCode, ConverterContract::kExitWriteFailed);
    EXPECT_EQ(
        ConverterProcess::entriesExcept(images.path(), {QStringLiteral("a.png")}), QStringList());
}

} // namespace
