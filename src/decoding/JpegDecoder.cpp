#include "decoding/JpegDecoder.h"

#include "decoding/DecoderSupport.h"

// jpeglib.h needs FILE and size_t declared first.
#include <cstddef>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include <csetjmp>
#include <cstring>

namespace decoding::jpeg {
namespace {

#define CORVANE_TEXT(x) #x
#define CORVANE_VERSION_TEXT(x) CORVANE_TEXT(x)

// libjpeg reports a fatal error by calling error_exit, which must not
// return: it jumps back to decodeInto(). Every object with a destructor lives
// in the caller, so the jump skips none.
struct ErrorManager {
    jpeg_error_mgr base{};
    std::jmp_buf jump{};
    bool dataLost = false;
    char message[JMSG_LENGTH_MAX] = "";
};

[[noreturn]] void onError(j_common_ptr info)
{
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->jump, 1);
}

void onMessage(j_common_ptr info, int level)
{
    if (level >= 0)
        return; // trace messages
    // Warnings after which part of the picture is made up (grey rows, a
    // resynchronised stream): the picture is not what was stored.
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    const int code = info->err->msg_code;
    if (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER || code == JWRN_MUST_RESYNC
        || code == JWRN_NOT_SEQUENTIAL || code == JWRN_HUFF_BAD_CODE) {
        if (!errors->dataLost)
            (*info->err->format_message)(info, errors->message);
        errors->dataLost = true;
    }
}

void quiet(j_common_ptr) { }

struct Decompressor {
    jpeg_decompress_struct info{};
    ErrorManager errors;
    bool created = false;
    unsigned reduction = 1; // 1, 2, 4 or 8

    ~Decompressor()
    {
        if (created)
            jpeg_destroy_decompress(&info);
    }
};

enum class Step { Header, Pixels };

// Where decodeStep() writes the rows: into a whole picture allocated by the
// caller, or one by one to a sink.
struct Target {
    DecodedPicture* picture = nullptr;
    std::uint8_t* inkRow = nullptr; // for a CMYK picture: libjpeg's four samples
    RowSink* sink = nullptr;
    bool sinkStopped = false;
};

// Reads the header (Step::Header; `colours` is the output form of an RGB or
// grey JPEG) or the pixels into `target`. Returns false after a fatal libjpeg
// error or when the sink stops. Holds no object with a destructor: libjpeg's
// errors jump out of it.
bool decodeStep(Decompressor& d, Bytes file, Step step, J_COLOR_SPACE colours, Target& target)
{
    if (setjmp(d.errors.jump))
        return false;
    jpeg_decompress_struct& info = d.info;
    if (step == Step::Header) {
        jpeg_create_decompress(&info);
        d.created = true;
        jpeg_mem_src(&info, file.data(), static_cast<unsigned long>(file.size()));
        jpeg_read_header(&info, TRUE);
        const bool inks = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
        // libjpeg's defaults (accurate integer transform, smooth upsampling)
        // are what Qt's reader uses as well.
        info.out_color_space = inks ? JCS_CMYK : colours;
        // A reduced decode scales inside the inverse transform, so it skips
        // most of the transform's work instead of averaging afterwards.
        info.scale_num = 1;
        info.scale_denom = d.reduction;
        jpeg_calc_output_dimensions(&info);
        return true;
    }
    jpeg_start_decompress(&info);
    if (target.sink) {
        while (info.output_scanline < info.output_height) {
            const JDIMENSION y = info.output_scanline;
            JSAMPROW rows[1] = {target.sink->row(y)};
            if (!rows[0] || jpeg_read_scanlines(&info, rows, 1) != 1 || !target.sink->rowDone(y)) {
                target.sinkStopped = true;
                return false;
            }
        }
        jpeg_finish_decompress(&info);
        return true;
    }
    DecodedPicture* picture = target.picture;
    const bool inks = info.out_color_space == JCS_CMYK;
    const std::size_t rowBytes
        = std::size_t(picture->width) * std::size_t(picture->samplesPerPixel());
    std::uint8_t* frame = picture->frames.front().data();
    while (info.output_scanline < info.output_height) {
        std::uint8_t* row = frame + rowBytes * info.output_scanline;
        JSAMPROW rows[1] = {inks ? target.inkRow : row};
        if (jpeg_read_scanlines(&info, rows, 1) != 1)
            return false;
        if (inks) {
            // C, M, Y, K then the alpha sample of the pixel form.
            for (std::uint32_t x = 0; x < picture->width; ++x) {
                std::memcpy(row + 5 * std::size_t(x), target.inkRow + 4 * std::size_t(x), 4);
                row[5 * std::size_t(x) + 4] = 0xFF;
            }
        }
    }
    jpeg_finish_decompress(&info);
    return true;
}

void prepare(Decompressor& d)
{
    d.info.err = jpeg_std_error(&d.errors.base);
    d.errors.base.error_exit = onError;
    d.errors.base.emit_message = onMessage;
    d.errors.base.output_message = quiet;
}

} // namespace

