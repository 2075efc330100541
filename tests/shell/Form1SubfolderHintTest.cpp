// The first search of a folder whose pictures sit in subfolders: the
// neighbour search reads the folder alone and ends with its usual "Compared 0
// files" message; then the line under the search button says how many
// pictures the subfolders hold and how to search them. The empty window's
// own hint names the search button.
#include "FakeDesktop.h"
#include "ShellTestSupport.h"

#include "controls/chameleonButton.h"
#include "shell/Form1.h"
#include "shell/SubfolderHint.h"
#include "shell/WholeFolderMode.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>

#include <unistd.h>

namespace {

const QString kEmptyHint
    = QStringLiteral("Press Search folder for duplicate images and choose a folder.");
const QString kTick
    = QStringLiteral("Tick Include subfolders in the folder picker to search every picture.");

enum class Start { Picker, Argument };

struct HintCase {
    const char* name;
    // Files to make, relative to the searched folder; a name ending in "/"
    // is a folder, "link:target" a symbolic link to target.
    std::vector<const char*> files;
    const char* everyPicture; // stored check boxes
    const char* subfolders;
    QString expectedLine; // empty: the empty window's hint stays
    QString closing = QStringLiteral("Compared 0 files.\r\nFound no duplicates.");
};

class Form1SubfolderHintTest : public TemporarySettingsTest,
                               public ::testing::WithParamInterface<std::tuple<HintCase, Start>> {
protected:
    void SetUp() override
    {
        TemporarySettingsTest::SetUp();
        ASSERT_TRUE(m_pictures.isValid());
        ASSERT_TRUE(m_outside.isValid());
        m_window = std::make_unique<Form1>(&m_desktop, QStringLiteral(CORVANE_BIN_DIR));
        // The whole-folder search finds nothing, whatever it is asked.
        m_window->wholeFolder().setEngine(
            [](const WholeFolderRequest&, const std::atomic<bool>&,
                const WholeFolderSearch::Progress&) { return FinderResult(); });
    }

    void TearDown() override
    {
        QElapsedTimer t;
        t.start();
        while (m_window->wholeFolder().isSearching() && t.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        m_window.reset();
    }

    void make(const QString& root, const char* entry)
    {
        const QString text = QString::fromUtf8(entry);
        if (text.startsWith(QStringLiteral("link:"))) {
            const QStringList parts = text.mid(5).split(QLatin1Char('>'));
            ASSERT_EQ(parts.size(), 2);
            QString target = parts[1];
            target.replace(QStringLiteral("{outside}"), m_outside.path());
            ASSERT_EQ(symlink(QFile::encodeName(target).constData(),
                          QFile::encodeName(root + QLatin1Char('/') + parts[0]).constData()),
                0);
            return;
        }
        const QString path = root + QLatin1Char('/') + text;
        if (text.endsWith(QLatin1Char('/'))) {
            ASSERT_TRUE(QDir().mkpath(path));
            return;
        }
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
        QImage picture(12, 9, QImage::Format_RGB32);
        picture.fill(qRgb(qHash(text) & 255, 90, 200));
        const QByteArray format = text.endsWith(QStringLiteral(".png")) ? "PNG" : "BMP";
        if (text.endsWith(QStringLiteral(".txt"))) {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        } else {
            ASSERT_TRUE(picture.save(path, format.constData())) << path.toStdString();
        }
    }

    void search(Start start, const QString& folder)
    {
        if (start == Start::Argument) {
            m_window->searchFolder(folder);
        } else {
            m_desktop.folderAnswers << folder;
            m_window->cmdCompare()->click();
        }
    }

    // The line once the count is in, or the hint as it stands after a while.
    QString settledHint(const QString& awaited)
    {
        QElapsedTimer t;
        t.start();
        while (m_window->lblHint()->text() != awaited && t.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (m_window->wholeFolder().isSearching() || awaited == kEmptyHint) {
            // Give a count that should not come the time to come anyway.
            t.restart();
            while (t.elapsed() < 300)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return m_window->lblHint()->text();
    }

    QTemporaryDir m_pictures;
    QTemporaryDir m_outside;
    FakeDesktop m_desktop;
    std::unique_ptr<Form1> m_window;
};

TEST_P(Form1SubfolderHintTest, TellsWhatTheSubfoldersHold)
{
    const auto& [c, start] = GetParam();
    for (const char* entry : c.files)
        make(m_pictures.path(), entry);
    make(m_outside.path(), "far/away.png");
    store(QStringLiteral("Search/EveryPicture"), QString::fromUtf8(c.everyPicture));
    store(QStringLiteral("Search/Subfolders"), QString::fromUtf8(c.subfolders));
    m_window->Form_Load();
    EXPECT_EQ(m_window->lblHint()->text(), kEmptyHint);

    search(start, m_pictures.path());
    const QString expected = c.expectedLine.isEmpty() ? kEmptyHint : c.expectedLine + kTick;
    EXPECT_EQ(settledHint(expected), expected);
    EXPECT_TRUE(m_window->lblHint()->isVisibleTo(m_window.get()));
    // The first design's closing message is the one it always was.
    ASSERT_FALSE(m_desktop.messages.isEmpty());
    EXPECT_EQ(m_desktop.messages.first().text, c.closing);
    EXPECT_EQ(m_desktop.messages.size(), 1);
}

const HintCase kHintCases[] = {
    {"PicturesOnlyInSubfolders",
        {"2019/a.bmp", "2019/b.bmp", "2019/summer/c.png", "2020/d.png", "2021/"}, "0", "0",
        QStringLiteral("4 pictures in 3 subfolders were not searched. ")},
    {"OnePicture", {"sub/a.png"}, "0", "0",
        QStringLiteral("1 picture in 1 subfolder was not searched. ")},
    {"OtherNamesAreNoPictures", {"sub/notes.txt", "sub/a.png.txt", "top.txt"}, "0", "0", {}},
    {"HiddenFoldersAndNamesAreLeftOut", {".thumbnails/a.png", "sub/.b.png", "sub/c.bmp"}, "0", "0",
        QStringLiteral("1 picture in 1 subfolder was not searched. ")},
    {"LinksAreNotFollowed",
        {"sub/", "link:linked>{outside}/far", "link:sub/shot.png>{outside}/far/away.png"}, "0", "0",
        {}},
    {"EmptySubfolders", {"a/", "b/c/"}, "0", "0", {}},
    {"APairInTheFolderItselfWasCompared", {"a.bmp", "b.png", "sub/c.png"}, "0", "0", {},
        QStringLiteral("Compared 2 files.\r\nFound no duplicates.")},
    {"EveryPictureWithoutSubfolders", {"sub/a.png", "sub/b.png"}, "1", "0",
        QStringLiteral("2 pictures in 1 subfolder were not searched. ")},
    {"SubfoldersTickedSearchedThemAll", {"sub/a.png", "sub/b.png"}, "0", "1", {}},
};

INSTANTIATE_TEST_SUITE_P(Folders, Form1SubfolderHintTest,
    ::testing::Combine(
        ::testing::ValuesIn(kHintCases), ::testing::Values(Start::Picker, Start::Argument)),
    [](const ::testing::TestParamInfo<std::tuple<HintCase, Start>>& info) {
        return std::string(std::get<0>(info.param).name)
            + (std::get<1>(info.param) == Start::Picker ? "_Picker" : "_Argument");
    });

class Form1HintTest : public TemporarySettingsTest {
protected:
    void SetUp() override
    {
        TemporarySettingsTest::SetUp();
        ASSERT_TRUE(m_pictures.isValid());
        m_window = std::make_unique<Form1>(&m_desktop, QStringLiteral(CORVANE_BIN_DIR));
        m_window->Form_Load();
    }

    QString waitForLine()
    {
        QElapsedTimer t;
        t.start();
        while (m_window->lblHint()->text() == kEmptyHint && t.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return m_window->lblHint()->text();
    }

    QTemporaryDir m_pictures;
    FakeDesktop m_desktop;
    std::unique_ptr<Form1> m_window;
};

TEST_F(Form1HintTest, TheEmptyWindowNamesTheSearchButtonBelowIt)
{
    Form1& w = *m_window;
    EXPECT_EQ(w.lblHint()->text(),
        QStringLiteral("Press ") + w.cmdCompare()->Caption()
            + QStringLiteral(" and choose a folder."));
    EXPECT_TRUE(w.lblHint()->isVisibleTo(&w));
    // In the strip the first design leaves empty at rest: inside the window,
    // below the search button, clear of every control on show.
    const QRect hint = w.lblHint()->geometry();
    EXPECT_TRUE(w.rect().contains(hint)) << hint.y() << "+" << hint.height();
    EXPECT_GE(hint.top(), w.cmdCompare()->geometry().bottom());
    for (QWidget* control :
        {static_cast<QWidget*>(w.cmdCompare()), static_cast<QWidget*>(w.cmdDelete1()),
            static_cast<QWidget*>(w.cmdDelete2()), static_cast<QWidget*>(w.cboOptions())})
        EXPECT_FALSE(hint.intersects(control->geometry())) << control->objectName().toStdString();
    // The line is one the window can show at its first-start size.
    const QFontMetrics metrics(w.lblHint()->font());
    EXPECT_LE(metrics.horizontalAdvance(w.lblHint()->text()), hint.width());
    EXPECT_FALSE(w.cmdSkip()->isVisibleTo(&w)) << "skip belongs to the group walk alone";
}

TEST_F(Form1HintTest, MoreThanTheLimitIsSaidAsSuchAndTheLineGoesWithTheNextSearch)
{
    const QString sub = m_pictures.filePath(QStringLiteral("camera"));
    ASSERT_TRUE(QDir().mkpath(sub));
    for (int i = 0; i <= SubfolderHint::kLimit; ++i) {
        QFile f(sub + QStringLiteral("/IMG_%1.jpg").arg(i));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    m_window->searchFolder(m_pictures.path());
    EXPECT_EQ(waitForLine(),
        QStringLiteral("More than 10,000 pictures in subfolders were not searched. ") + kTick);

    // The next search, of a folder with a pair, shows its caption in the
    // line's place and leaves the empty window's hint behind.
    const QString pair = m_pictures.filePath(QStringLiteral("pair"));
    ASSERT_TRUE(QDir().mkpath(pair));
    QImage picture(12, 9, QImage::Format_RGB32);
    picture.fill(qRgb(10, 20, 30));
    ASSERT_TRUE(picture.save(pair + QStringLiteral("/a.bmp")));
    ASSERT_TRUE(picture.save(pair + QStringLiteral("/b.bmp")));
    m_window->searchFolder(pair);
    EXPECT_FALSE(m_window->lblHint()->isVisibleTo(m_window.get()))
        << "a pair is on show: the search is under way";
    EXPECT_TRUE(m_window->lblFiles()->isVisibleTo(m_window.get()));
    m_window->cmdDelete2()->click(); // no pair left: the search ends
    ASSERT_TRUE(m_window->cmdCompare()->isVisibleTo(m_window.get()));
    EXPECT_EQ(m_window->lblHint()->text(), kEmptyHint);
}

} // namespace
