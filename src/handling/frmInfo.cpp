#include "handling/frmInfo.h"

#include "controls/FramePlacement.h"
#include "controls/PropertyBag.h"
#include "controls/chameleonButton.h"
#include "handling/ImageInfoReport.h"

#include <QFont>
#include <QPlainTextEdit>
#include <QPointer>

#include <cmath>

namespace {

QPointer<frmInfo> g_instance;
// Each press of cmdInfo takes a number; only the latest may fill the window.
// The converter's wait turns the event loop, so a second press can start and
// finish a report while the first is still waiting.
quint64 g_latestReport = 0;

QFont reportFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(9.75);
    font.setBold(true);
    return font;
}

} // namespace

frmInfo::frmInfo()
    : QWidget(nullptr, Qt::Window)
{
    setObjectName(QStringLiteral("frmInfo"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Image information"));
    setFixedSize(kClientWidth, kClientHeight);

    m_txtInfo = new QPlainTextEdit(this);
    m_txtInfo->setObjectName(QStringLiteral("txtInfo"));
    m_txtInfo->setReadOnly(true);
    m_txtInfo->setFont(reportFont());
    m_txtInfo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_txtInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Laid out as 473 wide from left 16, which would run 4 pixels past the
    // client area; the width gives way so the right margin matches the left.
    m_txtInfo->setGeometry(16, 8, kClientWidth - 2 * 16, 249);

    m_cmdClose = new chameleonButton(this);
    m_cmdClose->setObjectName(QStringLiteral("cmdClose"));
    PropertyBag bag;
    bag.write(QStringLiteral("BTYPE"), int(chameleonButton::Gradient));
    bag.write(QStringLiteral("TX"), QStringLiteral("Close"));
    bag.write(QStringLiteral("ENAB"), true);
    bag.write(QStringLiteral("FONT"), reportFont());
    bag.write(QStringLiteral("COLTYPE"), int(chameleonButton::SchemeCustom));
    bag.write(QStringLiteral("FOCUSR"), true);
    bag.write(QStringLiteral("BCOL"), quint32(0xFFFF80));
    bag.write(QStringLiteral("FCOL"), quint32(0));
    m_cmdClose->ReadProperties(bag);
    m_cmdClose->setGeometry(368, 272, 81, 25);
    connect(m_cmdClose, &chameleonButton::Click, this, &frmInfo::cmdClose_Click);
}

frmInfo* frmInfo::instance()
{
    if (!g_instance)
        g_instance = new frmInfo();
    return g_instance;
}

frmInfo* frmInfo::existing()
{
    return g_instance;
}

void frmInfo::ShowImageInfo(QWidget* mainWindow, InformationWriter& converter,
    const QString& folder, const QString& name1, const QString& name2)
{
    const quint64 ticket = ++g_latestReport;
    QPointer<frmInfo> window = instance();
    window->beginReport(mainWindow);
    const QString report = ImageInfoReport().Make(folder, name1, name2, converter);
    // Closed meanwhile, or a later press owns the window now.
    if (!window || ticket != g_latestReport)
        return;
    window->setReport(report);
}

void frmInfo::beginReport(const QWidget* mainWindow)
{
    if (mainWindow)
        FramePlacement::place(this, mainWindow, &frmInfo::centredPosition);
    show();
    raise();
    activateWindow();
    repaint();
    m_txtInfo->clear();
    m_txtInfo->repaint();
}

void frmInfo::setReport(const QString& text)
{
    m_txtInfo->setPlainText(text);
}

QString frmInfo::reportText() const
{
    // QPlainTextEdit keeps paragraphs, not the CR LF between them.
    return m_txtInfo->toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}

QPoint frmInfo::centredPosition(const QRect& mainFrame, const QSize& frameSize)
{
    const double left = mainFrame.x() + mainFrame.width() / 2.0 - frameSize.width() / 2.0;
    const double top = mainFrame.y() + mainFrame.height() / 2.0 - frameSize.height() / 2.0;
    return {static_cast<int>(std::nearbyint(left)), static_cast<int>(std::nearbyint(top))};
}

void frmInfo::cmdClose_Click()
{
    close();
}
