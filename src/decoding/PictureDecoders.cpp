#include "decoding/PictureDecoders.h"

#include "decoding/BmpJpegGifHeaders.h"
#include "decoding/DecoderSupport.h"
#include "decoding/HeifDecoder.h"
#include "decoding/Jpeg2000Decoder.h"
#include "decoding/PictureOrientation.h"
#include "decoding/PngDecoder.h"
#include "decoding/TiffDecoder.h"
#include "decoding/WebpDecoder.h"

namespace decoding {

namespace {

constexpr const char* kNotRead = "not read by this decoder";

// The header as the reader of the type gives it.
PictureHeader readTypeHeader(Bytes file, PictureType type)
{
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

} // namespace

PictureHeader readHeader(Bytes file, const DecodeOptions& options)
{
    const PictureType type = detectType(file);
    PictureHeader header = readTypeHeader(file, type);
    // Several frames never fit one picture, and a count the header leaves
    // open (0) may be several. The HEIF reader does not read sample depths.
    header.beyondEightBitRgba = header.beyondEightBitRgba || header.frames != 1
        || type == PictureType::Heif || type == PictureType::Avif;
    return options.asShown ? orientedHeader(header, file) : header;
}

namespace {

// The stored rows, by the decoder of the type.
DecodeOutcome decodeStored(Bytes file, const DecodeOptions& options)
{
    const PictureType type = detectType(file);
    const PictureTypeRow* row = rowOf(type);
    if (!row)
        return detail::failure(DecodeStatus::Unreadable, "not a picture of a known type");
    switch (row->reader) {
    case PictureReader::Png:
        return png::decode(file, options);
    case PictureReader::Tiff:
        return tiff::decode(file, options);
    case PictureReader::Jpeg2000:
        return jpeg2000::decode(file, options);
    case PictureReader::WebP:
        return decodeWebp(file, options);
    case PictureReader::Heif:
        return decodeHeif(file, options);
    case PictureReader::Qt:
        break;
    }
    return detail::failure(DecodeStatus::Unreadable, std::string(typeName(type)) + ": " + kNotRead);
}

} // namespace

DecodeOutcome decode(Bytes file, const DecodeOptions& options)
{
    return decodeAsShown(file, options, [&] { return decodeStored(file, options); });
}

bool decodesPixels(PictureType type)
{
    const PictureTypeRow* row = rowOf(type);
    return row && row->reader != PictureReader::Qt;
}

} // namespace decoding
