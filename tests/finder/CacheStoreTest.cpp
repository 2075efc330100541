// The cache file as one store under both of its tables, on a real SQLite
// file: a row damaged in any table is ignored and made again while the
// others still answer; a changed part of the version key makes exactly the
// rows it concerns be made again; a locked or unwritable file is said once
// and answers nothing wrong; and a whole search opens one connection.
#include "FinderFixture.h"

#include "finder/CacheStore.h"
#include "finder/FingerprintCache.h"
#include "finder/SamePhotoCache.h"

#include <sqlite3.h>

#include <QFileInfo>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using finder::CacheStore;
using finder::CacheVersion;
using finder::FingerprintCache;
using finder::SamePhotoCache;
using Question = SamePhotoCache::Question;

CacheVersion baseVersion()
{
    return CacheVersion::current(std::uint64_t(512) << 20);
}

FileIdentity fileNumber(std::uint64_t n)
{
    FileIdentity file;
    file.device = 2049;
    file.inode = 1000 + n;
    file.size = std::int64_t(40000 + n);
    file.modifiedNs = 1'700'000'000'000'000'000 + std::int64_t(n);
    file.changedNs = file.modifiedNs + 5;
    return file;
}

const FileIdentity kA = fileNumber(1);
const FileIdentity kB = fileNumber(2);

finder::CachedFacts facts()
{
    finder::CachedFacts facts;
    facts.kind = finder::CachedFacts::Kind::Fingerprint;
    facts.type = decoding::PictureType::Jpeg;
    facts.width = facts.fingerprint.width = 640;
    facts.height = facts.fingerprint.height = 480;
    facts.frames = facts.fingerprint.frames = 1;
    facts.fingerprint.bytesPerSample = 1;
    for (std::size_t i = 0; i < facts.fingerprint.digest.size(); ++i)
        facts.fingerprint.digest[i] = std::uint8_t(i * 7 + 3);
    return facts;
}

similar::PhotoSignature signature()
{
    similar::PhotoSignature s;
    s.hash = 0x0123'4567'89ab'cdefULL;
    s.width = 640;
    s.height = 480;
    for (std::size_t i = 0; i < s.colour.size(); ++i)
        s.colour[i] = std::uint8_t(100 + i);
    return s;
}

similar::PhotoDifference difference()
{
    similar::PhotoDifference d;
    d.ssim = 0.987654321;
    d.mean = 1.25;
    d.max = 37;
    d.comparedWidth = 320;
    d.comparedHeight = 240;
    d.local.value = 0.5;
    d.local.limit = 2.0;
    d.local.region = {8, 16, 64, 48};
    d.tone.mean = {0.25, -0.5, 0.75};
    d.shift = 0.125;
    return d;
}

