#pragma once
// Decodes BMP and GIF pictures with Qt's image readers (as the window does)
// into Corvane's pixel form: every frame of an animation, each composed as a
// viewer shows it. JPEG goes to decoding/JpegDecoder (libjpeg itself): the
// same pixels as Qt's reader for RGB and grey, and CMYK kept as CMYK. Orientation tags are not
// applied: the stored pixels are compared, as for every other type.

#include "decoding/DecodedPicture.h"
#include "finder/PixelFingerprint.h"

namespace finder {

// Call once before decoding on several threads: raises Qt's allocation limit
// to Corvane's pixel budget.
void prepareQtDecoding();

decoding::DecodeOutcome decodeWithQt(decoding::Bytes file, decoding::PictureType type);

// The fingerprint of the same pixels, hashed row by row as Qt gives them
// (no second copy of the picture is made). status and reason as for a decode.
struct QtFingerprint {
    decoding::DecodeStatus status = decoding::DecodeStatus::Unreadable;
    std::string reason;
    decoding::FailureKind failureKind = decoding::FailureKind::Lasting;
    PixelFingerprint fingerprint;
};
QtFingerprint fingerprintWithQt(decoding::Bytes file, decoding::PictureType type);

} // namespace finder
