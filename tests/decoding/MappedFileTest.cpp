// MappedFile: what it opens, what it refuses, and that both ways of holding
// the bytes give the file's bytes.

#include "decoding/MappedFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using decoding::MappedFile;

std::string local(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

class MappedFileAccess : public ::testing::TestWithParam<MappedFile::Access> { };

TEST_P(MappedFileAccess, HoldsTheFileBytes)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("name with blanks, \"quotes\" and \n"));
    QByteArray content;
    for (int i = 0; i < 70000; ++i)
        content.append(char(i * 7));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();

    const MappedFile mapped = MappedFile::open(local(path), GetParam());
    ASSERT_TRUE(mapped.ok()) << mapped.error();
    ASSERT_EQ(mapped.size(), std::uint64_t(content.size()));
    EXPECT_EQ(
        QByteArray(reinterpret_cast<const char*>(mapped.bytes().data()), content.size()), content);
    struct stat status { };
    ASSERT_EQ(::stat(local(path).c_str(), &status), 0);
    EXPECT_EQ(mapped.inode(), std::uint64_t(status.st_ino));
    EXPECT_EQ(mapped.device(), std::uint64_t(status.st_dev));
}

TEST_P(MappedFileAccess, EmptyFileIsEmptyNotAnError)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("empty"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const MappedFile mapped = MappedFile::open(local(path), GetParam());
    ASSERT_TRUE(mapped.ok()) << mapped.error();
    EXPECT_EQ(mapped.size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Ways, MappedFileAccess,
    ::testing::Values(MappedFile::Access::Read, MappedFile::Access::Map),
    [](const auto& info) { return info.param == MappedFile::Access::Read ? "Read" : "Map"; });

// What is not a regular file is refused at once, with a reason; a FIFO with
// no writer must not block the open.
struct RefusedPath {
    const char* name;
    QString (*make)(const QTemporaryDir&);
    int errorNumber; // 0: no errno, refused by type
};

void PrintTo(const RefusedPath& c, std::ostream* os)
{
    *os << c.name;
}

class MappedFileRefuses : public ::testing::TestWithParam<RefusedPath> { };

TEST_P(MappedFileRefuses, WithAReason)
{
    QTemporaryDir folder;
    const QString path = GetParam().make(folder);
    const auto started = std::chrono::steady_clock::now();
    const MappedFile mapped = MappedFile::open(local(path));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_FALSE(mapped.ok());
    EXPECT_FALSE(mapped.error().empty());
    EXPECT_EQ(mapped.errorNumber(), GetParam().errorNumber);
    EXPECT_TRUE(mapped.bytes().empty());
}

INSTANTIATE_TEST_SUITE_P(Paths, MappedFileRefuses,
    ::testing::Values(
        RefusedPath{"Missing",
            [](const QTemporaryDir& f) { return f.filePath(QStringLiteral("gone.png")); }, ENOENT},
        RefusedPath{"Folder", [](const QTemporaryDir& f) { return f.path(); }, 0},
        RefusedPath{"Fifo",
            [](const QTemporaryDir& f) {
                const QString path = f.filePath(QStringLiteral("pipe.png"));
                ::mkfifo(local(path).c_str(), 0600);
                return path;
            },
            0},
        RefusedPath{"SymbolicLink",
            [](const QTemporaryDir& f) {
                const QString target = f.filePath(QStringLiteral("real.png"));
                QFile file(target);
                file.open(QIODevice::WriteOnly);
                file.write("x");
                file.close();
                const QString link = f.filePath(QStringLiteral("link.png"));
                QFile::link(target, link);
                return link;
            },
            ELOOP}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
