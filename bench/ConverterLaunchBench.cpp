// What one converter start costs from a window process that holds two
// 24-megapixel pictures (2 x 96 MB touched): QProcess against posix_spawn
// (ChildProcess, which the converter client uses). Both start /bin/true and
// wait for its end, so the figure is the launch alone.

#include "search/ChildProcess.h"

#include <QCoreApplication>
#include <QImage>
#include <QProcess>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

namespace {

const QString kProgram = QStringLiteral("/bin/true");

void launchWithQProcess(benchmark::State& state)
{
    for (auto _ : state) {
        QProcess process;
        process.setStandardInputFile(QProcess::nullDevice());
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(kProgram, {});
        if (!process.waitForFinished(5000) || process.exitCode() != 0)
            state.SkipWithError("QProcess run failed");
    }
}

void launchWithPosixSpawn(benchmark::State& state)
{
    for (auto _ : state) {
        ChildProcess process;
        if (!process.start(kProgram, {}) || !process.waitForFinished(5000)
            || process.exitCode() != 0)
            state.SkipWithError("posix_spawn run failed");
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    // Two pictures of a pair on show, every page touched; CORVANE_LAUNCH_PICTURES
    // sets another count, to see how each start grows with the process.
    const int count = qEnvironmentVariableIsSet("CORVANE_LAUNCH_PICTURES")
        ? qEnvironmentVariableIntValue("CORVANE_LAUNCH_PICTURES")
        : 2;
    std::vector<QImage> pictures;
    for (int i = 0; i < count; ++i) {
        pictures.emplace_back(6000, 4000, QImage::Format_ARGB32);
        pictures.back().fill(0xff102030 + uint(i));
    }
    benchmark::RegisterBenchmark("Launch/QProcess", launchWithQProcess)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("Launch/posix_spawn", launchWithPosixSpawn)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RunSpecifiedBenchmarks();
    std::printf("(process held %d pictures of 24 megapixels, %.0f MB)\n", count,
        double(count) * 6000 * 4000 * 4 / 1e6);
    return 0;
}
