#include "search/ConverterClient.h"
#include "converter/ConverterContract.h"
#include "search/ChildProcess.h"
#include "search/ModImageCompare.h"
#include "search/PictureDecoder.h"

#include "SecondProcess.h"
#include "StandInConverter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <memory>
#include <sched.h>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

namespace {

// Spinning shells on every usable core for as long as the object lives.
class BusyCores {
public:
    explicit BusyCores(bool busy)
    {
        if (!busy)
            return;
        cpu_set_t set;
        CPU_ZERO(&set);
        const int cores = ::sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 2;
        for (int i = 0; i < cores; ++i) {
            m_spinners.push_back(std::make_unique<ChildProcess>());
            EXPECT_TRUE(m_spinners.back()->start(QStringLiteral("/bin/sh"),
                {QStringLiteral("-c"), QStringLiteral("while :; do :; done")}));
        }
    }
    // The ChildProcess destructor kills and reaps each spinner.

private:
    std::vector<std::unique_ptr<ChildProcess>> m_spinners;
};

QImage sample(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgba(x * 5 % 256, y * 3 % 256, (x ^ y) % 256, 255));
    return image;
}

} // namespace

TEST(ConverterClient, ConvertsThroughTheScratchBitmapAndRemovesIt)
{
    StandInConverter standIn(StandInConverter::kCopySource);
    ASSERT_TRUE(sample(40, 30).save(standIn.source(), "BMP"));
    ConverterClient client(standIn.folder(), standIn.folder());
    int turns = 0;
    client.setEventTurn([&] { ++turns; });

    const QImage image = client.convert(QStringLiteral("/pics/a.png"));
    EXPECT_TRUE(ModImageCompare::ComparePictures(image, sample(40, 30)));
    EXPECT_FALSE(QFile::exists(client.tempBitmapPath()));
    EXPECT_GE(turns, 2);
    EXPECT_EQ(standIn.arguments(),
        (QStringList{QStringLiteral("/pics/a.png"),
            QStringLiteral("/convert=") + client.tempBitmapPath() + QStringLiteral("/silent")}));
}

TEST(ConverterClient, StaleScratchBitmapIsNeverRead)
{
    StandInConverter writesNothing("exit 0");
    ConverterClient client(writesNothing.folder(), writesNothing.folder());
    ASSERT_TRUE(sample(8, 8).save(client.tempBitmapPath(), "BMP"));
    EXPECT_TRUE(client.convert(QStringLiteral("/pics/a.png")).isNull());
    EXPECT_TRUE(writesNothing.ran());
    EXPECT_FALSE(QFile::exists(client.tempBitmapPath()));
}

TEST(ConverterClient, LeftoverThatCannotBeRemovedStopsTheConversion)
{
    StandInConverter standIn(StandInConverter::kCopySource);
    ASSERT_TRUE(sample(8, 8).save(standIn.source(), "BMP"));
    ConverterClient client(standIn.folder(), standIn.folder());
    ASSERT_TRUE(QDir().mkdir(client.tempBitmapPath()));
    EXPECT_TRUE(client.convert(QStringLiteral("/pics/a.png")).isNull());
    EXPECT_FALSE(standIn.ran());
}

TEST(ConverterClient, FailedRunsGiveNoPicture)
{
    struct Row {
        const char* name;
        QByteArray body;
    };
    const Row rows[] = {
        {"non-zero exit after writing", StandInConverter::kCopySource + "\nexit 3"},
        {"crash after writing", StandInConverter::kCopySource + "\nkill -SEGV $$"},
        {"not a bitmap", "echo garbage > \"$out\""},
        {"png written as Temp.bmp", "cp \"$here/source.png\" \"$out\""},
    };
    for (const Row& row : rows) {
        StandInConverter standIn(row.body);
        ASSERT_TRUE(sample(8, 8).save(standIn.source(), "BMP"));
        ASSERT_TRUE(sample(8, 8).save(standIn.folder() + QStringLiteral("/source.png"), "PNG"));
        ConverterClient client(standIn.folder(), standIn.folder());
        EXPECT_TRUE(client.convert(QStringLiteral("/pics/a.png")).isNull()) << row.name;
        EXPECT_TRUE(standIn.ran()) << row.name;
        EXPECT_FALSE(QFile::exists(client.tempBitmapPath())) << row.name;
    }
}

