#pragma once
// Corvane's decoders behind one door: the type is told from the bytes, then
// the decoder for that type reads the header or the pixels. Qt-free, for the
// converter program and the whole-folder search alike.
//
// A type without a decoder here gives DecodeStatus::Unreadable with the
// reason "not read by this decoder" (BMP, JPEG and GIF pixels are read by
// Qt in the window; their header readers plug in below).

#include "decoding/DecodeOptions.h"
#include "decoding/DecodedPicture.h"
#include "decoding/PictureType.h"

namespace decoding {

// `file` is the whole file. ok is false when the type is unknown, has no
// header reader yet, or its header is damaged. Only options.asShown counts
// here: the width and height of the picture decode() would give.
PictureHeader readHeader(Bytes file, const DecodeOptions& options = {});

// Decodes every frame of the picture in `file`, turned as shown when
// options ask (decodeAsShown). Never throws; every failure comes back as a
// status and a reason.
DecodeOutcome decode(Bytes file, const DecodeOptions& options = {});

// Whether decode() reads pixels of this type.
bool decodesPixels(PictureType type);

} // namespace decoding
