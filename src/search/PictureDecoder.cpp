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
    if (!image.isNull() || !m_converter)
        return image;
    // Bytes that no decoder knows are refused without starting a converter.
    using decoding::PictureType;
    if (content != PictureType::Png && content != PictureType::Tiff
        && content != PictureType::Jpeg2000)
        return QImage();
    image = m_converter->convert(path);
    if (image.isNull())
        return image;
    // The converter hands back the first page or frame only. (Opening the
    // file without following links also refuses a copy that became a link.)
    QFile file;
    if (!ImageLoader::openRegularFile(path, &file))
        return QImage();
    if (HiddenContent::present(file)) {
        const QString digest = HiddenContent::digest(file);
        if (digest.isEmpty())
            return QImage();
        image.setText(QLatin1String(ImageLoader::kHiddenContentKey), digest);
    }
    return image;
}
