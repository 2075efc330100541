// The fingerprint cache in doubt: damaged, of another layout or program,
// holding entries that do not add up, written by other decoders, locked by
// another process or read-only. Each is rebuilt or bypassed, never trusted:
// the search still finds exactly the true groups.
#include "FinderFixture.h"

#include <sqlite3.h>

#include <QFileInfo>

#include <functional>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class CacheFaultTest : public FinderTest {
public:
    bool execute(const char* sql)
    {
        sqlite3* db = nullptr;
        const QByteArray name = QFile::encodeName(m_cachePath);
        bool ok = sqlite3_open(name.constData(), &db) == SQLITE_OK
            && sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
        sqlite3_close(db);
        return ok;
    }

    void overwrite(const QByteArray& bytes, bool truncate = true)
    {
        QFile file(m_cachePath);
        ASSERT_TRUE(file.open(truncate ? QIODevice::WriteOnly : QIODevice::ReadWrite));
        if (!truncate) {
            ASSERT_TRUE(file.seek(file.size() / 2));
        }
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    // A pixel digest that two or more cached files share.
    QByteArray groupedDigest()
    {
        sqlite3* db = nullptr;
        QByteArray digest;
        sqlite3_stmt* select = nullptr;
        if (sqlite3_open(QFile::encodeName(m_cachePath).constData(), &db) == SQLITE_OK
            && sqlite3_prepare_v2(db,
                   "SELECT digest FROM files WHERE kind = 2 GROUP BY digest HAVING count(*) > 1 "
                   "LIMIT 1",
                   -1, &select, nullptr)
                == SQLITE_OK
            && sqlite3_step(select) == SQLITE_ROW)
            digest = QByteArray(static_cast<const char*>(sqlite3_column_blob(select, 0)),
                sqlite3_column_bytes(select, 0));
        sqlite3_finalize(select);
        sqlite3_close(db);
        return digest;
    }

    // Searches and checks that exactly the true groups come out.
    FinderStats searchAndCheck()
    {
        Finder finder(options());
        const Found found = relativeTo(m_root, finder.run());
        EXPECT_EQ(found.groups, s_collection.groups);
        return finder.stats();
    }
};

struct Fault {
    const char* name;
    std::function<void(CacheFaultTest&)> damage;
};

class CacheFaultCases : public CacheFaultTest, public ::testing::WithParamInterface<Fault> { };

TEST_P(CacheFaultCases, IsNotTrustedAndTheNextSearchHasAWorkingCacheAgain)
{
    searchAndCheck();
    GetParam().damage(*this);
    if (HasFatalFailure())
        return;
    const FinderStats damaged = searchAndCheck();
    EXPECT_GT(damaged.decoded, 0) << "nothing was decoded after the cache was damaged";
    const FinderStats next = searchAndCheck();
    EXPECT_EQ(next.decoded, 0) << "the cache was not made anew";
    EXPECT_TRUE(next.cacheUsed);
}

