// The search's JPEG fingerprint, streamed row by row against decoding the
// whole picture and hashing it, on the JPEGs of one folder.
#include "decoding/JpegDecoder.h"
#include "decoding/PictureType.h"
#include "finder/PictureReader.h"
#include "finder/PixelFingerprint.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>

namespace {

std::vector<QByteArray>& files()
{
    static std::vector<QByteArray> all;
    return all;
}

decoding::Bytes view(const QByteArray& bytes)
{
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())};
}

void BM_Streamed(benchmark::State& state)
{
    for (auto _ : state) {
        for (const QByteArray& file : files())
            benchmark::DoNotOptimize(
                finder::fingerprintPicture(view(file), decoding::PictureType::Jpeg));
    }
}
BENCHMARK(BM_Streamed)->Unit(benchmark::kMillisecond);

void BM_DecodedThenHashed(benchmark::State& state)
{
    for (auto _ : state) {
        for (const QByteArray& file : files())
            benchmark::DoNotOptimize(
                finder::fingerprintOf(decoding::jpeg::decode(view(file)).picture));
    }
}
BENCHMARK(BM_DecodedThenHashed)->Unit(benchmark::kMillisecond);

class NullSink : public decoding::RowSink {
public:
    bool begin(std::uint32_t width, std::uint32_t) override
    {
        m_row.resize(std::size_t(width) * 3);
        return true;
    }
    decoding::RowOrder order() const override { return decoding::RowOrder::Rgb; }
    std::uint8_t* row(std::uint32_t) override { return m_row.data(); }
    bool rowDone(std::uint32_t) override { return true; }

private:
    std::vector<std::uint8_t> m_row;
};

void BM_StreamedOnly(benchmark::State& state)
{
    for (auto _ : state) {
        for (const QByteArray& file : files()) {
            NullSink sink;
            benchmark::DoNotOptimize(decoding::jpeg::streamRows(view(file), sink, nullptr));
        }
    }
}
BENCHMARK(BM_StreamedOnly)->Unit(benchmark::kMillisecond);

void BM_DecodedOnly(benchmark::State& state)
{
    for (auto _ : state) {
        for (const QByteArray& file : files())
            benchmark::DoNotOptimize(decoding::jpeg::decode(view(file)));
    }
}
BENCHMARK(BM_DecodedOnly)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    const QDir folder(QString::fromLocal8Bit(argc > 1 ? argv[1] : "."));
    for (const QString& name :
        folder.entryList({QStringLiteral("*.jpg")}, QDir::Files).mid(0, 300)) {
        QFile file(folder.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            files().push_back(file.readAll());
    }
    benchmark::RunSpecifiedBenchmarks();
}
