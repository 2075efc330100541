#pragma once
// Reads one picture file with QImageReader within Corvane's pixel budget
// (ConverterContract::kPixelBudget): the size is taken from the header and an
// image over the budget is refused before anything is allocated.

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
    // An animated GIF gives its first frame; the pixels of its later frames
    // are summed up (frame count and SHA-256) under this text key of the
    // picture, so that two animations that only begin alike never compare equal.
    static constexpr char kLaterFramesKey[] = "Corvane.laterFrames";

    static QImage load(const QString& path, const QByteArray& format = QByteArray());

    // Opens a regular file for reading (never waits on a fifo, never follows
    // a link); false on any failure.
    static bool openRegularFile(const QString& path, QFile* file);
};
