#pragma once
// The search's progress bar: a dark box filled from the left. The fill only
// grows during a search and is cleared when a search starts.

#include <QWidget>

class ProgressBarBox : public QWidget {
    Q_OBJECT
public:
    explicit ProgressBarBox(QWidget* parent = nullptr);

    void clear();
    // Fills from x = 0 to fillWidth, in the bar's own pixels.
    void fillTo(int fillWidth);
    int fillWidth() const { return m_fill; }

    static QColor backColor() { return QColor(90, 90, 90); }
    static QColor fillColor() { return QColor(12, 141, 255); }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    int m_fill = 0;
};
