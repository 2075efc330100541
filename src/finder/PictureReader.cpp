#include "finder/PictureReader.h"

#include "decoding/HeifDecoder.h"
#include "decoding/PictureDecoders.h"
#include "decoding/PictureType.h"
#include "decoding/WebpDecoder.h"
#include "finder/PixelFingerprint.h"
#include "finder/QtPictureDecoder.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>

#include <openjpeg.h>
#include <png.h>
#include <tiffio.h>

#include <cstdio>

namespace finder {

namespace {

using decoding::DecodeOutcome;
using decoding::DecodeStatus;
using decoding::PictureType;

// Raised whenever a change in Corvane's own decoders can change the pixels
// they give for some file.
constexpr int kDecoderRevision = 1;

bool readWithQt(PictureType type)
{
    return type == PictureType::Bmp || type == PictureType::Jpeg || type == PictureType::Gif;
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
    return decoding::detectType(head);
}

decoding::PictureHeader readHeader(decoding::Bytes head)
{
    return decoding::readHeader(head);
}

bool hasDecoder(decoding::PictureType type)
{
    return readWithQt(type) || decoding::decodesPixels(type);
}

decoding::DecodeOutcome decodePicture(decoding::Bytes file, decoding::PictureType type)
{
    if (readWithQt(type))
        return decodeWithQt(file, type);
    if (decoding::decodesPixels(type))
        return decoding::decode(file); // 16-bit samples stay 16-bit
    DecodeOutcome outcome;
    outcome.reason = type == PictureType::Unknown
        ? "not a picture of a type Corvane reads"
        : std::string("no decoder for ") + decoding::typeName(type);
    return outcome;
}

PictureFingerprint fingerprintPicture(decoding::Bytes file, decoding::PictureType type)
{
    PictureFingerprint result;
    if (readWithQt(type)) {
        QtFingerprint qt = fingerprintWithQt(file, type);
        result.ok = qt.status == DecodeStatus::Ok;
        result.reason = std::move(qt.reason);
        result.failureKind = qt.failureKind;
        result.fingerprint = qt.fingerprint;
        return result;
    }
    DecodeOutcome outcome = decodePicture(file, type);
    result.ok = outcome.status == DecodeStatus::Ok && !outcome.picture.frames.empty();
    if (result.ok)
        result.fingerprint = fingerprintOf(outcome.picture);
    else
        result.reason = outcome.reason.empty() ? "cannot be decoded" : std::move(outcome.reason);
    result.failureKind = outcome.failureKind;
    return result;
}

const std::string& decoderVersion()
{
    static const std::string version = [] {
        prepareQtDecoding();
        return "Corvane decoders " + std::to_string(kDecoderRevision) + "; Qt " + qVersion()
            + "; jpeg probe " + jpegProbe() + "; libpng " + png_get_libpng_ver(nullptr) + "; "
            + TIFFGetVersion() + "; OpenJPEG " + opj_version() + "; "
            + decoding::webpLibraryVersion() + "; " + decoding::heifLibraryVersions() + "; budget "
            + std::to_string(decoding::kPixelBudget);
    }();
    return version;
}

} // namespace finder
