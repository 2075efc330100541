#include "shell/PairLayout.h"

#include <cmath>

namespace {

constexpr double kAreaWidth = 320;
constexpr double kAreaHeight = 240;
constexpr double kAreaRatio = kAreaHeight / kAreaWidth;
// Centres of the left and right display areas and the label's distance above the image.
constexpr double kLeftCentreX = 176;
constexpr double kRightCentreX = 512;
constexpr double kCentreY = 143;
constexpr double kLabelGap = 20;

} // namespace

namespace PairLayout {

DisplayGeometry fitPair(double w, double h)
{
    DisplayGeometry geometry;
    if (!(w > 0) || !(h > 0)) {
        geometry.keepPlace = true;
        return geometry;
    }
    const double ratio = double(h) / w;
    const double scale = ratio < kAreaRatio ? w / kAreaWidth : h / kAreaHeight;
    const double width = w / scale;
    const double height = h / scale;
    const double top = kCentreY - height / 2;
    geometry.image1 = QRectF(kLeftCentreX - width / 2, top, width, height);
    geometry.image2 = QRectF(kRightCentreX - width / 2, top, width, height);
    geometry.labelTop = top - kLabelGap;
    geometry.imageLeft = roundHalfEven(geometry.image1.left());
    geometry.imageTop = roundHalfEven(top);
    geometry.imageWidth = roundHalfEven(width);
    geometry.imageHeight = roundHalfEven(height);
    geometry.image2Left = roundHalfEven(geometry.image2.left());
    return geometry;
}

DisplayGeometry keptPlace(const DisplayGeometry& boxes)
{
    DisplayGeometry geometry = boxes;
    geometry.keepPlace = true;
    geometry.image1 = QRectF(boxes.imageLeft, boxes.imageTop, boxes.imageWidth, boxes.imageHeight);
    geometry.image2 = QRectF(boxes.image2Left, boxes.imageTop, boxes.imageWidth, boxes.imageHeight);
    geometry.labelTop = boxes.imageTop - kLabelGap;
    return geometry;
}

int roundHalfEven(double value)
{
    // nearbyint follows the default rounding mode: to nearest, halves to even.
    return int(std::nearbyint(value));
}

} // namespace PairLayout
