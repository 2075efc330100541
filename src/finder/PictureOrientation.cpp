#include "finder/PictureOrientation.h"

#include <cstring>
#include <utility>

namespace finder {

namespace {

using decoding::Orientation;

// Writes the picture at `in` (width x height, `in` rows apart) turned by
// orientation to `out`: each output pixel (x, y) takes the stored pixel the
// tag names, so one loop serves all eight values.
template <std::size_t kPixelBytes>
void orientRows(const std::uint8_t* in, std::size_t inStride, std::uint32_t width,
    std::uint32_t height, std::size_t pixelBytes, Orientation orientation, std::uint8_t* out,
    std::size_t outStride)
{
    const std::size_t size = kPixelBytes ? kPixelBytes : pixelBytes;
    const bool swap = decoding::swapsSides(orientation);
    const std::uint32_t outWidth = swap ? height : width;
    const std::uint32_t outHeight = swap ? width : height;
    for (std::uint32_t y = 0; y < outHeight; ++y) {
        std::uint8_t* row = out + outStride * y;
        for (std::uint32_t x = 0; x < outWidth; ++x) {
            std::uint32_t sx = x;
            std::uint32_t sy = y;
            switch (orientation) {
            case Orientation::AsStored:
                break;
            case Orientation::MirrorLeftRight:
                sx = width - 1 - x;
                break;
            case Orientation::Turn180:
                sx = width - 1 - x;
                sy = height - 1 - y;
                break;
            case Orientation::MirrorTopBottom:
                sy = height - 1 - y;
                break;
            case Orientation::Transpose:
                sx = y;
                sy = x;
                break;
            case Orientation::TurnClockwise:
                sx = y;
                sy = height - 1 - x;
                break;
            case Orientation::Transverse:
                sx = width - 1 - y;
                sy = height - 1 - x;
                break;
            case Orientation::TurnAnticlockwise:
                sx = width - 1 - y;
                sy = x;
                break;
            }
            std::memcpy(row + size * x, in + inStride * sy + size * sx, size);
        }
    }
}

void orient(const std::uint8_t* in, std::size_t inStride, std::uint32_t width, std::uint32_t height,
    std::size_t pixelBytes, Orientation orientation, std::uint8_t* out, std::size_t outStride)
{
    switch (pixelBytes) {
    case 4:
        return orientRows<4>(in, inStride, width, height, 4, orientation, out, outStride);
    case 8:
        return orientRows<8>(in, inStride, width, height, 8, orientation, out, outStride);
    default:
        return orientRows<0>(in, inStride, width, height, pixelBytes, orientation, out, outStride);
    }
}

} // namespace

decoding::PictureHeader orientedHeader(decoding::PictureHeader header, decoding::Bytes head)
{
    if (header.ok && decoding::swapsSides(decoding::readOrientation(head).orientation))
        std::swap(header.width, header.height);
    return header;
}

void orientPicture(decoding::DecodedPicture& picture, Orientation orientation)
{
    const std::size_t pixels = std::size_t(picture.width) * picture.height;
    if (orientation == Orientation::AsStored || pixels == 0)
        return;
    for (std::vector<std::uint8_t>& frame : picture.frames) {
        const std::size_t pixelBytes = frame.size() / pixels;
        std::vector<std::uint8_t> turned(frame.size());
        const std::uint32_t outWidth
            = decoding::swapsSides(orientation) ? picture.height : picture.width;
        orient(frame.data(), pixelBytes * picture.width, picture.width, picture.height, pixelBytes,
            orientation, turned.data(), pixelBytes * outWidth);
        frame = std::move(turned);
    }
    if (decoding::swapsSides(orientation))
        std::swap(picture.width, picture.height);
}

QImage orientedImage(const QImage& image, Orientation orientation)
{
    if (image.isNull() || orientation == Orientation::AsStored)
        return image;
    const QImage source = image.depth() < 8 ? image.convertToFormat(QImage::Format_ARGB32) : image;
    const bool swap = decoding::swapsSides(orientation);
    QImage turned(swap ? source.height() : source.width(), swap ? source.width() : source.height(),
        source.format());
    if (turned.isNull())
        return QImage();
    turned.setColorTable(source.colorTable());
    orient(source.constBits(), std::size_t(source.bytesPerLine()), std::uint32_t(source.width()),
        std::uint32_t(source.height()), std::size_t(source.depth() / 8), orientation, turned.bits(),
        std::size_t(turned.bytesPerLine()));
    return turned;
}

} // namespace finder
