#include "review/PictureForView.h"

#include "decoding/BmpJpegGifHeaders.h"
#include "decoding/JpegDecoder.h"
#include "decoding/MappedFile.h"
#include "decoding/OrientationTag.h"
#include "decoding/PictureDecoders.h"
#include "qtreading/OrientedImage.h"
#include "search/ImageLoader.h"

#include <QFile>

#include <algorithm>
#include <cstring>

namespace {

// The first frame of a picture from Corvane's own decoders, at 8 bits a sample.
QImage fromDecoders(const decoding::MappedFile& file)
{
    if (!file.ok())
        return QImage();
    const decoding::PictureType type = decoding::detectType(file.bytes());
    if (!decoding::decodesPixels(type))
        return QImage();
    decoding::DecodeOptions options;
    options.eightBit = true;
    const decoding::DecodeOutcome outcome = decoding::decode(file.bytes(), options);
    const decoding::DecodedPicture& p = outcome.picture;
    if (outcome.status != decoding::DecodeStatus::Ok || p.frames.empty() || p.bytesPerSample != 1)
        return QImage();
    QImage image(int(p.width), int(p.height), QImage::Format_RGBA8888);
    if (image.isNull())
        return QImage();
    const std::size_t row = std::size_t(p.width) * 4;
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(image.scanLine(y), p.frames.front().data() + row * std::size_t(y), row);
    return image;
}

} // namespace

QImage pictureForView(const QByteArray& path)
{
    // Qt reads BMP, JPEG and GIF (and most PNG and TIFF) fastest; what it
    // cannot read goes to Corvane's own decoders (JPEG 2000, 16-bit TIFF...).
    // Either gives stored rows, turned here by the same tag and the same code
    // as the whole-folder search turns what it compares.
    const decoding::MappedFile file = decoding::MappedFile::open(path.toStdString());
    QImage picture = ImageLoader::load(QFile::decodeName(path));
    if (picture.isNull())
        picture = fromDecoders(file);
    if (!file.ok())
        return picture;
    return qtreading::orientedImage(picture, decoding::readOrientation(file.bytes()).orientation);
}

QImage fittedPicture(const QImage& picture, QSize box)
{
    if (picture.isNull())
        return QImage();
    if (picture.width() <= box.width() && picture.height() <= box.height())
        return picture;
    return picture.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

QImage smallPictureForView(const QByteArray& path, QSize box)
{
    const decoding::MappedFile file = decoding::MappedFile::open(path.toStdString());
    if (file.ok() && decoding::detectType(file.bytes()) == decoding::PictureType::Jpeg) {
        const decoding::PictureHeader header = decoding::readJpegHeader(file.bytes());
        const std::uint32_t shorter = std::min(header.width, header.height);
        const std::uint32_t wanted = std::uint32_t(std::max(box.width(), box.height()));
        unsigned reduction = 8;
        while (reduction > 1 && (shorter + reduction - 1) / reduction < wanted)
            reduction /= 2;
        if (header.ok && reduction > 1) {
            const decoding::DecodeOutcome outcome
                = decoding::jpeg::decodeReduced(file.bytes(), reduction, {.asShown = true});
            const decoding::DecodedPicture& p = outcome.picture;
            if (outcome.status == decoding::DecodeStatus::Ok && !p.frames.empty()
                && p.bytesPerSample == 1 && p.isRgba()) {
                QImage image(int(p.width), int(p.height), QImage::Format_RGBA8888);
                if (!image.isNull()) {
                    const std::size_t row = std::size_t(p.width) * 4;
                    for (int y = 0; y < image.height(); ++y)
                        std::memcpy(
                            image.scanLine(y), p.frames.front().data() + row * std::size_t(y), row);
                    return fittedPicture(image, box);
                }
            }
            // What the reduced decode refuses, the whole decode judges.
        }
    }
    return fittedPicture(pictureForView(path), box);
}
