// A search that runs out of memory says so and remembers nothing of it:
// corvane-find under an address-space limit too small for two large JPEGs
// (libjpeg's coefficients of a progressive file without --similar, the
// whole picture with it), then without the limit in the same cache folder,
// which must find the pair.
#include "FindCommand.h"
#include "TestCollection.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using FindRun = FindCommand::Outcome;

FindRun find(const QString& cacheHome, const QStringList& arguments, const QString& addressSpace)
{
    FindCommand command;
    command.cacheHome(cacheHome).timeout(180000);
    if (!addressSpace.isEmpty())
        command.under({QStringLiteral("prlimit"), QStringLiteral("--as=") + addressSpace});
    return command.run(arguments);
}

class FindUnderMemoryLimit : public ::testing::TestWithParam<const char*> { };

TEST_P(FindUnderMemoryLimit, OutOfMemoryIsForgottenAndTheNextRunFindsThePair)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer reserves more address space than the limit leaves";
#endif
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString folder = work.filePath(QStringLiteral("photos"));
    ASSERT_TRUE(QDir().mkpath(folder));
    // 6000 x 6000 at 4:4:4, progressive: 216 MB of coefficients, 144 MB of picture.
    const QString source = work.filePath(QStringLiteral("large.ppm"));
    ASSERT_TRUE(testcollection::run(QStringLiteral("convert"),
        {QStringLiteral("-size"), QStringLiteral("6000x6000"), QStringLiteral("gradient:red-blue"),
            source}));
    const QString first = folder + QStringLiteral("/first.jpg");
    ASSERT_TRUE(testcollection::run(QStringLiteral("cjpeg"),
        {QStringLiteral("-progressive"), QStringLiteral("-sample"), QStringLiteral("1x1"),
            QStringLiteral("-outfile"), first, source}));
    ASSERT_TRUE(QFile::copy(first, folder + QStringLiteral("/second.jpg")));
    // Files changed in the last three seconds are never cached: wait, so
    // that the cache would keep whatever the first run learns of them.
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    QStringList arguments{folder};
    if (*GetParam())
        arguments.prepend(QString::fromLatin1(GetParam()));
    const QString cacheHome = work.filePath(QStringLiteral("cache"));

    const FindRun limited = find(cacheHome, arguments, QStringLiteral("300000000"));
    ASSERT_EQ(limited.exitCode, 0) << limited.err.toStdString();
    EXPECT_TRUE(limited.out.isEmpty()) << limited.out.toStdString();
    for (const char* name : {"first.jpg: not enough memory", "second.jpg: not enough memory"})
        EXPECT_TRUE(limited.err.contains(name)) << limited.err.toStdString();

    const FindRun free = find(cacheHome, arguments, {});
    ASSERT_EQ(free.exitCode, 0) << free.err.toStdString();
    EXPECT_TRUE(free.out.contains("first.jpg") && free.out.contains("second.jpg"))
        << free.out.toStdString() << free.err.toStdString();
    EXPECT_TRUE(free.err.contains("0 unreadable")) << free.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Modes, FindUnderMemoryLimit, ::testing::Values("", "--similar"),
    [](const ::testing::TestParamInfo<const char*>& info) {
        return std::string(*info.param ? "Similar" : "Identical");
    });

} // namespace
