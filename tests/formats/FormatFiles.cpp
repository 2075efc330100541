#include "FormatFiles.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using decoding::DecodedPicture;

namespace FormatFiles {

namespace {

int noise(int x, int y, int seed)
{
    std::uint32_t h = std::uint32_t(x) * 73856093u ^ std::uint32_t(y) * 19349663u
        ^ std::uint32_t(seed) * 83492791u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return int(h % 17) - 8;
}

int clampByte(int value)
{
    return value < 0 ? 0 : value > 255 ? 255 : value;
}

struct FrameInfo {
    int width = 0;
    int height = 0;
    int x = 0;
    int y = 0;
    bool disposeToBackground = false;
    bool blend = false;
};

} // namespace

QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(120'000))
        return program + QStringLiteral(" did not finish: ") + process.errorString();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return program + QStringLiteral(" failed: ")
            + QString::fromLocal8Bit(process.readAllStandardError())
            + QString::fromLocal8Bit(process.readAllStandardOutput());
    return {};
}

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QImage photoLike(int width, int height, int seed, bool alpha)
{
    QImage image(width, height, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double wave = 40 * std::sin((x + seed * 7) / 9.0) * std::cos(y / 7.0);
            const int r = clampByte(int(255.0 * x / width + wave) + noise(x, y, seed));
            const int g = clampByte(int(255.0 * y / height - wave) + noise(y, x, seed));
            const int b = clampByte(int(128 + wave * 2) + noise(x + 1, y + 3, seed));
            const int a = alpha ? clampByte((x * 255 / std::max(1, width - 1) + y * 2) % 256) : 255;
            image.setPixelColor(x, y, QColor(r, g, b, a));
        }
    }
    return image;
}

QImage deepPhotoLike(int width, int height, int seed, bool alpha)
{
    QImage image(width, height, alpha ? QImage::Format_RGBA64 : QImage::Format_RGBX64);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<quint16*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const double wave = 9000 * std::sin((x + seed * 7) / 11.0) * std::cos(y / 8.0);
            line[x * 4] = quint16(std::clamp(int(65535.0 * x / width + wave), 0, 65535));
            line[x * 4 + 1] = quint16(std::clamp(int(65535.0 * y / height - wave), 0, 65535));
            line[x * 4 + 2] = quint16(std::clamp(int(30000 + wave * 2), 0, 65535));
            line[x * 4 + 3] = alpha ? quint16((x * 1500 + y * 300) % 65536) : 65535;
        }
    }
    return image;
}

DecodedPicture fromImage(const QImage& source)
{
    DecodedPicture picture;
    if (source.isNull())
        return picture;
    const bool deep = source.depth() > 32 || source.format() == QImage::Format_Grayscale16;
    const QImage image
        = source.convertToFormat(deep ? QImage::Format_RGBA64 : QImage::Format_RGBA8888);
    picture.width = std::uint32_t(image.width());
    picture.height = std::uint32_t(image.height());
    picture.bytesPerSample = deep ? 2 : 1;
    auto& frame = picture.frames.emplace_back(picture.frameBytes());
    const std::size_t rowBytes = frame.size() / picture.height;
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(frame.data() + std::size_t(y) * rowBytes, image.constScanLine(y), rowBytes);
    return picture;
}

DecodedPicture readWithQt(const QString& path)
{
    QImageReader reader(path);
    QImage image;
    if (!reader.read(&image))
        return {};
    return fromImage(image);
}

DecodedPicture readPam(const QString& path)
{
    const QByteArray data = readBytes(path);
    const qsizetype end = data.indexOf("ENDHDR\n");
    if (!data.startsWith("P7\n") || end < 0)
        return {};
    const QString header = QString::fromLatin1(data.left(end));
    auto value = [&](const char* key) {
        const QRegularExpression pattern(QStringLiteral("\\b%1 (\\S+)").arg(QLatin1String(key)));
        return pattern.match(header).captured(1);
    };
    if (value("DEPTH") != QLatin1String("4") || value("MAXVAL") != QLatin1String("255"))
        return {};
    DecodedPicture picture;
    picture.width = value("WIDTH").toUInt();
    picture.height = value("HEIGHT").toUInt();
    const QByteArray pixels = data.mid(end + 7);
    if (std::size_t(pixels.size()) != picture.frameBytes())
        return {};
    picture.frames.emplace_back(pixels.begin(), pixels.end());
    return picture;
}

DecodedPicture dwebp(const QString& webp, QString* error)
{
    QTemporaryDir scratch;
    const QString pam = scratch.filePath(QStringLiteral("out.pam"));
    *error = run(QStringLiteral("dwebp"),
        {QStringLiteral("-quiet"), QStringLiteral("-pam"), webp, QStringLiteral("-o"), pam});
    return error->isEmpty() ? readPam(pam) : DecodedPicture{};
}

