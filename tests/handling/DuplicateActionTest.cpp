#include "handling/DuplicateAction.h"

#include "TestFileSystem.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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

TEST_F(DuplicateActionTest, SameFolderWrittenDifferentlyStillNeverLosesTheFile)
{
    // Not the same text, so the same-folder test lets it through; the
    // no-replace move then finds the file itself in the way.
    const QString detour = folder("other") + QStringLiteral("/../pics");
    expectOutcome(DuplicateAction::MoveToFolder(m_file, detour, m_search), false, true,
        QStringLiteral("File already exists."));
    EXPECT_EQ(readFile(m_file), QByteArray("copy"));
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

    expectOutcome(DuplicateAction::Apply(-1, m_file, m_search, trash, pick), true, false, {});
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
