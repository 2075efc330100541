// A whole search to its closing message over a folder without duplicates
// whose neighbours all lie within the size window, against its floor measured
// in the same run: decoding every image of the folder once, in one process,
// with the fastest readers there are (Qt's for BMP, JPEG and GIF; libpng,
// libtiff and OpenJPEG through Corvane's decoding library for the rest). No
// pixel-level search can beat that. A second, labelled figure decodes each
// image once the way the search does (the converter process for PNG, TIFF
// and JPEG 2000), the floor of earlier rounds. The folder comes from
// BenchImageCache (search2000).
//
// Usage: SearchFloorBench --folder=<folder> [benchmark flags]
#include "HeadlessView.h"
#include "decoding/MappedFile.h"
#include "decoding/PictureDecoders.h"
#include "search/CandidateEntry.h"
#include "search/ComparisonRun.h"
#include "search/ConverterClient.h"
#include "search/PictureDecoder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>

namespace {

const QString kProgramFolder = QStringLiteral(CORVANE_BIN_DIR);
QString g_folder;

QStringList candidatePaths()
{
    QStringList paths;
    for (const QFileInfo& info : QDir(g_folder).entryInfoList(QDir::Files, QDir::Name)) {
        if (CandidateEntry::isCandidateType(CandidateEntry::imageType(info.fileName())))
            paths << info.filePath();
    }
    return paths;
}

// Decodes every picture once in this process with the fastest reader for its
// content; the number that failed.
int decodeAllInProcess(const QStringList& paths)
{
    int failed = 0;
    for (const QString& path : paths) {
        const decoding::MappedFile file
            = decoding::MappedFile::open(QFile::encodeName(path).toStdString());
        if (!file.ok()) {
            ++failed;
            continue;
        }
        if (decoding::decodesPixels(decoding::detectType(file.bytes()))) {
            const decoding::DecodeOutcome outcome = decoding::decode(file.bytes());
            if (outcome.status != decoding::DecodeStatus::Ok)
                ++failed;
            benchmark::DoNotOptimize(outcome.picture.frames.data());
            continue;
        }
        QImageReader reader(path);
        const QImage image = reader.read();
        if (image.isNull())
            ++failed;
        benchmark::DoNotOptimize(image.constBits());
    }
    return failed;
}

// Decodes every picture once as the search does (the converter process for
// PNG, TIFF and JPEG 2000); the number that failed.
int decodeAll(const QStringList& paths, const QString& scratch)
{
    ConverterClient converter(kProgramFolder, scratch);
    PictureDecoder decoder(&converter);
    int failed = 0;
    for (const QString& path : paths) {
        const QImage image = decoder.decode(path);
        if (image.isNull())
            ++failed;
        benchmark::DoNotOptimize(image.constBits());
    }
    return failed;
}

void BM_DecodeFloor(benchmark::State& state)
{
    const QStringList paths = candidatePaths();
    int failed = 0;
    for (auto _ : state)
        failed = decodeAllInProcess(paths);
    if (failed > 0)
        state.SkipWithError("some pictures did not decode");
    state.counters["files"] = double(paths.size());
}

void BM_DecodeThroughConverter(benchmark::State& state)
{
    const QStringList paths = candidatePaths();
    QTemporaryDir scratch;
    int failed = 0;
    for (auto _ : state)
        failed = decodeAll(paths, scratch.path());
    if (failed > 0)
        state.SkipWithError("some pictures did not decode");
    state.counters["files"] = double(paths.size());
}

void BM_WholeSearch(benchmark::State& state)
{
    QTemporaryDir scratch;
    HeadlessView view;
    for (auto _ : state) {
        view = HeadlessView();
        ComparisonRun run(view, kProgramFolder, scratch.path());
        run.start(g_folder);
        while (run.pairOnShow())
            run.actOn(Side::Right, ComparisonRun::ActOutcome::EntryRemoved);
    }
    if (!view.finished)
        state.SkipWithError("the search did not finish");
    else if (view.pairs > 0)
        state.SkipWithError("the folder holds duplicates: every step must decode, none show");
    state.counters["files"] = double(candidatePaths().size());
}

} // namespace

// Alternating, so that both see the same machine state.
BENCHMARK(BM_DecodeFloor)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_DecodeThroughConverter)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_WholeSearch)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--folder=", 9) == 0)
            g_folder = QString::fromLocal8Bit(argv[i] + 9);
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    if (g_folder.isEmpty()
        || !QFileInfo(kProgramFolder + QStringLiteral("/i__view32.exe")).isExecutable()) {
        fprintf(stderr, "usage: SearchFloorBench --folder=<folder> (needs i__view32.exe built)\n");
        return 2;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    // Read the folder once so that neither side pays for a cold disk cache.
    {
        QTemporaryDir scratch;
        decodeAll(candidatePaths(), scratch.path());
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