// Which of the rows the tables answer with exactly what was kept.
struct Answers {
    bool facts = false;
    bool signature = false;
    bool proof = false;
    bool enlargement = false;
    bool madeFrom = false;
    bool lossless = false;
    bool operator==(const Answers&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Answers& a)
{
    return out << "facts " << a.facts << " signature " << a.signature << " proof " << a.proof
               << " enlargement " << a.enlargement << " made-from " << a.madeFrom << " lossless "
               << a.lossless;
}

constexpr Answers kAll{true, true, true, true, true, true};
constexpr Answers kNone{};

// One row of each kind through one store, as a search keeps them.
void keep(CacheStore& store, const FileIdentity& a = kA, const FileIdentity& b = kB)
{
    FingerprintCache files(store);
    SamePhotoCache photos(store);
    files.store(a, facts());
    files.store(b, facts());
    photos.storeSignature(a, signature());
    photos.storeProof(a, b, difference());
    photos.storeEnlargement(a, b, similar::Enlargement::Yes);
    photos.storeEnlargement(b, a, similar::Enlargement::No, Question::MadeFrom);
    photos.storeEnlargement(b, b, similar::Enlargement::Yes, Question::Lossless);
}

Answers answers(CacheStore& store, const FileIdentity& a = kA, const FileIdentity& b = kB)
{
    FingerprintCache files(store);
    SamePhotoCache photos(store);
    Answers found;
    std::vector<std::optional<finder::CachedFacts>> kept;
    files.lookUpAll({a, b}, &kept);
    auto same = [](const std::optional<finder::CachedFacts>& f) {
        return f && f->fingerprint == facts().fingerprint && f->width == 640;
    };
    found.facts = same(kept.at(0)) && same(kept.at(1));
    found.signature = photos.signature(a) == signature();
    // Asked the other way round, the proof's tone turns round.
    found.proof = photos.proof(a, b) == difference()
        && photos.proof(b, a) == similar::measuredFrom(1, 0, difference());
    found.enlargement
        = photos.enlargement(a, b) == similar::Enlargement::Yes && !photos.enlargement(b, a);
    found.madeFrom = photos.enlargement(b, a, Question::MadeFrom) == similar::Enlargement::No;
    found.lossless = photos.enlargement(b, b, Question::Lossless) == similar::Enlargement::Yes;
    return found;
}

Answers answersUnder(const QString& path, const CacheVersion& version)
{
    CacheStore store(path, version);
    EXPECT_NE(store.state(), CacheStore::State::Bypassed) << store.problem().toStdString();
    return answers(store);
}

// Another program's connection to the same file.
class OtherConnection {
public:
    explicit OtherConnection(const QString& path)
    {
        EXPECT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &m_db), SQLITE_OK);
    }
    ~OtherConnection() { sqlite3_close(m_db); }
    OtherConnection(const OtherConnection&) = delete;
    OtherConnection& operator=(const OtherConnection&) = delete;

    bool execute(const std::string& sql)
    {
        char* message = nullptr;
        const bool ok = sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK;
        if (!ok)
            ADD_FAILURE() << sql << ": " << (message ? message : "");
        sqlite3_free(message);
        return ok;
    }

    // Changes the lowest bit of a column's value in every row of a table: a
    // well-formed page whose value no longer is what was kept.
    void flipEveryRow(const char* table, const char* column)
    {
        const bool files = std::strcmp(table, "files") == 0;
        const std::string keys = files ? "device, inode" : "key, NULL";
        const std::string select = "SELECT " + keys + ", " + column + " FROM " + std::string(table);
        const std::string update = "UPDATE " + std::string(table) + " SET " + column
            + " = ?3 WHERE " + (files ? "device = ?1 AND inode = ?2" : "key = ?1");
        sqlite3_stmt* read = nullptr;
        sqlite3_stmt* write = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(m_db, select.c_str(), -1, &read, nullptr), SQLITE_OK);
        ASSERT_EQ(sqlite3_prepare_v2(m_db, update.c_str(), -1, &write, nullptr), SQLITE_OK);
        std::vector<std::array<sqlite3_value*, 3>> rows;
        while (sqlite3_step(read) == SQLITE_ROW)
            rows.push_back({sqlite3_value_dup(sqlite3_column_value(read, 0)),
                sqlite3_value_dup(sqlite3_column_value(read, 1)),
                sqlite3_value_dup(sqlite3_column_value(read, 2))});
        sqlite3_finalize(read);
        EXPECT_FALSE(rows.empty()) << table;
        for (auto& row : rows) {
            sqlite3_bind_value(write, 1, row[0]);
            sqlite3_bind_value(write, 2, row[1]);
            sqlite3_value* value = row[2];
            switch (sqlite3_value_type(value)) {
            case SQLITE_INTEGER:
                sqlite3_bind_int64(write, 3, sqlite3_value_int64(value) ^ 1);
                break;
            case SQLITE_FLOAT:
                sqlite3_bind_double(write, 3, std::nextafter(sqlite3_value_double(value), 2.0));
                break;
            default: {
                QByteArray bytes(static_cast<const char*>(sqlite3_value_blob(value)),
                    sqlite3_value_bytes(value));
                bytes.back() = char(bytes.back() ^ 1);
                sqlite3_bind_blob(write, 3, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
            }
            }
            EXPECT_EQ(sqlite3_step(write), SQLITE_DONE) << sqlite3_errmsg(m_db);
            sqlite3_reset(write);
            for (sqlite3_value* v : row)
                sqlite3_value_free(v);
        }
        sqlite3_finalize(write);
    }

