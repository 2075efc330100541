#pragma once
// The same-photo search's pictures from a decode: a picture's fingerprint,
// signature and proof picture from the one full decode the identical search
// makes of it, and a JPEG's signature made the one way it is made whatever
// decode is at hand (from its decode at similar::jpegReduction), so that a
// picture's figures never depend on whether another file shares its size.

#include "decoding/DecodedPicture.h"
#include "finder/PixelFingerprint.h"
#include "finder/ProofPictures.h"
#include "similar/PhotoSignature.h"

#include <optional>
#include <string>

namespace finder {

// A picture's fingerprint, same-photo signature and proof picture from its
// full decode (signature and proof picture for RGBA pictures only). The
// signature is made as every other decode of the search makes it: a JPEG's
// from its decode at similar::jpegReduction (a second, reduced decode when
// that is not the full one), every other picture's from its proof picture.
struct SignedFingerprint {
    bool ok = false;
    std::string reason; // when not ok
    decoding::FailureKind failureKind = decoding::FailureKind::Lasting; // when not ok
    PixelFingerprint fingerprint;
    std::optional<similar::PhotoSignature> signature;
    ProofPictures::Picture proof;
};
SignedFingerprint fingerprintAndSignature(decoding::Bytes file, decoding::PictureType type);

// A JPEG at a reduction, turned as its tag says (the full decode at 1).
decoding::DecodeOutcome decodeJpegAt(decoding::Bytes file, int reduction);

// A JPEG's signature from its decode at jpegReduction (`full` when that is
// the full decode and one was made). Nothing when it does not decode or is not RGBA.
std::optional<similar::PhotoSignature> jpegSignature(decoding::Bytes file, std::uint32_t width,
    std::uint32_t height, const decoding::DecodedPicture* full);

} // namespace finder
