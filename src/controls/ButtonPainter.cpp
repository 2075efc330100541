#include "controls/ButtonPainter.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr quint32 kGradientLine = 0x733C00;
constexpr quint32 kGradientDot = 0x7B4D10;
constexpr quint32 kHotInnerFrame = 0xE7AE8C;
constexpr quint32 kHotBottom = 0xEF826B;
constexpr quint32 kHotTop = 0xFFE7CE;
constexpr quint32 kHotSecondTop = 0xF7D7BD;
constexpr quint32 kHotSides = 0xF0D1B5;
constexpr quint32 kCaptionFrame = 0xCC9999;

quint32 Off(quint32 colour, qint32 amount)
{
    return OffsetColor(colour, amount, false);
}

quint32 OffB(quint32 colour, qint32 amount)
{
    return OffsetColor(colour, amount, true);
}

// -step * i in single precision, rounded half to even (the default FP mode).
int gradientAmount(float step, int i)
{
    return static_cast<int>(std::nearbyint(-step * static_cast<float>(i)));
}

} // namespace

ButtonPainter::ButtonPainter(const ButtonFace& face, QImage& image)
    : m_face(face)
    , m_image(image)
    , m_w(face.width)
    , m_h(face.height)
    , m_drawFont(face.font)
{
    if (m_w <= 0 || m_h <= 0) {
        m_image = QImage();
        return;
    }
    if (m_image.size() != QSize(m_w, m_h) || m_image.format() != QImage::Format_RGB32)
        m_image = QImage(m_w, m_h, QImage::Format_RGB32);
}

void ButtonPainter::fill(int x, int y, int w, int h, quint32 colour)
{
    // An inverted rectangle (tiny faces) fills nothing; QRect would normalise it.
    if (w <= 0 || h <= 0)
        return;
    const QRect area = QRect(x, y, w, h).intersected(m_image.rect());
    if (area.isEmpty())
        return;
    const QRgb rgb = toQRgb(colour);
    for (int row = area.top(); row <= area.bottom(); ++row) {
        auto* line = reinterpret_cast<QRgb*>(m_image.scanLine(row));
        std::fill(line + area.left(), line + area.right() + 1, rgb);
    }
}

void ButtonPainter::frame(int x, int y, int w, int h, quint32 colour)
{
    if (w <= 0 || h <= 0)
        return;
    fill(x, y, w, 1, colour);
    fill(x, y + h - 1, w, 1, colour);
    fill(x, y, 1, h, colour);
    fill(x + w - 1, y, 1, h, colour);
}

void ButtonPainter::outline(int inset, quint32 colour)
{
    const int W = m_w, H = m_h;
    line(inset, 0, W - inset, 0, colour);
    line(inset, H - 1, W - inset, H - 1, colour);
    line(0, inset, 0, H - inset, colour);
    line(W - 1, inset, W - 1, H - inset, colour);
}

