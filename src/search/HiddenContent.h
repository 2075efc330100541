#pragma once
// What the converter's bitmap leaves out of a PNG, TIFF or JPEG 2000 file: it
// carries the first picture only, at 8 bits a sample. A file with a second TIFF
// page, a PNG animation, or samples deeper than 8 bits may differ from another
// file whose bitmap is the same, so the search takes two such files for a pair
// only when their bytes are the same (the digest goes under
// ImageLoader::kHiddenContentKey).

#include <QString>

class QIODevice;

class HiddenContent {
public:
    // True when a TIFF's first page links to a second one or stores more than
    // 8 bits a sample, a PNG carries an animation control chunk before its
    // image data or 16-bit samples, or a JPEG 2000 file has a component deeper
    // than 8 bits. Reads a few header bytes of the random-access device;
    // damaged headers count as nothing hidden (the converter refuses those).
    static bool present(QIODevice& file);

    // The SHA-256 of the whole file as text, or "" when it cannot be read.
    static QString digest(QIODevice& file);

private:
    static bool inTiff(QIODevice& file, const QByteArray& head);
    static bool inPng(QIODevice& file);
    static bool inJp2(QIODevice& file);
    static bool inCodestream(QIODevice& file, qint64 at);
};