private:
    sqlite3* m_db = nullptr;
};

class CacheStoreTest : public ::testing::Test {
public:
    QString path() const { return m_dir.filePath(QStringLiteral("cache/fingerprints.sqlite")); }
    QTemporaryDir m_dir;
};

struct Damage {
    const char* table;
    const char* column;
    Answers left; // what still answers
};

// Every table checked the same way: a value changed on disk in any column
// that a table reads is not believed, the other tables still answer, and
// the row kept again is believed.
TEST_F(CacheStoreTest, ADamagedRowInAnyTableIsIgnoredAndMadeAgain)
{
    const Answers noFacts{false, true, true, true, true, true};
    const Answers noSignature{true, false, true, true, true, true};
    const Answers noProof{true, true, false, true, true, true};
    const Answers noVerdicts{true, true, true, false, false, false};
    const Damage damages[] = {
        {"files", "width", noFacts},
        {"files", "digest", noFacts},
        {"files", "checksum", noFacts},
        {"photo_signatures", "signature", noSignature},
        {"photo_signatures", "checksum", noSignature},
        {"photo_proofs", "ssim", noProof},
        {"photo_proofs", "max", noProof},
        {"photo_proofs", "figures", noProof},
        {"photo_proofs", "checksum", noProof},
        {"photo_enlargements", "enlarged", noVerdicts},
        {"photo_enlargements", "checksum", noVerdicts},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(std::string(damage.table) + "." + damage.column);
        QFile::remove(path());
        QFile::remove(path() + QStringLiteral("-wal"));
        {
            CacheStore store(path(), baseVersion());
            keep(store);
            ASSERT_EQ(answers(store), kAll);
        }
        OtherConnection(path()).flipEveryRow(damage.table, damage.column);
        CacheStore store(path(), baseVersion());
        EXPECT_EQ(answers(store), damage.left);
        EXPECT_EQ(store.problem().toStdString(), "");
        keep(store);
        EXPECT_EQ(answers(store), kAll);
    }
}

struct VersionChange {
    const char* name;
    std::function<void(CacheVersion&)> change;
    Answers left; // what the rows kept before still answer under the new version
};

// Each part of the version key reaches exactly the tables that depend on
// it; the same-photo rows kept under another version stay for the build that kept them.
TEST_F(CacheStoreTest, AChangedVersionMakesExactlyTheRowsItConcernsAgain)
{
    const VersionChange changes[] = {
        {"nothing", [](CacheVersion&) {}, kAll},
        {"decoders", [](CacheVersion& v) { v.decoders += " patched"; }, kNone},
        {"memory budget", [](CacheVersion& v) { v.memoryBudgetMB *= 2; },
            {false, true, true, true, true, true}},
        {"signature", [](CacheVersion& v) { ++v.signature; },
            {true, false, true, true, true, true}},
        {"proof", [](CacheVersion& v) { ++v.proof; }, {true, true, false, false, false, false}},
        {"enlargement", [](CacheVersion& v) { ++v.enlargement; },
            {true, true, true, false, true, true}},
        {"made from", [](CacheVersion& v) { ++v.madeFrom; }, {true, true, true, true, false, true}},
        {"lossless", [](CacheVersion& v) { ++v.lossless; }, {true, true, true, true, true, false}},
    };
    for (const VersionChange& c : changes) {
        SCOPED_TRACE(c.name);
        {
            CacheStore store(path(), baseVersion());
            keep(store);
        }
        CacheVersion changed = baseVersion();
        c.change(changed);
        EXPECT_EQ(answersUnder(path(), changed), c.left);
        {
            CacheStore store(path(), changed);
            keep(store);
        }
        EXPECT_EQ(answersUnder(path(), changed), kAll);
        // A file has one row of facts, the latest decoders'; the same-photo
        // rows of both versions stay side by side.
        Answers back = kAll;
        back.facts = c.left.facts;
        EXPECT_EQ(answersUnder(path(), baseVersion()), back);
    }
}

