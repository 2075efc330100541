// corvane [FOLDER]: the window. With a folder, the search of that folder
// starts at once, as if it had been picked in the folder picker.
#include "CorvaneVersion.h"
#include "shell/Form1.h"
#include "shell/SystemDesktop.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {

constexpr int kUsageError = 2;

const char kUsage[] = R"(Usage: corvane [FOLDER]

Opens Corvane's window. With FOLDER, the search of that folder starts at once,
as if it had been picked in the folder picker, with the check boxes chosen last
time. With none ticked, Corvane compares neighbours in size order in its main
window. "Compare every picture, whatever its size" or "Include subfolders"
switch to the whole-folder search: every group of identical pictures, whatever
their sizes, types and folders, in the review window. "Also find the same photo
saved differently" adds the same photo re-saved, resized or converted.

  -h, --help    show this text
  --version     show the version

Qt's own options (-style, -platform, -display, ...) are accepted too.
corvane-find searches from the command line without a window; see
corvane-find --help and the manual pages corvane(1) and corvane-find(1).
)";

int usageError(const QString& message)
{
    std::fprintf(stderr, "corvane: %s (corvane --help shows how to use it)\n",
        message.toLocal8Bit().constData());
    return kUsageError;
}

} // namespace

int main(int argc, char** argv)
{
    // Answered before QApplication exists: it needs a display, these do not.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            break;
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return std::fputs(kUsage, stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 1;
        if (std::strcmp(argv[i], "--version") == 0)
            return std::printf("corvane %s\n", kCorvaneVersion) >= 0 && std::fflush(stdout) == 0
                ? 0
                : 1;
    }

    QApplication app(argc, argv); // takes its own options out of the arguments
    QApplication::setOrganizationName(QStringLiteral("Corvane"));
    QApplication::setApplicationName(QStringLiteral("Corvane"));

    QStringList folders;
    bool options = true;
    for (const QString& argument : QApplication::arguments().mid(1)) {
        if (options && argument == QLatin1String("--"))
            options = false;
        else if (options && argument.startsWith(QLatin1Char('-')) && argument != QLatin1String("-"))
            return usageError(QStringLiteral("unknown option '%1'").arg(argument));
        else
            folders << argument;
    }
    if (folders.size() > 1)
        return usageError(QStringLiteral("one folder at most"));

    SystemDesktop desktop;
    Form1 window(&desktop);
    window.Form_Load();
    if (!folders.isEmpty()) {
        const QString folder = folders.first();
        QTimer::singleShot(0, &window, [&window, folder] { window.searchFolder(folder); });
    }
    return app.exec();
}
