#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPointer>
#include <QTest>

#include <memory>

#include "ButtonFaceHelpers.h"
#include "controls/ButtonOutline.h"
#include "controls/chameleonButton.h"

namespace {

// Records the button's events as text, in the order they come.
struct EventLog {
    QStringList entries;

    void attach(chameleonButton* button)
    {
        QObject::connect(button, &chameleonButton::Click, [this] { entries << "Click"; });
        QObject::connect(
            button, &chameleonButton::MouseDown, [this](short& b, short& s, float& x, float& y) {
                entries << mouse("MouseDown", b, s, x, y);
            });
        QObject::connect(
            button, &chameleonButton::MouseUp, [this](short& b, short& s, float& x, float& y) {
                entries << mouse("MouseUp", b, s, x, y);
            });
        QObject::connect(button, &chameleonButton::KeyDown,
            [this](short& k, short& s) { entries << QString("KeyDown(%1,%2)").arg(k).arg(s); });
        QObject::connect(button, &chameleonButton::KeyUp,
            [this](short& k, short& s) { entries << QString("KeyUp(%1,%2)").arg(k).arg(s); });
        QObject::connect(button, &chameleonButton::KeyPress,
            [this](short& k) { entries << QString("KeyPress(%1)").arg(k); });
    }

    static QString mouse(const char* name, short b, short s, float x, float y)
    {
        return QString("%1(%2,%3,%4,%5)").arg(name).arg(b).arg(s).arg(x).arg(y);
    }
};

// A button inside a window of its own, so its shape is a child-widget mask.
struct HostedButton {
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    chameleonButton* button = new chameleonButton(window.get());

