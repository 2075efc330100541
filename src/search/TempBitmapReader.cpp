#include "search/TempBitmapReader.h"

#include "files/FileDescriptor.h"

#include "converter/ConverterContract.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kFileHeader = 14;
constexpr std::size_t kInfoHeader = 40;
constexpr std::size_t kV5Header = 124;

std::uint32_t u32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16
        | std::uint32_t(p[3]) << 24;
}

std::uint16_t u16(const std::uint8_t* p)
{
    return std::uint16_t(p[0] | p[1] << 8);
}

bool readFully(int fd, std::vector<iovec>& pieces, off_t offset)
{
    std::size_t first = 0;
    while (first < pieces.size()) {
        const int count = int(std::min<std::size_t>(pieces.size() - first, IOV_MAX));
        const ssize_t n = ::preadv(fd, pieces.data() + first, count, offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return false; // cut short
        offset += n;
        std::size_t done = std::size_t(n);
        while (first < pieces.size() && done >= pieces[first].iov_len)
            done -= pieces[first++].iov_len;
        if (done > 0) {
            pieces[first].iov_base = static_cast<char*>(pieces[first].iov_base) + done;
            pieces[first].iov_len -= done;
        }
    }
    return true;
}

} // namespace

TempBitmapReader::Result TempBitmapReader::read(const QString& path, QImage* image)
{
    const FileDescriptor fd(::open(
        QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat status { };
    if (fd.get() < 0 || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return Result::Failed;
    std::uint8_t header[kFileHeader + kV5Header] = {};
    const ssize_t headerRead = ::pread(fd.get(), header, sizeof header, 0);
    if (headerRead < ssize_t(kFileHeader + kInfoHeader) || header[0] != 'B' || header[1] != 'M')
        return Result::OtherForm;

    const std::uint32_t fileSize = u32(header + 2);
    const std::uint32_t dataOffset = u32(header + 10);
    const std::uint32_t infoSize = u32(header + 14);
    const std::int32_t width = std::int32_t(u32(header + 18));
    const std::int32_t height = std::int32_t(u32(header + 22));
    const std::uint16_t planes = u16(header + 26);
    const std::uint16_t bits = u16(header + 28);
    const std::uint32_t compression = u32(header + 30);
    const bool opaque = bits == 24 && compression == 0 && infoSize == kInfoHeader;
    const bool withAlpha = bits == 32 && compression == 3 && infoSize == kV5Header
        && headerRead == ssize_t(sizeof header) && u32(header + 54) == 0x00FF0000u
        && u32(header + 58) == 0x0000FF00u && u32(header + 62) == 0x000000FFu
        && u32(header + 66) == 0xFF000000u;
    if ((!opaque && !withAlpha) || planes != 1 || width <= 0 || height <= 0
        || dataOffset != kFileHeader + infoSize)
        return Result::OtherForm;
    if (qint64(width) * height > ConverterContract::kPixelBudget)
        return Result::Failed;
    const std::size_t bytesPerPixel = bits / 8;
    const std::size_t rowSize = (std::size_t(width) * bytesPerPixel + 3) & ~std::size_t(3);
    const std::uint64_t expected = dataOffset + std::uint64_t(rowSize) * std::uint64_t(height);
    if (expected != fileSize || std::uint64_t(status.st_size) != expected)
        return Result::OtherForm;

    QImage picture(width, height, withAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (picture.isNull())
        return Result::Failed;
    // Rows run bottom-up in the file. A 32-bit row is the image's row as it
    // is (B, G, R, A bytes); a 24-bit row lands in the last three quarters
    // of the image's row and is widened in place, front to back: pixel x is
    // written to bytes 4x..4x+3 after its source at w + 3x has been read,
    // and the next source starts at w + 3x + 3 >= 4x + 4.
    const std::size_t pixelBytes = std::size_t(width) * bytesPerPixel;
    std::uint8_t padding[4];
    std::vector<iovec> pieces;
    pieces.reserve(std::size_t(height) * 2);
    for (int y = height - 1; y >= 0; --y) {
        std::uint8_t* line = picture.scanLine(y) + (withAlpha ? 0 : std::size_t(width));
        pieces.push_back({line, pixelBytes});
        if (rowSize > pixelBytes)
            pieces.push_back({padding, rowSize - pixelBytes});
    }
    if (!readFully(fd.get(), pieces, off_t(dataOffset)))
        return Result::Failed;
    if (!withAlpha) {
        for (int y = 0; y < height; ++y) {
            std::uint8_t* line = picture.scanLine(y);
            const std::uint8_t* source = line + width;
            auto* out = reinterpret_cast<quint32*>(line);
            for (int x = 0; x < width; ++x, source += 3)
                out[x]
                    = 0xFF000000u | quint32(source[2]) << 16 | quint32(source[1]) << 8 | source[0];
        }
    }
    *image = std::move(picture);
    return Result::Read;
}