TEST(ConverterClient, HangingConverterIsKilledAtTheWallClockBackstop)
{
    StandInConverter hangs("exec sleep 30");
    ConverterClient client(hangs.folder(), hangs.folder());
    client.setWallClockLimit(1500);
    int turns = 0;
    client.setEventTurn([&] { ++turns; });
    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(client.convert(QStringLiteral("/pics/a.png")).isNull());
    // Loose bound: the backstop is set to 1.5 seconds, thirty would mean no kill.
    EXPECT_LT(timer.elapsed(), 20000);
    EXPECT_GT(turns, 10); // the window kept turning during the wait
}

TEST(ConverterClient, TheTimeLimitCountsTheConvertersOwnProcessorTime)
{
    // The stand-in burns a known amount of its own processor time (perl's
    // times() counts the process, which keeps its times across exec) and then
    // writes its bitmap.
    struct Row {
        const char* name;
        double burnSeconds; // processor time the converter uses before writing
        const char* wait; // wall-clock time it sleeps before that, without working
        int limitMilliseconds;
        bool busyCores; // other programs keep every core busy meanwhile
        bool converted;
    };
    const Row rows[] = {
        {"sleeping past the limit is no work", 0, "1.2", 300, false, true},
        {"work within the limit, idle cores", 0.3, "0", 900, false, true},
        {"work within the limit, every core busy", 0.3, "0", 900, true, true},
        {"work past the limit, idle cores", 3, "0", 300, false, false},
        {"work past the limit, every core busy", 3, "0", 300, true, false},
    };
    for (const Row& row : rows) {
        const QByteArray body = QByteArray("sleep ") + row.wait
            + "\nexec perl -e '1 while (times)[0] + (times)[1] < $ARGV[0];"
              " exec \"cp\", @ARGV[1, 2] or exit 1' "
            + QByteArray::number(row.burnSeconds) + " \"$here/source.bmp\" \"$out\"";
        StandInConverter standIn(body);
        ASSERT_TRUE(sample(16, 12).save(standIn.source(), "BMP"));
        ConverterClient client(standIn.folder(), standIn.folder());
        client.setTimeLimit(row.limitMilliseconds);
        const BusyCores busy(row.busyCores);
        const QImage image = client.convert(QStringLiteral("/pics/a.png"));
        EXPECT_EQ(!image.isNull(), row.converted) << row.name;
        EXPECT_FALSE(QFile::exists(client.tempBitmapPath())) << row.name;
    }
}

TEST(ConverterClient, AbortStopsTheWaitAndFails)
{
    StandInConverter slow("sleep 2\n" + StandInConverter::kCopySource);
    ASSERT_TRUE(sample(8, 8).save(slow.source(), "BMP"));
    ConverterClient client(slow.folder(), slow.folder());
    int turns = 0;
    client.setEventTurn([&] { ++turns; });
    client.setAbortCheck([&] { return turns >= 3; });
    EXPECT_TRUE(client.convert(QStringLiteral("/pics/a.png")).isNull());
    EXPECT_LT(turns, 10);
}

TEST(ConverterClient, MissingConverterFailsWithoutWaiting)
{
    QTemporaryDir empty;
    ConverterClient client(empty.path(), empty.path());
    int turns = 0;
    client.setEventTurn([&] { ++turns; });
    EXPECT_FALSE(client.converterPresent());
    EXPECT_TRUE(client.convert(QStringLiteral("/pics/a.png")).isNull());
    EXPECT_FALSE(client.writeInformation(QStringLiteral("/pics/a.png")));
    EXPECT_EQ(turns, 0);
}

TEST(ConverterClient, MissingScratchFolderFailsAtOnce)
{
    StandInConverter standIn(StandInConverter::kCopySource);
    ConverterClient client(standIn.folder(), standIn.folder() + QStringLiteral("/missing"));
    int turns = 0;
    client.setEventTurn([&] { ++turns; });
    EXPECT_TRUE(client.convert(QStringLiteral("/p/a.png")).isNull());
    EXPECT_EQ(turns, 0);
    EXPECT_FALSE(standIn.ran());
}

