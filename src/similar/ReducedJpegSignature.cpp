#include "similar/ReducedJpegSignature.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>

namespace similar {

int jpegReduction(std::uint32_t width, std::uint32_t height)
{
    for (int reduction : {8, 4, 2}) {
        if ((width + reduction - 1) / reduction >= 32 && (height + reduction - 1) / reduction >= 32)
            return reduction;
    }
    return 1;
}

std::optional<PhotoSignature> reducedJpegSignature(
    decoding::Bytes file, std::uint32_t width, std::uint32_t height)
{
    const QByteArray bytes = QByteArray::fromRawData(
        reinterpret_cast<const char*>(file.data()), qsizetype(file.size()));
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    reader.setAutoTransform(false); // stored pixels, as the fingerprint sees them
    const int reduction = jpegReduction(width, height);
    // Asking for exactly libjpeg's reduced size lets Qt's reader use its DCT
    // scaling with no second resize.
    if (reduction > 1)
        reader.setScaledSize(QSize(
            int((width + reduction - 1) / reduction), int((height + reduction - 1) / reduction)));
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return std::nullopt;
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32)
        image.convertTo(QImage::Format_RGB32);
    FrameView view;
    view.data = image.constBits();
    view.width = std::uint32_t(image.width());
    view.height = std::uint32_t(image.height());
    view.stride = std::size_t(image.bytesPerLine());
    view.bgraWords = true;
    return signatureOf(view, width, height);
}

} // namespace similar