// The cache file of an older Corvane (its own layout key, its tables keyed
// another way) is emptied without a word, and then works.
TEST_F(CacheStoreTest, AnOlderFileIsRebuiltQuietly)
{
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path()).absolutePath()));
    OtherConnection(path()).execute(
        "CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT NOT NULL);"
        "INSERT INTO meta VALUES('layout', 'Corvane fingerprint cache 2');"
        "CREATE TABLE decoders(id INTEGER PRIMARY KEY, version TEXT NOT NULL UNIQUE);"
        "CREATE TABLE photo_signatures(key BLOB PRIMARY KEY, signature BLOB NOT NULL,"
        " checksum INTEGER NOT NULL) WITHOUT ROWID;"
        "INSERT INTO photo_signatures VALUES(x'00', x'01', 3);");
    {
        CacheStore store(path(), baseVersion());
        EXPECT_EQ(store.state(), CacheStore::State::Rebuilt);
        EXPECT_EQ(store.problem().toStdString(), "");
        EXPECT_EQ(answers(store), kNone);
        keep(store);
    }
    CacheStore store(path(), baseVersion());
    EXPECT_EQ(store.state(), CacheStore::State::Ready);
    EXPECT_EQ(answers(store), kAll);
}

// Put back renames a file, which moves its change time on: every row of
// both tables, the verdicts too, follows the file to its new identity; one
// whose size or modification time moved stays behind.
TEST_F(CacheStoreTest, RowsOfEveryTableFollowARenamedFile)
{
    {
        CacheStore store(path(), baseVersion());
        keep(store);
    }
    FileIdentity renamedA = kA;
    renamedA.changedNs += 1000;
    FileIdentity renamedB = kB;
    renamedB.changedNs += 1000;
    FileIdentity rewrittenB = renamedB;
    rewrittenB.modifiedNs += 1;
    {
        CacheStore store(path(), baseVersion());
        const std::vector<std::pair<FileIdentity, FileIdentity>> renamed
            = {{kA, renamedA}, {kB, renamedB}};
        const int carried = FingerprintCache(store).carryOverRenamed(renamed)
            + SamePhotoCache(store).carryOverRenamed(renamed);
        EXPECT_EQ(carried, 2 + 5); // two files' facts; a signature, a proof, three verdicts
        EXPECT_EQ(answers(store, renamedA, renamedB), kAll);
        EXPECT_EQ(SamePhotoCache(store).carryOverRenamed({{renamedB, rewrittenB}}), 0);
        EXPECT_EQ(answers(store, renamedA, rewrittenB).proof, false);
    }
}

struct Trouble {
    const char* name;
    // Done after the rows were kept and before the store under test opens.
    std::function<void(CacheStoreTest&, std::unique_ptr<OtherConnection>&)> before;
    // Done while the store under test is open, before anything is written.
    std::function<void(CacheStoreTest&, std::unique_ptr<OtherConnection>&)> during;
    const char* problem; // a word of what the user is told
    Answers answered; // what the tables answer all the same
};

