#include "decoding/WebpAnimation.h"

#include "decoding/AnimationBudget.h"
#include "decoding/DecoderSupport.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <sys/mman.h>

namespace decoding {

namespace {

using detail::failure;

struct DemuxDeleter {
    void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
};

// Releases a frame iterator on every way out.
struct Frame {
    WebPIterator iterator{};
    bool held = false;
    ~Frame()
    {
        if (held)
            WebPDemuxReleaseIterator(&iterator);
    }
};

// The canvas: anonymous memory that the kernel backs page by page as it is
// written. Clearing it hands the pages back; reading a page never written
// reads zeros (fully transparent) without taking memory.
class Canvas {
public:
    Canvas(std::uint32_t width, std::uint32_t height)
        : m_width(width)
        , m_height(height)
        , m_bytes(std::size_t(width) * height * 4)
    {
        void* memory
            = mmap(nullptr, m_bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        m_pixels = memory == MAP_FAILED ? nullptr : static_cast<std::uint8_t*>(memory);
    }
    ~Canvas()
    {
        if (m_pixels)
            munmap(m_pixels, m_bytes);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    bool ok() const { return m_pixels != nullptr; }
    std::uint8_t* pixels() const { return m_pixels; }
    std::size_t stride() const { return std::size_t(m_width) * 4; }
    std::uint8_t* at(std::uint32_t x, std::uint32_t y) const
    {
        return m_pixels + std::size_t(y) * stride() + std::size_t(x) * 4;
    }
    std::size_t bytesFrom(const std::uint8_t* p) const
    {
        return m_bytes - std::size_t(p - m_pixels);
    }

    void clear()
    {
        if (!m_painted)
            return;
        madvise(m_pixels, m_bytes, MADV_DONTNEED);
        m_painted = false;
    }
    void clear(std::uint32_t x, std::uint32_t y, std::uint32_t width, std::uint32_t height)
    {
        for (std::uint32_t row = y; row < y + height; ++row)
            std::memset(at(x, row), 0, std::size_t(width) * 4);
    }
    void painted() { m_painted = true; }

private:
    std::uint32_t m_width;
    std::uint32_t m_height;
    std::size_t m_bytes;
    std::uint8_t* m_pixels = nullptr;
    bool m_painted = false;
};

// A frame drawn with blending over a pixel, in straight alpha, with the
// same integer steps as libwebp's animation decoder: a transparent source
// keeps what is below, an opaque one replaces it.
void blendOnto(const std::uint8_t* source, std::uint8_t* target)
{
    const std::uint32_t sourceAlpha = source[3];
    if (sourceAlpha == 0)
        return;
    if (sourceAlpha == 0xFF) {
        std::memcpy(target, source, 4);
        return;
    }
    const std::uint32_t targetFactor = (target[3] * (256 - sourceAlpha)) >> 8;
    const std::uint32_t alpha = sourceAlpha + targetFactor;
    const std::uint32_t scale = (1u << 24) / alpha;
    for (int c = 0; c < 3; ++c)
        target[c]
            = std::uint8_t(((source[c] * sourceAlpha + target[c] * targetFactor) * scale) >> 24);
    target[3] = std::uint8_t(alpha);
}

VP8StatusCode decodeFrame(
    const WebPIterator& frame, std::uint8_t* out, std::size_t stride, std::size_t size)
{
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        return VP8_STATUS_INVALID_PARAM;
    config.output.colorspace = MODE_RGBA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = out;
    config.output.u.RGBA.stride = int(stride);
    config.output.u.RGBA.size = size;
    const VP8StatusCode code = WebPDecode(frame.fragment.bytes, frame.fragment.size, &config);
    WebPFreeDecBuffer(&config.output);
    return code;
}

DecodeOutcome frameFailure(VP8StatusCode code)
{
    if (code == VP8_STATUS_OUT_OF_MEMORY)
        return detail::outOfMemory("out of memory for a WebP animation frame");
    return failure(DecodeStatus::Unreadable, "truncated or corrupt WebP animation frame");
}

} // namespace

bool isWebpAnimation(Bytes bytes)
{
    WebPBitstreamFeatures features;
    return WebPGetFeatures(bytes.data(), bytes.size(), &features) == VP8_STATUS_OK
        && features.has_animation;
}

DecodeOutcome composeWebpAnimation(Bytes bytes, bool firstOnly, AnimationSink& sink)
{
    const WebPData data{bytes.data(), bytes.size()};
    std::unique_ptr<WebPDemuxer, DemuxDeleter> demux(WebPDemux(&data));
    if (!demux)
        return failure(DecodeStatus::Unreadable, "truncated or corrupt WebP animation");
    const std::uint32_t width = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH);
    const std::uint32_t height = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT);
    const std::uint32_t frames = WebPDemuxGetI(demux.get(), WEBP_FF_FRAME_COUNT);
    if (!withinPixelBudget(width, height))
        return detail::overBudget(width, height);
    if (frames > kFrameLimit)
        return failure(DecodeStatus::TooLarge, overFrameBudgetReason(width, height, frames));
    if (frames == 0)
        return failure(DecodeStatus::Unreadable, "WebP animation without frames");
    const std::uint32_t kept = firstOnly ? 1 : frames;

