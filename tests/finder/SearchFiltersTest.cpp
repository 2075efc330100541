// What a search leaves out and what it must never touch, through the real
// search over generated folders: exclusion patterns and the minimum size,
// protected folders (a hard link's other name included), and the ignore
// list across a rename, a new search and a new file joining a judged group.
#include "TestCollection.h"

#include "finder/Finder.h"
#include "finder/IgnoreList.h"
#include "finder/SearchFilters.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Names = std::set<QByteArray>;

// A picture made by ImageMagick, as bytes.
QByteArray madePicture(const QStringList& arguments)
{
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("made.png"));
    if (!testcollection::run(QStringLiteral("convert"), arguments + QStringList{out})) {
        ADD_FAILURE() << "convert " << arguments.join(QLatin1Char(' ')).toStdString();
        return {};
    }
    QFile file(out);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A large picture (tens of kilobytes) and two small ones (well under 1K).
const QByteArray& bigPicture()
{
    static const QByteArray bytes = madePicture({QStringLiteral("-size"), QStringLiteral("160x120"),
        QStringLiteral("-seed"), QStringLiteral("7"), QStringLiteral("plasma:"),
        QStringLiteral("+noise"), QStringLiteral("Gaussian")});
    return bytes;
}
const QByteArray& tinyPicture()
{
    static const QByteArray bytes
        = madePicture({QStringLiteral("-size"), QStringLiteral("6x4"), QStringLiteral("xc:blue")});
    return bytes;
}
const QByteArray& otherTinyPicture()
{
    static const QByteArray bytes = madePicture(
        {QStringLiteral("-size"), QStringLiteral("5x7"), QStringLiteral("xc:#20c040")});
    return bytes;
}

// The large picture's pixels in a file of other bytes: a comment of its own.
QByteArray bigPictureSaved(const char* comment)
{
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in.png"));
    QFile file(in);
    if (!file.open(QIODevice::WriteOnly) || file.write(bigPicture()) != bigPicture().size())
        return {};
    file.close();
    return madePicture(
        {in, QStringLiteral("-set"), QStringLiteral("comment"), QString::fromLatin1(comment)});
}

// Paths are bytes (not always UTF-8): written with the system's calls.
void makeFolders(const QByteArray& path)
{
    for (qsizetype slash = path.indexOf('/', 1); slash > 0; slash = path.indexOf('/', slash + 1))
        ::mkdir(path.left(slash).constData(), 0755);
}

void put(const QByteArray& path, const QByteArray& bytes)
{
    makeFolders(path);
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path.toStdString();
    ASSERT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), bytes.size());
    ::close(fd);
}

class Scratch {
public:
    Scratch() { root = QFile::encodeName(m_dir.path()); }
    // QDir cannot remove names that are not text.
    ~Scratch() { testcollection::run(QStringLiteral("rm"), {QStringLiteral("-rf"), m_dir.path()}); }

    QByteArray path(const QByteArray& relative) const { return root + '/' + relative; }

    FinderOptions options(const QByteArray& folder) const
    {
        FinderOptions options;
        options.folders = {path(folder)};
        options.recursive = true;
        options.useCache = false;
        options.ignoreListPath = QFile::decodeName(path("data/ignored-groups.json"));
        return options;
    }

    QByteArray root;

private:
    QTemporaryDir m_dir;
};

// Each group's paths below the folder searched, one set per group.
std::set<Names> groupsBelow(const QByteArray& folder, const FinderResult& result)
{
    std::set<Names> groups;
    for (const DuplicateGroup& group : result.groups) {
        Names names;
        for (const FoundFile& file : group.files) {
            EXPECT_TRUE(file.path.startsWith(folder + '/')) << file.path.toStdString();
            names.insert(file.path.mid(folder.size() + 1));
        }
        groups.insert(names);
    }
    return groups;
}

// Copies of the large picture, by path below the searched folder.
const Names kBigCopies = {
    "top.png",
    "a b/blank name.png",
    "quote\"s/it's \"here\".png",
    "-dash.png",
    "star*.png",
    "caf\xe9/\xff\xfe.png",
    "Thumbnails/t.png",
    "deep/er/Thumbnails/t.png",
    "cache/c.png",
    "deep/cache/c.png",
    "deep/keep.png",
    "sub/anchored.png",
    "deep/sub/anchored.png",
};
const Names kTinyCopies = {"tiny1.png", "deep/tiny2.png"};

struct ScanCase {
    const char* what;
    QList<QByteArray> excludes;
    std::int64_t minimumSize = 0;
    bool anyName = false;
    Names leftOut; // of the large picture's copies (and notes.tmp, found only by any name)
    bool tinyGroup = true; // the small pictures' group is found
};

