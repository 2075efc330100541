// Renders every button style in every look at the two sizes the windows use
// into one labelled picture, build/button-sheet.png, for a human to look at
// (docs/button-sheet.png is a committed copy).
#include <gtest/gtest.h>

#include <QDir>
#include <QPainter>

#include "controls/ButtonOutline.h"
#include "controls/ButtonPainter.h"

namespace {

constexpr int kScale = 2;
constexpr quint32 kWindowGrey = 0xAAAAAA;
constexpr quint32 kHoverColour = 0xFFC5AA; // the main window's hover BackColor

struct Look {
    const char* label;
    int state;
    bool enabled;
    bool focus;
    bool isDefault;
    quint32 back;
};

const Look kLooks[] = {
    {"normal", 0, true, false, false, 0xFFFF80},
    {"pressed", 2, true, false, false, 0xFFFF80},
    {"disabled", 0, false, false, false, 0xFFFF80},
    {"focused", 0, true, true, false, 0xFFFF80},
    {"default", 0, true, false, true, 0xFFFF80},
    {"hover", 0, true, false, false, kHoverColour},
};

const int kStyles[] = {1, 2, 3, 4, 5, 6, 7, 0};
const char* const kStyleNames[] = {"1 OutlinedBevel", "2 ClassicBevel", "3 Gradient",
    "4 SoftRounded", "5 BoldFlat", "6 DoubleEdge", "7 ThinEdge", "0 (none)"};

// One face as the window shows it: cut pixels show the window behind.
QImage shownFace(int type, const Look& look, QSize size)
{
    ButtonFace face;
    face.width = size.width();
    face.height = size.height();
    face.buttonType = type;
    face.caption = QStringLiteral("&Button");
    face.enabled = look.enabled;
    face.hasFocus = look.focus;
    face.shownAsDefault = look.isDefault;
    face.font = QFont(QStringLiteral("Arial"), 9);
    face.font.setPointSizeF(9.75);
    face.font.setBold(true);
    face.tones = DeriveSchemeColors(2, look.back, 0);
    QImage image;
    ButtonPainter(face, image).paint(look.state);
    const QRegion outline = BuildOutline(type, size.width(), size.height());
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (!outline.contains(QPoint(x, y)))
                image.setPixel(x, y, toQRgb(kWindowGrey));
    return image;
}

QImage renderSheet()
{
    const QSize sizes[] = {{75, 25}, {120, 33}};
    const int labelWidth = 130;
    const int headerHeight = 24;
    const int gap = 8;
    const int cellWidth = 120 * kScale + gap;
    const int rowHeight = (25 + 33) * kScale + 3 * gap;
    const int lookCount = int(std::size(kLooks));
    const int styleCount = int(std::size(kStyles));
    QImage sheet(labelWidth + lookCount * cellWidth + gap, headerHeight + styleCount * rowHeight,
        QImage::Format_RGB32);
    sheet.fill(toQRgb(kWindowGrey));
    QPainter painter(&sheet);
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
    for (int c = 0; c < lookCount; ++c)
        painter.drawText(QRect(labelWidth + c * cellWidth, 0, cellWidth, headerHeight),
            Qt::AlignCenter, QString::fromLatin1(kLooks[c].label));
    for (int r = 0; r < styleCount; ++r) {
        const int top = headerHeight + r * rowHeight;
        painter.setPen(Qt::black);
        painter.drawLine(0, top, sheet.width(), top);
        painter.drawText(QRect(6, top, labelWidth - 6, rowHeight), Qt::AlignVCenter,
            QString::fromLatin1(kStyleNames[r]));
        for (int c = 0; c < lookCount; ++c) {
            int y = top + gap;
            for (const QSize& size : sizes) {
                const QImage face = shownFace(kStyles[r], kLooks[c], size);
                painter.drawImage(QPoint(labelWidth + c * cellWidth, y),
                    face.scaled(
                        face.size() * kScale, Qt::IgnoreAspectRatio, Qt::FastTransformation));
                y += size.height() * kScale + gap;
            }
        }
    }
    return sheet;
}

TEST(ButtonSheet, RendersEveryStyleAndLook)
{
    const QImage sheet = renderSheet();
    const QString path
        = QDir(QStringLiteral(CORVANE_BIN_DIR)).absoluteFilePath("../button-sheet.png");
    ASSERT_TRUE(sheet.save(path)) << path.toStdString();
    // Spot check: the Gradient row's normal 120 x 33 face has its dark blue outline.
    const QImage gradient = shownFace(3, kLooks[0], {120, 33});
    EXPECT_EQ(fromQRgb(gradient.pixel(60, 0)), 0x733C00u);
    EXPECT_EQ(fromQRgb(gradient.pixel(0, 0)), kWindowGrey);
}

} // namespace
