#include "decoding/HeifDecoder.h"

#include "decoding/AnimationBudget.h"
#include "decoding/DecoderSupport.h"
#include "decoding/HeifBoxes.h"
#include "decoding/PictureType.h"

#include <libheif/heif.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <new>

namespace decoding {

namespace {

using detail::failure;

DecodeOutcome failure(const heif_error& error)
{
    if (error.code == heif_error_Memory_allocation_error)
        return detail::outOfMemory("out of memory decoding HEIF");
    if (error.subcode == heif_suberror_Security_limit_exceeded)
        return failure(DecodeStatus::TooLarge, "HEIF data over libheif's safety limits");
    // libheif says "unsupported colour conversion" when a plane of the
    // converted picture could not be allocated, too: not a lasting verdict.
    if (error.subcode == heif_suberror_Unsupported_color_conversion)
        return detail::outOfMemory("HEIF colour conversion refused (not enough memory?)");
    if (error.subcode == heif_suberror_End_of_data)
        return failure(DecodeStatus::Unreadable, "truncated HEIF data");
    const std::string detail = error.message ? error.message : "";
    if (error.code == heif_error_Unsupported_feature
        || error.code == heif_error_Unsupported_filetype)
        return failure(DecodeStatus::Unreadable, "unsupported HEIF content: " + detail);
    return failure(DecodeStatus::Unreadable, "corrupt HEIF data: " + detail);
}

struct ContextDeleter {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleDeleter {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageDeleter {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
struct OptionsDeleter {
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};
using Context = std::unique_ptr<heif_context, ContextDeleter>;
using Handle = std::unique_ptr<heif_image_handle, HandleDeleter>;
using Image = std::unique_ptr<heif_image, ImageDeleter>;

// Reads the boxes of the whole file; the bytes must outlive the context.
heif_error openContext(Bytes bytes, Context* context)
{
    context->reset(heif_context_alloc());
    // One file is decoded per core by the search; more threads per file
    // would only compete with those. libheif spreads only the tiles of a
    // grid picture over its threads: on whole-picture HEIC and AVIF files
    // (what heif-enc writes) 2 and 4 threads measured the same as none.
    heif_context_set_max_decoding_threads(context->get(), 0);
    return heif_context_read_from_memory_without_copy(
        context->get(), bytes.data(), bytes.size(), nullptr);
}

struct PictureFacts {
    Handle handle;
    std::uint32_t width = 0; // as shown
    std::uint32_t height = 0;
    bool deep = false;
    bool alpha = false;
};

// Copies the decoded interleaved plane into a packed frame.
bool copyEightBit(
    const heif_image* image, const PictureFacts& facts, std::vector<std::uint8_t>* out)
{
    int stride = 0;
    const std::uint8_t* plane
        = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    const std::size_t rowBytes = std::size_t(facts.width) * 4;
    if (!plane || stride < 0 || std::size_t(stride) < rowBytes)
        return false;
    for (std::uint32_t y = 0; y < facts.height; ++y)
        std::memcpy(
            out->data() + y * rowBytes, plane + std::size_t(y) * std::size_t(stride), rowBytes);
    return true;
}

// 10 to 16-bit samples go to the top of 16 bits, or with `eightBit` to
// 8 bits rounded to the nearest value.
bool copyDeep(const heif_image* image, const PictureFacts& facts, bool eightBit,
    std::vector<std::uint8_t>* out)
{
    int stride = 0;
    const std::uint8_t* plane
        = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    const int depth = heif_image_get_bits_per_pixel_range(image, heif_channel_interleaved);
    const std::size_t samplesPerRow = std::size_t(facts.width) * 4;
    if (!plane || stride < 0 || std::size_t(stride) < samplesPerRow * 2 || depth <= 8 || depth > 16)
        return false;
    const int shift = 16 - depth;
    const std::uint32_t maximum = (1u << depth) - 1;
    for (std::uint32_t y = 0; y < facts.height; ++y) {
        // The plane is in host byte order (asked for below), like the pixel form.
        const std::uint8_t* rowIn = plane + std::size_t(y) * std::size_t(stride);
        for (std::size_t x = 0; x < samplesPerRow; ++x) {
            std::uint16_t sample;
            std::memcpy(&sample, rowIn + x * 2, 2);
            // Without an alpha plane libheif fills alpha with 0xFFFF whatever
            // the depth; opaque is full scale in the pixel form anyway.
            const bool opaque = x % 4 == 3 && !facts.alpha;
            const std::size_t at = std::size_t(y) * samplesPerRow + x;
            if (eightBit) {
                const std::uint32_t value = std::min<std::uint32_t>(sample, maximum);
                (*out)[at] = opaque ? 0xFF : std::uint8_t((value * 255 + maximum / 2) / maximum);
            } else {
                sample = opaque ? 0xFFFF : std::uint16_t(sample << shift);
                std::memcpy(out->data() + at * 2, &sample, 2);
            }
        }
    }
    return true;
}

// Opens every top-level picture (the first only, with `firstOnly`) and checks
// what the pixel form and the budget allow before any of them is decoded.
DecodeOutcome inspectPictures(
    heif_context* context, bool firstOnly, std::vector<PictureFacts>* pictures)
{
    const int count = heif_context_get_number_of_top_level_images(context);
    if (count <= 0)
        return failure(DecodeStatus::Unreadable, "HEIF file without pictures");
    if (std::uint32_t(count) > kFrameLimit && !firstOnly)
        return failure(DecodeStatus::TooLarge, overFrameBudgetReason(1, 1, std::uint32_t(count)));
    std::vector<heif_item_id> ids(static_cast<std::size_t>(count));
    const int listed = heif_context_get_list_of_top_level_image_IDs(context, ids.data(), count);
    if (listed != count)
        return failure(DecodeStatus::Unreadable, "corrupt HEIF picture list");
    if (firstOnly)
        ids.resize(1);

    for (const heif_item_id id : ids) {
        heif_image_handle* raw = nullptr;
        const heif_error error = heif_context_get_image_handle(context, id, &raw);
        if (error.code != heif_error_Ok)
            return failure(error);
        PictureFacts facts;
        facts.handle.reset(raw);
        const int width = heif_image_handle_get_width(raw);
        const int height = heif_image_handle_get_height(raw);
        // The coded size before rotation and crop is what gets allocated.
        const int codedWidth = heif_image_handle_get_ispe_width(raw);
        const int codedHeight = heif_image_handle_get_ispe_height(raw);
        if (width <= 0 || height <= 0)
            return failure(DecodeStatus::Unreadable, "HEIF picture without a size");
        if (!withinPixelBudget(std::uint32_t(width), std::uint32_t(height)))
            return detail::overBudget(std::uint32_t(width), std::uint32_t(height));
        if (codedWidth > 0 && codedHeight > 0
            && !withinPixelBudget(std::uint32_t(codedWidth), std::uint32_t(codedHeight)))
            return detail::overBudget(std::uint32_t(codedWidth), std::uint32_t(codedHeight));
        const int lumaBits = heif_image_handle_get_luma_bits_per_pixel(raw);
        if (lumaBits <= 0 || lumaBits > 16)
            return failure(DecodeStatus::Unreadable, "HEIF picture without a bit depth");
        facts.width = std::uint32_t(width);
        facts.height = std::uint32_t(height);
        facts.deep = lumaBits > 8;
        facts.alpha = heif_image_handle_has_alpha_channel(raw) != 0;
        if (!pictures->empty()) {
            const PictureFacts& first = pictures->front();
            if (facts.width != first.width || facts.height != first.height)
                return failure(
                    DecodeStatus::Unreadable, "HEIF pictures of different sizes in one file");
            if (facts.deep != first.deep)
                return failure(
                    DecodeStatus::Unreadable, "HEIF pictures of different depths in one file");
        }
        pictures->push_back(std::move(facts));
    }
    const PictureFacts& first = pictures->front();
    if (!withinFrameBudget(first.width, first.height, pictures->size()))
        return failure(DecodeStatus::TooLarge,
            overFrameBudgetReason(first.width, first.height, pictures->size()));
    DecodeOutcome fine;
    fine.status = DecodeStatus::Ok;
    return fine;
}

PictureHeader readHeaderUnguarded(Bytes bytes)
{
    PictureHeader header;
    const PictureType type = detectType(bytes);
    if (type != PictureType::Heif && type != PictureType::Avif)
        return header;
    // The type stands even when the boxes cannot be read: the caller then
    // decodes the file to learn why.
    header.type = type;
    Context context;
    if (openContext(bytes, &context).code != heif_error_Ok)
        return header;
    heif_image_handle* raw = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &raw).code != heif_error_Ok)
        return header;
    const Handle primary(raw);
    const int width = heif_image_handle_get_width(primary.get());
    const int height = heif_image_handle_get_height(primary.get());
    const int count = heif_context_get_number_of_top_level_images(context.get());
    if (width <= 0 || height <= 0 || count <= 0)
        return header;
    header.ok = true;
    header.type = type;
    header.width = std::uint32_t(width);
    header.height = std::uint32_t(height);
    header.frames = std::uint32_t(count);
    return header;
}

DecodeOutcome decodeUnguarded(Bytes bytes, const DecodeOptions& decodeOptions)
{
    const PictureType type = detectType(bytes);
    if (type != PictureType::Heif && type != PictureType::Avif)
        return failure(DecodeStatus::Unreadable, "not a HEIF or AVIF file");
    // Only the still pictures of a sequence could be decoded: its frames
    // would go uncompared. (For display, its first picture is enough.)
    if (!decodeOptions.firstFrameOnly && !decodeOptions.eightBit && heifHoldsSequence(bytes))
        return failure(DecodeStatus::Unreadable,
            std::string(type == PictureType::Avif ? "AVIF" : "HEIF")
                + " image sequence: not supported");
    // Tiles, overlays and alpha planes are allocated from sizes of their own.
    for (const ClaimedSize& size : heifClaimedSizes(bytes))
        if (size.width > 0 && size.height > 0 && !withinPixelBudget(size.width, size.height))
            return detail::overBudget(size.width, size.height);
    Context context;
    if (const heif_error error = openContext(bytes, &context); error.code != heif_error_Ok)
        return failure(error);
    std::vector<PictureFacts> pictures;
    if (DecodeOutcome checked
        = inspectPictures(context.get(), decodeOptions.firstFrameOnly, &pictures);
        checked.status != DecodeStatus::Ok)
        return checked;

    const std::unique_ptr<heif_decoding_options, OptionsDeleter> options(
        heif_decoding_options_alloc());
    // Rotation, mirroring and crop stay applied (libheif's default).
    options->ignore_transformations = 0;

    DecodeOutcome outcome;
    DecodedPicture& picture = outcome.picture;
    const bool eightBit = decodeOptions.eightBit || !pictures.front().deep;
    if (!detail::allocateFrames(picture, pictures.front().width, pictures.front().height,
            eightBit ? 1 : 2, pictures.size()))
        return detail::outOfMemory("out of memory for the HEIF pictures");
    const heif_chroma deepChroma = std::endian::native == std::endian::little
        ? heif_chroma_interleaved_RRGGBBAA_LE
        : heif_chroma_interleaved_RRGGBBAA_BE;
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        const PictureFacts& facts = pictures[i];
        heif_image* raw = nullptr;
        const heif_error error = heif_decode_image(facts.handle.get(), &raw, heif_colorspace_RGB,
            facts.deep ? deepChroma : heif_chroma_interleaved_RGBA, options.get());
        if (error.code != heif_error_Ok)
            return failure(error);
        const Image image(raw);
        if (heif_image_get_width(image.get(), heif_channel_interleaved) != int(facts.width)
            || heif_image_get_height(image.get(), heif_channel_interleaved) != int(facts.height))
            return failure(DecodeStatus::Unreadable, "HEIF picture decoded to another size");
        std::vector<std::uint8_t>& frame = picture.frames[i];
        const bool copied = facts.deep
            ? copyDeep(image.get(), facts, decodeOptions.eightBit, &frame)
            : copyEightBit(image.get(), facts, &frame);
        if (!copied)
            return failure(DecodeStatus::Unreadable, "HEIF picture in an unexpected layout");
    }
    outcome.status = DecodeStatus::Ok;
    return outcome;
}

} // namespace

// libheif is C++ inside; what it throws (std::bad_alloc above all) must not
// leave the library's C-style interface.
PictureHeader readHeifHeader(Bytes bytes)
{
    try {
        return readHeaderUnguarded(bytes);
    } catch (...) {
        return {};
    }
}

DecodeOutcome decodeHeif(Bytes bytes, const DecodeOptions& options)
{
    try {
        return decodeUnguarded(bytes, options);
    } catch (const std::bad_alloc&) {
        return detail::outOfMemory("out of memory decoding HEIF");
    } catch (...) {
        return failure(DecodeStatus::Unreadable, "corrupt HEIF data");
    }
}

std::string heifLibraryVersions()
{
    std::string text = std::string("libheif ") + heif_get_version() + " (";
    const heif_decoder_descriptor* decoders[16];
    const int count = heif_get_decoder_descriptors(heif_compression_undefined, decoders, 16);
    for (int i = 0; i < count; ++i)
        text += std::string(i ? "; " : "") + heif_decoder_descriptor_get_name(decoders[i]);
    return text + ")";
}

} // namespace decoding
