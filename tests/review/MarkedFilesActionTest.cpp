// Acting on marked files with real files on disk: files that changed since
// the search are left alone with the reason, a failure halfway does not stop
// the rest, a move never overwrites and a full disk loses nothing.
#include "ReviewTestData.h"
#include "ScratchHome.h"
#include "TestFileSystem.h"

#include "review/MarkedFilesAction.h"
#include "review/ReviewModel.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <functional>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ReviewTestData;
using TestFileSystem::exists;
using TestFileSystem::readFile;
using TestFileSystem::writeFile;

namespace {

class MarkedFilesActionTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString path(const QString& name) const { return m_dir.path() + QLatin1Char('/') + name; }

    // A group of copies of the same bytes, named names; the first is the oldest.
    DuplicateGroup copies(const QStringList& names, const QByteArray& bytes = "pixels")
    {
        DuplicateGroup group;
        qint64 second = 1'600'000'000;
        for (const QString& name : names) {
            QDir().mkpath(QFileInfo(path(name)).absolutePath());
            writeFile(path(name), bytes);
            const struct timespec times[2] = {{second, 0}, {second, 0}};
            ::utimensat(AT_FDCWD, QFile::encodeName(path(name)).constData(), times, 0);
            ++second;
            group.files.push_back(foundOnDisk(path(name)));
        }
        return group;
    }

    FinderResult result(const std::vector<DuplicateGroup>& groups) const
    {
        FinderResult r;
        r.folders = {QFile::encodeName(m_dir.path())};
        r.groups = groups;
        return r;
    }

    // What the real trash (of this program's scratch home) holds from m_dir.
    QStringList trashed() const { return ScratchHome::trashedFrom(m_dir.path()); }

    QTemporaryDir m_dir;
};

struct ChangeCase {
    const char* name;
    // Changes the marked copy (or the one that stays) after the search.
    std::function<void(const QString& marked, const QString& kept)> change;
    const char* reason;
};

class ChangedSinceSearchTest : public MarkedFilesActionTest,
                               public ::testing::WithParamInterface<ChangeCase> { };

TEST_P(ChangedSinceSearchTest, IsLeftAloneWithItsReason)
{
    const ChangeCase& c = GetParam();
    ReviewModel model(result({copies({"keep.png", "copy.png"}), copies({"x.png", "y.png"}, "xy")}));
    model.applyRule(MarkingRule::KeepOldest);
    c.change(path("copy.png"), path("keep.png"));

    MarkedFilesAction action(model, MarkedFilesAction::Kind::Trash, QString());
    ASSERT_EQ(action.total(), 2);
    action.runToEnd();

    // The unchanged group was acted on; the changed one not at all.
    EXPECT_EQ(trashed(), QStringList{path("y.png")});
    ASSERT_EQ(action.notDone().size(), size_t(1));
    EXPECT_EQ(action.notDone()[0].path, QStringLiteral("copy.png"));
    EXPECT_TRUE(action.notDone()[0].skipped);
    EXPECT_TRUE(action.notDone()[0].reason.contains(QLatin1String(c.reason)))
        << action.notDone()[0].reason.toStdString();
    EXPECT_TRUE(action.summaryText().contains(QStringLiteral("1 file left alone")))
        << action.summaryText().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Changes, ChangedSinceSearchTest,
    ::testing::Values(
        ChangeCase{"removed", [](const QString& m, const QString&) { QFile::remove(m); },
            "removed since the search"},
        ChangeCase{"replaced_by_a_link",
            [](const QString& m, const QString& k) {
                QFile::remove(m);
                ASSERT_TRUE(QFile::link(k, m));
            },
            "replaced by a link"},
        ChangeCase{"replaced_by_another_file",
            [](const QString& m, const QString&) {
                // Made while the old one still exists, so it cannot reuse its inode.
                writeFile(m + QStringLiteral(".tmp"), "pixels");
                ASSERT_EQ(::rename(QFile::encodeName(m + QStringLiteral(".tmp")).constData(),
                              QFile::encodeName(m).constData()),
                    0);
            },
            "replaced by another file"},
        ChangeCase{"grew",
            [](const QString& m, const QString&) { writeFile(m, "pixels and more"); },
            "size changed"},
        ChangeCase{"rewritten_at_the_same_size",
            [](const QString& m, const QString&) { writeFile(m, "PIXELS"); },
            "changed since the search"},
        ChangeCase{"permissions_changed",
            [](const QString& m, const QString&) {
                ASSERT_EQ(::chmod(QFile::encodeName(m).constData(), 0600), 0);
            },
            "changed since the search"},
        ChangeCase{"copy_that_stays_removed",
            [](const QString&, const QString& k) { QFile::remove(k); }, "the copy that stays"},
        ChangeCase{"copy_that_stays_replaced_by_a_link",
            [](const QString&, const QString& k) {
                const QString elsewhere = k + QStringLiteral(".moved");
                ASSERT_TRUE(QFile::rename(k, elsewhere));
                ASSERT_TRUE(QFile::link(elsewhere, k));
            },
            "the copy that stays"}),
    [](const ::testing::TestParamInfo<ChangeCase>& info) { return std::string(info.param.name); });

