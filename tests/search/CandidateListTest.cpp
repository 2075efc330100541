#include "search/CandidateList.h"
#include "search/CandidateEntry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

void writeFile(const QString& path, qint64 length)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(QByteArray(length, 'x'));
}

QStringList pathsOf(const CandidateList& list)
{
    QStringList paths;
    for (const QString& entry : list.entries())
        paths << CandidateEntry::splitEntry(entry).path;
    return paths;
}

} // namespace

TEST(CandidateList, InsertKeepsTextOrder)
{
    CandidateList list;
    list.insert(QStringLiteral("00000100*/p/b.jpg"));
    list.insert(QStringLiteral("00000099*/p/z.jpg"));
    list.insert(QStringLiteral("00000100*/p/a.jpg"));
    list.insert(QStringLiteral("00000100*/p/a.jpg"));
    ASSERT_EQ(list.count(), 4);
    EXPECT_EQ(list.at(0), QStringLiteral("00000099*/p/z.jpg"));
    EXPECT_EQ(list.at(1), QStringLiteral("00000100*/p/a.jpg"));
    EXPECT_EQ(list.at(3), QStringLiteral("00000100*/p/b.jpg"));
    list.removeAt(0);
    list.removeAt(7); // out of range: nothing happens
    EXPECT_EQ(list.count(), 3);
    EXPECT_EQ(list.at(-1), QString());
    list.clear();
    EXPECT_EQ(list.count(), 0);
}

TEST(CandidateList, ScanListsCandidatesSortedBySize)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.path() + QLatin1Char('/');
    writeFile(folder + QStringLiteral("big.jpg"), 100);
    writeFile(folder + QStringLiteral("small.BMP"), 99);
    writeFile(folder + QStringLiteral("twin b.gif"), 150);
    writeFile(folder + QStringLiteral("twin*a.png"), 150);
    writeFile(folder + QStringLiteral("Übersicht.tif"), 120);
    writeFile(folder + QStringLiteral("abcjp2"), 130);
    writeFile(folder + QStringLiteral("notes.txt"), 10);
    writeFile(folder + QStringLiteral("photo.jpeg"), 10);
    writeFile(folder + QStringLiteral("scan.tiff"), 10);

    CandidateList list;
    EXPECT_EQ(list.scan(folder), 6);
    const QStringList expected = {
        folder + QStringLiteral("small.BMP"),
        folder + QStringLiteral("big.jpg"),
        folder + QStringLiteral("Übersicht.tif"),
        folder + QStringLiteral("abcjp2"),
        folder + QStringLiteral("twin b.gif"),
        folder + QStringLiteral("twin*a.png"),
    };
    EXPECT_EQ(pathsOf(list), expected);
    EXPECT_EQ(list.at(0), QStringLiteral("00000099*") + folder + QStringLiteral("small.BMP"));
}

TEST(CandidateList, ScanSkipsEverythingButPlainVisibleFiles)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.path() + QLatin1Char('/');
    writeFile(folder + QStringLiteral("real.jpg"), 10);
    writeFile(folder + QStringLiteral(".hidden.jpg"), 10);
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("folder.jpg")));
    ASSERT_TRUE(
        QFile::link(folder + QStringLiteral("real.jpg"), folder + QStringLiteral("link.jpg")));
    ASSERT_TRUE(
        QFile::link(folder + QStringLiteral("gone"), folder + QStringLiteral("dangling.jpg")));
    // Bytes that are not UTF-8: the name could not be addressed by its decoded path.
    const QByteArray badName = QFile::encodeName(folder) + QByteArray("bad\xff\xfe.jpg");
    const int badFd = ::open(badName.constData(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(badFd, 0);
    ::close(badFd);
    ASSERT_EQ(mkfifo(QFile::encodeName(folder + QStringLiteral("pipe.gif")).constData(), 0600), 0);

    const QByteArray socketPath = QFile::encodeName(folder + QStringLiteral("sock.bmp"));
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const bool socketFits = socketPath.size() < qsizetype(sizeof(address.sun_path));
    if (socketFits) {
        memcpy(address.sun_path, socketPath.constData(), size_t(socketPath.size()));
        EXPECT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    }

    CandidateList list;
    EXPECT_EQ(list.scan(folder), 1);
    EXPECT_EQ(pathsOf(list), QStringList{folder + QStringLiteral("real.jpg")});
    close(sock);
    ::unlink(badName.constData()); // QTemporaryDir cannot remove it by its decoded name
}

TEST(CandidateList, ScanAppendsToTheSortedList)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.path() + QLatin1Char('/');
    writeFile(folder + QStringLiteral("a.jpg"), 5);
    writeFile(folder + QStringLiteral("c.jpg"), 500);
    CandidateList list;
    list.insert(
        CandidateEntry::makeEntry(CandidateEntry::makeSizeKey(50), QStringLiteral("/x/b.jpg")));
    EXPECT_EQ(list.scan(folder), 2);
    EXPECT_EQ(pathsOf(list),
        (QStringList{folder + QStringLiteral("a.jpg"), QStringLiteral("/x/b.jpg"),
            folder + QStringLiteral("c.jpg")}));
}

TEST(CandidateList, MissingFolderGivesNothing)
{
    CandidateList list;
    EXPECT_EQ(list.scan(QStringLiteral("/nonexistent-corvane-folder/")), 0);
    EXPECT_EQ(list.count(), 0);
}

TEST(CandidateList, FolderTextIsUsedAsGiven)
{
    // The root folder "/" becomes "//" once its separator is appended; entries
    // carry the folder text exactly as given, doubled slash included.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    writeFile(dir.path() + QStringLiteral("/a.jpg"), 5);
    CandidateList list;
    ASSERT_EQ(list.scan(dir.path() + QStringLiteral("//")), 1);
    EXPECT_EQ(pathsOf(list), QStringList{dir.path() + QStringLiteral("//a.jpg")});
}

TEST(CandidateList, CandidatesWhoseNamesAreNotUtf8AreCountedNotListed)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.path() + QLatin1Char('/');
    writeFile(folder + QStringLiteral("real.png"), 10);
    const QByteArray base = QFile::encodeName(folder);
    // Counted: candidate types. Not counted: another type, a hidden name, a folder.
    const QByteArray names[] = {"bad\xff.jpg", "\xc3\x28.TIF", "bad\xff.txt", ".hid\xff.png"};
    for (const QByteArray& name : names) {
        const int fd = ::open((base + name).constData(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    ASSERT_EQ(::mkdir((base + "dir\xff.gif").constData(), 0700), 0);

    CandidateList list;
    EXPECT_EQ(list.scan(folder), 1);
    EXPECT_EQ(list.skippedNames(), 2);
    list.scan(folder);
    EXPECT_EQ(list.skippedNames(), 4) << "each scan adds to the count";
    list.clear();
    EXPECT_EQ(list.skippedNames(), 0);

    for (const QByteArray& name : names)
        ::unlink((base + name).constData());
    ::rmdir((base + "dir\xff.gif").constData());
}
