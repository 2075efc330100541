#include "converter/BmpWriter.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kV5HeaderSize = 124;
// Rows are gathered into blocks of about this size before each write.
constexpr std::size_t kBlockBytes = 256 * 1024;

class LittleEndian {
public:
    void u16(std::uint16_t value)
    {
        m_bytes.push_back(std::uint8_t(value & 0xFF));
        m_bytes.push_back(std::uint8_t(value >> 8));
    }
    void u32(std::uint32_t value)
    {
        u16(std::uint16_t(value & 0xFFFF));
        u16(std::uint16_t(value >> 16));
    }
    void zeros(std::size_t count) { m_bytes.insert(m_bytes.end(), count, 0); }
    std::vector<std::uint8_t> bytes() const { return m_bytes; }

private:
    std::vector<std::uint8_t> m_bytes;
};

} // namespace

bool BmpWriter::hasTransparency(const decoding::DecodedPicture& picture, std::size_t frame)
{
    const std::vector<std::uint8_t>& pixels = picture.frames[frame];
    for (std::size_t i = 3; i < pixels.size(); i += 4) {
        if (pixels[i] != 255)
            return true;
    }
    return false;
}

std::uint64_t BmpWriter::rowSize(std::uint64_t width, bool alpha)
{
    return (width * (alpha ? 4 : 3) + 3) & ~std::uint64_t(3);
}

std::vector<std::uint8_t> BmpWriter::header(std::uint32_t width, std::uint32_t height, bool alpha,
    std::uint32_t dotsPerMetreX, std::uint32_t dotsPerMetreY)
{
    const std::uint64_t stride = rowSize(width, alpha);
    const std::uint64_t headerSize = kFileHeaderSize + (alpha ? kV5HeaderSize : kInfoHeaderSize);
    const std::uint64_t fileSize = headerSize + stride * height;
    if (fileSize > 0xFFFFFFFFull || width > 0x7FFFFFFF || height > 0x7FFFFFFF)
        return {};

    LittleEndian header;
    header.u16(0x4D42); // "BM"
    header.u32(std::uint32_t(fileSize));
    header.u32(0);
    header.u32(std::uint32_t(headerSize));
    header.u32(alpha ? kV5HeaderSize : kInfoHeaderSize);
    header.u32(width);
    header.u32(height); // positive: rows run bottom-up
    header.u16(1);
    header.u16(alpha ? 32 : 24);
    header.u32(alpha ? 3 : 0); // BI_BITFIELDS with the masks below, or BI_RGB
    header.u32(std::uint32_t(stride * height));
    header.u32(dotsPerMetreX);
    header.u32(dotsPerMetreY);
    header.u32(0);
    header.u32(0);
    if (alpha) {
        header.u32(0x00FF0000);
        header.u32(0x0000FF00);
        header.u32(0x000000FF);
        header.u32(0xFF000000);
        header.u32(0x73524742); // 'sRGB'
        header.zeros(36 + 12); // end points and gamma, unused for sRGB
        header.u32(4); // LCS_GM_IMAGES
        header.zeros(12); // no profile
    }
    return header.bytes();
}

bool BmpWriter::write(const decoding::DecodedPicture& picture, std::size_t frame,
    std::uint32_t dotsPerMetreX, std::uint32_t dotsPerMetreY, const Sink& sink)
{
    if (picture.bytesPerSample != 1 || frame >= picture.frames.size() || picture.width == 0
        || picture.height == 0 || picture.frames[frame].size() != picture.frameBytes())
        return false;
    const bool alpha = hasTransparency(picture, frame);
    const std::vector<std::uint8_t> head
        = header(picture.width, picture.height, alpha, dotsPerMetreX, dotsPerMetreY);
    if (head.empty() || !sink(head.data(), head.size()))
        return false;
    const std::uint64_t width = picture.width;
    const std::uint64_t height = picture.height;
    const std::uint64_t rowSize = BmpWriter::rowSize(width, alpha);

    const std::size_t rowsPerBlock = std::max<std::size_t>(1, kBlockBytes / rowSize);
    std::vector<std::uint8_t> block(rowsPerBlock * rowSize, 0);
    const std::uint8_t* pixels = picture.frames[frame].data();
    const std::size_t sourceRow = std::size_t(width) * 4;
    std::size_t filled = 0;
    for (std::uint64_t y = height; y-- > 0;) {
        const std::uint8_t* in = pixels + y * sourceRow;
        std::uint8_t* out = block.data() + filled * rowSize;
        // One 32-bit load per pixel: R, G, B, A in memory read as one
        // little-endian word; its byte swap gives A, B, G, R.
        if (alpha) {
            for (std::uint64_t x = 0; x < width; ++x, in += 4, out += 4) {
                std::uint32_t v;
                std::memcpy(&v, in, 4);
                const std::uint32_t bgra = (__builtin_bswap32(v) >> 8) | (v & 0xFF000000u);
                std::memcpy(out, &bgra, 4);
            }
        } else {
            // Four bytes are stored for three; the spare one is overwritten
            // by the next pixel, and the last pixel stores three.
            for (std::uint64_t x = 0; x + 1 < width; ++x, in += 4, out += 3) {
                std::uint32_t v;
                std::memcpy(&v, in, 4);
                const std::uint32_t bgr = __builtin_bswap32(v) >> 8;
                std::memcpy(out, &bgr, 4);
            }
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
        if (++filled == rowsPerBlock || y == 0) {
            if (!sink(block.data(), filled * rowSize))
                return false;
            filled = 0;
        }
    }
    return true;
}
