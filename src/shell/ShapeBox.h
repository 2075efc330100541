#pragma once
// A rectangle shape: the grey frame of an empty picture area. Like a drawn
// shape it takes no mouse input, so moves over it reach the window.

#include <QWidget>

class ShapeBox : public QWidget {
    Q_OBJECT
public:
    explicit ShapeBox(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* e) override;
};
