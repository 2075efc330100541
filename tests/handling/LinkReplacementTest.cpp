// Replacing a byte-identical copy with a link or clone of the copy that
// stays, and putting it back, on the real file system: only the very same
// bytes are replaced, a file saved over halfway is never lost, a taken name is
// never written over, a refusal gives the name back, and Put back gives the
// name a file of its own with its old bytes, mode and times.
#include "TestFileSystem.h"

#include "SaveOverWhenOpened.h"
#include "handling/FileActions.h"
#include "handling/LinkReplacement.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using TestFileSystem::readFile;
using TestFileSystem::writeFile;
using Method = LinkReplacement::Method;
using Result = LinkReplacement::Result;

namespace {

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

FileIdentity who(const QString& path)
{
    struct stat st { };
    EXPECT_EQ(::lstat(native(path).constData(), &st), 0) << path.toStdString();
    return identityOf(st);
}

void setTimes(const QString& path, time_t seconds)
{
    const struct timespec times[2] = {{seconds - 100, 0}, {seconds, 0}};
    ::utimensat(AT_FDCWD, native(path).constData(), times, AT_SYMLINK_NOFOLLOW);
}

// Names Corvane made for itself and left behind.
QStringList leftovers(const QString& folder)
{
    QStringList found;
    for (const QString& name : TestFileSystem::entries(folder))
        if (name.startsWith(QStringLiteral(".corvane-")))
            found << name;
    return found;
}

class LinkReplacementTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString path(const QString& name) const { return m_dir.path() + QLatin1Char('/') + name; }

