#pragma once
// HEIF/HEIC and AVIF through libheif (HEVC by libde265, AV1 by dav1d or
// libaom). Every top-level picture of the file is one frame, in file order,
// with its rotation, mirroring and crop applied as a viewer shows it.
//
// 8-bit pictures give 8-bit RGBA. Deeper ones (10 or 12 bits) give 16-bit
// samples with the value in the top bits (v << (16 - depth)), the form
// libheif's own tools write into a 16-bit PNG, so a HEIC and a PNG made from
// it compare equal. A picture without alpha is opaque at full scale. The
// type (HEIF or AVIF) is the one detectType() tells from the file's brands.

#include "decoding/DecodeOptions.h"
#include "decoding/DecodedPicture.h"

#include <string>

namespace decoding {

// Size of the primary picture as shown (rotation applied) and the number of
// top-level pictures. ok is false when the file's boxes are cut off or bad.
PictureHeader readHeifHeader(Bytes bytes);

// Refuses pictures over kPixelBudget and files over the frame budget
// (AnimationBudget.h) before decoding any of them. Top-level pictures of
// different sizes or depths in one file cannot share the pixel form and are
// refused as unreadable, with that reason. With options.eightBit, deeper
// samples are rounded to 8 bits (v * 255 / maximum); with
// options.firstFrameOnly only the first picture is checked and decoded.
DecodeOutcome decodeHeif(Bytes bytes, const DecodeOptions& options = {});

// libheif's version and the names and versions of its codecs
// ("libheif 1.15.1 (libde265 HEVC decoder, version 1.0.11; dav1d v1.0.0; ...)"):
// pixels decoded by other versions may differ, so caches key on this.
std::string heifLibraryVersions();

} // namespace decoding
