#include "shell/WindowIcon.h"

#include <QPainter>

QImage makeCorvaneIcon()
{
    QImage icon(32, 32, QImage::Format_RGB888);
    icon.fill(QColor(170, 170, 170));
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing, false);
    auto photo = [&p](int x, int y, QColor sky) {
        p.setPen(QColor(0, 60, 115));
        p.setBrush(Qt::white);
        p.drawRect(x, y, 17, 14);
        p.fillRect(x + 2, y + 2, 14, 11, sky);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 130, 60));
        p.drawPolygon(
            QPolygon({QPoint(x + 2, y + 13), QPoint(x + 8, y + 6), QPoint(x + 15, y + 13)}));
        p.setBrush(QColor(255, 220, 60));
        p.drawEllipse(QPoint(x + 12, y + 5), 2, 2);
    };
    photo(1, 3, QColor(128, 255, 255));
    photo(13, 14, QColor(128, 255, 255));
    p.fillRect(21, 4, 9, 2, QColor(12, 141, 255));
    p.fillRect(21, 8, 9, 2, QColor(12, 141, 255));
    return icon;
}
