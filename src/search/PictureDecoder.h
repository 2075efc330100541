#pragma once
// Decodes one candidate image into a picture: BMP, JPEG and GIF files in
// process (the content must match the name and be whole), the other types through the
// converter. A failed decode always gives a null QImage.

#include <QImage>
#include <QString>

class ConverterClient;

class PictureDecoder {
public:
    // converter may be null: then only the in-process types decode.
    explicit PictureDecoder(ConverterClient* converter);

    QImage decode(const QString& path) const;

    // True for "bmp", "jpg" and "gif", which never need the converter.
    static bool decodesInProcess(const QString& type);

private:
    ConverterClient* m_converter;
};
