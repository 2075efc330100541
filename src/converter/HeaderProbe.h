#pragma once
// The facts a report needs from an image file's own headers: how it is
// compressed, its stored bit depth and resolution, how many frames or pages
// it holds, and whether the file is long enough for the data its header
// points at. BMP, JPEG and GIF are read by the decoding library's one header
// reader of each (decoding/BmpJpegGifHeaders); this class words what it
// finds. Works on the file's bytes only and never trusts a length or offset
// it has not checked against them.

#include "decoding/DecodedPicture.h"

#include <string>

struct HeaderFacts {
    std::string compression;
    int bitsPerPixel = 0;
    double dpiX = 0; // 0 when the file stores no resolution
    double dpiY = 0;
    int frames = 1;
    // False when the header points past the end of the file (a cut-off TIFF
    // or BMP) or describes a TIFF layout no picture has.
    bool complete = true;
};

class HeaderProbe {
public:
    static HeaderFacts probe(decoding::Bytes data, decoding::PictureType type);

    // Quality (1..100) a JPEG encoder with the common scaled tables would
    // have used for this luminance table of 64 entries.
    static int estimateJpegQuality(const int* table);

private:
    static void probePng(decoding::Bytes data, HeaderFacts& facts);
    static void probeJpeg(decoding::Bytes data, HeaderFacts& facts);
    static void probeGif(decoding::Bytes data, HeaderFacts& facts);
    static void probeBmp(decoding::Bytes data, HeaderFacts& facts);
    static void probeTiff(decoding::Bytes data, HeaderFacts& facts);
    static void probeJp2(decoding::Bytes data, HeaderFacts& facts);
};
