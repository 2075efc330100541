#pragma once
// chameleonButton: Corvane's own push button. It paints its face itself into
// an image (see the painter), keeps the pressed look in step with mouse and
// space bar, and raises its events as Qt signals in their declared order.
//
// Colours are 32-bit values 0x00BBGGRR (red in the low byte), as stored in
// the windows' layouts.

#include <QFont>
#include <QImage>
#include <QRegion>
#include <QString>
#include <QVariant>
#include <QWidget>

#include "controls/ButtonColors.h"
#include "controls/PropertyBag.h"

#include <memory>

class chameleonButton : public QWidget {
    Q_OBJECT
public:
    enum ButtonTypes {
        OutlinedBevel = 1,
        ClassicBevel = 2,
        Gradient = 3,
        SoftRounded = 4,
        BoldFlat = 5,
        DoubleEdge = 6,
        ThinEdge = 7,
    };
    enum ColorSchemes { SchemeSystem = 1, SchemeCustom = 2, SchemeFixedGrey = 3 };
    enum FaceStates { StateNormal = 0, StatePressed = 2 };

    // A new button carries the values of a newly placed control (ClassicBevel,
    // system colours, enabled, empty caption); ReadProperties or the setters
    // then give it its own.
    explicit chameleonButton(QWidget* parent = nullptr);
    ~chameleonButton() override;

    // Public properties (getter / setter pairs).
    quint32 BackColor() const;
    void setBackColor(quint32 bgr);
    quint32 ForeColor() const;
    void setForeColor(quint32 bgr);
    int ButtonType() const;
    void setButtonType(int type);
    QString Caption() const;
    void setCaption(const QString& caption);
    bool Enabled() const;
    void setEnabledProperty(bool enabled);
    QFont Font() const;
    void setFontProperty(const QFont& font);
    int ColorScheme() const;
    void setColorScheme(int scheme);
    bool ShowFocusRect() const;
    void setShowFocusRect(bool show);
    // The window id of the button's native window (its window's, as child
    // widgets have none of their own; asking must not create one).
    WId hwnd() const { return effectiveWinId(); }

    // Property bag: keys matched without regard to case; every key written.
    void InitProperties();
    void ReadProperties(const PropertyBag& bag);
    void WriteProperties(PropertyBag& bag) const;

    // Paints the face for a state; unforced calls skip when nothing changed.
    void PaintButton(int state, bool force);

    // The face as last painted (for tests and the sheet).
    const QImage& faceImage() const;
    int paintedState() const;

    // "Shown as default": the window marks the button that Enter would press.
    // ClassicBevel and Gradient draw it differently; changing it repaints.
    // The button does not act on Enter itself; the window decides that.
    void setDefault(bool isDefault);
    bool isDefault() const;

    // The access key taken from the caption ("&Yes" gives "y"), lower case,
    // or empty. Alt+key anywhere in the button's window runs the click step.
    QString accessKey() const;

    // A click as the space bar gives it: remembers the left button as the
    // pressed one, then repaints and raises Click, unless the button is disabled.
    void click();

    // The six tones the face is drawn with.
    ButtonTones tones() const;

    // Caption text as shown: "&x" becomes "x" and "&&" becomes "&".
    static QString stripMnemonic(const QString& caption);

signals:
    // Declared in this order on purpose: the order is part of the control's contract.
    void Click();
    void MouseDown(short& Button, short& Shift, float& X, float& Y);
    void MouseMove(short& Button, short& Shift, float& X, float& Y);
    void MouseUp(short& Button, short& Shift, float& X, float& Y);
    void KeyPress(short& KeyAscii);
    void KeyDown(short& KeyCode, short& Shift);
    void KeyUp(short& KeyCode, short& Shift);
    // Property-changed notification with the property's bag key.
    void PropertyChanged(const QString& key);

protected:
    // Event plumbing; the implementation decides what it overrides.
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void DeriveSchemeColors();
    void ApplyMnemonic();
    void resizeHandling();
    void mouseDownStep(short button, short shift, float x, float y);
    void mouseUpStep(short button, short shift, float x, float y);
    void clickStep();
    void doubleClickStep();

    struct Private;
    std::unique_ptr<Private> d;
};
