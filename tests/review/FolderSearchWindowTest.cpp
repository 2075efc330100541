// The search window: several folders with a protected box each, patterns
// left out and a smallest size, kept in the settings file and searched with
// the search library; and the review window's "Protect this folder".
#include "FakeDesktop.h"
#include "ReviewTestData.h"
#include "ShellTestSupport.h"

#include "review/KeptResults.h"
#include "review/ReviewItemModel.h"
#include "shell/FolderSearchChoices.h"
#include "shell/Form1.h"
#include "shell/SearchChoices.h"
#include "shell/SettingsStore.h"
#include "shell/WholeFolderMode.h"
#include "shell/frmFolderSearch.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTreeWidget>

#include <map>

namespace {

using ReviewTestData::convert;

class FolderSearchWindowTest : public TemporarySettingsTest {
protected:
    void SetUp() override
    {
        TemporarySettingsTest::SetUp();
        ASSERT_TRUE(m_root.isValid());
        m_window = std::make_unique<Form1>(&m_desktop, QStringLiteral(CORVANE_BIN_DIR));
        m_window->wholeFolder().reviewHooks.askOnClose = [](const QString&) { return 1; };
        KeptResults::discard();
        m_window->Form_Load();
    }

    frmFolderSearch* openWindow()
    {
        auto* action = m_window->findChild<QAction*>(QStringLiteral("actSearchFolders"));
        EXPECT_NE(action, nullptr);
        if (!action)
            return nullptr;
        EXPECT_TRUE(m_window->actions().contains(action)); // in the context menu
        action->trigger();
        return m_window->folderSearchWindow();
    }

    QString path(const QString& name) const { return m_root.path() + QLatin1Char('/') + name; }

