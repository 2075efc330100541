#include "handling/frmInfo.h"

#include "TestFileSystem.h"
#include "controls/chameleonButton.h"
#include "handling/ImageInfoReport.h"
#include "search/ConverterClient.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace TestFileSystem;

namespace {

int openReportWindows()
{
    int count = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qobject_cast<frmInfo*>(w) && w->isVisible())
            ++count;
    }
    return count;
}

class frmInfoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_folder = m_dir.path() + QStringLiteral("/pics/");
        ASSERT_TRUE(QDir().mkpath(m_folder));
        ASSERT_TRUE(QDir().mkpath(m_dir.path() + QStringLiteral("/scratch")));
        for (const char* name : {"a.png", "b.png"}) {
            QImage image(4, 3, QImage::Format_RGB32);
            image.fill(Qt::blue);
            ASSERT_TRUE(image.save(m_folder + QLatin1String(name)));
        }
        m_main.setGeometry(100, 80, 690, 400);
        m_main.show();
    }
    void TearDown() override
    {
        if (frmInfo* w = frmInfo::existing())
            delete w;
    }
    ConverterClient converter(const QString& programFolder = QStringLiteral(CORVANE_BIN_DIR))
    {
        return ConverterClient(programFolder, m_dir.path() + QStringLiteral("/scratch"));
    }
    QTemporaryDir m_dir;
    QString m_folder;
    QWidget m_main;
};

TEST_F(frmInfoTest, WindowIsLaidOutAsDesigned)
{
    frmInfo* w = frmInfo::instance();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Image information"));
    EXPECT_EQ(w->size(), QSize(485, 308));
    EXPECT_EQ(w->parentWidget(), nullptr) << "no owner: the main window stays usable";
    EXPECT_TRUE(w->txtInfo()->isReadOnly());
    EXPECT_EQ(w->txtInfo()->geometry(), QRect(16, 8, 453, 249));
    EXPECT_EQ(w->txtInfo()->font().family(), QStringLiteral("Arial"));
    EXPECT_DOUBLE_EQ(w->txtInfo()->font().pointSizeF(), 9.75);
    EXPECT_TRUE(w->txtInfo()->font().bold());
    chameleonButton* close = w->cmdClose();
    EXPECT_EQ(close->geometry(), QRect(368, 272, 81, 25));
    EXPECT_EQ(close->Caption(), QStringLiteral("Close"));
    EXPECT_EQ(close->ButtonType(), int(chameleonButton::Gradient));
    EXPECT_EQ(close->ColorScheme(), int(chameleonButton::SchemeCustom));
    EXPECT_EQ(close->BackColor(), 0xFFFF80u);
    EXPECT_TRUE(close->Font().bold());
    EXPECT_DOUBLE_EQ(close->Font().pointSizeF(), 9.75);
}

TEST_F(frmInfoTest, CentredPositionRoundsHalvesToEven)
{
    const struct {
        QRect main;
        QSize info;
        QPoint expected;
    } rows[] = {
        {QRect(100, 80, 690, 400), QSize(485, 308), QPoint(202, 126)}, // 202.5 -> 202
        {QRect(101, 80, 690, 400), QSize(485, 308), QPoint(204, 126)}, // 203.5 -> 204
        {QRect(0, 0, 400, 300), QSize(485, 308), QPoint(-42, -4)}, // -42.5 -> -42
        {QRect(10, 20, 485, 308), QSize(485, 308), QPoint(10, 20)},
    };
    for (const auto& row : rows)
        EXPECT_EQ(frmInfo::centredPosition(row.main, row.info), row.expected);
}

TEST_F(frmInfoTest, FirstShowIsCentredByTheOuterFrames)
{
    // The window is not framed before it first shows; its frame, not its
    // client area, is what is centred on the main window's frame.
    for (const QPoint mainAt : {QPoint(100, 80), QPoint(101, 81), QPoint(0, 0)}) {
        m_main.move(mainAt);
        frmInfo* w = frmInfo::instance();
        w->beginReport(&m_main);
        ASSERT_NE(w->frameGeometry(), w->geometry()) << "the platform frames windows";
        EXPECT_EQ(w->frameGeometry().topLeft(),
            frmInfo::centredPosition(m_main.frameGeometry(), w->frameGeometry().size()))
            << mainAt.x() << "," << mainAt.y();
        delete w;
    }
}

