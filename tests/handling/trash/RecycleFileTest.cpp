#include "handling/FileActions.h"

#include "TestFileSystem.h"
#include "TrashTestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace TestFileSystem;

namespace {

struct TrashInfo {
    QString path;
    QString deletionDate;
};

// Reads a .trashinfo by hand: the format is fixed and small.
TrashInfo readTrashInfo(const QString& file)
{
    TrashInfo info;
    const QList<QByteArray> lines = readFile(file).split('\n');
    if (lines.isEmpty() || lines.first() != "[Trash Info]")
        return info;
    for (const QByteArray& line : lines) {
        if (line.startsWith("Path="))
            info.path = QString::fromLatin1(line.mid(5));
        if (line.startsWith("DeletionDate="))
            info.deletionDate = QString::fromLatin1(line.mid(13));
    }
    return info;
}

class RecycleFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString trash() const { return TrashTestHome::dataHome() + QStringLiteral("/Trash"); }
    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/corvane-trash-test-XXXXXX")};
};

TEST_F(RecycleFileTest, HomeTrashIsCreatedPrivateWithAValidRecord)
{
    for (const QString& name : {QStringLiteral("a b%.bmp"), QStringLiteral("100% dup (2).png"),
             QStringLiteral("plain.jpg")}) {
        SCOPED_TRACE(name.toStdString());
        const QString path = m_dir.path() + QLatin1Char('/') + name;
        writeFile(path, name.toUtf8());
        QString error;
        ASSERT_TRUE(FileActions::RecycleFile(path, &error)) << error.toStdString();
        EXPECT_FALSE(exists(path));

        EXPECT_EQ(readFile(trash() + QStringLiteral("/files/") + name), name.toUtf8());
        const TrashInfo info = readTrashInfo(
            trash() + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo"));
        EXPECT_EQ(info.path, QString::fromLatin1(QUrl::toPercentEncoding(path, "/")));
        EXPECT_FALSE(info.path.contains(QLatin1Char(' ')));
        EXPECT_EQ(QUrl::fromPercentEncoding(info.path.toLatin1()), path);
        EXPECT_TRUE(
            QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d$"))
                .match(info.deletionDate)
                .hasMatch())
            << info.deletionDate.toStdString();
    }
    struct stat st { };
    ASSERT_EQ(::stat(QFile::encodeName(trash()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(RecycleFileTest, MissingFileOrAFolderFailsWithAReason)
{
    QString error;
    EXPECT_FALSE(FileActions::RecycleFile(m_dir.path() + QStringLiteral("/gone.bmp"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(FileActions::RecycleFile(QString(), &error));
    EXPECT_FALSE(FileActions::RecycleFile(m_dir.path(), &error)) << "folders are never trashed";
    EXPECT_TRUE(QFileInfo(m_dir.path()).isDir());
}

TEST_F(RecycleFileTest, LockedFolderFailsAndKeepsTheFile)
{
    const QString path = m_dir.path() + QStringLiteral("/locked.bmp");
    writeFile(path, "pixels");
    LockedFolder lock(m_dir.path());
    if (!lock.active())
        GTEST_SKIP() << "cannot make a folder refuse removals here";
    QString error;
    EXPECT_FALSE(FileActions::RecycleFile(path, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readFile(path), QByteArray("pixels"));
}

TEST_F(RecycleFileTest, FileOnAnotherDiskGoesToThatDisksTrash)
{
    OtherFileSystem other(m_dir.path(), OtherFileSystem::DiskImage);
    if (other.path().isEmpty())
        GTEST_SKIP() << other.why().toStdString();
    const QString path = other.path() + QStringLiteral("/far away%.png");
    writeFile(path, "far");
    QString error;
    ASSERT_TRUE(FileActions::RecycleFile(path, &error)) << error.toStdString();
    EXPECT_FALSE(exists(path));
    const QString diskTrash
        = other.path() + QStringLiteral("/.Trash-") + QString::number(::getuid());
    EXPECT_EQ(readFile(diskTrash + QStringLiteral("/files/far away%.png")), QByteArray("far"));
    const TrashInfo info
        = readTrashInfo(diskTrash + QStringLiteral("/info/far away%.png.trashinfo"));
    EXPECT_EQ(info.path, QStringLiteral("far%20away%25.png"))
        << "a disk's own trash records paths relative to the disk";
    EXPECT_FALSE(exists(trash() + QStringLiteral("/files/far away%.png")));
}

TEST_F(RecycleFileTest, FileWhereNoTrashIsKeptFailsAndStays)
{
    // Desktops keep no trash on memory file systems; GIO refuses rather than
    // deleting, and so must Corvane.
    OtherFileSystem other(m_dir.path(), OtherFileSystem::Memory);
    if (!other.mounted())
        GTEST_SKIP() << "needs a tmpfs mounted by the test";
    const QString path = other.path() + QStringLiteral("/in memory.png");
    writeFile(path, "kept");
    QString error;
    EXPECT_FALSE(FileActions::RecycleFile(path, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readFile(path), QByteArray("kept"));
}

} // namespace
