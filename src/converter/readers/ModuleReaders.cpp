// i__view32-readers.so: the converter's readers for BMP, JPEG and GIF (Qt's
// own) and for WebP, HEIF and AVIF (the decoding library); see ReaderModule.h.

#include "CorvaneVersion.h"
#include "converter/ReaderModule.h"
#include "converter/readers/ImageDecoder.h"
#include "decoding/PictureDecoders.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <new>

namespace {

void quietMessages(QtMsgType, const QMessageLogContext&, const QString&) { }

// The types this module hands to Qt's readers, as the window reads them
// (whichever reader the whole-folder search uses).
bool readByQt(decoding::PictureType type)
{
    return type == decoding::PictureType::Bmp || type == decoding::PictureType::Jpeg
        || type == decoding::PictureType::Gif;
}

} // namespace

extern "C" __attribute__((visibility("default"))) const char* corvane_readers_version()
{
    return kCorvaneVersion;
}

extern "C" __attribute__((visibility("default"))) bool corvane_read_picture(
    const std::uint8_t* data, std::size_t size, int type, decoding::DecodeOutcome* outcome)
{
    const auto pictureType = decoding::PictureType(type);
    if (pictureType == decoding::PictureType::WebP || pictureType == decoding::PictureType::Heif
        || pictureType == decoding::PictureType::Avif) {
        *outcome = decoding::decode({data, size}, {.eightBit = true, .firstFrameOnly = true});
        return outcome->status == decoding::DecodeStatus::Ok;
    }
    static const bool prepared = [] {
        // Qt's readers report damage through qWarning; the converter reports
        // through its exit code.
        qInstallMessageHandler(quietMessages);
        ImageDecoder::prepare();
        return true;
    }();
    (void)prepared;
    outcome->status = decoding::DecodeStatus::Unreadable;
    if (!readByQt(pictureType) || size > std::size_t(std::numeric_limits<qsizetype>::max())) {
        outcome->reason = "not a type Qt reads here";
        return false;
    }
    QByteArray bytes
        = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImage image;
    const ImageDecoder::Status status = ImageDecoder::decodeWithQt(&buffer, pictureType, &image);
    if (status != ImageDecoder::Ok) {
        outcome->status = status == ImageDecoder::TooLarge ? decoding::DecodeStatus::TooLarge
                                                           : decoding::DecodeStatus::Unreadable;
        outcome->reason
            = status == ImageDecoder::TooLarge ? "over the pixel budget" : "damaged picture data";
        return false;
    }
    // Straight RGBA bytes, as the decoding library gives them. Through ARGB32:
    // a palette index without a colour then reads as transparent black, as
    // in Corvane's window.
    const QImage rgba = image.convertToFormat(QImage::Format_ARGB32);
    decoding::DecodedPicture& picture = outcome->picture;
    picture.width = std::uint32_t(rgba.width());
    picture.height = std::uint32_t(rgba.height());
    picture.bytesPerSample = 1;
    try {
        picture.frames.assign(1, std::vector<std::uint8_t>(picture.frameBytes()));
    } catch (const std::bad_alloc&) {
        outcome->status = decoding::DecodeStatus::TooLarge;
        outcome->reason = "not enough memory for the picture";
        picture = {};
        return false;
    }
    std::uint8_t* out = picture.frames[0].data();
    for (int y = 0; y < rgba.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgba.constScanLine(y));
        for (int x = 0; x < rgba.width(); ++x, out += 4) {
            out[0] = std::uint8_t(qRed(line[x]));
            out[1] = std::uint8_t(qGreen(line[x]));
            out[2] = std::uint8_t(qBlue(line[x]));
            out[3] = std::uint8_t(qAlpha(line[x]));
        }
    }
    outcome->status = decoding::DecodeStatus::Ok;
    return true;
}
