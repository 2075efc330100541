// A whole search, headless, through the comparison run's own interface, over
// a generated folder of 2,000 images with many pairs of near sizes; and
// `jdupes -r` over the same folder in the same run as a reference.
#include "search/ComparisonRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "HeadlessView.h"
#include "QtBenchmarkMain.h"

#include <memory>

namespace {

constexpr int kImages = 2000;

QImage picture(QRandomGenerator& random, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    // Smooth areas with some noise, so JPEG sizes spread like photos.
    const int r = int(random.bounded(256));
    const int g = int(random.bounded(256));
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgb((r + x) % 256, (g + y) % 256, int(random.bounded(32)) + (x ^ y) % 200);
    }
    return image;
}

// 2,000 files: BMP pictures of a few sizes (every neighbour is within 200
// bytes), JPEG pictures whose sizes crowd together, and one copy in ten.
struct SearchFolder {
    SearchFolder(const QString& extension, const char* format, int count)
    {
        QRandomGenerator random(11);
        const QSize sizes[] = {{64, 48}, {48, 64}, {80, 60}, {120, 90}};
        int written = 0;
        for (int i = 0; written < count; ++i) {
            const QString name = dir.filePath(
                QStringLiteral("img%1.%2").arg(i, 5, 10, QLatin1Char('0')).arg(extension));
            const QSize size = sizes[random.bounded(4)];
            picture(random, size.width(), size.height()).save(name, format, 85);
            ++written;
            if (written < count && i % 10 == 0) {
                QFile::copy(name,
                    dir.filePath(QStringLiteral("img%1 copy.%2")
                                     .arg(i, 5, 10, QLatin1Char('0'))
                                     .arg(extension)));
                ++written;
            }
        }
    }
    QTemporaryDir dir;
};

SearchFolder& mixedFolder()
{
    static std::unique_ptr<SearchFolder> folder;
    if (!folder) {
        // Half BMP, half JPEG, in one folder.
        folder = std::make_unique<SearchFolder>(QStringLiteral("bmp"), "BMP", kImages / 2);
        SearchFolder jpegs(QStringLiteral("jpg"), "JPG", kImages / 2);
        for (const QString& name : QDir(jpegs.dir.path()).entryList(QDir::Files))
            QFile::rename(
                jpegs.dir.filePath(name), folder->dir.filePath(QStringLiteral("j") + name));
    }
    return *folder;
}

void runSearch(
    benchmark::State& state, const QString& folder, const QString& programFolder, int files)
{
    QTemporaryDir scratch;
    int pairs = 0;
    for (auto _ : state) {
        HeadlessView view;
        ComparisonRun run(view, programFolder, scratch.path());
        run.start(folder);
        while (run.pairOnShow())
            run.actOn(Side::Right, ComparisonRun::ActOutcome::EntryRemoved);
        if (!view.finished)
            state.SkipWithError("search did not finish");
        pairs = view.pairs;
    }
    state.counters["pairs_shown"] = pairs;
    state.counters["files_per_s"]
        = benchmark::Counter(double(files) * state.iterations(), benchmark::Counter::kIsRate);
}

void BM_SearchBmpJpeg(benchmark::State& state)
{
    QTemporaryDir noConverter;
    runSearch(state, mixedFolder().dir.path(), noConverter.path(), kImages);
}

// PNG files through the real converter, one process per decoded picture.
void BM_SearchPngThroughConverter(benchmark::State& state)
{
    const QString programFolder = QStringLiteral(CORVANE_BIN_DIR);
    if (!QFileInfo(programFolder + QStringLiteral("/i__view32.exe")).isExecutable()) {
        state.SkipWithError("i__view32.exe not built");
        return;
    }
    static SearchFolder pngs(QStringLiteral("png"), "PNG", 200);
    runSearch(state, pngs.dir.path(), programFolder, 200);
}

// Reference: jdupes over the same folder (byte-identical files only, a
// different question, but the same files read from the same disk).
void BM_JdupesReference(benchmark::State& state)
{
    const QString jdupes = QStandardPaths::findExecutable(QStringLiteral("jdupes"));
    if (jdupes.isEmpty()) {
        state.SkipWithError("jdupes not installed");
        return;
    }
    const QString folder = mixedFolder().dir.path();
    for (auto _ : state) {
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(jdupes, {QStringLiteral("-r"), QStringLiteral("-q"), folder});
        process.waitForFinished(-1);
    }
    state.counters["files_per_s"]
        = benchmark::Counter(double(kImages) * state.iterations(), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(BM_SearchBmpJpeg)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_JdupesReference)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SearchPngThroughConverter)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

int main(int argc, char** argv)
{
    return runQtBenchmarks(argc, argv);
}
