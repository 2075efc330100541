#include "search/PictureDecoder.h"

#include "search/CandidateEntry.h"
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
    const QString type = CandidateEntry::imageType(path);
    // The content must be what the name says, as the converter demands for its types.
    if (decodesInProcess(type))
        return ImageLoader::load(path, type.toLatin1());
    if (!m_converter)
        return QImage();
    QImage image = m_converter->convert(path);
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
