#include "handling/FileActions.h"

#include "SaveOverWhenOpened.h"
#include "TestFileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace TestFileSystem;
using MoveResult = FileActions::MoveResult;

namespace {

struct stat statOf(const QString& path)
{
    struct stat st { };
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}

class FileActionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_source = m_dir.path() + QStringLiteral("/search");
        m_target = m_dir.path() + QStringLiteral("/target");
        ASSERT_TRUE(QDir().mkpath(m_source));
        ASSERT_TRUE(QDir().mkpath(m_target));
    }
    QString file(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_source + QLatin1Char('/') + name;
        writeFile(path, bytes);
        return path;
    }
    QTemporaryDir m_dir;
    QString m_source;
    QString m_target;
};

TEST_F(FileActionsTest, DeleteRemovesTheFile)
{
    const QString path = file(QStringLiteral("a b%.bmp"), "pixels");
    QString error;
    EXPECT_TRUE(FileActions::DeleteFilePermanently(path, &error)) << error.toStdString();
    EXPECT_FALSE(exists(path));
}

TEST_F(FileActionsTest, DeleteOfAMissingFileOrAFolderFailsWithAReason)
{
    for (const QString& path : {m_source + QStringLiteral("/gone.bmp"), m_target, QString()}) {
        QString error;
        EXPECT_FALSE(FileActions::DeleteFilePermanently(path, &error)) << path.toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_TRUE(exists(m_target)) << "a folder must never be removed";
}

class SameFileSystemMove : public FileActionsTest, public ::testing::WithParamInterface<bool> {
protected:
    FileActions::MoveOptions options() const
    {
        FileActions::MoveOptions o;
        o.withoutNoReplaceRename = GetParam();
        return o;
    }
};

TEST_P(SameFileSystemMove, MovesUnderTheSameName)
{
    const QString path = file(QStringLiteral("a b%.bmp"), "pixels");
    QString error;
    EXPECT_EQ(FileActions::MoveFileNoReplace(path, m_target, &error, options()), MoveResult::Moved)
        << error.toStdString();
    EXPECT_FALSE(exists(path));
    EXPECT_EQ(readFile(m_target + QStringLiteral("/a b%.bmp")), QByteArray("pixels"));
}

TEST_P(SameFileSystemMove, ExistingTargetIsNeverReplaced)
{
    const QString path = file(QStringLiteral("x.bmp"), "mine");
    writeFile(m_target + QStringLiteral("/x.bmp"), "theirs");
    QString error;
    EXPECT_EQ(FileActions::MoveFileNoReplace(path, m_target, &error, options()),
        MoveResult::AlreadyExists);
    EXPECT_EQ(readFile(path), QByteArray("mine"));
    EXPECT_EQ(readFile(m_target + QStringLiteral("/x.bmp")), QByteArray("theirs"));
}

TEST_P(SameFileSystemMove, TargetAppearingDuringTheMoveIsNeverReplaced)
{
    const QString path = file(QStringLiteral("x.bmp"), "mine");
    FileActions::MoveOptions o = options();
    o.beforePublish = [&] { writeFile(m_target + QStringLiteral("/x.bmp"), "theirs"); };
    EXPECT_EQ(
        FileActions::MoveFileNoReplace(path, m_target, nullptr, o), MoveResult::AlreadyExists);
    EXPECT_EQ(readFile(path), QByteArray("mine"));
    EXPECT_EQ(readFile(m_target + QStringLiteral("/x.bmp")), QByteArray("theirs"));
}

TEST_P(SameFileSystemMove, MoveIntoItsOwnFolderIsRefused)
{
    const QString path = file(QStringLiteral("x.bmp"), "mine");
    EXPECT_EQ(FileActions::MoveFileNoReplace(path, m_source, nullptr, options()),
        MoveResult::AlreadyExists);
    EXPECT_EQ(readFile(path), QByteArray("mine"));
}

INSTANTIATE_TEST_SUITE_P(
    Rename, SameFileSystemMove, ::testing::Values(false, true), [](const auto& info) {
        return info.param ? std::string("LinkFallback") : std::string("NoReplaceRename");
    });

TEST_F(FileActionsTest, LinkFallbackLeavesASourceSavedOverBetweenLinkAndRemoval)
{
    // Without a no-replace rename the file gets a second name first; the old
    // name may only go while it still names that file.
    const QString path = file(QStringLiteral("x.bmp"), "mine");
    const QString edit = file(QStringLiteral("x.bmp.new"), "edited");
    FileActions::MoveOptions options;
    options.withoutNoReplaceRename = true;
    options.beforeRemoveSource
        = [&] { ASSERT_EQ(::rename(QFile::encodeName(edit), QFile::encodeName(path)), 0); };
    QString error;
    EXPECT_EQ(
        FileActions::MoveFileNoReplace(path, m_target, &error, options), MoveResult::SourceChanged);
    EXPECT_EQ(readFile(path), QByteArray("edited"));
    EXPECT_EQ(readFile(m_target + QStringLiteral("/x.bmp")), QByteArray("mine"));
    EXPECT_TRUE(error.contains(m_target + QStringLiteral("/x.bmp"))) << error.toStdString();
    EXPECT_EQ(entries(m_source), QStringList{QStringLiteral("x.bmp")});
}

TEST_F(FileActionsTest, MoveFailuresLeaveTheSourceAndSayWhy)
{
    const QString path = file(QStringLiteral("x.bmp"), "mine");
    const QString notAFolder = file(QStringLiteral("plain"), "");
    const struct {
        const char* name;
        QString source;
        QString folder;
    } rows[] = {
        {"missing folder", path, m_dir.path() + QStringLiteral("/nowhere")},
        {"folder is a file", path, notAFolder},
        {"empty folder", path, QString()},
        {"missing source", m_source + QStringLiteral("/gone.bmp"), m_target},
        {"source is a folder", m_target, m_source},
    };
    for (const auto& row : rows) {
        QString error;
        EXPECT_EQ(
            FileActions::MoveFileNoReplace(row.source, row.folder, &error), MoveResult::Failed)
            << row.name;
        EXPECT_FALSE(error.isEmpty()) << row.name;
    }
    EXPECT_EQ(readFile(path), QByteArray("mine"));
    EXPECT_TRUE(exists(m_target));
}

TEST_F(FileActionsTest, MoveOutOfALockedFolderFailsAndKeepsTheFile)
{
    const QString path = file(QStringLiteral("x.bmp"), "mine");
    LockedFolder lock(m_source);
    if (!lock.active())
        GTEST_SKIP() << "cannot make a folder refuse removals here";
    EXPECT_EQ(FileActions::MoveFileNoReplace(path, m_target, nullptr), MoveResult::Failed);
    EXPECT_EQ(readFile(path), QByteArray("mine"));
    EXPECT_TRUE(entries(m_target).isEmpty());
}

class CrossFileSystemMove : public FileActionsTest {
protected:
    void SetUp() override
    {
        FileActionsTest::SetUp();
        m_other = std::make_unique<OtherFileSystem>(m_source);
        if (m_other->path().isEmpty())
            GTEST_SKIP() << m_other->why().toStdString();
        m_far = m_other->path() + QStringLiteral("/target");
        ASSERT_TRUE(QDir().mkpath(m_far));
        ASSERT_NE(statOf(m_far).st_dev, statOf(m_source).st_dev);
    }
    std::unique_ptr<OtherFileSystem> m_other;
    QString m_far;
};

TEST_F(CrossFileSystemMove, CopiesKeepsTimeAndModeThenRemovesTheSource)
{
    QByteArray bytes(3 * 1024 * 1024 + 17, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7 + i / 4096);
    const QString path = file(QStringLiteral("big 100%.tif"), bytes);
    ASSERT_TRUE(QFile::setPermissions(
        path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup));
    const struct timespec times[2] = {{1'000'000'000, 5}, {1'200'000'000, 123'456'789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);

    QString error;
    ASSERT_EQ(FileActions::MoveFileNoReplace(path, m_far, &error), MoveResult::Moved)
        << error.toStdString();
    const QString moved = m_far + QStringLiteral("/big 100%.tif");
    EXPECT_FALSE(exists(path));
    EXPECT_EQ(readFile(moved), bytes);
    const struct stat st = statOf(moved);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1'200'000'000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 123'456'789);
    EXPECT_EQ(entries(m_far), QStringList{QStringLiteral("big 100%.tif")}) << "no temporary left";
}

TEST_F(CrossFileSystemMove, ExistingOrAppearingTargetIsNeverReplaced)
{
    for (const bool appearing : {false, true}) {
        SCOPED_TRACE(appearing ? "appearing" : "existing");
        const QString path = file(QStringLiteral("x.png"), "mine");
        const QString taken = m_far + QStringLiteral("/x.png");
        QFile::remove(taken);
        FileActions::MoveOptions options;
        if (appearing)
            options.beforePublish = [&] { writeFile(taken, "theirs"); };
        else
            writeFile(taken, "theirs");
        EXPECT_EQ(FileActions::MoveFileNoReplace(path, m_far, nullptr, options),
            MoveResult::AlreadyExists);
        EXPECT_EQ(readFile(path), QByteArray("mine"));
        EXPECT_EQ(readFile(taken), QByteArray("theirs"));
        EXPECT_EQ(entries(m_far), QStringList{QStringLiteral("x.png")}) << "no temporary left";
    }
}

TEST_F(CrossFileSystemMove, SourceThatCannotBeRemovedUndoesTheCopy)
{
    const QString path = file(QStringLiteral("x.png"), "mine");
    LockedFolder lock(m_source);
    if (!lock.active())
        GTEST_SKIP() << "cannot make a folder refuse removals here";
    QString error;
    EXPECT_EQ(FileActions::MoveFileNoReplace(path, m_far, &error), MoveResult::Failed);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readFile(path), QByteArray("mine"));
    EXPECT_TRUE(entries(m_far).isEmpty()) << "neither the copy nor a temporary may stay";
}

TEST_F(CrossFileSystemMove, SaveOverTheSourceWhileItIsCopiedKeepsTheSavedFile)
{
    // Another program saves an edited file over the source's name while the
    // move holds the old file open: the edit must survive.
    const QByteArray original(4 * 1024 * 1024, 'o');
    const QString path = file(QStringLiteral("photo 1.png"), original);
    const QString edit = file(QStringLiteral("photo 1.png.saving"), "edited picture");
    SaveOverWhenOpened editor(path, edit);
    if (!editor.active())
        GTEST_SKIP() << editor.why().toStdString();
    QString error;
    const MoveResult result = FileActions::MoveFileNoReplace(path, m_far, &error);
    ASSERT_TRUE(editor.savedOver());
    EXPECT_EQ(result, MoveResult::SourceChanged);
    EXPECT_EQ(readFile(path), QByteArray("edited picture"));
    EXPECT_EQ(readFile(m_far + QStringLiteral("/photo 1.png")), original)
        << "the file that was copied stays in the target";
    EXPECT_TRUE(error.contains(m_far + QStringLiteral("/photo 1.png"))) << error.toStdString();
    EXPECT_EQ(entries(m_source), QStringList{QStringLiteral("photo 1.png")});
}

// Every moment between the copy and the removal, and every way the source
// can stop being the file that was copied.
struct SourceChange {
    const char* name;
    void (*change)(const QString& path, const QString& folder);
    const char* sourceAfter; // nullptr: no file under the name
};

const SourceChange kSourceChanges[] = {
    {"saved over",
        [](const QString& path, const QString& folder) {
            writeFile(folder + QStringLiteral("/new"), "edited");
            ASSERT_EQ(::rename(QFile::encodeName(folder + QStringLiteral("/new")),
                          QFile::encodeName(path)),
                0);
        },
        "edited"},
    {"edited in place",
        [](const QString& path, const QString&) {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::Append));
            f.write("+more");
        },
        "mine+more"},
    {"mode changed",
        [](const QString& path, const QString&) {
            ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0600), 0);
        },
        "mine"},
    {"removed", [](const QString& path, const QString&) { ::unlink(QFile::encodeName(path)); },
        nullptr},
};