DecodedPicture composeAnimation(const QString& webp, QString* error)
{
    QProcess info;
    info.start(QStringLiteral("webpmux"), {QStringLiteral("-info"), webp});
    info.waitForFinished(60'000);
    const QString text = QString::fromLocal8Bit(info.readAllStandardOutput());
    const QRegularExpression canvasPattern(QStringLiteral("Canvas size: (\\d+) x (\\d+)"));
    const auto canvasMatch = canvasPattern.match(text);
    if (!canvasMatch.hasMatch()) {
        *error = QStringLiteral("webpmux -info: ") + text;
        return {};
    }
    // "  1:    64    48    no        0        0      100       none    no ..."
    const QRegularExpression framePattern(
        QStringLiteral("^\\s*\\d+:\\s+(\\d+)\\s+(\\d+)\\s+\\w+\\s+(\\d+)\\s+(\\d+)\\s+\\d+\\s+(\\w+"
                       ")\\s+(\\w+)"),
        QRegularExpression::MultilineOption);
    std::vector<FrameInfo> frames;
    for (auto it = framePattern.globalMatch(text); it.hasNext();) {
        const auto match = it.next();
        frames.push_back(
            {match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt(),
                match.captured(4).toInt(), match.captured(5) == QLatin1String("background"),
                match.captured(6) == QLatin1String("yes")});
    }

    DecodedPicture composed;
    composed.width = canvasMatch.captured(1).toUInt();
    composed.height = canvasMatch.captured(2).toUInt();
    // libwebp's animation decoder starts from a transparent black canvas
    // (the background colour is advice it does not follow).
    std::vector<std::uint8_t> canvas(composed.frameBytes(), 0);
    QTemporaryDir scratch;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const FrameInfo& frame = frames[i];
        const QString still = scratch.filePath(QStringLiteral("frame%1.webp").arg(i + 1));
        *error = run(QStringLiteral("webpmux"),
            {QStringLiteral("-get"), QStringLiteral("frame"), QString::number(i + 1), webp,
                QStringLiteral("-o"), still});
        if (!error->isEmpty())
            return {};
        const DecodedPicture pixels = dwebp(still, error);
        if (!error->isEmpty() || pixels.frames.empty() || int(pixels.width) != frame.width
            || int(pixels.height) != frame.height) {
            *error += QStringLiteral(" frame %1 did not decode").arg(i + 1);
            return {};
        }
        for (int y = 0; y < frame.height; ++y) {
            for (int x = 0; x < frame.width; ++x) {
                const std::uint8_t* source
                    = pixels.frames[0].data() + (std::size_t(y) * pixels.width + x) * 4;
                std::uint8_t* target = canvas.data()
                    + (std::size_t(y + frame.y) * composed.width + std::size_t(x + frame.x)) * 4;
                if (source[3] == 255 || !frame.blend)
                    std::memcpy(target, source, 4);
                else if (source[3] != 0) {
                    *error = QStringLiteral("frame %1 has partial alpha").arg(i + 1);
                    return {};
                }
            }
        }
        composed.frames.push_back(canvas);
        if (frame.disposeToBackground)
            for (int y = 0; y < frame.height; ++y)
                std::memset(canvas.data()
                        + (std::size_t(y + frame.y) * composed.width + std::size_t(frame.x)) * 4,
                    0, std::size_t(frame.width) * 4);
    }
    return composed;
}

DecodedPicture heifConvert(const QString& heif, QString* error)
{
    QTemporaryDir scratch;
    const QString png = scratch.filePath(QStringLiteral("out.png"));
    *error = run(QStringLiteral("heif-convert"), {QStringLiteral("--quiet"), heif, png});
    if (!error->isEmpty())
        return {};
    // Several pictures come out as out-1.png, out-2.png, ...
    QStringList outputs
        = QDir(scratch.path()).entryList({QStringLiteral("out-*.png")}, QDir::Files, QDir::Name);
    std::sort(outputs.begin(), outputs.end(), [](const QString& a, const QString& b) {
        return a.mid(4).chopped(4).toInt() < b.mid(4).chopped(4).toInt();
    });
    if (outputs.isEmpty())
        outputs << QStringLiteral("out.png");
    DecodedPicture all;
    for (const QString& name : outputs) {
        DecodedPicture one = readWithQt(scratch.filePath(name));
        if (one.frames.empty()) {
            *error = QStringLiteral("heif-convert wrote no readable ") + name;
            return {};
        }
        if (all.frames.empty()) {
            all.width = one.width;
            all.height = one.height;
            all.bytesPerSample = one.bytesPerSample;
        }
        all.frames.push_back(std::move(one.frames.front()));
    }
    return all;
}

