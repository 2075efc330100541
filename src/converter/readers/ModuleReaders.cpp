// i__view32-readers.so: the converter's readers for BMP, JPEG and GIF (Qt's,
// through the Qt adapter the window reads them with) and for WebP, HEIF and
// AVIF (the decoding library); see ReaderModule.h.

#include "CorvaneVersion.h"
#include "converter/ReaderModule.h"
#include "decoding/PictureDecoders.h"
#include "decoding/PictureType.h"
#include "qtreading/QtPictureReading.h"

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
        qtreading::prepare();
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
    // The first frame, as Corvane's window reads it (a bitmap holds one).
    QImage image;
    const qtreading::ReadOutcome read = qtreading::readFrames(&buffer,
        decoding::qtFormatOf(pictureType), qtreading::Frames::First, [&image](QImage& frame) {
            image = std::move(frame);
            return false;
        });
    if (read.status != decoding::DecodeStatus::Ok || image.isNull()) {
        outcome->status = read.status == decoding::DecodeStatus::TooLarge
            ? decoding::DecodeStatus::TooLarge
            : decoding::DecodeStatus::Unreadable;
        outcome->reason = read.status == decoding::DecodeStatus::TooLarge ? "over the pixel budget"
                                                                          : "damaged picture data";
        return false;
    }
    // Straight RGBA bytes, as the decoding library gives them, and as the
    // window shows them: a palette index without a colour is transparent.
    decoding::DecodedPicture& picture = outcome->picture;
    try {
        picture.frames.assign(1, qtreading::windowRgba(image));
    } catch (const std::bad_alloc&) {
        outcome->status = decoding::DecodeStatus::TooLarge;
        outcome->reason = "not enough memory for the picture";
        picture = {};
        return false;
    }
    picture.width = std::uint32_t(image.width());
    picture.height = std::uint32_t(image.height());
    picture.bytesPerSample = 1;
    outcome->status = decoding::DecodeStatus::Ok;
    return true;
}
