#include "handling/DuplicateAction.h"

#include "TestFileSystem.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace TestFileSystem;
using Outcome = DuplicateAction::Outcome;

namespace {

void expectOutcome(const Outcome& got, bool removeEntry, bool countBack, const QString& message)
{
    EXPECT_EQ(got.removeEntry, removeEntry);
    EXPECT_EQ(got.countBack, countBack);
    EXPECT_EQ(got.message.toStdString(), message.toStdString());
}

class DuplicateActionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        for (const char* name : {"pics", "Pics", "other"})
            ASSERT_TRUE(QDir(m_dir.path()).mkpath(QLatin1String(name)));
        m_search = m_dir.path() + QStringLiteral("/pics/");
        m_file = m_search + QStringLiteral("dup 50%.bmp");
        writeFile(m_file, "copy");
    }
    QString folder(const char* name) const { return m_dir.path() + QLatin1Char('/') + name; }
    QTemporaryDir m_dir;
    QString m_search;
    QString m_file;
};

TEST_F(DuplicateActionTest, CancelledPickerMovesNothingAndStillCounts)
{
    expectOutcome(DuplicateAction::MoveToFolder(m_file, QString(), m_search), true, false, {});
    EXPECT_EQ(readFile(m_file), QByteArray("copy"));
}

TEST_F(DuplicateActionTest, SameFolderIsRefusedByExactName)
{
    expectOutcome(DuplicateAction::MoveToFolder(m_file, folder("pics"), m_search), false, true,
        QStringLiteral("Can't move to same folder."));
    EXPECT_EQ(readFile(m_file), QByteArray("copy"));
    // The root folder is written "//" once its separator is appended.
    expectOutcome(DuplicateAction::MoveToFolder(
                      QStringLiteral("//x.bmp"), QStringLiteral("/"), QStringLiteral("//")),
        false, true, QStringLiteral("Can't move to same folder."));
}

TEST_F(DuplicateActionTest, FolderDifferingOnlyInCaseIsAnotherFolder)
{
    expectOutcome(DuplicateAction::MoveToFolder(m_file, folder("Pics"), m_search), true, false, {});
    EXPECT_FALSE(exists(m_file));
    EXPECT_EQ(readFile(folder("Pics") + QStringLiteral("/dup 50%.bmp")), QByteArray("copy"));
}

TEST_F(DuplicateActionTest, SameFolderWrittenAnyOtherWayIsStillTheSameFolder)
{
    // The searched folder is recognised on disk (device and inode), not by
    // its text: through a symbolic link, a detour or doubled separators.
    ASSERT_EQ(::symlink(QFile::encodeName(folder("pics")).constData(),
                  QFile::encodeName(folder("link")).constData()),
        0);
    const struct {
        const char* name;
        QString chosen;
        QString searched;
    } rows[] = {
        {"symbolic link", folder("link"), m_search},
        {"detour", folder("other") + QStringLiteral("/../pics"), m_search},
        {"doubled separators", m_dir.path() + QStringLiteral("//pics"), m_search},
        {"trailing dot", folder("pics") + QStringLiteral("/."), m_search},
        {"searched through the link", folder("pics"), folder("link") + QLatin1Char('/')},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        expectOutcome(DuplicateAction::MoveToFolder(m_file, row.chosen, row.searched), false, true,
            QStringLiteral("Can't move to same folder."));
        EXPECT_EQ(readFile(m_file), QByteArray("copy"));
    }
}

TEST_F(DuplicateActionTest, LinkToAnotherFolderIsAnotherFolder)
{
    ASSERT_EQ(::symlink(QFile::encodeName(folder("other")).constData(),
                  QFile::encodeName(folder("to other")).constData()),
        0);
    expectOutcome(
        DuplicateAction::MoveToFolder(m_file, folder("to other"), m_search), true, false, {});
    EXPECT_EQ(readFile(folder("other") + QStringLiteral("/dup 50%.bmp")), QByteArray("copy"));
}

TEST_F(DuplicateActionTest, ExistingTargetIsRefused)
{
    writeFile(folder("other") + QStringLiteral("/dup 50%.bmp"), "older");
    expectOutcome(DuplicateAction::MoveToFolder(m_file, folder("other"), m_search), false, true,
        QStringLiteral("File already exists."));
    EXPECT_EQ(readFile(m_file), QByteArray("copy"));
    EXPECT_EQ(readFile(folder("other") + QStringLiteral("/dup 50%.bmp")), QByteArray("older"));
}

TEST_F(DuplicateActionTest, FailedMoveIsReportedWithFileAndReason)
{
    const Outcome got = DuplicateAction::MoveToFolder(m_file, folder("gone"), m_search);
    EXPECT_FALSE(got.removeEntry);
    EXPECT_TRUE(got.countBack);
    EXPECT_TRUE(got.message.startsWith(m_file + QStringLiteral(" could not be moved to ")
        + folder("gone") + QStringLiteral("/.\n\n")))
        << got.message.toStdString();
    EXPECT_GT(got.message.size(), m_file.size() + folder("gone").size() + 25) << "a reason follows";
    EXPECT_EQ(readFile(m_file), QByteArray("copy"));
}

