#include "similar/ReducedJpegSignature.h"

#include "similar/PhotoDifference.h"

namespace similar {

int jpegReduction(std::uint32_t width, std::uint32_t height)
{
    const auto [proofWidth, proofHeight] = proofSize(width, height);
    for (std::uint32_t reduction : {8U, 4U, 2U}) {
        if ((width + reduction - 1) / reduction >= proofWidth
            && (height + reduction - 1) / reduction >= proofHeight)
            return int(reduction);
    }
    return 1;
}

} // namespace similar
