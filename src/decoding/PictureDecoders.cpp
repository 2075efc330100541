#include "decoding/PictureDecoders.h"

#include "decoding/DecoderSupport.h"
#include "decoding/Jpeg2000Decoder.h"
#include "decoding/PngDecoder.h"
#include "decoding/TiffDecoder.h"

namespace decoding {

namespace {

constexpr const char* kNotRead = "not read by this decoder";

} // namespace

PictureHeader readHeader(Bytes file)
{
    const PictureType type = detectType(file);
    switch (type) {
    case PictureType::Png:
        return png::readHeader(file);
    case PictureType::Tiff:
        return tiff::readHeader(file);
    case PictureType::Jpeg2000:
        return jpeg2000::readHeader(file);
    // Header readers still to come: BMP, JPEG, GIF, WebP, HEIF, AVIF.
    case PictureType::Bmp:
    case PictureType::Jpeg:
    case PictureType::Gif:
    case PictureType::WebP:
    case PictureType::Heif:
    case PictureType::Avif:
    case PictureType::Unknown:
        break;
    }
    PictureHeader header;
    header.type = type;
    return header;
}

DecodeOutcome decode(Bytes file, const DecodeOptions& options)
{
    const PictureType type = detectType(file);
    switch (type) {
    case PictureType::Png:
        return png::decode(file, options);
    case PictureType::Tiff:
        return tiff::decode(file, options);
    case PictureType::Jpeg2000:
        return jpeg2000::decode(file, options);
    // Decoders still to come: WebP, HEIF, AVIF.
    case PictureType::Bmp:
    case PictureType::Jpeg:
    case PictureType::Gif:
    case PictureType::WebP:
    case PictureType::Heif:
    case PictureType::Avif:
        return detail::failure(
            DecodeStatus::Unreadable, std::string(typeName(type)) + ": " + kNotRead);
    case PictureType::Unknown:
        break;
    }
    return detail::failure(DecodeStatus::Unreadable, "not a picture of a known type");
}

bool decodesPixels(PictureType type)
{
    return type == PictureType::Png || type == PictureType::Tiff || type == PictureType::Jpeg2000;
}

} // namespace decoding