TEST_F(CrossFileSystemMove, SourceThatIsNoLongerTheCopiedFileIsLeftAlone)
{
    using Hook = std::function<void()> FileActions::MoveOptions::*;
    const struct {
        const char* name;
        Hook hook;
    } moments[] = {
        {"before the copy is published", &FileActions::MoveOptions::beforePublish},
        {"before the source is checked", &FileActions::MoveOptions::beforeRemoveSource},
        {"between the check and the removal", &FileActions::MoveOptions::afterSourceChecked},
    };
    for (const auto& moment : moments) {
        for (const SourceChange& change : kSourceChanges) {
            SCOPED_TRACE(std::string(moment.name) + ", " + change.name);
            const QString path = file(QStringLiteral("x.png"), "mine");
            ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0644), 0);
            const QString moved = m_far + QStringLiteral("/x.png");
            QFile::remove(moved);
            FileActions::MoveOptions options;
            options.*moment.hook = [&] { change.change(path, m_source); };
            QString error;
            EXPECT_EQ(FileActions::MoveFileNoReplace(path, m_far, &error, options),
                MoveResult::SourceChanged);
            EXPECT_TRUE(error.contains(moved)) << error.toStdString();
            EXPECT_EQ(readFile(moved), QByteArray("mine"));
            if (change.sourceAfter) {
                EXPECT_EQ(readFile(path), QByteArray(change.sourceAfter));
                EXPECT_EQ(entries(m_source), QStringList{QStringLiteral("x.png")});
            } else {
                EXPECT_TRUE(entries(m_source).isEmpty());
            }
            EXPECT_EQ(entries(m_far), QStringList{QStringLiteral("x.png")});
        }
    }
}

TEST_F(CrossFileSystemMove, FullTargetFailsAndLeavesNothingBehind)
{
    if (!m_other->mounted())
        GTEST_SKIP() << "needs the test's own small tmpfs";
    const QString path = file(QStringLiteral("huge.tif"), QByteArray(20 * 1024 * 1024, 'x'));
    QString error;
    EXPECT_EQ(FileActions::MoveFileNoReplace(path, m_far, &error), MoveResult::Failed);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(QFileInfo(path).size(), 20 * 1024 * 1024);
    EXPECT_TRUE(entries(m_far).isEmpty());
}

} // namespace
