// Test entry point shared by every Corvane test program: a QApplication
// (offscreen unless the environment says otherwise) around GoogleTest.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A window that starts the update check must not look up the maker's
    // site from a test: point it at a local port where nothing listens.
    if (qEnvironmentVariableIsEmpty("CORVANE_SITE"))
        qputenv("CORVANE_SITE", "http://127.0.0.1:9");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
