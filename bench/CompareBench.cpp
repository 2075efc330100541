// Pixel comparison against plain memcmp over the same bytes, and the folder
// scan against a QDirIterator listing of the same folder.
#include "search/CandidateEntry.h"
#include "search/CandidateList.h"
#include "search/ModImageCompare.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "QtBenchmarkMain.h"

#include <chrono>
#include <cstring>
#include <map>
#include <memory>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000; // 24 megapixels

struct Pictures {
    QImage first;
    QImage second;
};

// Two identical pictures in separate buffers, so nothing is shared.
const Pictures& pictures(QImage::Format format)
{
    static std::map<int, Pictures> cache;
    auto found = cache.find(format);
    if (found != cache.end())
        return found->second;
    QImage first(kWidth, kHeight, format);
    auto* words = reinterpret_cast<quint32*>(first.bits());
    QRandomGenerator random(7);
    for (qsizetype i = 0; i < first.sizeInBytes() / 4; ++i)
        words[i] = random.generate() | 0xff000000u;
    QImage second = first.copy();
    return cache[format] = Pictures{first, second};
}

void setBytes(benchmark::State& state, const QImage& image)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * image.sizeInBytes());
}

void BM_ComparePicturesArgb32(benchmark::State& state)
{
    const Pictures& p = pictures(QImage::Format_ARGB32);
    for (auto _ : state)
        benchmark::DoNotOptimize(ModImageCompare::ComparePictures(p.first, p.second));
    setBytes(state, p.first);
}

void BM_ComparePicturesRgb32(benchmark::State& state)
{
    // The layout of decoded JPEG and BMP files.
    const Pictures& p = pictures(QImage::Format_RGB32);
    for (auto _ : state)
        benchmark::DoNotOptimize(ModImageCompare::ComparePictures(p.first, p.second));
    setBytes(state, p.first);
}

void BM_ComparePicturesMixed(benchmark::State& state)
{
    // ARGB32 against RGB32: the unused byte is masked, nothing converted.
    const Pictures& a = pictures(QImage::Format_ARGB32);
    const Pictures& b = pictures(QImage::Format_RGB32);
    for (auto _ : state)
        benchmark::DoNotOptimize(ModImageCompare::CompareBuffers(a.first, b.second));
    setBytes(state, a.first);
}

void BM_Memcmp(benchmark::State& state)
{
    const Pictures& p = pictures(QImage::Format_ARGB32);
    for (auto _ : state)
        benchmark::DoNotOptimize(
            std::memcmp(p.first.constBits(), p.second.constBits(), size_t(p.first.sizeInBytes())));
    setBytes(state, p.first);
}

// Both in one loop, so the ratio comes from the same conditions.
void BM_CompareToMemcmpRatio(benchmark::State& state)
{
    const Pictures& p = pictures(QImage::Format_ARGB32);
    double compareSeconds = 0;
    double memcmpSeconds = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(ModImageCompare::ComparePictures(p.first, p.second));
        auto t1 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(
            std::memcmp(p.first.constBits(), p.second.constBits(), size_t(p.first.sizeInBytes())));
        auto t2 = std::chrono::steady_clock::now();
        compareSeconds += std::chrono::duration<double>(t1 - t0).count();
        memcmpSeconds += std::chrono::duration<double>(t2 - t1).count();
    }
    // Speed of ComparePictures as a share of memcmp's speed (1.0 = as fast).
    state.counters["speed_vs_memcmp"] = memcmpSeconds / compareSeconds;
}

constexpr int kScanFiles = 20000;

// A folder of 20,000 entries: three in four are candidates, the rest other
// files, plus a few folders and links the scan must leave out.
const QString& scanFolder()
{
    static std::unique_ptr<QTemporaryDir> dir;
    static QString folder;
    if (dir)
        return folder;
    dir = std::make_unique<QTemporaryDir>();
    folder = dir->path() + QLatin1Char('/');
    const char* types[] = {"jpg", "png", "bmp", "txt", "gif", "tif", "jp2", "doc"};
    for (int i = 0; i < kScanFiles; ++i) {
        QFile file(folder + QStringLiteral("file %1.%2").arg(i).arg(QLatin1String(types[i % 8])));
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray(i % 997, 'x'));
    }
    for (int i = 0; i < 50; ++i) {
        QFile::link(folder + QStringLiteral("file %1.jpg").arg(i * 8),
            folder + QStringLiteral("link %1.jpg").arg(i));
    }
    return folder;
}

void BM_CandidateScan(benchmark::State& state)
{
    const QString& folder = scanFolder();
    int found = 0;
    for (auto _ : state) {
        CandidateList list;
        found = list.scan(folder);
        benchmark::DoNotOptimize(list.count());
    }
    state.counters["candidates"] = found;
    state.counters["files_per_s"]
        = benchmark::Counter(double(kScanFiles) * state.iterations(), benchmark::Counter::kIsRate);
}

// Reference: the same selection through QDirIterator and QFileInfo.
void BM_QDirIteratorScan(benchmark::State& state)
{
    const QString& folder = scanFolder();
    int found = 0;
    for (auto _ : state) {
        QStringList entries;
        QDirIterator it(folder, QDir::Files | QDir::NoSymLinks | QDir::System);
        while (it.hasNext()) {
            it.next();
            const QFileInfo info = it.fileInfo();
            if (!info.isFile() || info.isSymLink())
                continue;
            if (!CandidateEntry::isCandidateType(CandidateEntry::imageType(info.fileName())))
                continue;
            entries << CandidateEntry::makeEntry(
                CandidateEntry::makeSizeKey(info.size()), folder + info.fileName());
        }
        entries.sort();
        found = int(entries.size());
        benchmark::DoNotOptimize(entries.size());
    }
    state.counters["candidates"] = found;
    state.counters["files_per_s"]
        = benchmark::Counter(double(kScanFiles) * state.iterations(), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(BM_ComparePicturesArgb32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComparePicturesRgb32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComparePicturesMixed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcmp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompareToMemcmpRatio)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CandidateScan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QDirIteratorScan)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    return runQtBenchmarks(argc, argv);
}
