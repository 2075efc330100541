#pragma once
// The fastest-library floor: one picture decoded once with the fastest
// library Debian packages for its type, called directly into that library's
// cheapest whole-picture form, and nothing else (no checks of Corvane's, no
// pixel form, no orientation). JPEG through libjpeg-turbo's own API into RGB
// rows, PNG through libpng's simplified reader, TIFF strips or tiles through
// libtiff, WebP through libwebp, HEIC and AVIF through libheif (its primary
// picture, one thread). BMP and GIF have no faster reader than Qt's, and
// JPEG 2000 none faster than OpenJPEG, which Corvane's own decoder calls with
// one copy into the pixel form: those go through `slower`.

#include "decoding/DecodedPicture.h"
#include "decoding/PictureType.h"

// jpeglib.h needs FILE and size_t declared first.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>
#include <libheif/heif.h>
#include <png.h>
#include <tiffio.h>
#include <webp/decode.h>

#include <csetjmp>
#include <cstring>
#include <functional>
#include <vector>

namespace fastest {

namespace detail {

struct JpegErrors {
    jpeg_error_mgr base{};
    std::jmp_buf jump{};
};

[[noreturn]] inline void jpegFailed(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}

// Fills `pixels` (allocated before libjpeg can jump out of this frame).
inline bool jpegInto(jpeg_decompress_struct& info, std::vector<std::uint8_t>& pixels)
{
    JpegErrors& errors = *reinterpret_cast<JpegErrors*>(info.err);
    if (setjmp(errors.jump))
        return false;
    jpeg_start_decompress(&info);
    const std::size_t rowBytes = std::size_t(info.output_width) * info.output_components;
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels.data() + rowBytes * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    return true;
}

inline bool jpeg(decoding::Bytes file)
{
    jpeg_decompress_struct info{};
    JpegErrors errors;
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = jpegFailed;
    std::vector<std::uint8_t> pixels;
    bool ok = false;
    if (!setjmp(errors.jump)) {
        jpeg_create_decompress(&info);
        jpeg_mem_src(&info, file.data(), static_cast<unsigned long>(file.size()));
        jpeg_read_header(&info, TRUE);
        if (info.jpeg_color_space != JCS_CMYK && info.jpeg_color_space != JCS_YCCK)
            info.out_color_space = JCS_EXT_RGB;
        jpeg_calc_output_dimensions(&info);
        pixels.resize(std::size_t(info.output_width) * info.output_height * info.output_components);
        ok = jpegInto(info, pixels);
    }
    jpeg_destroy_decompress(&info);
    return ok;
}

inline bool png(decoding::Bytes file)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size()))
        return false;
    // The file's own form (no alpha added, 16-bit kept linear), whatever is cheapest.
    std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
    const bool ok = png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return ok;
}

struct TiffMemory {
    decoding::Bytes file;
    toff_t at = 0;
};

inline bool tiff(decoding::Bytes bytes)
{
    TiffMemory memory{bytes};
    TIFF* tif = TIFFClientOpen(
        "floor", "rm", &memory,
        [](thandle_t h, tdata_t out, tmsize_t n) -> tmsize_t {
            auto* m = static_cast<TiffMemory*>(h);
            const tmsize_t left
                = tmsize_t(m->file.size() - std::min<toff_t>(m->at, m->file.size()));
            const tmsize_t take = std::min(n, left);
            std::memcpy(out, m->file.data() + m->at, std::size_t(take));
            m->at += toff_t(take);
            return take;
        },
        [](thandle_t, tdata_t, tmsize_t) -> tmsize_t { return -1; },
        [](thandle_t h, toff_t offset, int whence) -> toff_t {
            auto* m = static_cast<TiffMemory*>(h);
            m->at = whence == SEEK_SET ? offset
                : whence == SEEK_CUR   ? m->at + offset
                                       : m->file.size() + offset;
            return m->at;
        },
        [](thandle_t) { return 0; },
        [](thandle_t h) -> toff_t { return static_cast<TiffMemory*>(h)->file.size(); },
        [](thandle_t, tdata_t*, toff_t*) { return 0; }, [](thandle_t, tdata_t, toff_t) {});
    if (!tif)
        return false;
    bool ok = true;
    do {
        // Every page's data, decoded as stored: the least any reader does.
        const bool tiled = TIFFIsTiled(tif);
        const tmsize_t size = tiled ? TIFFTileSize(tif) : TIFFStripSize(tif);
        const std::uint32_t count = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
        std::vector<std::uint8_t> buffer(std::size_t(std::max<tmsize_t>(size, 1)) * count);
        for (std::uint32_t i = 0; i < count && ok; ++i) {
            std::uint8_t* out = buffer.data() + std::size_t(size) * i;
            ok = (tiled ? TIFFReadEncodedTile(tif, i, out, size)
                        : TIFFReadEncodedStrip(tif, i, out, size))
                >= 0;
        }
    } while (ok && TIFFReadDirectory(tif));
    TIFFClose(tif);
    return ok;
}

inline bool webp(decoding::Bytes file)
{
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(file.data(), file.size(), &features) != VP8_STATUS_OK
        || features.has_animation)
        return false;
    int width = 0;
    int height = 0;
    std::uint8_t* pixels = features.has_alpha
        ? WebPDecodeRGBA(file.data(), file.size(), &width, &height)
        : WebPDecodeRGB(file.data(), file.size(), &width, &height);
    WebPFree(pixels);
    return pixels != nullptr;
}

inline bool heif(decoding::Bytes file)
{
    heif_context* context = heif_context_alloc();
    heif_context_set_max_decoding_threads(context, 0);
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    bool ok = heif_context_read_from_memory_without_copy(context, file.data(), file.size(), nullptr)
                  .code
            == heif_error_Ok
        && heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok;
    if (ok) {
        const bool alpha = heif_image_handle_has_alpha_channel(handle);
        ok = heif_decode_image(handle, &image, heif_colorspace_RGB,
                 alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, nullptr)
                 .code
            == heif_error_Ok;
    }
    heif_image_release(image);
    heif_image_handle_release(handle);
    heif_context_free(context);
    return ok;
}

} // namespace detail

// Decodes the file once; `slower` takes the types without a faster library.
// False when the file did not decode.
inline bool decode(decoding::Bytes file, const std::function<bool(decoding::Bytes)>& slower)
{
    switch (decoding::detectType(file)) {
    case decoding::PictureType::Jpeg:
        return detail::jpeg(file);
    case decoding::PictureType::Png:
        return detail::png(file);
    case decoding::PictureType::Tiff:
        return detail::tiff(file);
    case decoding::PictureType::WebP:
        // An animation needs its frames composed: libwebp's demuxer, as Corvane does.
        return detail::webp(file) || slower(file);
    case decoding::PictureType::Heif:
    case decoding::PictureType::Avif:
        return detail::heif(file);
    default:
        return slower(file);
    }
}

} // namespace fastest
