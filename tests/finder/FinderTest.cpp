// The whole-folder search over the generated collection: every true group,
// no near miss, clear reasons for what cannot be read, and files that change
// or vanish while the search runs.
#include "FinderFixture.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace {

// Every true group, whole, and nothing else, whatever the number of decode threads.
class FinderThreadsTest : public FinderTest, public ::testing::WithParamInterface<int> { };

TEST_P(FinderThreadsTest, FindsEveryTrueGroupAndNoNearMiss)
{
    FinderOptions search = options();
    search.threads = GetParam();
    search.useCache = false;
    Finder finder(search);
    const FinderResult result = finder.run();
    const Found found = relativeTo(m_root, result);

    EXPECT_EQ(found.groups, s_collection.groups);
    for (const QByteArray& miss : s_collection.nearMisses)
        EXPECT_FALSE(found.grouped.count(miss)) << miss.toStdString() << " is in a group";
    for (const QByteArray& bad : s_collection.unreadable) {
        ASSERT_TRUE(found.unreadable.count(bad))
            << bad.toStdString() << " is not listed as unreadable";
        EXPECT_FALSE(found.unreadable.at(bad).isEmpty()) << bad.toStdString() << " has no reason";
    }
    for (const QByteArray& ignored : s_collection.ignored) {
        EXPECT_FALSE(found.grouped.count(ignored)) << ignored.toStdString();
        EXPECT_FALSE(found.unreadable.count(ignored)) << ignored.toStdString();
    }
    EXPECT_EQ(found.unreadable.size(), s_collection.unreadable.size());
    EXPECT_EQ(result.filesExamined, s_collection.examined);
    EXPECT_FALSE(result.cancelled);

    // The picture one pixel wider and the lonely one have dimensions of their
    // own: never decoded. The four files with the photo's JPEG bytes share a decode.
    EXPECT_GE(finder.stats().skippedUniqueSize, 2);
    EXPECT_GE(finder.stats().sharedDecodes, 3);
    EXPECT_LE(
        finder.stats().decoded + finder.stats().sharedDecodes + finder.stats().skippedUniqueSize,
        s_collection.examined);
}

TEST_P(FinderThreadsTest, TheWorkerTimelineAccountsForEveryTaskAndEverySecond)
{
    FinderOptions search = options();
    search.threads = GetParam();
    search.useCache = false;
    Finder finder(search);
    finder.run();
    const FinderStats& stats = finder.stats();
    std::map<QString, std::int64_t> tasks;
    for (const WorkSpread& spread : stats.spread) {
        tasks[spread.stage] += spread.tasks;
        ASSERT_EQ(spread.secondsRunning.size(), std::size_t(GetParam()) + 1)
            << spread.stage.toStdString();
        double total = 0;
        for (double seconds : spread.secondsRunning) {
            EXPECT_GE(seconds, 0);
            total += seconds;
        }
        // Every moment of the stage has one count of running tasks.
        EXPECT_NEAR(total, spread.seconds, 1e-6) << spread.stage.toStdString();
    }
    EXPECT_EQ(tasks[QStringLiteral("headers")], stats.headersRead);
    // Every decode and every file that took another's result was a task (a
    // file that could not be read is one too, counted in neither).
    EXPECT_GE(tasks[QStringLiteral("decoding")] + tasks[QStringLiteral("sizes")],
        stats.decoded + stats.sharedDecodes);
    EXPECT_GT(tasks[QStringLiteral("decoding")], 0);
}

INSTANTIATE_TEST_SUITE_P(Threads, FinderThreadsTest, ::testing::Values(1, 2, 5));

TEST_F(FinderTest, WithoutSubfoldersOnlyTheFolderItself)
{
    FinderOptions search = options(false);
    search.useCache = false;
    const Found found = relativeTo(m_root, Finder(search).run());
    std::set<PathSet> expected;
    for (const PathSet& group : s_collection.groups) {
        PathSet top;
        for (const QByteArray& member : group) {
            if (!member.contains('/'))
                top.insert(member);
        }
        if (top.size() > 1)
            expected.insert(top);
    }
    EXPECT_EQ(found.groups, expected);
}

TEST_F(FinderTest, GroupsAreInPathOrderAndLargestGroupsFirst)
{
    FinderOptions search = options();
    search.useCache = false;
    const FinderResult result = Finder(search).run();
    ASSERT_FALSE(result.groups.empty());
    std::int64_t previousTotal = std::numeric_limits<std::int64_t>::max();
    for (const DuplicateGroup& group : result.groups) {
        std::int64_t total = 0;
        for (std::size_t i = 0; i < group.files.size(); ++i) {
            total += group.files[i].identity.size;
            if (i > 0) {
                EXPECT_LT(group.files[i - 1].path, group.files[i].path);
            }
            EXPECT_FALSE(group.files[i].type.isEmpty());
        }
        EXPECT_LE(total, previousTotal);
        previousTotal = total;
        EXPECT_GT(group.width, 0u);
        EXPECT_GE(group.frames, 1u);
    }
}

TEST_F(FinderTest, SecondSearchOfAnUnchangedCollectionDecodesNothing)
{
    Finder first(options());
    const Found before = relativeTo(m_root, first.run());
    EXPECT_GT(first.stats().decoded, 0);
    EXPECT_TRUE(first.stats().cacheUsed);

    Finder second(options());
    const Found after = relativeTo(m_root, second.run());
    EXPECT_EQ(second.stats().decoded, 0);
    EXPECT_EQ(second.stats().headersRead, 0);
    EXPECT_EQ(second.stats().cacheHits, s_collection.examined);
    EXPECT_EQ(after.groups, s_collection.groups);
    EXPECT_EQ(after.unreadable, before.unreadable);
}