TEST(ConverterClient, HostileNamesReachTheConverterAsOneArgument)
{
    StandInConverter standIn(StandInConverter::kCopySource);
    ASSERT_TRUE(sample(4, 4).save(standIn.source(), "BMP"));
    ConverterClient client(standIn.folder(), standIn.folder());
    const QString names[] = {
        QStringLiteral("/My Pics/a b.png"),
        QStringLiteral("/p/-rf.png"),
        QStringLiteral("/p/x /convert=/tmp/evil.bmp /silent.png"),
        QStringLiteral("/p/$(touch pwned)`id`;\"'.png"),
        QStringLiteral("/p/line\nbreak*.tif"),
        QStringLiteral("/p/Ünïcødé ✓.jp2"),
    };
    for (const QString& name : names) {
        EXPECT_FALSE(client.convert(name).isNull()) << name.toStdString();
        ASSERT_EQ(standIn.arguments().value(0), name);
        EXPECT_EQ(standIn.arguments().size(), 2);
    }
    EXPECT_FALSE(QFile::exists(QStringLiteral("/tmp/evil.bmp")));
    EXPECT_FALSE(QFile::exists(standIn.folder() + QStringLiteral("/pwned")));
}

TEST(ConverterClient, InformationRunWritesTheReportOrLeavesNone)
{
    StandInConverter writes("info=\"${3#/info=}\"; echo \"Compression: none\" > \"$info\"");
    ConverterClient client(writes.folder(), writes.folder());
    ASSERT_TRUE(client.writeInformation(QStringLiteral("/p/a b.png")));
    QFile report(client.infoFilePath());
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    EXPECT_EQ(report.readAll(), QByteArray("Compression: none\n"));
    EXPECT_EQ(writes.arguments().value(0), QStringLiteral("/p/a b.png"));

    // A failing run leaves neither its own partial report nor the old one.
    StandInConverter fails("info=\"${3#/info=}\"; echo partial > \"$info\"; exit 3");
    ConverterClient failing(fails.folder(), fails.folder());
    QFile old(failing.infoFilePath());
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old report\n");
    old.close();
    EXPECT_FALSE(failing.writeInformation(QStringLiteral("/p/a.png")));
    EXPECT_FALSE(QFile::exists(failing.infoFilePath()));
}

TEST(ConverterClient, ScratchFolderFallsBackWhenProgramFolderIsReadOnly)
{
    QTemporaryDir dir;
    EXPECT_EQ(ConverterClient::defaultScratchFolder(dir.path()), dir.path());
    const QString missing = dir.filePath(QStringLiteral("missing"));
    const QString fallback = ConverterClient::defaultScratchFolder(missing);
    EXPECT_NE(fallback, missing);
    EXPECT_TRUE(QFileInfo(fallback).isDir());
    if (::geteuid() == 0)
        GTEST_SKIP() << "root can write to any folder";
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    const QString scratch = ConverterClient::defaultScratchFolder(dir.path());
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_NE(scratch, dir.path());
    EXPECT_TRUE(QFileInfo(scratch).isDir());
}

// The real converter, once it has been built next to the tests' program folder.
class RealConverter : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!QFileInfo(QStringLiteral(CORVANE_BIN_DIR "/i__view32.exe")).isExecutable())
            GTEST_SKIP() << "i__view32.exe not built";
        ASSERT_TRUE(m_scratch.isValid());
    }
    QTemporaryDir m_scratch;
    QTemporaryDir m_pics;
};

TEST_F(RealConverter, PngAndTiffPairDecodeToTheSamePixels)
{
    ConverterClient client(QStringLiteral(CORVANE_BIN_DIR), m_scratch.path());
    PictureDecoder decoder(&client);
    const QImage original = sample(61, 17);
    const QString png = m_pics.filePath(QStringLiteral("a b.png"));
    const QString tif = m_pics.filePath(QStringLiteral("-a.tif"));
    ASSERT_TRUE(original.save(png, "PNG"));
    ASSERT_TRUE(original.save(tif, "TIFF"));
    const QImage first = decoder.decode(png);
    const QImage second = decoder.decode(tif);
    EXPECT_TRUE(ModImageCompare::ComparePictures(first, original));
    EXPECT_TRUE(ModImageCompare::ComparePictures(first, second));
    EXPECT_FALSE(QFile::exists(client.tempBitmapPath()));
}

TEST_F(RealConverter, CorruptFileGivesNoPicture)
{
    ConverterClient client(QStringLiteral(CORVANE_BIN_DIR), m_scratch.path());
    const QString bad = m_pics.filePath(QStringLiteral("bad.png"));
    QFile file(bad);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\x89PNG\r\n\x1a\n truncated");
    file.close();
    EXPECT_TRUE(client.convert(bad).isNull());
    EXPECT_TRUE(client.convert(m_pics.filePath(QStringLiteral("missing.png"))).isNull());
    EXPECT_FALSE(QFile::exists(client.tempBitmapPath()));
}

