#pragma once
// Draws a button face into an image, with no widget involved: the widget, the
// tests and the style sheet all go through this class.
//
// Coordinates are pixels of the face; rectangles are (left, top, width,
// height) with right and bottom exclusive. Colours are 0x00BBGGRR.

#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>

#include "controls/ButtonColors.h"

// Everything a face depends on.
struct ButtonFace {
    int width = 0;
    int height = 0;
    int buttonType = 2;
    QString caption;
    bool enabled = true;
    bool showFocusRect = true;
    bool hasFocus = false; // keyboard focus, before ShowFocusRect is applied
    bool shownAsDefault = false; // the window shows this button as its default one
    QFont font;
    ButtonTones tones;
};

class ButtonPainter {
public:
    // Paints into image, which is (re)made width x height in RGB32 when its
    // size differs. A zero width or height leaves a null image.
    ButtonPainter(const ButtonFace& face, QImage& image);

    // Clears the face to FaceTone and runs the sequence of the style for
    // state 0 (normal) or 2 (pressed); a disabled face ignores the state.
    void paint(int state);

    // Pixel primitives, clipped to the image.
    void fill(int x, int y, int w, int h, quint32 colour);
    void frame(int x, int y, int w, int h, quint32 colour);
    // From (x1, y1) towards (x2, y2), the end pixel itself not drawn.
    void line(int x1, int y1, int x2, int y2, quint32 colour);
    void dot(int x, int y, quint32 colour);
    // The four outline lines, top, bottom, left, right, each starting `inset`
    // pixels from the corners so the corner pixels stay free.
    void outline(int inset, quint32 colour);
    // Dotted frame on (4, 4, W - 4, H - 4) (right/bottom as edges), drawn by
    // inverting every other pixel, so drawing it twice removes it.
    void focusFrame();
    void setTextColour(quint32 colour) { m_textColour = colour; }
    // The caption centred on one line in the rectangle (left, top, right,
    // bottom), with "&" marking the underlined access key.
    void text(int left, int top, int right, int bottom);

private:
    void textFull() { text(0, 0, m_w, m_h); }
    void textShifted() { text(2, 2, m_w, m_h); }
    void embossedText();

    void outlinedBevel(int state);
    void outlinedBevelEdges();
    void classicBevel(int state);
    void classicBevelPlain();
    void gradient(int state);
    void gradientOutline(quint32 lineColour, quint32 dotColour);
    void softRounded(int state);
    void softRoundedNormalEdges();
    void boldFlat(int state);
    void boldFlatCaptionFrame();
    void doubleEdge(int state);
    void doubleEdgeNormalEdges();
    void thinEdge(int state);

    const ButtonFace& m_face;
    QImage& m_image;
    int m_w;
    int m_h;
    bool m_showFocus = false;
    quint32 m_textColour = 0;
    QFont m_drawFont;
};
