// The trash tests' own entry point: GLib reads HOME and XDG_DATA_HOME once per
// process, so the temporary home must be in force before any test starts.
// With --home-only XDG_DATA_HOME is unset and the home has no .local/share.
#include "TrashTestHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstring>
#include <gtest/gtest.h>

namespace {
QString g_dataHome;
}

// GIO 2.74 drops two small strings when a trash fails after it has built the
// record (the locked-folder test). That leak is GLib's, not Corvane's.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libgio-2.0.so\n";
}
// Full stacks on allocation, so that the suppression sees the GIO frame.
extern "C" const char* __asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}

QString TrashTestHome::dataHome()
{
    return g_dataHome;
}

int main(int argc, char** argv)
{
    bool homeOnly = false;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--home-only") == 0)
            homeOnly = true;
        else
            argv[kept++] = argv[i];
    }
    argc = kept;

    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/corvane-home-XXXXXX"));
    if (!home.isValid())
        return 1;
    qputenv("HOME", QFile::encodeName(home.path()));
    if (homeOnly) {
        qunsetenv("XDG_DATA_HOME");
        g_dataHome = home.path() + QStringLiteral("/.local/share");
    } else {
        // Neither this folder nor its parent exists yet.
        g_dataHome = home.path() + QStringLiteral("/data home/xdg");
        qputenv("XDG_DATA_HOME", QFile::encodeName(g_dataHome));
    }
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
