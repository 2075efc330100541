#include "controls/chameleonButton.h"

#include <QAccessible>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QShortcutEvent>
#include <QStyleHints>

#include <cmath>

#include "controls/ButtonOutline.h"
#include "controls/ButtonPainter.h"
#include "controls/chameleonButtonAccessible.h"

namespace {

short buttonValue(Qt::MouseButtons buttons)
{
    short value = 0;
    if (buttons & Qt::LeftButton)
        value |= 1;
    if (buttons & Qt::RightButton)
        value |= 2;
    if (buttons & Qt::MiddleButton)
        value |= 4;
    return value;
}

short shiftValue(Qt::KeyboardModifiers modifiers)
{
    short value = 0;
    if (modifiers & Qt::ShiftModifier)
        value |= 1;
    if (modifiers & Qt::ControlModifier)
        value |= 2;
    if (modifiers & Qt::AltModifier)
        value |= 4;
    return value;
}

// Qt key to the key codes the button's handlers work with (space 32,
// arrows 37 to 40, letters and digits as their upper-case ASCII code).
short keyCode(int key)
{
    if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z))
        return static_cast<short>(key);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return static_cast<short>(112 + (key - Qt::Key_F1));
    switch (key) {
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Shift:
        return 16;
    case Qt::Key_Control:
        return 17;
    case Qt::Key_Alt:
        return 18;
    case Qt::Key_Pause:
        return 19;
    case Qt::Key_CapsLock:
        return 20;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Space:
        return 32;
    case Qt::Key_PageUp:
        return 33;
    case Qt::Key_PageDown:
        return 34;
    case Qt::Key_End:
        return 35;
    case Qt::Key_Home:
        return 36;
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    case Qt::Key_Insert:
        return 45;
    case Qt::Key_Delete:
        return 46;
    default:
        return 0;
    }
}

// Stored colours may come as numbers (possibly negative 32-bit values) or
// as "&H00BBGGRR" / "0x..." text from hand-written layouts.
quint32 readColour(const QVariant& value, quint32 fallback)
{
    if (!value.isValid())
        return fallback;
    if (value.typeId() == QMetaType::QString) {
        QString text = value.toString().trimmed();
        bool ok = false;
        qlonglong number = 0;
        if (text.startsWith(QLatin1String("&H"), Qt::CaseInsensitive))
            number = text.mid(2).toLongLong(&ok, 16);
        else if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
            number = text.mid(2).toLongLong(&ok, 16);
        else
            number = text.toLongLong(&ok, 10);
        return ok ? static_cast<quint32>(number) : fallback;
    }
    bool ok = false;
    const qlonglong number = value.toLongLong(&ok);
    return ok ? static_cast<quint32>(number) : fallback;
}

int readInt(const QVariant& value, int fallback)
{
    bool ok = false;
    const int number = value.toInt(&ok);
    return ok ? number : fallback;
}

} // namespace

struct chameleonButton::Private {
    // Public properties.
    quint32 backColor = 0;
    quint32 foreColor = 0;
    int buttonType = 0;
    QString caption;
    bool enabled = false;
    QFont font;
    int colorScheme = 0;
    bool showFocusRect = false;

    // Control state.
    int pixelWidth = 0;
    int pixelHeight = 0;
    QRegion outlineRegion;
    int pressedButton = 1;
    int keyHeld = 0;
    bool focusFlag = false;
    int paintedState = 0;
    QString paintedCaption;
    ButtonTones tones;
    QImage face;
    bool shownAsDefault = false;

    // Access key and its registration with the window's shortcut map.
    QString accessKey;
    int shortcutId = 0;

    // A press that started here arms a click; the release over the button fires it.
    bool clickArmed = false;
    // The press that Qt will also report as a double click has been handled.
    bool doubleClickHandled = false;
    quint64 lastPressTime = 0;
    QPointF lastPressPos;
    Qt::MouseButton lastPressButton = Qt::NoButton;
    bool lastPressValid = false;
};

