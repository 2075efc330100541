#include "decoding/JpegDecoder.h"

#include "decoding/BmpJpegGifHeaders.h"
#include "decoding/DecoderSupport.h"
#include "decoding/PictureOrientation.h"

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
    int errorCode = 0; // of the fatal error, when there was one
    char message[JMSG_LENGTH_MAX] = "";
};

[[noreturn]] void onError(j_common_ptr info)
{
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    errors->errorCode = info->err->msg_code;
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->jump, 1);
}

void markLost(ErrorManager& errors, const char* why)
{
    if (!errors.dataLost)
        std::snprintf(errors.message, sizeof errors.message, "%s", why);
    errors.dataLost = true;
}

void onMessage(j_common_ptr info, int level)
{
    if (level >= 0)
        return; // trace messages
    // Every warning libjpeg gives about the data means a part of the picture
    // is made up (grey or empty rows, a resynchronised stream, coefficients
    // of a code that cannot be): the picture is not what was stored. Only
    // these leave every pixel as stored:
    //   JWRN_EXTRANEOUS_DATA: bytes between segments or before the end
    //     marker, which many cameras write; the scan before them is whole.
    //   JWRN_ADOBE_XFORM: an Adobe segment's unknown colour transform code;
    //     libjpeg takes the transform the components imply, always alike.
    //   JWRN_JFIF_MAJOR: a JFIF header of a later version.
    const int code = info->err->msg_code;
    if (code == JWRN_EXTRANEOUS_DATA || code == JWRN_ADOBE_XFORM || code == JWRN_JFIF_MAJOR)
        return;
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    char message[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, message);
    markLost(*errors, message);
}

void quiet(j_common_ptr) { }

// Watches the rows of an arithmetic-coded picture of one scan for data that
// ended early. Arithmetic coding may end its data before the last block (an
// encoder drops the trailing zero bytes its final interval leaves, so a long
// flat end of a picture may be coded in no byte at all), and libjpeg's
// decoder supplies zeros from the first marker it meets on, without a
// warning. A scan cut off and followed by a marker (an end marker, a
// comment) is decoded the same way and is, in its bits, a valid coding of
// some other picture; no warning or count of bytes tells the two apart. What
// does: zeros decoded in a valid file's place continue what the encoder
// coded there, a flat area of one colour (the only content coded in so few
// bits), while zeros decoded from a cut photo's statistics make stripes and
// patterns. So once a marker other than a restart marker has been met, the
// rows decoded wholly from zeros (from two rows of blocks after the one being
// read, so that upsampling does not mix in rows decoded from data) must all
// be one colour. A cut within the last two rows of blocks still goes
// unnoticed, like a valid file; a scan cut earlier in a file with restart
// markers is refused on libjpeg's warning about the missing marker.
struct ZeroFilledRows {
    bool watching = false;
    JDIMENSION from = 0; // the first row decoded wholly from zeros, once known
    bool known = false;
    std::uint8_t first[4] = {};
    bool haveFirst = false;
};

struct Decompressor {
    jpeg_decompress_struct info{};
    ErrorManager errors;
    bool created = false;
    unsigned reduction = 1; // 1, 2, 4 or 8
    ZeroFilledRows zeroFilled;

    ~Decompressor()
    {
        if (created)
            jpeg_destroy_decompress(&info);
    }
};

enum class Step { Header, Pixels };

