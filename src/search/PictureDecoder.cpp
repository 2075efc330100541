#include "search/PictureDecoder.h"

#include "search/CandidateEntry.h"
#include "search/ConverterClient.h"
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
    if (decodesInProcess(CandidateEntry::imageType(path)))
        return ImageLoader::load(path);
    if (!m_converter)
        return QImage();
    return m_converter->convert(path);
}
