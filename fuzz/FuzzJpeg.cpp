// libFuzzer target: the whole-folder search's JPEG decoder on libjpeg
// (CMYK kept as inks, damaged streams refused), against the JPEG header
// reader of the same bytes, and its streamed rows against its decode: the
// same verdict, and every streamed row the decoded one. An observer of its
// own decodes the bytes with libjpeg again and aborts when the decoder
// accepts a file whose data libjpeg reported lost, or whose Huffman-coded
// scan met a marker before its last row.

#include "NewerTypesCheck.h"

#include "decoding/BmpJpegGifHeaders.h"
#include "decoding/JpegDecoder.h"

// jpeglib.h needs FILE and size_t declared first.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>
// After jpeglib.h: its configuration decides which arithmetic codes exist.
#include <jerror.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <vector>

namespace {

// Checks each row against the decoded picture's as it comes.
class RowCheck : public decoding::RowSink {
public:
    explicit RowCheck(const decoding::DecodedPicture& picture)
        : m_picture(picture)
    {
    }
    bool begin(std::uint32_t width, std::uint32_t height) override
    {
        if (width != m_picture.width || height != m_picture.height)
            std::abort();
        m_row.resize(std::size_t(width) * 3);
        return true;
    }
    decoding::RowOrder order() const override { return decoding::RowOrder::Rgb; }
    std::uint8_t* row(std::uint32_t) override { return m_row.data(); }
    bool rowDone(std::uint32_t y) override
    {
        const std::uint8_t* decoded
            = m_picture.frames.front().data() + std::size_t(y) * m_picture.width * 4;
        for (std::uint32_t x = 0; x < m_picture.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                if (m_row[3 * x + c] != decoded[4 * x + c])
                    std::abort();
            }
        }
        return true;
    }

private:
    const decoding::DecodedPicture& m_picture;
    std::vector<std::uint8_t> m_row;
};

struct Observer {
    jpeg_error_mgr base{};
    std::jmp_buf jump{};
    bool lost = false;
};

[[noreturn]] void observerError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<Observer*>(info->err)->jump, 1);
}

void observerMessage(j_common_ptr info, int level)
{
    // The warnings that say outright that data was cut short or corrupt.
    const int code = info->err->msg_code;
    if (level < 0
        && (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER || code == JWRN_MUST_RESYNC
            || code == JWRN_HUFF_BAD_CODE || code == JWRN_ARITH_BAD_CODE
            || code == JWRN_NOT_SEQUENTIAL || code == JWRN_BOGUS_PROGRESSION))
        reinterpret_cast<Observer*>(info->err)->lost = true;
}

// Whether libjpeg, decoding the bytes on its own, finds data missing: a
// warning of lost data, or a Huffman-coded scan that meets a marker with
// rows still to decode. False when libjpeg fails outright (nothing to judge).
// Holds no object with a destructor: libjpeg's errors jump out of it.
bool observe(const uint8_t* data, size_t size, jpeg_decompress_struct& info, Observer& observer,
    std::vector<JSAMPLE>& row)
{
    info.err = jpeg_std_error(&observer.base);
    observer.base.error_exit = observerError;
    observer.base.emit_message = observerMessage;
    observer.base.output_message = [](j_common_ptr) {};
    if (setjmp(observer.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK
        ? JCS_CMYK
        : JCS_RGB;
    jpeg_start_decompress(&info);
    row.resize(std::size_t(info.output_width) * std::size_t(info.output_components));
    const bool huffman = !info.arith_code && !jpeg_has_multiple_scans(&info);
    const JDIMENSION lastBlockRow = info.output_height
        - std::min<JDIMENSION>(info.output_height,
            JDIMENSION(info.max_v_samp_factor) * JDIMENSION(info.min_DCT_scaled_size) * 2);
    bool early = false;
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_read_scanlines(&info, rows, 1);
        const int marker = info.unread_marker;
        if (huffman && marker != 0 && (marker < JPEG_RST0 || marker > JPEG_RST0 + 7)
            && info.output_scanline < lastBlockRow)
            early = true;
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return observer.lost || early;
}

bool libjpegSeesLostData(const uint8_t* data, size_t size)
{
    jpeg_decompress_struct info{};
    Observer observer;
    std::vector<JSAMPLE> row;
    return observe(data, size, info, observer, row);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const decoding::Bytes bytes(data, size);
    const decoding::DecodeOutcome decoded = decoding::jpeg::decode(bytes);
    NewerTypesCheck::check(decoding::readJpegHeader(bytes), decoded);
    if (decoded.status == decoding::DecodeStatus::Ok && libjpegSeesLostData(data, size))
        std::abort();
    if (decoded.status == decoding::DecodeStatus::Ok
        && decoded.picture.colourSpace == decoding::ColourSpace::Rgb) {
        RowCheck rows(decoded.picture);
        if (decoding::jpeg::streamRows(bytes, rows, nullptr) != decoding::StreamResult::Streamed)
            std::abort();
    }
    return 0;
}
