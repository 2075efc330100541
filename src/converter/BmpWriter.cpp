#include "converter/BmpWriter.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40;
constexpr int kV5HeaderSize = 124;
constexpr int kBandRows = 64;

class LittleEndian {
public:
    void u16(quint16 value)
    {
        m_bytes.push_back(char(value & 0xFF));
        m_bytes.push_back(char(value >> 8));
    }
    void u32(quint32 value)
    {
        u16(quint16(value & 0xFFFF));
        u16(quint16(value >> 16));
    }
    void zeros(int count) { m_bytes.append(count, '\0'); }
    const QByteArray& bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

// Whether the picture, read as 32-bit ARGB, has pixels that are not opaque.
// Besides formats with alpha, a damaged palette picture can: Qt reads a
// palette index without a colour as transparent black.
bool needsAlpha(const QImage& image)
{
    if (image.hasAlphaChannel())
        return true;
    const int colours = int(image.colorCount());
    if (image.format() == QImage::Format_Indexed8 && colours < 256) {
        for (int y = 0; y < image.height(); ++y) {
            const uchar* line = image.constScanLine(y);
            for (int x = 0; x < image.width(); ++x) {
                if (line[x] >= colours)
                    return true;
            }
        }
        return false;
    }
    if ((image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB)
        && colours < 2) {
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixelIndex(x, y) >= colours)
                    return true;
            }
        }
    }
    return false;
}

} // namespace

bool BmpWriter::write(const QImage& image, QIODevice* device)
{
    if (image.isNull() || !device)
        return false;
    const bool alpha = needsAlpha(image);
    const int width = image.width();
    const int height = image.height();
    const int bytesPerPixel = alpha ? 4 : 3;
    const quint64 rowSize = (quint64(width) * quint64(bytesPerPixel) + 3) & ~quint64(3);
    const quint64 headerSize = kFileHeaderSize + (alpha ? kV5HeaderSize : kInfoHeaderSize);
    const quint64 fileSize = headerSize + rowSize * quint64(height);
    if (fileSize > 0xFFFFFFFFull)
        return false;

    LittleEndian header;
    header.u16(0x4D42); // "BM"
    header.u32(quint32(fileSize));
    header.u32(0);
    header.u32(quint32(headerSize));
    header.u32(alpha ? kV5HeaderSize : kInfoHeaderSize);
    header.u32(quint32(width));
    header.u32(quint32(height)); // positive: rows run bottom-up
    header.u16(1);
    header.u16(quint16(bytesPerPixel * 8));
    header.u32(alpha ? 3 : 0); // BI_BITFIELDS with the masks below, or BI_RGB
    header.u32(quint32(rowSize * quint64(height)));
    header.u32(quint32(std::max(image.dotsPerMeterX(), 0)));
    header.u32(quint32(std::max(image.dotsPerMeterY(), 0)));
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
    if (device->write(header.bytes()) != header.bytes().size())
        return false;

    const bool direct
        = image.format() == QImage::Format_ARGB32 || image.format() == QImage::Format_RGB32;
    const QImage::Format bandFormat = alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    std::vector<char> row(size_t(rowSize), '\0');
    QImage band;
    int bandTop = height;
    for (int y = height - 1; y >= 0; --y) {
        const QRgb* pixels;
        if (direct) {
            pixels = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        } else {
            if (y < bandTop) {
                bandTop = std::max(0, y - kBandRows + 1);
                band = image.copy(0, bandTop, width, y - bandTop + 1).convertToFormat(bandFormat);
                if (band.isNull())
                    return false;
            }
            pixels = reinterpret_cast<const QRgb*>(band.constScanLine(y - bandTop));
        }
        auto* out = reinterpret_cast<uchar*>(row.data());
        if (alpha) {
            for (int x = 0; x < width; ++x) {
                const QRgb p = pixels[x];
                out[0] = uchar(qBlue(p));
                out[1] = uchar(qGreen(p));
                out[2] = uchar(qRed(p));
                out[3] = uchar(qAlpha(p));
                out += 4;
            }
        } else {
            for (int x = 0; x < width; ++x) {
                const QRgb p = pixels[x];
                out[0] = uchar(qBlue(p));
                out[1] = uchar(qGreen(p));
                out[2] = uchar(qRed(p));
                out += 3;
            }
        }
        if (device->write(row.data(), qint64(rowSize)) != qint64(rowSize))
            return false;
    }
    return true;
}
