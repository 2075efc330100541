#include "shell/basMsgBoxEx.h"

#include "controls/FramePlacement.h"
#include "shell/Rounding.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QShowEvent>

namespace basMsgBoxEx {

QPoint MsgBoxPosition(int x, int y, QSize box, QSize desktop)
{
    const double w = box.width();
    const double h = box.height();
    double left = x;
    double top = y;
    if (desktop.width() - w - 1 < left)
        left = desktop.width() - w - 1;
    left = roundHalfEven(left - w / 2);
    if (desktop.height() - h - 1 < top)
        top = desktop.height() - h - 1;
    if (left < 1)
        left = 1;
    if (top < 1)
        top = 1;
    return QPoint(static_cast<int>(left), static_cast<int>(top));
}

namespace {

// Moves itself once it is laid out, before it appears, so it never flickers
// at the platform's default place; by its outer frame, which on X11 is known
// only a moment after it appears (then it is placed once more).
class PositionedMessageBox : public QMessageBox {
public:
    PositionedMessageBox(QWidget* owner, int x, int y)
        : QMessageBox(owner)
        , m_x(x)
        , m_y(y)
    {
    }

protected:
    void showEvent(QShowEvent* e) override
    {
        QMessageBox::showEvent(e);
        const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
        const QSize desktop = screen ? screen->virtualGeometry().size() : QSize(1024, 768);
        FramePlacement::place(
            this, parentWidget(), [x = m_x, y = m_y, desktop](const QRect&, QSize frame) {
                return MsgBoxPosition(x, y, frame, desktop);
            });
    }

private:
    int m_x;
    int m_y;
};

} // namespace

int MsgBoxEx(QWidget* owner, const QString& prompt, const QString& title, int style, int x, int y)
{
    PositionedMessageBox box(owner, x, y);
    box.setWindowTitle(title);
    box.setText(prompt);
    box.setIcon(
        (style & 0x70) == kStyleInformation ? QMessageBox::Information : QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    return box.exec();
}

} // namespace basMsgBoxEx
