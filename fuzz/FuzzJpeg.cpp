// libFuzzer target: the whole-folder search's JPEG decoder on libjpeg
// (CMYK kept as inks, damaged streams refused), against the JPEG header
// reader of the same bytes, and its streamed rows against its decode: the
// same verdict, and every streamed row the decoded one.

#include "NewerTypesCheck.h"

#include "decoding/BmpJpegGifHeaders.h"
#include "decoding/JpegDecoder.h"

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const decoding::Bytes bytes(data, size);
    const decoding::DecodeOutcome decoded = decoding::jpeg::decode(bytes);
    NewerTypesCheck::check(decoding::readJpegHeader(bytes), decoded);
    if (decoded.status == decoding::DecodeStatus::Ok
        && decoded.picture.colourSpace == decoding::ColourSpace::Rgb) {
        RowCheck rows(decoded.picture);
        if (decoding::jpeg::streamRows(bytes, rows, nullptr) != decoding::StreamResult::Streamed)
            std::abort();
    }
    return 0;
}
