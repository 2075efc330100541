#include "FuzzSupport.h"

#include "converter/BmpWriter.h"
#include "converter/HeaderProbe.h"
#include "converter/ImageInfoReport.h"
#include "decoding/PictureDecoders.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// The entry of the converter's reader module, compiled into the targets.
extern "C" bool corvane_read_picture(
    const std::uint8_t* data, std::size_t size, int type, decoding::DecodeOutcome* outcome);

namespace {

// Bigger pictures are decoded but not written back, to keep the runs fast.
constexpr std::uint64_t kRoundTripPixels = 4'000'000;
// A few hundred bytes can claim a picture of a hundred megapixels that is
// within the budget: decoding it is the converter's job, not a finding, and
// takes longer than a fuzz run allows with the sanitizers. Such headers are
// read but not decoded.
constexpr std::uint64_t kDecodePixels = 16'000'000;

[[noreturn]] void finding(const char* what)
{
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

void checkPicture(const decoding::DecodedPicture& picture)
{
    if (picture.frames.empty() || !decoding::withinPixelBudget(picture.width, picture.height))
        finding("decoder reported success without a picture within the budget");
    for (const auto& frame : picture.frames) {
        if (frame.size() != picture.frameBytes())
            finding("a frame's size does not match the picture's");
    }
}

} // namespace

void FuzzSupport::decodeAndCheck(decoding::Bytes bytes, decoding::PictureType type)
{
    const decoding::PictureType sniffed = decoding::detectType(bytes);
    if (sniffed != type)
        return;
    const HeaderFacts facts = HeaderProbe::probe(bytes, type);
    // The converter refuses these before decoding.
    if ((type == decoding::PictureType::Tiff || type == decoding::PictureType::Bmp)
        && !facts.complete)
        return;
    const decoding::PictureHeader claimed = decoding::readHeader(bytes);
    if (claimed.ok && std::uint64_t(claimed.width) * claimed.height > kDecodePixels)
        return;
    decoding::DecodeOutcome outcome;
    if (type == decoding::PictureType::Bmp || type == decoding::PictureType::Jpeg
        || type == decoding::PictureType::Gif) {
        corvane_read_picture(bytes.data(), bytes.size(), int(type), &outcome);
    } else {
        // The search's form (16-bit kept) and the converter's (8-bit).
        const decoding::DecodeOutcome wide = decoding::decode(bytes);
        if (wide.status == decoding::DecodeStatus::Ok) {
            checkPicture(wide.picture);
            // The neighbour search trusts a header that says the file holds
            // no more than one 8-bit RGBA picture.
            if (claimed.ok && !claimed.beyondEightBitRgba
                && (wide.picture.frames.size() != 1 || wide.picture.bytesPerSample != 1
                    || !wide.picture.isRgba()))
                finding("a header says 8-bit RGBA, the picture holds more");
        }
        outcome = decoding::decode(bytes, {.eightBit = true});
        // The search's form refuses what it cannot hold exactly (floating-
        // point samples, deeper than 16 bits...) where the converter's form
        // converts it, and holds some layouts (16-bit CMYK) the converter's
        // cannot convert: only a refusal for any other reason disagrees.
        if (wide.status != decoding::DecodeStatus::Ok
            && outcome.status == decoding::DecodeStatus::Ok
            && !wide.reason.ends_with("not supported"))
            finding("the 8-bit and the 16-bit decoding disagree on success");
    }
    if (outcome.status != decoding::DecodeStatus::Ok)
        return;
    checkPicture(outcome.picture);
    const decoding::PictureHeader header = decoding::readHeader(bytes);
    if (header.ok
        && (header.width != outcome.picture.width || header.height != outcome.picture.height))
        finding("header and decoded picture differ in size");
    if (std::uint64_t(outcome.picture.width) * outcome.picture.height <= kRoundTripPixels) {
        ImageInfoReport::countUniqueColors(outcome.picture);
        checkBitmapRoundTrip(outcome.picture);
    }
}

void FuzzSupport::checkBitmapRoundTrip(const decoding::DecodedPicture& picture)
{
    QByteArray bitmap;
    const bool written
        = BmpWriter::write(picture, 0, 0, 0, [&bitmap](const std::uint8_t* data, std::size_t size) {
              bitmap.append(reinterpret_cast<const char*>(data), qsizetype(size));
              return true;
          });
    if (!written)
        finding("bitmap writer refused a decoded picture");
    QBuffer in(&bitmap);
    in.open(QIODevice::ReadOnly);
    QImageReader reader(&in, "bmp");
    QImage back;
    if (!reader.read(&back))
        finding("bitmap of a decoded picture does not read back");
    back = back.convertToFormat(QImage::Format_ARGB32);
    if (std::uint32_t(back.width()) != picture.width
        || std::uint32_t(back.height()) != picture.height)
        finding("bitmap size differs from the picture's");
    const std::uint8_t* pixels = picture.frames[0].data();
    for (int y = 0; y < back.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(back.constScanLine(y));
        for (int x = 0; x < back.width(); ++x, pixels += 4) {
            if (line[x] != qRgba(pixels[0], pixels[1], pixels[2], pixels[3]))
                finding("bitmap pixel differs from the decoded picture's");
        }
    }
}
