// The converter's launch: an argument list reaches the program unchanged,
// exit codes come back, and a program that overruns is ended.

#include "search/ChildProcess.h"

#include <gtest/gtest.h>

namespace {

TEST(ChildProcess, ArgumentsArriveWhole)
{
    // The shell is only the program under test here: it checks its $1.
    ChildProcess child;
    const QString odd = QStringLiteral("a b \"c\" *\n-d;$(x)");
    ASSERT_TRUE(child.start(QStringLiteral("/bin/sh"),
        {QStringLiteral("-c"), QStringLiteral("[ \"$1\" = \"$2\" ] && exit 7"),
            QStringLiteral("sh"), odd, odd}));
    ASSERT_TRUE(child.waitForFinished(10000));
    EXPECT_TRUE(child.exitedNormally());
    EXPECT_EQ(child.exitCode(), 7);
}

TEST(ChildProcess, MissingProgramDoesNotStart)
{
    ChildProcess child;
    EXPECT_FALSE(child.start(QStringLiteral("/nonexistent/i__view32.exe"), {}));
    EXPECT_FALSE(child.running());
}

TEST(ChildProcess, OverrunIsKilled)
{
    ChildProcess child;
    ASSERT_TRUE(child.start(QStringLiteral("/bin/sleep"), {QStringLiteral("30")}));
    EXPECT_FALSE(child.waitForFinished(100));
    EXPECT_TRUE(child.running());
    child.kill(2000);
    EXPECT_FALSE(child.running());
    EXPECT_FALSE(child.exitedNormally());
}

TEST(ChildProcess, ExitCodeComesBackAfterTheEnd)
{
    ChildProcess child;
    ASSERT_TRUE(child.start(QStringLiteral("/bin/false"), {}));
    ASSERT_TRUE(child.waitForFinished(5000));
    EXPECT_TRUE(child.waitForFinished(0)); // an ended child stays ended
    EXPECT_TRUE(child.exitedNormally());
    EXPECT_EQ(child.exitCode(), 1);
}

} // namespace