struct NothingDoneCase {
    const char* name;
    MarkedFilesAction::Kind kind;
    const char* summary;
};

class NothingDoneTest : public MarkedFilesActionTest,
                        public ::testing::WithParamInterface<NothingDoneCase> { };

// When every marked file was left alone, the report says nothing was done
// and speaks of no space (no "0 files (0 bytes)", no emptying of the trash).
TEST_P(NothingDoneTest, ReportSaysNothingWasDone)
{
    const NothingDoneCase& c = GetParam();
    ReviewModel model(result({copies({"keep.png", "copy.png"})}));
    model.applyRule(MarkingRule::KeepOldest);
    ASSERT_TRUE(QDir().mkpath(path("moved")));
    QFile::remove(path("copy.png"));
    MarkedFilesAction action(model, c.kind, path("moved"));
    action.runToEnd();
    ASSERT_TRUE(action.actedIds().empty());
    EXPECT_EQ(action.summaryText(),
        QLatin1String(c.summary)
            + QStringLiteral("\n1 file left alone because of changes since the search."));
}

INSTANTIATE_TEST_SUITE_P(Kinds, NothingDoneTest,
    ::testing::Values(
        NothingDoneCase{"trash", MarkedFilesAction::Kind::Trash, "No file went to the trash."},
        NothingDoneCase{"delete", MarkedFilesAction::Kind::Delete, "No file was deleted."},
        NothingDoneCase{"move", MarkedFilesAction::Kind::Move, "No file was moved."}),
    [](const ::testing::TestParamInfo<NothingDoneCase>& info) {
        return std::string(info.param.name);
    });

TEST_F(MarkedFilesActionTest, KeepOldestThenTrashLeavesExactlyOneCopyPerGroup)
{
    ReviewModel model(result(
        {copies({"a/1.png", "b/1.png", "c/1.png"}, "one"), copies({"a/2.png", "b/2.bmp"}, "two")}));
    model.applyRule(MarkingRule::KeepOldest);
    MarkedFilesAction action(model, MarkedFilesAction::Kind::Trash, QString());
    EXPECT_EQ(action.total(), 3);
    EXPECT_EQ(action.totalBytes(), 3 + 3 + 3);
    while (!action.finished())
        action.step();
    EXPECT_EQ(action.position(), 3);
    EXPECT_TRUE(action.notDone().empty());
    EXPECT_TRUE(exists(path("a/1.png")));
    EXPECT_TRUE(exists(path("a/2.png")));
    for (const char* gone : {"b/1.png", "c/1.png", "b/2.bmp"})
        EXPECT_FALSE(exists(path(QLatin1String(gone)))) << gone;
    EXPECT_EQ(trashed(), (QStringList{path("b/1.png"), path("b/2.bmp"), path("c/1.png")}));
    EXPECT_EQ(action.summaryText(),
        QStringLiteral(
            "3 files (9 bytes) went to the trash; emptying the trash frees that space."));

    model.forgetFiles(action.actedIds());
    EXPECT_EQ(model.groupCount(), 0);
}

TEST_F(MarkedFilesActionTest, DeleteCountsOnlyTheSpaceNoOtherNameHolds)
{
    ReviewModel model(result({copies({"a.png", "b.png", "c.png"}, "0123456789")}));
    // c has a second name outside the review: deleting c frees nothing.
    ASSERT_EQ(::link(QFile::encodeName(path("c.png")).constData(),
                  QFile::encodeName(path("c-link.png")).constData()),
        0);
    FinderResult r = model.currentResult();
    r.groups[0].files[2] = foundOnDisk(path("c.png")); // the link changed its change time
    ReviewModel linked(r);
    linked.applyRule(MarkingRule::KeepOldest);
    MarkedFilesAction action(linked, MarkedFilesAction::Kind::Delete, QString());
    action.runToEnd();
    EXPECT_EQ(action.actedIds().size(), size_t(2));
    EXPECT_EQ(action.freedBytes(), 10);
    EXPECT_EQ(action.summaryText(), QStringLiteral("2 files deleted; 10 bytes freed."));
    EXPECT_TRUE(exists(path("c-link.png")));
}

