// The whole-folder search against its floor, as separate runs whose figures
// scripts/bench-finder reads ("key value" lines on standard output):
//
//   FinderBench floor FOLDER...    decodes every picture of the folders once,
//                                  on one thread, with Qt's readers for JPEG,
//                                  BMP and GIF and the decoding library for
//                                  the rest, nothing else: the Qt floor.
//   FinderBench fastest FOLDER...  the same with the fastest library for each
//                                  type, called directly (FastestLibraryDecode.h):
//                                  the floor once Corvane is faster than Qt.
//   FinderBench search [--threads=N] [--cache=PATH] [--similar] FOLDER...
//                                  one whole search (with subfolders); with a
//                                  cache path the cache is used as it is
//                                  (delete it first for a cold search); with
//                                  --similar, the same-photo search too.
//
// Both print seconds, files and the peak resident memory of the process.
#include "FastestLibraryDecode.h"
#include "decoding/PictureDecoders.h"
#include "decoding/PictureType.h"
#include "finder/Finder.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QImageReader>

#include <chrono>
#include <cstdio>
#include <cstring>

#include <sys/resource.h>

namespace {

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Processor time of all threads so far, user and system.
double processorSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long peakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Qt's reader, for BMP, JPEG and GIF; the decoding library for the rest.
bool decodeWithQtReaders(decoding::Bytes view)
{
    const decoding::PictureType type = decoding::detectType(view);
    if (decoding::decodesPixels(type))
        return decoding::decode(view).status == decoding::DecodeStatus::Ok;
    QByteArray bytes = QByteArray::fromRawData(
        reinterpret_cast<const char*>(view.data()), qsizetype(view.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    QImage image;
    return reader.read(&image);
}

bool decodeWithFastestLibraries(decoding::Bytes view)
{
    return fastest::decode(view, decodeWithQtReaders);
}

// Reads and decodes every file of the folders once, on this thread.
int floor(const QStringList& folders, bool (*decodeOnce)(decoding::Bytes))
{
    QStringList files;
    for (const QString& folder : folders) {
        QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
    }
    const auto start = std::chrono::steady_clock::now();
    const double processorStart = processorSeconds();
    int failed = 0;
    for (const QString& path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            ++failed;
            continue;
        }
        const QByteArray bytes = file.readAll();
        failed += decodeOnce({reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                      std::size_t(bytes.size())})
            ? 0
            : 1;
    }
    std::printf("seconds %.6f\ncpu_seconds %.6f\nfiles %lld\nfailed %d\npeak_kb %ld\n",
        seconds(start), processorSeconds() - processorStart, static_cast<long long>(files.size()),
        failed, peakKilobytes());
    return failed == 0 ? 0 : 1;
}

int search(const QStringList& arguments)
{
    FinderOptions options;
    options.recursive = true;
    options.useCache = false;
    for (const QString& argument : arguments) {
        if (argument.startsWith(QLatin1String("--threads=")))
            options.threads = argument.mid(10).toInt();
        else if (argument.startsWith(QLatin1String("--cache="))) {
            options.useCache = true;
            options.cachePath = argument.mid(8);
            options.cacheSettleNs = 0; // the folders were written moments ago
        } else if (argument == QLatin1String("--similar"))
            options.samePhoto = true;
        else
            options.folders << QFile::encodeName(argument);
    }
    const auto start = std::chrono::steady_clock::now();
    const double processorStart = processorSeconds();
    Finder finder(options);
    const FinderResult result = finder.run();
    const double elapsed = seconds(start);
    std::printf("cpu_seconds %.6f\n", processorSeconds() - processorStart);
    std::int64_t grouped = 0;
    for (const DuplicateGroup& group : result.groups)
        grouped += std::int64_t(group.files.size());
    std::printf(
        "seconds %.6f\nfiles %lld\ngroups %zu\ngrouped_files %lld\nunreadable %zu\ndecoded %lld\n"
        "cache_hits %lld\npeak_kb %ld\n",
        elapsed, static_cast<long long>(result.filesExamined), result.groups.size(),
        static_cast<long long>(grouped), result.unreadable.size(),
        static_cast<long long>(finder.stats().decoded),
        static_cast<long long>(finder.stats().cacheHits), peakKilobytes());
    // The worker timeline: per stage, seconds with 0, 1, ... tasks running at once.
    for (const WorkSpread& spread : finder.stats().spread) {
        std::printf("spread_%s tasks %lld seconds %.4f running", qPrintable(spread.stage),
            static_cast<long long>(spread.tasks), spread.seconds);
        for (double seconds : spread.secondsRunning)
            std::printf(" %.4f", seconds);
        std::printf("\n");
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    if (arguments.size() >= 2 && arguments.front() == QLatin1String("floor"))
        return floor(arguments.mid(1), decodeWithQtReaders);
    if (arguments.size() >= 2 && arguments.front() == QLatin1String("fastest"))
        return floor(arguments.mid(1), decodeWithFastestLibraries);
    if (arguments.size() >= 2 && arguments.front() == QLatin1String("search"))
        return search(arguments.mid(1));
    std::fprintf(stderr,
        "usage: FinderBench floor|fastest FOLDER... | search [--threads=N] [--cache=PATH] "
        "FOLDER...\n");
    return 2;
}