INSTANTIATE_TEST_SUITE_P(Faults, CacheFaultCases,
    ::testing::Values(Fault{"NotADatabase",
                          [](CacheFaultTest& t) {
                              // Remove the write-ahead log too, so that nothing of the old file
                              // survives.
                              QFile::remove(t.m_cachePath + QStringLiteral("-wal"));
                              t.overwrite(QByteArray(8192, '\x5a'));
                          }},
        Fault{"DamagedPages",
            [](CacheFaultTest& t) {
                ASSERT_TRUE(t.execute("PRAGMA wal_checkpoint(TRUNCATE)"));
                t.overwrite(QByteArray(4096 * 3, '\xff'), false);
                // And the first page's header, so that SQLite cannot miss it.
                QFile file(t.m_cachePath);
                ASSERT_TRUE(file.open(QIODevice::ReadWrite));
                ASSERT_TRUE(file.seek(28));
                file.write(QByteArray(8, '\xff'));
            }},
        Fault{"OtherLayout",
            [](CacheFaultTest& t) {
                ASSERT_TRUE(t.execute("UPDATE meta SET value = 'Corvane fingerprint cache 0'"));
            }},
        Fault{"SomeoneElsesDatabase",
            [](CacheFaultTest& t) {
                ASSERT_TRUE(QFile::remove(t.m_cachePath));
                QFile::remove(t.m_cachePath + QStringLiteral("-wal"));
                QFile::remove(t.m_cachePath + QStringLiteral("-shm"));
                ASSERT_TRUE(
                    t.execute("CREATE TABLE photos(name TEXT); INSERT INTO photos VALUES('x')"));
            }},
        Fault{"EntriesThatDoNotAddUp",
            [](CacheFaultTest& t) {
                ASSERT_TRUE(
                    t.execute("UPDATE files SET digest = x'00', width = -1 WHERE kind = 2"));
            }},
        Fault{"FlippedByteInAGroupedDigest",
            [](CacheFaultTest& t) {
                // A page SQLite finds well-formed, with one digest of a true
                // pair changed: trusted, it would hide that pair for good.
                const QByteArray digest = t.groupedDigest();
                ASSERT_EQ(digest.size(), 32);
                ASSERT_TRUE(t.execute("PRAGMA wal_checkpoint(TRUNCATE)"));
                QFile file(t.m_cachePath);
                ASSERT_TRUE(file.open(QIODevice::ReadWrite));
                QByteArray bytes = file.readAll();
                const qsizetype at = bytes.indexOf(digest);
                ASSERT_GE(at, 0);
                bytes[at + 7] = char(bytes[at + 7] ^ 0x01);
                ASSERT_TRUE(file.seek(0));
                ASSERT_EQ(file.write(bytes), bytes.size());
                file.close();
                ASSERT_TRUE(t.execute("PRAGMA integrity_check"));
            }},
        Fault{"OtherDecoders",
            [](CacheFaultTest& t) {
                ASSERT_TRUE(t.execute("UPDATE versions SET version = 'old ' || version"));
            }}),
    [](const ::testing::TestParamInfo<Fault>& info) { return std::string(info.param.name); });

TEST_F(CacheFaultTest, LockedByAnotherProcessIsBypassedForWriting)
{
    searchAndCheck();
    ASSERT_TRUE(execute("DELETE FROM files"));
    // Another connection holds the write lock for the whole search.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(m_cachePath).constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    FinderOptions search = options();
    search.cacheBusyTimeoutMs = 100;
    Finder finder(search);
    const Found found = relativeTo(m_root, finder.run());
    EXPECT_EQ(found.groups, s_collection.groups);
    EXPECT_FALSE(finder.stats().cacheProblem.isEmpty());
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    // Unlocked again, the cache fills.
    searchAndCheck();
    EXPECT_EQ(searchAndCheck().decoded, 0);
}

TEST_F(CacheFaultTest, TwoSearchesAtOnceShareTheCache)
{
    FinderOptions search = options();
    FinderResult first;
    std::thread other([&] { first = Finder(search).run(); });
    const Found second = relativeTo(m_root, Finder(search).run());
    other.join();
    EXPECT_EQ(relativeTo(m_root, first).groups, s_collection.groups);
    EXPECT_EQ(second.groups, s_collection.groups);
    EXPECT_EQ(searchAndCheck().decoded, 0);
}

TEST_F(CacheFaultTest, ReadOnlyCacheIsBypassed)
{
    if (geteuid() == 0)
        GTEST_SKIP()
            << "root writes read-only files; the command line's test covers a read-only mount";
    searchAndCheck();
    ASSERT_TRUE(execute("PRAGMA wal_checkpoint(TRUNCATE)"));
    const QByteArray folder = QFile::encodeName(QFileInfo(m_cachePath).absolutePath());
    ASSERT_EQ(chmod(QFile::encodeName(m_cachePath).constData(), 0444), 0);
    ASSERT_EQ(chmod(folder.constData(), 0555), 0);
    Finder finder(options());
    const Found found = relativeTo(m_root, finder.run());
    chmod(folder.constData(), 0755);
    EXPECT_EQ(found.groups, s_collection.groups);
    EXPECT_FALSE(finder.stats().cacheUsed);
    EXPECT_FALSE(finder.stats().cacheProblem.isEmpty());
}

TEST_F(CacheFaultTest, UnwritableCacheFolderIsBypassed)
{
    // A file where the cache folder should be.
    QFile blocker(m_work.filePath(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    FinderOptions search = options();
    search.cachePath = blocker.fileName() + QStringLiteral("/fingerprints.sqlite");
    Finder finder(search);
    const Found found = relativeTo(m_root, finder.run());
    EXPECT_EQ(found.groups, s_collection.groups);
    EXPECT_FALSE(finder.stats().cacheUsed);
    EXPECT_FALSE(finder.stats().cacheProblem.isEmpty());
}

} // namespace
