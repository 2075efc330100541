// The converter's command line: the image path is always the first argument
// and taken as it is, whatever it holds; later arguments are switches.

#include "ConverterProcess.h"
#include "TestImages.h"

#include "converter/ConverterContract.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace ConverterContract;

class HostileName : public ::testing::TestWithParam<const char*> { };

TEST_P(HostileName, IsTakenAsTheImagePath)
{
    QTemporaryDir images;
    QTemporaryDir scratch;
    const QString source = images.filePath(QString::fromUtf8(GetParam()));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(source).absolutePath()));
    ASSERT_TRUE(TestImages::pattern(9, 7, QImage::Format_ARGB32).save(source, "PNG"));

    const ConverterResult run = ConverterProcess::run(conversionArguments(scratch.path(), source));
    ASSERT_EQ(run.exitCode, kExitOk) << qPrintable(run.standardError);
    EXPECT_EQ(TestImages::firstDifference(
                  TestImages::readArgb(source), TestImages::readArgb(scratch.filePath("Temp.bmp"))),
        QString());
    // Nothing written next to the image, nothing but the bitmap in the scratch folder.
    EXPECT_EQ(QFileInfo(source).dir().entryList(QDir::Files | QDir::Hidden).size(), 1);
    EXPECT_EQ(ConverterProcess::entriesExcept(scratch.path(), {QStringLiteral("Temp.bmp")}),
        QStringList());
}

INSTANTIATE_TEST_SUITE_P(Names, HostileName,
    ::testing::Values("with blank.png", "two  blanks .png", "quote\".png", "it's.png",
        "-leading dash.png", "--convert=x.png", "star*.png", "folder /convert=evil.png",
        "folder/silent", "folder /info=x /silent.png", "semi;colon & $(echo x).png",
        "Gr\xc3\xbc\xc3\x9f"
        "e \xe6\x97\xa5\xe6\x9c\xac.png"));

TEST(CommandLine, RelativePathWithLeadingDash)
{
    QTemporaryDir images;
    QTemporaryDir scratch;
    ASSERT_TRUE(TestImages::pattern(5, 5, QImage::Format_RGB32)
                    .save(images.filePath(QStringLiteral("-x.png")), "PNG"));
    const ConverterResult run = ConverterProcess::run(
        conversionArguments(scratch.path(), QStringLiteral("-x.png")), images.path());
    EXPECT_EQ(run.exitCode, kExitOk) << qPrintable(run.standardError);
    EXPECT_TRUE(QFile::exists(scratch.filePath(QStringLiteral("Temp.bmp"))));
}

TEST(CommandLine, SilentGluedToOutputPathIsNotPartOfIt)
{
    QTemporaryDir images;
    QTemporaryDir scratch;
    const QString source = images.filePath(QStringLiteral("a.png"));
    ASSERT_TRUE(TestImages::pattern(5, 5, QImage::Format_RGB32).save(source));
    const QStringList arguments = conversionArguments(scratch.path(), source);
    ASSERT_TRUE(arguments.at(1).endsWith(QStringLiteral("Temp.bmp/silent")));

    const ConverterResult run = ConverterProcess::run(arguments);
    EXPECT_EQ(run.exitCode, kExitOk);
    EXPECT_EQ(ConverterProcess::entriesExcept(scratch.path(), {}),
        QStringList{QStringLiteral("Temp.bmp")});
    EXPECT_TRUE(run.standardError.isEmpty());
}

TEST(CommandLine, InformationArgumentsWriteTheReport)
{
    QTemporaryDir images;
    QTemporaryDir scratch;
    const QString source = images.filePath(QStringLiteral("a b.png"));
    ASSERT_TRUE(TestImages::pattern(5, 5, QImage::Format_RGB32).save(source));
    const ConverterResult run = ConverterProcess::run(informationArguments(scratch.path(), source));
    EXPECT_EQ(run.exitCode, kExitOk) << qPrintable(run.standardError);
    EXPECT_EQ(ConverterProcess::entriesExcept(scratch.path(), {}),
        QStringList{QStringLiteral("info.txt")});
}

TEST(CommandLine, BothOutputsInOneRun)
{
    QTemporaryDir images;
    QTemporaryDir scratch;
    const QString source = images.filePath(QStringLiteral("a.png"));
    ASSERT_TRUE(TestImages::pattern(5, 5, QImage::Format_RGB32).save(source));
    const ConverterResult run = ConverterProcess::run(
        {source, QStringLiteral("/convert=") + scratch.filePath(QStringLiteral("x.bmp")),
            QStringLiteral("/info=") + scratch.filePath(QStringLiteral("x.txt")),
            QStringLiteral("/KillMeSoftly")});
    EXPECT_EQ(run.exitCode, kExitOk) << qPrintable(run.standardError);
    EXPECT_EQ(ConverterProcess::entriesExcept(scratch.path(), {}),
        (QStringList{QStringLiteral("x.bmp"), QStringLiteral("x.txt")}));
}

struct UsageCase {
    const char* name;
    QStringList switches; // after the image path; no path at all when `noImage`
    bool noImage;
};

void PrintTo(const UsageCase& c, std::ostream* os)
{
    *os << c.name;
}

class UsageError : public ::testing::TestWithParam<UsageCase> { };

TEST_P(UsageError, ExitsWithUsageCodeAndWritesNothing)
{
    QTemporaryDir images;
    const QString source = images.filePath(QStringLiteral("a.png"));
    ASSERT_TRUE(TestImages::pattern(5, 5, QImage::Format_RGB32).save(source));
    QStringList arguments;
    if (!GetParam().noImage)
        arguments << source;
    for (const QString& s : GetParam().switches)
        arguments << QString(s).replace(QStringLiteral("%OUT%"), images.filePath("out.bmp"));
    const ConverterResult run = ConverterProcess::run(arguments);
    EXPECT_EQ(run.exitCode, kExitUsage);
    EXPECT_EQ(
        ConverterProcess::entriesExcept(images.path(), {QStringLiteral("a.png")}), QStringList());
}

INSTANTIATE_TEST_SUITE_P(Lines, UsageError,
    ::testing::Values(UsageCase{"NoArguments", {}, true}, UsageCase{"ImageOnly", {}, false},
        UsageCase{"OnlyQuietSwitches", {"/silent", "/fullinfo"}, false},
        UsageCase{"EmptyOutputPath", {"/convert="}, false},
        UsageCase{"UnknownSwitch", {"/convert=%OUT%", "/bogus"}, false},
        UsageCase{"StraySecondPath", {"/convert=%OUT%", "other.png"}, false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
