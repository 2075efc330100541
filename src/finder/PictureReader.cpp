#include "finder/PictureReader.h"

#include "CorvaneVersion.h"
#include "decoding/AnimationBudget.h"
#include "decoding/BmpJpegGifHeaders.h"
#include "decoding/HeifDecoder.h"
#include "decoding/JpegDecoder.h"
#include "decoding/PictureDecoders.h"
#include "decoding/PictureOrientation.h"
#include "decoding/PictureType.h"
#include "decoding/WebpAnimation.h"
#include "decoding/WebpDecoder.h"
#include "finder/PixelFingerprint.h"
#include "finder/QtFingerprint.h"
#include "qtreading/QtPictureReading.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>

#include <openjpeg.h>
#include <png.h>
#include <tiffio.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

namespace finder {

namespace {

using decoding::DecodeOutcome;
using decoding::DecodeStatus;
using decoding::PictureType;

// Raised whenever a change in Corvane's own decoders can change the pixels
// they give for some file.
// Revision 2: the search form keeps every stored sample with its meaning
// (CMYK, signed samples, extra samples, 16-bit colour maps) and refuses what
// it cannot hold; fingerprints made before that are never trusted.
// Revision 3: JPEG and TIFF pictures are turned by their orientation tag.
// Revision 4: a BMP with colour fields wider than 8 bits is refused (Qt
// narrowed them, so two such files a low bit apart were read the same), and
// a palette index without a colour is transparent black, as the window shows
// it, never the opaque black of a true black pixel.
// Revision 5: a JPEG is damaged on every libjpeg warning but a few harmless
// ones; a cut-off arithmetic-coded scan followed by a marker, which libjpeg
// decodes without a warning, is refused; Huffman-coded data too short for
// its picture is refused before decoding.
constexpr int kDecoderRevision = 5;

// Every picture is read as a viewer shows it.
constexpr decoding::DecodeOptions kAsShown{.asShown = true};

// Hashes the frames of an animation as they are composed, so that no more
// than the one canvas is held. Whether every pixel is opaque is known only
// at the end, so both canonical forms are hashed until a pixel that is not
// opaque rules the shorter one out.
class AnimationHasher : public decoding::AnimationSink {
public:
    bool begin(std::uint32_t width, std::uint32_t height, std::uint32_t frames) override
    {
        // The same limit as a decode that keeps every frame (decodePicture).
        if (!decoding::withinFrameBudget(width, height, frames)) {
            overBudget = decoding::overFrameBudgetReason(width, height, frames);
            return false;
        }
        m_width = width;
        m_height = height;
        m_withAlpha = std::make_unique<EightBitPixelHasher>(width, height, frames, false);
        m_opaque = std::make_unique<EightBitPixelHasher>(width, height, frames, true);
        m_row.resize(std::size_t(width) * 3);
        return true;
    }
    bool frame(const std::uint8_t* canvas) override
    {
        const std::size_t rowBytes = std::size_t(m_width) * 4;
        for (std::uint32_t y = 0; y < m_height; ++y) {
            const std::uint8_t* line = canvas + rowBytes * y;
            m_withAlpha->add(line, rowBytes);
            if (!m_opaque)
                continue;
            for (std::uint32_t x = 0; x < m_width; ++x) {
                if (line[4 * x + 3] != 0xFF) {
                    m_opaque.reset();
                    break;
                }
                m_row[3 * x] = line[4 * x];
                m_row[3 * x + 1] = line[4 * x + 1];
                m_row[3 * x + 2] = line[4 * x + 2];
            }
            if (m_opaque)
                m_opaque->add(m_row.data(), m_row.size());
        }
        return true;
    }
    PixelFingerprint finish() { return m_opaque ? m_opaque->finish() : m_withAlpha->finish(); }
    std::string overBudget;

private:
    std::uint32_t m_width = 0;
    std::uint32_t m_height = 0;
    std::unique_ptr<EightBitPixelHasher> m_withAlpha;
    std::unique_ptr<EightBitPixelHasher> m_opaque;
    std::vector<std::uint8_t> m_row;
};

bool readWithQt(PictureType type)
{
    const decoding::PictureTypeRow* row = decoding::rowOf(type);
    return row && row->reader == decoding::PictureReader::Qt;
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
    const DecodeOutcome outcome = qtreading::decode(file, PictureType::Jpeg);
    if (outcome.status != DecodeStatus::Ok)
        return "none";
    const auto digest = fingerprintOf(outcome.picture).digest;
    char text[17];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x%02x%02x%02x%02x", digest[0], digest[1],
        digest[2], digest[3], digest[4], digest[5], digest[6], digest[7]);
    return text;
}

// An RGB or grey JPEG shown as stored is hashed row by row as libjpeg
// writes the rows: no picture to allocate and fill, no alpha to add and
// strip again. Nothing when the JPEG is CMYK (its inks go the whole way).
std::optional<PictureFingerprint> streamedJpegFingerprint(decoding::Bytes file)
{
    PictureFingerprint result;
    // As the whole decode: libjpeg would fill a cut-off stream with grey.
    if (!decoding::isComplete(file, PictureType::Jpeg)) {
        result.reason = "cut off or damaged JPEG data";
        return result;
    }
    OpaqueRowHasher hasher;
    switch (decoding::jpeg::streamRows(file, hasher, &result.reason, &result.failureKind)) {
    case decoding::StreamResult::Streamed:
        result.ok = true;
        result.reason.clear();
        result.fingerprint = hasher.finish();
        return result;
    case decoding::StreamResult::NotStreamable:
        return std::nullopt;
    case decoding::StreamResult::TooLarge:
    case decoding::StreamResult::Failed:
        return result;
    }
    return std::nullopt;
}

} // namespace

