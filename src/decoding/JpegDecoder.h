#pragma once
// JPEG through libjpeg(-turbo)'s own interface, for the whole-folder search.
//
// RGB (YCbCr) and grey JPEGs come out as RGBA, pixel for pixel what Qt's
// reader gives the window (the same library with the same inverse transform
// and upsampling). A CMYK or YCCK JPEG comes out as its four inks, as
// stored (an Adobe file's inverted inks stay inverted): nothing is converted
// to RGB, so different inks never look alike.
//
// A stream that ends early or loses data to a damaged marker is refused:
// libjpeg fills the missing part with grey, and such a picture must never
// compare with anything. So is a Huffman-coded file whose data could not fill
// the picture its header claims (before anything its size is allocated), and
// a 12-bit, lossless or hierarchical JPEG ("... not supported"). A failure
// for want of memory (libjpeg's or Corvane's) is FailureKind::Passing.

#include "decoding/DecodeOptions.h"
#include "decoding/DecodedPicture.h"
#include "decoding/RowSink.h"

#include <string>

namespace decoding::jpeg {

DecodeOutcome decode(Bytes file, const DecodeOptions& options = {});

// The rows of an RGB or grey JPEG, the same samples as decode() gives, handed
// to the sink one by one in its order, so that no whole picture is held. A
// CMYK or YCCK JPEG is NotStreamable. A stream found damaged after some rows
// went out Fails: the sink must then drop what it was given. `kind`, when
// given, says whether a failure is lasting or of the moment (memory).
StreamResult streamRows(
    Bytes file, RowSink& sink, std::string* reason, FailureKind* kind = nullptr);

// The picture at a half, a quarter or an eighth of its size (reduction 2, 4
// or 8; 1 is decode()), each side rounded up: libjpeg scales inside its
// inverse transform, as Qt's reader does when asked for exactly that size,
// and the pixels are the ones Qt's reader gives at that size. Only
// options.asShown counts (the picture turned by its EXIF orientation).
DecodeOutcome decodeReduced(Bytes file, unsigned reduction, const DecodeOptions& options = {});

// "libjpeg-turbo 2.1.5 (libjpeg 62)": the build whose pixels decode() gives.
std::string libraryVersion();

} // namespace decoding::jpeg