TEST(SearchFiltersTest, ExclusionsAndMinimumSizeLeaveOutExactlyWhatTheyName)
{
    ASSERT_FALSE(bigPicture().isEmpty());
    ASSERT_GT(bigPicture().size(), 4096);
    ASSERT_LT(tinyPicture().size(), 1024);
    Scratch scratch;
    for (const QByteArray& name : kBigCopies)
        put(scratch.path("search/" + name), bigPicture());
    // Examined only when every name is.
    put(scratch.path("search/notes.tmp"), bigPicture());
    for (const QByteArray& name : kTinyCopies)
        put(scratch.path("search/" + name), tinyPicture());

    const std::vector<ScanCase> cases = {
        {"nothing left out", {}, 0, false, {}, true},
        {"every name examined", {}, 0, true, {}, true},
        {"a folder at any depth, top one included", {"**/Thumbnails/**"}, 0, false,
            {"Thumbnails/t.png", "deep/er/Thumbnails/t.png"}, true},
        {"cache folders", {"**/cache/**"}, 0, false, {"cache/c.png", "deep/cache/c.png"}, true},
        {"a suffix at any depth", {"*.tmp"}, 0, true, {"notes.tmp"}, true},
        {"a name with a leading dash", {"-dash.png"}, 0, false, {"-dash.png"}, true},
        {"a name with blanks", {"blank name.png"}, 0, false, {"a b/blank name.png"}, true},
        {"a folder with a blank", {"a b"}, 0, false, {"a b/blank name.png"}, true},
        {"quotes", {"it's \"here\".png"}, 0, false, {"quote\"s/it's \"here\".png"}, true},
        {"a star in the name matched by a star", {"star*"}, 0, false, {"star*.png"}, true},
        {"bytes that are not UTF-8, as a folder", {"caf\xe9/**"}, 0, false,
            {"caf\xe9/\xff\xfe.png"}, true},
        {"bytes that are not UTF-8, as a name", {"\xff\xfe.*"}, 0, false, {"caf\xe9/\xff\xfe.png"},
            true},
        {"a path pattern is anchored at the searched folder", {"sub/*.png"}, 0, false,
            {"sub/anchored.png"}, true},
        {"unless it starts with **", {"**/sub/*.png"}, 0, false,
            {"sub/anchored.png", "deep/sub/anchored.png"}, true},
        // deep/tiny2.png goes too, and with it the small pictures' group.
        {"a star stays within one name", {"deep/*.png"}, 0, false, {"deep/keep.png"}, false},
        {"one byte", {"?op.png"}, 0, false, {"top.png"}, true},
        {"a folder by its name", {"deep"}, 0, false,
            {"deep/er/Thumbnails/t.png", "deep/cache/c.png", "deep/keep.png",
                "deep/sub/anchored.png"},
            false},
        {"the minimum size", {}, 1024, false, {}, false},
        {"both", {"**/Thumbnails/**", "**/cache/**"}, 1024, false,
            {"Thumbnails/t.png", "deep/er/Thumbnails/t.png", "cache/c.png", "deep/cache/c.png"},
            false},
    };
    for (const ScanCase& c : cases) {
        SCOPED_TRACE(c.what);
        FinderOptions options = scratch.options("search");
        options.excludes = c.excludes;
        options.minimumSize = c.minimumSize;
        options.anyName = c.anyName;
        const FinderResult result = Finder(options).run();

        Names big = kBigCopies;
        if (c.anyName)
            big.insert("notes.tmp");
        for (const QByteArray& gone : c.leftOut)
            big.erase(gone);
        std::set<Names> expected = {big};
        if (c.tinyGroup)
            expected.insert(kTinyCopies);
        EXPECT_EQ(groupsBelow(scratch.path("search"), result), expected);
        const std::int64_t small = c.minimumSize > 0 ? std::int64_t(kTinyCopies.size()) : 0;
        EXPECT_EQ(result.filesTooSmall, small);
        // Too small counts as not examined; a left-out name counts as nothing.
        EXPECT_EQ(result.filesNotExamined, small + (c.anyName ? 0 : 1));
        EXPECT_TRUE(result.unreadable.empty());
    }

    // "*" leaves out everything, folders and files.
    FinderOptions all = scratch.options("search");
    all.excludes = {"*"};
    const FinderResult none = Finder(all).run();
    EXPECT_TRUE(none.groups.empty());
    EXPECT_EQ(none.filesExamined, 0);
}

