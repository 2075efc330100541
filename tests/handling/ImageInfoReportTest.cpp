#include "handling/ImageInfoReport.h"

#include "TestFileSystem.h"
#include "search/ConverterClient.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace TestFileSystem;
using Facts = ImageInfoReport::FileFacts;

namespace {

const QLocale kUs(QLocale::English, QLocale::UnitedStates);

QDateTime local(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::LocalTime);
}

const QString kHeader = QStringLiteral("File path = /pics/\r\n"
                                       "File name 1 = a b.png\r\n"
                                       "File name 2 = a b (2).png\r\n"
                                       "\r\n"
                                       "File size 1 = 1,200,000 bytes\r\n"
                                       "File size 2 =  bytes\r\n"
                                       "\r\n"
                                       "File date/time 1 = 3/9/24 2:05:07 PM\r\n"
                                       "File date/time 2 = 12/31/23\r\n");

QString usReport(const std::optional<QStringList>& info)
{
    const Facts left{true, 1'200'000, local(2024, 3, 9, 14, 5, 7)};
    const Facts right{true, 0, local(2023, 12, 31, 0, 0, 0)};
    return ImageInfoReport(kUs).Build(QStringLiteral("/pics/"), QStringLiteral("a b.png"),
        QStringLiteral("a b (2).png"), left, right, info);
}

TEST(ImageInfoReportTest, FullReportIsExact)
{
    const QStringList info = {QStringLiteral("[Corvane image information]"),
        QStringLiteral("Format = PNG"), QStringLiteral("Compression = Deflate"),
        QStringLiteral("Image dimensions = 2 x 2 Pixels"),
        QStringLiteral("Print size = 0.1 x 0.1 cm"), QStringLiteral("Color depth = 24 bits"),
        QStringLiteral("Number of unique colors = 4"), QStringLiteral("Alpha channel = no")};
    EXPECT_EQ(usReport(info).toStdString(),
        (kHeader
            + QStringLiteral("\r\nCompression = Deflate"
                             "\r\nImage dimensions = 2 x 2 Pixels"
                             "\r\nPrint size = 0.1 x 0.1 cm"
                             "\r\nColor depth = 24 bits"
                             "\r\nNumber of unique colors = 4"))
            .toStdString());
}

TEST(ImageInfoReportTest, WithoutSelectedLinesTheReportEndsAfterTheTimes)
{
    EXPECT_EQ(usReport(QStringList{}), kHeader);
    EXPECT_EQ(usReport(QStringList{QStringLiteral("Format = PNG"), QString()}), kHeader);
}

TEST(ImageInfoReportTest, MissingConverterInformationIsSaid)
{
    EXPECT_EQ(
        usReport(std::nullopt), kHeader + QStringLiteral("\r\nImage information = not available"));
}

TEST(ImageInfoReportTest, VanishedFileIsSaidNotAvailable)
{
    const Facts gone;
    const Facts right{true, 5, local(2024, 1, 2, 3, 4, 5)};
    EXPECT_EQ(ImageInfoReport(kUs).Header(QStringLiteral("/p/"), QStringLiteral("x.bmp"),
                  QStringLiteral("y.bmp"), gone, right),
        QStringLiteral("File path = /p/\r\nFile name 1 = x.bmp\r\nFile name 2 = y.bmp\r\n\r\n"
                       "File size 1 = not available\r\nFile size 2 = 5 bytes\r\n\r\n"
                       "File date/time 1 = not available\r\n"
                       "File date/time 2 = 1/2/24 3:04:05 AM\r\n"));
}

struct KeywordCase {
    const char* name;
    const char* line;
    int times;
};

class KeywordSelection : public ::testing::TestWithParam<KeywordCase> { };

TEST_P(KeywordSelection, LineIsTakenOncePerKeyword)
{
    const QString line = QString::fromUtf8(GetParam().line);
    const QStringList selected
        = ImageInfoReport::SelectLines({QStringLiteral("before"), line, QStringLiteral("after")});
    EXPECT_EQ(selected, QStringList(GetParam().times, line));
}

