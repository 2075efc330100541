#include "qtreading/QtPictureReading.h"

#include "decoding/BmpJpegGifHeaders.h"
#include "decoding/JpegDecoder.h"
#include "decoding/PictureOrientation.h"
#include "decoding/PictureType.h"

#include <QBuffer>
#include <QImageReader>

#include <cstring>
#include <mutex>

namespace qtreading {

namespace {

using decoding::DecodeOutcome;
using decoding::DecodeStatus;
using decoding::PictureType;

ReadOutcome failure(DecodeStatus status, std::string reason)
{
    ReadOutcome outcome;
    outcome.status = status;
    outcome.reason = std::move(reason);
    return outcome;
}

// "GIF", "JPEG", ... for a Qt format name; "picture" when the content decides.
std::string nameOf(const QByteArray& format)
{
    const PictureType type = decoding::typeOfSuffix(format.toStdString());
    return type == PictureType::Unknown ? std::string("picture") : decoding::typeName(type);
}

bool overBudget(std::uint64_t width, std::uint64_t height)
{
    return width * height > decoding::kPixelBudget;
}

} // namespace

void prepare()
{
    static std::once_flag once;
    std::call_once(once, [] {
        constexpr qint64 kMegabyte = 1024 * 1024;
        const qint64 limit = qint64(decoding::kPixelBudget) * 8 / kMegabyte + 1;
        if (QImageReader::allocationLimit() < limit)
            QImageReader::setAllocationLimit(int(limit));
    });
}

ReadOutcome readFrames(
    QIODevice* device, const QByteArray& format, Frames which, const FrameSink& sink)
{
    prepare();
    QImageReader reader(device, format);
    if (!format.isEmpty())
        reader.setAutoDetectImageFormat(false);
    reader.setAutoTransform(false);
    // A GIF's reader steps through its frames by itself; other readers give
    // the same picture again until told to move to the next page. (The page
    // count first: Qt's TIFF reader counts from wherever size() left the device.)
    const bool animation = format == "gif";
    const int pages = which == Frames::First ? 1 : animation ? 0 : std::max(1, reader.imageCount());
    const QSize size = reader.size();
    if (size.isValid() && overBudget(std::uint64_t(size.width()), std::uint64_t(size.height())))
        return failure(DecodeStatus::TooLarge,
            std::to_string(size.width()) + " x " + std::to_string(size.height())
                + " is over the pixel budget");

    const bool allFrames = which == Frames::All && animation;
    std::uint64_t pixels = 0;
    for (int index = 0;; ++index) {
        if (allFrames ? (index > 0 && !reader.canRead()) : index >= pages)
            break;
        if (!allFrames && index > 0 && !reader.jumpToNextImage())
            return failure(DecodeStatus::Unreadable, "damaged " + nameOf(format) + " page");
        QImage frame;
        if (!reader.read(&frame) || frame.isNull()) {
            if (index > 0 && allFrames)
                break; // the reader's canRead() can promise one frame too many
            ReadOutcome failed = failure(DecodeStatus::Unreadable,
                "unreadable " + nameOf(format) + " data (" + reader.errorString().toStdString()
                    + ")");
            // A reader that fails without blaming the data most likely could
            // not allocate its picture.
            const QImageReader::ImageReaderError error = reader.error();
            if (error != QImageReader::InvalidDataError
                && error != QImageReader::UnsupportedFormatError)
                failed.failureKind = decoding::FailureKind::Passing;
            return failed;
        }
        pixels += std::uint64_t(frame.width()) * std::uint64_t(frame.height());
        if (pixels > decoding::kPixelBudget)
            return failure(DecodeStatus::TooLarge, "its frames together are over the pixel budget");
        if (!sink(frame))
            break;
    }
    ReadOutcome outcome;
    outcome.status = DecodeStatus::Ok;
    return outcome;
}

ReadOutcome readFile(decoding::Bytes file, PictureType type, Frames which, const FrameSink& sink)
{
    const char* format = decoding::qtFormatOf(type);
    if (type != PictureType::Bmp && type != PictureType::Jpeg && type != PictureType::Gif)
        return failure(
            DecodeStatus::Unreadable, std::string("no decoder for ") + decoding::typeName(type));
    if (!decoding::isComplete(file, type))
        return failure(DecodeStatus::Unreadable,
            std::string("cut off or damaged ") + decoding::typeName(type) + " data");
    // Qt narrows wider colour fields to 8 bits: files a low bit apart would
    // read the same, so such a bitmap is not read at all.
    if (type == PictureType::Bmp && decoding::readBmpHeader(file).beyondEightBitRgba)
        return failure(
            DecodeStatus::Unreadable, "BMP colour fields wider than 8 bits are not supported");
    // Before Qt allocates the picture its header claims.
    if (type == PictureType::Gif && !decoding::gifDataCanFill(decoding::readGifLayout(file)))
        return failure(DecodeStatus::Unreadable, "GIF data too short for its picture");
    if (type == PictureType::Jpeg) {
        const decoding::JpegLayout layout
            = decoding::readJpegLayout(file, decoding::JpegWalk::AllScans);
        if (!decoding::jpegDataCanFill(layout))
            return failure(DecodeStatus::Unreadable, "JPEG data too short for its picture");
        // Qt's reader takes libjpeg's warnings as notes, and an arithmetic
        // scan cut off before a marker decodes without one: such a file would
        // show made-up rows, the same for two photos cut alike. Corvane's own
        // decoder tells; at an eighth of the size it still reads every coded
        // bit. Arithmetic coding is rare, so the second read seldom happens.
        if (layout.arithmetic()) {
            const DecodeOutcome checked = decoding::jpeg::decodeReduced(file, 8);
            if (checked.status == DecodeStatus::Unreadable
                && checked.failureKind == decoding::FailureKind::Lasting)
                return failure(DecodeStatus::Unreadable, checked.reason);
        }
    }
    QByteArray data = QByteArray::fromRawData(
        reinterpret_cast<const char*>(file.data()), qsizetype(file.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    return readFrames(&buffer, QByteArray(format), which, sink);
}

ReadOutcome readAllFrames(decoding::Bytes file, PictureType type, std::vector<QImage>* frames)
{
    bool sameSize = true;
    ReadOutcome read = readFile(file, type, Frames::All, [&](QImage& frame) {
        sameSize = frames->empty() || frame.size() == frames->front().size();
        if (sameSize)
            frames->push_back(std::move(frame));
        return sameSize;
    });
    if (read.status == DecodeStatus::Ok && !sameSize) {
        frames->clear();
        read = failure(DecodeStatus::Unreadable, "pages of different sizes");
    }
    return read;
}

bool isSixteenBit(const QImage& frame)
{
    switch (frame.format()) {
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
    case QImage::Format_RGBA64_Premultiplied:
    case QImage::Format_Grayscale16:
        return true;
    default:
        return false;
    }
}

std::vector<std::uint8_t> packedRgba(const QImage& frame, bool sixteenBit)
{
    // QImage rows are padded to 4 bytes; the pixel form's are packed. A
    // palette picture goes through ARGB32 as the window draws it, where a
    // palette index without a colour is transparent black (a straight
    // conversion would make it opaque black, the same as a black pixel).
    const QImage source = frame.colorCount() > 0 && !sixteenBit
        ? frame.convertToFormat(QImage::Format_ARGB32)
        : frame;
    const QImage rgba
        = source.convertToFormat(sixteenBit ? QImage::Format_RGBA64 : QImage::Format_RGBA8888);
    const std::size_t rowBytes = std::size_t(rgba.width()) * 4 * (sixteenBit ? 2 : 1);
    std::vector<std::uint8_t> pixels(rowBytes * std::size_t(rgba.height()));
    for (int y = 0; y < rgba.height(); ++y)
        std::memcpy(pixels.data() + rowBytes * std::size_t(y), rgba.constScanLine(y), rowBytes);
    return pixels;
}

std::vector<std::uint8_t> windowRgba(const QImage& frame)
{
    const QImage argb = frame.convertToFormat(QImage::Format_ARGB32);
    std::vector<std::uint8_t> pixels(std::size_t(argb.width()) * std::size_t(argb.height()) * 4);
    std::uint8_t* out = pixels.data();
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x, out += 4) {
            out[0] = std::uint8_t(qRed(line[x]));
            out[1] = std::uint8_t(qGreen(line[x]));
            out[2] = std::uint8_t(qBlue(line[x]));
            out[3] = std::uint8_t(qAlpha(line[x]));
        }
    }
    return pixels;
}

namespace {

// The stored rows of every frame.
DecodeOutcome decodeStored(decoding::Bytes file, PictureType type)
{
    DecodeOutcome outcome;
    if (type == PictureType::Jpeg) {
        if (!decoding::isComplete(file, type)) {
            outcome.reason = "cut off or damaged JPEG data";
            return outcome;
        }
        return decoding::jpeg::decode(file);
    }
    std::vector<QImage> frames;
    const ReadOutcome read = readAllFrames(file, type, &frames);
    outcome.status = read.status;
    outcome.failureKind = read.failureKind;
    outcome.reason = read.reason;
    if (read.status != DecodeStatus::Ok)
        return outcome;
    bool sixteen = false;
    for (const QImage& frame : frames)
        sixteen = sixteen || isSixteenBit(frame);
    outcome.picture.width = std::uint32_t(frames.front().width());
    outcome.picture.height = std::uint32_t(frames.front().height());
    outcome.picture.bytesPerSample = sixteen ? 2 : 1;
    for (QImage& frame : frames) {
        outcome.picture.frames.push_back(packedRgba(frame, sixteen));
        frame = QImage(); // hold one copy of each frame at a time
    }
    return outcome;
}

} // namespace

DecodeOutcome decode(decoding::Bytes file, PictureType type, const decoding::DecodeOptions& options)
{
    return decoding::decodeAsShown(file, options, [&] { return decodeStored(file, type); });
}

} // namespace qtreading
