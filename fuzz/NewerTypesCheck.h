#pragma once
// Checks shared by the fuzz targets of the WebP and HEIF/AVIF decoders: what
// a decoder reports must hold for the pixels it hands over, and agree with
// what its header reader said of the same bytes.

#include "decoding/AnimationBudget.h"
#include "decoding/DecodedPicture.h"

#include <cstdio>
#include <cstdlib>

namespace NewerTypesCheck {

inline void fail(const char* what)
{
    fprintf(stderr, "%s\n", what);
    abort();
}

inline void check(const decoding::PictureHeader& header, const decoding::DecodeOutcome& outcome)
{
    if (outcome.status != decoding::DecodeStatus::Ok) {
        if (outcome.reason.empty())
            fail("a refusal without a reason");
        if (!outcome.picture.frames.empty())
            fail("a refusal that hands over frames");
        return;
    }
    const decoding::DecodedPicture& picture = outcome.picture;
    if (picture.width == 0 || picture.height == 0 || picture.frames.empty())
        fail("success without a picture");
    if (picture.bytesPerSample != 1 && picture.bytesPerSample != 2)
        fail("a sample size outside the pixel form");
    if (!decoding::withinFrameBudget(picture.width, picture.height, picture.frames.size()))
        fail("success over the pixel or frame budget");
    for (const auto& frame : picture.frames)
        if (frame.size() != picture.frameBytes())
            fail("a frame of the wrong length");
    if (header.ok && (header.width != picture.width || header.height != picture.height))
        fail("header and decode disagree on the size");
    if (header.ok && header.frames != 0 && header.frames != picture.frames.size())
        fail("header and decode disagree on the frame count");
}

} // namespace NewerTypesCheck
