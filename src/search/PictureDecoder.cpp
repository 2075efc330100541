#include "search/PictureDecoder.h"

#include "search/ConverterClient.h"
#include "search/HiddenContent.h"
#include "search/ImageLoader.h"

PictureDecoder::PictureDecoder(ConverterClient* converter)
    : m_converter(converter)
{
}

bool PictureDecoder::decodesInProcess(const QString& type)
{
    return type == QLatin1String("bmp") || type == QLatin1String("jpg")
        || type == QLatin1String("gif");
}

QImage PictureDecoder::decode(const QString& path) const
{
    // Two copies of a JPEG saved as photo.png are as much a pair as two
    // photo.jpg: nothing is unsafe about reading a file by its content.
    ImageContent::Kind content = ImageContent::Unknown;
    QImage image = ImageLoader::loadByContent(path, &content);
    if (image.isNull()) {
        if (!m_converter)
            return image;
        // Bytes that no decoder knows are refused without starting a converter.
        using decoding::PictureType;
        if (content != PictureType::Png && content != PictureType::Tiff
            && content != PictureType::Jpeg2000)
            return QImage();
        image = m_converter->convert(path);
        if (image.isNull())
            return image;
    }
    // The picture is one 8-bit RGBA frame; a file that holds more is judged
    // by all it holds.
    if (!HiddenContent::mark(path, content, image))
        return QImage();
    return image;
}
