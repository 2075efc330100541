#include "update/frmUpdate.h"

#include "controls/FramePlacement.h"
#include "controls/chameleonButton.h"
#include "update/VersionCheck.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QWindow>
#include <cmath>

namespace {

constexpr QSize kClientSize(304, 172);
constexpr quint32 kButtonColour = 0xFFFF80; // stored back colour of both buttons
constexpr quint32 kHoverColour = 0xFFBE96; // red 150, green 190, blue 255
constexpr quint32 kWindowHoverColour = 0xFFC5AA; // red 170, green 197, blue 255

QPointer<frmUpdate> g_instance;

// The announcement picture: a blue disc with a white arrow pointing down,
// drawn at twice the size it is shown and stretched into Image1.
QPixmap announcementPicture()
{
    QPixmap picture(126, 112);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient shade(QPointF(50, 40), 70);
    shade.setColorAt(0, QColor(120, 180, 255));
    shade.setColorAt(1, QColor(20, 70, 170));
    p.setPen(QPen(QColor(10, 40, 110), 3));
    p.setBrush(shade);
    p.drawEllipse(QRectF(10, 3, 106, 106));
    QPainterPath arrow;
    arrow.moveTo(52, 22);
    arrow.lineTo(74, 22);
    arrow.lineTo(74, 56);
    arrow.lineTo(92, 56);
    arrow.lineTo(63, 90);
    arrow.lineTo(34, 56);
    arrow.lineTo(52, 56);
    arrow.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPath(arrow);
    return picture;
}

int roundHalfEven(double value)
{
    return static_cast<int>(std::nearbyint(value));
}

} // namespace

void frmUpdate::showFor(QWidget* mainWindow, const QString& version, UrlOpener openUrl)
{
    if (!g_instance) {
        g_instance = new frmUpdate(mainWindow, std::move(openUrl));
        g_instance->Form_Load();
    }
    g_instance->show();
    g_instance->raise();
    g_instance->activateWindow();
    g_instance->m_label1->setText(VersionCheck::labelText(version));
}

frmUpdate* frmUpdate::instance()
{
    return g_instance.data();
}

QPoint frmUpdate::placement(const QRect& mainFrame, const QSize& ownFrame)
{
    // The same in twips and in pixels: every term scales by 15.
    const double left = mainFrame.x() + mainFrame.width() / 2.0 - ownFrame.width() / 2.0;
    const double top = mainFrame.y() + mainFrame.height() / 3.0 - ownFrame.height() / 2.0;
    return {roundHalfEven(left), roundHalfEven(top)};
}

frmUpdate::frmUpdate(QWidget* mainWindow, UrlOpener openUrl)
    : QWidget(nullptr,
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_mainWindow(mainWindow)
    , m_openUrl(std::move(openUrl))
{
    // Deliberately not a child of the main window: disabling that window
    // would disable this one with it.
    setAttribute(Qt::WA_DeleteOnClose);
    setupWidgets();
    setupConnections();
}

frmUpdate::~frmUpdate()
{
    Form_Unload();
}

void frmUpdate::setupWidgets()
{
    setObjectName(QStringLiteral("frmUpdate"));
    setWindowTitle(QStringLiteral("Corvane"));
    setFixedSize(kClientSize);
    setMouseTracking(true);

    m_image1 = new QLabel(this);
    m_image1->setObjectName(QStringLiteral("Image1"));
    m_image1->setGeometry(0, 0, 63, 56);
    m_image1->setScaledContents(true);
    m_image1->setPixmap(announcementPicture());

    m_label1 = new QLabel(this);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->setGeometry(80, 48, 225, 57);
    m_label1->setTextFormat(Qt::PlainText);
    m_label1->setWordWrap(true);
    m_label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont labelFont(QStringLiteral("Arial"));
    labelFont.setPointSize(12);
    labelFont.setBold(true);
    m_label1->setFont(labelFont);

    QFont buttonFont(QStringLiteral("Arial"));
    buttonFont.setPointSizeF(9.75);
    buttonFont.setBold(true);
    const auto makeButton = [&](const QString& name, const QString& caption) {
        auto* button = new chameleonButton(this);
        button->setObjectName(name);
        button->setButtonType(chameleonButton::Gradient);
        button->setColorScheme(chameleonButton::SchemeCustom);
        button->setForeColor(0x000000);
        button->setBackColor(kButtonColour);
        button->setShowFocusRect(true);
        button->setFontProperty(buttonFont);
        button->setCaption(caption);
        return button;
    };
    m_cmdYes = makeButton(QStringLiteral("cmdYes"), QStringLiteral("Yes"));
    m_cmdNo = makeButton(QStringLiteral("cmdNo"), QStringLiteral("No"));
}

void frmUpdate::setupConnections()
{
    connect(m_cmdYes, &chameleonButton::Click, this, &frmUpdate::cmdYes_Click);
    connect(m_cmdNo, &chameleonButton::Click, this, &frmUpdate::cmdNo_Click);
    connect(m_cmdYes, &chameleonButton::MouseMove, this,
        [this](short&, short&, float&, float&) { m_cmdYes->setBackColor(kHoverColour); });
    connect(m_cmdNo, &chameleonButton::MouseMove, this,
        [this](short&, short&, float&, float&) { m_cmdNo->setBackColor(kHoverColour); });
    if (m_mainWindow) {
        // A main window that goes away takes its announcement with it.
        connect(m_mainWindow, &QObject::destroyed, this, [this] {
            m_mainWindow = nullptr;
            close();
        });
    }
}

void frmUpdate::Form_Load()
{
    if (m_mainWindow) {
        m_mainWindow->setEnabled(false);
        QWidget* main = m_mainWindow->window();
        // By the outer frames, which the window manager may add only after
        // both windows are up (an early announcement).
        FramePlacement::place(this, main, &frmUpdate::placement);
        // Modal for the main window: while this is up, the main window's
        // close box, keys and clicks do nothing (Qt drops the window
        // system's close request for a window a modal one blocks).
        setWindowModality(Qt::WindowModal);
        create();
        if (QWindow* own = windowHandle())
            own->setTransientParent(main->windowHandle());
    }
    m_cmdYes->setGeometry(130, 130, 80, 30);
    m_cmdNo->setGeometry(220, 130, 80, 30);
    QApplication::beep();
}

void frmUpdate::Form_Unload()
{
    if (m_mainWindow)
        m_mainWindow->setEnabled(true);
}

void frmUpdate::closeEvent(QCloseEvent* event)
{
    event->accept();
    Form_Unload();
}

void frmUpdate::mouseMoveEvent(QMouseEvent* event)
{
    m_cmdYes->setBackColor(kWindowHoverColour);
    m_cmdNo->setBackColor(kWindowHoverColour);
    QWidget::mouseMoveEvent(event);
}

void frmUpdate::cmdYes_Click()
{
    const QUrl page = VersionCheck::downloadPageUrl();
    if (m_openUrl)
        m_openUrl(page);
    else
        QDesktopServices::openUrl(page);
    close();
}

void frmUpdate::cmdNo_Click()
{
    close();
}
