#pragma once
// The one place where the whole-folder search meets the decoders: what a
// file is, what its header says, and its pixels. PNG, TIFF, JPEG 2000, WebP,
// HEIF and AVIF go through Corvane's own decoding library at full depth, JPEG
// through libjpeg's own API (the same pixels as the window's Qt reader), BMP
// and GIF through Qt's readers, as in the window. Pictures are read as a
// viewer shows them: the decoders apply a JPEG's or TIFF's orientation tag
// when asked (decoding/PictureOrientation.h; HEIF's decoder applies its
// own), and width and height are the shown ones.

#include "decoding/DecodedPicture.h"
#include "finder/PixelFingerprint.h"

#include <string>

namespace finder {

// Call once before reading on several threads.
void preparePictureReading();

decoding::PictureType detectType(decoding::Bytes head);

// What the header at the start of the file says (see decoding::PictureHeader);
// head may be the whole file.
decoding::PictureHeader readHeader(decoding::Bytes head);

bool hasDecoder(decoding::PictureType type);

// Decodes a whole file of the given type, every frame, at full depth, turned
// as a viewer shows it (decoding/PictureOrientation.h).
decoding::DecodeOutcome decodePicture(decoding::Bytes file, decoding::PictureType type);

// Decodes a whole file and gives the fingerprint of its pixels (the same as
// fingerprintOf(decodePicture(...).picture), made without a second copy of
// the pixels where the decoder allows; an RGB or grey JPEG shown as stored
// is hashed from libjpeg's rows without holding the picture).
struct PictureFingerprint {
    bool ok = false;
    std::string reason; // when not ok
    // When not ok: whether the same bytes would fail again (see FailureKind).
    decoding::FailureKind failureKind = decoding::FailureKind::Lasting;
    PixelFingerprint fingerprint;
};
PictureFingerprint fingerprintPicture(decoding::Bytes file, decoding::PictureType type);

// The fingerprint of the pixels as the file stores them, every frame at full
// depth, no orientation applied: how the first design's neighbour search,
// which shows stored pixels, judges a picture that 8-bit RGBA cannot carry.
PictureFingerprint fingerprintStoredPicture(decoding::Bytes file, decoding::PictureType type);

// Names the decoders and their versions: pixels decoded under another text
// may differ, so cached fingerprints are only used under the same text.
const std::string& decoderVersion();

} // namespace finder
