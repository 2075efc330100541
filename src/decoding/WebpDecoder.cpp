#include "decoding/WebpDecoder.h"

#include "decoding/AnimationBudget.h"
#include "decoding/DecoderSupport.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace decoding {

namespace {

using detail::failure;

std::string reasonFor(VP8StatusCode code)
{
    switch (code) {
    case VP8_STATUS_NOT_ENOUGH_DATA:
        return "truncated WebP data";
    case VP8_STATUS_UNSUPPORTED_FEATURE:
        return "unsupported WebP feature";
    case VP8_STATUS_OUT_OF_MEMORY:
        return "out of memory decoding WebP";
    default:
        return "corrupt WebP data";
    }
}

struct DemuxDeleter {
    void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
};

struct AnimDecoderDeleter {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

DecodeOutcome decodeStill(Bytes bytes, const PictureHeader& header)
{
    DecodeOutcome outcome;
    DecodedPicture& picture = outcome.picture;
    if (!detail::allocateFrames(picture, header.width, header.height, 1, 1))
        return detail::outOfMemory("out of memory for the WebP picture");

    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        return failure(DecodeStatus::Unreadable, "libwebp version mismatch");
    config.output.colorspace = MODE_RGBA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = picture.frames.front().data();
    config.output.u.RGBA.stride = int(header.width * 4);
    config.output.u.RGBA.size = picture.frameBytes();
    const VP8StatusCode code = WebPDecode(bytes.data(), bytes.size(), &config);
    WebPFreeDecBuffer(&config.output);
    if (code != VP8_STATUS_OK)
        return failure(DecodeStatus::Unreadable, reasonFor(code));
    outcome.status = DecodeStatus::Ok;
    return outcome;
}

DecodeOutcome decodeAnimation(Bytes bytes, bool firstOnly)
{
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options))
        return failure(DecodeStatus::Unreadable, "libwebp version mismatch");
    options.color_mode = MODE_RGBA;
    options.use_threads = 0; // the search already decodes one file per core
    const WebPData data{bytes.data(), bytes.size()};

    // The animation decoder allocates two canvases as soon as it is made, so
    // the canvas and the frame count are checked on a bare demux first.
    std::unique_ptr<WebPDemuxer, DemuxDeleter> demux(WebPDemux(&data));
    if (!demux)
        return failure(DecodeStatus::Unreadable, "truncated or corrupt WebP animation");
    const std::uint32_t width = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH);
    const std::uint32_t height = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT);
    const std::uint32_t frames = WebPDemuxGetI(demux.get(), WEBP_FF_FRAME_COUNT);
    demux.reset();
    if (!withinPixelBudget(width, height))
        return detail::overBudget(width, height);
    const std::uint32_t kept = firstOnly ? std::min<std::uint32_t>(frames, 1) : frames;
    if (!withinFrameBudget(width, height, kept))
        return failure(DecodeStatus::TooLarge, overFrameBudgetReason(width, height, kept));
    if (frames == 0)
        return failure(DecodeStatus::Unreadable, "WebP animation without frames");

    std::unique_ptr<WebPAnimDecoder, AnimDecoderDeleter> decoder(
        WebPAnimDecoderNew(&data, &options));
    if (!decoder)
        return failure(DecodeStatus::Unreadable, "truncated or corrupt WebP animation");
    WebPAnimInfo info;
    if (!WebPAnimDecoderGetInfo(decoder.get(), &info) || info.canvas_width != width
        || info.canvas_height != height || info.frame_count != frames)
        return failure(DecodeStatus::Unreadable, "corrupt WebP animation");

    DecodeOutcome outcome;
    DecodedPicture& picture = outcome.picture;
    if (!detail::allocateFrames(picture, width, height, 1, kept))
        return detail::outOfMemory("out of memory for the WebP animation");
    for (auto& frame : picture.frames) {
        std::uint8_t* canvas = nullptr;
        int timestamp = 0;
        if (!WebPAnimDecoderHasMoreFrames(decoder.get())
            || !WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp))
            return failure(DecodeStatus::Unreadable, "truncated or corrupt WebP animation frame");
        std::memcpy(frame.data(), canvas, frame.size());
    }
    outcome.status = DecodeStatus::Ok;
    return outcome;
}

} // namespace

bool looksLikeWebp(Bytes bytes)
{
    return bytes.size() >= 12 && std::memcmp(bytes.data(), "RIFF", 4) == 0
        && std::memcmp(bytes.data() + 8, "WEBP", 4) == 0;
}

PictureHeader readWebpHeader(Bytes bytes)
{
    PictureHeader header;
    if (!looksLikeWebp(bytes))
        return header;
    // The type stands even when the header is damaged: the caller then
    // decodes the file to learn why.
    header.type = PictureType::WebP;
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(bytes.data(), bytes.size(), &features) != VP8_STATUS_OK)
        return header;
    header.ok = true;
    header.width = std::uint32_t(features.width);
    header.height = std::uint32_t(features.height);
    if (features.has_animation) {
        const WebPData data{bytes.data(), bytes.size()};
        WebPDemuxState state = WEBP_DEMUX_PARSE_ERROR;
        std::unique_ptr<WebPDemuxer, DemuxDeleter> demux(WebPDemuxPartial(&data, &state));
        header.frames = demux && state == WEBP_DEMUX_DONE
            ? WebPDemuxGetI(demux.get(), WEBP_FF_FRAME_COUNT)
            : 0;
    }
    return header;
}

DecodeOutcome decodeWebp(Bytes bytes, const DecodeOptions& options)
{
    if (!looksLikeWebp(bytes))
        return failure(DecodeStatus::Unreadable, "not a WebP file");
    WebPBitstreamFeatures features;
    const VP8StatusCode code = WebPGetFeatures(bytes.data(), bytes.size(), &features);
    if (code != VP8_STATUS_OK)
        return failure(DecodeStatus::Unreadable, reasonFor(code));
    if (features.has_animation)
        return decodeAnimation(bytes, options.firstFrameOnly);
    const PictureHeader header = readWebpHeader(bytes);
    if (!withinPixelBudget(header.width, header.height))
        return detail::overBudget(header.width, header.height);
    return decodeStill(bytes, header);
}

std::string webpLibraryVersion()
{
    const int version = WebPGetDecoderVersion(); // 0xMMmmpp
    return "libwebp " + std::to_string(version >> 16) + "." + std::to_string(version >> 8 & 0xFF)
        + "." + std::to_string(version & 0xFF);
}

} // namespace decoding
