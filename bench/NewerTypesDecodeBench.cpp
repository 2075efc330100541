// Decoding a 12-megapixel WebP, HEIC and AVIF photo into the pixel form,
// against the floors: libwebp decoding straight into a reused buffer, and
// libheif decoding with its own defaults. For WebP also Qt's image plugin,
// the other way Corvane could read it (it must give the same pixels).
#include "decoding/HeifDecoder.h"
#include "decoding/WebpDecoder.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <libheif/heif.h>
#include <webp/decode.h>

#include "PhotoLike.h"
#include "QtBenchmarkMain.h"

#include <cstring>
#include <map>

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// Encoded once per run: "lossy.webp", "lossless.webp", "photo.heic", "photo.avif".
const QByteArray& encoded(const QString& name)
{
    static QTemporaryDir folder;
    static std::map<QString, QByteArray> files;
    if (files.empty()) {
        const QString png = folder.filePath(QStringLiteral("photo.png"));
        photoLike(kWidth, kHeight).save(png);
        auto make = [&](const QString& program, const QStringList& arguments) {
            QProcess process;
            process.start(program, arguments);
            process.waitForFinished(-1);
        };
        auto path = [&](const char* file) { return folder.filePath(QLatin1String(file)); };
        make(QStringLiteral("cwebp"), {"-quiet", "-q", "85", png, "-o", path("lossy.webp")});
        make(QStringLiteral("cwebp"), {"-quiet", "-lossless", png, "-o", path("lossless.webp")});
        make(QStringLiteral("heif-enc"), {"-q", "85", png, "-o", path("photo.heic")});
        make(QStringLiteral("convert"), {png, path("photo.avif")});
        for (const char* file : {"lossy.webp", "lossless.webp", "photo.heic", "photo.avif"}) {
            QFile in(path(file));
            in.open(QIODevice::ReadOnly);
            files[QLatin1String(file)] = in.readAll();
        }
    }
    return files[name];
}

decoding::Bytes bytesOf(const QByteArray& data)
{
    return {reinterpret_cast<const std::uint8_t*>(data.constData()), std::size_t(data.size())};
}

const QString kWebpFiles[] = {QStringLiteral("lossy.webp"), QStringLiteral("lossless.webp")};
const QString kHeifFiles[] = {QStringLiteral("photo.heic"), QStringLiteral("photo.avif")};

void corvaneWebp(benchmark::State& state)
{
    const QByteArray& file = encoded(kWebpFiles[state.range(0)]);
    for (auto _ : state) {
        decoding::DecodeOutcome outcome = decoding::decodeWebp(bytesOf(file));
        if (outcome.status != decoding::DecodeStatus::Ok)
            state.SkipWithError(outcome.reason.c_str());
        benchmark::DoNotOptimize(outcome.picture.frames.data());
    }
    state.SetLabel(kWebpFiles[state.range(0)].toStdString());
}

void floorLibwebp(benchmark::State& state)
{
    const QByteArray& file = encoded(kWebpFiles[state.range(0)]);
    std::vector<std::uint8_t> pixels(std::size_t(kWidth) * kHeight * 4);
    for (auto _ : state) {
        if (!WebPDecodeRGBAInto(bytesOf(file).data(), bytesOf(file).size(), pixels.data(),
                pixels.size(), kWidth * 4))
            state.SkipWithError("libwebp failed");
        benchmark::DoNotOptimize(pixels.data());
    }
    state.SetLabel(kWebpFiles[state.range(0)].toStdString());
}

void qtPluginWebp(benchmark::State& state)
{
    const QByteArray& file = encoded(kWebpFiles[state.range(0)]);
    QImage image;
    for (auto _ : state) {
        QBuffer buffer;
        buffer.setData(file);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "webp");
        if (!reader.read(&image))
            state.SkipWithError("Qt's plugin failed");
        image = image.convertToFormat(QImage::Format_RGBA8888);
        benchmark::DoNotOptimize(image.constBits());
    }
    // Exactness: the plugin's pixels against the decoder's.
    const decoding::DecodeOutcome ours = decoding::decodeWebp(bytesOf(file));
    for (int y = 0; y < kHeight; ++y)
        if (std::memcmp(image.constScanLine(y),
                ours.picture.frames[0].data() + std::size_t(y) * kWidth * 4,
                std::size_t(kWidth) * 4)
            != 0) {
            state.SkipWithError("Qt's plugin gives other pixels than libwebp");
            break;
        }
    state.SetLabel(kWebpFiles[state.range(0)].toStdString());
}

void corvaneHeif(benchmark::State& state)
{
    const QByteArray& file = encoded(kHeifFiles[state.range(0)]);
    for (auto _ : state) {
        decoding::DecodeOutcome outcome = decoding::decodeHeif(bytesOf(file));
        if (outcome.status != decoding::DecodeStatus::Ok)
            state.SkipWithError(outcome.reason.c_str());
        benchmark::DoNotOptimize(outcome.picture.frames.data());
    }
    state.SetLabel(kHeifFiles[state.range(0)].toStdString());
}

// libheif alone, to interleaved RGBA; range(1) is its thread count for
// tiles (-1: its default).
void floorLibheif(benchmark::State& state)
{
    const QByteArray& file = encoded(kHeifFiles[state.range(0)]);
    for (auto _ : state) {
        heif_context* context = heif_context_alloc();
        if (state.range(1) >= 0)
            heif_context_set_max_decoding_threads(context, int(state.range(1)));
        heif_context_read_from_memory_without_copy(
            context, file.constData(), std::size_t(file.size()), nullptr);
        heif_image_handle* handle = nullptr;
        heif_context_get_primary_image_handle(context, &handle);
        heif_image* image = nullptr;
        const heif_error error = heif_decode_image(
            handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, nullptr);
        if (error.code != heif_error_Ok)
            state.SkipWithError(error.message);
        heif_image_release(image);
        heif_image_handle_release(handle);
        heif_context_free(context);
    }
    state.SetLabel(kHeifFiles[state.range(0)].toStdString()
        + (state.range(1) < 0 ? " default threads" : " tiles in the caller's thread"));
}

BENCHMARK(corvaneWebp)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(floorLibwebp)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(qtPluginWebp)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(corvaneHeif)
    ->DenseRange(0, 1)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(floorLibheif)
    ->ArgsProduct({{0, 1}, {-1, 0}})
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    return runQtBenchmarks(argc, argv);
}