TEST(ConverterClient, RunsSharingAScratchFolderTakeTurns)
{
    // Another Corvane window holds the scratch folder: this run waits for it
    // and never starts its converter meanwhile.
    StandInConverter standIn(StandInConverter::kCopySource);
    ASSERT_TRUE(sample(8, 8).save(standIn.source(), "BMP"));
    QTemporaryDir scratch;
    const int other = ::open(QFile::encodeName(scratch.path()).constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);

    ConverterClient client(standIn.folder(), scratch.path());
    int turns = 0;
    client.setEventTurn([&] {
        if (++turns == 5)
            ::flock(other, LOCK_UN); // the other window's run ends
    });
    EXPECT_FALSE(client.convert(QStringLiteral("/p/a.png")).isNull());
    EXPECT_GE(turns, 5);

    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    client.setAbortCheck([&] { return turns >= 20; });
    EXPECT_TRUE(client.convert(QStringLiteral("/p/b.png")).isNull());
    EXPECT_EQ(standIn.arguments().value(0), QStringLiteral("/p/a.png")); // b never ran
    ::close(other);
}

TEST_F(RealConverter, AnotherCorvaneHoldingTheFolderLongerThanTheLimitIsWaitedFor)
{
    // Waiting for another instance is not this conversion failing: it holds
    // the folder for longer than one converter run may take, and keeps working.
    const QString png = m_pics.filePath(QStringLiteral("a.png"));
    ASSERT_TRUE(sample(23, 19).save(png, "PNG"));
    const int holdMilliseconds = ConverterContract::kWaitMilliseconds + 1500;
    SecondProcess other([&](int report) {
        SecondProcess::holdFor(m_scratch.path(), holdMilliseconds, true, report);
    });
    ASSERT_EQ(other.nextReport(), 'h');
    ConverterClient client(QStringLiteral(CORVANE_BIN_DIR), m_scratch.path());
    int turns = 0;
    client.setEventTurn([&] { ++turns; });
    const QImage image = client.convert(png);
    EXPECT_TRUE(ModImageCompare::ComparePictures(image, sample(23, 19)));
    EXPECT_EQ(other.nextReport(0), 'r') << "converted while the other still held the folder";
    EXPECT_GT(turns, 20) << "the window kept turning while it waited";
    EXPECT_EQ(other.exitCode(), 0);
}

TEST_F(RealConverter, ARunOverTheTimeLimitIsAFailedDecodeAndLeavesNoOutput)
{
    // Conversion and report alike: a converter that runs out of time hands
    // back nothing, and no earlier output can stand in for its own.
    const QString png = m_pics.filePath(QStringLiteral("large.png"));
    QImage large(2000, 1500, QImage::Format_RGB32);
    for (int y = 0; y < large.height(); ++y)
        for (int x = 0; x < large.width(); ++x)
            large.setPixel(x, y, qRgb((x * 7) ^ y, (y * 13) ^ x, x * y));
    ASSERT_TRUE(large.save(png, "PNG", 0));
    ConverterClient client(QStringLiteral(CORVANE_BIN_DIR), m_scratch.path());
    client.setTimeLimit(1);
    ASSERT_TRUE(sample(8, 8).save(client.tempBitmapPath(), "BMP"));
    QFile oldReport(client.infoFilePath());
    ASSERT_TRUE(oldReport.open(QIODevice::WriteOnly));
    oldReport.write("Image dimensions = 8 x 8 Pixels\n");
    oldReport.close();

    EXPECT_TRUE(client.convert(png).isNull());
    EXPECT_FALSE(QFile::exists(client.tempBitmapPath()));
    EXPECT_FALSE(client.writeInformation(png));
    EXPECT_FALSE(QFile::exists(client.infoFilePath()));

    client.setTimeLimit(ConverterContract::kWaitMilliseconds);
    EXPECT_EQ(client.convert(png).size(), large.size()) << "the same file within the limit";
}

