#include "finder/QtPictureDecoder.h"

#include "decoding/BmpJpegGifHeaders.h"
#include "decoding/JpegDecoder.h"
#include "finder/PictureTypes.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>

#include <cstring>
#include <mutex>

namespace finder {

namespace {

using decoding::DecodeOutcome;
using decoding::DecodeStatus;
using decoding::PictureType;

const char* qtFormat(PictureType type)
{
    switch (type) {
    case PictureType::Bmp:
        return "bmp";
    case PictureType::Jpeg:
        return "jpeg";
    case PictureType::Gif:
        return "gif";
    default:
        return nullptr;
    }
}

DecodeOutcome failure(DecodeStatus status, std::string reason)
{
    DecodeOutcome outcome;
    outcome.status = status;
    outcome.reason = std::move(reason);
    return outcome;
}

bool isSixteenBit(const QImage& image)
{
    switch (image.format()) {
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
    case QImage::Format_RGBA64_Premultiplied:
    case QImage::Format_Grayscale16:
        return true;
    default:
        return false;
    }
}

// Copies a frame, converted to straight RGBA of the given depth, row by row
// (QImage rows are padded to 4 bytes; the pixel form's are packed).
std::vector<std::uint8_t> packedRgba(const QImage& frame, bool sixteen)
{
    const QImage rgba
        = frame.convertToFormat(sixteen ? QImage::Format_RGBA64 : QImage::Format_RGBA8888);
    const std::size_t rowBytes = std::size_t(rgba.width()) * 4 * (sixteen ? 2 : 1);
    std::vector<std::uint8_t> pixels(rowBytes * std::size_t(rgba.height()));
    for (int y = 0; y < rgba.height(); ++y)
        std::memcpy(pixels.data() + rowBytes * std::size_t(y), rgba.constScanLine(y), rowBytes);
    return pixels;
}

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

void prepareQtDecoding()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // Qt refuses pictures above 256 MB by default; the pixel budget is the
        // real guard, so leave room for it even at 16 bits a sample.
        constexpr qint64 kMegabyte = 1024 * 1024;
        const qint64 limit = qint64(decoding::kPixelBudget) * 8 / kMegabyte + 1;
        if (QImageReader::allocationLimit() < limit)
            QImageReader::setAllocationLimit(int(limit));
    });
}

// Qt's readers fill the missing rows of a cut-off BMP, JPEG or GIF with grey
// and say nothing: such a file must never look like a whole picture.
static bool cutOff(decoding::Bytes file, PictureType type)
{
    return !decoding::isComplete(file, type);
}

// JPEG goes to libjpeg directly: the same pixels as Qt's reader for RGB and
// grey, faster, and CMYK kept as its inks (Qt would turn it into RGB, where
// different inks look alike).
static DecodeOutcome decodeJpeg(decoding::Bytes file)
{
    if (cutOff(file, PictureType::Jpeg))
        return failure(DecodeStatus::Unreadable, "cut off or damaged JPEG data");
    return decoding::jpeg::decode(file);
}

