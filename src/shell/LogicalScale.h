#pragma once
// Form1 places its controls in a logical 690 x 370 scale that always covers
// its client area; window positions and outer sizes are kept in twips at 15
// twips per pixel. Every conversion between the three lives here.

#include <QRect>
#include <QRectF>
#include <QSize>

class LogicalScale {
public:
    static constexpr double kScaleWidth = 690.0;
    static constexpr double kScaleHeight = 370.0;
    static constexpr double kTwipsPerPixel = 15.0;

    explicit LogicalScale(QSize clientArea)
        : m_client(clientArea)
    {
    }

    int x(double logicalX) const;
    int y(double logicalY) const;
    // A logical rectangle in client pixels; the right and bottom edges are
    // mapped like positions so neighbouring controls stay flush.
    QRect rect(double left, double top, double width, double height) const;
    // A logical rectangle whose size matters more than its edges (a picture):
    // position and size are mapped apart, so each side is within half a
    // pixel of its exact length and the proportions hold.
    QRect sizedRect(const QRectF& logical) const;
    // Client pixels back to logical units.
    double toLogicalX(int pixelX) const;
    double toLogicalY(int pixelY) const;

    static int twipsToPixels(double twips);
    static double pixelsToTwips(int pixels) { return pixels * kTwipsPerPixel; }

private:
    QSize m_client;
};
