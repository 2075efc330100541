#include "review/frmCompare.h"

#include "review/PictureForView.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

constexpr int kFlickerMs = 500;

QString captionOf(const QString& role, const frmCompare::Side& side)
{
    return role + QStringLiteral(": ") + side.shownPath + QStringLiteral("  (") + side.facts
        + QLatin1Char(')');
}

} // namespace

frmCompare* frmCompare::showFiles(const QByteArray& bestPath, const Side& best,
    const QByteArray& memberPath, const Side& member, const QString& figures, QWidget* near)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QImage bestPicture = pictureForView(bestPath);
    const QImage memberPicture = pictureForView(memberPath);
    QApplication::restoreOverrideCursor();
    auto* window = new frmCompare(bestPicture, best, memberPicture, member, figures);
    window->setAttribute(Qt::WA_DeleteOnClose);
    const QRect area = (near && near->screen() ? near->screen() : QGuiApplication::primaryScreen())
                           ->availableGeometry();
    window->resize(area.width() * 4 / 5, area.height() * 3 / 4);
    window->move(area.left() + area.width() / 10, area.top() + area.height() / 8);
    window->show();
    return window;
}

frmCompare::frmCompare(const QImage& best, const Side& bestSide, const QImage& member,
    const Side& memberSide, const QString& figures, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_comparison(comparePhotos(best, member))
    , m_bestSide(bestSide)
    , m_memberSide(memberSide)
{
    setObjectName(QStringLiteral("frmCompare"));
    if (m_bestSide.role.isEmpty())
        m_bestSide.role = QStringLiteral("Best copy");
    if (m_memberSide.role.isEmpty())
        m_memberSide.role = QStringLiteral("This copy");
    const QString title = QStringLiteral("Compare with the ") + m_bestSide.role.toLower();
    setWindowTitle(QStringLiteral("Corvane - ") + title);
    setAccessibleName(title);
    setupWidgets(figures);
    m_flicker.setInterval(kFlickerMs);
    connect(&m_flicker, &QTimer::timeout, this,
        [this] { showRight(m_shown == RightPane::Member ? RightPane::Best : RightPane::Member); });
    showRight(RightPane::Member);
}

void frmCompare::setupWidgets(const QString& figures)
{
    auto* figuresLine = new QLabel(figures, this);
    figuresLine->setObjectName(QStringLiteral("figures"));
    figuresLine->setAccessibleName(QStringLiteral("Measured difference"));
    figuresLine->setTextInteractionFlags(Qt::TextSelectableByMouse);

    const auto pane = [this](const QString& name) {
        auto* label = new QLabel(this);
        label->setAlignment(Qt::AlignCenter);
        label->setMinimumSize(160, 120);
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        label->setAccessibleName(name);
        return label;
    };
    m_leftCaption = new QLabel(this);
    m_rightCaption = new QLabel(this);
    m_leftCaption->setWordWrap(true);
    m_rightCaption->setWordWrap(true);
    m_left = pane(m_bestSide.role);
    m_right = pane(QStringLiteral("Compared copy"));
    if (!m_comparison.comparable) {
        m_left->setText(QStringLiteral("These pictures cannot be shown side by side."));
        m_right->setText(QStringLiteral("These pictures cannot be shown side by side."));
    }

    m_flickerButton = new QPushButton(QStringLiteral("&Flicker"), this);
    m_flickerButton->setCheckable(true);
    m_flickerButton->setToolTip(
        QStringLiteral("Swap the right picture with the %1 twice a second (F)")
            .arg(m_bestSide.role.toLower()));
    m_differenceButton = new QPushButton(QStringLiteral("&Difference"), this);
    m_differenceButton->setCheckable(true);
    m_differenceButton->setToolTip(QStringLiteral(
        "Show how far the two pictures differ, amplified %1 times: a re-save is faint even "
        "noise, an edit a shape (D)")
                                       .arg(PhotoComparison::kAmplification));
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    for (QPushButton* b : {m_flickerButton, m_differenceButton})
        b->setEnabled(m_comparison.comparable);

    auto* panes = new QGridLayout;
    panes->addWidget(m_leftCaption, 0, 0);
    panes->addWidget(m_rightCaption, 0, 1);
    panes->addWidget(m_left, 1, 0);
    panes->addWidget(m_right, 1, 1);
    panes->setRowStretch(1, 1);
    panes->setColumnStretch(0, 1);
    panes->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_flickerButton);
    buttons->addWidget(m_differenceButton);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(figuresLine);
    layout->addLayout(panes, 1);
    layout->addLayout(buttons);

    connect(m_flickerButton, &QPushButton::toggled, this, &frmCompare::setFlicker);
    connect(m_differenceButton, &QPushButton::toggled, this, &frmCompare::setDifference);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
}