INSTANTIATE_TEST_SUITE_P(Keywords, KeywordSelection,
    ::testing::Values(KeywordCase{"NoKeyword", "Alpha channel = no", 0},
        KeywordCase{"LowerCaseOnly", "image compression print color depth", 0},
        KeywordCase{"ImageWithLowerCaseCompression", "Image compression = none", 1},
        KeywordCase{"CompressionAndImage", "Compression of Image = LZW", 2},
        KeywordCase{"NumberOfAtStart", "Number of frames = 1", 1},
        KeywordCase{"NumberOfInMiddle", "Total Number of colors = 3", 1},
        KeywordCase{"ColorWithoutDepth", "Color = red", 0},
        KeywordCase{"AllFive", "Compression Image Print Color depth Number of", 5},
        KeywordCase{"FileNameLineNever", "File name = Image Compression Print.png", 0},
        KeywordCase{"FolderLineNever", "Folder = /home/me/Images/Number of", 0}),
    [](const auto& info) { return std::string(info.param.name); });

// A name holding a newline must not start a line of its own in the report.
TEST(ImageInfoReportTest, NamesCannotStartALine)
{
    const QString report
        = ImageInfoReport(QLocale(QLocale::English, QLocale::UnitedStates))
              .Build(QStringLiteral("/pics\n/"), QStringLiteral("a\nCompression = none.png"),
                  QStringLiteral("b\r\n.png"), {}, {}, QStringList());
    EXPECT_TRUE(report.startsWith(QStringLiteral("File path = /pics\u240a/\r\n"
                                                 "File name 1 = a\u240aCompression = none.png\r\n"
                                                 "File name 2 = b\u240d\u240a.png\r\n\r\n")))
        << report.toStdString();
    EXPECT_FALSE(report.contains(QStringLiteral("\nCompression")));
}

