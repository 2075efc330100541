#pragma once
// A photo-like picture for the benchmarks: smooth gradients with a little
// noise, so the files compress like real images rather than like flat colour
// or static. The same seed gives the same picture.

#include <QImage>

inline QImage photoLike(int width, int height, quint32 seed = 12345)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = int(seed >> 28);
            line[x] = qRgb((x * 255 / width + noise) & 0xFF, (y * 255 / height + noise) & 0xFF,
                ((x + y) * 127 / (width + height) + 64 + noise) & 0xFF);
        }
    }
    return image;
}