TEST_F(MarkedFilesActionTest, AFailureHalfwayIsListedAndTheRestGoesOn)
{
    ReviewModel model(result({copies({"open/a.png", "open/b.png"}, "aa"),
        copies({"open/c.png", "locked/d.png", "locked/e.png"}, "ccc"),
        copies({"open/f.png", "open/g.png"}, "ffff")}));
    model.applyRule(MarkingRule::KeepOldest);
    TestFileSystem::LockedFolder locked(path("locked"));
    if (!locked.active())
        GTEST_SKIP() << "a folder that refuses removal could not be arranged";
    MarkedFilesAction action(model, MarkedFilesAction::Kind::Delete, QString());
    action.runToEnd();

    EXPECT_FALSE(exists(path("open/b.png")));
    EXPECT_FALSE(exists(path("open/g.png")));
    EXPECT_TRUE(exists(path("locked/d.png")));
    EXPECT_TRUE(exists(path("locked/e.png")));
    ASSERT_EQ(action.notDone().size(), size_t(2));
    for (const MarkedFilesAction::NotDone& n : action.notDone()) {
        EXPECT_FALSE(n.skipped);
        EXPECT_FALSE(n.reason.isEmpty());
    }
    EXPECT_EQ(action.notDone()[0].path, QStringLiteral("locked/d.png"));
    EXPECT_EQ(action.summaryText(),
        QStringLiteral("2 files deleted; 6 bytes freed.\n2 files could not be done."));

    model.forgetFiles(action.actedIds());
    ASSERT_EQ(model.groupCount(), 1); // the group whose copies are still there
    EXPECT_EQ(model.group(0).files.size(), size_t(3));
}

TEST_F(MarkedFilesActionTest, AMoveNeverOverwritesAndSkipsFilesAlreadyThere)
{
    ReviewModel model(result({copies({"x/a.png", "y/a.png", "target/b.png"}, "same")}));
    QDir().mkpath(path("target"));
    writeFile(path("target/a.png"), "someone else's");
    model.applyRule(MarkingRule::KeepOldest); // keeps x/a.png
    MarkedFilesAction action(model, MarkedFilesAction::Kind::Move, path("target"));
    action.runToEnd();
    EXPECT_TRUE(action.actedIds().empty());
    EXPECT_EQ(readFile(path("target/a.png")), QByteArray("someone else's"));
    EXPECT_EQ(readFile(path("y/a.png")), QByteArray("same"));
    ASSERT_EQ(action.notDone().size(), size_t(2));
    EXPECT_TRUE(action.notDone()[0].reason.contains(QStringLiteral("already in")));
    EXPECT_FALSE(action.notDone()[0].skipped);
    EXPECT_TRUE(action.notDone()[1].reason.contains(QStringLiteral("in that folder already")));
    EXPECT_TRUE(action.notDone()[1].skipped);
}

