#include "decoding/DecoderSupport.h"

#include <new>

namespace decoding::detail {

bool allocateFrames(DecodedPicture& picture, std::uint32_t width, std::uint32_t height,
    int bytesPerSample, std::size_t count)
{
    picture.width = width;
    picture.height = height;
    picture.bytesPerSample = bytesPerSample;
    try {
        picture.frames.assign(count, {});
        for (auto& frame : picture.frames)
            frame.resize(picture.frameBytes());
    } catch (const std::bad_alloc&) {
        picture.frames.clear();
        return false;
    }
    return true;
}

} // namespace decoding::detail