chameleonButton::chameleonButton(QWidget* parent)
    : QWidget(parent)
    , d(std::make_unique<Private>())
{
    chameleonButtonAccessible::install();
    setFocusPolicy(Qt::StrongFocus);
    // Moves without a button held are events too (the windows' hover colours).
    setMouseTracking(true);

    // Initialize: ColorScheme is still 0 here, so the system colours apply.
    d->pressedButton = 1;
    DeriveSchemeColors();
    InitProperties();
}

chameleonButton::~chameleonButton() = default;

// --- Properties -------------------------------------------------------------

quint32 chameleonButton::BackColor() const
{
    return d->backColor;
}

void chameleonButton::setBackColor(quint32 bgr)
{
    d->backColor = bgr;
    DeriveSchemeColors();
    PaintButton(d->paintedState, true);
    emit PropertyChanged(QStringLiteral("BCOL"));
}

quint32 chameleonButton::ForeColor() const
{
    return d->foreColor;
}

void chameleonButton::setForeColor(quint32 bgr)
{
    d->foreColor = bgr;
    DeriveSchemeColors();
    PaintButton(d->paintedState, true);
    emit PropertyChanged(QStringLiteral("FCOL"));
}

int chameleonButton::ButtonType() const
{
    return d->buttonType;
}

void chameleonButton::setButtonType(int type)
{
    d->buttonType = type;
    resizeHandling();
    PaintButton(StateNormal, true);
    emit PropertyChanged(QStringLiteral("BTYPE"));
}

QString chameleonButton::Caption() const
{
    return d->caption;
}

void chameleonButton::setCaption(const QString& caption)
{
    d->caption = caption;
    ApplyMnemonic();
    PaintButton(StateNormal, true);
    QAccessibleEvent event(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
    emit PropertyChanged(QStringLiteral("TX"));
}

bool chameleonButton::Enabled() const
{
    return d->enabled;
}

void chameleonButton::setEnabledProperty(bool enabled)
{
    d->enabled = enabled;
    PaintButton(StateNormal, true);
    setEnabled(enabled);
    emit PropertyChanged(QStringLiteral("ENAB"));
}

QFont chameleonButton::Font() const
{
    return d->font;
}

void chameleonButton::setFontProperty(const QFont& font)
{
    d->font = font;
    setFont(font);
    PaintButton(StateNormal, true);
    emit PropertyChanged(QStringLiteral("FONT"));
}

int chameleonButton::ColorScheme() const
{
    return d->colorScheme;
}

void chameleonButton::setColorScheme(int scheme)
{
    d->colorScheme = scheme;
    DeriveSchemeColors();
    PaintButton(StateNormal, true);
    emit PropertyChanged(QStringLiteral("COLTYPE"));
}

bool chameleonButton::ShowFocusRect() const
{
    return d->showFocusRect;
}

void chameleonButton::setShowFocusRect(bool show)
{
    d->showFocusRect = show;
    PaintButton(d->paintedState, true);
    emit PropertyChanged(QStringLiteral("FOCUSR"));
}

void chameleonButton::setDefault(bool isDefault)
{
    if (d->shownAsDefault == isDefault)
        return;
    d->shownAsDefault = isDefault;
    PaintButton(d->paintedState, true);
}

bool chameleonButton::isDefault() const
{
    return d->shownAsDefault;
}

QString chameleonButton::accessKey() const
{
    return d->accessKey;
}

ButtonTones chameleonButton::tones() const
{
    return d->tones;
}

const QImage& chameleonButton::faceImage() const
{
    return d->face;
}

int chameleonButton::paintedState() const
{
    return d->paintedState;
}

QString chameleonButton::stripMnemonic(const QString& caption)
{
    QString plain;
    plain.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&') && i + 1 < caption.size())
            ++i;
        plain += caption[i];
    }
    return plain;
}

// --- Property bag -----------------------------------------------------------