    QTemporaryDir m_root;
    FakeDesktop m_desktop;
    std::unique_ptr<Form1> m_window;
};

// What the settings file keeps comes back as it was, and protecting a folder
// from the review window flags its entry or adds one.
TEST_F(FolderSearchWindowTest, ChoicesComeBackFromTheSettingsFile)
{
    using Folder = FolderSearchChoices::Folder;
    const struct {
        const char* name;
        FolderSearchChoices choices;
    } rows[] = {
        {"nothing chosen", {}},
        {"two folders, one protected",
            {{{QStringLiteral("/photos/Archive"), true},
                 {QStringLiteral("/photos/Downloads"), false}},
                {QStringLiteral("**/Thumbnails/**"), QStringLiteral("*.tmp.png")},
                QStringLiteral("200K")}},
        {"names the file format must escape",
            {{{QStringLiteral("/a=b;c/Été [1]"), false}, {QStringLiteral("/x,y/%20\"q\""), true}},
                {QStringLiteral("cache/**")}, QStringLiteral("1G")}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        {
            SettingsStore settings;
            row.choices.save(settings);
        }
        EXPECT_EQ(FolderSearchChoices::load(SettingsStore()), row.choices);
        // And the window shows them.
        frmFolderSearch* window = openWindow();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->choices(), row.choices);
        window->reject();
        QCoreApplication::processEvents();
    }

    const struct {
        const char* protect;
        QList<Folder> expected;
    } protects[] = {
        {"/photos/Downloads/", // a listed folder, written with a "/"
            {{QStringLiteral("/photos/Archive"), true},
                {QStringLiteral("/photos/Downloads"), true}}},
        {"/photos/Downloads/2024", // below it: an entry of its own
            {{QStringLiteral("/photos/Archive"), true},
                {QStringLiteral("/photos/Downloads"), false},
                {QStringLiteral("/photos/Downloads/2024"), true}}},
    };
    for (const auto& row : protects) {
        SCOPED_TRACE(row.protect);
        FolderSearchChoices choices = rows[1].choices;
        choices.protect(QString::fromUtf8(row.protect));
        EXPECT_EQ(choices.folders, row.expected);
    }
}

TEST_F(FolderSearchWindowTest, ASizeThatDoesNotReadIsShownAndNothingSearched)
{
    const struct {
        const char* folder;
        const char* size;
        const char* problem; // its start; "" none
    } rows[] = {
        {"", "", "Add a folder"},
        {"/", "12 KB", "The smallest size \"12 KB\" is not a size"},
        {"/", "-5", "The smallest size \"-5\" is not a size"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.size);
        frmFolderSearch* window = openWindow();
        ASSERT_NE(window, nullptr);
        if (*row.folder)
            window->addFolder(QString::fromUtf8(row.folder));
        window->findChild<QLineEdit*>(QStringLiteral("txtMinimumSize"))
            ->setText(QString::fromUtf8(row.size));
        window->findChild<QPushButton*>(QStringLiteral("cmdSearch"))->click();
        EXPECT_TRUE(window->isVisible());
        EXPECT_TRUE(window->lblProblem()->text().startsWith(QString::fromUtf8(row.problem)))
            << window->lblProblem()->text().toStdString();
        EXPECT_FALSE(m_window->wholeFolder().isSearching());
        window->reject();
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(stored().value(QStringLiteral("FolderSearch/Folders")).toString(), QString());
}

// Archive (protected) holds a photo and an icon; Downloads two copies of the
// photo, a third in a left-out folder, and a copy of the icon below the
// smallest size. One group comes back: the archive's photo protected beside
// the two downloads.
TEST_F(FolderSearchWindowTest, SearchOfTwoFoldersLeavesOutAndProtects)
{
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("Archive"))));
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("Downloads/skip"))));
    const QString photo = path(QStringLiteral("Archive/photo.png"));
    const QString icon = path(QStringLiteral("Archive/icon.png"));
    ASSERT_TRUE(convert({QStringLiteral("-seed"), QStringLiteral("7"), QStringLiteral("-size"),
        QStringLiteral("96x96"), QStringLiteral("xc:gray"), QStringLiteral("+noise"),
        QStringLiteral("Random"), photo}));
    ASSERT_TRUE(
        convert({QStringLiteral("-size"), QStringLiteral("8x8"), QStringLiteral("xc:red"), icon}));
    ASSERT_GT(QFileInfo(photo).size(), 4096);
    ASSERT_LT(QFileInfo(icon).size(), 4096);
    for (const char* copy :
        {"Downloads/photo (1).png", "Downloads/photo (2).png", "Downloads/skip/photo.png"})
        ASSERT_TRUE(QFile::copy(photo, path(QString::fromUtf8(copy))));
    ASSERT_TRUE(QFile::copy(icon, path(QStringLiteral("Downloads/icon.png"))));

    frmFolderSearch* window = openWindow();
    ASSERT_NE(window, nullptr);
    m_desktop.folderAnswers << path(QStringLiteral("Archive")) << path(QStringLiteral("Downloads"));
    window->findChild<QPushButton*>(QStringLiteral("cmdAddFolder"))->click();
    window->findChild<QPushButton*>(QStringLiteral("cmdAddFolder"))->click();
    auto* folders = window->findChild<QTreeWidget*>(QStringLiteral("lstFolders"));
    ASSERT_EQ(folders->topLevelItemCount(), 2);
    folders->topLevelItem(0)->setCheckState(1, Qt::Checked);
    window->findChild<QPlainTextEdit*>(QStringLiteral("txtExcludes"))
        ->setPlainText(QStringLiteral("skip/**\n"));
    window->findChild<QLineEdit*>(QStringLiteral("txtMinimumSize"))->setText(QStringLiteral("4K"));
    window->findChild<QCheckBox*>(QStringLiteral("chkSubfolders"))->setChecked(true);
    window->findChild<QPushButton*>(QStringLiteral("cmdSearch"))->click();

    // Stored with the check boxes, at once.
    EXPECT_EQ(stored().value(QStringLiteral("FolderSearch/Folders")).toString(), "2");
    EXPECT_EQ(stored().value(QStringLiteral("FolderSearch/Protected1")).toString(), "1");
    EXPECT_EQ(stored().value(QStringLiteral("FolderSearch/Exclude1")).toString(), "skip/**");
    EXPECT_EQ(stored().value(QStringLiteral("FolderSearch/MinimumSize")).toString(), "4K");
    EXPECT_EQ(stored().value(QStringLiteral("Search/Subfolders")).toString(), "1");

    QElapsedTimer t;
    t.start();
    while (m_window->wholeFolder().isSearching() && t.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::processEvents();
    frmReview* review = m_window->wholeFolder().reviewWindow();
    ASSERT_NE(review, nullptr);
    ASSERT_EQ(review->model().groupCount(), 1);
    std::map<std::string, bool> found; // path below the root: protected
    for (const ReviewFile& file : review->model().group(0).files)
        found[QFile::decodeName(file.found.path).mid(m_root.path().size() + 1).toStdString()]
            = file.found.isProtected;
    const std::map<std::string, bool> expected{{"Archive/photo.png", true},
        {"Downloads/photo (1).png", false}, {"Downloads/photo (2).png", false}};
    EXPECT_EQ(found, expected);

    // "Protect this folder" on a download: its files lose their marks, can
    // not be marked again, and the search window's list protects the folder.
    review->itemModel()->applyRule(MarkingRule::KeepOldest);
    int spot = -1;
    for (int f = 0; f < 3; ++f)
        if (!review->model().group(0).files[size_t(f)].found.isProtected)
            spot = f;
    ASSERT_GE(review->model().markedCount(), 1);
    review->lstGroups()->setCurrentIndex(review->itemModel()->indexOf({0, spot}));
    ASSERT_TRUE(review->protectCurrentFolder());
    EXPECT_EQ(review->model().markedCount(), 0);
    review->itemModel()->markAll({0});
    EXPECT_EQ(review->model().markedCount(), 0);
    for (int f = 0; f < 3; ++f)
        EXPECT_TRUE(review->model().isProtected({0, f}));
    EXPECT_EQ(stored().value(QStringLiteral("FolderSearch/Protected2")).toString(), "1");
    review->close();
    QCoreApplication::processEvents();
}

} // namespace
