#pragma once
// Decodes the first frame of a BMP, JPEG or GIF file into a QImage with Qt's
// readers, refusing images whose header claims more pixels than
// ConverterContract::kPixelBudget before any pixel memory is allocated.

#include "decoding/PictureType.h"

#include <QByteArray>
#include <QImage>

class QIODevice;
class QImageIOHandler;

class ImageDecoder {
public:
    enum Status { Ok, Unreadable, TooLarge };

    // Call once before decoding. Raises Qt's allocation limit so that every
    // image within the pixel budget can be read (Qt's default refuses a
    // 100-megapixel photo), and stops Qt from loading every image plugin it
    // finds on each read: the few plugins needed are loaded one by one.
    static void prepare();

    // Reads an image Qt decodes from `device`, positioned at the file start.
    static Status decodeWithQt(QIODevice* device, decoding::PictureType type, QImage* image);

    static bool withinBudget(qint64 width, qint64 height);

private:
    static Status readWithHandler(QImageIOHandler* handler, QImage* image);
};
