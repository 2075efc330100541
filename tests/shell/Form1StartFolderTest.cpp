// `corvane FOLDER`: the folder is searched as if it had been picked in the
// folder picker, with the check boxes the settings file holds, and the picker
// never opens; a folder that does not exist gets a message box and no search.
#include "FakeDesktop.h"
#include "ShellTestSupport.h"

#include "review/WholeFolderSearch.h"
#include "shell/Form1.h"
#include "shell/WholeFolderMode.h"

#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>

#include <mutex>
#include <optional>

namespace {

enum class Expect { NotFound, NeighbourSearch, WholeFolderSearch };

struct StartCase {
    const char* name;
    const char* argument; // {dir} is the pictures folder
    const char* everyPicture; // stored check boxes; nullptr leaves the key out
    const char* subfolders;
    Expect expect;
    bool recursive = false;
};

class Form1StartFolderTest : public TemporarySettingsTest,
                             public ::testing::WithParamInterface<StartCase> {
protected:
    void SetUp() override
    {
        TemporarySettingsTest::SetUp();
        ASSERT_TRUE(m_pictures.isValid());
        QImage picture(24, 16, QImage::Format_RGB32);
        picture.fill(qRgb(40, 90, 200));
        ASSERT_TRUE(picture.save(m_pictures.filePath(QStringLiteral("a.bmp"))));
        ASSERT_TRUE(picture.save(m_pictures.filePath(QStringLiteral("b.bmp"))));
        ASSERT_TRUE(QDir().mkpath(m_pictures.filePath(QStringLiteral("sub"))));
        m_window = std::make_unique<Form1>(&m_desktop, QStringLiteral(CORVANE_BIN_DIR));
        m_window->wholeFolder().setEngine(
            [this](const WholeFolderRequest& request, const std::atomic<bool>&,
                const WholeFolderSearch::Progress&) {
                const std::lock_guard<std::mutex> lock(m_requestMutex);
                m_request = request;
                return FinderResult();
            });
        m_window->wholeFolder().reviewHooks.report = [](const QString&, const QStringList&) {};
    }

    void TearDown() override
    {
        QElapsedTimer t;
        t.start();
        while (m_window->wholeFolder().isSearching() && t.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        m_window.reset();
    }

    QString argument(const char* pattern) const
    {
        QString text = QString::fromUtf8(pattern);
        text.replace(QStringLiteral("{dir}"), m_pictures.path());
        return text;
    }

    std::optional<WholeFolderRequest> request()
    {
        const std::lock_guard<std::mutex> lock(m_requestMutex);
        return m_request;
    }

    QTemporaryDir m_pictures;
    FakeDesktop m_desktop;
    std::unique_ptr<Form1> m_window;
    std::mutex m_requestMutex;
    std::optional<WholeFolderRequest> m_request;
};

TEST_P(Form1StartFolderTest, SearchesTheFolderAsIfPicked)
{
    const StartCase& c = GetParam();
    if (c.everyPicture)
        store(QStringLiteral("Search/EveryPicture"), QString::fromUtf8(c.everyPicture));
    if (c.subfolders)
        store(QStringLiteral("Search/Subfolders"), QString::fromUtf8(c.subfolders));
    m_window->Form_Load();
    const QString startFolder = m_window->SearchFolder();
    const QString folder = argument(c.argument);
    m_window->searchFolder(folder);

    EXPECT_EQ(m_desktop.pickerCalls, 0) << "the folder picker must not open";
    if (c.expect == Expect::NotFound) {
        ASSERT_EQ(m_desktop.messages.size(), 1);
        EXPECT_EQ(m_desktop.messages[0].title, QStringLiteral("Corvane"));
        EXPECT_EQ(m_desktop.messages[0].text, QStringLiteral("Folder not found: ") + folder);
        EXPECT_EQ(m_window->SearchFolder(), startFolder) << "no search may start";
        EXPECT_FALSE(m_window->wholeFolder().isSearching());
        EXPECT_FALSE(request().has_value());
        EXPECT_TRUE(m_window->lblPic1()->text().isEmpty());
        return;
    }
    EXPECT_TRUE(m_desktop.messages.isEmpty()) << m_desktop.messages.value(0).text.toStdString();
    const QString chosen = QFileInfo(m_pictures.path()).absoluteFilePath();
    if (c.expect == Expect::NeighbourSearch) {
        EXPECT_EQ(m_window->SearchFolder(), chosen + QLatin1Char('/'));
        EXPECT_EQ(m_window->lblPic1()->text(), QStringLiteral("a.bmp"));
        EXPECT_EQ(m_window->lblPic2()->text(), QStringLiteral("b.bmp"));
        EXPECT_FALSE(request().has_value()) << "the whole-folder search must not run";
        return;
    }
    QElapsedTimer t;
    t.start();
    while (!request() && t.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(request().has_value()) << "the whole-folder search did not start";
    EXPECT_EQ(QFile::decodeName(request()->folder), chosen);
    EXPECT_EQ(request()->recursive, c.recursive);
    EXPECT_TRUE(m_window->lblPic1()->text().isEmpty()) << "the neighbour search must not run";
}

const StartCase kStartCases[] = {
    {"MissingFolder", "{dir}/no such folder", nullptr, nullptr, Expect::NotFound},
    {"MissingFolderWithWholeFolderChosen", "{dir}/gone", "1", "1", Expect::NotFound},
    {"AFileIsNoFolder", "{dir}/a.bmp", nullptr, nullptr, Expect::NotFound},
    {"EmptyArgument", "", nullptr, nullptr, Expect::NotFound},
    {"BothBoxesOffRunsTheNeighbourSearch", "{dir}", "0", "0", Expect::NeighbourSearch},
    {"NoStoredBoxesRunsTheNeighbourSearch", "{dir}", nullptr, nullptr, Expect::NeighbourSearch},
    {"TrailingSlashIsTheSameFolder", "{dir}/", nullptr, nullptr, Expect::NeighbourSearch},
    {"DotSegmentsAreResolved", "{dir}/sub/..", nullptr, nullptr, Expect::NeighbourSearch},
    {"EveryPictureBoxRunsTheWholeFolderSearch", "{dir}", "1", "0", Expect::WholeFolderSearch,
        false},
    {"SubfoldersBoxSearchesSubfolders", "{dir}", "0", "1", Expect::WholeFolderSearch, true},
};

INSTANTIATE_TEST_SUITE_P(StartFolder, Form1StartFolderTest, ::testing::ValuesIn(kStartCases),
    [](const ::testing::TestParamInfo<StartCase>& info) { return std::string(info.param.name); });

using Form1RelativeFolderTest = TemporarySettingsTest;

TEST_F(Form1RelativeFolderTest, IsTakenFromTheCurrentFolder)
{
    QTemporaryDir pictures;
    ASSERT_TRUE(QDir(pictures.path()).mkdir(QStringLiteral("holiday")));
    FakeDesktop desktop;
    Form1 window(&desktop, QStringLiteral(CORVANE_BIN_DIR));
    window.Form_Load();
    const QString previousDir = QDir::currentPath();
    QDir::setCurrent(pictures.path());
    window.searchFolder(QStringLiteral("holiday"));
    QDir::setCurrent(previousDir);
    for (const ShownMessage& message : desktop.messages) // the search's closing box is fine
        EXPECT_FALSE(message.text.startsWith(QStringLiteral("Folder not found")))
            << message.text.toStdString();
    EXPECT_EQ(window.SearchFolder(),
        QFileInfo(pictures.path() + QStringLiteral("/holiday")).absoluteFilePath()
            + QLatin1Char('/'));
}

} // namespace