// Every frame of the picture, all of one size, within the pixel budget.
static DecodeOutcome readFrames(decoding::Bytes file, PictureType type, std::vector<QImage>& frames)
{
    const char* format = qtFormat(type);
    if (!format)
        return failure(DecodeStatus::Unreadable, "no decoder for " + typeName(type).toStdString());
    QByteArray data = QByteArray::fromRawData(
        reinterpret_cast<const char*>(file.data()), qsizetype(file.size()));
    if (cutOff(file, type))
        return failure(DecodeStatus::Unreadable,
            "cut off or damaged " + typeName(type).toStdString() + " data");
    // Before Qt allocates the picture its header claims.
    if (type == PictureType::Gif && !decoding::gifDataCanFill(decoding::readGifLayout(file)))
        return failure(DecodeStatus::Unreadable, "GIF data too short for its picture");

    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setAutoDetectImageFormat(false);
    reader.setAutoTransform(false);
    // A GIF's reader steps through its frames by itself; other readers give
    // the same picture again until told to move to the next page. (The page
    // count first: Qt's TIFF reader counts from wherever size() left the device.)
    const bool animation = type == PictureType::Gif;
    const int pages = animation ? 0 : std::max(1, reader.imageCount());
    const QSize size = reader.size();
    if (size.isValid()
        && std::uint64_t(size.width()) * std::uint64_t(size.height()) > decoding::kPixelBudget)
        return failure(DecodeStatus::TooLarge,
            std::to_string(size.width()) + " x " + std::to_string(size.height())
                + " is over the pixel budget");

    std::uint64_t pixels = 0;
    for (int index = 0;; ++index) {
        if (animation ? (index > 0 && !reader.canRead()) : index >= pages)
            break;
        if (!animation && index > 0 && !reader.jumpToNextImage())
            return failure(
                DecodeStatus::Unreadable, "damaged " + typeName(type).toStdString() + " page");
        QImage frame;
        if (!reader.read(&frame) || frame.isNull()) {
            if (index > 0 && animation)
                break; // the reader's canRead() can promise one frame too many
            DecodeOutcome failed = failure(DecodeStatus::Unreadable,
                "unreadable " + typeName(type).toStdString() + " data ("
                    + reader.errorString().toStdString() + ")");
            // The data was found whole above; a reader that fails without
            // blaming the data most likely could not allocate its picture.
            const QImageReader::ImageReaderError error = reader.error();
            if (error != QImageReader::InvalidDataError
                && error != QImageReader::UnsupportedFormatError)
                failed.failureKind = decoding::FailureKind::Passing;
            return failed;
        }
        if (!frames.empty() && frame.size() != frames.front().size())
            return failure(DecodeStatus::Unreadable, "pages of different sizes");
        pixels += std::uint64_t(frame.width()) * std::uint64_t(frame.height());
        if (pixels > decoding::kPixelBudget)
            return failure(DecodeStatus::TooLarge, "its frames together are over the pixel budget");
        frames.push_back(std::move(frame));
    }

    DecodeOutcome outcome;
    outcome.status = DecodeStatus::Ok;
    return outcome;
}

DecodeOutcome decodeWithQt(decoding::Bytes file, PictureType type)
{
    if (type == PictureType::Jpeg)
        return decodeJpeg(file);
    std::vector<QImage> frames;
    DecodeOutcome read = readFrames(file, type, frames);
    if (read.status != DecodeStatus::Ok)
        return read;
    bool sixteen = false;
    for (const QImage& frame : frames)
        sixteen = sixteen || isSixteenBit(frame);
    DecodeOutcome outcome;
    outcome.status = DecodeStatus::Ok;
    outcome.picture.width = std::uint32_t(frames.front().width());
    outcome.picture.height = std::uint32_t(frames.front().height());
    outcome.picture.bytesPerSample = sixteen ? 2 : 1;
    for (QImage& frame : frames) {
        outcome.picture.frames.push_back(packedRgba(frame, sixteen));
        frame = QImage(); // hold one copy of each frame at a time
    }
    return outcome;
}

QtFingerprint fingerprintWithQt(decoding::Bytes file, PictureType type)
{
    QtFingerprint result;
    if (type == PictureType::Jpeg) {
        const DecodeOutcome outcome = decodeJpeg(file);
        result.status = outcome.status;
        result.reason = outcome.reason;
        if (outcome.status == DecodeStatus::Ok)
            result.fingerprint = fingerprintOf(outcome.picture);
        return result;
    }
    std::vector<QImage> frames;
    const DecodeOutcome read = readFrames(file, type, frames);
    result.status = read.status;
    result.reason = read.reason;
    result.failureKind = read.failureKind;
    if (read.status != DecodeStatus::Ok)
        return result;
    // Qt reads BMP, JPEG and GIF at 8 bits a sample at most.
    for (const QImage& frame : frames) {
        if (isSixteenBit(frame)) {
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
