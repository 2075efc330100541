#pragma once
// The frames of an animated WebP composed one after another on one canvas,
// as a viewer shows them (the same pixels as libwebp's animation decoder),
// each handed to a sink as soon as it is composed. Memory stays in
// proportion to what the frames hold: the canvas is reserved whole but
// only the parts that frames paint are ever backed by memory, so a file of
// a few bytes that claims a huge canvas costs next to nothing, and no file
// holds more than one canvas.

#include "decoding/DecodedPicture.h"

namespace decoding {

class AnimationSink {
public:
    virtual ~AnimationSink() = default;
    // Called once before the first frame; false stops the decoding.
    virtual bool begin(std::uint32_t width, std::uint32_t height, std::uint32_t frames) = 0;
    // One composed frame: height rows of width * 4 bytes, straight RGBA.
    // Valid until the call returns; false stops the decoding.
    virtual bool frame(const std::uint8_t* canvas) = 0;
};

// Whether the bytes are a WebP file with an animation.
bool isWebpAnimation(Bytes bytes);

// Composes every frame (the first alone with firstOnly) of an animated WebP
// into the sink. The outcome holds no pixels: Ok, or why not.
DecodeOutcome composeWebpAnimation(Bytes bytes, bool firstOnly, AnimationSink& sink);

} // namespace decoding