void preparePictureReading()
{
    qtreading::prepare();
    decoderVersion();
}

decoding::PictureType detectType(decoding::Bytes head)
{
    return decoding::detectType(head);
}

decoding::PictureHeader readHeader(decoding::Bytes head)
{
    return decoding::readHeader(head, kAsShown);
}

bool hasDecoder(decoding::PictureType type)
{
    return readWithQt(type) || decoding::decodesPixels(type);
}

// Every frame, as the decoder of the type gives it: the stored rows, or
// turned as shown when options ask.
static DecodeOutcome decodeWith(
    decoding::Bytes file, PictureType type, const decoding::DecodeOptions& options = {})
{
    if (readWithQt(type))
        return qtreading::decode(file, type, options);
    if (decoding::decodesPixels(type))
        return decoding::decode(file, options); // 16-bit samples stay 16-bit
    DecodeOutcome outcome;
    outcome.reason = type == PictureType::Unknown
        ? "not a picture of a type Corvane reads"
        : std::string("no decoder for ") + decoding::typeName(type);
    return outcome;
}

decoding::DecodeOutcome decodePicture(decoding::Bytes file, decoding::PictureType type)
{
    return decodeWith(file, type, kAsShown);
}

PictureFingerprint fingerprintPicture(decoding::Bytes file, decoding::PictureType type)
{
    PictureFingerprint result;
    // A turned picture is decoded whole and turned before it is hashed; only
    // pictures shown as stored are hashed as the decoder gives their rows.
    const bool asStored = decoding::shownAsStored(file);
    if (asStored && type == PictureType::Jpeg) {
        if (std::optional<PictureFingerprint> streamed = streamedJpegFingerprint(file))
            return std::move(*streamed);
    }
    if (asStored && readWithQt(type)) {
        QtFingerprint qt = fingerprintWithQt(file, type);
        result.ok = qt.status == DecodeStatus::Ok;
        result.reason = std::move(qt.reason);
        result.failureKind = qt.failureKind;
        result.fingerprint = qt.fingerprint;
        return result;
    }
    if (type == PictureType::WebP && decoding::isWebpAnimation(file)) {
        AnimationHasher hasher;
        const DecodeOutcome composed = decoding::composeWebpAnimation(file, false, hasher);
        result.ok = composed.status == DecodeStatus::Ok;
        if (result.ok)
            result.fingerprint = hasher.finish();
        else
            result.reason = hasher.overBudget.empty() ? composed.reason : hasher.overBudget;
        result.failureKind = composed.failureKind;
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

PictureFingerprint fingerprintStoredPicture(decoding::Bytes file, decoding::PictureType type)
{
    PictureFingerprint result;
    if (readWithQt(type))
        qtreading::prepare();
    const DecodeOutcome outcome = decodeWith(file, type);
    result.ok = outcome.status == DecodeStatus::Ok && !outcome.picture.frames.empty();
    if (result.ok)
        result.fingerprint = fingerprintOf(outcome.picture);
    else
        result.reason = outcome.reason.empty() ? "cannot be decoded" : outcome.reason;
    result.failureKind = outcome.failureKind;
    return result;
}

const std::string& decoderVersion()
{
    static const std::string version = [] {
        qtreading::prepare();
        return std::string("Corvane ") + kCorvaneVersion + " decoders "
            + std::to_string(kDecoderRevision) + "; Qt " + qVersion() + "; jpeg probe "
            + jpegProbe() + "; " + decoding::jpeg::libraryVersion() + "; libpng "
            + png_get_libpng_ver(nullptr) + "; " + TIFFGetVersion() + "; OpenJPEG " + opj_version()
            + "; " + decoding::webpLibraryVersion() + "; " + decoding::heifLibraryVersions()
            + "; budget " + std::to_string(decoding::kPixelBudget);
    }();
    return version;
}

} // namespace finder
