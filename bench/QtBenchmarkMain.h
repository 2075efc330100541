#pragma once
// The main() of a benchmark program that needs Qt's core application object
// (image plugins, event-loop turns of a search) but no window.

#include <QCoreApplication>

#include <benchmark/benchmark.h>

inline int runQtBenchmarks(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
