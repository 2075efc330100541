#include "controls/ButtonOutline.h"

#include <QPoint>
#include <QRect>

#include <initializer_list>

QRegion BuildOutline(int buttonType, int w, int h)
{
    QRegion region(QRect(0, 0, w, h));
    const auto cut = [&region](std::initializer_list<QPoint> pixels) {
        for (const QPoint& p : pixels)
            region -= QRegion(p.x(), p.y(), 1, 1);
    };
    switch (buttonType) {
    case 1:
        cut({{0, 0}, {0, h - 1}, {w - 1, 0}, {w - 1, h - 1}});
        break;
    case 3:
    case 4:
        cut({{0, 0}, {1, 0}, {0, 1}, {0, h - 1}, {1, h - 1}, {0, h - 2}, {w - 2, 0}, {w - 1, 0},
            {w - 1, 1}, {w - 2, h - 1}, {w - 1, h - 1}, {w - 1, h - 2}});
        break;
    case 5:
        cut({{0, h - 1}, {w - 1, 0}});
        break;
    default:
        break;
    }
    return region;
}
