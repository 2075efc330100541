#include "decoding/PictureOrientation.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace decoding {

namespace {

// The stored pixel that output pixel (x, y) shows, for a stored picture of
// width x height: one mapping serves all eight values.
inline void storedPixel(Orientation orientation, std::uint32_t width, std::uint32_t height,
    std::uint32_t x, std::uint32_t y, std::uint32_t& sx, std::uint32_t& sy)
{
    switch (orientation) {
    case Orientation::AsStored:
        sx = x;
        sy = y;
        return;
    case Orientation::MirrorLeftRight:
        sx = width - 1 - x;
        sy = y;
        return;
    case Orientation::Turn180:
        sx = width - 1 - x;
        sy = height - 1 - y;
        return;
    case Orientation::MirrorTopBottom:
        sx = x;
        sy = height - 1 - y;
        return;
    case Orientation::Transpose:
        sx = y;
        sy = x;
        return;
    case Orientation::TurnClockwise:
        sx = y;
        sy = height - 1 - x;
        return;
    case Orientation::Transverse:
        sx = width - 1 - y;
        sy = height - 1 - x;
        return;
    case Orientation::TurnAnticlockwise:
        sx = width - 1 - y;
        sy = x;
        return;
    }
}

// Writes the picture at `in` (width x height, `in` rows apart) turned by
// orientation to `out`. The output is filled in square tiles, so that a
// quarter turn reads a few stored rows at a time instead of striding down
// whole columns of a large picture.
template <std::size_t kPixelBytes>
void turnRows(const std::uint8_t* in, std::size_t inStride, std::uint32_t width,
    std::uint32_t height, std::size_t pixelBytes, Orientation orientation, std::uint8_t* out,
    std::size_t outStride)
{
    constexpr std::uint32_t kTile = 64;
    const std::size_t size = kPixelBytes ? kPixelBytes : pixelBytes;
    const bool swap = swapsSides(orientation);
    const std::uint32_t outWidth = swap ? height : width;
    const std::uint32_t outHeight = swap ? width : height;
    for (std::uint32_t tileY = 0; tileY < outHeight; tileY += kTile) {
        const std::uint32_t endY = std::min(outHeight, tileY + kTile);
        for (std::uint32_t tileX = 0; tileX < outWidth; tileX += kTile) {
            const std::uint32_t endX = std::min(outWidth, tileX + kTile);
            for (std::uint32_t y = tileY; y < endY; ++y) {
                std::uint8_t* row = out + outStride * y;
                for (std::uint32_t x = tileX; x < endX; ++x) {
                    std::uint32_t sx = 0;
                    std::uint32_t sy = 0;
                    storedPixel(orientation, width, height, x, y, sx, sy);
                    std::memcpy(row + size * x, in + inStride * sy + size * sx, size);
                }
            }
        }
    }
}

} // namespace

void orientRows(const std::uint8_t* in, std::size_t inStride, std::uint32_t width,
    std::uint32_t height, std::size_t pixelBytes, Orientation orientation, std::uint8_t* out,
    std::size_t outStride)
{
    switch (pixelBytes) {
    case 4:
        return turnRows<4>(in, inStride, width, height, 4, orientation, out, outStride);
    case 8:
        return turnRows<8>(in, inStride, width, height, 8, orientation, out, outStride);
    default:
        return turnRows<0>(in, inStride, width, height, pixelBytes, orientation, out, outStride);
    }
}

PictureHeader orientedHeader(PictureHeader header, Bytes head)
{
    if (header.ok && swapsSides(readOrientation(head).orientation))
        std::swap(header.width, header.height);
    return header;
}

void orientPicture(DecodedPicture& picture, Orientation orientation)
{
    const std::size_t pixels = std::size_t(picture.width) * picture.height;
    if (orientation == Orientation::AsStored || pixels == 0)
        return;
    for (std::vector<std::uint8_t>& frame : picture.frames) {
        const std::size_t pixelBytes = frame.size() / pixels;
        std::vector<std::uint8_t> turned(frame.size());
        const std::uint32_t outWidth = swapsSides(orientation) ? picture.height : picture.width;
        orientRows(frame.data(), pixelBytes * picture.width, picture.width, picture.height,
            pixelBytes, orientation, turned.data(), pixelBytes * outWidth);
        frame = std::move(turned);
    }
    if (swapsSides(orientation))
        std::swap(picture.width, picture.height);
}

bool shownAsStored(Bytes file)
{
    const OrientationTag tag = readOrientation(file);
    return tag.orientation == Orientation::AsStored && !tag.pagesDisagree;
}

DecodeOutcome decodeAsShown(
    Bytes file, const DecodeOptions& options, const std::function<DecodeOutcome()>& decodeStored)
{
    if (!options.asShown)
        return decodeStored();
    // The tag is read first: a TIFF whose pages disagree is refused before
    // any page is decoded.
    const OrientationTag tag = readOrientation(file);
    if (tag.pagesDisagree) {
        DecodeOutcome refused;
        refused.reason = "TIFF pages of different orientations: not supported";
        return refused;
    }
    DecodeOutcome outcome = decodeStored();
    if (outcome.status == DecodeStatus::Ok)
        orientPicture(outcome.picture, tag.orientation);
    return outcome;
}

} // namespace decoding
