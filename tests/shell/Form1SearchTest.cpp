// Form1 driven as a user would: the search button, the action buttons and
// cancel, with the picker and the message boxes scripted by a fake desktop,
// over real image files and the real converter.
#include "FakeDesktop.h"
#include "ShellTestSupport.h"

#include "controls/chameleonButton.h"
#include "handling/frmInfo.h"
#include "search/ComparisonRun.h"
#include "shell/Form1.h"
#include "shell/ImageBox.h"
#include "shell/ProgressBarBox.h"
#include "shell/ShapeBox.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QTimer>

namespace {

QImage testPicture(int seed, QSize size = QSize(40, 30))
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(
                x, y, qRgb((x * 7 + seed) & 255, (y * 11 + seed * 3) & 255, (x ^ y) & 255));
    return image;
}

class Form1SearchTest : public TemporarySettingsTest {
protected:
    void SetUp() override
    {
        TemporarySettingsTest::SetUp();
        ASSERT_TRUE(m_pictures.isValid());
        m_window = std::make_unique<Form1>(&m_desktop, QStringLiteral(CORVANE_BIN_DIR));
        m_window->Form_Load();
    }

    QString folder() const { return m_pictures.path(); }
    QString path(const QString& name) const { return folder() + QLatin1Char('/') + name; }
    void save(const QImage& image, const QString& name) { ASSERT_TRUE(image.save(path(name))); }

    void chooseAction(int row)
    {
        m_window->cboOptions()->setCurrentIndex(row);
        emit m_window->cboOptions()->activated(row);
    }

    void search()
    {
        m_desktop.folderAnswers << folder();
        m_window->cmdCompare()->click();
    }

    QString lastMessage() const
    {
        return m_desktop.messages.isEmpty() ? QString() : m_desktop.messages.last().text;
    }

    QTemporaryDir m_pictures;
    FakeDesktop m_desktop;
    std::unique_ptr<Form1> m_window;
};

TEST_F(Form1SearchTest, ThreeIdenticalImagesAreWalkedThroughByTheLeftButton)
{
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"})
        save(testPicture(1), QLatin1String(name));
    search();
    Form1& w = *m_window;
    ASSERT_EQ(w.lblPic1()->text(), QStringLiteral("a.bmp"));
    EXPECT_EQ(w.lblPic2()->text(), QStringLiteral("b.bmp"));
    EXPECT_TRUE(w.cmdDelete1()->Enabled());
    EXPECT_TRUE(w.cmdInfo()->Enabled());
    EXPECT_FALSE(w.cmdCompare()->isVisible());
    EXPECT_TRUE(w.cmdCancel()->isVisible());
    EXPECT_EQ(w.lblFiles()->text(), folder() + QStringLiteral("/ (3 files)"));

    w.cmdDelete1()->click();
    ASSERT_EQ(w.lblPic1()->text(), QStringLiteral("b.bmp"));
    EXPECT_EQ(w.lblPic2()->text(), QStringLiteral("c.bmp"));
    w.cmdDelete1()->click();

    ASSERT_EQ(m_desktop.messages.size(), 1);
    const ShownMessage& done = m_desktop.messages.first();
    EXPECT_EQ(done.text, QStringLiteral("Compared 3 files.\r\nDeleted 2 duplicate(s)."));
    EXPECT_EQ(done.title, QStringLiteral("Corvane"));
    EXPECT_EQ(done.style, 64);
    // Centred on the window, 150 pixels below its top.
    EXPECT_EQ(done.x, w.frameGeometry().x() + w.frameGeometry().width() / 2);
    EXPECT_EQ(done.y, w.frameGeometry().y() + 150);
    EXPECT_EQ(m_desktop.trashed, QStringList({path("a.bmp"), path("b.bmp")}));
    EXPECT_TRUE(QFile::exists(path("c.bmp")));
    // Back to idle.
    EXPECT_TRUE(w.cmdCompare()->isVisible());
    EXPECT_FALSE(w.cmdCancel()->isVisible());
    EXPECT_FALSE(w.picProgressBar()->isVisible());
    EXPECT_FALSE(w.Image1()->hasPicture());
    EXPECT_TRUE(w.Shape1()->isVisible());
}

