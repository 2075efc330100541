#pragma once
// The fingerprint of a BMP, JPEG or GIF picture read through the Qt adapter
// (qtreading), hashed row by row as Qt gives them: no second copy of the
// picture is made. Orientation tags are not applied here: PictureReader
// decodes a turned picture whole and turns it first.

#include "decoding/DecodedPicture.h"
#include "finder/PixelFingerprint.h"

namespace finder {

// status and reason as for a decode.
struct QtFingerprint {
    decoding::DecodeStatus status = decoding::DecodeStatus::Unreadable;
    std::string reason;
    decoding::FailureKind failureKind = decoding::FailureKind::Lasting;
    PixelFingerprint fingerprint;
};
QtFingerprint fingerprintWithQt(decoding::Bytes file, decoding::PictureType type);

} // namespace finder