    // keep.png and copy.png; copy.png is younger and has its own mode.
    void makePair(const QByteArray& kept, const QByteArray& copy)
    {
        writeFile(path("keep.png"), kept);
        writeFile(path("copy.png"), copy);
        ::chmod(native(path("keep.png")).constData(), 0644);
        ::chmod(native(path("copy.png")).constData(), 0640);
        setTimes(path("keep.png"), 1'600'000'000);
        setTimes(path("copy.png"), 1'600'000'500);
    }

    LinkReplacement::Request request(Method method = Method::HardLink) const
    {
        LinkReplacement::Request r;
        r.path = native(path("copy.png"));
        r.expected = who(path("copy.png"));
        r.kept = native(path("keep.png"));
        r.keptExpected = who(path("keep.png"));
        r.method = method;
        r.hardLinkAllowed = method == Method::HardLink;
        return r;
    }

    QTemporaryDir m_dir;
};

struct ReplaceCase {
    const char* name;
    QByteArray copyBytes;
    // What happens between the search (the request) and the action.
    std::function<void(const QString& copy, const QString& kept)> meanwhile;
    Result result;
    const char* reason; // part of the reason; "" when done
};

class ReplaceCases : public LinkReplacementTest,
                     public ::testing::WithParamInterface<ReplaceCase> { };

TEST_P(ReplaceCases, OnlyTheVeryBytesOfTheCopyThatStaysAreReplaced)
{
    const ReplaceCase& c = GetParam();
    makePair("PNG bytes of the picture", c.copyBytes);
    const LinkReplacement::Request r = request();
    if (c.meanwhile)
        c.meanwhile(path("copy.png"), path("keep.png"));
    const QByteArray copyBefore = readFile(path("copy.png"));
    const QByteArray keptBefore = readFile(path("keep.png"));

    const LinkReplacement::Outcome out = LinkReplacement::replace(r);

    EXPECT_EQ(out.result, c.result) << out.reason.toStdString();
    EXPECT_TRUE(out.reason.contains(QLatin1String(c.reason))) << out.reason.toStdString();
    EXPECT_EQ(readFile(path("copy.png")), copyBefore);
    EXPECT_EQ(readFile(path("keep.png")), keptBefore);
    EXPECT_TRUE(leftovers(m_dir.path()).isEmpty())
        << leftovers(m_dir.path()).join(' ').toStdString();
    const bool oneFile = who(path("copy.png")).inode == who(path("keep.png")).inode;
    EXPECT_EQ(oneFile, c.result == Result::Done);
    if (c.result == Result::Done) {
        EXPECT_TRUE(out.freed);
        EXPECT_EQ(out.keptNow, who(path("keep.png")));
        EXPECT_EQ(out.keptNow.links, 2u);
    }
}

const auto rewrite = [](const QString& file) {
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.write("Other");
};

const auto saveOver = [](const QString& file, const QByteArray& bytes) {
    writeFile(file + QStringLiteral(".new"), bytes);
    ASSERT_EQ(
        ::rename(native(file + QStringLiteral(".new")).constData(), native(file).constData()), 0);
};

INSTANTIATE_TEST_SUITE_P(LinkReplacement, ReplaceCases,
    ::testing::Values(
        ReplaceCase{"ByteIdentical", "PNG bytes of the picture", nullptr, Result::Done, ""},
        // The same pixels with other chunks: the bytes differ.
        ReplaceCase{"OtherBytes", "PNG bytes of the picture, tEXt", nullptr, Result::Skipped,
            "bytes differ"},
        ReplaceCase{"SameSizeOtherBytes", "PNG bytes of the pictura", nullptr, Result::Skipped,
            "bytes differ"},
        ReplaceCase{"CopyRewrittenSinceTheSearch", "PNG bytes of the picture",
            [](const QString& copy, const QString&) { rewrite(copy); }, Result::Skipped,
            "changed since the search"},
        ReplaceCase{"CopySavedOverSinceTheSearch", "PNG bytes of the picture",
            [](const QString& copy, const QString&) { saveOver(copy, "PNG bytes of the picture"); },
            Result::Skipped, "replaced by another file"},
        ReplaceCase{"KeptSavedOverSinceTheSearch", "PNG bytes of the picture",
            [](const QString&, const QString& kept) { saveOver(kept, "PNG bytes of the picture"); },
            Result::Skipped, "the copy that stays was replaced"}),
    [](const ::testing::TestParamInfo<ReplaceCase>& info) { return std::string(info.param.name); });

struct MidActionCase {
    const char* name;
    const char* savedOver; // the file another program saves over when Corvane opens it
    const char* reason;
};

class SavedOverMidAction : public LinkReplacementTest,
                           public ::testing::WithParamInterface<MidActionCase> { };

// Another program saves over the marked file or the copy that stays right
// when Corvane opens it to compare the bytes: Corvane holds the old file,
// the name already holds the new one. Nothing is lost, the file is skipped.
TEST_P(SavedOverMidAction, NothingIsLostAndTheFileIsSkipped)
{
    const MidActionCase& c = GetParam();
    makePair("old bytes", "old bytes");
    const LinkReplacement::Request r = request();
    writeFile(path("saved.tmp"), "the edit saved meanwhile");
    SaveOverWhenOpened saver(path(c.savedOver), path("saved.tmp"));
    if (!saver.active())
        GTEST_SKIP() << saver.why().toStdString();

    const LinkReplacement::Outcome out = LinkReplacement::replace(r);

    ASSERT_TRUE(saver.savedOver());
    EXPECT_EQ(out.result, Result::Skipped) << out.reason.toStdString();
    EXPECT_TRUE(out.reason.contains(QLatin1String(c.reason))) << out.reason.toStdString();
    EXPECT_EQ(readFile(path(c.savedOver)), "the edit saved meanwhile");
    const char* other
        = QLatin1String(c.savedOver) == QLatin1String("copy.png") ? "keep.png" : "copy.png";
    EXPECT_EQ(readFile(path(other)), "old bytes");
    EXPECT_NE(who(path("copy.png")).inode, who(path("keep.png")).inode);
    EXPECT_TRUE(leftovers(m_dir.path()).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(LinkReplacement, SavedOverMidAction,
    ::testing::Values(
        MidActionCase{"MarkedFile", "copy.png", "another file was saved under its name"},
        MidActionCase{
            "CopyThatStays", "keep.png", "the copy that stays was replaced during the action"}),
    [](const ::testing::TestParamInfo<MidActionCase>& info) {
        return std::string(info.param.name);
    });

// A program that grabs the name the instant it is free: Corvane's link or
// clone then fails on the taken name instead of writing over it, and the
// marked file keeps a name of its own that the reason gives.
TEST_F(LinkReplacementTest, ATakenNameIsNeverWrittenOver)
{
    int raced = 0;
    for (int round = 0; round < 200; ++round) {
        makePair("same bytes", "same bytes");
        const LinkReplacement::Request r = request();
        std::atomic<bool> stop{false};
        std::atomic<bool> grabbed{false};
        std::thread grabber([&] {
            while (!stop) {
                const int fd = ::open(r.path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
                if (fd >= 0) {
                    [[maybe_unused]] const ssize_t written = ::write(fd, "grabbed", 7);
                    ::close(fd);
                    grabbed = true;
                    return;
                }
            }
        });
        const LinkReplacement::Outcome out = LinkReplacement::replace(r);
        stop = true;
        grabber.join();
        if (out.result == Result::Done) {
            ASSERT_FALSE(grabbed);
            ASSERT_EQ(who(path("copy.png")).inode, who(path("keep.png")).inode);
        } else {
            ++raced;
            ASSERT_TRUE(grabbed) << out.reason.toStdString();
            ASSERT_EQ(readFile(path("copy.png")), "grabbed");
            // The marked file waits under the private name the reason gives.
            const QStringList aside = leftovers(m_dir.path());
            ASSERT_EQ(aside.size(), 1) << out.reason.toStdString();
            ASSERT_TRUE(out.reason.contains(aside.front())) << out.reason.toStdString();
            ASSERT_EQ(readFile(path(aside.front())), "same bytes");
            ::unlink(native(path(aside.front())).constData());
        }
        EXPECT_EQ(readFile(path("keep.png")), "same bytes");
        ::unlink(native(path("copy.png")).constData());
    }
    RecordProperty("RacesLost", raced);
}

// protected_hardlinks refuses a link to a file its user does not own and
// may not write: the name is given back to the marked file.
TEST_F(LinkReplacementTest, ARefusedHardLinkGivesTheNameBack)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    if (readFile(QStringLiteral("/proc/sys/fs/protected_hardlinks")).trimmed() != "1")
        GTEST_SKIP() << "protected hard links are off";
    makePair("same bytes", "same bytes");
    const uid_t nobody = 65534;
    ASSERT_EQ(::chown(native(m_dir.path()).constData(), nobody, nobody), 0);
    ASSERT_EQ(::chown(native(path("copy.png")).constData(), nobody, nobody), 0);
    const LinkReplacement::Request r = request();
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(nobody) != 0 || ::setuid(nobody) != 0)
            ::_exit(99);
        const LinkReplacement::Outcome out = LinkReplacement::replace(r);
        ::_exit(out.result == Result::Failed && out.reason.contains(QStringLiteral("refused"))
                ? 0
                : 1 + int(out.result));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(who(path("copy.png")).inode, r.expected.inode);
    EXPECT_EQ(readFile(path("copy.png")), "same bytes");
    EXPECT_TRUE(leftovers(m_dir.path()).isEmpty());
}

// Where the file system makes no clones, a clone is tried and the name is
// given back; a hard link instead only when the user agreed to hard links.
TEST_F(LinkReplacementTest, WithoutClonesAHardLinkOnlyWhenAllowed)
{
    makePair("same bytes", "same bytes");
    if (LinkReplacement::canClone(native(path("keep.png")), native(m_dir.path())))
        GTEST_SKIP() << "this file system makes clones";
    LinkReplacement::Request r = request(Method::Clone);
    r.hardLinkAllowed = false;
    const LinkReplacement::Outcome refused = LinkReplacement::replace(r);
    EXPECT_EQ(refused.result, Result::Failed);
    EXPECT_TRUE(refused.reason.contains(QStringLiteral("cannot make a clone")));
    EXPECT_EQ(who(path("copy.png")).inode, r.expected.inode);
    EXPECT_TRUE(leftovers(m_dir.path()).isEmpty());

    r = request(Method::Clone);
    r.hardLinkAllowed = true;
    const LinkReplacement::Outcome linked = LinkReplacement::replace(r);
    ASSERT_EQ(linked.result, Result::Done) << linked.reason.toStdString();
    EXPECT_EQ(linked.method, Method::HardLink);
    EXPECT_EQ(who(path("copy.png")).inode, who(path("keep.png")).inode);
}

LinkReplacement::Linked linkedFrom(
    const LinkReplacement::Request& r, const LinkReplacement::Outcome& out)
{
    return {r.path, out.method, out.placed, r.kept, out.keptNow, r.expected, out.accessedNs};
}

struct PutBackCase {
    const char* name;
    std::function<void(const QString& copy, const QString& kept)> meanwhile;
    const char* reason; // "" when the name gets its own file back
};

class PutBackCases : public LinkReplacementTest,
                     public ::testing::WithParamInterface<PutBackCase> { };

TEST_P(PutBackCases, GivesTheNameAFileOfItsOwnOrSaysWhyNot)
{
    const PutBackCase& c = GetParam();
    makePair("same bytes", "same bytes");
    const LinkReplacement::Request r = request();
    const LinkReplacement::Outcome out = LinkReplacement::replace(r);
    ASSERT_EQ(out.result, Result::Done) << out.reason.toStdString();
    if (c.meanwhile)
        c.meanwhile(path("copy.png"), path("keep.png"));
    const std::optional<FileIdentity> before
        = plainFileIdentity(native(path("copy.png")).constData());
    const QByteArray bytesBefore = before ? readFile(path("copy.png")) : QByteArray();

    const LinkReplacement::Restored back = LinkReplacement::putBack(linkedFrom(r, out));

    EXPECT_TRUE(back.reason.contains(QLatin1String(c.reason))) << back.reason.toStdString();
    EXPECT_TRUE(leftovers(m_dir.path()).isEmpty());
    if (*c.reason != '\0') {
        ASSERT_FALSE(back.reason.isEmpty());
        EXPECT_EQ(plainFileIdentity(native(path("copy.png")).constData()), before);
        if (before) {
            EXPECT_EQ(readFile(path("copy.png")), bytesBefore);
        }
        return;
    }
    ASSERT_TRUE(back.reason.isEmpty()) << back.reason.toStdString();
    const FileIdentity now = who(path("copy.png"));
    EXPECT_EQ(back.now, now);
    EXPECT_NE(now.inode, who(path("keep.png")).inode);
    EXPECT_EQ(now.links, 1u);
    EXPECT_EQ(now.mode & 07777, 0640u);
    EXPECT_EQ(now.modifiedNs, r.expected.modifiedNs);
    EXPECT_EQ(readFile(path("copy.png")), "same bytes");
    EXPECT_EQ(who(path("keep.png")).links, 1u);
    EXPECT_EQ(back.keptNow, who(path("keep.png")));
    // A file of its own: an edit of one leaves the other.
    rewrite(path("copy.png"));
    EXPECT_EQ(readFile(path("keep.png")), "same bytes");
}

INSTANTIATE_TEST_SUITE_P(LinkReplacement, PutBackCases,
    ::testing::Values(PutBackCase{"Unchanged", nullptr, ""},
        // Through either name of a hard link, the edit is the kept copy's.
        PutBackCase{"EditedThroughTheLink",
            [](const QString& copy, const QString&) { rewrite(copy); },
            "the copy that stays changed"},
        PutBackCase{"KeptSavedOver",
            [](const QString&, const QString& kept) { saveOver(kept, "same bytes"); },
            "the copy that stays changed"},
        PutBackCase{"AnotherFileAtItsPlace",
            [](const QString& copy, const QString&) { saveOver(copy, "a new picture"); },
            "another file now stands at its place"},
        PutBackCase{"NameRemoved",
            [](const QString& copy, const QString&) { ::unlink(native(copy).constData()); },
            "no longer there"}),
    [](const ::testing::TestParamInfo<PutBackCase>& info) { return std::string(info.param.name); });

// On a copy-on-write file system the name becomes a clone: a file of its
// own sharing the blocks, with its own mode and times; put back copies it.
TEST_F(LinkReplacementTest, ACloneWhereTheFileSystemMakesOne)
{
    TestFileSystem::OtherFileSystem cow(m_dir.path(), TestFileSystem::OtherFileSystem::CopyOnWrite);
    if (cow.path().isEmpty())
        GTEST_SKIP() << cow.why().toStdString();
    const QString kept = cow.path() + QStringLiteral("/keep.png");
    const QString copy = cow.path() + QStringLiteral("/copy.png");
    QByteArray bytes(300 * 1024, 'p');
    writeFile(kept, bytes);
    writeFile(copy, bytes);
    ::chmod(native(copy).constData(), 0600);
    setTimes(copy, 1'500'000'000);
    ASSERT_TRUE(LinkReplacement::canClone(native(kept), native(cow.path())));

    LinkReplacement::Request r;
    r.path = native(copy);
    r.expected = who(copy);
    r.kept = native(kept);
    r.keptExpected = who(kept);
    r.method = Method::Clone;
    const LinkReplacement::Outcome out = LinkReplacement::replace(r);
    ASSERT_EQ(out.result, Result::Done) << out.reason.toStdString();
    EXPECT_EQ(out.method, Method::Clone);
    EXPECT_TRUE(out.freed);
    const FileIdentity now = who(copy);
    EXPECT_NE(now.inode, who(kept).inode);
    EXPECT_EQ(now.mode & 07777, 0600u);
    EXPECT_EQ(now.modifiedNs, r.expected.modifiedNs);
    EXPECT_EQ(readFile(copy), bytes);
    EXPECT_EQ(out.keptNow, r.keptExpected) << "a clone leaves the copy that stays as it was";
    EXPECT_TRUE(leftovers(cow.path()).isEmpty());

    const LinkReplacement::Restored back = LinkReplacement::putBack(linkedFrom(r, out));
    ASSERT_TRUE(back.reason.isEmpty()) << back.reason.toStdString();
    EXPECT_NE(who(copy).inode, now.inode);
    EXPECT_EQ(who(copy).mode & 07777, 0600u);
    EXPECT_EQ(who(copy).modifiedNs, r.expected.modifiedNs);
    EXPECT_EQ(readFile(copy), bytes);
    EXPECT_TRUE(leftovers(cow.path()).isEmpty());
}

} // namespace
