// "Replace with links" from the review window, over pictures found by the
// real search: only copies with the very bytes of the copy that stays are
// replaced (pixel-identical PNGs with other bytes are not), files on another
// file system are skipped, the copy that stays is expected with the links the
// action gave it, and the one Put back gives every name its own file again.
#include "ReviewTestData.h"
#include "ScratchHome.h"
#include "TestFileSystem.h"

#include "finder/Finder.h"
#include "review/LinkedFilesAction.h"
#include "review/frmReview.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QToolButton>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>

using namespace ReviewTestData;
using TestFileSystem::readFile;

namespace {

void setModified(const QString& path, time_t seconds)
{
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
}

enum class Expect { Replaced, Skipped, Kept };

// How each file of the searched folders is made, and what the action does to it.
struct FileCase {
    const char* name;
    const char* madeFrom; // a file made before it, or nullptr for a new picture
    enum How { Picture, ByteCopy, OtherBytes, OtherFileSystem } how;
    Expect expect;
    const char* reason; // part of the reason when skipped
};

// Two groups, each kept by its oldest file (listed first).
const FileCase kFiles[] = {
    {"a.png", nullptr, FileCase::Picture, Expect::Kept, ""},
    {"a copy.png", "a.png", FileCase::ByteCopy, Expect::Replaced, ""},
    // The same pixels with a comment chunk: pixel-identical, other bytes.
    {"a resaved.png", "a.png", FileCase::OtherBytes, Expect::Skipped, "bytes differ"},
    {"a elsewhere.png", "a.png", FileCase::OtherFileSystem, Expect::Skipped, "another file system"},
    {"b.png", nullptr, FileCase::Picture, Expect::Kept, ""},
    // Three names for b: each link moves b's link count and change time on,
    // and the next file must still find b as expected.
    {"b 1.png", "b.png", FileCase::ByteCopy, Expect::Replaced, ""},
    {"b 2.png", "b.png", FileCase::ByteCopy, Expect::Replaced, ""},
    {"b 3.png", "b.png", FileCase::ByteCopy, Expect::Replaced, ""},
};

class LinkedFilesActionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(m_settings.isValid());
        QCoreApplication::setOrganizationName(QStringLiteral("Corvane"));
        QCoreApplication::setApplicationName(QStringLiteral("Corvane"));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settings.path());
        m_other = std::make_unique<TestFileSystem::OtherFileSystem>(m_dir.path());
        if (m_other->path().isEmpty())
            GTEST_SKIP() << m_other->why().toStdString();
        time_t second = 1'600'000'000;
        int seed = 3;
        for (const FileCase& c : kFiles) {
            const QString at = pathOf(c);
            const QString from = c.madeFrom ? m_paths[c.madeFrom] : QString();
            switch (c.how) {
            case FileCase::Picture:
                ASSERT_TRUE(convert(
                    {QStringLiteral("-seed"), QString::number(seed++), QStringLiteral("-size"),
                        QStringLiteral("64x48"), QStringLiteral("plasma:fractal"), at}));
                break;
            case FileCase::ByteCopy:
            case FileCase::OtherFileSystem:
                ASSERT_TRUE(QFile::copy(from, at));
                break;
            case FileCase::OtherBytes:
                ASSERT_TRUE(convert({from, QStringLiteral("-set"), QStringLiteral("comment"),
                    QStringLiteral("saved again"), at}));
                ASSERT_NE(readFile(at), readFile(from));
                break;
            }
            setModified(at, second++);
            m_paths[c.name] = at;
        }
    }

    QString pathOf(const FileCase& c) const
    {
        return (c.how == FileCase::OtherFileSystem ? m_other->path() : m_dir.path())
            + QLatin1Char('/') + QLatin1String(c.name);
    }

    FinderResult search() const
    {
        FinderOptions options;
        options.folders = {QFile::encodeName(m_dir.path()), QFile::encodeName(m_other->path())};
        options.useCache = false;
        return Finder(options).run();
    }

    frmReview::Hooks hooks()
    {
        frmReview::Hooks h;
        h.confirm = [this](const QString& question) {
            questions << question;
            return answerYes;
        };
        h.report = [this](const QString& summary, const QStringList& problems) {
            reports << summary;
            reportedProblems = problems;
        };
        h.keep = [](const KeptResults::Kept&) { return QString(); };
        h.discardKept = [] {};
        return h;
    }

    static void waitUntilActed(frmReview& window)
    {
        QElapsedTimer t;
        t.start();
        while (window.isActing() && t.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_FALSE(window.isActing());
    }

    FileIdentity now(const char* name) { return identityOf(QFile::encodeName(m_paths[name])); }

    // Every file of kFiles as it is now, by name.
    std::map<QString, FileIdentity> identities()
    {
        std::map<QString, FileIdentity> all;
        for (const FileCase& c : kFiles)
            all[c.name] = now(c.name);
        return all;
    }

    // Keeps the oldest copy of each group and replaces the others with links.
    static void linkAllButTheOldest(frmReview& window)
    {
        window.model().applyRule(MarkingRule::KeepOldest);
        window.replaceWithLinks();
        waitUntilActed(window);
    }

    QTemporaryDir m_dir;
    QTemporaryDir m_settings;
    std::unique_ptr<TestFileSystem::OtherFileSystem> m_other;
    std::map<QString, QString> m_paths;
    bool answerYes = true;
    QStringList questions;
    QStringList reports;
    QStringList reportedProblems;
};

