#include "decoding/PictureDecoders.h"

#include "decoding/BmpJpegGifHeaders.h"
#include "decoding/DecoderSupport.h"
#include "decoding/HeifDecoder.h"
#include "decoding/Jpeg2000Decoder.h"
#include "decoding/PngDecoder.h"
#include "decoding/TiffDecoder.h"
#include "decoding/WebpDecoder.h"

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
    case PictureType::WebP:
        return readWebpHeader(file);
    case PictureType::Heif:
    case PictureType::Avif:
        return readHeifHeader(file);
    case PictureType::Bmp:
        return readBmpHeader(file);
    case PictureType::Jpeg:
        return readJpegHeader(file);
    case PictureType::Gif:
        return readGifHeader(file);
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
    case PictureType::WebP:
        return decodeWebp(file, options);
    case PictureType::Heif:
    case PictureType::Avif:
        return decodeHeif(file, options);
    case PictureType::Bmp:
    case PictureType::Jpeg:
    case PictureType::Gif:
        return detail::failure(
            DecodeStatus::Unreadable, std::string(typeName(type)) + ": " + kNotRead);
    case PictureType::Unknown:
        break;
    }
    return detail::failure(DecodeStatus::Unreadable, "not a picture of a known type");
}

bool decodesPixels(PictureType type)
{
    return type == PictureType::Png || type == PictureType::Tiff || type == PictureType::Jpeg2000
        || type == PictureType::WebP || type == PictureType::Heif || type == PictureType::Avif;
}

} // namespace decoding
