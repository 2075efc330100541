#include "update/frmUpdate.h"

#include "ScriptedHttpServer.h"
#include "controls/chameleonButton.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMouseEvent>
#include <QWindow>
#include <gtest/gtest.h>
#include <memory>

namespace {

void settle()
{
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
}

class frmUpdateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        main = std::make_unique<QWidget>();
        main->setGeometry(200, 150, 696, 398);
        main->show();
        settle();
    }
    void TearDown() override
    {
        delete frmUpdate::instance();
        settle();
    }

    void show(const QString& version = "1.20")
    {
        frmUpdate::showFor(main.get(), version, [this](const QUrl& url) {
            opened << url;
            return false; // a browser that fails to start changes nothing
        });
        settle();
    }

    ScopedSite site{"http://127.0.0.1:9/"};
    std::unique_ptr<QWidget> main;
    QList<QUrl> opened;
};

TEST_F(frmUpdateTest, ShowsOverTheDisabledMainWindow)
{
    show("1.20");
    frmUpdate* window = frmUpdate::instance();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(main->isEnabled());
    EXPECT_EQ(window->windowTitle(), "Corvane");
    EXPECT_EQ(window->size(), QSize(304, 172));
    EXPECT_EQ(window->Label1()->text(), QString("Download\r\nCorvane 1.20"));
    EXPECT_EQ(window->cmdYes()->geometry(), QRect(130, 130, 80, 30));
    EXPECT_EQ(window->cmdNo()->geometry(), QRect(220, 130, 80, 30));
    EXPECT_EQ(window->cmdYes()->BackColor(), 0xFFFF80u);
    EXPECT_EQ(window->cmdNo()->BackColor(), 0xFFFF80u);
    EXPECT_EQ(window->frameGeometry().topLeft(),
        frmUpdate::placement(main->frameGeometry(), window->frameGeometry().size()));
}

