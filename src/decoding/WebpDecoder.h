#pragma once
// WebP through libwebp: lossy, lossless, with alpha, and animated (every
// frame composed on the canvas as a viewer shows it, the same pixels as
// libwebp's own animation decoder gives; see WebpAnimation.h). Decodes exactly as dwebp does (its
// default fancy upsampling, no dithering).

#include "decoding/DecodeOptions.h"
#include "decoding/DecodedPicture.h"

#include <string>

namespace decoding {

// Whether the bytes begin like a WebP file ("RIFF", length, "WEBP").
bool looksLikeWebp(Bytes bytes);

// Canvas size and, for an animation, its frame count (0 when the bytes end
// before the last frame). Reads no pixel.
PictureHeader readWebpHeader(Bytes bytes);

// Refuses a canvas over kPixelBudget and an animation over the frame budget
// (AnimationBudget.h) before allocating pixels. 8-bit RGBA; with
// options.firstFrameOnly an animation gives its first frame alone.
DecodeOutcome decodeWebp(Bytes bytes, const DecodeOptions& options = {});

// "libwebp 1.2.4": pixels decoded by other versions may differ, so caches
// key on this.
std::string webpLibraryVersion();

} // namespace decoding