    // Every frame's own data must say the size its frame header gives
    // before any pixel memory is taken.
    for (std::uint32_t n = 1; n <= frames; ++n) {
        Frame frame;
        frame.held = WebPDemuxGetFrame(demux.get(), int(n), &frame.iterator) != 0;
        WebPBitstreamFeatures features;
        if (!frame.held
            || WebPGetFeatures(
                   frame.iterator.fragment.bytes, frame.iterator.fragment.size, &features)
                != VP8_STATUS_OK
            || features.width != frame.iterator.width || features.height != frame.iterator.height)
            return failure(DecodeStatus::Unreadable, "truncated or corrupt WebP animation frame");
    }

    Canvas canvas(width, height);
    if (!canvas.ok())
        return detail::outOfMemory("out of memory for the WebP animation");
    if (!sink.begin(width, height, kept))
        return failure(DecodeStatus::Unreadable, "the frames could not be taken");

    auto fullCanvas = [&](const WebPIterator& f) {
        return std::uint32_t(f.width) == width && std::uint32_t(f.height) == height;
    };
    WebPIterator previous{}; // where the frame before lay, and how it went
    bool previousWasKey = false;
    std::vector<std::uint8_t> drawn;
    for (std::uint32_t n = 1; n <= kept; ++n) {
        Frame frame;
        frame.held = WebPDemuxGetFrame(demux.get(), int(n), &frame.iterator) != 0;
        if (!frame.held)
            return failure(DecodeStatus::Unreadable, "truncated or corrupt WebP animation frame");
        const WebPIterator& f = frame.iterator;
        const WebPIterator& p = previous;
        // A key frame does not depend on what was shown before it: the
        // canvas starts transparent under it.
        const bool key = n == 1
            || ((!f.has_alpha || f.blend_method == WEBP_MUX_NO_BLEND) && fullCanvas(f))
            || (p.dispose_method == WEBP_MUX_DISPOSE_BACKGROUND
                && (fullCanvas(p) || previousWasKey));
        if (key)
            canvas.clear();
        const auto x0 = std::uint32_t(f.x_offset);
        const auto y0 = std::uint32_t(f.y_offset);
        const auto frameWidth = std::uint32_t(f.width);
        const auto frameHeight = std::uint32_t(f.height);
        canvas.painted();
        if (key || f.blend_method != WEBP_MUX_BLEND) {
            std::uint8_t* origin = canvas.at(x0, y0);
            const VP8StatusCode code
                = decodeFrame(f, origin, canvas.stride(), canvas.bytesFrom(origin));
            if (code != VP8_STATUS_OK)
                return frameFailure(code);
        } else {
            const std::size_t rowBytes = std::size_t(frameWidth) * 4;
            try {
                drawn.assign(rowBytes * frameHeight, 0);
            } catch (const std::bad_alloc&) {
                return detail::outOfMemory("out of memory for a WebP animation frame");
            }
            const VP8StatusCode code = decodeFrame(f, drawn.data(), rowBytes, drawn.size());
            if (code != VP8_STATUS_OK)
                return frameFailure(code);
            // Where the previous frame was cleared to the background the
            // new pixels are taken as they are; elsewhere they are blended.
            const bool clearedBelow = p.dispose_method == WEBP_MUX_DISPOSE_BACKGROUND;
            for (std::uint32_t y = 0; y < frameHeight; ++y) {
                const std::uint32_t canvasY = y0 + y;
                const bool rowInCleared = clearedBelow && canvasY >= std::uint32_t(p.y_offset)
                    && canvasY < std::uint32_t(p.y_offset + p.height);
                for (std::uint32_t x = 0; x < frameWidth; ++x) {
                    const std::uint32_t canvasX = x0 + x;
                    const std::uint8_t* source = drawn.data() + std::size_t(y) * rowBytes + 4 * x;
                    std::uint8_t* target = canvas.at(canvasX, canvasY);
                    if (rowInCleared && canvasX >= std::uint32_t(p.x_offset)
                        && canvasX < std::uint32_t(p.x_offset + p.width))
                        std::memcpy(target, source, 4);
                    else
                        blendOnto(source, target);
                }
            }
        }
        if (!sink.frame(canvas.pixels()))
            return failure(DecodeStatus::Unreadable, "the frames could not be taken");
        if (f.dispose_method == WEBP_MUX_DISPOSE_BACKGROUND)
            canvas.clear(x0, y0, frameWidth, frameHeight);
        previousWasKey = key;
        previous = f; // its fragment is not read again
    }
    DecodeOutcome outcome;
    outcome.status = DecodeStatus::Ok;
    return outcome;
}

} // namespace decoding