    chameleonButton* get() const { return button; }
    chameleonButton* operator->() const { return button; }
};

HostedButton makeButton(int type = chameleonButton::Gradient, int w = 75, int h = 25)
{
    HostedButton hosted;
    chameleonButton* button = hosted.button;
    PropertyBag bag;
    bag.write("btype", type);
    bag.write("coltype", 2);
    bag.write("bcol", 0xFFFF80);
    bag.write("fcol", 0);
    bag.write("tx", "&OK");
    bag.write("font", solidFont());
    button->ReadProperties(bag);
    button->resize(w, h);
    hosted.window->resize(w + 20, h + 20);
    hosted.window->show();
    return hosted;
}

void sendMove(QWidget* w, QPointF pos, Qt::MouseButtons buttons)
{
    QMouseEvent move(
        QEvent::MouseMove, pos, w->mapToGlobal(pos), Qt::NoButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
}

TEST(ButtonProperties, NewButtonHasTheValuesOfANewlyPlacedControl)
{
    chameleonButton button;
    EXPECT_EQ(button.ButtonType(), 2);
    EXPECT_EQ(button.ColorScheme(), 1);
    EXPECT_TRUE(button.Enabled());
    EXPECT_TRUE(button.ShowFocusRect());
    EXPECT_EQ(button.Caption(), QString());
    EXPECT_EQ(button.BackColor(), systemButtonFace());
    EXPECT_EQ(button.ForeColor(), systemButtonText());
    EXPECT_EQ(button.tones().FaceTone, systemButtonFace());
}

TEST(ButtonProperties, ReadFindsLowerCaseKeysAndDefaultsMissingOnes)
{
    chameleonButton button;
    PropertyBag bag;
    bag.write("tx", "&Delete");
    bag.write("btype", 3);
    bag.write("bcol", 0xFFFF80);
    bag.write("enab", false);
    button.ReadProperties(bag);
    EXPECT_EQ(button.Caption(), "&Delete");
    EXPECT_EQ(button.ButtonType(), 3);
    EXPECT_EQ(button.BackColor(), 0xFFFF80u);
    EXPECT_FALSE(button.Enabled());
    EXPECT_FALSE(button.isEnabled());
    EXPECT_EQ(button.accessKey(), "d");
    // Missing keys take the defaults.
    EXPECT_EQ(button.ColorScheme(), 1);
    EXPECT_TRUE(button.ShowFocusRect());
    EXPECT_EQ(button.ForeColor(), systemButtonText());
    EXPECT_EQ(button.Font(), button.font());
    // ColorScheme 1 ignores BackColor.
    EXPECT_EQ(button.tones().FaceTone, systemButtonFace());

    PropertyBag empty;
    button.ReadProperties(empty);
    EXPECT_EQ(button.ButtonType(), 2);
    EXPECT_TRUE(button.Enabled());
    EXPECT_TRUE(button.isEnabled());
    EXPECT_EQ(button.BackColor(), systemButtonFace());
}

TEST(ButtonProperties, ReadAcceptsStoredColourTextAndBooleanNumbers)
{
    chameleonButton button;
    PropertyBag bag;
    bag.write("BCOL", "&H00FFFF80");
    bag.write("FCOL", -1);
    bag.write("ENAB", -1);
    bag.write("FOCUSR", 0);
    bag.write("COLTYPE", 2);
    button.ReadProperties(bag);
    EXPECT_EQ(button.BackColor(), 0xFFFF80u);
    EXPECT_EQ(button.ForeColor(), 0xFFFFFFFFu);
    EXPECT_TRUE(button.Enabled());
    EXPECT_FALSE(button.ShowFocusRect());
    EXPECT_EQ(button.tones().LightTone, 0xFFFF9Fu);
}

TEST(ButtonProperties, WriteStoresEveryKeyInOrderAndReadsBack)
{
    auto button = makeButton();
    button->setShowFocusRect(false);
    PropertyBag bag;
    button->WriteProperties(bag);
    EXPECT_EQ(bag.keys(),
        QStringList({"BTYPE", "TX", "ENAB", "FONT", "COLTYPE", "FOCUSR", "BCOL", "FCOL"}));
    EXPECT_EQ(bag.read("fcol").toInt(), 0); // written even at its default

    chameleonButton copy;
    copy.ReadProperties(bag);
    EXPECT_EQ(copy.ButtonType(), 3);
    EXPECT_EQ(copy.Caption(), "&OK");
    EXPECT_EQ(copy.ColorScheme(), 2);
    EXPECT_FALSE(copy.ShowFocusRect());
    EXPECT_EQ(copy.BackColor(), 0xFFFF80u);
    EXPECT_EQ(copy.Font(), solidFont());
}

TEST(ButtonPaint, FaceMatchesThePainter)
{
    auto button = makeButton();
    ButtonFace face = customFace(3);
    face.caption = "&OK";
    EXPECT_EQ(button->faceImage(), paintFace(face, 0));
    EXPECT_EQ(button->mask(), BuildOutline(3, 75, 25));

    // A new style brings its own shape and a normal face.
    button->PaintButton(2, false);
    button->setButtonType(chameleonButton::BoldFlat);
    EXPECT_EQ(button->mask(), BuildOutline(5, 75, 25));
    EXPECT_EQ(button->paintedState(), 0);
    face.buttonType = 5;
    EXPECT_EQ(button->faceImage(), paintFace(face, 0));
}

TEST(ButtonPaint, WindowShowsTheFaceWithTheParentInTheCutCorners)
{
    auto button = makeButton();
    QPalette palette = button.window->palette();
    palette.setColor(QPalette::Window, QColor(170, 170, 170));
    button.window->setPalette(palette);
    button.window->setAutoFillBackground(true);
    button->move(10, 10);
    const QImage shown = button.window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage& face = button->faceImage();
    EXPECT_EQ(shown.pixel(10 + 1, 10 + 0), qRgb(170, 170, 170)); // cut
    EXPECT_EQ(shown.pixel(10 + 74, 10 + 24), qRgb(170, 170, 170)); // cut
    for (QPoint p : {QPoint(1, 1), QPoint(2, 0), QPoint(30, 12), QPoint(72, 24)})
        EXPECT_EQ(shown.pixel(p + QPoint(10, 10)), face.pixel(p)) << p.x() << "," << p.y();
}

TEST(ButtonPaint, SameStateAndCaptionLeaveTheFaceUntouched)
{
    auto button = makeButton();
    const qint64 key = button->faceImage().cacheKey();
    button->PaintButton(0, false);
    EXPECT_EQ(button->faceImage().cacheKey(), key);
    for (int i = 0; i < 20; ++i)
        sendMove(button.get(), QPointF(10 + i, 10), Qt::NoButton);
    EXPECT_EQ(button->faceImage().cacheKey(), key);

    button->PaintButton(0, true);
    EXPECT_NE(button->faceImage().cacheKey(), key);
    button->PaintButton(2, false);
    EXPECT_EQ(button->paintedState(), 2);
}

TEST(ButtonPaint, NewCaptionRepaintsEvenUnforced)
{
    auto button = makeButton(chameleonButton::ThinEdge);
    button->PaintButton(2, false);
    const QImage pressed = button->faceImage();
    // Setting the caption paints the normal face; back to pressed, then an
    // unforced paint of the same state after a caption change must repaint.
    button->setCaption("&OK");
    button->PaintButton(2, false);
    EXPECT_EQ(button->faceImage(), pressed);
    const qint64 key = button->faceImage().cacheKey();
    button->PaintButton(2, false);
    EXPECT_EQ(button->faceImage().cacheKey(), key);
}

TEST(ButtonPaint, BackColorRepaintsAtOnceKeepingTheState)
{
    auto button = makeButton();
    button->PaintButton(2, false);
    button->setBackColor(0xFFC5AA);
    EXPECT_EQ(button->paintedState(), 2);
    ButtonFace face = customFace(3, 75, 25, 0xFFC5AA);
    face.caption = "&OK";
    EXPECT_EQ(button->faceImage(), paintFace(face, 2));
}

TEST(ButtonPaint, ZeroHeightPaintsNothing)
{
    HostedButton hosted = makeButton(chameleonButton::Gradient, 50, 0);
    hosted->PaintButton(2, true);
    EXPECT_TRUE(hosted->faceImage().isNull());
    EXPECT_EQ(hosted->paintedState(), 0);
}

TEST(ButtonPaint, BoldFlatLeavesTheFontAsItWas)
{
    auto button = makeButton(chameleonButton::BoldFlat);
    button->setFocus();
    button->PaintButton(0, true);
    button->PaintButton(2, true);
    EXPECT_FALSE(button->Font().bold());
    EXPECT_FALSE(button->font().bold());
}

TEST(ButtonInput, LeftClickPressesReleasesAndClicks)
{
    auto button = makeButton();
    EventLog log;
    log.attach(button.get());
    QTest::mousePress(button.get(), Qt::LeftButton, {}, QPoint(10, 12));
    EXPECT_EQ(button->paintedState(), 2);
    QTest::mouseRelease(button.get(), Qt::LeftButton, {}, QPoint(10, 12));
    EXPECT_EQ(button->paintedState(), 0);
    EXPECT_EQ(log.entries, QStringList({"MouseDown(1,0,10,12)", "MouseUp(1,0,10,12)", "Click"}));
}

TEST(ButtonInput, RightClickDrawsNothingAndRaisesNoClick)
{
    auto button = makeButton();
    EventLog log;
    log.attach(button.get());
    const qint64 key = button->faceImage().cacheKey();
    QTest::mouseClick(button.get(), Qt::RightButton, Qt::ShiftModifier, QPoint(10, 12));
    EXPECT_EQ(button->faceImage().cacheKey(), key);
    EXPECT_EQ(log.entries, QStringList({"MouseDown(2,1,10,12)", "MouseUp(2,1,10,12)"}));
}

TEST(ButtonInput, MiddleClickShowsPressedButRaisesNoClick)
{
    auto button = makeButton();
    EventLog log;
    log.attach(button.get());
    QTest::mousePress(button.get(), Qt::MiddleButton, {}, QPoint(10, 12));
    EXPECT_EQ(button->paintedState(), 2);
    QTest::mouseRelease(button.get(), Qt::MiddleButton, {}, QPoint(10, 12));
    EXPECT_FALSE(log.entries.contains("Click"));
}

TEST(ButtonInput, DragOutShowsReleasedAndBackShowsPressed)
{
    auto button = makeButton();
    EventLog log;
    log.attach(button.get());
    QTest::mousePress(button.get(), Qt::LeftButton, {}, QPoint(10, 12));
    sendMove(button.get(), QPointF(75, 25), Qt::LeftButton); // the edges count as inside
    EXPECT_EQ(button->paintedState(), 2);
    sendMove(button.get(), QPointF(75.5, 12), Qt::LeftButton);
    EXPECT_EQ(button->paintedState(), 0);
    sendMove(button.get(), QPointF(10, -1), Qt::LeftButton);
    EXPECT_EQ(button->paintedState(), 0);
    sendMove(button.get(), QPointF(0, 0), Qt::LeftButton);
    EXPECT_EQ(button->paintedState(), 2);
    sendMove(button.get(), QPointF(200, 12), Qt::LeftButton);
    QTest::mouseRelease(button.get(), Qt::LeftButton, {}, QPoint(200, 12));
    EXPECT_EQ(button->paintedState(), 0);
    EXPECT_FALSE(log.entries.contains("Click"));
}

TEST(ButtonInput, ReleaseOnACutCornerRaisesNoClick)
{
    auto button = makeButton();
    EventLog log;
    log.attach(button.get());
    QTest::mousePress(button.get(), Qt::LeftButton, {}, QPoint(10, 12));
    // (1, 0) is one of the three pixels cut at the top-left corner.
    QTest::mouseRelease(button.get(), Qt::LeftButton, {}, QPoint(1, 0));
    EXPECT_FALSE(log.entries.contains("Click"));
}

TEST(ButtonInput, DoubleClickPressesAgainWithoutASecondClick)
{
    auto button = makeButton();
    EventLog log;
    log.attach(button.get());
    QTest::mouseClick(button.get(), Qt::LeftButton, {}, QPoint(10, 12));
    QTest::mouseDClick(button.get(), Qt::LeftButton, {}, QPoint(10, 12));
    EXPECT_EQ(button->paintedState(), 2);
    QTest::mouseRelease(button.get(), Qt::LeftButton, {}, QPoint(10, 12));
    EXPECT_EQ(button->paintedState(), 0);
    EXPECT_EQ(log.entries,
        QStringList({"MouseDown(1,0,10,12)", "MouseUp(1,0,10,12)", "Click", "MouseDown(1,1,1,1)",
            "MouseUp(1,0,10,12)"}));
}

TEST(ButtonInput, QuickSecondPressCountsAsTheDoubleClick)
{
    // As a real pointer delivers it: press, release, press (+ double-click event), release.
    auto button = makeButton();
    EventLog log;
    log.attach(button.get());
    const QPointF pos(10, 12);
    const auto send = [&](QEvent::Type type, ulong time) {
        QMouseEvent e(type, pos, button->mapToGlobal(pos), Qt::LeftButton,
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        e.setTimestamp(time);
        QApplication::sendEvent(button.get(), &e);
    };
    send(QEvent::MouseButtonPress, 100000);
    send(QEvent::MouseButtonRelease, 100050);
    send(QEvent::MouseButtonPress, 100100);
    send(QEvent::MouseButtonDblClick, 100100);
    send(QEvent::MouseButtonRelease, 100150);
    EXPECT_EQ(log.entries,
        QStringList({"MouseDown(1,0,10,12)", "MouseUp(1,0,10,12)", "Click", "MouseDown(1,1,1,1)",
            "MouseUp(1,0,10,12)"}));
}

TEST(ButtonInput, ProgrammaticClicksWithoutTimestampsAreNeverDoubles)
{
    auto button = makeButton();
    int clicks = 0;
    QObject::connect(button.get(), &chameleonButton::Click, [&] { ++clicks; });
    const QPointF pos(10, 12);
    for (int i = 0; i < 3; ++i)
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent e(type, pos, button->mapToGlobal(pos), Qt::LeftButton,
                type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(button.get(), &e);
        }
    EXPECT_EQ(clicks, 3);
}

TEST(ButtonInput, SpaceBarRaisesTheFullSequence)
{
    auto button = makeButton();
    EventLog log;
    log.attach(button.get());
    QTest::keyPress(button.get(), Qt::Key_Space);
    EXPECT_EQ(button->paintedState(), 2);
    QTest::keyRelease(button.get(), Qt::Key_Space);
    EXPECT_EQ(button->paintedState(), 0);
    EXPECT_EQ(log.entries,
        QStringList({"KeyDown(32,0)", "MouseDown(1,1,1,1)", "KeyPress(32)", "KeyUp(32,0)",
            "MouseUp(1,1,1,1)", "Click"}));
}

TEST(ButtonInput, KeyDownHandlerCanCancelTheSpaceBar)
{
    auto button = makeButton();
    EventLog log;
    QObject::connect(button.get(), &chameleonButton::KeyDown, [](short& k, short&) { k = 0; });
    log.attach(button.get());
    QTest::keyClick(button.get(), Qt::Key_Space);
    EXPECT_EQ(button->paintedState(), 0);
    EXPECT_EQ(log.entries, QStringList({"KeyDown(0,0)", "KeyPress(32)", "KeyUp(32,0)"}));
}

TEST(ButtonInput, LettersRaiseKeyPressButAltCombinationsDoNot)
{
    auto button = makeButton();
    EventLog log;
    log.attach(button.get());
    QKeyEvent shifted(QEvent::KeyPress, Qt::Key_Q, Qt::ShiftModifier, QStringLiteral("Q"));
    QApplication::sendEvent(button.get(), &shifted);
    QKeyEvent alt(QEvent::KeyPress, Qt::Key_Q, Qt::AltModifier, QStringLiteral("q"));
    QApplication::sendEvent(button.get(), &alt);
    EXPECT_EQ(log.entries, QStringList({"KeyDown(81,1)", "KeyPress(81)", "KeyDown(81,4)"}));
    EXPECT_EQ(button->paintedState(), 0);
}

TEST(ButtonInput, KeyDownHandlerCanTurnAKeyIntoTheSpaceBar)
{
    auto button = makeButton();
    EventLog log;
    QObject::connect(button.get(), &chameleonButton::KeyDown, [](short& k, short&) {
        if (k == 'S')
            k = 32;
    });
    QObject::connect(button.get(), &chameleonButton::KeyUp, [](short& k, short&) {
        if (k == 'S')
            k = 32;
    });
    log.attach(button.get());
    QTest::keyClick(button.get(), Qt::Key_S);
    EXPECT_TRUE(log.entries.contains("Click"));
}

TEST(ButtonInput, SpaceBarClicksAfterARightPressButAccessKeyDoesNot)
{
    QWidget window;
    auto* button = new chameleonButton(&window);
    button->setCaption("&Yes");
    button->resize(75, 25);
    window.show();
    int clicks = 0;
    QObject::connect(button, &chameleonButton::Click, [&] { ++clicks; });

    QTest::mouseClick(button, Qt::RightButton, {}, QPoint(5, 5));
    button->click(); // the space-bar route resets the remembered button
    EXPECT_EQ(clicks, 1);
    QTest::mouseClick(button, Qt::RightButton, {}, QPoint(5, 5));
    QTest::keyClick(button, Qt::Key_Space);
    EXPECT_EQ(clicks, 2);
}

TEST(ButtonInput, ArrowKeysMoveTheFocus)
{
    QWidget window;
    auto* layout = new QHBoxLayout(&window);
    chameleonButton* buttons[3];
    for (auto*& b : buttons) {
        b = new chameleonButton(&window);
        layout->addWidget(b);
    }
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    struct Step {
        Qt::Key key;
        int from;
        int to;
    };
    for (const Step& s : {Step{Qt::Key_Right, 1, 2}, Step{Qt::Key_Down, 0, 1},
             Step{Qt::Key_Left, 1, 0}, Step{Qt::Key_Up, 2, 1}}) {
        buttons[s.from]->setFocus();
        ASSERT_TRUE(buttons[s.from]->hasFocus());
        QTest::keyClick(buttons[s.from], s.key);
        EXPECT_TRUE(buttons[s.to]->hasFocus()) << s.key;
    }
}

TEST(ButtonInput, FocusRepaintsWithTheFocusLook)
{
    QWidget window;
    auto* first = new chameleonButton(&window);
    auto* second = new chameleonButton(&window);
    second->move(0, 40);
    for (auto* b : {first, second}) {
        b->setButtonType(chameleonButton::ThinEdge);
        b->resize(75, 25);
    }
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    second->setFocus();
    const QImage unfocused = first->faceImage();
    first->setFocus();
    EXPECT_NE(first->faceImage(), unfocused);
    first->setShowFocusRect(false);
    EXPECT_EQ(first->faceImage(), unfocused);
}

struct MnemonicCase {
    const char* name;
    const char* caption;
    const char* key;
};

class ApplyMnemonicTest : public ::testing::TestWithParam<MnemonicCase> { };

TEST_P(ApplyMnemonicTest, FindsTheAccessKey)
{
    chameleonButton button;
    button.setCaption(QString::fromUtf8(GetParam().caption));
    EXPECT_EQ(button.accessKey(), QString::fromUtf8(GetParam().key));
}

INSTANTIATE_TEST_SUITE_P(Cases, ApplyMnemonicTest,
    ::testing::Values(MnemonicCase{"upperCaseLetter", "&Yes", "y"},
        MnemonicCase{"middleOfCaption", "Image &Info", "i"},
        MnemonicCase{"onlyDoubled", "Save && close", ""},
        MnemonicCase{"doubledThenKey", "A && B &copy", "c"},
        MnemonicCase{"doubledThenDoubled", "A && B && C", ""},
        MnemonicCase{"endsInAmpersand", "Close&", ""}, MnemonicCase{"oneCharacter", "&", ""},
        MnemonicCase{"oneLetter", "Y", ""}, MnemonicCase{"empty", "", ""},
        MnemonicCase{"doubledThenAmpersandAtEnd", "a&&b&", ""},
        // Only the first two groups count.
        MnemonicCase{"thirdGroupIgnored", "&&a&&b&c", ""},
        MnemonicCase{"secondSingleIgnored", "&a&b", "a"},
        MnemonicCase{"tripleAmpersand", "&&&x", "x"}, MnemonicCase{"nonAscii", "&Über", "ü"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AccessKey, AltKeyInTheWindowClicks)
{
    QWidget window;
    auto* yes = new chameleonButton(&window);
    auto* no = new chameleonButton(&window);
    yes->setCaption("&Yes");
    no->setCaption("&No");
    no->move(0, 30);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QStringList clicks;
    QObject::connect(yes, &chameleonButton::Click, [&] { clicks << "yes"; });
    QObject::connect(no, &chameleonButton::Click, [&] { clicks << "no"; });

    QTest::keyClick(&window, Qt::Key_N, Qt::AltModifier);
    QTest::keyClick(&window, Qt::Key_Y, Qt::AltModifier);
    EXPECT_EQ(clicks, QStringList({"no", "yes"}));

    // A new caption moves the key; the old one is released.
    yes->setCaption("&Agree");
    QTest::keyClick(&window, Qt::Key_Y, Qt::AltModifier);
    QTest::keyClick(&window, Qt::Key_A, Qt::AltModifier);
    EXPECT_EQ(clicks, QStringList({"no", "yes", "yes"}));

    // Disabled: no click.
    yes->setEnabledProperty(false);
    QTest::keyClick(&window, Qt::Key_A, Qt::AltModifier);
    EXPECT_EQ(clicks.size(), 3);

    // After a right press the access key raises nothing until a left press.
    QTest::mouseClick(no, Qt::RightButton, {}, QPoint(5, 5));
    QTest::keyClick(&window, Qt::Key_N, Qt::AltModifier);
    EXPECT_EQ(clicks.size(), 3);
    QTest::mousePress(no, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(no, Qt::LeftButton, {}, QPoint(500, 5));
    QTest::keyClick(&window, Qt::Key_N, Qt::AltModifier);
    EXPECT_EQ(clicks, QStringList({"no", "yes", "yes", "no"}));
}

TEST(Accessibility, PushButtonNamedByItsCaptionWithAPressAction)
{
    auto button = makeButton();
    button->setCaption("Save && &close");
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(button.get());
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->role(), QAccessible::Button);
    EXPECT_EQ(iface->text(QAccessible::Name), "Save & close");
    EXPECT_FALSE(iface->state().disabled);

    QAccessibleActionInterface* actions = iface->actionInterface();
    ASSERT_NE(actions, nullptr);
    ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
    int clicks = 0;
    QObject::connect(button.get(), &chameleonButton::Click, [&] { ++clicks; });
    actions->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(clicks, 1);

    button->setEnabledProperty(false);
    EXPECT_TRUE(iface->state().disabled);
    actions->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(clicks, 1);
}

TEST(ButtonLifetime, ClickHandlerMayDeleteTheButton)
{
    HostedButton hosted = makeButton();
    chameleonButton* button = hosted.button;
    QPointer<chameleonButton> alive(button);
    QObject::connect(button, &chameleonButton::Click, [button] { delete button; });
    QTest::keyPress(button, Qt::Key_Space);
    QTest::keyRelease(button, Qt::Key_Space);
    EXPECT_TRUE(alive.isNull());
}

} // namespace
