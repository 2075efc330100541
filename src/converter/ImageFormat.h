#pragma once
// The six image types the converter reads, recognised by their first bytes.

#include <QByteArray>
#include <QString>

class ImageFormat {
public:
    enum Type { Unknown, Bmp, Jpeg, Gif, Png, Tiff, Jp2, J2kCodestream };

    // Bytes needed by sniff() to tell every type apart.
    static constexpr int kSniffBytes = 12;

    // The type that the leading bytes of a file announce, or Unknown.
    static Type sniff(const QByteArray& head);

    // The type that the file name's suffix promises (case-insensitive), or
    // Unknown for a suffix outside the six types.
    static Type fromSuffix(const QString& path);

    // Whether content of type `content` may carry a name that promises `named`:
    // a JPEG 2000 codestream is accepted under a .jp2 name and the other way
    // round, since both are common in the wild.
    static bool matchesName(Type content, Type named);

    // Short name for reports ("PNG", "JPEG 2000", ...).
    static QString displayName(Type type);

    // Format key for QImageReader, or nullptr for JPEG 2000.
    static const char* qtFormat(Type type);
};
