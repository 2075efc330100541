#include "controls/ButtonColors.h"

#include <QGuiApplication>
#include <QPalette>

#include <algorithm>

namespace {

qint64 clampComponent(qint64 value)
{
    return std::clamp<qint64>(value, 0, 255);
}

// The palette roles stand in for the classic 3-D colours: Button is the face,
// Midlight the light edge, Light the brightest edge, Dark the shadow edge,
// Shadow the darkest edge and ButtonText the caption.
quint32 paletteColour(QPalette::ColorRole role)
{
    const QColor colour = QGuiApplication::palette().color(QPalette::Active, role);
    return fromQRgb(colour.rgb());
}

} // namespace

quint32 OffsetColor(quint32 colour, qint32 amount, bool scaleBlue)
{
    // The split works on the signed value, so C++'s truncating division and
    // remainder (sign of the dividend) give the intended components even for
    // values with the top bit set.
    const qint64 value = static_cast<qint32>(colour);
    qint64 red = value & 255;
    qint64 green = (value / 256) % 256;
    qint64 blue = (value / 65536) % 256;
    if (scaleBlue)
        blue += (blue * amount) / 192;
    else
        blue += amount;
    green += amount;
    red += amount;
    return quint32(
        clampComponent(red) + 256 * clampComponent(green) + 65536 * clampComponent(blue));
}

ButtonTones DeriveSchemeColors(int scheme, quint32 backColor, quint32 foreColor)
{
    ButtonTones tones;
    if (scheme == 2) {
        tones.FaceTone = backColor;
        tones.LightTone = OffsetColor(backColor, 31);
        tones.HighlightTone = OffsetColor(backColor, 47);
        tones.ShadowTone = OffsetColor(backColor, -64);
        tones.DarkTone = OffsetColor(backColor, -192);
        tones.TextTone = foreColor;
    } else if (scheme == 3) {
        tones.FaceTone = 0xC0C0C0;
        tones.LightTone = 0xDFDFDF;
        tones.HighlightTone = 0xFFFFFF;
        tones.ShadowTone = 0x808080;
        tones.DarkTone = 0;
        tones.TextTone = 0;
    } else {
        tones.FaceTone = paletteColour(QPalette::Button);
        tones.ShadowTone = paletteColour(QPalette::Dark);
        tones.LightTone = paletteColour(QPalette::Midlight);
        tones.DarkTone = paletteColour(QPalette::Shadow);
        tones.HighlightTone = paletteColour(QPalette::Light);
        tones.TextTone = paletteColour(QPalette::ButtonText);
    }
    return tones;
}

quint32 systemButtonFace()
{
    return paletteColour(QPalette::Button);
}

quint32 systemButtonText()
{
    return paletteColour(QPalette::ButtonText);
}
