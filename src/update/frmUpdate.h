#pragma once
// frmUpdate: the small window that announces a newer Corvane and offers the
// download page. One shared instance exists while it is on show. While it is
// open the main window is disabled; however it closes (Yes, No, the close
// box, or being destroyed) the main window is enabled again.
//
//   frmUpdate (304 x 172)
//   +-------+
//   |Image1 |   Label1  "Download" / "Corvane 1.20"
//   +-------+
//                         [ cmdYes ] [ cmdNo ]

#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>
#include <functional>

class QLabel;
class chameleonButton;

class frmUpdate : public QWidget {
    Q_OBJECT
public:
    // Opens a web page; returns whether it could. Its result is not shown.
    using UrlOpener = std::function<bool(const QUrl&)>;

    // Shows the shared window for `version` (the text as published) without
    // blocking, placed over `mainWindow`, which stays disabled until the
    // window closes. An empty opener means QDesktopServices::openUrl.
    static void showFor(QWidget* mainWindow, const QString& version, UrlOpener openUrl = {});

    // The shared window while it is loaded, otherwise nullptr.
    static frmUpdate* instance();

    // Where the window's outer frame goes: centred across the main window's
    // frame, its centre at one third of the main window's height. Halves of a
    // pixel round to even.
    static QPoint placement(const QRect& mainFrame, const QSize& ownFrame);

    ~frmUpdate() override;

    QLabel* Image1() const { return m_image1; }
    QLabel* Label1() const { return m_label1; }
    chameleonButton* cmdYes() const { return m_cmdYes; }
    chameleonButton* cmdNo() const { return m_cmdNo; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    frmUpdate(QWidget* mainWindow, UrlOpener openUrl);
    void setupWidgets();
    void setupConnections();

    void Form_Load();
    void Form_Unload();
    void cmdYes_Click();
    void cmdNo_Click();

    QPointer<QWidget> m_mainWindow;
    UrlOpener m_openUrl;
    QLabel* m_image1 = nullptr;
    QLabel* m_label1 = nullptr;
    chameleonButton* m_cmdYes = nullptr;
    chameleonButton* m_cmdNo = nullptr;
};