TEST_F(Form1SearchTest, PairsInEveryFormatAreFoundThroughTheConverter)
{
    if (!QFile::exists(QStringLiteral(CORVANE_BIN_DIR "/i__view32.exe")))
        GTEST_SKIP() << "converter not built";
    save(testPicture(2), QStringLiteral("one.png"));
    save(testPicture(2), QStringLiteral("two.png"));
    save(testPicture(3, QSize(30, 20)), QStringLiteral("x.tif"));
    save(testPicture(3, QSize(30, 20)), QStringLiteral("y.tif"));
    chooseAction(1);
    search();
    QStringList shown;
    while (m_window->run().pairOnShow()) {
        shown << m_window->lblPic1()->text() + QLatin1Char('+') + m_window->lblPic2()->text();
        m_window->cmdDelete2()->click();
    }
    shown.sort();
    EXPECT_EQ(
        shown, QStringList({QStringLiteral("one.png+two.png"), QStringLiteral("x.tif+y.tif")}));
    EXPECT_EQ(lastMessage(), QStringLiteral("Compared 4 files.\r\nDeleted 2 duplicate(s)."));
    EXPECT_FALSE(QFile::exists(path("two.png")));
    EXPECT_FALSE(QFile::exists(path("y.tif")));
    EXPECT_TRUE(QFile::exists(path("one.png")));
}

TEST_F(Form1SearchTest, PressesDuringTheReportsConverterWaitAreHeldBack)
{
    // The image report waits for the converter and turns the event loop
    // meanwhile. A Delete or a second Info pressed then must neither resume the
    // search inside that wait (its conversions could not get the scratch
    // folder) nor spoil the report; afterwards everything works as usual.
    if (!QFile::exists(QStringLiteral(CORVANE_BIN_DIR "/i__view32.exe")))
        GTEST_SKIP() << "converter not built";
    struct Row {
        const char* name;
        chameleonButton* (Form1::*button)() const;
    };
    const Row rows[] = {
        {"Delete of the left copy", &Form1::cmdDelete1},
        {"a second Info", &Form1::cmdInfo},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (const char* name : {"a1.png", "a2.png"})
            save(testPicture(20), QLatin1String(name));
        for (const char* name : {"b1.png", "b2.png"})
            save(testPicture(21, QSize(80, 60)), QLatin1String(name));
        m_desktop.messages.clear();
        search();
        ASSERT_TRUE(m_window->run().pairOnShow());
        ASSERT_EQ(m_window->lblPic1()->text(), QStringLiteral("a1.png"));

        bool pressed = false;
        bool heldBack = false;
        QTimer presser;
        presser.setInterval(0);
        QObject::connect(&presser, &QTimer::timeout, [&] {
            // The report window is up and still empty: its converter is running.
            frmInfo* report = frmInfo::existing();
            if (pressed || !report || !report->isVisible() || !report->reportText().isEmpty())
                return;
            pressed = true;
            chameleonButton* button = (m_window.get()->*row.button)();
            heldBack = !button->Enabled();
            button->click();
        });
        presser.start();
        m_window->cmdInfo()->click();
        presser.stop();

        EXPECT_TRUE(pressed);
        EXPECT_TRUE(heldBack) << "the button was not held back while the report ran";
        EXPECT_TRUE(QFile::exists(path("a1.png")));
        ASSERT_TRUE(frmInfo::existing());
        const QString report = frmInfo::existing()->reportText();
        EXPECT_TRUE(report.contains(QStringLiteral("Image dimensions = 40 x 30")))
            << report.toStdString();
        EXPECT_FALSE(report.contains(QStringLiteral("not available"))) << report.toStdString();
        ASSERT_TRUE(m_window->run().pairOnShow());
        EXPECT_EQ(m_window->lblPic1()->text(), QStringLiteral("a1.png"));
        EXPECT_TRUE(m_window->cmdDelete1()->Enabled());
        EXPECT_TRUE(m_window->cmdInfo()->Enabled());

        // The same press now acts at once and the search shows the next pair.
        m_window->cmdDelete1()->click();
        ASSERT_TRUE(m_window->run().pairOnShow());
        EXPECT_EQ(m_window->lblPic1()->text(), QStringLiteral("b1.png"));
        EXPECT_FALSE(QFile::exists(path("a1.png")));
        m_window->cmdDelete1()->click();
        EXPECT_EQ(lastMessage(), QStringLiteral("Compared 4 files.\r\nDeleted 2 duplicate(s)."));
        frmInfo::existing()->close();
        for (const char* name : {"a2.png", "b2.png"})
            QFile::remove(path(QLatin1String(name)));
    }
}