// A folder left out is not even opened: one that cannot be read is no
// problem of the search's when a pattern leaves it out.
TEST(SearchFiltersTest, AnExcludedFolderIsNotRead)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "every folder can be read by root";
    Scratch scratch;
    put(scratch.path("search/a.png"), bigPicture());
    put(scratch.path("search/deep/cache/b.png"), bigPicture());
    ASSERT_EQ(::chmod(scratch.path("search/deep/cache").constData(), 0), 0);
    FinderOptions options = scratch.options("search");
    EXPECT_EQ(Finder(options).run().unreadable.size(), 1U);
    options.excludes = {"**/cache/**"};
    EXPECT_TRUE(Finder(options).run().unreadable.empty());
    ::chmod(scratch.path("search/deep/cache").constData(), 0755);
}

TEST(SearchFiltersTest, SizesReadAsBytesOrWithTheirUnit)
{
    const std::vector<std::pair<QByteArray, std::optional<std::int64_t>>> cases = {
        {"0", 0},
        {"1234", 1234},
        {"200K", 200 * 1024},
        {"200k", 200 * 1024},
        {"5M", 5 * 1024 * 1024},
        {"1G", 1024LL * 1024 * 1024},
        {"8589934591G", 8589934591LL * 1024 * 1024 * 1024},
        {"8589934592G", std::nullopt}, // 2^63: beyond
        {"9223372036854775807", 9223372036854775807LL},
        {"9223372036854775808", std::nullopt},
        {"", std::nullopt},
        {"K", std::nullopt},
        {"-1", std::nullopt},
        {"+1", std::nullopt},
        {"1.5K", std::nullopt},
        {" 1K", std::nullopt},
        {"1KB", std::nullopt},
        {"1T", std::nullopt},
    };
    for (const auto& [text, bytes] : cases)
        EXPECT_EQ(finder::parseSize(text), bytes) << text.toStdString();
}

TEST(SearchFiltersTest, ProtectedByAnyNameAndByTheFolderItself)
{
    Scratch scratch;
    // Searched: downloads and a master folder; a second master outside the
    // search holds the other name of a downloaded file.
    put(scratch.path("search/dl/x.png"), bigPicture());
    put(scratch.path("search/dl/y.png"), bigPicture());
    put(scratch.path("search/master/x.png"), bigPicture());
    put(scratch.path("search/master/t1.png"), tinyPicture());
    put(scratch.path("search/master/t2.png"), tinyPicture());
    put(scratch.path("search/dl/u1.png"), otherTinyPicture());
    put(scratch.path("search/dl/u2.png"), otherTinyPicture());
    makeFolders(scratch.path("outside/"));
    ASSERT_EQ(::link(scratch.path("search/dl/y.png").constData(),
                  scratch.path("outside/y-link.png").constData()),
        0);
    // Both names in the search: the scan lists the first, dl/z.png.
    put(scratch.path("search/dl/z.png"), bigPicture());
    ASSERT_EQ(::link(scratch.path("search/dl/z.png").constData(),
                  scratch.path("search/master/z.png").constData()),
        0);
    // The master folder named through a link.
    ASSERT_EQ(
        ::symlink(scratch.path("search/master").constData(), scratch.path("alias").constData()), 0);

    FinderOptions options = scratch.options("search");
    options.protectedFolders = {scratch.path("alias"), scratch.path("outside")};
    const FinderResult result = Finder(options).run();
    std::map<QByteArray, bool> protectedOf;
    const QByteArray folder = scratch.path("search") + '/';
    for (const DuplicateGroup& group : result.groups)
        for (const FoundFile& file : group.files)
            protectedOf[file.path.mid(folder.size())] = file.isProtected;
    const std::map<QByteArray, bool> expected = {
        {"dl/x.png", false},
        {"dl/y.png", true}, // its other name is in outside/
        {"dl/z.png", true}, // its other name is in master/
        {"master/x.png", true},
        // A group whose files are all protected is still reported.
        {"master/t1.png", true},
        {"master/t2.png", true},
        {"dl/u1.png", false},
        {"dl/u2.png", false},
    };
    EXPECT_EQ(protectedOf, expected);

    // Without protected folders nothing is.
    options.protectedFolders.clear();
    for (const DuplicateGroup& group : Finder(options).run().groups)
        for (const FoundFile& file : group.files)
            EXPECT_FALSE(file.isProtected) << file.path.toStdString();
}

// The judged flags of a result's groups, by path below folder: one map per group.
std::set<std::map<QByteArray, bool>> judgedGroups(
    const QByteArray& folder, const FinderResult& result)
{
    std::set<std::map<QByteArray, bool>> groups;
    for (const DuplicateGroup& group : result.groups) {
        std::map<QByteArray, bool> files;
        for (const FoundFile& file : group.files)
            files[file.path.mid(folder.size() + 1)] = file.ignored;
        groups.insert(files);
    }
    return groups;
}

std::vector<const FoundFile*> filesOf(const DuplicateGroup& group)
{
    std::vector<const FoundFile*> files;
    for (const FoundFile& file : group.files)
        files.push_back(&file);
    return files;
}