TEST_F(FinderTest, FilesChangedMomentsAgoAreNotCached)
{
    // Another write within the file system's clock tick could leave the same
    // size and times on other content: such files are read again next time.
    FinderOptions search = options();
    search.cacheSettleNs = 3'600'000'000'000; // an hour
    Finder(search).run();
    Finder second(search);
    const Found found = relativeTo(m_root, second.run());
    EXPECT_GT(second.stats().decoded, 0);
    EXPECT_EQ(second.stats().cacheHits, 0);
    EXPECT_EQ(found.groups, s_collection.groups);
}

TEST_F(FinderTest, ChangedFileOfTheSameSizeAndTimeIsReadAgain)
{
    Finder(options()).run();
    // One pixel of the bitmap changes in place; size and modification time stay.
    const QByteArray bmp = QFile::encodeName(path("photo.bmp"));
    struct stat before;
    ASSERT_EQ(stat(bmp.constData(), &before), 0);
    QFile file(path("photo.bmp"));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.seek(file.size() - 10));
    char byte = 0;
    ASSERT_TRUE(file.getChar(&byte));
    ASSERT_TRUE(file.seek(file.size() - 10));
    ASSERT_TRUE(file.putChar(char(byte ^ 0x40)));
    file.close();
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, bmp.constData(), times, 0), 0);

    Finder second(options());
    const Found found = relativeTo(m_root, second.run());
    EXPECT_FALSE(found.grouped.count("photo.bmp"));
    EXPECT_GE(second.stats().decoded, 1);
    std::set<PathSet> expected;
    for (PathSet group : s_collection.groups) {
        group.erase("photo.bmp");
        expected.insert(group);
    }
    EXPECT_EQ(found.groups, expected);
}

TEST_F(FinderTest, FilesReplacedOrRemovedDuringTheSearchAreReportedNotGrouped)
{
    FinderOptions search = options();
    search.useCache = false;
    Finder finder(search);
    bool listed = false;
    bool decoding = false;
    const FinderResult result = finder.run(nullptr, [&](const FinderProgress& progress) {
        // After the listing, before any header is read.
        if (progress.stage == FinderProgress::Stage::ReadingHeaders && !listed) {
            listed = true;
            QFile::remove(path("sub/photo.jpg"));
            QFile::remove(path("photo-copy.jpg"));
            QFile::copy(path("photo-q95.jpg"), path("photo-copy.jpg"));
        }
        // After the headers, before the pixels are read.
        if (progress.stage == FinderProgress::Stage::Decoding && !decoding) {
            decoding = true;
            QFile::copy(path("photo-pixel.png"), path("replacement.tmp"));
            ::rename(QFile::encodeName(path("replacement.tmp")).constData(),
                QFile::encodeName(path("photo.png")).constData());
        }
    });
    ASSERT_TRUE(listed);
    ASSERT_TRUE(decoding);
    const Found found = relativeTo(m_root, result);
    EXPECT_EQ(found.unreadable.count("sub/photo.jpg"), 1u);
    EXPECT_TRUE(found.unreadable.at("sub/photo.jpg").contains(QLatin1String("vanished")));
    for (const char* changed : {"photo-copy.jpg", "photo.png"}) {
        ASSERT_EQ(found.unreadable.count(changed), 1u) << changed;
        EXPECT_TRUE(found.unreadable.at(changed).contains(QLatin1String("changed"))) << changed;
        EXPECT_FALSE(found.grouped.count(changed)) << changed;
    }
    EXPECT_FALSE(found.grouped.count("sub/photo.jpg"));
}

TEST_F(FinderTest, StopFlagEndsTheSearchWithoutGroups)
{
    std::atomic<bool> stop{false};
    FinderOptions search = options();
    search.useCache = false;
    const FinderResult result = Finder(search).run(&stop, [&](const FinderProgress& progress) {
        if (progress.stage == FinderProgress::Stage::ReadingHeaders)
            stop = true;
    });
    EXPECT_TRUE(result.cancelled);
    EXPECT_TRUE(result.groups.empty());
}

TEST_F(FinderTest, ProgressCountsUpToItsTotal)
{
    FinderOptions search = options();
    search.useCache = false;
    std::map<FinderProgress::Stage, FinderProgress> last;
    Finder(search).run(nullptr, [&](const FinderProgress& progress) {
        const auto previous = last.find(progress.stage);
        if (previous != last.end()) {
            EXPECT_GE(progress.done, previous->second.done);
        }
        last[progress.stage] = progress;
    });
    ASSERT_TRUE(last.count(FinderProgress::Stage::Decoding));
    const FinderProgress decoding = last[FinderProgress::Stage::Decoding];
    EXPECT_EQ(decoding.done, decoding.total);
    // Every file's header, and then the pictures whose headers did not say their size.
    const FinderProgress sizes = last[FinderProgress::Stage::ReadingHeaders];
    EXPECT_GE(sizes.total, s_collection.examined);
    EXPECT_EQ(sizes.done, sizes.total);
    EXPECT_TRUE(last.count(FinderProgress::Stage::Finished));
}

} // namespace