TEST_F(Form1SearchTest, AConverterOutOfTimeIsAFailedDecodeAndAnUnavailableReport)
{
    // A JPEG pair decodes in process and is shown; its report and the PNG
    // pair need the converter, which is given less time than it takes.
    if (!QFile::exists(QStringLiteral(CORVANE_BIN_DIR "/i__view32.exe")))
        GTEST_SKIP() << "converter not built";
    save(testPicture(30, QSize(40, 30)), QStringLiteral("a.jpg"));
    ASSERT_TRUE(QFile::copy(path("a.jpg"), path("b.jpg")));
    save(testPicture(31, QSize(1600, 1200)), QStringLiteral("c.png"));
    ASSERT_TRUE(QFile::copy(path("c.png"), path("d.png")));
    m_window->run().converter().setTimeLimit(1);
    search();
    ASSERT_TRUE(m_window->run().pairOnShow());
    EXPECT_EQ(m_window->lblPic1()->text(), QStringLiteral("a.jpg"));

    m_window->cmdInfo()->click();
    ASSERT_TRUE(frmInfo::existing());
    const QString report = frmInfo::existing()->reportText();
    EXPECT_TRUE(report.endsWith(QStringLiteral("\r\n\r\nImage information = not available")))
        << report.toStdString();
    frmInfo::existing()->close();

    m_window->cmdDelete2()->click();
    EXPECT_FALSE(m_window->run().pairOnShow()) << "the PNG pair was never read, so never shown";
    EXPECT_EQ(lastMessage(),
        QStringLiteral(
            "Compared 4 files.\r\nDeleted 1 duplicate(s).\r\n2 files could not be read."));
}

TEST_F(Form1SearchTest, RefusedMoveKeepsTheFileAndShowsThePairAgain)
{
    save(testPicture(4), QStringLiteral("p.bmp"));
    save(testPicture(4), QStringLiteral("q.bmp"));
    QTemporaryDir elsewhere;
    chooseAction(2);
    EXPECT_EQ(m_window->cmdDelete1()->Caption(), QStringLiteral("Move"));
    search();
    ASSERT_TRUE(m_window->run().pairOnShow());

    m_desktop.folderAnswers << folder(); // the searched folder itself
    m_window->cmdDelete1()->click();
    EXPECT_EQ(lastMessage(), QStringLiteral("Can't move to same folder."));
    EXPECT_TRUE(QFile::exists(path("p.bmp")));
    ASSERT_TRUE(m_window->run().pairOnShow()) << "the same pair comes back";
    EXPECT_EQ(m_window->lblPic1()->text(), QStringLiteral("p.bmp"));

    m_desktop.folderAnswers << elsewhere.path();
    m_window->cmdDelete2()->click();
    EXPECT_TRUE(QFile::exists(elsewhere.path() + QStringLiteral("/q.bmp")));
    EXPECT_FALSE(QFile::exists(path("q.bmp")));
    EXPECT_EQ(lastMessage(), QStringLiteral("Compared 2 files.\r\nDeleted 1 duplicate(s)."));
}

TEST_F(Form1SearchTest, FailedTrashIsReportedAndNotCounted)
{
    save(testPicture(5), QStringLiteral("keep me.bmp"));
    save(testPicture(5), QStringLiteral("twin.bmp"));
    search();
    ASSERT_TRUE(m_window->run().pairOnShow());
    m_desktop.trashFailure = QStringLiteral("Trash is full");
    m_window->cmdDelete1()->click();
    ASSERT_GE(m_desktop.messages.size(), 1);
    EXPECT_TRUE(m_desktop.messages.first().text.contains(QStringLiteral("keep me.bmp")));
    EXPECT_TRUE(m_desktop.messages.first().text.contains(QStringLiteral("Trash is full")));
    EXPECT_TRUE(QFile::exists(path("keep me.bmp")));
    ASSERT_TRUE(m_window->run().pairOnShow());

    m_window->cmdCancel()->click();
    EXPECT_EQ(lastMessage(), QStringLiteral("Search canceled."));
    EXPECT_TRUE(m_window->cmdCompare()->isVisible());
    EXPECT_FALSE(m_window->cmdDelete1()->Enabled());
    EXPECT_TRUE(m_window->lblPic1()->text().isEmpty());
    EXPECT_FALSE(m_window->Image2()->hasPicture());
    EXPECT_TRUE(QFile::exists(path("twin.bmp")));
}