TEST_F(frmInfoTest, TwoPressesLeaveOneWindowWithTheSecondReport)
{
    ConverterClient client = converter();
    frmInfo::ShowImageInfo(
        &m_main, client, m_folder, QStringLiteral("a.png"), QStringLiteral("b.png"));
    frmInfo* first = frmInfo::existing();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->reportText().startsWith(
        QStringLiteral("File path = ") + m_folder + QStringLiteral("\r\nFile name 1 = a.png\r\n")));

    m_main.move(300, 200);
    frmInfo::ShowImageInfo(
        &m_main, client, m_folder, QStringLiteral("b.png"), QStringLiteral("a.png"));
    EXPECT_EQ(frmInfo::existing(), first);
    EXPECT_EQ(openReportWindows(), 1);
    EXPECT_TRUE(first->reportText().contains(QStringLiteral("File name 1 = b.png\r\n")));
    EXPECT_EQ(first->frameGeometry().topLeft(),
        frmInfo::centredPosition(m_main.frameGeometry(), first->frameGeometry().size()));
}

TEST_F(frmInfoTest, ShownTextIsTheReportExactly)
{
    ConverterClient client = converter(m_dir.path() + QStringLiteral("/no converter"));
    frmInfo::ShowImageInfo(
        &m_main, client, m_folder, QStringLiteral("a.png"), QStringLiteral("gone.png"));
    ConverterClient again = converter(m_dir.path() + QStringLiteral("/no converter"));
    const QString expected = ImageInfoReport().Make(
        m_folder, QStringLiteral("a.png"), QStringLiteral("gone.png"), again);
    ASSERT_NE(frmInfo::existing(), nullptr);
    EXPECT_EQ(frmInfo::existing()->reportText().toStdString(), expected.toStdString());

    const QString endsWithBreak
        = QStringLiteral("File path = /p/\r\n\r\nFile size 1 = 1 bytes\r\n");
    frmInfo::existing()->setReport(endsWithBreak);
    EXPECT_EQ(frmInfo::existing()->reportText(), endsWithBreak);
}

TEST_F(frmInfoTest, CloseDestroysTheWindowAndTheNextPressMakesANewOne)
{
    frmInfo* first = frmInfo::instance();
    first->beginReport(&m_main);
    first->setReport(QStringLiteral("old"));
    emit first->cmdClose()->Click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(frmInfo::existing(), nullptr);
    EXPECT_EQ(openReportWindows(), 0);

    frmInfo* second = frmInfo::instance();
    second->beginReport(&m_main);
    EXPECT_TRUE(second->isVisible());
    EXPECT_TRUE(second->reportText().isEmpty());
}

TEST_F(frmInfoTest, PressDuringTheConverterWaitWins)
{
    ConverterClient outer = converter();
    if (!outer.converterPresent())
        GTEST_SKIP() << "converter not built";
    QTemporaryDir otherScratch;
    ConverterClient inner(QStringLiteral(CORVANE_BIN_DIR), otherScratch.path());
    bool pressed = false;
    outer.setEventTurn([&] {
        if (pressed)
            return;
        pressed = true;
        frmInfo::ShowImageInfo(
            &m_main, inner, m_folder, QStringLiteral("b.png"), QStringLiteral("a.png"));
    });
    frmInfo::ShowImageInfo(
        &m_main, outer, m_folder, QStringLiteral("a.png"), QStringLiteral("b.png"));
    ASSERT_TRUE(pressed);
    ASSERT_NE(frmInfo::existing(), nullptr);
    EXPECT_EQ(openReportWindows(), 1);
    EXPECT_TRUE(frmInfo::existing()->reportText().contains(QStringLiteral("File name 1 = b.png")))
        << "the earlier press must not overwrite the later report";
}

TEST_F(frmInfoTest, WindowClosedDuringTheConverterWaitStaysClosed)
{
    ConverterClient client = converter();
    if (!client.converterPresent())
        GTEST_SKIP() << "converter not built";
    client.setEventTurn([] {
        if (frmInfo* w = frmInfo::existing())
            delete w;
    });
    frmInfo::ShowImageInfo(
        &m_main, client, m_folder, QStringLiteral("a.png"), QStringLiteral("b.png"));
    EXPECT_EQ(frmInfo::existing(), nullptr);
}

} // namespace
