#include "decoding/HeifDecoder.h"

#include "decoding/AnimationBudget.h"
#include "decoding/HeifBoxes.h"

#include <libheif/heif.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

namespace decoding {

namespace {

DecodeOutcome failure(DecodeStatus status, std::string reason)
{
    DecodeOutcome outcome;
    outcome.status = status;
    outcome.reason = std::move(reason);
    return outcome;
}

DecodeOutcome failure(const heif_error& error)
{
    if (error.code == heif_error_Memory_allocation_error)
        return failure(DecodeStatus::TooLarge, "out of memory decoding HEIF");
    if (error.subcode == heif_suberror_Security_limit_exceeded)
        return failure(DecodeStatus::TooLarge, "HEIF data over libheif's safety limits");
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

std::uint32_t readBigEndian32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

bool isBrand(const std::uint8_t* p, const char* brand)
{
    return std::memcmp(p, brand, 4) == 0;
}

PictureType typeOfBrand(const std::uint8_t* p)
{
    if (isBrand(p, "avif") || isBrand(p, "avis"))
        return PictureType::Avif;
    for (const char* brand : {"heic", "heix", "heim", "heis", "hevc", "hevx", "hevm", "hevs"})
        if (isBrand(p, brand))
            return PictureType::Heif;
    return PictureType::Unknown;
}

// Reads the boxes of the whole file; the bytes must outlive the context.
heif_error openContext(Bytes bytes, Context* context)
{
    context->reset(heif_context_alloc());
    // One file is decoded per core by the search; more threads per file
    // would only compete with those.
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

bool copyDeep(const heif_image* image, const PictureFacts& facts, std::vector<std::uint8_t>* out)
{
    int stride = 0;
    const std::uint8_t* plane
        = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    const int depth = heif_image_get_bits_per_pixel_range(image, heif_channel_interleaved);
    const std::size_t rowBytes = std::size_t(facts.width) * 8;
    if (!plane || stride < 0 || std::size_t(stride) < rowBytes || depth <= 8 || depth > 16)
        return false;
    const int shift = 16 - depth;
    for (std::uint32_t y = 0; y < facts.height; ++y) {
        // The plane is in host byte order (asked for below), like the pixel form.
        const std::uint8_t* rowIn = plane + std::size_t(y) * std::size_t(stride);
        std::uint8_t* rowOut = out->data() + y * rowBytes;
        for (std::uint32_t x = 0; x < facts.width * 4; ++x) {
            std::uint16_t sample;
            std::memcpy(&sample, rowIn + x * 2, 2);
            // Without an alpha plane libheif fills alpha with 0xFFFF whatever
            // the depth; opaque is full scale in the pixel form anyway.
            if (x % 4 == 3 && !facts.alpha)
                sample = 0xFFFF;
            else
                sample = std::uint16_t(sample << shift);
            std::memcpy(rowOut + x * 2, &sample, 2);
        }
    }
    return true;
}

// Opens every top-level picture and checks what the pixel form and the
// budget allow before any of them is decoded.
DecodeOutcome inspectPictures(heif_context* context, std::vector<PictureFacts>* pictures)
{
    const int count = heif_context_get_number_of_top_level_images(context);
    if (count <= 0)
        return failure(DecodeStatus::Unreadable, "HEIF file without pictures");
    if (std::uint32_t(count) > kFrameLimit)
        return failure(DecodeStatus::TooLarge, overFrameBudgetReason(1, 1, std::uint32_t(count)));
    std::vector<heif_item_id> ids(static_cast<std::size_t>(count));
    const int listed = heif_context_get_list_of_top_level_image_IDs(context, ids.data(), count);
    if (listed != count)
        return failure(DecodeStatus::Unreadable, "corrupt HEIF picture list");

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
            return failure(DecodeStatus::TooLarge,
                overBudgetReason(std::uint32_t(width), std::uint32_t(height)));
        if (codedWidth > 0 && codedHeight > 0
            && !withinPixelBudget(std::uint32_t(codedWidth), std::uint32_t(codedHeight)))
            return failure(DecodeStatus::TooLarge,
                overBudgetReason(std::uint32_t(codedWidth), std::uint32_t(codedHeight)));
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

} // namespace

PictureType sniffHeifFamily(Bytes bytes)
{
    if (bytes.size() < 16 || std::memcmp(bytes.data() + 4, "ftyp", 4) != 0)
        return PictureType::Unknown;
    const std::uint32_t boxSize = readBigEndian32(bytes.data());
    if (boxSize < 16 || boxSize % 4 != 0)
        return PictureType::Unknown;
    const PictureType major = typeOfBrand(bytes.data() + 8);
    if (major != PictureType::Unknown)
        return major;
    // A general major brand ("mif1", "msf1") names the codec among the
    // compatible brands.
    if (!isBrand(bytes.data() + 8, "mif1") && !isBrand(bytes.data() + 8, "msf1"))
        return PictureType::Unknown;
    const std::size_t end = std::min<std::size_t>(boxSize, bytes.size());
    PictureType found = PictureType::Unknown;
    for (std::size_t at = 16; at + 4 <= end; at += 4) {
        const PictureType compatible = typeOfBrand(bytes.data() + at);
        if (compatible == PictureType::Heif)
            return PictureType::Heif;
        if (compatible == PictureType::Avif)
            found = PictureType::Avif;
    }
    return found == PictureType::Unknown ? PictureType::Heif : found;
}

PictureHeader readHeifHeader(Bytes bytes)
{
    PictureHeader header;
    const PictureType type = sniffHeifFamily(bytes);
    if (type == PictureType::Unknown)
        return header;
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

DecodeOutcome decodeHeif(Bytes bytes)
{
    if (sniffHeifFamily(bytes) == PictureType::Unknown)
        return failure(DecodeStatus::Unreadable, "not a HEIF or AVIF file");
    // Tiles, overlays and alpha planes are allocated from sizes of their own.
    for (const ClaimedSize& size : heifClaimedSizes(bytes))
        if (!withinPixelBudget(size.width, size.height))
            return failure(DecodeStatus::TooLarge, overBudgetReason(size.width, size.height));
    Context context;
    if (const heif_error error = openContext(bytes, &context); error.code != heif_error_Ok)
        return failure(error);
    std::vector<PictureFacts> pictures;
    if (DecodeOutcome checked = inspectPictures(context.get(), &pictures);
        checked.status != DecodeStatus::Ok)
        return checked;

    const std::unique_ptr<heif_decoding_options, OptionsDeleter> options(
        heif_decoding_options_alloc());
    // Rotation, mirroring and crop stay applied (libheif's default).
    options->ignore_transformations = 0;

    DecodeOutcome outcome;
    DecodedPicture& picture = outcome.picture;
    picture.width = pictures.front().width;
    picture.height = pictures.front().height;
    picture.bytesPerSample = pictures.front().deep ? 2 : 1;
    const heif_chroma deepChroma = std::endian::native == std::endian::little
        ? heif_chroma_interleaved_RRGGBBAA_LE
        : heif_chroma_interleaved_RRGGBBAA_BE;
    for (const PictureFacts& facts : pictures) {
        heif_image* raw = nullptr;
        const heif_error error = heif_decode_image(facts.handle.get(), &raw, heif_colorspace_RGB,
            facts.deep ? deepChroma : heif_chroma_interleaved_RGBA, options.get());
        if (error.code != heif_error_Ok)
            return failure(error);
        const Image image(raw);
        if (heif_image_get_width(image.get(), heif_channel_interleaved) != int(facts.width)
            || heif_image_get_height(image.get(), heif_channel_interleaved) != int(facts.height))
            return failure(DecodeStatus::Unreadable, "HEIF picture decoded to another size");
        std::vector<std::uint8_t>& frame = picture.frames.emplace_back(picture.frameBytes());
        const bool copied = facts.deep ? copyDeep(image.get(), facts, &frame)
                                       : copyEightBit(image.get(), facts, &frame);
        if (!copied)
            return failure(DecodeStatus::Unreadable, "HEIF picture in an unexpected layout");
    }
    outcome.status = DecodeStatus::Ok;
    return outcome;
}

} // namespace decoding