TEST_F(Form1SearchTest, CancelledPickerLeavesTheWindowAsItWas)
{
    m_desktop.folderAnswers << QString();
    m_window->cmdCompare()->click();
    EXPECT_EQ(m_desktop.pickerCalls, 1);
    EXPECT_TRUE(m_window->cmdCompare()->isVisible());
    EXPECT_FALSE(m_window->lblFiles()->isVisible());
    EXPECT_TRUE(m_desktop.messages.isEmpty());
}

TEST_F(Form1SearchTest, EmptyFolderFinishesAtOnce)
{
    search();
    EXPECT_EQ(lastMessage(), QStringLiteral("Compared 0 files.\r\nFound no duplicates."));
    EXPECT_EQ(m_window->SearchFolder(), folder() + QLatin1Char('/'));
}

TEST_F(Form1SearchTest, ClosingDuringASearchEndsItAndStillStoresTheSettings)
{
    for (int i = 0; i < 6; ++i)
        save(testPicture(10 + i), QStringLiteral("img%1.bmp").arg(i));
    // The close arrives during the run's first event-loop turn.
    QTimer::singleShot(0, m_window.get(), [this] { m_window->close(); });
    search();
    EXPECT_FALSE(m_window->run().isRunning());
    EXPECT_TRUE(m_desktop.messages.isEmpty()) << "no box after the window closed";
    EXPECT_EQ(stored().value("Statr/Folder").toString(), folder() + QLatin1Char('/'));
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(QFile::exists(path(QStringLiteral("img%1.bmp").arg(i))));
}

// How far the shown box strays from the picture's proportions, in pixels of
// its shorter side's direction: 0 is exact.
double proportionError(QSize shown, QSize picture)
{
    const double ratio = double(picture.height()) / picture.width();
    if (ratio <= 1)
        return std::abs(shown.height() - ratio * shown.width());
    return std::abs(shown.width() - shown.height() / ratio);
}

TEST_F(Form1SearchTest, PairKeepsItsProportionsInEveryClientArea)
{
    const QSize pictures[] = {{320, 240}, {640, 100}, {100, 400}, {7, 5}, {1, 60}, {300, 299}};
    // Client areas of other proportions than 690 x 370, among them the one measured
    // in a maximised window (1398 x 776).
    const QSize clients[] = {{1398, 776}, {690, 370}, {500, 330}, {800, 300}, {333, 250}};
    int seed = 40;
    for (const QSize& picture : pictures) {
        QTemporaryDir pairFolder;
        ASSERT_TRUE(testPicture(seed, picture).save(pairFolder.path() + "/a.bmp"));
        ASSERT_TRUE(testPicture(seed++, picture).save(pairFolder.path() + "/b.bmp"));
        m_window->resize(clients[0]);
        m_desktop.folderAnswers << pairFolder.path();
        m_window->cmdCompare()->click();
        ASSERT_TRUE(m_window->run().pairOnShow());
        // Shown at the search's client size, then resized while on show.
        for (const QSize& client : clients) {
            if (client != clients[0])
                m_window->resize(client);
            const QSize area = m_window->size();
            const QRect box = m_window->Image1()->geometry();
            const std::string row = std::to_string(picture.width()) + "x"
                + std::to_string(picture.height()) + " in " + std::to_string(area.width()) + "x"
                + std::to_string(area.height());
            EXPECT_LE(proportionError(box.size(), picture), 1.0) << row;
            EXPECT_EQ(m_window->Image2()->geometry().size(), box.size()) << row;
            // Fitted to the 320 x 240 display area: one side fills it, the other is inside.
            const double areaWidth = 320.0 * area.width() / 690;
            const double areaHeight = 240.0 * area.height() / 370;
            EXPECT_LE(box.width(), areaWidth + 1) << row;
            EXPECT_LE(box.height(), areaHeight + 1) << row;
            EXPECT_TRUE(
                std::abs(box.width() - areaWidth) <= 1 || std::abs(box.height() - areaHeight) <= 1)
                << row;
            // Centred on the display area's centre (176, 143), and the label 20 above.
            const QPointF centre(176.0 * area.width() / 690, 143.0 * area.height() / 370);
            EXPECT_LE(std::abs(box.x() + box.width() / 2.0 - centre.x()), 1.0) << row;
            EXPECT_LE(std::abs(box.y() + box.height() / 2.0 - centre.y()), 1.0) << row;
            EXPECT_LE(
                std::abs(m_window->lblPic1()->y() - (box.y() - 20.0 * area.height() / 370)), 1.0)
                << row;
        }
        m_window->cmdCancel()->click();
    }
}

} // namespace
