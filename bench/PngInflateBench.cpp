// Decoding a 12-megapixel photo-like PNG, 8 and 16 bits a sample, by
// Corvane's PNG decoder (libdeflate in one call, for the forms it takes)
// against the floor: libpng's own simplified reader to 8-bit RGBA. Also
// libpng driven row by row as Corvane did before, to show what the
// whole-inflate path earns. Processor time of this thread, the least of
// several runs, so that other programs on the machine move it little.
//
// Prints "png<depth> <corvane> <libpng rows> <simplified>" in seconds per
// decode, one line per depth, for scripts/bench.

#include "PhotoLike.h"
#include "decoding/PngDecoder.h"

#include <png.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace {

constexpr int kRuns = 5;

double threadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

double leastSeconds(const std::function<bool()>& decode)
{
    double least = 1e9;
    for (int i = 0; i < kRuns; ++i) {
        const double start = threadSeconds();
        if (!decode())
            return -1;
        least = std::min(least, threadSeconds() - start);
    }
    return least;
}

QByteArray encoded(const QTemporaryDir& folder, bool sixteen)
{
    QImage image = photoLike(4000, 3000);
    if (sixteen) {
        // Low bits that are not copies of the high ones, as a 16-bit scan has.
        image = image.convertToFormat(QImage::Format_RGBX64);
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<quint16*>(image.scanLine(y));
            for (int i = 0; i < image.width() * 4; ++i)
                if (i % 4 != 3)
                    line[i] = quint16(line[i] ^ ((i * 37 + y * 11) & 0x3F));
        }
    }
    const QString path
        = folder.filePath(sixteen ? QStringLiteral("16.png") : QStringLiteral("8.png"));
    if (!image.save(path, "PNG"))
        return {};
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    for (const bool sixteen : {false, true}) {
        const QByteArray png = encoded(folder, sixteen);
        const decoding::Bytes bytes(
            reinterpret_cast<const std::uint8_t*>(png.constData()), std::size_t(png.size()));
        const decoding::DecodeOptions options{.eightBit = true, .firstFrameOnly = true};
        const double corvane = leastSeconds([&] {
            return decoding::png::decode(bytes, options).status == decoding::DecodeStatus::Ok;
        });
        const double rows = leastSeconds([&] {
            return decoding::png::decodeWithLibpng(bytes, options).status
                == decoding::DecodeStatus::Ok;
        });
        // The simplified reader writes into memory it is handed: a fresh
        // buffer each time, as a decode into a new picture has.
        const double simplified = leastSeconds([&] {
            std::vector<std::uint8_t> pixels;
            png_image image{};
            image.version = PNG_IMAGE_VERSION;
            if (!png_image_begin_read_from_memory(&image, png.constData(), std::size_t(png.size())))
                return false;
            image.format = PNG_FORMAT_RGBA;
            pixels.resize(PNG_IMAGE_SIZE(image));
            return png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) != 0;
        });
        std::printf("png%d %.4f %.4f %.4f\n", sixteen ? 16 : 8, corvane, rows, simplified);
    }
    return 0;
}
