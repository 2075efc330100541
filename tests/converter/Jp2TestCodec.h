#pragma once
// Writes JPEG 2000 files with OpenJPEG's encoder, losslessly, so that the
// tests know every decoded sample.

#include <QString>
#include <vector>

struct Jp2TestComponent {
    int precision = 8;
    int dx = 1; // sub-sampling against the image grid
    int dy = 1;
    bool alpha = false;
    std::vector<int> samples; // row by row, ceil(width / dx) x ceil(height / dy)
};

class Jp2TestEncoder {
public:
    // `codestream` writes a bare codestream instead of a JP2 box file.
    static bool write(const QString& path, int width, int height,
        const std::vector<Jp2TestComponent>& components, bool codestream = false);
};