void chameleonButton::InitProperties()
{
    d->enabled = true;
    d->showFocusRect = true;
    d->font = font();
    d->buttonType = ClassicBevel;
    d->colorScheme = SchemeSystem;
    d->backColor = systemButtonFace();
    d->foreColor = systemButtonText();
    setEnabled(true);
}

void chameleonButton::ReadProperties(const PropertyBag& bag)
{
    d->buttonType = readInt(bag.read(QStringLiteral("BTYPE"), 2), 2);
    d->caption = bag.read(QStringLiteral("TX"), QString()).toString();
    d->enabled = bag.read(QStringLiteral("ENAB"), true).toBool();
    const QVariant storedFont = bag.read(QStringLiteral("FONT"));
    d->font = storedFont.canConvert<QFont>() ? storedFont.value<QFont>() : font();
    d->colorScheme = readInt(bag.read(QStringLiteral("COLTYPE"), 1), 1);
    d->showFocusRect = bag.read(QStringLiteral("FOCUSR"), true).toBool();
    d->backColor = readColour(bag.read(QStringLiteral("BCOL")), systemButtonFace());
    d->foreColor = readColour(bag.read(QStringLiteral("FCOL")), systemButtonText());

    setEnabled(d->enabled);
    setFont(d->font);
    DeriveSchemeColors();
    ApplyMnemonic();
    PaintButton(StateNormal, true);
}

void chameleonButton::WriteProperties(PropertyBag& bag) const
{
    bag.write(QStringLiteral("BTYPE"), d->buttonType);
    bag.write(QStringLiteral("TX"), d->caption);
    bag.write(QStringLiteral("ENAB"), d->enabled);
    bag.write(QStringLiteral("FONT"), d->font);
    bag.write(QStringLiteral("COLTYPE"), d->colorScheme);
    bag.write(QStringLiteral("FOCUSR"), d->showFocusRect);
    bag.write(QStringLiteral("BCOL"), static_cast<qint32>(d->backColor));
    bag.write(QStringLiteral("FCOL"), static_cast<qint32>(d->foreColor));
}

// --- Colours, access key, shape ---------------------------------------------

void chameleonButton::DeriveSchemeColors()
{
    d->tones = ::DeriveSchemeColors(d->colorScheme, d->backColor, d->foreColor);
}

void chameleonButton::ApplyMnemonic()
{
    // Only the first two ampersand groups count: "&&" is a literal ampersand,
    // and the key is the character after the first single "&".
    const QString& caption = d->caption;
    const qsizetype length = caption.size();
    QString key;
    if (length >= 2) {
        const qsizetype p = caption.indexOf(QLatin1Char('&'));
        if (p >= 0 && p < length - 1) {
            if (caption[p + 1] != QLatin1Char('&')) {
                key = caption[p + 1].toLower();
            } else {
                const qsizetype q = caption.indexOf(QLatin1Char('&'), p + 2);
                if (q >= 0 && q < length - 1 && caption[q + 1] != QLatin1Char('&'))
                    key = caption[q + 1].toLower();
            }
        }
    }

    d->accessKey = key;
    if (d->shortcutId != 0) {
        releaseShortcut(d->shortcutId);
        d->shortcutId = 0;
    }
    if (!key.isEmpty()) {
        const int qtKey = static_cast<int>(key[0].toUpper().unicode());
        d->shortcutId = grabShortcut(
            QKeySequence(QKeyCombination(Qt::AltModifier, Qt::Key(qtKey))), Qt::WindowShortcut);
    }
}

void chameleonButton::resizeHandling()
{
    d->pixelHeight = height();
    d->pixelWidth = width();
    d->outlineRegion = BuildOutline(d->buttonType, d->pixelWidth, d->pixelHeight);
    if (d->outlineRegion.isEmpty())
        clearMask();
    else
        setMask(d->outlineRegion);
    PaintButton(StateNormal, true);
}

// --- Painting ---------------------------------------------------------------