// A file system with room for a few kilobytes only.
class SmallFileSystem {
public:
    explicit SmallFileSystem(const QString& point)
        : m_point(QFile::encodeName(point))
    {
        QDir().mkpath(point);
        m_mounted = ::mount("corvane-small", m_point.constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                        "size=16k,mode=0755")
            == 0;
    }
    ~SmallFileSystem()
    {
        if (m_mounted)
            ::umount2(m_point.constData(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }

private:
    QByteArray m_point;
    bool m_mounted = false;
};

TEST_F(MarkedFilesActionTest, AMoveOntoAFullDiskLosesNothing)
{
    const QByteArray big(256 * 1024, 'p');
    ReviewModel model(result(
        {copies({"a/small.png", "b/small.png"}, "tiny"), copies({"a/big.png", "b/big.png"}, big)}));
    SmallFileSystem full(path("full"));
    if (!full.mounted())
        GTEST_SKIP() << "no small file system could be mounted (needs root)";
    model.applyRule(MarkingRule::KeepOldest);
    MarkedFilesAction action(model, MarkedFilesAction::Kind::Move, path("full"));
    action.runToEnd();

    EXPECT_EQ(readFile(path("full/small.png")), QByteArray("tiny"));
    ASSERT_EQ(action.notDone().size(), size_t(1));
    EXPECT_EQ(action.notDone()[0].path, QStringLiteral("b/big.png"));
    EXPECT_FALSE(action.notDone()[0].skipped);
    EXPECT_EQ(readFile(path("b/big.png")), big);
    EXPECT_EQ(TestFileSystem::entries(path("full")), QStringList{QStringLiteral("small.png")});
}

TEST_F(MarkedFilesActionTest, ANameThatIsNotUtf8IsNeverActedOnUnderAnotherName)
{
    const QByteArray folder = QFile::encodeName(m_dir.path());
    const QByteArray odd = folder + "/odd\xff.png";
    writeFile(path("keep.png"), "px");

    FILE* f = ::fopen(odd.constData(), "w");
    ASSERT_NE(f, nullptr);
    ::fputs("px", f);
    ::fclose(f);
    // The name Qt would make of it exists too: it must not be touched.
    writeFile(QFile::decodeName(odd), "other");
    DuplicateGroup group;
    group.files = {foundOnDisk(path("keep.png"))};
    FoundFile oddFile;
    oddFile.path = odd;
    oddFile.identity = identityOf(odd);
    group.files.push_back(oddFile);
    ReviewModel model(result({group}));
    ASSERT_TRUE(model.setMarked({0, 1}, true));
    MarkedFilesAction action(model, MarkedFilesAction::Kind::Delete, QString());
    action.runToEnd();
    EXPECT_TRUE(action.actedIds().empty());
    ASSERT_EQ(action.notDone().size(), size_t(1));
    EXPECT_TRUE(action.notDone()[0].reason.contains(QStringLiteral("UTF-8")));
    EXPECT_EQ(::access(odd.constData(), F_OK), 0);
    EXPECT_EQ(readFile(QFile::decodeName(odd)), QByteArray("other"));
}

TEST(MarkedFilesActionTextTest, ConfirmationNamesCountSizeAndPlace)
{
    using Kind = MarkedFilesAction::Kind;
    EXPECT_EQ(MarkedFilesAction::confirmationText(Kind::Trash, 3, 2'400'000, QString()),
        QStringLiteral("Move 3 files (2.4 MB) to the trash?"));
    EXPECT_EQ(MarkedFilesAction::confirmationText(Kind::Delete, 1, 999, QString()),
        QStringLiteral("Delete 1 file (999 bytes) permanently? This cannot be undone."));
    EXPECT_EQ(MarkedFilesAction::confirmationText(Kind::Move, 2, 1000, QStringLiteral("/x y")),
        QStringLiteral("Move 2 files (1.0 kB) to /x y?"));
}

} // namespace

// The copy that stays is looked at again before every file: when another
// program takes it away halfway, the rest of its group stays where it is.
struct KeeperLeavesCase {
    const char* name;
    MarkedFilesAction::Kind kind;
    int keepers; // unmarked copies; only the first one goes away
    int expectActed; // of 12 marked copies, 4 of them acted on before it goes
};

class KeeperLeavesHalfwayTest : public MarkedFilesActionTest,
                                public ::testing::WithParamInterface<KeeperLeavesCase> { };

TEST_P(KeeperLeavesHalfwayTest, TheRestOfTheGroupIsLeftAlone)
{
    const KeeperLeavesCase& c = GetParam();
    QStringList names;
    for (int i = 0; i < c.keepers; ++i)
        names << QStringLiteral("keep%1.png").arg(i);
    for (int i = 0; i < 12; ++i)
        names << QStringLiteral("copy%1.png").arg(i, 2, 10, QLatin1Char('0'));
    ReviewModel model(result({copies(names)}));
    model.applyRule(MarkingRule::KeepOldest);
    const ReviewGroup& group = model.group(0);
    for (int f = 0; f < int(group.files.size()); ++f) {
        if (group.files[size_t(f)].shownPath.startsWith(QLatin1String("keep")))
            model.setMarked({0, f}, false);
    }
    MarkedFilesAction action(model, c.kind, QString());
    ASSERT_EQ(action.total(), 12);
    for (int i = 0; i < 4; ++i)
        action.step();
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("elsewhere"))));
    ASSERT_TRUE(QFile::rename(path(QStringLiteral("keep0.png")), path("elsewhere/keep0.png")));
    action.runToEnd();

    EXPECT_EQ(int(action.actedIds().size()), c.expectActed);
    int left = 0;
    for (int i = 0; i < 12; ++i)
        left += exists(path(QStringLiteral("copy%1.png").arg(i, 2, 10, QLatin1Char('0')))) ? 1 : 0;
    EXPECT_EQ(left, 12 - c.expectActed);
    for (const MarkedFilesAction::NotDone& n : action.notDone()) {
        EXPECT_TRUE(n.skipped);
        EXPECT_EQ(
            n.reason, QStringLiteral("skipped: the copy that stays changed since the search"));
    }
}

INSTANTIATE_TEST_SUITE_P(Keepers, KeeperLeavesHalfwayTest,
    ::testing::Values(
        KeeperLeavesCase{"delete_one_kept_copy", MarkedFilesAction::Kind::Delete, 1, 4},
        KeeperLeavesCase{"trash_one_kept_copy", MarkedFilesAction::Kind::Trash, 1, 4},
        KeeperLeavesCase{
            "delete_another_kept_copy_still_there", MarkedFilesAction::Kind::Delete, 2, 12}),
    [](const auto& info) { return std::string(info.param.name); });
