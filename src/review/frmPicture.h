#pragma once
// frmPicture: one file of a duplicate group at full size, to look closer
// before deciding. Scrollable; zoom with Ctrl and the wheel or the + and -
// keys, 0 fits the window, 1 shows every pixel once; Escape closes.
//
//   frmPicture
//   |-- toolbar   zoom out, zoom in, fit, actual size, zoom text
//   `-- scroll area with the picture

#include <QImage>
#include <QWidget>

class QLabel;
class QScrollArea;
class QToolButton;

class frmPicture : public QWidget {
    Q_OBJECT
public:
    // A new window (deleted when closed) showing the file at path.
    static frmPicture* showFile(const QByteArray& path, const QString& shownPath, QWidget* near);

    frmPicture(const QImage& picture, const QString& title, QWidget* parent = nullptr);

    double zoom() const { return m_zoom; }
    void setZoom(double zoom);
    void zoomIn();
    void zoomOut();
    void fitToWindow();
    QScrollArea* scrollArea() const { return m_scroll; }

protected:
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void setupWidgets();

    QImage m_picture;
    double m_zoom = 1.0;
    QScrollArea* m_scroll = nullptr;
    QLabel* m_canvas = nullptr;
    QLabel* m_zoomText = nullptr;
};
