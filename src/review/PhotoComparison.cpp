#include "review/PhotoComparison.h"

#include "similar/PhotoSignature.h"
#include "similar/ReducedPicture.h"

#include <algorithm>
#include <cmath>

namespace {

similar::FrameView viewOf(const QImage& image)
{
    similar::FrameView view;
    view.data = image.constBits();
    view.width = std::uint32_t(image.width());
    view.height = std::uint32_t(image.height());
    view.stride = std::size_t(image.bytesPerLine());
    view.bgraWords = true;
    return view;
}

QImage imageOf(const similar::ReducedPicture& picture)
{
    QImage image(int(picture.width), int(picture.height), QImage::Format_ARGB32);
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(int(y)));
        for (std::uint32_t x = 0; x < picture.width; ++x) {
            const float* p = picture.pixel(x, y);
            const auto level = [](float v) { return int(std::lround(std::clamp(v, 0.f, 255.f))); };
            row[x] = qRgba(level(p[0]), level(p[1]), level(p[2]), level(p[3]));
        }
    }
    return image;
}

} // namespace

PhotoComparison comparePhotos(const QImage& bestPicture, const QImage& memberPicture)
{
    PhotoComparison result;
    if (bestPicture.isNull() || memberPicture.isNull())
        return result;
    const QImage best = bestPicture.convertToFormat(QImage::Format_ARGB32);
    const QImage member = memberPicture.convertToFormat(QImage::Format_ARGB32);
    if (!similar::aspectsAgree(std::uint32_t(best.width()), std::uint32_t(best.height()),
            std::uint32_t(member.width()), std::uint32_t(member.height())))
        return result;
    // The smaller picture's full size: the proof's own pictures are smaller still.
    const bool bestIsSmaller
        = qint64(best.width()) * best.height() <= qint64(member.width()) * member.height();
    const std::uint32_t width = std::uint32_t(bestIsSmaller ? best.width() : member.width());
    const std::uint32_t height = std::uint32_t(bestIsSmaller ? best.height() : member.height());
    const similar::ReducedPicture a = similar::reduceArea(viewOf(best), width, height);
    const similar::ReducedPicture b = similar::reduceArea(viewOf(member), width, height);

    QImage difference(int(width), int(height), QImage::Format_RGB32);
    int largest = 0;
    for (std::uint32_t y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(difference.scanLine(int(y)));
        for (std::uint32_t x = 0; x < width; ++x) {
            const float* p = a.pixel(x, y);
            const float* q = b.pixel(x, y);
            int d[3];
            for (int c = 0; c < 3; ++c) {
                d[c] = int(std::lround(std::fabs(p[c] - q[c])));
                largest = std::max(largest, d[c]);
                d[c] = std::min(255, d[c] * PhotoComparison::kAmplification);
            }
            row[x] = qRgb(d[0], d[1], d[2]);
        }
    }
    result.best = imageOf(a);
    result.member = imageOf(b);
    result.difference = difference;
    result.largestDifference = largest;
    result.comparable = true;
    return result;
}
