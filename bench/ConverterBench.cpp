// Times one conversion of a tiny PNG, a 12-megapixel PNG, TIFF and JPEG 2000
// and a 24-megapixel JPEG 2000 into a bitmap by Corvane's converter against
// ImageMagick's convert on the same file, both started as processes, and
// prints the ratios (goal: Corvane at most half of convert's time). For the
// 12-megapixel PNG it also times the decode alone in this process, by
// Corvane's decoding library and by libpng's own simplified reader, to show
// how much of a conversion is decoding. Also measures the converter's peak
// memory on a 24-megapixel image of each type against the 96 MB of one
// 32-bit pixel buffer.

#include "PhotoLike.h"
#include "decoding/MappedFile.h"
#include "decoding/PictureDecoders.h"

#include <png.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const QString kConverter = QStringLiteral(CORVANE_BIN_DIR "/i__view32.exe");

QTemporaryDir* g_folder = nullptr;
QString g_imageMagick;
std::map<std::string, double> g_seconds; // benchmark name -> mean real time

bool runProgram(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

QString inputPath(const char* name)
{
    return g_folder->filePath(QLatin1String(name));
}

// Writes the test files: PNG and TIFF by Qt, JPEG 2000 by ImageMagick.
bool prepareImages(const char* tag, int width, int height)
{
    const QImage image = photoLike(width, height);
    const QString png = g_folder->filePath(QStringLiteral("%1.png").arg(QLatin1String(tag)));
    const QString tif = g_folder->filePath(QStringLiteral("%1.tif").arg(QLatin1String(tag)));
    const QString jp2 = g_folder->filePath(QStringLiteral("%1.jp2").arg(QLatin1String(tag)));
    if (!image.save(png) || !QImageWriter(tif, "tiff").write(image))
        return false;
    return runProgram(g_imageMagick, {png, jp2});
}

void convertWithCorvane(benchmark::State& state, const char* input)
{
    const QString out = g_folder->filePath(QStringLiteral("corvane.bmp"));
    for (auto _ : state) {
        if (!runProgram(kConverter, {inputPath(input), QStringLiteral("/convert=") + out}))
            state.SkipWithError("i__view32.exe failed");
    }
}

void convertWithImageMagick(benchmark::State& state, const char* input)
{
    const QString out = QStringLiteral("BMP3:") + g_folder->filePath(QStringLiteral("magick.bmp"));
    for (auto _ : state) {
        if (!runProgram(g_imageMagick, {inputPath(input), out}))
            state.SkipWithError("convert failed");
    }
}

decoding::MappedFile mapped(const char* input)
{
    return decoding::MappedFile::open(QFile::encodeName(inputPath(input)).toStdString());
}

// Corvane's decoding library in this process, to 8-bit RGBA as the converter asks.
void decodeInProcess(benchmark::State& state, const char* input)
{
    const decoding::MappedFile file = mapped(input);
    for (auto _ : state) {
        const decoding::DecodeOutcome outcome
            = decoding::decode(file.bytes(), {.eightBit = true, .firstFrameOnly = true});
        if (outcome.status != decoding::DecodeStatus::Ok)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(outcome.picture.frames.data());
    }
}

// libpng's own simplified reader to 8-bit RGBA: the floor of a PNG decode.
void decodeWithLibpng(benchmark::State& state, const char* input)
{
    const decoding::MappedFile file = mapped(input);
    std::vector<std::uint8_t> pixels;
    for (auto _ : state) {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_memory(&image, file.bytes().data(), file.size())) {
            state.SkipWithError("libpng cannot read the file");
            break;
        }
        image.format = PNG_FORMAT_RGBA;
        pixels.resize(PNG_IMAGE_SIZE(image));
        if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr))
            state.SkipWithError("libpng decode failed");
        benchmark::DoNotOptimize(pixels.data());
    }
}

class RecordingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0 && !run.error_occurred)
                g_seconds[run.run_name.function_name]
                    = run.real_accumulated_time / double(run.iterations);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

// Peak resident memory of one run of the converter, in MB (10^6 bytes).
double peakMegabytes(const QStringList& arguments)
{
    const QByteArray program = QFile::encodeName(kConverter);
    std::vector<QByteArray> encoded;
    for (const QString& a : arguments)
        encoded.push_back(QFile::encodeName(a));
    std::vector<char*> argv{const_cast<char*>(program.constData())};
    for (QByteArray& a : encoded)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status)
        || WEXITSTATUS(status) != 0)
        return -1;
    return double(usage.ru_maxrss) * 1024.0 / 1e6; // ru_maxrss is in KiB
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    // The real ImageMagick, not a wrapper script in front of it.
    g_imageMagick = QFile::exists(QStringLiteral("/usr/bin/convert"))
        ? QStringLiteral("/usr/bin/convert")
        : QStandardPaths::findExecutable(QStringLiteral("convert"));
    if (g_imageMagick.isEmpty() || !QFile::exists(kConverter)) {
        fprintf(stderr, "needs ImageMagick's convert and %s\n", qPrintable(kConverter));
        return 1;
    }
    QTemporaryDir folder;
    g_folder = &folder;
    if (!prepareImages("12mp", 4000, 3000) || !prepareImages("24mp", 6000, 4000)
        || !photoLike(64, 48).save(inputPath("tiny.png"))) {
        fprintf(stderr, "cannot write the test images\n");
        return 1;
    }

    const char* inputs[] = {"tiny.png", "12mp.png", "12mp.tif", "12mp.jp2", "24mp.jp2"};
    for (const char* input : inputs) {
        benchmark::RegisterBenchmark(
            (std::string("Corvane/") + input).c_str(), convertWithCorvane, input)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(
            (std::string("ImageMagick/") + input).c_str(), convertWithImageMagick, input)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::RegisterBenchmark("InProcess/decoding/12mp.png", decodeInProcess, "12mp.png")
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("InProcess/libpng/12mp.png", decodeWithLibpng, "12mp.png")
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    printf("\nTime of i__view32.exe / time of ImageMagick's convert (goal: at most 0.5)\n");
    for (const char* input : inputs) {
        const double corvane = g_seconds[std::string("Corvane/") + input];
        const double magick = g_seconds[std::string("ImageMagick/") + input];
        if (corvane > 0 && magick > 0)
            printf("  %-10s %8.1f ms vs %8.1f ms   ratio %.2f%s\n", input, corvane * 1e3,
                magick * 1e3, corvane / magick, corvane / magick <= 0.5 ? "" : "  (goal missed)");
    }
    const double library = g_seconds["InProcess/decoding/12mp.png"];
    const double libpng = g_seconds["InProcess/libpng/12mp.png"];
    const double conversion = g_seconds["Corvane/12mp.png"];
    if (library > 0 && libpng > 0 && conversion > 0)
        printf("\n12 MP PNG: conversion %.1f ms, decoding library in process %.1f ms, libpng's "
               "own reader %.1f ms (conversion / libpng %.2f)\n",
            conversion * 1e3, library * 1e3, libpng * 1e3, conversion / libpng);

    printf("\nPeak resident memory of i__view32.exe, 24-megapixel image "
           "(one 32-bit pixel buffer: %.0f MB)\n",
        6000.0 * 4000.0 * 4 / 1e6);
    const QString out = QStringLiteral("/convert=") + inputPath("memory.bmp");
    for (const char* input : {"24mp.png", "24mp.tif", "24mp.jp2"})
        printf("  %-10s %7.1f MB\n", input, peakMegabytes({inputPath(input), out}));
    return 0;
}