TEST(SearchFiltersTest, IgnoredGroupStaysIgnoredAcrossARenameUntilANewFileJoins)
{
    Scratch scratch;
    put(scratch.path("search/a.png"), bigPicture());
    put(scratch.path("search/b.png"), bigPicture());
    put(scratch.path("search/u1.png"), tinyPicture());
    put(scratch.path("search/u2.png"), tinyPicture());
    FinderOptions options = scratch.options("search");
    options.useIgnoreList = true;
    const QByteArray folder = scratch.path("search");

    FinderResult first = Finder(options).run();
    ASSERT_EQ(first.groups.size(), 2U);
    const DuplicateGroup& big = first.groups.front().files.front().path.endsWith("a.png")
        ? first.groups.front()
        : first.groups.back();
    finder::IgnoreList list = finder::IgnoreList::load(options.ignoreListPath);
    ASSERT_EQ(list.add(filesOf(big)), QString());
    ASSERT_EQ(list.save(options.ignoreListPath), QString());

    using Judged = std::set<std::map<QByteArray, bool>>;
    const Judged tinyOnly = {{{"u1.png", false}, {"u2.png", false}}};
    struct Step {
        const char* what;
        std::function<void()> change;
        bool show;
        Judged expected;
        std::int64_t ignoredGroups;
    };
    const std::vector<Step> steps = {
        {"a new search", [] {}, false, tinyOnly, 1},
        {"a file renamed and moved",
            [&] {
                makeFolders(scratch.path("search/moved/"));
                ASSERT_EQ(::rename(scratch.path("search/a.png").constData(),
                              scratch.path("search/moved/renamed.png").constData()),
                    0);
            },
            false, tinyOnly, 1},
        {"shown when asked", [] {}, true,
            {{{"moved/renamed.png", true}, {"b.png", true}},
                {{"u1.png", false}, {"u2.png", false}}},
            0},
        {"a new save of the picture joins: back, the judged files shown as judged",
            [&] { put(scratch.path("search/c.png"), bigPictureSaved("another save")); }, false,
            {{{"moved/renamed.png", true}, {"b.png", true}, {"c.png", false}},
                {{"u1.png", false}, {"u2.png", false}}},
            0},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.change();
        options.showIgnored = step.show;
        const FinderResult result = Finder(options).run();
        EXPECT_EQ(judgedGroups(folder, result), step.expected);
        EXPECT_EQ(result.groupsIgnored, step.ignoredGroups);
    }

    // A byte-equal copy joins too: the group stays back, and two of its
    // three equal copies are judged (which two, no content can tell).
    ASSERT_EQ(::unlink(scratch.path("search/c.png").constData()), 0);
    put(scratch.path("search/d.png"), bigPicture());
    options.showIgnored = false;
    const FinderResult copied = Finder(options).run();
    ASSERT_EQ(copied.groups.size(), 2U);
    int judged = 0;
    for (const FoundFile& file : copied.groups.front().files)
        judged += file.ignored ? 1 : 0;
    EXPECT_EQ(copied.groups.front().files.size(), 3U);
    EXPECT_EQ(judged, 2);

    // Forgotten: every group as before.
    ASSERT_EQ(finder::IgnoreList::forget(options.ignoreListPath), QString());
    options.showIgnored = false;
    EXPECT_EQ(Finder(options).run().groups.size(), 2U);
}

TEST(SearchFiltersTest, OneFileJudgedNotAMemberLeavesTheGroupAlone)
{
    Scratch scratch;
    // The same pixels in files of different bytes, so that each is itself.
    for (const char* name : {"p.png", "q.png", "r.png"})
        put(scratch.path("search/") + name, bigPictureSaved(name));
    FinderOptions options = scratch.options("search");
    options.useIgnoreList = true;
    const QByteArray folder = scratch.path("search");

    const FinderResult first = Finder(options).run();
    ASSERT_EQ(first.groups.size(), 1U);
    const std::vector<const FoundFile*> files = filesOf(first.groups.front());
    finder::IgnoreList list;
    ASSERT_EQ(list.add(files, files[2]), QString()); // r.png
    ASSERT_EQ(list.save(options.ignoreListPath), QString());
    ASSERT_EQ(finder::IgnoreList::load(options.ignoreListPath).size(), 1U);

    using Judged = std::set<std::map<QByteArray, bool>>;
    EXPECT_EQ(judgedGroups(folder, Finder(options).run()),
        (Judged{{{"p.png", false}, {"q.png", false}}}));
    put(scratch.path("search/s.png"), bigPictureSaved("s.png"));
    EXPECT_EQ(judgedGroups(folder, Finder(options).run()),
        (Judged{{{"p.png", false}, {"q.png", false}, {"r.png", true}, {"s.png", false}}}));
}

} // namespace
