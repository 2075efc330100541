#pragma once
// The readers the converter needs only now and then, in a module beside it
// (i__view32-readers.so) that is loaded only when such a file comes in:
// BMP, JPEG and GIF through Qt's readers by the Qt adapter (qtreading) the
// window reads them with, so that the converter gives exactly the pixels
// Corvane's window shows for those types, and WebP, HEIF
// and AVIF through the decoding library (libwebp, libheif). PNG, TIFF and
// JPEG 2000 conversions load neither Qt nor the codec libraries behind
// libheif, whose start-up alone costs more than a small PNG's conversion.

#include "decoding/DecodedPicture.h"

class ReaderModule {
public:
    // The module's file name, in the converter's own folder.
    static constexpr char kFileName[] = "i__view32-readers.so";
    // The function the module exports.
    static constexpr char kEntryName[] = "corvane_read_picture";
    using Entry = bool (*)(
        const std::uint8_t* data, std::size_t size, int type, decoding::DecodeOutcome* outcome);
    // The Corvane version the module was built as: the entry passes the
    // decoding library's types across, so a module left over from another
    // version is never called.
    static constexpr char kVersionName[] = "corvane_readers_version";
    using VersionEntry = const char* (*)();

    // Decodes the first frame of `file` of `type` (Bmp, Jpeg, Gif, WebP, Heif
    // or Avif) into 8-bit RGBA. A missing or broken module gives Unreadable
    // with the reason.
    static decoding::DecodeOutcome decode(decoding::Bytes file, decoding::PictureType type);
};
