#include "decoding/WebpDecoder.h"

#include "decoding/AnimationBudget.h"
#include "decoding/DecoderSupport.h"
#include "decoding/WebpAnimation.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

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
    if (code == VP8_STATUS_OUT_OF_MEMORY)
        return detail::outOfMemory(reasonFor(code));
    if (code != VP8_STATUS_OK)
        return failure(DecodeStatus::Unreadable, reasonFor(code));
    outcome.status = DecodeStatus::Ok;
    return outcome;
}

// Keeps a copy of every composed frame.
class KeptFrames : public AnimationSink {
public:
    explicit KeptFrames(DecodedPicture& picture)
        : m_picture(picture)
    {
    }
    bool begin(std::uint32_t width, std::uint32_t height, std::uint32_t frames) override
    {
        if (!withinFrameBudget(width, height, frames)) {
            m_overBudget = overFrameBudgetReason(width, height, frames);
            return false;
        }
        m_picture.width = width;
        m_picture.height = height;
        m_picture.bytesPerSample = 1;
        m_picture.frames.reserve(frames);
        return true;
    }
    bool frame(const std::uint8_t* canvas) override
    {
        try {
            m_picture.frames.emplace_back(canvas, canvas + m_picture.frameBytes());
        } catch (const std::bad_alloc&) {
            m_outOfMemory = true;
            return false;
        }
        return true;
    }
    std::string m_overBudget;
    bool m_outOfMemory = false;

private:
    DecodedPicture& m_picture;
};

DecodeOutcome decodeAnimation(Bytes bytes, bool firstOnly)
{
    DecodeOutcome outcome;
    KeptFrames kept(outcome.picture);
    const DecodeOutcome composed = composeWebpAnimation(bytes, firstOnly, kept);
    if (!kept.m_overBudget.empty())
        return failure(DecodeStatus::TooLarge, kept.m_overBudget);
    if (kept.m_outOfMemory)
        return detail::outOfMemory("out of memory for the WebP animation");
    if (composed.status != DecodeStatus::Ok)
        return composed;
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
