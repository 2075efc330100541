#include "decoding/PngDecoder.h"

#include "decoding/DecoderSupport.h"

#include <png.h>

#include <bit>
#include <csetjmp>
#include <cstring>
#include <vector>

namespace decoding::png {
namespace {

constexpr std::size_t kSignatureBytes = 8;

std::uint32_t bigEndian32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

// What the chunks before the first IDAT say, read without libpng: the size
// from IHDR and the frame count from acTL.
struct ChunkFacts {
    bool ok = false;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t frames = 1;
};

ChunkFacts scanChunks(Bytes file)
{
    ChunkFacts facts;
    std::size_t at = kSignatureBytes;
    bool first = true;
    while (at + 8 <= file.size()) {
        const std::uint32_t length = bigEndian32(file.data() + at);
        const std::uint8_t* type = file.data() + at + 4;
        const std::size_t body = at + 8;
        if (length > 0x7FFFFFFFu || file.size() - body < length)
            break;
        if (first) {
            if (std::memcmp(type, "IHDR", 4) != 0 || length < 8)
                return facts;
            facts.width = bigEndian32(file.data() + body);
            facts.height = bigEndian32(file.data() + body + 4);
            facts.ok = true;
            first = false;
        } else if (std::memcmp(type, "acTL", 4) == 0 && length >= 8) {
            facts.frames = std::max<std::uint32_t>(bigEndian32(file.data() + body), 1);
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            break;
        }
        at = body + length + 4; // data and CRC
    }
    return facts;
}

// Deflate cannot expand its input more than about 1032 times (a 258-byte
// match in two bits); a little more is allowed for block headers.
constexpr std::uint64_t kDeflateMostExpansion = 1032;
constexpr std::uint64_t kDeflateSlack = 1024;

// Whether the file's image data could, inflated, fill the picture its
// header claims. A file of a few bytes that claims millions of pixels is
// damaged, and is found so before any picture memory is allocated (libpng
// would allocate it first and only then run out of data).
bool dataCanFill(Bytes file)
{
    std::size_t at = kSignatureBytes;
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    std::uint64_t bitsPerPixel = 0;
    std::uint64_t imageData = 0;
    while (at + 8 <= file.size()) {
        const std::uint32_t length = bigEndian32(file.data() + at);
        const std::uint8_t* type = file.data() + at + 4;
        const std::size_t body = at + 8;
        const std::size_t available = std::min<std::size_t>(length, file.size() - body);
        if (std::memcmp(type, "IHDR", 4) == 0 && available >= 13) {
            width = bigEndian32(file.data() + body);
            height = bigEndian32(file.data() + body + 4);
            const std::uint64_t depth = file[body + 8];
            const std::uint8_t colour = file[body + 9];
            const std::uint64_t channels = colour == 2 ? 3 : colour == 4 ? 2 : colour == 6 ? 4 : 1;
            bitsPerPixel = depth * channels;
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            imageData += available;
        }
        if (length > 0x7FFFFFFFu || file.size() - body < std::size_t(length) + 4)
            break;
        at = body + length + 4; // data and CRC
    }
    // Each row is at least its pixels' bits (an interlaced file's passes hold
    // the same pixels); filter bytes only add to it.
    const std::uint64_t leastInflated = width * height / 8 * bitsPerPixel;
    return imageData * kDeflateMostExpansion + kDeflateSlack >= leastInflated;
}

struct Reader {
    Bytes file;
    std::size_t position = kSignatureBytes;
    std::string error;
};

void readData(png_structp png, png_bytep out, png_size_t count)
{
    auto* reader = static_cast<Reader*>(png_get_io_ptr(png));
    if (reader->file.size() - reader->position < count)
        png_error(png, "truncated PNG data");
    std::memcpy(out, reader->file.data() + reader->position, count);
    reader->position += count;
}

void onError(png_structp png, png_const_charp message)
{
    auto* reader = static_cast<Reader*>(png_get_error_ptr(png));
    reader->error = message ? message : "damaged PNG data";
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) { }

// The libpng read state, destroyed on every way out.
struct PngRead {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngRead() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

// Everything decodeInto() touches after setjmp lives here, outside the frame
// that longjmp returns to, so no local is left stale by an error.
struct Job {
    Reader reader;
    DecodeOptions options;
    DecodedPicture picture;
    std::vector<png_bytep> rows;
    DecodeStatus status = DecodeStatus::Unreadable;
    std::string reason;
    bool passing = false; // a failure for want of memory
    // Set: stream opaque rows to it instead of building the picture.
    RowSink* sink = nullptr;
    bool notStreamable = false;
};

// The rows of an opaque, non-interlaced file in the sink's order, each
// written by libpng where the sink wants it.
void streamRows(Job& job, png_structp png, png_infop info, png_uint_32 width, png_uint_32 height)
{
    png_set_expand(png); // palette to RGB, grey below 8 bits to 8 bits
    png_set_gray_to_rgb(png);
    png_set_scale_16(png); // (v * 255 + 32895) >> 16: v / 257 rounded
    if (job.sink->order() == RowOrder::Bgr)
        png_set_bgr(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != std::size_t(width) * 3 || png_get_channels(png, info) != 3) {
        job.reason = "unexpected PNG layout";
        return;
    }
    if (!job.sink->begin(width, height)) {
        job.reason = "the rows could not be taken";
        return;
    }
    for (png_uint_32 y = 0; y < height; ++y) {
        std::uint8_t* target = job.sink->row(y);
        if (!target) {
            job.reason = "the rows could not be taken";
            return;
        }
        png_read_row(png, target, nullptr);
        if (!job.sink->rowDone(y)) {
            job.reason = "the rows could not be taken";
            return;
        }
    }
    png_read_end(png, nullptr);
    job.status = DecodeStatus::Ok;
}

void decodeInto(Job& job)
{
    PngRead read;
    read.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job.reader, onError, onWarning);
    if (!read.png) {
        job.passing = true;
        job.reason = "out of memory";
        return;
    }
    read.info = png_create_info_struct(read.png);
    if (!read.info) {
        job.passing = true;
        job.reason = "out of memory";
        return;
    }
    if (setjmp(png_jmpbuf(read.png))) {
        job.status = DecodeStatus::Unreadable;
        job.reason = job.reader.error;
        job.picture = {};
        return;
    }
    png_set_read_fn(read.png, &job.reader, readData);
    png_set_sig_bytes(read.png, int(kSignatureBytes));
    // Each chunk's CRC already guards the compressed data; zlib's Adler-32
    // over the inflated bytes would be a second pass over every pixel.
    png_set_option(read.png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
    // The pixel budget is checked below; libpng's own default limit
    // (1,000,000 a side) stays as a second guard.
    png_read_info(read.png, read.info);

    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int depth = 0;
    int colour = 0;
    int interlace = 0;
    png_get_IHDR(
        read.png, read.info, &width, &height, &depth, &colour, &interlace, nullptr, nullptr);
    if (!withinPixelBudget(width, height)) {
        job.status = DecodeStatus::TooLarge;
        job.reason = detail::overBudget(width, height).reason;
        return;
    }
    if (job.sink) {
        const bool alpha = (colour & PNG_COLOR_MASK_ALPHA) != 0
            || png_get_valid(read.png, read.info, PNG_INFO_tRNS) != 0;
        if (alpha || interlace != PNG_INTERLACE_NONE) {
            job.notStreamable = true;
            return;
        }
        streamRows(job, read.png, read.info, width, height);
        return;
    }

    // Every form is expanded to RGBA: palettes and low-depth grey to 8 bits,
    // tRNS to an alpha channel, grey to RGB, an opaque alpha added last.
    png_set_expand(read.png);
    png_set_gray_to_rgb(read.png);
    const bool wide = depth == 16 && !job.options.eightBit;
    if (depth == 16) {
        if (job.options.eightBit)
            png_set_scale_16(read.png); // (v * 255 + 32895) >> 16: v / 257 rounded
        else if (std::endian::native == std::endian::little)
            png_set_swap(read.png);
    }
    png_set_add_alpha(read.png, wide ? 0xFFFF : 0xFF, PNG_FILLER_AFTER);
    const int passes = png_set_interlace_handling(read.png);
    png_read_update_info(read.png, read.info);

    const int bytesPerSample = wide ? 2 : 1;
    const std::size_t rowBytes = std::size_t(width) * 4 * std::size_t(bytesPerSample);
    if (png_get_rowbytes(read.png, read.info) != rowBytes
        || png_get_channels(read.png, read.info) != 4) {
        job.reason = "unexpected PNG layout";
        return;
    }
    if (!detail::allocateFrames(job.picture, width, height, bytesPerSample, 1)) {
        job.status = DecodeStatus::TooLarge;
        job.passing = true;
        job.reason = "not enough memory for the picture";
        return;
    }
    // Rows are decoded straight into the picture; an interlaced file fills
    // them over its seven passes.
    job.rows.resize(height);
    std::uint8_t* pixels = job.picture.frames[0].data();
    for (png_uint_32 y = 0; y < height; ++y)
        job.rows[y] = pixels + std::size_t(y) * rowBytes;
    for (int pass = 0; pass < passes; ++pass)
        png_read_rows(read.png, job.rows.data(), nullptr, height);
    // The end of the image data must be there; chunks after it do not matter.
    png_read_end(read.png, nullptr);
    job.status = DecodeStatus::Ok;
}

} // namespace

PictureHeader readHeader(Bytes file)
{
    PictureHeader header;
    header.type = PictureType::Png;
    if (file.size() < kSignatureBytes || std::memcmp(file.data(), "\x89PNG\r\n\x1a\n", 8) != 0)
        return header;
    const ChunkFacts facts = scanChunks(file);
    header.ok = facts.ok && facts.width > 0 && facts.height > 0;
    header.width = facts.width;
    header.height = facts.height;
    header.frames = facts.frames;
    return header;
}

DecodeOutcome decode(Bytes file, const DecodeOptions& options)
{
    const PictureHeader header = readHeader(file);
    if (!header.ok)
        return detail::failure(DecodeStatus::Unreadable, "no PNG header");
    if (!withinPixelBudget(header.width, header.height))
        return detail::overBudget(header.width, header.height);
    if (!dataCanFill(file))
        return detail::failure(DecodeStatus::Unreadable, "truncated PNG data");
    if (header.frames > 1 && !options.firstFrameOnly)
        return detail::failure(DecodeStatus::Unreadable,
            "animated PNG with " + std::to_string(header.frames)
                + " frames: only its first frame could be read");
    Job job;
    job.reader.file = file;
    job.options = options;
    decodeInto(job);
    DecodeOutcome outcome;
    outcome.status = job.status;
    if (job.status == DecodeStatus::Ok)
        outcome.picture = std::move(job.picture);
    else
        outcome.reason = job.reason.empty() ? "damaged PNG data" : job.reason;
    if (job.passing)
        outcome.failureKind = FailureKind::Passing;
    return outcome;
}

StreamResult streamOpaqueRows(
    Bytes file, const DecodeOptions& options, RowSink& sink, std::string* reason)
{
    const PictureHeader header = readHeader(file);
    auto failed = [reason](std::string why) {
        if (reason)
            *reason = std::move(why);
        return StreamResult::Failed;
    };
    if (!header.ok)
        return failed("no PNG header");
    if (!withinPixelBudget(header.width, header.height)) {
        failed(detail::overBudget(header.width, header.height).reason);
        return StreamResult::TooLarge;
    }
    if (!dataCanFill(file))
        return failed("truncated PNG data");
    if (header.frames > 1 && !options.firstFrameOnly)
        return StreamResult::NotStreamable;
    Job job;
    job.reader.file = file;
    job.options = options;
    job.sink = &sink;
    decodeInto(job);
    if (job.notStreamable)
        return StreamResult::NotStreamable;
    if (job.status != DecodeStatus::Ok) {
        failed(job.reason.empty() ? "damaged PNG data" : job.reason);
        return job.status == DecodeStatus::TooLarge ? StreamResult::TooLarge : StreamResult::Failed;
    }
    return StreamResult::Streamed;
}

} // namespace decoding::png