TEST_F(LinkedFilesActionTest, OnlyCopiesWithTheVeryBytesOfTheCopyThatStaysAreReplaced)
{
    const FinderResult found = search();
    ASSERT_EQ(found.groups.size(), 2u) << "the re-saved PNG is pixel-identical";
    std::map<QString, FileIdentity> searched = identities();

    frmReview window(found, hooks());
    linkAllButTheOldest(window);

    ASSERT_EQ(questions.size(), 1);
    ASSERT_EQ(reports.size(), 1);
    std::int64_t freed = 0;
    for (const FileCase& c : kFiles) {
        SCOPED_TRACE(c.name);
        const FileIdentity is = now(c.name);
        const QString problem = reportedProblems.filter(QLatin1String(c.name)).join(' ');
        switch (c.expect) {
        case Expect::Kept:
            EXPECT_TRUE(problem.isEmpty());
            break;
        case Expect::Replaced:
            EXPECT_EQ(is.inode, now(c.madeFrom).inode);
            EXPECT_EQ(readFile(m_paths[c.name]), readFile(m_paths[c.madeFrom]));
            freed += searched[c.name].size;
            break;
        case Expect::Skipped:
            EXPECT_EQ(is, searched[c.name]) << "left exactly as it was";
            EXPECT_TRUE(problem.contains(QLatin1String(c.reason))) << problem.toStdString();
            break;
        }
    }
    EXPECT_EQ(now("b.png").links, 4u);
    EXPECT_TRUE(reports.front().startsWith(QStringLiteral("4 files replaced with hard links")))
        << reports.front().toStdString();
    EXPECT_TRUE(reports.front().contains(MarkedFilesAction::sizeText(freed) + " freed"))
        << reports.front().toStdString();
    // On this file system the confirmation warns of what a hard link means.
    if (!LinkReplacement::canClone(
            QFile::encodeName(m_paths["a.png"]), QFile::encodeName(m_dir.path()))) {
        EXPECT_TRUE(
            questions.front().contains(QStringLiteral("an edit through either name changes both")));
    }
    // The replaced files left the list; b's group with them.
    EXPECT_EQ(window.model().groupCount(), 1);
}

// After the links, the copy that stays has more links and a new change time:
// the window expects that of it, so the copy left marked still goes.
TEST_F(LinkedFilesActionTest, TheNextActionStillFindsTheCopyThatStays)
{
    frmReview window(search(), hooks());
    linkAllButTheOldest(window);
    ASSERT_EQ(window.model().markedCount(), 2) << "the re-saved copy and the one elsewhere";

    window.actOnMarked(); // to the trash
    waitUntilActed(window);
    ASSERT_EQ(reports.size(), 2);
    EXPECT_TRUE(reportedProblems.filter(QStringLiteral("a resaved.png")).isEmpty())
        << reportedProblems.join(' ').toStdString();
    EXPECT_FALSE(QFile::exists(m_paths["a resaved.png"]));
}

TEST_F(LinkedFilesActionTest, PutBackGivesEveryNameAFileOfItsOwn)
{
    const FinderResult found = search();
    std::map<QString, FileIdentity> searched = identities();
    frmReview window(found, hooks());
    linkAllButTheOldest(window);
    ASSERT_TRUE(window.cmdPutBack()->isEnabled());

    window.putBack();

    EXPECT_EQ(reports.back(), QStringLiteral("4 names have a file of their own again."))
        << reportedProblems.join(' ').toStdString();
    for (const char* name : {"a copy.png", "b 1.png", "b 2.png", "b 3.png"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(now(name).links, 1u);
        EXPECT_EQ(now(name).modifiedNs, searched[name].modifiedNs);
        EXPECT_EQ(now(name).mode, searched[name].mode);
        EXPECT_NE(now(name).inode, now(name[0] == 'a' ? "a.png" : "b.png").inode);
    }
    EXPECT_EQ(now("b.png").links, 1u);
    EXPECT_EQ(window.model().groupCount(), 2) << "back on the list";
    // What was put back can be acted on again: the list knows who each file is now.
    linkAllButTheOldest(window);
    EXPECT_TRUE(reports.back().startsWith(QStringLiteral("4 files replaced with hard links")))
        << reports.back().toStdString();
}

// A copy under a protected folder never takes a link.
TEST(LinkedFilesActionEligibility, AProtectedCopyThatStaysTakesNoLink)
{
    FoundFile kept;
    EXPECT_TRUE(LinkedFilesAction::mayLinkTo(kept));
    kept.isProtected = true;
    EXPECT_FALSE(LinkedFilesAction::mayLinkTo(kept));
}

} // namespace
