#pragma once
// Writes JPEG 2000 files with OpenJPEG's encoder (losslessly unless asked,
// so that the tests know every decoded sample) and decodes them whole as a
// reference for the converter's own decoding.

#include <QString>
#include <vector>

struct Jp2TestComponent {
    int precision = 8;
    int dx = 1; // sub-sampling against the image grid
    int dy = 1;
    bool alpha = false;
    std::vector<int> samples; // row by row, ceil(width / dx) x ceil(height / dy)
};

class Jp2TestCodec {
public:
    // `codestream` writes a bare codestream instead of a JP2 box file;
    // `lossy` uses the irreversible 9/7 wavelet at a compression of 20:1.
    static bool write(const QString& path, int width, int height,
        const std::vector<Jp2TestComponent>& components, bool codestream = false,
        bool lossy = false);

    // Decodes a JP2 file in one piece; the samples of each component, row by row.
    static bool readWhole(const QString& path, std::vector<Jp2TestComponent>* components);
};
