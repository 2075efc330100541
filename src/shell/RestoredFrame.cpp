#include "shell/RestoredFrame.h"

#include "shell/LogicalScale.h"
#include "shell/Rounding.h"

#include <QRegion>
#include <algorithm>
#include <cmath>

namespace RestoredFrame {

namespace {

// Far beyond any desktop, yet small enough that sums of two stay in an int.
constexpr double kFarthest = 1 << 24;

int pixelsOf(double twips)
{
    return roundToInt(std::clamp(twips / LogicalScale::kTwipsPerPixel, -kFarthest, kFarthest));
}

qint64 overlapArea(const QRect& a, const QRect& b)
{
    const QRect common = a.intersected(b);
    return common.isEmpty() ? 0 : qint64(common.width()) * common.height();
}

qint64 centreDistance(const QRect& a, const QRect& b)
{
    const qint64 dx = qint64(a.center().x()) - b.center().x();
    const qint64 dy = qint64(a.center().y()) - b.center().y();
    return dx * dx + dy * dy;
}

// The screen holding most of the frame; when it lies on none, the nearest.
QRect homeScreen(const QRect& frame, const QList<QRect>& screens)
{
    QRect best = screens.first();
    qint64 bestOverlap = -1;
    for (const QRect& area : screens) {
        const qint64 overlap = overlapArea(area, frame);
        if (overlap > bestOverlap) {
            bestOverlap = overlap;
            best = area;
        }
    }
    if (bestOverlap > 0)
        return best;
    for (const QRect& area : screens) {
        if (centreDistance(area, frame) < centreDistance(best, frame))
            best = area;
    }
    return best;
}

} // namespace

QRect restoredFrame(
    double left, double top, double width, float aspectRatio, const QList<QRect>& screens)
{
    if (!std::isfinite(left))
        left = kDefaultLeft;
    if (!std::isfinite(top))
        top = kDefaultTop;
    if (!std::isfinite(width) || !(width > 0))
        width = kDefaultWidth;
    const double ratio = aspectRatio > 0 ? aspectRatio : 1.0;

    // A window can be made very narrow and comes back so, but not below a pixel.
    int w = std::max(1, pixelsOf(width));
    const auto heightFor
        = [ratio](int pixelsWide) { return std::max(1, roundToInt(ratio * pixelsWide)); };
    QRect frame(pixelsOf(left), pixelsOf(top), w, std::max(1, pixelsOf(ratio * width)));
    if (screens.isEmpty())
        return frame;

    QRegion desktop;
    for (const QRect& area : screens)
        desktop += area;
    if (desktop.intersected(frame) == QRegion(frame))
        return frame;

    const QRect area = homeScreen(frame, screens);
    if (frame.width() > area.width() || frame.height() > area.height()) {
        w = std::min(area.width(), static_cast<int>(std::floor(area.height() / ratio)));
        w = std::max(1, w);
        frame.setSize(QSize(w, heightFor(w)));
    }
    frame.moveLeft(std::clamp(
        frame.x(), area.left(), std::max(area.left(), area.right() + 1 - frame.width())));
    frame.moveTop(std::clamp(
        frame.y(), area.top(), std::max(area.top(), area.bottom() + 1 - frame.height())));
    return frame;
}

} // namespace RestoredFrame