DecodeOutcome decode(Bytes file)
{
    return decodeReduced(file, 1);
}

DecodeOutcome decodeReduced(Bytes file, unsigned reduction)
{
    if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8)
        return detail::failure(DecodeStatus::Unreadable, "not a JPEG file");
    if (reduction != 1 && reduction != 2 && reduction != 4 && reduction != 8)
        return detail::failure(DecodeStatus::Unreadable, "JPEG reduction not supported");
    Decompressor d;
    d.reduction = reduction;
    prepare(d);
    Target target;
    if (!decodeStep(d, file, Step::Header, JCS_EXT_RGBA, target))
        return detail::failure(
            DecodeStatus::Unreadable, std::string("damaged JPEG header: ") + d.errors.message);
    const std::uint32_t width = d.info.output_width;
    const std::uint32_t height = d.info.output_height;
    if (width == 0 || height == 0)
        return detail::failure(DecodeStatus::Unreadable, "JPEG without a size");
    if (!withinPixelBudget(width, height))
        return detail::overBudget(width, height);

    DecodeOutcome outcome;
    DecodedPicture& picture = outcome.picture;
    const bool inks = d.info.out_color_space == JCS_CMYK;
    picture.colourSpace = inks ? ColourSpace::Cmyk : ColourSpace::Rgb;
    std::vector<std::uint8_t> inkRow;
    try {
        if (inks)
            inkRow.resize(std::size_t(width) * 4);
    } catch (const std::bad_alloc&) {
        return detail::failure(DecodeStatus::TooLarge, "not enough memory for the picture");
    }
    if (!detail::allocateFrames(picture, width, height, 1, 1))
        return detail::failure(DecodeStatus::TooLarge, "not enough memory for the picture");
    target.picture = &picture;
    target.inkRow = inkRow.data();
    if (!decodeStep(d, file, Step::Pixels, JCS_EXT_RGBA, target))
        return detail::failure(
            DecodeStatus::Unreadable, std::string("damaged JPEG data: ") + d.errors.message);
    if (d.errors.dataLost)
        return detail::failure(
            DecodeStatus::Unreadable, std::string("damaged JPEG data: ") + d.errors.message);
    outcome.status = DecodeStatus::Ok;
    return outcome;
}

StreamResult streamRows(Bytes file, RowSink& sink, std::string* reason)
{
    auto failed = [reason](std::string why) {
        if (reason)
            *reason = std::move(why);
        return StreamResult::Failed;
    };
    if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8)
        return failed("not a JPEG file");
    Decompressor d;
    prepare(d);
    Target target;
    const J_COLOR_SPACE colours = sink.order() == RowOrder::Rgb ? JCS_EXT_RGB : JCS_EXT_BGR;
    if (!decodeStep(d, file, Step::Header, colours, target))
        return failed(std::string("damaged JPEG header: ") + d.errors.message);
    if (d.info.out_color_space == JCS_CMYK)
        return StreamResult::NotStreamable;
    const std::uint32_t width = d.info.output_width;
    const std::uint32_t height = d.info.output_height;
    if (width == 0 || height == 0)
        return failed("JPEG without a size");
    if (!withinPixelBudget(width, height)) {
        failed(detail::overBudget(width, height).reason);
        return StreamResult::TooLarge;
    }
    if (!sink.begin(width, height))
        return failed("the rows could not be taken");
    target.sink = &sink;
    if (!decodeStep(d, file, Step::Pixels, colours, target))
        return failed(target.sinkStopped && !d.errors.message[0]
                ? std::string("the rows could not be taken")
                : std::string("damaged JPEG data: ") + d.errors.message);
    // The rows already handed out are worthless: the sink must drop them.
    if (d.errors.dataLost)
        return failed(std::string("damaged JPEG data: ") + d.errors.message);
    return StreamResult::Streamed;
}

std::string libraryVersion()
{
    return "libjpeg-turbo " CORVANE_VERSION_TEXT(
        LIBJPEG_TURBO_VERSION) " (libjpeg " CORVANE_VERSION_TEXT(JPEG_LIB_VERSION) ")";
}

} // namespace decoding::jpeg
