// Which files the whole-folder search lists: each file once, however it is
// reached, never through a link, never a hidden one, never a fifo.
#include "TestCollection.h"

#include "finder/FolderScan.h"
#include "finder/PictureTypes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include <sys/stat.h>
#include <unistd.h>

namespace {

std::set<QByteArray> names(const finder::ScanOutcome& outcome, const QString& root)
{
    const QByteArray prefix = QFile::encodeName(root) + '/';
    std::set<QByteArray> found;
    for (const finder::ScannedFile& file : outcome.files)
        found.insert(file.path.mid(prefix.size()));
    return found;
}

class FolderScanTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_root = m_dir.path();
        QDir root(m_root);
        root.mkpath(QStringLiteral("sub/.hidden"));
        for (const char* name :
            {"a.JPG", "b.jpeg", "c.Tiff", "d.j2k", "e.webp", "f.heic", "g.avif", "h.jfif", "i.dib",
                "notes.txt", "jpg", "x.jpg.bak", ".hidden.png", "sub/s.png", "sub/.hidden/t.png"})
            touch(name);
        ASSERT_EQ(link(path("a.JPG").constData(), path("hard.jpg").constData()), 0);
        ASSERT_EQ(symlink("a.JPG", path("soft.jpg").constData()), 0);
        ASSERT_EQ(symlink("sub", path("folderlink").constData()), 0);
        ASSERT_EQ(symlink(m_root.toLocal8Bit().constData(), path("sub/loop").constData()), 0);
        ASSERT_EQ(mkfifo(path("pipe.jpg").constData(), 0600), 0);
        root.mkpath(QStringLiteral("folder.png")); // a folder with a picture's name
    }

    QByteArray path(const char* name) const { return QFile::encodeName(m_root) + '/' + name; }

    void touch(const char* name)
    {
        QFile file(QString::fromUtf8(path(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("x");
    }

    QTemporaryDir m_dir;
    QString m_root;
};

TEST_F(FolderScanTest, ListsPictureNamesOfRegularFilesOnly)
{
    const auto outcome = finder::scanFolders({QFile::encodeName(m_root)}, false, nullptr, {});
    // a.JPG and hard.jpg are one file: listed once, under the first name.
    const std::set<QByteArray> expected
        = {"a.JPG", "b.jpeg", "c.Tiff", "d.j2k", "e.webp", "f.heic", "g.avif", "h.jfif", "i.dib"};
    EXPECT_EQ(names(outcome, m_root), expected);
    EXPECT_TRUE(outcome.unreadableFolders.empty());
}

TEST_F(FolderScanTest, SubfoldersOnceAndNeverThroughLinksOrHiddenFolders)
{
    // The folder given twice, once inside the other and once through "/./".
    const auto outcome
        = finder::scanFolders({QFile::encodeName(m_root) + "/sub", QFile::encodeName(m_root),
                                  QFile::encodeName(m_root) + "/./"},
            true, nullptr, {});
    const std::set<QByteArray> found = names(outcome, m_root);
    EXPECT_EQ(found.count("sub/s.png"), 1u);
    EXPECT_EQ(found.count("a.JPG"), 1u);
    EXPECT_EQ(found.size(), 10u)
        << "a.JPG b.jpeg c.Tiff d.j2k e.webp f.heic g.avif h.jfif i.dib sub/s.png";
    for (const QByteArray& name : found) {
        EXPECT_FALSE(name.contains("link")) << name.toStdString();
        EXPECT_FALSE(name.contains("hidden")) << name.toStdString();
        EXPECT_FALSE(name.contains("loop")) << name.toStdString();
    }
}

struct NameRuleCase {
    const char* name;
    bool anyName;
    bool recursive;
    std::set<QByteArray> listed;
    std::int64_t otherNames; // regular, not hidden, not listed for their names
};

class NameRuleTest : public FolderScanTest, public ::testing::WithParamInterface<NameRuleCase> { };

// Files without a picture suffix are counted, never silently dropped, and
// --any-name lists them; hidden files, links and fifos stay out either way.
TEST_P(NameRuleTest, ListsOrCountsEveryRegularFile)
{
    const NameRuleCase& c = GetParam();
    const auto outcome
        = finder::scanFolders({QFile::encodeName(m_root)}, c.recursive, nullptr, {}, c.anyName);
    EXPECT_EQ(names(outcome, m_root), c.listed);
    EXPECT_EQ(outcome.otherNames, c.otherNames);
    for (const finder::ScannedFile& file : outcome.files) {
        const QByteArray name = file.path.mid(file.path.lastIndexOf('/') + 1);
        EXPECT_EQ(file.pictureName, finder::hasPictureSuffix(name.constData(), name.size()))
            << name.toStdString();
    }
}

const std::set<QByteArray> kPictureNames
    = {"a.JPG", "b.jpeg", "c.Tiff", "d.j2k", "e.webp", "f.heic", "g.avif", "h.jfif", "i.dib"};

std::set<QByteArray> plus(std::set<QByteArray> names, std::initializer_list<const char*> more)
{
    for (const char* name : more)
        names.insert(name);
    return names;
}

INSTANTIATE_TEST_SUITE_P(Cases, NameRuleTest,
    ::testing::Values(NameRuleCase{"PictureNamesOnly", false, false, kPictureNames, 3},
        NameRuleCase{
            "AnyName", true, false, plus(kPictureNames, {"notes.txt", "jpg", "x.jpg.bak"}), 0},
        NameRuleCase{
            "PictureNamesOnlyWithSubfolders", false, true, plus(kPictureNames, {"sub/s.png"}), 3},
        NameRuleCase{"AnyNameWithSubfolders", true, true,
            plus(kPictureNames, {"notes.txt", "jpg", "x.jpg.bak", "sub/s.png"}), 0}),
    [](const ::testing::TestParamInfo<NameRuleCase>& info) {
        return std::string(info.param.name);
    });

TEST(PictureSuffix, TellsPictureNamesFromOthers)
{
    const struct {
        const char* name;
        bool picture;
    } cases[] = {{"IMG_0001.HIF", true}, {"a.hif", true}, {"a.JpEg", true}, {"a.avif", true},
        {"IMG_0001", false}, {"photo.dat", false}, {"x.jpg.bak", false}, {"jpg", false},
        {"a.hifx", false}, {"a.", false}};
    for (const auto& c : cases) {
        EXPECT_EQ(finder::hasPictureSuffix(c.name, std::strlen(c.name)), c.picture) << c.name;
    }
}

TEST_F(FolderScanTest, AFolderThatCannotBeReadIsReported)
{
    const auto outcome = finder::scanFolders({path("missing")}, true, nullptr, {});
    ASSERT_EQ(outcome.unreadableFolders.size(), 1u);
    EXPECT_TRUE(
        outcome.unreadableFolders[0].reason.startsWith(QLatin1String("folder cannot be read")));
}

TEST(AbsoluteFolder, CleansWithoutResolvingLinks)
{
    EXPECT_EQ(finder::absoluteFolder("/a/./b//c/"), QByteArray("/a/b/c"));
    EXPECT_EQ(finder::absoluteFolder("/"), QByteArray("/"));
    EXPECT_EQ(finder::absoluteFolder("/a/../b"), QByteArray("/a/../b"));
    EXPECT_TRUE(finder::absoluteFolder("rel").endsWith("/rel"));
    EXPECT_TRUE(finder::absoluteFolder("rel").startsWith('/'));
}

} // namespace

namespace {

// The count under the main window after a search of the folder alone stops
// just past its limit; the folders are those holding a counted picture.
struct LimitCase {
    const char* name;
    int files; // pictures in sub/, one more in sub/deeper/ when deeper is set
    bool deeper;
    std::int64_t limit;
    std::int64_t pictures; // as counted (the count stops at limit + 1)
    std::int64_t folders;
    bool overLimit;
};

class SubfolderLimitTest : public ::testing::TestWithParam<LimitCase> { };

TEST_P(SubfolderLimitTest, StopsJustPastTheLimit)
{
    const LimitCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QDir(dir.path()).mkpath(QStringLiteral("sub/deeper"));
    for (int i = 0; i < c.files; ++i) {
        QFile f(dir.filePath(QStringLiteral("sub/p%1.jpg").arg(i)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    if (c.deeper) {
        QFile f(dir.filePath(QStringLiteral("sub/deeper/q.png")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const finder::SubfolderPictures count
        = finder::countSubfolderPictures(QFile::encodeName(dir.path()), c.limit);
    EXPECT_EQ(count.pictures, c.pictures);
    EXPECT_EQ(count.folders, c.folders);
    EXPECT_EQ(count.overLimit, c.overLimit);
}

const LimitCase kLimitCases[] = {
    {"NoPictures", 0, false, 5, 0, 0, false},
    {"BelowTheLimit", 4, false, 5, 4, 1, false},
    {"AtTheLimit", 5, false, 5, 5, 1, false},
    {"OnePastTheLimit", 6, false, 5, 6, 1, true},
    {"FarPastTheLimitStopsCounting", 40, true, 5, 6, 1, true},
    {"TwoFolders", 3, true, 5, 4, 2, false},
};

INSTANTIATE_TEST_SUITE_P(Limit, SubfolderLimitTest, ::testing::ValuesIn(kLimitCases),
    [](const ::testing::TestParamInfo<LimitCase>& info) { return std::string(info.param.name); });

} // namespace
