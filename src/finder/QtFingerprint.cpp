#include "finder/QtFingerprint.h"

#include "qtreading/QtPictureReading.h"

#include <QImage>

namespace finder {

namespace {

using decoding::DecodeOutcome;
using decoding::DecodeStatus;
using decoding::PictureType;

// R, G, B bytes of 0xAARRGGBB words, and of R, G, B, A bytes.
void packRgbWords(const QRgb* __restrict in, std::uint32_t pixels, std::uint8_t* __restrict out)
{
    for (std::uint32_t i = 0; i < pixels; ++i) {
        const QRgb pixel = in[i];
        out[3 * i] = std::uint8_t(pixel >> 16);
        out[3 * i + 1] = std::uint8_t(pixel >> 8);
        out[3 * i + 2] = std::uint8_t(pixel);
    }
}

void packRgb(const std::uint8_t* __restrict in, std::uint32_t pixels, std::uint8_t* __restrict out)
{
    for (std::uint32_t i = 0; i < pixels; ++i) {
        out[3 * i] = in[4 * i];
        out[3 * i + 1] = in[4 * i + 1];
        out[3 * i + 2] = in[4 * i + 2];
    }
}

} // namespace

QtFingerprint fingerprintWithQt(decoding::Bytes file, PictureType type)
{
    QtFingerprint result;
    if (type == PictureType::Jpeg) {
        const DecodeOutcome outcome = qtreading::decode(file, type);
        result.status = outcome.status;
        result.reason = outcome.reason;
        if (outcome.status == DecodeStatus::Ok)
            result.fingerprint = fingerprintOf(outcome.picture);
        return result;
    }
    std::vector<QImage> frames;
    const qtreading::ReadOutcome read = qtreading::readAllFrames(file, type, &frames);
    result.status = read.status;
    result.reason = read.reason;
    result.failureKind = read.failureKind;
    if (read.status != DecodeStatus::Ok)
        return result;
    // Qt reads BMP, JPEG and GIF at 8 bits a sample at most.
    for (const QImage& frame : frames) {
        if (qtreading::isSixteenBit(frame)) {
            result.status = DecodeStatus::Unreadable;
            result.reason = "unexpected 16-bit samples";
            return result;
        }
    }
    const auto width = std::uint32_t(frames.front().width());
    const auto height = std::uint32_t(frames.front().height());
    // 0xffRRGGBB words (what the JPEG reader gives) are opaque by their
    // format; any other frame is made straight RGBA bytes and looked at.
    bool opaque = true;
    for (QImage& frame : frames) {
        if (frame.format() == QImage::Format_RGB32)
            continue;
        // A palette index without a colour is transparent black, as the
        // window draws it (qtreading's packed form does the same).
        if (frame.colorCount() > 0)
            frame.convertTo(QImage::Format_ARGB32);
        frame.convertTo(QImage::Format_RGBA8888); // in place where the pixel size stays
        for (int y = 0; y < frame.height() && opaque; ++y) {
            const std::uint8_t* line = frame.constScanLine(y);
            for (std::uint32_t x = 0; x < width; ++x)
                opaque = opaque && line[4 * x + 3] == 0xFF;
        }
    }
    EightBitPixelHasher hasher(width, height, std::uint32_t(frames.size()), opaque);
    std::vector<std::uint8_t> row(std::size_t(width) * 4);
    for (QImage& frame : frames) {
        for (int y = 0; y < frame.height(); ++y) {
            const std::uint8_t* line = frame.constScanLine(y);
            if (frame.format() == QImage::Format_RGB32) {
                packRgbWords(reinterpret_cast<const QRgb*>(line), width, row.data());
                hasher.add(row.data(), std::size_t(width) * 3);
            } else if (opaque) {
                packRgb(line, width, row.data());
                hasher.add(row.data(), std::size_t(width) * 3);
            } else {
                hasher.add(line, std::size_t(width) * 4);
            }
        }
        frame = QImage();
    }
    result.fingerprint = hasher.finish();
    return result;
}

} // namespace finder
