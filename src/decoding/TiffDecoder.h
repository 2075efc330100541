#pragma once
// TIFF through libtiff, read from memory: every page (reduced-resolution
// copies that a file carries beside a page are skipped), 1- to 16-bit grey,
// palette and RGB with or without alpha, strips or tiles, contiguous or
// separate planes, JPEG-compressed YCbCr as RGB; other colour spaces (CMYK,
// YCbCr, Lab...) through libtiff's RGBA reader at 8 bits.
//
// Pixels stay as stored: the Orientation tag is not applied (as Corvane's
// other readers). Pages of different sizes cannot form one picture and are
// refused.

#include "decoding/DecodeOptions.h"
#include "decoding/DecodedPicture.h"
#include "decoding/RowSink.h"

#include <string>

namespace decoding::tiff {

// frames counts the pages.
PictureHeader readHeader(Bytes file);
DecodeOutcome decode(Bytes file, const DecodeOptions& options = {});

// Streams the first page of an 8-bit RGB or grey TIFF without alpha, stored
// in strips with contiguous samples, as B, G, R rows (see RowSink.h); an
// uncompressed strip is read where it lies in the file. A file of several
// pages streams only when options.firstFrameOnly is set. Any other form is
// NotStreamable.
StreamResult streamOpaqueRows(
    Bytes file, const DecodeOptions& options, RowSink& sink, std::string* reason);

} // namespace decoding::tiff