TEST(ConverterClient, AUseFromAnEventTurnOfAnotherIsRefusedAndTheOuterKeepsItsPicture)
{
    StandInConverter slow("sleep 0.3\n" + StandInConverter::kCopySource);
    ASSERT_TRUE(sample(12, 9).save(slow.source(), "BMP"));
    QTemporaryDir scratch;
    ConverterClient client(slow.folder(), scratch.path());
    int nestedTurns = 0;
    bool nestedDone = false;
    bool inUseDuringTurn = false;
    client.setEventTurn([&] {
        if (nestedDone) {
            ++nestedTurns;
            return;
        }
        nestedDone = true;
        inUseDuringTurn = client.inUse();
        EXPECT_TRUE(client.convert(QStringLiteral("/p/b.png")).isNull());
        EXPECT_FALSE(client.writeInformation(QStringLiteral("/p/b.png")));
    });
    const QImage outer = client.convert(QStringLiteral("/p/a.png"));
    EXPECT_TRUE(ModImageCompare::ComparePictures(outer, sample(12, 9)));
    EXPECT_TRUE(inUseDuringTurn);
    EXPECT_FALSE(client.inUse());
    EXPECT_EQ(slow.arguments().value(0), QStringLiteral("/p/a.png")) << "b never ran";
}

TEST(ConverterClient, StopNowKillsTheConverterAndGivesTheFolderBackAtOnce)
{
    StandInConverter hangs("exec sleep 30");
    QTemporaryDir scratch;
    ConverterClient client(hangs.folder(), scratch.path());
    bool stopped = false;
    ScratchTurn::State afterStop = ScratchTurn::State::Waiting;
    client.setEventTurn([&] {
        if (stopped)
            return;
        stopped = true;
        client.stopNow();
        // A message box would wait here for the user: the folder is free meanwhile.
        ScratchTurn other(scratch.path());
        afterStop = other.poll();
    });
    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(client.convert(QStringLiteral("/p/a.png")).isNull());
    EXPECT_LT(timer.elapsed(), 20000); // thirty would mean no kill
    EXPECT_EQ(afterStop, ScratchTurn::State::Held);
}

TEST_F(RealConverter, ALargeJpeg2000PairIsFoundOnIdleAndOnBusyCores)
{
    // A 24-megapixel JPEG 2000 takes the converter seconds of processor time
    // on each of its decoding threads; with every core shared with other
    // programs, its wall-clock time is several times that, and the pair must
    // still be found.
    if (QStandardPaths::findExecutable(QStringLiteral("opj_compress")).isEmpty())
        GTEST_SKIP() << "opj_compress missing (libopenjp2-tools)";
    QImage source(6000, 4000, QImage::Format_RGB888);
    for (int y = 0; y < source.height(); ++y) {
        uchar* row = source.scanLine(y);
        for (int x = 0; x < source.width(); ++x) {
            const unsigned texture = (unsigned(x) * 2654435761u ^ unsigned(y) * 40503u) >> 28;
            row[3 * x] = uchar(x * 255 / 6000 + texture);
            row[3 * x + 1] = uchar(y * 255 / 4000 + texture);
            row[3 * x + 2] = uchar(((x >> 4) ^ (y >> 4)) + (texture >> 1));
        }
    }
    const QString ppm = m_pics.filePath(QStringLiteral("source.ppm"));
    const QString first = m_pics.filePath(QStringLiteral("a.jp2"));
    const QString second = m_pics.filePath(QStringLiteral("b.jp2"));
    ASSERT_TRUE(source.save(ppm, "PPM"));
    ChildProcess encoder;
    ASSERT_TRUE(encoder.start(QStringLiteral("/usr/bin/opj_compress"),
        {QStringLiteral("-i"), ppm, QStringLiteral("-o"), first}));
    ASSERT_TRUE(encoder.waitForFinished(300000));
    ASSERT_EQ(encoder.exitCode(), 0);
    ASSERT_TRUE(QFile::copy(first, second));
    const QImage expected = source.convertToFormat(QImage::Format_RGB32);

    for (const bool busyCores : {false, true}) {
        const BusyCores busy(busyCores);
        ConverterClient client(QStringLiteral(CORVANE_BIN_DIR), m_scratch.path());
        const QImage left = client.convert(first);
        const QImage right = client.convert(second);
        const char* name = busyCores ? "every core busy" : "idle cores";
        ASSERT_EQ(left.size(), source.size()) << name;
        EXPECT_TRUE(ModImageCompare::ComparePictures(left, right)) << name;
        EXPECT_TRUE(ModImageCompare::ComparePictures(left, expected)) << name;
    }
}