TEST_F(frmUpdateTest, PlacedByTheOuterFramesOnceTheyAreKnown)
{
    // A main window without a frame of its own tells nothing about the frame
    // the window manager puts around this window: the place is worked out
    // again from the real frame once that is known.
    main = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
    main->setGeometry(200, 150, 696, 398);
    main->show();
    settle();
    show("1.20");
    frmUpdate* window = frmUpdate::instance();
    ASSERT_NE(window, nullptr);
    ASSERT_NE(window->frameGeometry(), window->geometry()) << "the platform frames windows";
    const auto placed = [&] {
        return window->frameGeometry().topLeft()
            == frmUpdate::placement(main->frameGeometry(), window->frameGeometry().size());
    };
    QElapsedTimer waited;
    waited.start();
    while (!placed() && waited.elapsed() < 1000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(placed());
}

TEST_F(frmUpdateTest, IsModalForTheMainWindow)
{
    show("1.20");
    frmUpdate* window = frmUpdate::instance();
    ASSERT_NE(window, nullptr);
    ASSERT_NE(window->windowHandle(), nullptr);
    // Qt blocks input and the close request to every window a modal window
    // is transient for; that is what keeps the main window's close box idle.
    EXPECT_EQ(window->windowModality(), Qt::WindowModal);
    EXPECT_EQ(window->windowHandle()->transientParent(), main->windowHandle());
    EXPECT_EQ(QGuiApplication::modalWindow(), window->windowHandle());
    EXPECT_EQ(QApplication::activeModalWidget(), window);

    emit window->cmdNo()->Click();
    settle();
    EXPECT_EQ(QGuiApplication::modalWindow(), nullptr) << "the main window is free again";
}

TEST_F(frmUpdateTest, ShowingAgainReusesTheWindow)
{
    show("1.20");
    frmUpdate* first = frmUpdate::instance();
    show("1.30");
    EXPECT_EQ(frmUpdate::instance(), first);
    EXPECT_EQ(first->Label1()->text(), QString("Download\r\nCorvane 1.30"));
    EXPECT_FALSE(main->isEnabled());
}

enum class CloseBy { Yes, No, CloseBox, Destruction };

std::string closeName(CloseBy way)
{
    switch (way) {
    case CloseBy::Yes:
        return "Yes";
    case CloseBy::No:
        return "No";
    case CloseBy::CloseBox:
        return "CloseBox";
    case CloseBy::Destruction:
        break;
    }
    return "Destruction";
}

class frmUpdateClosing : public frmUpdateTest, public ::testing::WithParamInterface<CloseBy> { };

TEST_P(frmUpdateClosing, EnablesTheMainWindowAgain)
{
    show();
    frmUpdate* window = frmUpdate::instance();
    ASSERT_NE(window, nullptr);
    switch (GetParam()) {
    case CloseBy::Yes:
        emit window->cmdYes()->Click();
        break;
    case CloseBy::No:
        emit window->cmdNo()->Click();
        break;
    case CloseBy::CloseBox:
        window->close();
        break;
    case CloseBy::Destruction:
        delete window;
        break;
    }
    settle();
    EXPECT_TRUE(main->isEnabled());
    EXPECT_EQ(frmUpdate::instance(), nullptr);
    if (GetParam() == CloseBy::Yes) {
        ASSERT_EQ(opened.size(), 1);
        EXPECT_EQ(opened[0], QUrl("http://127.0.0.1:9/_mgxroot/page_10736.html"));
    } else {
        EXPECT_TRUE(opened.isEmpty());
    }

    // Unloaded means a later announcement builds the window anew.
    show("1.40");
    ASSERT_NE(frmUpdate::instance(), nullptr);
    EXPECT_FALSE(main->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Ways, frmUpdateClosing,
    ::testing::Values(CloseBy::Yes, CloseBy::No, CloseBy::CloseBox, CloseBy::Destruction),
    [](const auto& info) { return closeName(info.param); });

TEST_F(frmUpdateTest, MainWindowGoingAwayTakesTheWindowAlong)
{
    show();
    main.reset();
    settle();
    EXPECT_EQ(frmUpdate::instance(), nullptr);
}

TEST_F(frmUpdateTest, HoverColours)
{
    show();
    frmUpdate* window = frmUpdate::instance();
    short button = 0, shift = 0;
    float x = 5, y = 5;
    emit window->cmdYes()->MouseMove(button, shift, x, y);
    EXPECT_EQ(window->cmdYes()->BackColor(), 0xFFBE96u);
    EXPECT_EQ(window->cmdNo()->BackColor(), 0xFFFF80u);

    emit window->cmdNo()->MouseMove(button, shift, x, y);
    EXPECT_EQ(window->cmdNo()->BackColor(), 0xFFBE96u);

    QMouseEvent move(QEvent::MouseMove, QPointF(20, 150), window->mapToGlobal(QPointF(20, 150)),
        Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(window, &move);
    EXPECT_EQ(window->cmdYes()->BackColor(), 0xFFC5AAu);
    EXPECT_EQ(window->cmdNo()->BackColor(), 0xFFC5AAu);
}

struct PlacementCase {
    QRect mainFrame;
    QSize ownFrame;
    QPoint expected;
};

class frmUpdatePlacement : public ::testing::TestWithParam<PlacementCase> { };

TEST_P(frmUpdatePlacement, CentredAcrossAtOneThirdDown)
{
    EXPECT_EQ(frmUpdate::placement(GetParam().mainFrame, GetParam().ownFrame), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Frames, frmUpdatePlacement,
    ::testing::Values(
        // The default main window: 10440 x 5970 twips at 1000, 1000.
        PlacementCase{{67, 67, 696, 398}, {310, 200}, {260, 100}},
        PlacementCase{{0, 0, 600, 300}, {300, 100}, {150, 50}},
        // Half pixels round to even.
        PlacementCase{{0, 0, 601, 300}, {300, 100}, {150, 50}},
        PlacementCase{{0, 0, 603, 300}, {300, 100}, {152, 50}},
        // A main window partly off the screen places the window there too.
        PlacementCase{{-500, -400, 600, 300}, {300, 100}, {-350, -350}}));

} // namespace
