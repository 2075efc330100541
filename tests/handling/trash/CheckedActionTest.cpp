// Trash and delete told who the file must be: a file that changed after its
// identity was taken is never trashed or deleted, and is still under its name.
#include "handling/FileActions.h"

#include "TestFileSystem.h"
#include "TrashTestHome.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace TestFileSystem;

namespace {

struct AfterSearch {
    const char* name;
    // What another program does between the search and the action.
    std::function<void(const QByteArray& path, const QByteArray& folder)> change;
    bool expectActed;
    QByteArray expectUnderName; // what the name holds afterwards ("" for nothing)
};

const AfterSearch kCases[] = {
    {"unchanged", [](const QByteArray&, const QByteArray&) {}, true, ""},
    {"saved_over_by_another_file",
        [](const QByteArray& p, const QByteArray& folder) {
            const QByteArray other = folder + "/other";
            writeFile(QFile::decodeName(other), "edited");
            ASSERT_EQ(::rename(other.constData(), p.constData()), 0);
        },
        false, "edited"},
    {"rewritten_in_place_same_size",
        [](const QByteArray& p, const QByteArray&) {
            QFile f(QFile::decodeName(p));
            ASSERT_TRUE(f.open(QIODevice::ReadWrite));
            f.write("PIXELS");
            f.close();
            const struct timespec later[2] = {{1'700'000'000, 0}, {1'700'000'000, 0}};
            ::utimensat(AT_FDCWD, p.constData(), later, 0);
        },
        false, "PIXELS"},
    {"permissions_changed",
        [](const QByteArray& p, const QByteArray&) { ASSERT_EQ(::chmod(p.constData(), 0600), 0); },
        false, "pixels"},
    {"given_a_second_name",
        [](const QByteArray& p, const QByteArray& folder) {
            ASSERT_EQ(::link(p.constData(), (folder + "/second").constData()), 0);
        },
        false, "pixels"},
    {"replaced_by_a_link",
        [](const QByteArray& p, const QByteArray& folder) {
            const QByteArray keep = folder + "/kept";
            ASSERT_EQ(::rename(p.constData(), keep.constData()), 0);
            ASSERT_EQ(::symlink(keep.constData(), p.constData()), 0);
        },
        false, "pixels"},
    {"removed", [](const QByteArray& p, const QByteArray&) { ::unlink(p.constData()); }, false, ""},
};

enum class Action { Trash, Delete };

class CheckedActionTest : public ::testing::TestWithParam<std::tuple<Action, AfterSearch>> { };

TEST_P(CheckedActionTest, ActsOnlyOnTheFileTheSearchSaw)
{
    const auto& [action, c] = GetParam();
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/corvane-checked-XXXXXX"));
    ASSERT_TRUE(dir.isValid());
    const QByteArray folder = QFile::encodeName(dir.path());
    const QByteArray path = folder + "/copy \"1\" .png";
    writeFile(QFile::decodeName(path), "pixels");
    ASSERT_EQ(::chmod(path.constData(), 0644), 0);
    struct stat searched { };
    ASSERT_EQ(::lstat(path.constData(), &searched), 0);
    const FileIdentity identity = identityOf(searched);

    c.change(path, folder);

    QString error;
    const FileActions::CheckedResult result = action == Action::Trash
        ? FileActions::RecycleFileIfUnchanged(path, identity, &error)
        : FileActions::DeleteFileIfUnchanged(path, identity, &error);
    EXPECT_EQ(result,
        c.expectActed ? FileActions::CheckedResult::Done : FileActions::CheckedResult::Changed)
        << error.toStdString();
    if (!c.expectActed) {
        EXPECT_FALSE(error.isEmpty());
    }
    struct stat now { };
    if (c.expectUnderName.isEmpty()) {
        EXPECT_NE(::lstat(path.constData(), &now), 0);
    } else {
        ASSERT_EQ(::stat(path.constData(), &now), 0);
        EXPECT_EQ(readFile(QFile::decodeName(path)), c.expectUnderName);
    }
    // Nothing is left under a private name.
    for (const QString& entry : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden)) {
        EXPECT_FALSE(entry.startsWith(QLatin1String(FileActions::kRemovingPrefix)))
            << entry.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Changes, CheckedActionTest,
    ::testing::Combine(
        ::testing::Values(Action::Trash, Action::Delete), ::testing::ValuesIn(kCases)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param) == Action::Trash ? "trash_" : "delete_")
            + std::get<1>(info.param).name;
    });

} // namespace
