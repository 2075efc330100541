#include "shell/ProgressBarBox.h"

#include <QPainter>

ProgressBarBox::ProgressBarBox(QWidget* parent)
    : QWidget(parent)
{
}

void ProgressBarBox::clear()
{
    m_fill = 0;
    update();
}

void ProgressBarBox::fillTo(int fillWidth)
{
    // A solid rectangle drawn over the earlier fill: a narrower one hides nothing.
    m_fill = qMax(m_fill, fillWidth);
    update();
}

void ProgressBarBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), backColor());
    if (m_fill > 0)
        painter.fillRect(QRect(0, 0, qMin(m_fill, width()), height()), fillColor());
}
