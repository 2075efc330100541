#include "search/ModImageCompare.h"

#include "search/ImageLoader.h"

#include <cstring>

namespace ModImageCompare {
namespace {

bool isDirect(QImage::Format format)
{
    return format == QImage::Format_ARGB32 || format == QImage::Format_RGB32;
}

// The top byte of Format_RGB32 is undefined; reading it as ARGB32 makes it 0xff.
quint32 alphaMask(QImage::Format format)
{
    return format == QImage::Format_RGB32 ? 0xff000000u : 0u;
}

bool rowsEqualMasked(const quint32* a, quint32 maskA, const quint32* b, quint32 maskB, int width)
{
    // Blocks without an early exit let the compiler vectorise the inner loop;
    // the first difference is still found within one block.
    constexpr int kBlock = 64;
    int x = 0;
    for (; x + kBlock <= width; x += kBlock) {
        quint32 diff = 0;
        for (int i = 0; i < kBlock; ++i)
            diff |= (a[x + i] | maskA) ^ (b[x + i] | maskB);
        if (diff != 0)
            return false;
    }
    for (; x < width; ++x) {
        if ((a[x] | maskA) != (b[x] | maskB))
            return false;
    }
    return true;
}

} // namespace

bool CompareBuffers(const QImage& pixels1, const QImage& pixels2)
{
    if (pixels1.size() != pixels2.size())
        return false;
    const int width = pixels1.width();
    const int height = pixels1.height();
    if (width <= 0 || height <= 0)
        return true;
    if (!isDirect(pixels1.format()) || !isDirect(pixels2.format()))
        return false;

    const quint32 mask1 = alphaMask(pixels1.format());
    const quint32 mask2 = alphaMask(pixels2.format());
    const size_t rowBytes = size_t(width) * 4;
    const uchar* bits1 = pixels1.constBits();
    const uchar* bits2 = pixels2.constBits();
    const qsizetype stride1 = pixels1.bytesPerLine();
    const qsizetype stride2 = pixels2.bytesPerLine();

    // Both ARGB32 and no row padding: one memcmp over the whole picture.
    if (mask1 == 0 && mask2 == 0 && stride1 == qsizetype(rowBytes)
        && stride2 == qsizetype(rowBytes))
        return std::memcmp(bits1, bits2, rowBytes * size_t(height)) == 0;

    for (int y = 0; y < height; ++y) {
        const uchar* row1 = bits1 + y * stride1;
        const uchar* row2 = bits2 + y * stride2;
        // With equal layouts equal bytes mean equal pixels; only a row that
        // differs needs a second look at the unused byte of RGB32.
        if (mask1 == mask2 && std::memcmp(row1, row2, rowBytes) == 0)
            continue;
        if (mask1 == 0 && mask2 == 0)
            return false;
        if (!rowsEqualMasked(reinterpret_cast<const quint32*>(row1), mask1,
                reinterpret_cast<const quint32*>(row2), mask2, width))
            return false;
    }
    return true;
}

bool ComparePictures(const QImage& first, const QImage& second)
{
    if (first.isNull() || second.isNull())
        return false;
    // Both are read with the first picture's width and height; a second picture
    // of another size cannot match it.
    if (second.size() != first.size())
        return false;
    // Later frames, pages and deeper samples count as pixels too.
    if (first.text(QLatin1String(ImageLoader::kHiddenContentKey))
        != second.text(QLatin1String(ImageLoader::kHiddenContentKey)))
        return false;

    // Only a layout other than 32-bit RGB is converted; the copy is released on return.
    const QImage pixels1
        = isDirect(first.format()) ? first : first.convertToFormat(QImage::Format_ARGB32);
    const QImage pixels2
        = isDirect(second.format()) ? second : second.convertToFormat(QImage::Format_ARGB32);
    if (pixels1.isNull() || pixels2.isNull())
        return false;
    return CompareBuffers(pixels1, pixels2);
}

} // namespace ModImageCompare