// After each row read: `row` holds row y in libjpeg's output form.
void watchRow(Decompressor& d, const std::uint8_t* row, JDIMENSION y)
{
    ZeroFilledRows& watch = d.zeroFilled;
    if (!watch.watching)
        return;
    jpeg_decompress_struct& info = d.info;
    if (!watch.known) {
        const int marker = info.unread_marker;
        if (marker == 0 || (marker >= JPEG_RST0 && marker <= JPEG_RST0 + 7))
            return;
        const JDIMENSION rowsPerBlockRow
            = JDIMENSION(info.max_v_samp_factor) * JDIMENSION(info.min_DCT_scaled_size);
        watch.known = true;
        watch.from = (info.output_scanline / rowsPerBlockRow + 2) * rowsPerBlockRow;
        return;
    }
    if (y < watch.from)
        return;
    const int samples = info.output_components;
    if (!watch.haveFirst) {
        std::memcpy(watch.first, row, std::size_t(samples));
        watch.haveFirst = true;
    }
    for (JDIMENSION x = 0; x < info.output_width; ++x) {
        if (std::memcmp(
                row + std::size_t(x) * std::size_t(samples), watch.first, std::size_t(samples))
            != 0) {
            markLost(d.errors, "arithmetic-coded data ends before its picture does");
            watch.watching = false;
            return;
        }
    }
}

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
    // A scan of several (a progressive file) is read whole by
    // jpeg_start_decompress(); only one scan is decoded row by row.
    d.zeroFilled.watching = info.arith_code && !jpeg_has_multiple_scans(&info);
    if (target.sink) {
        while (info.output_scanline < info.output_height) {
            const JDIMENSION y = info.output_scanline;
            JSAMPROW rows[1] = {target.sink->row(y)};
            if (!rows[0] || jpeg_read_scanlines(&info, rows, 1) != 1) {
                target.sinkStopped = true;
                return false;
            }
            watchRow(d, rows[0], y);
            if (!target.sink->rowDone(y)) {
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
        const JDIMENSION y = info.output_scanline;
        std::uint8_t* row = frame + rowBytes * y;
        JSAMPROW rows[1] = {inks ? target.inkRow : row};
        if (jpeg_read_scanlines(&info, rows, 1) != 1)
            return false;
        watchRow(d, rows[0], y);
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

// Why a file cannot be read before libjpeg sees it: a form this libjpeg
// does not decode (a valid file, but not one Corvane reads), compressed data
// too short for the picture the header claims, or scans missing. "" when
// none of these.
std::string refusedFromHeaders(Bytes file)
{
    const JpegLayout layout = readJpegLayout(file, JpegWalk::AllScans);
    if (layout.hasFrame) {
        if (layout.lossless())
            return "lossless JPEG is not supported";
        const std::uint8_t m = layout.frameMarker;
        if (m == 0xC5 || m == 0xC6 || m == 0xCD || m == 0xCE)
            return "hierarchical JPEG is not supported";
        if (layout.precision != 8)
            return std::to_string(layout.precision) + "-bit JPEG samples are not supported";
    }
    if (!jpegDataCanFill(layout))
        return "JPEG data too short for its picture";
    if (!jpegScansComplete(layout))
        return "cut off JPEG: scans of its picture missing";
    return {};
}

// The failure after a libjpeg error or lost data in the pixels.
std::string dataFailure(const Decompressor& d)
{
    return std::string("damaged JPEG data: ") + d.errors.message;
}

// The stored rows at a reduction (1: the whole picture).
DecodeOutcome decodeStored(Bytes file, unsigned reduction)
{
    if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8)
        return detail::failure(DecodeStatus::Unreadable, "not a JPEG file");
    if (reduction != 1 && reduction != 2 && reduction != 4 && reduction != 8)
        return detail::failure(DecodeStatus::Unreadable, "JPEG reduction not supported");
    if (std::string refused = refusedFromHeaders(file); !refused.empty())
        return detail::failure(DecodeStatus::Unreadable, std::move(refused));
    Decompressor d;
    d.reduction = reduction;
    prepare(d);
    Target target;
    if (!decodeStep(d, file, Step::Header, JCS_EXT_RGBA, target)) {
        if (d.errors.errorCode == JERR_OUT_OF_MEMORY)
            return detail::outOfMemory("not enough memory for the JPEG decoder");
        return detail::failure(
            DecodeStatus::Unreadable, std::string("damaged JPEG header: ") + d.errors.message);
    }
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
        return detail::outOfMemory("not enough memory for the picture");
    }
    if (!detail::allocateFrames(picture, width, height, 1, 1))
        return detail::outOfMemory("not enough memory for the picture");
    target.picture = &picture;
    target.inkRow = inkRow.data();
    if (!decodeStep(d, file, Step::Pixels, JCS_EXT_RGBA, target)) {
        // libjpeg's own buffers (a progressive file's coefficients) may be
        // what did not fit: a failure of the moment, like ours above.
        if (d.errors.errorCode == JERR_OUT_OF_MEMORY)
            return detail::outOfMemory("not enough memory for the JPEG decoder");
        return detail::failure(DecodeStatus::Unreadable, dataFailure(d));
    }
    if (d.errors.dataLost)
        return detail::failure(DecodeStatus::Unreadable, dataFailure(d));
    outcome.status = DecodeStatus::Ok;
    return outcome;
}

} // namespace

DecodeOutcome decode(Bytes file, const DecodeOptions& options)
{
    return decodeReduced(file, 1, options);
}

DecodeOutcome decodeReduced(Bytes file, unsigned reduction, const DecodeOptions& options)
{
    return decodeAsShown(file, options, [&] { return decodeStored(file, reduction); });
}

StreamResult streamRows(Bytes file, RowSink& sink, std::string* reason, FailureKind* kind)
{
    if (kind)
        *kind = FailureKind::Lasting;
    auto failed = [reason](std::string why) {
        if (reason)
            *reason = std::move(why);
        return StreamResult::Failed;
    };
    auto outOfMemory = [&]() {
        if (kind)
            *kind = FailureKind::Passing;
        return failed("not enough memory for the JPEG decoder");
    };
    if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8)
        return failed("not a JPEG file");
    if (std::string refused = refusedFromHeaders(file); !refused.empty())
        return failed(std::move(refused));
    Decompressor d;
    prepare(d);
    Target target;
    const J_COLOR_SPACE colours = sink.order() == RowOrder::Rgb ? JCS_EXT_RGB : JCS_EXT_BGR;
    if (!decodeStep(d, file, Step::Header, colours, target)) {
        if (d.errors.errorCode == JERR_OUT_OF_MEMORY)
            return outOfMemory();
        return failed(std::string("damaged JPEG header: ") + d.errors.message);
    }
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
    if (!decodeStep(d, file, Step::Pixels, colours, target)) {
        if (d.errors.errorCode == JERR_OUT_OF_MEMORY)
            return outOfMemory();
        return failed(target.sinkStopped && !d.errors.message[0]
                ? std::string("the rows could not be taken")
                : dataFailure(d));
    }
    // The rows already handed out are worthless: the sink must drop them.
    if (d.errors.dataLost)
        return failed(dataFailure(d));
    return StreamResult::Streamed;
}

std::string libraryVersion()
{
    return "libjpeg-turbo " CORVANE_VERSION_TEXT(
        LIBJPEG_TURBO_VERSION) " (libjpeg " CORVANE_VERSION_TEXT(JPEG_LIB_VERSION) ")";
}

} // namespace decoding::jpeg
