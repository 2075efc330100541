#include "finder/PictureReader.h"

#include "converter/Jp2Decoder.h"
#include "decoding/BmpJpegGifHeaders.h"
#include "finder/PictureTypes.h"
#include "finder/PixelFingerprint.h"
#include "finder/QtPictureDecoder.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>

#include <openjpeg.h>

#include <cstdio>
#include <cstring>
#include <mutex>

namespace finder {

namespace {

using decoding::DecodeOutcome;
using decoding::DecodeStatus;
using decoding::PictureType;

QByteArray wrap(decoding::Bytes bytes)
{
    return QByteArray::fromRawData(
        reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

DecodeOutcome decodeJpeg2000(decoding::Bytes file)
{
    DecodeOutcome outcome;
    const QByteArray data = wrap(file);
    Jp2Decoder decoder(data, file.size() >= 2 && file[0] == 0xFF && file[1] == 0x4F);
    if (decoder.readHeader() != Jp2Decoder::Ok) {
        outcome.reason = "unreadable JPEG 2000 header";
        return outcome;
    }
    const QSize size = decoder.size();
    if (std::uint64_t(size.width()) * std::uint64_t(size.height()) > decoding::kPixelBudget) {
        outcome.status = DecodeStatus::TooLarge;
        outcome.reason = "over the pixel budget";
        return outcome;
    }
    // This reader scales every component to 8 bits; a deeper picture would
    // lose the very differences the search looks for.
    if (decoder.componentCount() <= 0 || decoder.bitsPerPixel() != 8 * decoder.componentCount()) {
        outcome.reason = "JPEG 2000 deeper than 8 bits (no full-depth decoder yet)";
        return outcome;
    }
    QImage image;
    if (decoder.decode(&image) != Jp2Decoder::Ok || image.isNull()) {
        outcome.reason = "unreadable JPEG 2000 data";
        return outcome;
    }
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    const std::size_t rowBytes = std::size_t(rgba.width()) * 4;
    std::vector<std::uint8_t> pixels(rowBytes * std::size_t(rgba.height()));
    for (int y = 0; y < rgba.height(); ++y)
        std::memcpy(pixels.data() + rowBytes * std::size_t(y), rgba.constScanLine(y), rowBytes);
    outcome.status = DecodeStatus::Ok;
    outcome.picture.width = std::uint32_t(rgba.width());
    outcome.picture.height = std::uint32_t(rgba.height());
    outcome.picture.bytesPerSample = 1;
    outcome.picture.frames.push_back(std::move(pixels));
    return outcome;
}

decoding::PictureHeader jpeg2000Header(decoding::Bytes head)
{
    decoding::PictureHeader header;
    header.type = PictureType::Jpeg2000;
    const QByteArray data = wrap(head);
    Jp2Decoder decoder(data, head.size() >= 2 && head[0] == 0xFF && head[1] == 0x4F);
    if (decoder.readHeader() != Jp2Decoder::Ok || decoder.size().isEmpty())
        return header;
    header.width = std::uint32_t(decoder.size().width());
    header.height = std::uint32_t(decoder.size().height());
    header.frames = 1;
    header.ok = true;
    return header;
}

// The JPEG reader's output depends on the libjpeg build behind Qt (its inverse
// transform and upsampling), which no version number here names: decode a
// small picture once and let its pixels stand for that build.
std::string jpegProbe()
{
    QImage image(24, 17, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(
                x, y, qRgb((x * 37 + y * 11) & 255, (x * y * 5) & 255, (255 - x * 9) & 255));
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(75);
    if (!writer.write(image))
        return "none";
    const decoding::Bytes file(
        reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
    const DecodeOutcome outcome = decodeWithQt(file, PictureType::Jpeg);
    if (outcome.status != DecodeStatus::Ok)
        return "none";
    const auto digest = fingerprintOf(outcome.picture).digest;
    char text[17];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x%02x%02x%02x%02x", digest[0], digest[1],
        digest[2], digest[3], digest[4], digest[5], digest[6], digest[7]);
    return text;
}

} // namespace

void preparePictureReading()
{
    prepareQtDecoding();
    decoderVersion();
}

decoding::PictureType detectType(decoding::Bytes head)
{
    return sniffType(head);
}

decoding::PictureHeader readHeader(decoding::Bytes head)
{
    const PictureType type = detectType(head);
    switch (type) {
    case PictureType::Bmp:
        return decoding::readBmpHeader(head);
    case PictureType::Jpeg:
        return decoding::readJpegHeader(head);
    case PictureType::Gif:
        return decoding::readGifHeader(head);
    case PictureType::Png:
    case PictureType::Tiff:
        return headerWithQt(head, type);
    case PictureType::Jpeg2000:
        return jpeg2000Header(head);
    case PictureType::WebP:
    case PictureType::Heif:
    case PictureType::Avif:
    case PictureType::Unknown:
        break;
    }
    decoding::PictureHeader header;
    header.type = type;
    return header;
}

bool hasDecoder(decoding::PictureType type)
{
    switch (type) {
    case PictureType::Bmp:
    case PictureType::Jpeg:
    case PictureType::Gif:
    case PictureType::Png:
    case PictureType::Tiff:
    case PictureType::Jpeg2000:
        return true;
    case PictureType::WebP:
    case PictureType::Heif:
    case PictureType::Avif:
    case PictureType::Unknown:
        break;
    }
    return false;
}

decoding::DecodeOutcome decodePicture(decoding::Bytes file, decoding::PictureType type)
{
    switch (type) {
    case PictureType::Bmp:
    case PictureType::Jpeg:
    case PictureType::Gif:
    case PictureType::Png:
    case PictureType::Tiff:
        return decodeWithQt(file, type);
    case PictureType::Jpeg2000:
        return decodeJpeg2000(file);
    case PictureType::WebP:
    case PictureType::Heif:
    case PictureType::Avif:
    case PictureType::Unknown:
        break;
    }
    DecodeOutcome outcome;
    outcome.reason = type == PictureType::Unknown
        ? "not a picture of a type Corvane reads"
        : "no decoder for " + typeName(type).toStdString();
    return outcome;
}

const std::string& decoderVersion()
{
    static const std::string version = [] {
        prepareQtDecoding();
        return "finder-decoders 1; Qt " + std::string(qVersion()) + "; jpeg probe " + jpegProbe()
            + "; OpenJPEG " + opj_version() + " (8-bit); budget "
            + std::to_string(decoding::kPixelBudget);
    }();
    return version;
}

} // namespace finder
