#include "similar/ReducedJpegSignature.h"

namespace similar {

int jpegReduction(std::uint32_t width, std::uint32_t height)
{
    for (std::uint32_t reduction : {8U, 4U, 2U}) {
        if ((width + reduction - 1) / reduction >= 32 && (height + reduction - 1) / reduction >= 32)
            return int(reduction);
    }
    return 1;
}

std::optional<PhotoSignature> reducedJpegSignature(
    const decoding::DecodedPicture& reduced, std::uint32_t width, std::uint32_t height)
{
    // Inks have no brightness to sign.
    if (reduced.frames.empty() || !reduced.isRgba())
        return std::nullopt;
    return signatureOf(firstFrameOf(reduced), width, height);
}

} // namespace similar
