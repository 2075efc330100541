#pragma once
// Reads back the bitmap Corvane's converter wrote, straight into the pixel
// buffer of the QImage: the file's rows are read into the image's rows (the
// 24-bit form then widened in place to 32 bits), so the hand-back costs the
// file read and one pass over the pixels, with no copy of the whole picture.
//
// Only the two forms the converter writes are read here: 24 bits with a
// 40-byte header, and 32 bits with a version 5 header and the converter's
// alpha masks, rows bottom-up, the file exactly as long as its header says.
// Anything else (another converter's bitmap) is left to a general reader.

#include <QImage>
#include <QString>

class TempBitmapReader {
public:
    enum class Result {
        Read, // *image holds the picture
        OtherForm, // a file this reader does not take; try a general reader
        Failed, // missing, not a regular file, over the budget, cut short
    };

    static Result read(const QString& path, QImage* image);
};