// A cache that cannot be used, or can no longer be written, is said once
// (the first reason, whichever table met it) and answers nothing wrong:
// what it answers is what was kept; what cannot be written is dropped.
TEST_F(CacheStoreTest, ALockedOrUnwritableCacheIsSaidOnceAndAnswersNothingWrong)
{
    const FileIdentity kNew = fileNumber(3);
    auto lock = [](CacheStoreTest& t, std::unique_ptr<OtherConnection>& other) {
        other = std::make_unique<OtherConnection>(t.path());
        other->execute("BEGIN IMMEDIATE");
    };
    auto none = [](CacheStoreTest&, std::unique_ptr<OtherConnection>&) {};
    const Trouble troubles[] = {
        {"locked while opened", lock, none, "locked", kNone},
        {"locked after it opened", none, lock, "locked", kAll},
        {"its folder is a file",
            [](CacheStoreTest& t, std::unique_ptr<OtherConnection>&) {
                const QString folder = QFileInfo(t.path()).absolutePath();
                FinderTest::removeTree(folder);
                QFile blocker(folder);
                ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
            },
            none, "folder", kNone},
        {"read-only",
            [](CacheStoreTest& t, std::unique_ptr<OtherConnection>& other) {
                other = std::make_unique<OtherConnection>(t.path());
                other->execute("PRAGMA wal_checkpoint(TRUNCATE)");
                other.reset();
                ASSERT_EQ(chmod(QFile::encodeName(t.path()).constData(), 0444), 0);
                ASSERT_EQ(
                    chmod(QFile::encodeName(QFileInfo(t.path()).absolutePath()).constData(), 0555),
                    0);
            },
            none, "read-only", kNone},
    };
    for (const Trouble& trouble : troubles) {
        SCOPED_TRACE(trouble.name);
        if (std::strcmp(trouble.name, "read-only") == 0 && geteuid() == 0)
            continue; // root writes read-only files
        const QString folder = QFileInfo(path()).absolutePath();
        chmod(QFile::encodeName(folder).constData(), 0755);
        FinderTest::removeTree(folder);
        {
            CacheStore store(path(), baseVersion());
            keep(store);
        }
        std::unique_ptr<OtherConnection> other;
        trouble.before(*this, other);
        {
            CacheStore store(path(), baseVersion(), 100);
            trouble.during(*this, other);
            // New rows of every table, and what was kept asked for.
            FingerprintCache files(store);
            SamePhotoCache photos(store);
            files.store(kNew, facts());
            files.flush();
            const QString first = store.problem();
            photos.storeSignature(kNew, signature());
            photos.flush();
            EXPECT_TRUE(first.contains(QLatin1String(trouble.problem))) << first.toStdString();
            EXPECT_EQ(store.problem(), first);
            EXPECT_EQ(store.state(), CacheStore::State::Bypassed);
            EXPECT_FALSE(store.writable());
            EXPECT_EQ(answers(store), trouble.answered);
            EXPECT_FALSE(photos.signature(kNew));
        }
        other.reset();
        chmod(QFile::encodeName(folder).constData(), 0755);
        chmod(QFile::encodeName(path()).constData(), 0644);
        // Nothing of the failed writes reached the file.
        if (QFileInfo(path()).isFile()) {
            CacheStore store(path(), baseVersion());
            std::vector<std::optional<finder::CachedFacts>> found;
            FingerprintCache(store).lookUpAll({kNew}, &found);
            EXPECT_FALSE(found.at(0));
            EXPECT_FALSE(SamePhotoCache(store).signature(kNew));
        }
    }
}

// The fixture's collection searched for same photos: the identical search,
// the signatures, the proofs and Put back's carrying over all go through one
// connection to the cache file; with the cache off there is none.
TEST_F(FinderTest, ASearchOpensOneConnectionToTheCache)
{
    for (const bool useCache : {true, false}) {
        SCOPED_TRACE(useCache ? "cache on" : "cache off");
        FinderOptions search = options();
        search.samePhoto = true;
        search.useCache = useCache;
        const int before = CacheStore::connectionsOpened();
        Finder finder(search);
        const Found found = relativeTo(m_root, finder.run());
        EXPECT_EQ(found.groups, s_collection.groups);
        EXPECT_EQ(CacheStore::connectionsOpened() - before, useCache ? 1 : 0);
        EXPECT_EQ(finder.stats().cacheUsed, useCache);
        EXPECT_GT(finder.stats().signaturesMade, 0);
    }
    // Signatures were kept through that one connection.
    {
        CacheStore store(m_cachePath, CacheVersion::current(0));
        CacheStore::Statement count(store, "SELECT count(*) FROM photo_signatures");
        ASSERT_EQ(count.step(), SQLITE_ROW);
        EXPECT_GT(count.integer(0), 0);
    }
    const int before = CacheStore::connectionsOpened();
    carryOverRenamedFiles(options(), {{fileNumber(1), fileNumber(1)}});
    EXPECT_EQ(CacheStore::connectionsOpened() - before, 1);
}

} // namespace
