#pragma once
// What the in-process loader may decode, judged from a file's own bytes
// before any decoder sees them. Qt's readers return a picture for a cut-off
// JPEG (the missing rows grey), BMP (rows left unread) or GIF, and Qt's format
// detection would read a PNG, XPM or PBM that only carries a .jpg or .bmp
// name; a search must never show such a file as one of an identical pair.

#include "decoding/PictureType.h"

#include <QByteArray>
#include <QString>

class ImageContent {
public:
    // The picture types of the decoding library's table; this loader decodes
    // three of them.
    using Kind = decoding::PictureType;
    static constexpr Kind Unknown = Kind::Unknown;
    static constexpr Kind Bmp = Kind::Bmp;
    static constexpr Kind Jpeg = Kind::Jpeg;
    static constexpr Kind Gif = Kind::Gif;

    // The kind of content by its signature.
    static Kind sniff(const QByteArray& bytes);
    // The kind a Qt format name stands for: "bmp", "jpg" or "jpeg", "gif"
    // (any case); Unknown for the rest.
    static Kind fromFormat(const QByteArray& format);
    // Qt's format name for a kind; nullptr for Unknown.
    static const char* qtFormat(Kind kind) { return decoding::qtFormatOf(kind); }

    // Whether a BMP holds everything its headers point at, from its first
    // bytes (headers included) and the file's length, so that a large bitmap
    // is checked without reading it whole.
    static bool bmpHeadComplete(const QByteArray& head, qint64 fileSize);
};
