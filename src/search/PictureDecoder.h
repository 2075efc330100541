#pragma once
// Decodes one candidate image into a picture by what its bytes are, whatever
// its name says: BMP, JPEG and GIF in process (the file must be whole), PNG,
// TIFF and JPEG 2000 through the converter, anything else not at all. A file
// that holds more than the one 8-bit RGBA picture shown carries its full-depth
// fingerprint with it (HiddenContent). A failed decode always gives a null
// QImage.

#include <QImage>
#include <QString>

class ConverterClient;

class PictureDecoder {
public:
    // converter may be null: then only the in-process types decode.
    explicit PictureDecoder(ConverterClient* converter);

    QImage decode(const QString& path) const;

    // True for the name types "bmp", "jpg" and "gif", whose true content
    // needs no converter.
    static bool decodesInProcess(const QString& type);

private:
    ConverterClient* m_converter;
};
