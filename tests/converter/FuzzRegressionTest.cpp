// Inputs the fuzz targets once found trouble with (fuzz/regressions): the
// converter must end on each with an exit code of its contract, in time.

#include "ConverterProcess.h"
#include "TestImages.h"

#include "converter/ConverterContract.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(FuzzRegressions, EveryKeptInputEndsCleanly)
{
    const QDir folder(QStringLiteral(CORVANE_SOURCE_DIR "/fuzz/regressions"));
    const QStringList files = folder.entryList(QDir::Files);
    if (files.isEmpty())
        GTEST_SKIP() << "no kept fuzz inputs";
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        QTemporaryDir scratch;
        const QString source = folder.filePath(name);
        const ConverterResult run
            = ConverterProcess::run(ConverterContract::conversionArguments(scratch.path(), source));
        EXPECT_FALSE(run.crashed);
        EXPECT_FALSE(run.timedOut);
        EXPECT_TRUE(run.exitCode == ConverterContract::kExitOk
            || run.exitCode == ConverterContract::kExitUnreadable
            || run.exitCode == ConverterContract::kExitTooLarge)
            << run.exitCode;
        const QString bitmap = scratch.filePath(QStringLiteral("Temp.bmp"));
        if (run.exitCode == ConverterContract::kExitOk) {
            EXPECT_EQ(TestImages::firstDifference(
                          TestImages::readArgb(source), TestImages::readArgb(bitmap)),
                QString());
        } else {
            EXPECT_EQ(ConverterProcess::entriesExcept(scratch.path(), {}), QStringList());
        }
        const ConverterResult info = ConverterProcess::run(
            ConverterContract::informationArguments(scratch.path(), source));
        EXPECT_FALSE(info.crashed);
        EXPECT_FALSE(info.timedOut);
    }
}

} // namespace
