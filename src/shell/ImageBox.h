#pragma once
// An image box: shows its picture stretched to its own size. The scaled copy
// is made once per size, so repaints of a large photo stay cheap.

#include <QImage>
#include <QPixmap>
#include <QWidget>

class ImageBox : public QWidget {
    Q_OBJECT
public:
    explicit ImageBox(QWidget* parent = nullptr);

    void setPicture(const QImage& picture);
    void clearPicture() { setPicture(QImage()); }
    const QImage& picture() const { return m_picture; }
    bool hasPicture() const { return !m_picture.isNull(); }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QImage m_picture;
    QPixmap m_scaled;
};