std::string firstDifference(const DecodedPicture& expected, const DecodedPicture& actual)
{
    auto describe = [](const DecodedPicture& p) {
        return std::to_string(p.width) + "x" + std::to_string(p.height) + "x"
            + std::to_string(p.frames.size()) + " frames at " + std::to_string(p.bytesPerSample * 8)
            + " bits";
    };
    if (expected.width != actual.width || expected.height != actual.height
        || expected.frames.size() != actual.frames.size()
        || expected.bytesPerSample != actual.bytesPerSample)
        return describe(expected) + " != " + describe(actual);
    for (std::size_t f = 0; f < expected.frames.size(); ++f) {
        const auto& a = expected.frames[f];
        const auto& b = actual.frames[f];
        if (a.size() != expected.frameBytes() || b.size() != actual.frameBytes())
            return "frame " + std::to_string(f) + " has the wrong length";
        const auto mismatch = std::mismatch(a.begin(), a.end(), b.begin());
        if (mismatch.first == a.end())
            continue;
        const std::size_t sample
            = std::size_t(mismatch.first - a.begin()) / std::size_t(expected.bytesPerSample);
        const std::size_t pixel = sample / 4;
        auto valueAt = [&](const std::vector<std::uint8_t>& data) {
            if (expected.bytesPerSample == 1)
                return unsigned(data[sample]);
            std::uint16_t v;
            std::memcpy(&v, data.data() + sample * 2, 2);
            return unsigned(v);
        };
        return "frame " + std::to_string(f) + ", " + std::to_string(pixel % expected.width) + ","
            + std::to_string(pixel / expected.width) + " sample " + std::to_string(sample % 4)
            + ": " + std::to_string(valueAt(a)) + " != " + std::to_string(valueAt(b));
    }
    return {};
}

double meanDifference(const DecodedPicture& a, const DecodedPicture& b)
{
    if (a.width != b.width || a.height != b.height || a.bytesPerSample != b.bytesPerSample
        || a.frames.size() != b.frames.size() || a.frames.empty())
        return 1;
    double total = 0;
    std::size_t samples = 0;
    for (std::size_t f = 0; f < a.frames.size(); ++f) {
        const std::size_t count = a.frameBytes() / std::size_t(a.bytesPerSample);
        for (std::size_t i = 0; i < count; ++i) {
            double x = 0, y = 0;
            if (a.bytesPerSample == 1) {
                x = a.frames[f][i] / 255.0;
                y = b.frames[f][i] / 255.0;
            } else {
                std::uint16_t u, v;
                std::memcpy(&u, a.frames[f].data() + i * 2, 2);
                std::memcpy(&v, b.frames[f].data() + i * 2, 2);
                x = u / 65535.0;
                y = v / 65535.0;
            }
            total += std::abs(x - y);
        }
        samples += count;
    }
    return total / double(samples);
}

DecodedPicture turnedAnticlockwise(const DecodedPicture& picture)
{
    DecodedPicture turned;
    turned.width = picture.height;
    turned.height = picture.width;
    turned.bytesPerSample = picture.bytesPerSample;
    const std::size_t pixelBytes = 4 * std::size_t(picture.bytesPerSample);
    for (const auto& frame : picture.frames) {
        auto& out = turned.frames.emplace_back(frame.size());
        for (std::uint32_t y = 0; y < picture.height; ++y)
            for (std::uint32_t x = 0; x < picture.width; ++x) {
                // Column x of the source becomes row (width - 1 - x).
                const std::size_t to = (std::size_t(picture.width - 1 - x) * turned.width + y);
                std::memcpy(out.data() + to * pixelBytes,
                    frame.data() + (std::size_t(y) * picture.width + x) * pixelBytes, pixelBytes);
            }
    }
    return turned;
}

QString encodeJpeg(const QTemporaryDir& dir, const QString& name, int width, int height, int seed,
    const QStringList& options)
{
    const QString source = QDir(dir.path()).filePath(name + QStringLiteral(".ppm"));
    if (!photoLike(width, height, seed, false).convertToFormat(QImage::Format_RGB888).save(source))
        return QString();
    const QString jpeg = QDir(dir.path()).filePath(name + QStringLiteral(".jpg"));
    const QString failure = run(
        QStringLiteral("cjpeg"), options + QStringList{QStringLiteral("-outfile"), jpeg, source});
    EXPECT_EQ(failure, QString());
    return failure.isEmpty() ? jpeg : QString();
}

} // namespace FormatFiles