TEST(ImageInfoReportTest, SizesAreGroupedInThreesWithTheLocalesSeparator)
{
    const struct {
        QLocale locale;
        qint64 bytes;
        const char* text;
    } rows[] = {
        {kUs, 0, " bytes"},
        {kUs, 7, "7 bytes"},
        {kUs, 999, "999 bytes"},
        {kUs, 1000, "1,000 bytes"},
        {kUs, 1'200'000, "1,200,000 bytes"},
        {kUs, 12'345'678'901, "12,345,678,901 bytes"},
        {QLocale(QLocale::German, QLocale::Germany), 1'200'000, "1.200.000 bytes"},
        // Indian grouping (12,00,000) is not used: sizes always group in threes.
        {QLocale(QLocale::Hindi, QLocale::India), 1'200'000, "1,200,000 bytes"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ImageInfoReport(row.locale).FormatSize(row.bytes), QString::fromUtf8(row.text))
            << row.locale.name().toStdString() << " " << row.bytes;
    }
}

TEST(ImageInfoReportTest, DateTimeUsesShortDateLongTimeAndDropsMidnight)
{
    const QLocale de(QLocale::German, QLocale::Germany);
    EXPECT_EQ(ImageInfoReport(de).FormatDateTime(local(2024, 3, 9, 14, 5, 7)),
        QStringLiteral("09.03.24 14:05:07"));
    EXPECT_EQ(
        ImageInfoReport(de).FormatDateTime(local(2024, 3, 9, 0, 0, 0)), QStringLiteral("09.03.24"));
    EXPECT_EQ(ImageInfoReport(kUs).FormatDateTime(local(2024, 3, 9, 0, 0, 1)),
        QStringLiteral("3/9/24 12:00:01 AM"));
    // Sub-second parts of a file time do not make midnight a time of day.
    EXPECT_EQ(ImageInfoReport(de).FormatDateTime(
                  QDateTime(QDate(2024, 3, 9), QTime(0, 0, 0, 250), Qt::LocalTime)),
        QStringLiteral("09.03.24"));
}

TEST(ImageInfoReportTest, InfoFileLinesAreSplitAndDecodedTolerantly)
{
    EXPECT_EQ(ImageInfoReport::SplitLines("a\r\nb\nc\rd"),
        (QStringList{
            QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")}));
    EXPECT_EQ(ImageInfoReport::SplitLines("a\n\nb\n"),
        (QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")}));
    EXPECT_TRUE(ImageInfoReport::SplitLines("").isEmpty());
    const QString cafe = QStringLiteral("Caf\u00e9 Image");
    EXPECT_EQ(ImageInfoReport::SplitLines("\xEF\xBB\xBF"
                                          "Caf\xC3\xA9 Image\r\n"),
        QStringList{cafe});
    EXPECT_EQ(ImageInfoReport::SplitLines("Caf\xE9 Image\r\n"), QStringList{cafe})
        << "not UTF-8: read as Latin-1";
}

class ImageInfoOnDisk : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_folder = m_dir.path() + QStringLiteral("/pics/");
        m_scratch = m_dir.path() + QStringLiteral("/scratch");
        ASSERT_TRUE(QDir().mkpath(m_folder));
        ASSERT_TRUE(QDir().mkpath(m_scratch));
    }
    QTemporaryDir m_dir;
    QString m_folder;
    QString m_scratch;
};

TEST_F(ImageInfoOnDisk, FactsComeFromTheFilesAndTheLeftImageIsAsked)
{
    writeFile(m_folder + QStringLiteral("left 1.png"), QByteArray(1234, 'x'));
    const struct timespec times[2] = {{0, UTIME_OMIT}, {1'700'000'000, 0}};
    ASSERT_EQ(
        ::utimensat(AT_FDCWD, QFile::encodeName(m_folder + QStringLiteral("left 1.png")), times, 0),
        0);
    QStringList asked;
    const QString report = ImageInfoReport(kUs).Make(m_folder, QStringLiteral("left 1.png"),
        QStringLiteral("gone.png"), [&](const QString& path) -> std::optional<QStringList> {
            asked += path;
            return QStringList{QStringLiteral("Number of frames = 1")};
        });
    EXPECT_EQ(asked, QStringList{m_folder + QStringLiteral("left 1.png")});
    const QString when
        = ImageInfoReport(kUs).FormatDateTime(QDateTime::fromSecsSinceEpoch(1'700'000'000));
    EXPECT_EQ(report,
        QStringLiteral("File path = ") + m_folder
            + QStringLiteral("\r\nFile name 1 = left 1.png\r\nFile name 2 = gone.png"
                             "\r\n\r\nFile size 1 = 1,234 bytes\r\n"
                             "File size 2 = not available\r\n\r\n"
                             "File date/time 1 = ")
            + when
            + QStringLiteral("\r\nFile date/time 2 = not available\r\n"
                             "\r\nNumber of frames = 1"));
}

TEST_F(ImageInfoOnDisk, RealConverterDescribesTheLeftImage)
{
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(m_folder + QStringLiteral("red one.png")));
    ConverterClient converter(QStringLiteral(CORVANE_BIN_DIR), m_scratch);
    if (!converter.converterPresent())
        GTEST_SKIP() << "converter not built";
    const QString report = ImageInfoReport(kUs).Make(
        m_folder, QStringLiteral("red one.png"), QStringLiteral("red one.png"), converter);
    EXPECT_TRUE(report.startsWith(QStringLiteral("File path = ") + m_folder));
    EXPECT_TRUE(report.contains(QStringLiteral("\r\nImage dimensions = 3 x 2")))
        << report.toStdString();
    EXPECT_FALSE(report.contains(QStringLiteral("not available")));
}

TEST_F(ImageInfoOnDisk, StaleInfoFileIsNeverShown)
{
    writeFile(m_scratch + QStringLiteral("/info.txt"), "Number of STALE lines = 9\n");
    writeFile(m_folder + QStringLiteral("broken.png"), "not a picture");
    for (const QString& programFolder :
        {QStringLiteral(CORVANE_BIN_DIR), m_dir.path() + QStringLiteral("/no converter here")}) {
        ConverterClient converter(programFolder, m_scratch);
        const QString report = ImageInfoReport(kUs).Make(
            m_folder, QStringLiteral("broken.png"), QStringLiteral("broken.png"), converter);
        EXPECT_FALSE(report.contains(QStringLiteral("STALE"))) << programFolder.toStdString();
        EXPECT_TRUE(report.endsWith(QStringLiteral("\r\n\r\nImage information = not available")));
    }
}

} // namespace