TEST_F(DuplicateActionTest, ApplyRunsTheSelectedRowOnly)
{
    int picks = 0;
    QStringList trashed;
    bool trashWorks = true;
    const DuplicateAction::Trash trash = [&](const QString& path, QString* error) {
        trashed += path;
        if (!trashWorks)
            *error = QStringLiteral("no trash on this disk");
        return trashWorks;
    };
    const DuplicateAction::PickFolder pick = [&] {
        ++picks;
        return QString();
    };

    // No row: no file is touched, and the entry leaves the list uncounted.
    expectOutcome(DuplicateAction::Apply(-1, m_file, m_search, trash, pick), true, true, {});
    EXPECT_TRUE(trashed.isEmpty());
    EXPECT_EQ(picks, 0);
    EXPECT_EQ(readFile(m_file), QByteArray("copy"));

    expectOutcome(DuplicateAction::Apply(DuplicateAction::MoveRow, m_file, m_search, trash, pick),
        true, false, {});
    EXPECT_EQ(picks, 1);

    trashWorks = false;
    expectOutcome(
        DuplicateAction::Apply(DuplicateAction::RecycleRow, m_file, m_search, trash, pick), false,
        true,
        m_file + QStringLiteral(" could not be moved to the trash.\n\nno trash on this disk"));
    trashWorks = true;
    expectOutcome(
        DuplicateAction::Apply(DuplicateAction::RecycleRow, m_file, m_search, trash, pick), true,
        false, {});
    EXPECT_EQ(trashed, QStringList(2, m_file));

    expectOutcome(DuplicateAction::Apply(DuplicateAction::DeleteRow, m_file, m_search, trash, pick),
        true, false, {});
    EXPECT_FALSE(exists(m_file));
    const Outcome again
        = DuplicateAction::Apply(DuplicateAction::DeleteRow, m_file, m_search, trash, pick);
    EXPECT_FALSE(again.removeEntry);
    EXPECT_TRUE(again.countBack);
    EXPECT_TRUE(again.message.startsWith(m_file + QStringLiteral(" could not be deleted.\n\n")));
}

// Told who the file was when the search saw it, a delete takes the name first
// and checks it there: a file saved over the name since is never deleted.
TEST_F(DuplicateActionTest, DeleteOfASearchedFileDeletesOnlyThatFile)
{
    struct stat seen { };
    ASSERT_EQ(::lstat(QFile::encodeName(m_file).constData(), &seen), 0);
    const FileIdentity searched = identityOf(seen);
    const auto trash = [](const QString&, QString*) { return false; };
    const auto pick = [] { return QString(); };
    const QString other = m_dir.path() + QStringLiteral("/other.bmp");
    writeFile(other, "saved over");
    ASSERT_EQ(
        ::rename(QFile::encodeName(other).constData(), QFile::encodeName(m_file).constData()), 0);
    expectOutcome(DuplicateAction::Apply(
                      DuplicateAction::DeleteRow, m_file, m_search, trash, pick, {}, &searched),
        false, true, DuplicateAction::changedPairText(m_file));
    EXPECT_EQ(readFile(m_file), QByteArray("saved over"));

    struct stat now { };
    ASSERT_EQ(::lstat(QFile::encodeName(m_file).constData(), &now), 0);
    const FileIdentity current = identityOf(now);
    expectOutcome(DuplicateAction::Apply(
                      DuplicateAction::DeleteRow, m_file, m_search, trash, pick, {}, &current),
        true, false, {});
    EXPECT_FALSE(exists(m_file));
}

TEST_F(DuplicateActionTest, ChangedPairIsLeftAloneAlsoWhenItChangesWhileThePickerIsOpen)
{
    const QString changedText = DuplicateAction::changedPairText(m_file);
    const struct {
        int row;
        bool changedBefore; // changed before the press
        bool changedInPicker; // changed while the picker was open
        bool pickerShown;
    } rows[] = {
        {DuplicateAction::RecycleRow, true, false, false},
        {DuplicateAction::DeleteRow, true, false, false},
        {DuplicateAction::MoveRow, true, false, false},
        {DuplicateAction::MoveRow, false, true, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.row);
        bool unchanged = !row.changedBefore;
        int picks = 0;
        int trashes = 0;
        const Outcome got = DuplicateAction::Apply(
            row.row, m_file, m_search, [&](const QString&, QString*) { return ++trashes > 0; },
            [&] {
                ++picks;
                if (row.changedInPicker)
                    unchanged = false;
                return folder("other");
            },
            [&] { return unchanged; });
        expectOutcome(got, false, true, changedText);
        EXPECT_EQ(picks, row.pickerShown ? 1 : 0);
        EXPECT_EQ(trashes, 0);
        EXPECT_EQ(readFile(m_file), QByteArray("copy"));
        EXPECT_TRUE(entries(folder("other")).isEmpty());
    }
}

TEST_F(DuplicateActionTest, DeleteInALockedFolderKeepsTheEntry)
{
    LockedFolder lock(folder("pics"));
    if (!lock.active())
        GTEST_SKIP() << "cannot make a folder refuse removals here";
    const Outcome got
        = DuplicateAction::Apply(DuplicateAction::DeleteRow, m_file, m_search, {}, {});
    EXPECT_FALSE(got.removeEntry);
    EXPECT_TRUE(got.countBack);
    EXPECT_TRUE(got.message.contains(m_file));
    EXPECT_EQ(readFile(m_file), QByteArray("copy"));
}

} // namespace
