#pragma once
// The six tones every button face is drawn with, and the colour arithmetic
// behind them. Colours are 32-bit values 0x00BBGGRR (red in the low byte).

#include <QRgb>
#include <QtGlobal>

struct ButtonTones {
    quint32 FaceTone = 0;
    quint32 LightTone = 0;
    quint32 HighlightTone = 0;
    quint32 ShadowTone = 0;
    quint32 DarkTone = 0;
    quint32 TextTone = 0;
};

// Brightens (amount > 0) or darkens a colour; each component is clamped to
// 0..255. With scaleBlue the blue component moves by blue * amount / 192
// instead of by amount.
quint32 OffsetColor(quint32 colour, qint32 amount, bool scaleBlue = false);

// Tones for a colour scheme: 2 derives them from backColor/foreColor, 3 is a
// fixed grey set, anything else takes the application palette's 3-D colours
// (read at the moment of the call).
ButtonTones DeriveSchemeColors(int scheme, quint32 backColor, quint32 foreColor);

// The application palette's button face and button text, as 0x00BBGGRR.
quint32 systemButtonFace();
quint32 systemButtonText();

inline QRgb toQRgb(quint32 bgr)
{
    return qRgb(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

inline quint32 fromQRgb(QRgb rgb)
{
    return quint32(qRed(rgb)) | (quint32(qGreen(rgb)) << 8) | (quint32(qBlue(rgb)) << 16);
}
