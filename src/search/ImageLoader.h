#pragma once
// Reads one picture file for the window through the Qt adapter
// (qtreading), within Corvane's pixel budget: the size is taken from the
// header and an image over the budget is refused before anything is
// allocated.

#include "search/ImageContent.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>

class ImageLoader {
public:
    // The picture at path, or a null QImage on any failure (missing, not a
    // regular file, unreadable, corrupt, over the budget). An empty format
    // decides the format from the content; a given format is the only one tried.
    // For "bmp", "jpg"/"jpeg" and "gif" the file must also hold that content
    // and hold it whole (ImageContent): a mislabelled or cut-off file gives null.
    // Text key of a picture for what it does not show: for an animated GIF
    // (which gives its first frame) the frame count and SHA-256 of its later
    // frames; for a file that holds more than one 8-bit RGBA picture, the
    // fingerprint of all it holds (HiddenContent). Pictures compare equal
    // only when this text does too.
    static constexpr char kHiddenContentKey[] = "Corvane.hiddenContent";

    static QImage load(const QString& path, const QByteArray& format = QByteArray());

    // The picture at path when its bytes are a BMP, JPEG or GIF (whatever the
    // name says), decoded as load() does for that format; otherwise null.
    // content tells what the bytes are: Unknown also when the file cannot be
    // opened, or a type for the converter (PNG, TIFF, JPEG 2000).
    static QImage loadByContent(const QString& path, ImageContent::Kind* content);

    // Opens a regular file for reading (never waits on a fifo, never follows
    // a link); false on any failure.
    static bool openRegularFile(const QString& path, QFile* file);

private:
    static QImage loadKind(QFile& file, ImageContent::Kind kind);
};