void frmCompare::setFlicker(bool on)
{
    if (!m_comparison.comparable)
        return;
    const QSignalBlocker block(m_flickerButton);
    m_flickerButton->setChecked(on);
    if (on) {
        setDifference(false);
        m_flicker.start();
    } else {
        m_flicker.stop();
        showRight(RightPane::Member);
    }
}

void frmCompare::setDifference(bool on)
{
    if (!m_comparison.comparable)
        return;
    const QSignalBlocker block(m_differenceButton);
    m_differenceButton->setChecked(on);
    if (on) {
        setFlicker(false);
        showRight(RightPane::Difference);
    } else if (!m_flicker.isActive()) {
        showRight(RightPane::Member);
    }
}

void frmCompare::showRight(RightPane pane)
{
    m_shown = pane;
    m_leftCaption->setText(captionOf(m_bestSide.role, m_bestSide));
    switch (pane) {
    case RightPane::Member:
        m_rightCaption->setText(captionOf(m_memberSide.role, m_memberSide));
        break;
    case RightPane::Best:
        m_rightCaption->setText(captionOf(m_bestSide.role, m_bestSide));
        break;
    case RightPane::Difference:
        m_rightCaption->setText(
            QStringLiteral("Difference, amplified %1 times (largest: %2 levels)")
                .arg(PhotoComparison::kAmplification)
                .arg(m_comparison.largestDifference));
        break;
    }
    repaintPanes();
}

void frmCompare::setRegion(const QRectF& region)
{
    m_region = region;
    repaintPanes();
}

namespace {

// The picture as a pane shows it, with the region's box drawn on it.
QPixmap withRegion(const QImage& picture, const QRectF& region)
{
    QPixmap pixmap = QPixmap::fromImage(picture);
    if (region.isEmpty())
        return pixmap;
    QPainter painter(&pixmap);
    const QRectF box(region.x() * pixmap.width(), region.y() * pixmap.height(),
        region.width() * pixmap.width(), region.height() * pixmap.height());
    // Two rings, dark inside light, so that the box shows on any picture.
    painter.setPen(QPen(Qt::black, 3));
    painter.drawRect(box);
    painter.setPen(QPen(Qt::yellow, 1));
    painter.drawRect(box);
    return pixmap;
}

} // namespace

void frmCompare::repaintPanes()
{
    if (!m_comparison.comparable)
        return;
    const QImage& right = m_shown == RightPane::Member ? m_comparison.member
        : m_shown == RightPane::Best                   ? m_comparison.best
                                                       : m_comparison.difference;
    // One scale for both panes: the picture fitted to the smaller pane.
    const QSize box = m_left->size().boundedTo(m_right->size());
    const QSize size = m_comparison.best.size().scaled(box, Qt::KeepAspectRatio);
    const Qt::TransformationMode mode = size.width() >= m_comparison.best.width()
        ? Qt::FastTransformation
        : Qt::SmoothTransformation;
    m_left->setPixmap(
        withRegion(m_comparison.best.scaled(size, Qt::KeepAspectRatio, mode), m_region));
    m_right->setPixmap(withRegion(right.scaled(size, Qt::KeepAspectRatio, mode), m_region));
}

void frmCompare::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    repaintPanes();
}

void frmCompare::keyPressEvent(QKeyEvent* e)
{
    switch (e->key()) {
    case Qt::Key_F:
        setFlicker(!m_flicker.isActive());
        return;
    case Qt::Key_D:
        setDifference(m_shown != RightPane::Difference);
        return;
    case Qt::Key_Escape:
        close();
        return;
    default:
        QWidget::keyPressEvent(e);
    }
}
