#pragma once
// Where the main window puts the two pictures of a pair: each fitted into its
// 320 x 240 display area, keeping the picture's aspect ratio, in the window's
// 690 x 370 logical units.

#include <QRectF>

// Where the image boxes go for a pair. Rounded fields are halves to even.
struct DisplayGeometry {
    bool keepPlace = false; // the picture has no width: the boxes keep their place and size
    QRectF image1{16, 23, 320, 240};
    QRectF image2{352, 23, 320, 240};
    double labelTop = 3; // top of lblPic1 and lblPic2: 20 above the images
    int imageLeft = 16;
    int imageTop = 23;
    int imageWidth = 320;
    int imageHeight = 240;
    int image2Left = 352;
};

namespace PairLayout {

// Fits a w x h picture (logical units, unrounded so that its proportions hold
// on screen) into each display area; an empty picture keeps the boxes where
// they are (keepPlace).
DisplayGeometry fitPair(double w, double h);

// The geometry of boxes kept from an earlier fit (their rounded fields), for
// a picture that has no width.
DisplayGeometry keptPlace(const DisplayGeometry& boxes);

// Round to nearest, halves to even.
int roundHalfEven(double value);

} // namespace PairLayout
