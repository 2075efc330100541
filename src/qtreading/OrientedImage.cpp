#include "qtreading/OrientedImage.h"

#include "decoding/PictureOrientation.h"

namespace qtreading {

QImage orientedImage(const QImage& image, decoding::Orientation orientation)
{
    if (image.isNull() || orientation == decoding::Orientation::AsStored)
        return image;
    const QImage source = image.depth() < 8 ? image.convertToFormat(QImage::Format_ARGB32) : image;
    const bool swap = decoding::swapsSides(orientation);
    QImage turned(swap ? source.height() : source.width(), swap ? source.width() : source.height(),
        source.format());
    if (turned.isNull())
        return QImage();
    turned.setColorTable(source.colorTable());
    decoding::orientRows(source.constBits(), std::size_t(source.bytesPerLine()),
        std::uint32_t(source.width()), std::uint32_t(source.height()),
        std::size_t(source.depth() / 8), orientation, turned.bits(),
        std::size_t(turned.bytesPerLine()));
    return turned;
}

} // namespace qtreading