void ButtonPainter::line(int x1, int y1, int x2, int y2, quint32 colour)
{
    // Every line of the styles is horizontal or vertical: those are spans.
    if (y1 == y2) {
        if (x1 < x2)
            fill(x1, y1, x2 - x1, 1, colour);
        else if (x1 > x2)
            fill(x2 + 1, y1, x1 - x2, 1, colour);
        return;
    }
    if (x1 == x2) {
        if (y1 < y2)
            fill(x1, y1, 1, y2 - y1, colour);
        else
            fill(x1, y2 + 1, 1, y1 - y2, colour);
        return;
    }
    // Bresenham from the start point, stopping before the end point.
    const int dx = std::abs(x2 - x1);
    const int dy = -std::abs(y2 - y1);
    const int sx = x1 < x2 ? 1 : -1;
    const int sy = y1 < y2 ? 1 : -1;
    int err = dx + dy;
    int x = x1;
    int y = y1;
    while (x != x2 || y != y2) {
        dot(x, y, colour);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

void ButtonPainter::dot(int x, int y, quint32 colour)
{
    if (x < 0 || y < 0 || x >= m_image.width() || y >= m_image.height())
        return;
    reinterpret_cast<QRgb*>(m_image.scanLine(y))[x] = toQRgb(colour);
}

void ButtonPainter::focusFrame()
{
    const int left = 4;
    const int top = 4;
    const int right = m_w - 4;
    const int bottom = m_h - 4;
    if (right <= left || bottom <= top)
        return;
    const auto invert = [this](int x, int y) {
        if ((x + y) % 2 != 0 || x >= m_image.width() || y >= m_image.height())
            return;
        QRgb* pixel = reinterpret_cast<QRgb*>(m_image.scanLine(y)) + x;
        *pixel ^= 0x00FFFFFFu;
    };
    // Each border pixel exactly once, so corners are not inverted back.
    for (int x = left; x < right; ++x) {
        invert(x, top);
        if (bottom - 1 != top)
            invert(x, bottom - 1);
    }
    for (int y = top + 1; y < bottom - 1; ++y) {
        invert(left, y);
        if (right - 1 != left)
            invert(right - 1, y);
    }
}

void ButtonPainter::text(int left, int top, int right, int bottom)
{
    if (m_face.caption.isEmpty() || m_image.isNull())
        return;
    QPainter painter(&m_image);
    painter.setFont(m_drawFont);
    painter.setPen(QColor::fromRgb(toQRgb(m_textColour)));
    painter.drawText(QRectF(left, top, right - left, bottom - top),
        Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic | Qt::TextExpandTabs,
        m_face.caption);
}

void ButtonPainter::embossedText()
{
    setTextColour(m_face.tones.HighlightTone);
    textShifted();
    setTextColour(m_face.tones.ShadowTone);
    textFull();
}

void ButtonPainter::paint(int state)
{
    if (m_image.isNull())
        return;
    m_showFocus = m_face.hasFocus && m_face.showFocusRect;
    m_drawFont = m_face.font;
    fill(0, 0, m_w, m_h, m_face.tones.FaceTone);
    if (m_face.enabled) {
        setTextColour(m_face.tones.TextTone);
        if (state != 0 && state != 2)
            return;
    }
    switch (m_face.buttonType) {
    case 1:
        outlinedBevel(state);
        break;
    case 2:
        classicBevel(state);
        break;
    case 3:
        gradient(state);
        break;
    case 4:
        softRounded(state);
        break;
    case 5:
        boldFlat(state);
        break;
    case 6:
        doubleEdge(state);
        break;
    case 7:
        thinEdge(state);
        break;
    default:
        break;
    }
}

// --- Style 1: dark outline around a two-pixel bevel.

void ButtonPainter::outlinedBevelEdges()
{
    outline(1, m_face.tones.DarkTone);
}

void ButtonPainter::outlinedBevel(int state)
{
    const int W = m_w, H = m_h;
    const ButtonTones& t = m_face.tones;
    const bool pressed = m_face.enabled && state == 2;
    if (!m_face.enabled)
        embossedText();
    else if (pressed)
        textShifted();
    else
        textFull();
    outlinedBevelEdges();
    const quint32 inner = pressed ? t.ShadowTone : t.HighlightTone;
    const quint32 outer = pressed ? t.HighlightTone : t.ShadowTone;
    frame(1, 1, W - 2, H - 2, inner);
    frame(2, 2, W - 4, H - 4, inner);
    line(W - 2, 1, W - 2, H - 1, outer);
    line(W - 3, 2, W - 3, H - 1, outer);
    line(1, H - 2, W - 1, H - 2, outer);
    line(2, H - 3, W - 2, H - 3, outer);
    if (m_face.enabled && m_showFocus)
        focusFrame();
}

// --- Style 2: classic two-level bevel, dark frame when shown as default.

void ButtonPainter::classicBevelPlain()
{
    const int W = m_w, H = m_h;
    const ButtonTones& t = m_face.tones;
    frame(0, 0, W - 1, H - 1, t.HighlightTone);
    frame(1, 1, W - 2, H - 2, t.LightTone);
    line(W - 1, 0, W - 1, H, t.DarkTone);
    line(W - 2, 1, W - 2, H - 1, t.ShadowTone);
    line(0, H - 1, W - 1, H - 1, t.DarkTone);
    line(1, H - 2, W - 2, H - 2, t.ShadowTone);
}

void ButtonPainter::classicBevel(int state)
{
    const int W = m_w, H = m_h;
    const ButtonTones& t = m_face.tones;
    if (!m_face.enabled) {
        embossedText();
        classicBevelPlain();
        return;
    }
    if (state == 0) {
        textFull();
        if (m_face.showFocusRect && m_face.shownAsDefault) {
            frame(1, 1, W - 2, H - 2, t.HighlightTone);
            frame(2, 2, W - 4, H - 4, t.LightTone);
            line(W - 2, 1, W - 2, H - 1, t.DarkTone);
            line(W - 3, 2, W - 3, H - 1, t.ShadowTone);
            line(1, H - 2, W - 1, H - 2, t.DarkTone);
            line(2, H - 3, W - 2, H - 3, t.ShadowTone);
            if (m_showFocus)
                focusFrame();
            frame(0, 0, W, H, t.DarkTone);
        } else {
            classicBevelPlain();
        }
        return;
    }
    textShifted();
    if (m_face.showFocusRect) {
        frame(0, 0, W, H, t.DarkTone);
        frame(1, 1, W - 2, H - 2, t.ShadowTone);
        if (m_showFocus)
            focusFrame();
    } else {
        frame(0, 0, W - 1, H - 1, t.DarkTone);
        frame(1, 1, W - 2, H - 2, t.ShadowTone);
        line(W - 1, 0, W - 1, H, t.HighlightTone);
        line(W - 2, 1, W - 2, H - 1, t.LightTone);
        line(0, H - 1, W - 1, H - 1, t.HighlightTone);
        line(1, H - 2, W - 2, H - 2, t.LightTone);
    }
}

// --- Style 3: vertical gradient with a dark blue rounded outline.

void ButtonPainter::gradientOutline(quint32 lineColour, quint32 dotColour)
{
    const int W = m_w, H = m_h;
    outline(2, lineColour);
    dot(1, 1, dotColour);
    dot(1, H - 2, dotColour);
    dot(W - 2, 1, dotColour);
    dot(W - 2, H - 2, dotColour);
}

void ButtonPainter::gradient(int state)
{
    const int W = m_w, H = m_h;
    const ButtonTones& t = m_face.tones;
    const quint32 base = OffB(t.FaceTone, 48);
    if (!m_face.enabled) {
        fill(0, 0, W, H, OffB(base, -24));
        setTextColour(OffB(base, -104));
        textFull();
        gradientOutline(OffB(base, -84), OffB(base, -72));
        return;
    }
    if (state == 0) {
        const float step = 25.0f / static_cast<float>(H);
        for (int i = 1; i <= H; ++i)
            line(0, i, W, i, OffB(base, gradientAmount(step, i)));
        setTextColour(t.TextTone);
        textFull();
        gradientOutline(kGradientLine, kGradientDot);
        const bool hotLook = (m_face.showFocusRect && m_face.shownAsDefault) || m_showFocus;
        if (hotLook) {
            frame(1, 2, W - 2, H - 4, kHotInnerFrame);
            line(2, H - 2, W - 2, H - 2, kHotBottom);
            line(2, 1, W - 2, 1, kHotTop);
            line(1, 2, W - 1, 2, kHotSecondTop);
            line(2, 3, 2, H - 3, kHotSides);
            line(W - 3, 3, W - 3, H - 3, kHotSides);
        } else {
            line(2, H - 2, W - 2, H - 2, OffB(base, -48));
            line(1, H - 3, W - 2, H - 3, OffB(base, -32));
            line(W - 2, 2, W - 2, H - 2, OffB(base, -36));
            line(W - 3, 3, W - 3, H - 3, OffB(base, -24));
            line(2, 1, W - 2, 1, OffB(base, 16));
            line(1, 2, W - 2, 2, OffB(base, 10));
            line(1, 2, 1, H - 2, OffB(base, -5));
            line(2, 3, 2, H - 3, OffB(base, -10));
        }
        return;
    }
    const quint32 p = OffB(base, -32);
    const float step = 15.0f / static_cast<float>(H);
    for (int i = 1; i <= H; ++i)
        line(0, H - i, W, H - i, OffB(p, gradientAmount(step, i)));
    setTextColour(t.TextTone);
    textShifted();
    gradientOutline(kGradientLine, kGradientDot);
    line(2, H - 2, W - 2, H - 2, OffB(p, 16));
    line(1, H - 3, W - 2, H - 3, OffB(p, 10));
    line(W - 2, 2, W - 2, H - 2, OffB(p, 5));
    line(W - 3, 3, W - 3, H - 3, p);
    line(2, 1, W - 2, 1, OffB(p, -32));
    line(1, 2, W - 2, 2, OffB(p, -24));
    line(1, 2, 1, H - 2, OffB(p, -32));
    line(2, 2, 2, H - 2, OffB(p, -22));
}

// --- Style 4: light face, dark rounded outline, soft bevel.

void ButtonPainter::softRoundedNormalEdges()
{
    const int W = m_w, H = m_h;
    const ButtonTones& t = m_face.tones;
    outline(2, t.DarkTone);
    dot(1, 1, t.DarkTone);
    dot(1, H - 2, t.DarkTone);
    dot(W - 2, 1, t.DarkTone);
    dot(W - 2, H - 2, t.DarkTone);
    dot(1, 2, t.FaceTone);
    dot(2, 1, t.FaceTone);
    line(3, 2, W - 3, 2, t.HighlightTone);
    line(2, 2, 2, H - 3, t.HighlightTone);
    dot(3, 3, t.HighlightTone);
    line(W - 3, 1, W - 3, H - 3, t.FaceTone);
    line(1, H - 3, W - 3, H - 3, t.FaceTone);
    dot(W - 4, H - 4, t.FaceTone);
    line(W - 2, 3, W - 2, H - 2, t.ShadowTone);
    line(3, H - 2, W - 2, H - 2, t.ShadowTone);
    dot(W - 3, H - 3, t.ShadowTone);
    dot(2, H - 2, t.FaceTone);
    dot(2, H - 3, t.LightTone);
    dot(W - 2, 2, t.FaceTone);
    dot(W - 3, 2, t.LightTone);
}

void ButtonPainter::softRounded(int state)
{
    const int W = m_w, H = m_h;
    const ButtonTones& t = m_face.tones;
    if (!m_face.enabled) {
        fill(1, 1, W - 2, H - 2, t.LightTone);
        embossedText();
        softRoundedNormalEdges();
        return;
    }
    if (state == 0) {
        fill(1, 1, W - 2, H - 2, t.LightTone);
        textFull();
        softRoundedNormalEdges();
        return;
    }
    const quint32 s = t.ShadowTone;
    fill(1, 1, W - 2, H - 2, Off(s, -16));
    setTextColour(t.LightTone);
    textShifted();
    outline(2, t.DarkTone);
    frame(1, 1, W - 2, H - 2, Off(s, -64));
    frame(2, 2, W - 4, H - 4, Off(s, -32));
    dot(2, 2, Off(s, -64));
    dot(3, 3, Off(s, -32));
    dot(1, 1, t.DarkTone);
    dot(1, H - 2, t.DarkTone);
    dot(W - 2, 1, t.DarkTone);
    dot(W - 2, H - 2, t.DarkTone);
    line(W - 3, 1, W - 3, H - 3, s);
    line(1, H - 3, W - 2, H - 3, s);
    dot(W - 4, H - 4, s);
    line(W - 2, 3, W - 2, H - 2, Off(s, -16));
    line(3, H - 2, W - 2, H - 2, Off(s, -16));
    dot(W - 2, H - 3, Off(s, -32));
    dot(W - 3, H - 2, Off(s, -32));
    dot(2, H - 2, Off(s, -32));
    dot(2, H - 3, Off(s, -16));
    dot(1, H - 3, Off(s, -16));
    dot(W - 2, 2, Off(s, -32));
    dot(W - 3, 2, Off(s, -16));
    dot(W - 3, 1, Off(s, -16));
}

// --- Style 5: bold caption on a flat face; focus frames the caption.

void ButtonPainter::boldFlatCaptionFrame()
{
    // Measured on the caption as stored, ampersands included.
    const QFontMetrics metrics(m_drawFont, &m_image);
    const int tw = metrics.horizontalAdvance(m_face.caption);
    const int th = metrics.height();
    const int a = m_w - tw;
    const int b = m_h - th;
    frame(a / 2 - 3, b / 2 - 1, tw + 6, th + 2, kCaptionFrame);
}

void ButtonPainter::boldFlat(int state)
{
    const int W = m_w, H = m_h;
    const ButtonTones& t = m_face.tones;
    // The bold switch only touches this painter's copy of the font, so the
    // button's Font keeps its own weight.
    m_drawFont.setBold(true);
    if (!m_face.enabled) {
        setTextColour(t.ShadowTone);
        textFull();
        frame(0, 0, W, H, t.ShadowTone);
    } else if (state == 0) {
        fill(1, 1, W - 1, H - 1, Off(t.FaceTone, 12));
        textFull();
        frame(1, 1, W - 1, H - 1, t.HighlightTone);
        frame(0, 0, W - 1, H - 1, Off(t.ShadowTone, -26));
        dot(1, H - 2, Off(t.ShadowTone, 26));
        dot(W - 2, 1, Off(t.ShadowTone, 26));
        if (m_showFocus)
            boldFlatCaptionFrame();
    } else {
        fill(1, 1, W - 2, H - 2, Off(t.ShadowTone, 16));
        frame(0, 0, W - 1, H - 1, Off(t.ShadowTone, -26));
        line(W - 1, 1, W - 1, H, t.HighlightTone);
        line(1, H - 1, W - 1, H - 1, t.HighlightTone);
        textFull();
        if (m_showFocus)
            boldFlatCaptionFrame();
    }
    m_drawFont.setBold(m_face.font.bold());
}

// --- Style 6: two-pixel light edge top/left, shadow edge right/bottom.

void ButtonPainter::doubleEdgeNormalEdges()
{
    const int W = m_w, H = m_h;
    const ButtonTones& t = m_face.tones;
    const quint32 light = Off(t.LightTone, 8);
    frame(0, 0, W, H, light);
    frame(1, 1, W - 2, H - 2, light);
    line(W - 1, 0, W - 1, H, t.ShadowTone);
    line(W - 2, 1, W - 2, H - 1, t.ShadowTone);
    line(0, H - 1, W, H - 1, t.ShadowTone);
    line(1, H - 2, W - 1, H - 2, t.ShadowTone);
}

void ButtonPainter::doubleEdge(int state)
{
    const int W = m_w, H = m_h;
    const ButtonTones& t = m_face.tones;
    if (!m_face.enabled) {
        setTextColour(t.ShadowTone);
        textFull();
        doubleEdgeNormalEdges();
        return;
    }
    if (state == 0) {
        textFull();
        doubleEdgeNormalEdges();
    } else {
        const quint32 light = Off(t.LightTone, 8);
        textShifted();
        frame(0, 0, W, H, t.ShadowTone);
        frame(1, 1, W - 2, H - 2, t.ShadowTone);
        line(W - 1, 0, W - 1, H, light);
        line(W - 2, 1, W - 2, H - 1, light);
        line(0, H - 1, W, H - 1, light);
        line(1, H - 2, W - 1, H - 2, light);
    }
    if (m_showFocus)
        focusFrame();
}

// --- Style 7: one-pixel highlight edge with a shadow right/bottom.

void ButtonPainter::thinEdge(int state)
{
    const int W = m_w, H = m_h;
    const ButtonTones& t = m_face.tones;
    if (!m_face.enabled) {
        embossedText();
        frame(0, 0, W, H, t.HighlightTone);
        line(W - 1, 0, W - 1, H, t.ShadowTone);
        line(0, H - 1, W - 1, H - 1, t.ShadowTone);
        return;
    }
    if (state == 0) {
        textFull();
        frame(0, 0, W, H, t.HighlightTone);
        line(W - 1, 0, W - 1, H, t.ShadowTone);
        line(0, H - 1, W, H - 1, t.ShadowTone);
    } else {
        textShifted();
        frame(0, 0, W, H, t.ShadowTone);
        line(W - 1, 0, W - 1, H, t.HighlightTone);
        line(0, H - 1, W - 1, H - 1, t.HighlightTone);
    }
    if (m_showFocus)
        focusFrame();
}
