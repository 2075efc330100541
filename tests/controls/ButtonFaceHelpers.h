#pragma once
// Shared helpers of the button tests: faces drawn without a widget, pixel
// reads in the 0x00BBGGRR layout, and a caption font that draws solid pixels.

#include <QFont>
#include <QImage>
#include <QString>

#include <ostream>

#include "controls/ButtonColors.h"
#include "controls/ButtonPainter.h"

inline QFont solidFont(int pointSize = 9)
{
    QFont font(QStringLiteral("DejaVu Sans"), pointSize);
    // Without anti-aliasing every caption pixel is exactly the text colour.
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

inline ButtonFace customFace(
    int type, int w = 75, int h = 25, quint32 back = 0xFFFF80, quint32 fore = 0)
{
    ButtonFace face;
    face.width = w;
    face.height = h;
    face.buttonType = type;
    face.font = solidFont();
    face.tones = DeriveSchemeColors(2, back, fore);
    return face;
}

inline QImage paintFace(const ButtonFace& face, int state)
{
    QImage image;
    ButtonPainter(face, image).paint(state);
    return image;
}

inline quint32 px(const QImage& image, int x, int y)
{
    return fromQRgb(image.pixel(x, y));
}

inline quint32 rgbToBgr(int r, int g, int b)
{
    return quint32(r) | (quint32(g) << 8) | (quint32(b) << 16);
}

// Pixels of exactly one colour, as points.
inline QList<QPoint> pixelsOf(const QImage& image, quint32 colour)
{
    QList<QPoint> points;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (px(image, x, y) == colour)
                points << QPoint(x, y);
    return points;
}

// Readable QString / QStringList values in test failures.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}
