#include "review/frmPicture.h"

#include "review/PictureForView.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <cmath>

namespace {

constexpr double kMinZoom = 1.0 / 32;
constexpr double kMaxZoom = 32;
constexpr double kStep = 1.25;

} // namespace

frmPicture* frmPicture::showFile(const QByteArray& path, const QString& shownPath, QWidget* near)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QImage picture = pictureForView(path);
    QApplication::restoreOverrideCursor();
    auto* window = new frmPicture(picture, shownPath);
    window->setAttribute(Qt::WA_DeleteOnClose);
    const QRect area = (near && near->screen() ? near->screen() : QGuiApplication::primaryScreen())
                           ->availableGeometry();
    window->resize(qMin(area.width() * 3 / 4, qMax(480, picture.width() + 40)),
        qMin(area.height() * 3 / 4, qMax(360, picture.height() + 80)));
    // Over the window it was opened from, within the screen.
    const QPoint centre = near ? near->frameGeometry().center() : area.center();
    window->move(qBound(area.left(), centre.x() - window->width() / 2,
                     qMax(area.left(), area.right() - window->width())),
        qBound(area.top(), centre.y() - window->height() / 2,
            qMax(area.top(), area.bottom() - window->height())));
    window->show();
    window->fitToWindow();
    return window;
}

frmPicture::frmPicture(const QImage& picture, const QString& title, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_picture(picture)
{
    setObjectName(QStringLiteral("frmPicture"));
    setWindowTitle(QStringLiteral("Corvane - ") + title);
    setAccessibleName(QStringLiteral("Picture at full size: ") + title);
    setupWidgets();
    setZoom(1.0);
}

void frmPicture::setupWidgets()
{
    auto makeButton = [this](const QString& text, const QString& name, const QString& tip) {
        auto* button = new QToolButton(this);
        button->setText(text);
        button->setAccessibleName(name);
        button->setToolTip(tip);
        button->setFocusPolicy(Qt::NoFocus);
        return button;
    };
    QToolButton* out = makeButton(
        QStringLiteral("\u2212"), QStringLiteral("Zoom out"), QStringLiteral("Zoom out (-)"));
    QToolButton* in
        = makeButton(QStringLiteral("+"), QStringLiteral("Zoom in"), QStringLiteral("Zoom in (+)"));
    QToolButton* fit = makeButton(QStringLiteral("Fit"), QStringLiteral("Fit to the window"),
        QStringLiteral("Fit to the window (0)"));
    QToolButton* actual = makeButton(QStringLiteral("100%"), QStringLiteral("Actual size"),
        QStringLiteral("Every pixel once (1)"));
    m_zoomText = new QLabel(this);
    m_zoomText->setAccessibleName(QStringLiteral("Zoom"));

    m_canvas = new QLabel;
    m_canvas->setAlignment(Qt::AlignCenter);
    m_canvas->setAccessibleName(QStringLiteral("Picture"));
    if (m_picture.isNull())
        m_canvas->setText(QStringLiteral("This picture cannot be shown."));
    m_scroll = new QScrollArea(this);
    m_scroll->setAccessibleName(QStringLiteral("Picture, scrollable"));
    m_scroll->setAlignment(Qt::AlignCenter);
    m_scroll->setWidget(m_canvas);
    m_scroll->setWidgetResizable(false);
    m_scroll->viewport()->installEventFilter(this);
    m_scroll->setFocusPolicy(Qt::StrongFocus);

    auto* bar = new QHBoxLayout;
    for (QWidget* w : {static_cast<QWidget*>(out), static_cast<QWidget*>(in),
             static_cast<QWidget*>(fit), static_cast<QWidget*>(actual)})
        bar->addWidget(w);
    bar->addWidget(m_zoomText);
    bar->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_scroll, 1);

    connect(out, &QToolButton::clicked, this, &frmPicture::zoomOut);
    connect(in, &QToolButton::clicked, this, &frmPicture::zoomIn);
    connect(fit, &QToolButton::clicked, this, &frmPicture::fitToWindow);
    connect(actual, &QToolButton::clicked, this, [this] { setZoom(1.0); });
}

void frmPicture::setZoom(double zoom)
{
    m_zoom = qBound(kMinZoom, zoom, kMaxZoom);
    m_zoomText->setText(QStringLiteral("%1%").arg(std::round(m_zoom * 100)));
    if (m_picture.isNull()) {
        m_canvas->adjustSize();
        return;
    }
    const QSize size(qMax(1, int(std::round(m_picture.width() * m_zoom))),
        qMax(1, int(std::round(m_picture.height() * m_zoom))));
    // Enlarged pictures keep hard pixel edges: the user looks for differences.
    const Qt::TransformationMode mode
        = m_zoom >= 1 ? Qt::FastTransformation : Qt::SmoothTransformation;
    m_canvas->setPixmap(QPixmap::fromImage(
        m_zoom == 1 ? m_picture : m_picture.scaled(size, Qt::IgnoreAspectRatio, mode)));
    m_canvas->resize(size);
}

void frmPicture::zoomIn()
{
    setZoom(m_zoom * kStep);
}

void frmPicture::zoomOut()
{
    setZoom(m_zoom / kStep);
}

void frmPicture::fitToWindow()
{
    if (m_picture.isNull())
        return;
    const QSize room = m_scroll->viewport()->size();
    setZoom(qMin(1.0,
        qMin(
            double(room.width()) / m_picture.width(), double(room.height()) / m_picture.height())));
}

void frmPicture::keyPressEvent(QKeyEvent* e)
{
    switch (e->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoomIn();
        return;
    case Qt::Key_Minus:
        zoomOut();
        return;
    case Qt::Key_0:
        fitToWindow();
        return;
    case Qt::Key_1:
        setZoom(1.0);
        return;
    case Qt::Key_Escape:
        close();
        return;
    default:
        QWidget::keyPressEvent(e);
    }
}

bool frmPicture::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == m_scroll->viewport() && e->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(e);
        if (wheel->modifiers() & Qt::ControlModifier) {
            if (wheel->angleDelta().y() > 0)
                zoomIn();
            else if (wheel->angleDelta().y() < 0)
                zoomOut();
            return true;
        }
    }
    return QWidget::eventFilter(watched, e);
}
