#pragma once
// Writes a 24-bit bitmap from rows that come top to bottom, straight from the
// PNG decoder: each row is decoded into its place in a block of the file's
// bottom-up order, and each block is written with one pwrite. The picture is
// never held whole and its pixels are never touched here.

#include "decoding/PngDecoder.h"

#include <vector>

class BmpRowWriter : public decoding::RowSink {
public:
    // Writes into `fd` (an empty file opened for writing) at absolute offsets.
    BmpRowWriter(int fd, std::uint32_t dotsPerMetreX, std::uint32_t dotsPerMetreY);

    bool begin(std::uint32_t width, std::uint32_t height) override;
    std::uint8_t* row(std::uint32_t y) override;
    bool rowDone(std::uint32_t y) override;

private:
    std::uint32_t rowsInBlock() const;

    int m_fd;
    std::uint32_t m_dotsPerMetreX;
    std::uint32_t m_dotsPerMetreY;
    std::uint32_t m_height = 0;
    std::size_t m_rowSize = 0;
    std::size_t m_headerSize = 0;
    std::uint32_t m_blockRows = 0;
    std::uint32_t m_blockTop = 0; // first picture row of the block being filled
    std::vector<std::uint8_t> m_block;
};
