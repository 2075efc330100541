// corvane-find: prints every group of pixel-identical pictures in the given
// folders (see findUsage() for the command line and the report forms).
#include "cli/FindArguments.h"
#include "cli/FindReport.h"
#include "cli/ProgressLine.h"
#include "finder/Finder.h"

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
        return writeAll(STDOUT_FILENO, "corvane-find " CORVANE_VERSION "\n") ? 0 : 1;
    const QString folderProblem = unreadableFolder(arguments.folders);
    if (!folderProblem.isEmpty())
        return usageError(folderProblem);

    // For Qt's image reader plugins and the cache folder; no display needed.
    QCoreApplication application(argc, argv);

    FinderOptions options;
    options.folders = arguments.folders;
    options.recursive = arguments.recursive;
    options.useCache = !arguments.noCache;
    options.samePhoto = arguments.similar;
    Finder finder(options);

    ProgressLine progressLine;
    Finder::ProgressCallback progress;
    if (isatty(STDERR_FILENO))
        progress = [&](const FinderProgress& report) { progressLine.show(STDERR_FILENO, report); };
    const FinderResult result = finder.run(nullptr, progress);
    progressLine.clear(STDERR_FILENO);
    if (!finder.stats().cacheProblem.isEmpty() && !arguments.noCache) {
        writeAll(STDERR_FILENO,
            "corvane-find: note: fingerprint cache " + finder.stats().cacheProblem.toUtf8()
                + (finder.stats().cacheUsed ? QByteArray(" (made anew)\n")
                                            : QByteArray(" (not used)\n")));
    }

    QByteArray report;
    switch (arguments.format) {
    case FindArguments::Format::Text:
        report = findreport::text(result);
        writeAll(STDERR_FILENO, findreport::unreadableLines(result));
        break;
    case FindArguments::Format::Json:
        report = findreport::json(result);
        break;
    case FindArguments::Format::Csv:
        report = findreport::csv(result);
        break;
    }
    if (!writeAll(STDOUT_FILENO, report)) {
        writeAll(STDERR_FILENO, "corvane-find: the report could not be written\n");
        return 1;
    }
    return 0;
}
