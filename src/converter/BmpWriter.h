#pragma once
// Writes a QImage as an uncompressed Windows bitmap: 24 bits per pixel for an
// opaque image, 32 bits with a version 5 header and an alpha mask when the
// image has an alpha channel, so that readers keep its transparency.

#include <QImage>

class QIODevice;

class BmpWriter {
public:
    // Rows are converted in small bands, so an image in any format costs only
    // a band of extra memory. Returns false when the device refuses a write.
    static bool write(const QImage& image, QIODevice* device);
};
