#pragma once
// Files that hold more than the one picture the converter hands back: a TIFF
// with a second page, an animated PNG. Two such files whose first pictures
// agree may still differ further on, so the search only takes them for a pair
// when their bytes are the same (ImageLoader::kLaterFramesKey holds a digest).

#include <QByteArray>
#include <QString>

class LaterPictures {
public:
    // True when a TIFF's first page links to a second one, or a PNG carries an
    // animation control chunk before its image data. Headers only; damaged
    // headers count as one picture (the converter refuses those anyway).
    static bool present(const QByteArray& bytes);

    // The text kept under ImageLoader::kLaterFramesKey for such a file.
    static QString digest(const QByteArray& bytes);

private:
    static bool tiffHasSecondPage(const QByteArray& bytes);
    static bool pngIsAnimated(const QByteArray& bytes);
};
