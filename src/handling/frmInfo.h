#pragma once
// frmInfo: the image-information window. One per program, created on first
// use and destroyed when closed; cmdInfo fills it with the report on the pair
// on show.
//
//   frmInfo (485 x 308 client area, fixed)
//   |-- txtInfo   read-only multi-line text, Arial 9.75 bold
//   `-- cmdClose  chameleonButton "Close"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

class InformationWriter;
class QPlainTextEdit;
class chameleonButton;

class frmInfo : public QWidget {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 485;
    static constexpr int kClientHeight = 308;

    // The shared window, created when there is none.
    static frmInfo* instance();
    // The shared window, or nullptr when none is open.
    static frmInfo* existing();

    // A cmdInfo press: shows the window centred on mainWindow, empty, then
    // fills it with the report on folder + name1 (described by the converter)
    // and folder + name2. folder ends with "/".
    static void ShowImageInfo(QWidget* mainWindow, InformationWriter& converter,
        const QString& folder, const QString& name1, const QString& name2);

    // Centres the window on mainWindow keeping its own size, shows it modeless
    // and without owner, paints it at once and empties the text.
    void beginReport(const QWidget* mainWindow);
    void setReport(const QString& text);
    QString reportText() const;

    QPlainTextEdit* txtInfo() const { return m_txtInfo; }
    chameleonButton* cmdClose() const { return m_cmdClose; }

    // Top-left of a frame of frameSize centred on mainFrame; half pixels round
    // to even, as Corvane's twip arithmetic always has.
    static QPoint centredPosition(const QRect& mainFrame, const QSize& frameSize);

private:
    frmInfo();
    void cmdClose_Click();

    QPlainTextEdit* m_txtInfo = nullptr;
    chameleonButton* m_cmdClose = nullptr;
};
