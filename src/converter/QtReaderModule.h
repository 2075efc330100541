#pragma once
// BMP, JPEG and GIF pixels through Qt's own readers, so that the converter
// gives exactly the pixels Corvane's window reads for those types. Qt lives
// in a module beside the converter (i__view32-qtreader.so) that is loaded
// only when such a file comes in: PNG, TIFF and JPEG 2000 conversions never
// load a Qt library.

#include "decoding/DecodedPicture.h"

class QtReaderModule {
public:
    // The module's file name, in the converter's own folder.
    static constexpr char kFileName[] = "i__view32-qtreader.so";
    // The function the module exports.
    static constexpr char kEntryName[] = "corvane_read_with_qt";
    using Entry = bool (*)(
        const std::uint8_t* data, std::size_t size, int type, decoding::DecodeOutcome* outcome);

    // Decodes `file` of `type` (Bmp, Jpeg or Gif) into 8-bit RGBA. A missing
    // or broken module gives Unreadable with the reason.
    static decoding::DecodeOutcome decode(decoding::Bytes file, decoding::PictureType type);
};
