#include "shell/LogicalScale.h"

#include "shell/Rounding.h"

int LogicalScale::x(double logicalX) const
{
    return roundToInt(logicalX * m_client.width() / kScaleWidth);
}

int LogicalScale::y(double logicalY) const
{
    return roundToInt(logicalY * m_client.height() / kScaleHeight);
}

QRect LogicalScale::rect(double left, double top, double width, double height) const
{
    const int l = x(left);
    const int t = y(top);
    return QRect(l, t, x(left + width) - l, y(top + height) - t);
}

QRect LogicalScale::sizedRect(const QRectF& logical) const
{
    return QRect(x(logical.x()), y(logical.y()), x(logical.width()), y(logical.height()));
}

double LogicalScale::toLogicalX(int pixelX) const
{
    return m_client.width() > 0 ? pixelX * kScaleWidth / m_client.width() : 0.0;
}

double LogicalScale::toLogicalY(int pixelY) const
{
    return m_client.height() > 0 ? pixelY * kScaleHeight / m_client.height() : 0.0;
}

int LogicalScale::twipsToPixels(double twips)
{
    return roundToInt(twips / kTwipsPerPixel);
}
