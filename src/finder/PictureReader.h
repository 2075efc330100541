#pragma once
// The one place where the whole-folder search meets the decoders: what a
// file is, what its header says, and its pixels. BMP, JPEG and GIF decode
// through Qt's readers; PNG and TIFF through Qt's readers as well for now and
// JPEG 2000 through the converter's OpenJPEG reader (8-bit pictures only),
// until the converter's decoders come as a library. WebP, HEIF and AVIF files
// are recognised and reported as having no decoder yet.

#include "decoding/DecodedPicture.h"

#include <string>

namespace finder {

// Call once before reading on several threads.
void preparePictureReading();

decoding::PictureType detectType(decoding::Bytes head);

// What the header at the start of the file says (see decoding::PictureHeader);
// head may be the whole file.
decoding::PictureHeader readHeader(decoding::Bytes head);

bool hasDecoder(decoding::PictureType type);

// Decodes a whole file of the given type.
decoding::DecodeOutcome decodePicture(decoding::Bytes file, decoding::PictureType type);

// Names the decoders and their versions: pixels decoded under another text
// may differ, so cached fingerprints are only used under the same text.
const std::string& decoderVersion();

} // namespace finder
