// The action buttons of Form1 against real files, with the picker and the
// message boxes scripted by a fake desktop: what runs is what the action field
// shows, a pair that changed is left alone, a move never takes a file that is
// not the one it copied, and the file names leave the labels with their tips.
#include "FakeDesktop.h"
#include "SaveOverWhenOpened.h"
#include "ShellTestSupport.h"

#include "controls/chameleonButton.h"
#include "handling/DuplicateAction.h"
#include "search/ComparisonRun.h"
#include "shell/Form1.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QImage testPicture(int seed)
{
    QImage image(40, 30, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(
                x, y, qRgb((x * 5 + seed) & 255, (y * 13 + seed * 7) & 255, (x + y) & 255));
    return image;
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class Form1ActionTest : public TemporarySettingsTest {
protected:
    void SetUp() override
    {
        TemporarySettingsTest::SetUp();
        ASSERT_TRUE(m_pictures.isValid());
        ASSERT_TRUE(m_elsewhere.isValid());
        m_window = std::make_unique<Form1>(&m_desktop, QStringLiteral(CORVANE_BIN_DIR));
        m_window->Form_Load();
    }

public:
    QString path(const QString& name) const { return m_pictures.path() + QLatin1Char('/') + name; }
    QString moved(const QString& name) const
    {
        return m_elsewhere.path() + QLatin1Char('/') + name;
    }
    void save(int seed, const QString& name)
    {
        ASSERT_TRUE(testPicture(seed).save(path(name), "BMP"));
    }

    // Two identical pictures p.bmp and q.bmp, searched until the pair is on show.
    void showPair(int row)
    {
        if (m_window->run().isSearching())
            m_window->cmdCancel()->click();
        for (const QString& name : QDir(m_pictures.path()).entryList(QDir::Files))
            QFile::remove(path(name));
        for (const QString& name : QDir(m_elsewhere.path()).entryList(QDir::Files))
            QFile::remove(moved(name));
        save(4, QStringLiteral("p.bmp"));
        save(4, QStringLiteral("q.bmp"));
        m_window->cboOptions()->setCurrentIndex(row);
        emit m_window->cboOptions()->activated(row);
        m_desktop.messages.clear();
        m_desktop.folderAnswers = {m_pictures.path()};
        m_window->cmdCompare()->click();
        ASSERT_TRUE(m_window->run().pairOnShow());
        ASSERT_EQ(m_window->lblPic1()->text(), QStringLiteral("p.bmp"));
    }

    QStringList messages() const
    {
        QStringList texts;
        for (const ShownMessage& m : m_desktop.messages)
            texts << m.text;
        return texts;
    }

    QTemporaryDir m_pictures;
    QTemporaryDir m_elsewhere;
    FakeDesktop m_desktop;
    std::unique_ptr<Form1> m_window;
};

TEST_F(Form1ActionTest, ActionFieldRunsOnlyARowItShowsInFull)
{
    const QString none = QStringLiteral("Compared 2 files.\r\nFound no duplicates.");
    const struct {
        const char* typed;
        bool moves; // else no file is touched
    } rows[] = {
        {"xyz", false},
        {" Delete to rec", false},
        {" delete permanently", false},
        {"", false},
        {" Move to another folder", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.typed);
        showPair(DuplicateAction::DeleteRow);
        m_window->cboOptions()->setEditText(QString::fromUtf8(row.typed));
        m_desktop.pickerCalls = 0;
        m_desktop.folderAnswers = {m_elsewhere.path()};
        m_window->cmdDelete2()->click();
        EXPECT_TRUE(QFile::exists(path(QStringLiteral("p.bmp"))));
        if (row.moves) {
            EXPECT_EQ(m_desktop.pickerCalls, 1);
            EXPECT_TRUE(QFile::exists(moved(QStringLiteral("q.bmp"))));
            EXPECT_EQ(messages(),
                QStringList{QStringLiteral("Compared 2 files.\r\nDeleted 1 duplicate(s).")});
        } else {
            EXPECT_EQ(m_desktop.pickerCalls, 0);
            EXPECT_TRUE(QFile::exists(path(QStringLiteral("q.bmp"))));
            EXPECT_EQ(m_window->cboOptions()->currentIndex(), -1) << "no row is selected";
            EXPECT_EQ(m_window->cboOptions()->currentText(), QString::fromUtf8(row.typed));
            // The entry left the list, so the search ends, counting no deletion.
            EXPECT_EQ(messages(), QStringList{none});
        }
        EXPECT_EQ(stored().value("Delete/Options").toString(), QStringLiteral("1"));
        EXPECT_TRUE(m_desktop.trashed.isEmpty());
    }
}

TEST_F(Form1ActionTest, PairChangedWhileTheMovePickerIsOpenIsLeftAlone)
{
    const struct {
        const char* name;
        void (*change)(Form1ActionTest& t);
    } rows[] = {
        {"twin removed", [](Form1ActionTest& t) { QFile::remove(t.path("q.bmp")); }},
        {"twin changed", [](Form1ActionTest& t) { t.save(9, QStringLiteral("q.bmp")); }},
        {"copy changed", [](Form1ActionTest& t) { t.save(9, QStringLiteral("p.bmp")); }},
        {"twin replaced by an equal file",
            [](Form1ActionTest& t) {
                t.save(4, QStringLiteral("q2.bmp"));
                ::rename(QFile::encodeName(t.path("q2.bmp")), QFile::encodeName(t.path("q.bmp")));
            }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        showPair(DuplicateAction::MoveRow);
        m_desktop.onPicker = [&] { row.change(*this); };
        m_desktop.folderAnswers = {m_elsewhere.path()};
        m_window->cmdDelete1()->click();
        m_desktop.onPicker = nullptr;
        EXPECT_TRUE(QFile::exists(path(QStringLiteral("p.bmp"))));
        EXPECT_TRUE(QDir(m_elsewhere.path()).isEmpty());
        ASSERT_FALSE(m_desktop.messages.isEmpty());
        EXPECT_EQ(m_desktop.messages.first().text,
            DuplicateAction::changedPairText(path(QStringLiteral("p.bmp"))));
        EXPECT_EQ(m_desktop.messages.first().title, QStringLiteral("Corvane"));
    }
}

TEST_F(Form1ActionTest, SaveOverTheCopyDuringAMoveToAnotherDiskKeepsTheSavedFile)
{
    QTemporaryDir far(QStringLiteral("/dev/shm/corvane-XXXXXX"));
    struct stat farStat { };
    struct stat nearStat { };
    if (!far.isValid() || ::stat(QFile::encodeName(far.path()).constData(), &farStat) != 0
        || ::stat(QFile::encodeName(m_pictures.path()).constData(), &nearStat) != 0
        || farStat.st_dev == nearStat.st_dev)
        GTEST_SKIP() << "/dev/shm is not a second file system here";
    showPair(DuplicateAction::MoveRow);
    const QByteArray original = contentOf(path(QStringLiteral("p.bmp")));
    save(9, QStringLiteral("p.bmp.saving"));
    const QByteArray edited = contentOf(path(QStringLiteral("p.bmp.saving")));
    SaveOverWhenOpened editor(path(QStringLiteral("p.bmp")), path(QStringLiteral("p.bmp.saving")));
    if (!editor.active())
        GTEST_SKIP() << editor.why().toStdString();

    m_desktop.folderAnswers = {far.path()};
    m_window->cmdDelete1()->click();

    ASSERT_TRUE(editor.savedOver());
    EXPECT_EQ(contentOf(path(QStringLiteral("p.bmp"))), edited) << "the saved file survives";
    EXPECT_EQ(contentOf(far.path() + QStringLiteral("/p.bmp")), original);
    ASSERT_EQ(m_desktop.messages.size(), 2);
    const ShownMessage& failed = m_desktop.messages.first();
    EXPECT_EQ(failed.title, QStringLiteral("Corvane"));
    EXPECT_TRUE(failed.text.startsWith(path(QStringLiteral("p.bmp"))
        + QStringLiteral(" was replaced or changed while it was being moved to ")))
        << failed.text.toStdString();
    EXPECT_TRUE(failed.text.contains(far.path() + QStringLiteral("/p.bmp")));
    // The entry stayed, the pair was compared again (it now differs) and
    // nothing counts as deleted.
    EXPECT_EQ(m_desktop.messages.last().text,
        QStringLiteral("Compared 2 files.\r\nFound no duplicates."));
}

TEST_F(Form1ActionTest, MoveIntoTheSearchedFolderThroughALinkIsTheSameFolder)
{
    const QString link = m_elsewhere.path() + QStringLiteral("/pictures");
    ASSERT_EQ(
        ::symlink(QFile::encodeName(m_pictures.path()).constData(), QFile::encodeName(link)), 0);
    showPair(DuplicateAction::MoveRow);
    m_desktop.folderAnswers = {link};
    m_window->cmdDelete1()->click();
    ASSERT_FALSE(m_desktop.messages.isEmpty());
    EXPECT_EQ(m_desktop.messages.first().text, QStringLiteral("Can't move to same folder."));
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("p.bmp"))));
    EXPECT_TRUE(m_window->run().pairOnShow()) << "the same pair comes back";
}

TEST_F(Form1ActionTest, FileNamesLeaveTheLabelsWithTheirTips)
{
    const struct {
        const char* name;
        bool cancel;
    } rows[] = {{"after the last action", false}, {"after a cancel", true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        showPair(DuplicateAction::DeleteRow);
        ASSERT_EQ(m_window->lblPic1()->toolTip(), QStringLiteral("p.bmp"));
        QStringList tipsWhileTheBoxIsUp;
        m_desktop.onMessage = [&] {
            tipsWhileTheBoxIsUp << m_window->lblPic1()->toolTip() + m_window->lblPic2()->toolTip();
        };
        if (row.cancel)
            m_window->cmdCancel()->click();
        else
            m_window->cmdDelete1()->click();
        m_desktop.onMessage = nullptr;
        EXPECT_EQ(tipsWhileTheBoxIsUp, QStringList{QString()});
        EXPECT_TRUE(m_window->lblPic1()->toolTip().isEmpty());
        EXPECT_TRUE(m_window->lblPic2()->toolTip().isEmpty());
    }
}

} // namespace
