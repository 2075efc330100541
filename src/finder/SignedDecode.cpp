#include "finder/SignedDecode.h"

#include "decoding/JpegDecoder.h"
#include "finder/PictureReader.h"
#include "similar/PhotoDifference.h"
#include "similar/ReducedJpegSignature.h"

namespace finder {

using decoding::PictureType;

decoding::DecodeOutcome decodeJpegAt(decoding::Bytes file, int reduction)
{
    if (reduction <= 1)
        return decodePicture(file, PictureType::Jpeg);
    return decoding::jpeg::decodeReduced(file, unsigned(reduction), {.asShown = true});
}

std::optional<similar::PhotoSignature> jpegSignature(decoding::Bytes file, std::uint32_t width,
    std::uint32_t height, const decoding::DecodedPicture* full)
{
    const int reduction = similar::jpegReduction(width, height);
    if (reduction == 1 && full)
        return similar::reducedJpegSignature(*full, width, height);
    const decoding::DecodeOutcome outcome = decodeJpegAt(file, reduction);
    if (outcome.status != decoding::DecodeStatus::Ok)
        return std::nullopt;
    return similar::reducedJpegSignature(outcome.picture, width, height);
}

SignedFingerprint fingerprintAndSignature(decoding::Bytes file, decoding::PictureType type)
{
    SignedFingerprint result;
    const decoding::DecodeOutcome outcome = decodePicture(file, type);
    result.ok = outcome.status == decoding::DecodeStatus::Ok && !outcome.picture.frames.empty();
    if (!result.ok) {
        result.reason = outcome.reason.empty() ? "cannot be decoded" : outcome.reason;
        result.failureKind = outcome.failureKind;
        return result;
    }
    result.fingerprint = fingerprintOf(outcome.picture);
    if (outcome.picture.isRgba()) {
        // One pass over the full frame for the proof picture; the signature
        // as any other decode would make it: a JPEG's from its reduced
        // decode even with the full one at hand, any other's from the proof picture.
        auto proof = std::make_shared<const similar::ProofPicture>(
            similar::proofPicture(similar::firstFrameOf(outcome.picture)));
        const std::uint32_t width = outcome.picture.width;
        const std::uint32_t height = outcome.picture.height;
        result.signature = type == PictureType::Jpeg
            ? jpegSignature(file, width, height, &outcome.picture)
            : similar::signatureOf(*proof, width, height);
        result.proof = std::move(proof);
    }
    return result;
}

} // namespace finder
