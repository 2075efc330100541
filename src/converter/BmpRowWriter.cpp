#include "converter/BmpRowWriter.h"

#include "converter/BmpWriter.h"
#include "files/WholeIo.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace {

// About this many bytes of rows go out with each write.
constexpr std::size_t kBlockBytes = 256 * 1024;

} // namespace

BmpRowWriter::BmpRowWriter(int fd, std::uint32_t dotsPerMetreX, std::uint32_t dotsPerMetreY)
    : m_fd(fd)
    , m_dotsPerMetreX(dotsPerMetreX)
    , m_dotsPerMetreY(dotsPerMetreY)
{
}

bool BmpRowWriter::begin(std::uint32_t width, std::uint32_t height)
{
    const std::vector<std::uint8_t> header
        = BmpWriter::header(width, height, false, m_dotsPerMetreX, m_dotsPerMetreY);
    if (header.empty() || height == 0)
        return false;
    m_height = height;
    m_rowSize = std::size_t(BmpWriter::rowSize(width, false));
    m_headerSize = header.size();
    m_blockRows = std::uint32_t(std::clamp<std::size_t>(kBlockBytes / m_rowSize, 1, height));
    // Zeroed once: the padding at each row's end stays zero.
    m_block.assign(std::size_t(m_blockRows) * m_rowSize, 0);
    m_blockTop = 0;
    return writeAllAt(m_fd, header.data(), header.size(), 0) == 0;
}

std::uint32_t BmpRowWriter::rowsInBlock() const
{
    return std::min(m_blockRows, m_height - m_blockTop);
}

std::uint8_t* BmpRowWriter::row(std::uint32_t y)
{
    const std::uint32_t rows = rowsInBlock();
    if (y < m_blockTop || y - m_blockTop >= rows)
        return nullptr;
    // Within the block the rows lie bottom-up, as in the file.
    return m_block.data() + std::size_t(rows - 1 - (y - m_blockTop)) * m_rowSize;
}

bool BmpRowWriter::rowDone(std::uint32_t y)
{
    const std::uint32_t rows = rowsInBlock();
    if (y != m_blockTop + rows - 1)
        return true;
    // The block's last (lowest) row comes first in the file.
    const std::size_t offset = m_headerSize + std::size_t(m_height - 1 - y) * m_rowSize;
    if (writeAllAt(m_fd, m_block.data(), std::size_t(rows) * m_rowSize, off_t(offset)) != 0)
        return false;
    m_blockTop += rows;
    return true;
}
