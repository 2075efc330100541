#include "similar/ReducedJpegSignature.h"

#include "decoding/JpegDecoder.h"

namespace similar {

int jpegReduction(std::uint32_t width, std::uint32_t height)
{
    for (int reduction : {8, 4, 2}) {
        if ((width + reduction - 1) / reduction >= 32 && (height + reduction - 1) / reduction >= 32)
            return reduction;
    }
    return 1;
}

std::optional<PhotoSignature> reducedJpegSignature(
    decoding::Bytes file, std::uint32_t width, std::uint32_t height)
{
    // Stored pixels, as the fingerprint sees them; the same decoder as the
    // identical search, so a damaged stream is refused here too.
    const decoding::DecodeOutcome outcome
        = decoding::jpeg::decodeReduced(file, unsigned(jpegReduction(width, height)));
    // Inks have no brightness to sign.
    if (outcome.status != decoding::DecodeStatus::Ok || outcome.picture.frames.empty()
        || !outcome.picture.isRgba())
        return std::nullopt;
    return signatureOf(firstFrameOf(outcome.picture), width, height);
}

} // namespace similar
