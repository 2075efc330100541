#include "search/ImageContent.h"

#include "decoding/BmpJpegGifHeaders.h"
#include "decoding/PictureType.h"

namespace {

decoding::Bytes bytesOf(const QByteArray& bytes)
{
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())};
}

} // namespace

ImageContent::Kind ImageContent::sniff(const QByteArray& bytes)
{
    return decoding::detectType(bytesOf(bytes));
}

ImageContent::Kind ImageContent::fromFormat(const QByteArray& format)
{
    const QByteArray name = format.toLower();
    if (name == "bmp")
        return Bmp;
    if (name == "jpg" || name == "jpeg")
        return Jpeg;
    if (name == "gif")
        return Gif;
    return Unknown;
}

bool ImageContent::bmpHeadComplete(const QByteArray& head, qint64 fileSize)
{
    return fileSize >= 0 && decoding::bmpComplete(bytesOf(head), std::uint64_t(fileSize));
}
