// Put back against the real trash of a scratch home (GIO trashes there) and
// real folders: what comes back, and what is left alone with its reason.
#include "review/PutBack.h"
#include "files/FileIdentity.h"
#include "handling/FileActions.h"

#include "TrashTestHome.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeAll(const QString& path, const QByteArray& bytes, QIODevice::OpenMode mode)
{
    QFile file(path);
    ASSERT_TRUE(file.open(mode)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

PutBack::Acted acted(int id, const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st { };
    EXPECT_EQ(::lstat(native.constData(), &st), 0);
    PutBack::Acted a;
    a.id = id;
    a.path = native;
    a.searched = identityOf(st);
    return a;
}

QString trashFiles()
{
    return TrashTestHome::dataHome() + QStringLiteral("/Trash/files/");
}

QString trashInfo()
{
    return TrashTestHome::dataHome() + QStringLiteral("/Trash/info/");
}

enum class After { Nothing, ChangedThere, PlaceTaken, RemovedThere };

struct PutBackCase {
    const char* name; // also the file's name, unique in the shared trash
    bool trash; // false: moved to another folder
    After after;
    const char* leftAloneBecause; // "" when the file must come back
};

class PutBackTest : public ::testing::TestWithParam<PutBackCase> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(QDir().mkpath(m_dir.path() + QStringLiteral("/photos")));
        ASSERT_TRUE(QDir().mkpath(m_dir.path() + QStringLiteral("/moved")));
    }
    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/corvane-put-back-XXXXXX")};
};

TEST_P(PutBackTest, ReturnsTheFileOnlyWhenItAndItsPlaceAreAsTheActionLeftThem)
{
    const PutBackCase& c = GetParam();
    const QString name = QString::fromLatin1(c.name) + QStringLiteral(".png");
    const QString original = m_dir.path() + QStringLiteral("/photos/") + name;
    const QByteArray bytes = "picture of " + QByteArray(c.name);
    writeAll(original, bytes, QIODevice::WriteOnly);
    const std::vector<PutBack::Acted> files{acted(7, original)};

    QString error;
    QString place;
    PutBack putBack;
    if (c.trash) {
        ASSERT_TRUE(FileActions::RecycleFile(original, &error)) << error.toStdString();
        place = trashFiles() + name;
        putBack = PutBack::afterTrash(files, PutBack::homeTrash());
    } else {
        const QString folder = m_dir.path() + QStringLiteral("/moved");
        ASSERT_EQ(FileActions::MoveFileNoReplace(original, folder, &error),
            FileActions::MoveResult::Moved)
            << error.toStdString();
        place = folder + QLatin1Char('/') + name;
        putBack = PutBack::afterMove(files, QFile::encodeName(folder));
    }
    ASSERT_TRUE(QFile::exists(place)) << place.toStdString();
    ASSERT_EQ(putBack.count(), 1);

    switch (c.after) {
    case After::Nothing:
        break;
    case After::ChangedThere:
        writeAll(place, "edited", QIODevice::Append);
        break;
    case After::PlaceTaken:
        writeAll(original, "a new file", QIODevice::WriteOnly);
        break;
    case After::RemovedThere:
        ASSERT_TRUE(QFile::remove(place));
        break;
    }

    const PutBack::Outcome outcome = putBack.run();
    const QString because = QString::fromLatin1(c.leftAloneBecause);
    if (because.isEmpty()) {
        ASSERT_EQ(outcome.returned.size(), size_t(1));
        EXPECT_TRUE(outcome.leftAlone.empty());
        EXPECT_EQ(outcome.returned[0].first, 7);
        EXPECT_EQ(readAll(original), bytes);
        EXPECT_FALSE(QFile::exists(place));
        // The review takes the file back with who it is now.
        EXPECT_EQ(outcome.returned[0].second.inode, files[0].searched.inode);
        EXPECT_EQ(outcome.returned[0].second.size, files[0].searched.size);
        if (c.trash) {
            EXPECT_FALSE(QFile::exists(trashInfo() + name + QStringLiteral(".trashinfo")));
        }
        return;
    }
    EXPECT_TRUE(outcome.returned.empty());
    ASSERT_EQ(outcome.leftAlone.size(), size_t(1));
    EXPECT_EQ(outcome.leftAlone[0].path, original);
    EXPECT_TRUE(outcome.leftAlone[0].reason.contains(because))
        << outcome.leftAlone[0].reason.toStdString();
    switch (c.after) {
    case After::ChangedThere:
        EXPECT_EQ(readAll(place), bytes + "edited"); // left where it is, as it is
        EXPECT_FALSE(QFile::exists(original));
        break;
    case After::PlaceTaken:
        EXPECT_EQ(readAll(original), QByteArray("a new file")); // never overwritten
        EXPECT_EQ(readAll(place), bytes);
        break;
    default:
        break;
    }
    if (c.trash && c.after != After::RemovedThere) {
        EXPECT_TRUE(QFile::exists(trashInfo() + name + QStringLiteral(".trashinfo")));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, PutBackTest,
    ::testing::Values(PutBackCase{"trashed_file_returns", true, After::Nothing, ""},
        PutBackCase{"changed_in_the_trash", true, After::ChangedThere, "changed in the trash"},
        PutBackCase{"trashed_place_taken", true, After::PlaceTaken, "another file now stands"},
        PutBackCase{"trash_emptied", true, After::RemovedThere, "no longer in the trash"},
        PutBackCase{"moved_file_moves_back", false, After::Nothing, ""},
        PutBackCase{"changed_where_moved", false, After::ChangedThere, "changed at"},
        PutBackCase{"moved_place_taken", false, After::PlaceTaken, "another file now stands"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PutBackTrashTest, TwoFilesOfOneNameEachReturnToTheirOwnFolder)
{
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/corvane-put-back-XXXXXX"));
    ASSERT_TRUE(dir.isValid());
    EXPECT_EQ(PutBack::homeTrash(), QFile::encodeName(TrashTestHome::dataHome() + "/Trash"));
    std::vector<PutBack::Acted> files;
    for (int i = 0; i < 3; ++i) {
        const QString folder = dir.path() + QStringLiteral("/f%1").arg(i);
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/same name.tar.png");
        writeAll(path, QByteArray::number(i), QIODevice::WriteOnly);
        files.push_back(acted(i, path));
        QString error;
        ASSERT_TRUE(FileActions::RecycleFile(path, &error)) << error.toStdString();
    }
    PutBack putBack = PutBack::afterTrash(files, PutBack::homeTrash());
    const PutBack::Outcome outcome = putBack.run();
    EXPECT_TRUE(outcome.leftAlone.empty());
    ASSERT_EQ(outcome.returned.size(), size_t(3));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(readAll(dir.path() + QStringLiteral("/f%1/same name.tar.png").arg(i)),
            QByteArray::number(i));
    // Used once: a second put back has nothing left to do.
    EXPECT_TRUE(putBack.run().returned.empty());
}

} // namespace
