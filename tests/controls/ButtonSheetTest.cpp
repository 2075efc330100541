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
// BackColor values are &H00BBGGRR.
constexpr quint32 backColor(quint32 red, quint32 green, quint32 blue)
{
    return blue << 16 | green << 8 | red;
}
// The windows' buttons turn 150, 190, 255 under the pointer.
constexpr quint32 kHoverColour = backColor(150, 190, 255);

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

const QSize kSizes[] = {{75, 25}, {120, 33}};
constexpr int kLabelWidth = 130;
constexpr int kHeaderHeight = 24;
constexpr int kGap = 8;
constexpr int kCellWidth = 120 * kScale + kGap;
constexpr int kRowHeight = (25 + 33) * kScale + 3 * kGap;

// Where the sheet shows the face of style row `row`, look column `column`, size `sizeIndex`.
QPoint faceOrigin(int row, int column, int sizeIndex)
{
    int y = kHeaderHeight + row * kRowHeight + kGap;
    for (int i = 0; i < sizeIndex; ++i)
        y += kSizes[i].height() * kScale + kGap;
    return {kLabelWidth + column * kCellWidth, y};
}

QImage renderSheet()
{
    const int labelWidth = kLabelWidth;
    const int headerHeight = kHeaderHeight;
    const int cellWidth = kCellWidth;
    const int rowHeight = kRowHeight;
    const int gap = kGap;
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
            for (int i = 0; i < int(std::size(kSizes)); ++i) {
                const QImage face = shownFace(kStyles[r], kLooks[c], kSizes[i]);
                painter.drawImage(faceOrigin(r, c, i),
                    face.scaled(
                        face.size() * kScale, Qt::IgnoreAspectRatio, Qt::FastTransformation));
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

TEST(ButtonSheet, HoverColumnShowsTheHoverColour)
{
    const QImage sheet = renderSheet();
    const int hover = int(std::size(kLooks)) - 1;
    ASSERT_STREQ(kLooks[hover].label, "hover");
    // What the windows show under the pointer, and at rest.
    const Look underPointer = {"hover", 0, true, false, false, backColor(150, 190, 255)};
    const Look atRest = {"resting", 0, true, false, false, backColor(170, 197, 255)};
    int differing = 0;
    for (int r = 0; r < int(std::size(kStyles)); ++r) {
        for (int i = 0; i < int(std::size(kSizes)); ++i) {
            const QImage shown
                = sheet.copy(QRect(faceOrigin(r, hover, i), kSizes[i] * kScale)).scaled(kSizes[i]);
            const QImage expected
                = shownFace(kStyles[r], underPointer, kSizes[i]).convertToFormat(shown.format());
            EXPECT_EQ(shown, expected) << kStyleNames[r] << " at " << kSizes[i].width();
            if (shownFace(kStyles[r], atRest, kSizes[i]).convertToFormat(shown.format())
                != expected)
                ++differing;
        }
    }
    // The two colours must tell apart on the faces, or the column proves nothing.
    EXPECT_GT(differing, 0);
}

} // namespace
