#pragma once
// Files that hold more than the one picture the converter hands back: a TIFF
// with a second page, an animated PNG. Two such files whose first pictures
// agree may still differ further on, so the search only takes them for a pair
// when their bytes are the same (ImageLoader::kLaterFramesKey holds a digest).

#include <QString>

class QIODevice;

class LaterPictures {
public:
    // True when a TIFF's first page links to a second one, or a PNG carries an
    // animation control chunk before its image data. Reads a few header bytes
    // of the random-access device; damaged headers count as one picture (the
    // converter refuses those anyway).
    static bool present(QIODevice& file);

    // The text kept under ImageLoader::kLaterFramesKey for such a file (the
    // SHA-256 of its whole content), or "" when it cannot be read.
    static QString digest(QIODevice& file);

private:
    static bool tiffHasSecondPage(QIODevice& file, const QByteArray& head);
    static bool pngIsAnimated(QIODevice& file);
};
