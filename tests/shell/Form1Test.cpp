#include "FakeDesktop.h"
#include "ShellTestSupport.h"

#include "CorvaneVersion.h"
#include "controls/chameleonButton.h"
#include "shell/Form1.h"
#include "shell/ImageBox.h"
#include "shell/ShapeBox.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>

namespace {

class Form1Test : public TemporarySettingsTest {
protected:
    std::unique_ptr<Form1> startWindow()
    {
        auto window = std::make_unique<Form1>(&m_desktop);
        window->Form_Load();
        return window;
    }

    FakeDesktop m_desktop;
};

TEST_F(Form1Test, FirstStartUsesTheDefaults)
{
    auto w = startWindow();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Corvane ") + QLatin1String(kCorvaneVersion));
    // 10440 twips = 696 pixels wide; the height follows: 0.571854 * 10440 = 5970 twips.
    EXPECT_EQ(w->frameGeometry().width(), 696);
    EXPECT_EQ(w->frameGeometry().height(), 398);
    EXPECT_EQ(w->frameGeometry().topLeft(), QPoint(67, 67));
    EXPECT_EQ(w->fontPointsForHeight(), 10);
    EXPECT_EQ(w->cmdCompare()->Font().pointSize(), 10);
    EXPECT_EQ(w->cboOptions()->currentIndex(), 0);
    EXPECT_EQ(w->cboOptions()->count(), 3);
    EXPECT_EQ(w->cboOptions()->itemText(0), QStringLiteral(" Delete to recycle bin"));
    EXPECT_EQ(w->SearchFolder(), QDir::homePath() + QLatin1Char('/'));
    EXPECT_EQ(w->cmdDelete1()->Caption(), QStringLiteral("Delete"));
}

TEST_F(Form1Test, IdleWindowShowsTheSearchButtonOnly)
{
    auto w = startWindow();
    EXPECT_TRUE(w->cmdCompare()->isVisible());
    EXPECT_TRUE(w->cmdCompare()->Enabled());
    EXPECT_FALSE(w->cmdCancel()->isVisible());
    EXPECT_FALSE(w->cmdInfo()->isVisible());
    EXPECT_FALSE(w->cmdDelete1()->Enabled());
    EXPECT_FALSE(w->cmdDelete2()->Enabled());
    EXPECT_FALSE(w->lblFiles()->isVisible());
    EXPECT_TRUE(w->Shape1()->isVisible());
    EXPECT_TRUE(w->Command1()->hasFocus() || w->focusWidget() == w->Command1());
    // The design values come from the stored layout: cmdDelete2 keeps its own face.
    EXPECT_EQ(w->cmdDelete2()->Font().family(), QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(w->cmdCompare()->ButtonType(), int(chameleonButton::Gradient));
    EXPECT_EQ(w->cmdCompare()->ColorScheme(), int(chameleonButton::SchemeCustom));
    EXPECT_EQ(w->cmdCompare()->BackColor(), 0xFFC5AAu);
}

TEST_F(Form1Test, CloseStoresPlaceWidthAndFolderButNoHeight)
{
    auto w = startWindow();
    w->move(100, 120);
    w->resize(900, 515);
    const double width = w->Width();
    EXPECT_NE(width, 10440);
    w->close();
    QSettings s = stored();
    EXPECT_EQ(s.value("Me/Left").toString(), QStringLiteral("1500"));
    EXPECT_EQ(s.value("Me/Top").toString(), QStringLiteral("1800"));
    EXPECT_EQ(s.value("Me/Width").toString(), QString::number(width));
    EXPECT_EQ(s.value("Statr/Folder").toString(), QDir::homePath() + QLatin1Char('/'));
    EXPECT_FALSE(s.contains("Me/Height"));
}

TEST_F(Form1Test, SecondStartRestoresWidthAndDerivesHeightAndFont)
{
    // The offscreen screen is 800 x 800: the stored window fits it.
    store("Me/Left", "600");
    store("Me/Top", "1800");
    store("Me/Width", "11250");
    store("Statr/Folder", "/tmp/pics/");
    store("Delete/Options", "2");
    auto w = startWindow();
    EXPECT_EQ(w->frameGeometry().topLeft(), QPoint(40, 120));
    EXPECT_EQ(w->frameGeometry().width(), 750);
    // 0.571854 * 11250 = 6433.4 twips = 428.9 pixels; 429 * 15 / 580 = 11.1 points.
    EXPECT_EQ(w->frameGeometry().height(), 429);
    EXPECT_EQ(w->fontPointsForHeight(), 11);
    EXPECT_EQ(w->SearchFolder(), QStringLiteral("/tmp/pics/"));
    EXPECT_EQ(w->cboOptions()->currentIndex(), 2);
    EXPECT_EQ(w->cmdDelete1()->Caption(), QStringLiteral("Move"));
    EXPECT_EQ(w->cmdDelete2()->Caption(), QStringLiteral("Move"));
}

TEST_F(Form1Test, UnreadableStoredValuesFallBackToDefaults)
{
    store("Me/Width", "wide");
    store("Me/Left", "");
    store("Delete/Options", "7");
    auto w = startWindow();
    EXPECT_EQ(w->frameGeometry().width(), 696);
    EXPECT_EQ(w->cboOptions()->currentIndex(), 0);
}

TEST_F(Form1Test, PositionOffEveryScreenIsBroughtBack)
{
    store("Me/Left", "900000");
    store("Me/Top", "-900000");
    auto w = startWindow();
    const QRect screen = w->screen()->availableGeometry();
    EXPECT_TRUE(screen.intersects(w->frameGeometry())) << "window left off screen";
}

struct StoredPlaceRow {
    const char* name;
    const char* key;
    const char* value;
    QRect expected; // outer frame on the 800 x 800 offscreen screen
};

void PrintTo(const StoredPlaceRow& c, std::ostream* os)
{
    *os << c.name;
}

class Form1StoredPlace : public Form1Test, public ::testing::WithParamInterface<StoredPlaceRow> { };

TEST_P(Form1StoredPlace, ComesBackOnTheDesktopAndIsStoredSo)
{
    const StoredPlaceRow& row = GetParam();
    store(QString::fromLatin1(row.key), QString::fromLatin1(row.value));
    auto w = startWindow();
    EXPECT_EQ(w->frameGeometry(), row.expected);
    // What is stored at close is the fitted place, so the next start is the same.
    w->close();
    QSettings s = stored();
    EXPECT_EQ(s.value("Me/Width").toString(), QString::number(row.expected.width() * 15));
    EXPECT_EQ(s.value("Me/Left").toString(), QString::number(row.expected.x() * 15));
    EXPECT_EQ(s.value("Me/Top").toString(), QString::number(row.expected.y() * 15));
}

INSTANTIATE_TEST_SUITE_P(Rows, Form1StoredPlace,
    ::testing::Values(
        // Wider than the screen: as wide as the screen, 0.571854 * 800 = 457.5 -> 457 high.
        StoredPlaceRow{"Width_1e30", "Me/Width", "1e30", {0, 67, 800, 457}},
        StoredPlaceRow{"Width_50000", "Me/Width", "50000", {0, 67, 800, 457}},
        StoredPlaceRow{"Width_1e40", "Me/Width", "1e40", {67, 67, 696, 398}},
        StoredPlaceRow{"Width_minus_5", "Me/Width", "-5", {67, 67, 696, 398}},
        StoredPlaceRow{"Width_0", "Me/Width", "0", {67, 67, 696, 398}},
        StoredPlaceRow{"Width_nan", "Me/Width", "nan", {67, 67, 696, 398}},
        StoredPlaceRow{"Width_inf", "Me/Width", "inf", {67, 67, 696, 398}},
        // A window made that narrow comes back that narrow.
        StoredPlaceRow{"Width_1400", "Me/Width", "1400", {67, 67, 93, 53}},
        StoredPlaceRow{"Left_1e30", "Me/Left", "1e30", {800 - 696, 67, 696, 398}},
        StoredPlaceRow{"Left_minus_1e30", "Me/Left", "-1e30", {0, 67, 696, 398}},
        StoredPlaceRow{"Top_1e30", "Me/Top", "1e30", {67, 800 - 398, 696, 398}},
        StoredPlaceRow{"Top_minus_300", "Me/Top", "-300", {67, 0, 696, 398}},
        StoredPlaceRow{"Left_nan", "Me/Left", "nan", {67, 67, 696, 398}},
        StoredPlaceRow{"Left_text", "Me/Left", "left", {67, 67, 696, 398}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Form1Test, LayoutStretchesWithTheClientArea)
{
    auto w = startWindow();
    w->resize(1380, 740);
    // Logical 215, 317, 260 x 33 at twice the 690 x 370 scale.
    EXPECT_EQ(w->cmdCompare()->geometry(), QRect(430, 634, 520, 66));
    EXPECT_EQ(w->Image2()->geometry(), QRect(704, 46, 640, 480));
    EXPECT_EQ(w->lblPic1()->geometry(), QRect(32, 6, 640, 36));
}

TEST_F(Form1Test, FontsFollowTheHeightAndShareOneBoldSetting)
{
    auto w = startWindow();
    w->resize(1380, 789); // 789 px = 11835 twips -> 20 points
    EXPECT_EQ(w->cmdCancel()->Font().pointSize(), 20);
    EXPECT_EQ(w->lblFiles()->font().pointSize(), 20);
    EXPECT_TRUE(w->cmdCompare()->Font().bold());
    EXPECT_TRUE(w->lblPic2()->font().bold());

    w->resize(400, 200); // 3000 twips -> 5 points: small fonts lose bold
    EXPECT_EQ(w->cmdInfo()->Font().pointSize(), 5);
    for (chameleonButton* b :
        {w->cmdCompare(), w->cmdCancel(), w->cmdInfo(), w->cmdDelete1(), w->cmdDelete2()})
        EXPECT_FALSE(b->Font().bold()) << b->objectName().toStdString();
    EXPECT_FALSE(w->lblFiles()->font().bold());
}

TEST_F(Form1Test, ActionFieldShowsTheChosenActionAfterResize)
{
    auto w = startWindow();
    w->cboOptions()->setCurrentIndex(1);
    emit w->cboOptions()->activated(1);
    EXPECT_EQ(stored().value("Delete/Options").toString(), QStringLiteral("1"));
    w->resize(800, 450);
    EXPECT_EQ(w->cboOptions()->currentText(), QStringLiteral(" Delete permanently"));
    EXPECT_EQ(w->cboOptions()->currentIndex(), 1);
}

TEST_F(Form1Test, HoverColourFollowsThePointer)
{
    auto w = startWindow();
    sendMouseMove(w->cmdCompare(), QPoint(5, 5));
    EXPECT_EQ(w->cmdCompare()->BackColor(), 0xFFBE96u);
    EXPECT_EQ(w->cmdCancel()->BackColor(), 0xFFC5AAu);

    // Straight onto an image: the button keeps its hover colour.
    sendMouseMove(w->Image1(), QPoint(5, 5));
    EXPECT_EQ(w->cmdCompare()->BackColor(), 0xFFBE96u);

    // Bare background resets all five.
    sendMouseMove(w.get(), QPoint(2, w->height() - 2));
    EXPECT_EQ(w->cmdCompare()->BackColor(), 0xFFC5AAu);
}

} // namespace