void chameleonButton::PaintButton(int state, bool force)
{
    if (d->pixelHeight == 0)
        return;
    if (!force && d->caption == d->paintedCaption && state == d->paintedState)
        return;
    d->paintedState = state;
    d->paintedCaption = d->caption;

    ButtonFace face;
    face.width = d->pixelWidth;
    face.height = d->pixelHeight;
    face.buttonType = d->buttonType;
    face.caption = d->caption;
    face.enabled = d->enabled;
    face.showFocusRect = d->showFocusRect;
    face.hasFocus = d->focusFlag;
    face.shownAsDefault = d->shownAsDefault;
    face.font = d->font;
    face.tones = d->tones;
    ButtonPainter(face, d->face).paint(state);
    update();
}

void chameleonButton::paintEvent(QPaintEvent*)
{
    if (d->face.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(0, 0, d->face);
}

void chameleonButton::resizeEvent(QResizeEvent*)
{
    resizeHandling();
}

void chameleonButton::changeEvent(QEvent* e)
{
    // The window's look around the button changed: show the face again as it is.
    if (e->type() == QEvent::PaletteChange || e->type() == QEvent::StyleChange)
        PaintButton(d->paintedState, true);
    QWidget::changeEvent(e);
}

bool chameleonButton::event(QEvent* e)
{
    if (e->type() == QEvent::Shortcut) {
        auto* shortcut = static_cast<QShortcutEvent*>(e);
        if (shortcut->shortcutId() == d->shortcutId && d->shortcutId != 0) {
            // Two buttons with the same key: the first press only moves the focus.
            if (shortcut->isAmbiguous())
                setFocus(Qt::ShortcutFocusReason);
            else
                clickStep();
            return true;
        }
    }
    return QWidget::event(e);
}

void chameleonButton::focusInEvent(QFocusEvent*)
{
    d->focusFlag = true;
    PaintButton(d->paintedState, true);
}

void chameleonButton::focusOutEvent(QFocusEvent*)
{
    d->focusFlag = false;
    PaintButton(d->paintedState, true);
}

// --- Input ------------------------------------------------------------------

void chameleonButton::mouseDownStep(short button, short shift, float x, float y)
{
    d->pressedButton = button & 0xFF;
    if (button != 2)
        PaintButton(StatePressed, false);
    emit MouseDown(button, shift, x, y);
}

void chameleonButton::mouseUpStep(short button, short shift, float x, float y)
{
    if (button != 2)
        PaintButton(StateNormal, false);
    emit MouseUp(button, shift, x, y);
}

void chameleonButton::clickStep()
{
    if (d->pressedButton != 1 || !d->enabled)
        return;
    PaintButton(StateNormal, true);
    repaint();
    emit Click();
}

void chameleonButton::click()
{
    d->pressedButton = 1;
    clickStep();
}

void chameleonButton::doubleClickStep()
{
    if (d->pressedButton == 1)
        mouseDownStep(1, 1, 1.0f, 1.0f);
}

void chameleonButton::mousePressEvent(QMouseEvent* e)
{
    const short button = buttonValue(e->button());
    if (button == 0) {
        e->ignore();
        return;
    }
    e->accept();
    // Qt reports the second press of a double click as a press followed by a
    // double-click event. The button treats that press as the double click
    // itself, so the second click of a double click never raises Click.
    const QStyleHints* hints = QGuiApplication::styleHints();
    // Presses made up by programs carry no timestamp and are never doubles.
    const bool secondOfDouble = e->timestamp() != 0 && d->lastPressValid
        && e->button() == d->lastPressButton
        && e->timestamp() - d->lastPressTime < quint64(hints->mouseDoubleClickInterval())
        && (e->position() - d->lastPressPos).manhattanLength() <= hints->mouseDoubleClickDistance();
    if (secondOfDouble) {
        d->lastPressValid = false;
        d->doubleClickHandled = true;
        d->clickArmed = false;
        doubleClickStep();
        return;
    }
    d->lastPressValid = true;
    d->lastPressTime = e->timestamp();
    d->lastPressPos = e->position();
    d->lastPressButton = e->button();
    if (e->buttons() == e->button())
        d->clickArmed = true;
    mouseDownStep(
        button, shiftValue(e->modifiers()), float(e->position().x()), float(e->position().y()));
}

void chameleonButton::mouseDoubleClickEvent(QMouseEvent* e)
{
    e->accept();
    if (d->doubleClickHandled) {
        d->doubleClickHandled = false;
        return;
    }
    d->lastPressValid = false;
    d->clickArmed = false;
    doubleClickStep();
}

void chameleonButton::mouseMoveEvent(QMouseEvent* e)
{
    e->accept();
    short button = buttonValue(e->buttons());
    short shift = shiftValue(e->modifiers());
    float x = float(e->position().x());
    float y = float(e->position().y());
    if (button < 2) {
        // The edges themselves (x == width, y == height) count as inside.
        if (x < 0 || y < 0 || x > d->pixelWidth || y > d->pixelHeight)
            PaintButton(StateNormal, false);
        else if (button == 1)
            PaintButton(StatePressed, false);
    }
    emit MouseMove(button, shift, x, y);
}

void chameleonButton::mouseReleaseEvent(QMouseEvent* e)
{
    const short button = buttonValue(e->button());
    if (button == 0) {
        e->ignore();
        return;
    }
    e->accept();
    QPointer<chameleonButton> self(this);
    const QPointF pos = e->position();
    const bool allReleased = e->buttons() == Qt::NoButton;
    mouseUpStep(button, shiftValue(e->modifiers()), float(pos.x()), float(pos.y()));
    if (!self || !allReleased)
        return;
    const bool armed = d->clickArmed;
    d->clickArmed = false;
    d->doubleClickHandled = false;
    const QPoint pixel(int(std::floor(pos.x())), int(std::floor(pos.y())));
    const bool over
        = d->outlineRegion.isEmpty() ? rect().contains(pixel) : d->outlineRegion.contains(pixel);
    if (armed && over)
        clickStep();
}

void chameleonButton::keyPressEvent(QKeyEvent* e)
{
    QPointer<chameleonButton> self(this);
    const int key = e->key();
    const bool ours = key == Qt::Key_Space || key == Qt::Key_Left || key == Qt::Key_Right
        || key == Qt::Key_Up || key == Qt::Key_Down;
    short code = keyCode(key);
    short shift = shiftValue(e->modifiers());
    const QString text = e->text();
    emit KeyDown(code, shift);
    if (!self)
        return;
    // What follows uses the key code as the handler left it.
    d->keyHeld = code;
    switch (code) {
    case 32:
        mouseDownStep(1, 1, 1.0f, 1.0f);
        break;
    case 39:
    case 40:
        focusNextPrevChild(true);
        break;
    case 37:
    case 38:
        focusNextPrevChild(false);
        break;
    default:
        break;
    }
    if (!self)
        return;
    // Alt combinations are menu and access keys, not typed characters.
    if (!text.isEmpty() && text[0].unicode() < 0x8000 && !(e->modifiers() & Qt::AltModifier)) {
        short ascii = static_cast<short>(text[0].unicode());
        emit KeyPress(ascii);
        if (!self)
            return;
    }
    e->setAccepted(ours);
}

void chameleonButton::keyReleaseEvent(QKeyEvent* e)
{
    // X11 repeats a held key as release/press pairs; only the real release counts.
    if (e->isAutoRepeat()) {
        e->accept();
        return;
    }
    QPointer<chameleonButton> self(this);
    const int key = e->key();
    const bool ours = key == Qt::Key_Space;
    short code = keyCode(key);
    short shift = shiftValue(e->modifiers());
    emit KeyUp(code, shift);
    if (!self)
        return;
    e->setAccepted(ours);
    if (d->keyHeld == 32 && code == 32) {
        mouseUpStep(1, 1, 1.0f, 1.0f);
        if (!self)
            return;
        d->pressedButton = 1;
        clickStep();
    }
}
