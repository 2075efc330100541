// corvane-find: prints every group of pixel-identical pictures in the given
// folders (see findUsage() for the command line and the report forms).
#include "CorvaneVersion.h"
#include "cli/FindArguments.h"
#include "cli/ProgressLine.h"
#include "finder/Finder.h"
#include "finder/IgnoreList.h"
#include "finder/StopSignals.h"
#include "report/ReportWriters.h"

#include "files/WholeIo.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kUsageError = 2;

bool writeAll(int fd, const QByteArray& bytes)
{
    return ::writeAll(fd, bytes.constData(), std::size_t(bytes.size())) == 0;
}

int usageError(const QString& message)
{
    writeAll(STDERR_FILENO,
        "corvane-find: " + message.toUtf8() + " (corvane-find --help shows how to use it)\n");
    return kUsageError;
}

// Each folder must be one that can be listed; the message names the first that cannot.
QString unreadableFolder(const QList<QByteArray>& folders)
{
    for (const QByteArray& folder : folders) {
        const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) {
            return QStringLiteral("cannot read folder '%1': %2")
                .arg(QString::fromLocal8Bit(folder), QString::fromLocal8Bit(std::strerror(errno)));
        }
        ::close(fd);
    }
    return QString();
}

} // namespace

int main(int argc, char** argv)
{
    const FindArguments arguments = FindArguments::parse(argc, argv);
    if (!arguments.error.isEmpty())
        return usageError(arguments.error);
    if (arguments.help)
        return writeAll(STDOUT_FILENO, findUsage().toUtf8()) ? 0 : 1;
    if (arguments.version)
        return writeAll(STDOUT_FILENO, "corvane-find " + QByteArray(kCorvaneVersion) + "\n") ? 0
                                                                                             : 1;
    QString folderProblem = unreadableFolder(arguments.folders);
    if (folderProblem.isEmpty())
        folderProblem = unreadableFolder(arguments.protectedFolders);
    if (!folderProblem.isEmpty())
        return usageError(folderProblem);

    // For Qt's image reader plugins and the cache folder; no display needed.
    QCoreApplication application(argc, argv);

    if (arguments.forgetIgnored) {
        const QString problem = finder::IgnoreList::forget(finder::IgnoreList::defaultPath());
        if (!problem.isEmpty()) {
            writeAll(STDERR_FILENO,
                "corvane-find: the list of ignored groups could not be cleared: " + problem.toUtf8()
                    + '\n');
            return 1;
        }
        if (arguments.folders.isEmpty())
            return 0;
    }

    FinderOptions options;
    options.folders = arguments.folders;
    options.recursive = arguments.recursive;
    options.anyName = arguments.anyName;
    options.useCache = !arguments.noCache;
    options.samePhoto = arguments.similar;
    options.excludes = arguments.excludes;
    options.minimumSize = arguments.minimumSize;
    options.protectedFolders = arguments.protectedFolders;
    options.useIgnoreList = true;
    options.showIgnored = arguments.showIgnored;
    QString ignoreProblem;
    finder::IgnoreList::load(finder::IgnoreList::defaultPath(), &ignoreProblem);
    if (!ignoreProblem.isEmpty()) {
        writeAll(STDERR_FILENO,
            "corvane-find: note: the list of groups judged not duplicates was not used: "
                + ignoreProblem.toUtf8() + '\n');
    }
    Finder finder(options);

    ProgressLine progressLine;
    Finder::ProgressCallback progress;
    if (isatty(STDERR_FILENO))
        progress = [&](const FinderProgress& report) { progressLine.show(STDERR_FILENO, report); };
    // SIGINT or SIGTERM stops the search, keeping what it learned in the cache.
    const FinderResult result = finder.run(finder::stopOnTerminationSignals(), progress);
    progressLine.clear(STDERR_FILENO);
    if (result.cancelled)
        finder::endBySignalIfOneCame();
    if (!finder.stats().cacheProblem.isEmpty() && !arguments.noCache) {
        writeAll(STDERR_FILENO,
            findreport::cacheNote(finder.stats().cacheProblem, finder.stats().cacheUsed));
    }

    QByteArray report;
    switch (arguments.format) {
    case FindArguments::Format::Text:
        report = findreport::text(result);
        writeAll(
            STDERR_FILENO, findreport::unreadableLines(result) + findreport::summaryLine(result));
        break;
    case FindArguments::Format::Json:
        report = findreport::json(result); // the counts are in the document
        break;
    case FindArguments::Format::Csv:
        report = findreport::csv(result);
        writeAll(STDERR_FILENO, findreport::summaryLine(result));
        break;
    }
    if (!writeAll(STDOUT_FILENO, report)) {
        writeAll(STDERR_FILENO, "corvane-find: the report could not be written\n");
        return 1;
    }
    return 0;
}
