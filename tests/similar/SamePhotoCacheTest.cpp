// What the same-photo search keeps in the cache file, on the check half of
// the photo collection: a value damaged on disk is never believed, a search
// stopped anywhere and resumed ends with the answer (and the very signatures
// and proofs) of one that ran whole, and a cache on a full disk is said to be
// unwritable once while the answer stays right.
#include "FindCommand.h"
#include "SamePhotoFixture.h"

#include "finder/MemoryBudget.h"
#include "finder/PictureReader.h"
#include "finder/SamePhotoCache.h"

#include <QFileInfo>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

// A real SQLite file opened beside Corvane, as another program would.
class CacheFile {
public:
    explicit CacheFile(const QString& path)
    {
        if (sqlite3_open(QFile::encodeName(path).constData(), &m_db) != SQLITE_OK)
            ADD_FAILURE() << "cannot open " << path.toStdString();
    }
    ~CacheFile() { sqlite3_close(m_db); }
    CacheFile(const CacheFile&) = delete;
    CacheFile& operator=(const CacheFile&) = delete;

    bool execute(const char* sql)
    {
        char* message = nullptr;
        const bool ok = sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK;
        if (!ok)
            ADD_FAILURE() << sql << ": " << (message ? message : "");
        sqlite3_free(message);
        return ok;
    }

    // Every row of the query, its first column the key and the others as text.
    std::map<QByteArray, std::string> rows(const char* sql)
    {
        std::map<QByteArray, std::string> found;
        sqlite3_stmt* select = nullptr;
        if (sqlite3_prepare_v2(m_db, sql, -1, &select, nullptr) != SQLITE_OK) {
            ADD_FAILURE() << sql;
            return found;
        }
        while (sqlite3_step(select) == SQLITE_ROW) {
            const QByteArray key(static_cast<const char*>(sqlite3_column_blob(select, 0)),
                sqlite3_column_bytes(select, 0));
            std::string values;
            for (int c = 1; c < sqlite3_column_count(select); ++c) {
                values += QByteArray(static_cast<const char*>(sqlite3_column_blob(select, c)),
                              sqlite3_column_bytes(select, c))
                              .toHex()
                              .toStdString()
                    + ' ';
            }
            found[key] = values;
        }
        sqlite3_finalize(select);
        return found;
    }

    // One byte of the column flipped in every row of the table: the page
    // stays well-formed, only the value is wrong.
    void flipByteInEveryRow(const std::string& table, const std::string& column)
    {
        const std::string select = "SELECT key, " + column + " FROM " + table;
        const std::string update = "UPDATE " + table + " SET " + column + " = ? WHERE key = ?";
        std::vector<std::pair<QByteArray, std::function<void(sqlite3_stmt*)>>> changes;
        sqlite3_stmt* read = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(m_db, select.c_str(), -1, &read, nullptr), SQLITE_OK);
        while (sqlite3_step(read) == SQLITE_ROW) {
            const QByteArray key(static_cast<const char*>(sqlite3_column_blob(read, 0)),
                sqlite3_column_bytes(read, 0));
            switch (sqlite3_column_type(read, 1)) {
            case SQLITE_BLOB: {
                QByteArray value(static_cast<const char*>(sqlite3_column_blob(read, 1)),
                    sqlite3_column_bytes(read, 1));
                value[std::min<qsizetype>(4, value.size() - 1)] ^= char(0xff); // in a hash
                changes.emplace_back(key, [value](sqlite3_stmt* s) {
                    sqlite3_bind_blob(s, 1, value.constData(), int(value.size()), SQLITE_TRANSIENT);
                });
                break;
            }
            case SQLITE_FLOAT: {
                double value = sqlite3_column_double(read, 1);
                std::uint64_t bits;
                std::memcpy(&bits, &value, 8);
                bits ^= std::uint64_t(0x0f) << 48; // the highest bits of the fraction
                std::memcpy(&value, &bits, 8);
                changes.emplace_back(
                    key, [value](sqlite3_stmt* s) { sqlite3_bind_double(s, 1, value); });
                break;
            }
            default: {
                const sqlite3_int64 value = sqlite3_column_int64(read, 1) ^ 1;
                changes.emplace_back(
                    key, [value](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, value); });
            }
            }
        }
        sqlite3_finalize(read);
        ASSERT_FALSE(changes.empty()) << table << " has no rows";
        sqlite3_stmt* write = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(m_db, update.c_str(), -1, &write, nullptr), SQLITE_OK);
        for (const auto& [key, bind] : changes) {
            bind(write);
            sqlite3_bind_blob(write, 2, key.constData(), int(key.size()), SQLITE_TRANSIENT);
            EXPECT_EQ(sqlite3_step(write), SQLITE_DONE);
            sqlite3_reset(write);
        }
        sqlite3_finalize(write);
    }

private:
    sqlite3* m_db = nullptr;
};

constexpr char kSignatures[] = "SELECT key, signature FROM photo_signatures";
constexpr char kProofs[] = "SELECT key, ssim, mean, max, width, height FROM photo_proofs";
constexpr char kEnlargements[] = "SELECT key, enlarged FROM photo_enlargements";

bool copyFile(const QString& from, const QString& to)
{
    QFile::remove(to);
    return QFile::copy(from, to);
}

} // namespace

// A byte flipped in any column of any of the same-photo tables: the row is
// ignored and made again, the search gives the undamaged answer, and the
// next search trusts the rows written anew.
TEST_F(SamePhotoCollectionTest, AFlippedByteInAnyCachedRowIsIgnoredAndMadeAgain)
{
    QTemporaryDir dir;
    const QString pristine = dir.filePath(QStringLiteral("pristine.sqlite"));
    const std::vector<std::string> reference = answerOf(search(true, pristine));
    ASSERT_FALSE(reference.empty());
    {
        CacheFile file(pristine);
        ASSERT_TRUE(file.execute("PRAGMA wal_checkpoint(TRUNCATE)"));
        ASSERT_FALSE(file.rows(kEnlargements).empty()) << "no enlargement was judged";
    }
    struct Row {
        const char* table;
        const char* column;
    };
    const Row rows[] = {
        {"photo_signatures", "key"},
        {"photo_signatures", "signature"},
        {"photo_signatures", "checksum"},
        {"photo_proofs", "key"},
        {"photo_proofs", "ssim"},
        {"photo_proofs", "mean"},
        {"photo_proofs", "max"},
        {"photo_proofs", "width"},
        {"photo_proofs", "height"},
        {"photo_proofs", "checksum"},
        {"photo_enlargements", "key"},
        {"photo_enlargements", "enlarged"},
        {"photo_enlargements", "checksum"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.table) + "." + row.column);
        const QString damaged = dir.filePath(QStringLiteral("damaged.sqlite"));
        ASSERT_TRUE(copyFile(pristine, damaged));
        {
            CacheFile file(damaged);
            file.flipByteInEveryRow(row.table, row.column);
        }
        FinderStats stats;
        EXPECT_EQ(answerOf(search(true, damaged, &stats)), reference);
        const bool signatures = std::strcmp(row.table, "photo_signatures") == 0;
        const bool proofs = std::strcmp(row.table, "photo_proofs") == 0;
        EXPECT_EQ(stats.signaturesMade > 0, signatures);
        EXPECT_EQ(stats.photoProofsMeasured > 0, proofs);
        // Made again and kept: the next search takes everything from the cache.
        FinderStats warm;
        EXPECT_EQ(answerOf(search(true, damaged, &warm)), reference);
        EXPECT_EQ(warm.signaturesMade, 0);
        EXPECT_EQ(warm.photoProofsMeasured, 0);
    }
}

// The tables of an older Corvane, whose rows carry no checksum, are dropped:
// their rows (here with a wrong SSIM) are not believed but made again.
TEST_F(SamePhotoCollectionTest, OlderTablesWithoutChecksumsAreMadeAgain)
{
    QTemporaryDir dir;
    const QString cache = dir.filePath(QStringLiteral("cache.sqlite"));
    const std::vector<std::string> reference = answerOf(search(true, cache));
    {
        CacheFile file(cache);
        ASSERT_TRUE(file.execute(R"(
            CREATE TABLE old_proofs(key BLOB PRIMARY KEY, ssim REAL NOT NULL, mean REAL NOT NULL,
                max INTEGER NOT NULL, width INTEGER NOT NULL, height INTEGER NOT NULL) WITHOUT ROWID;
            INSERT INTO old_proofs SELECT key, ssim + 0.4, mean, max, width, height FROM photo_proofs;
            DROP TABLE photo_proofs;
            ALTER TABLE old_proofs RENAME TO photo_proofs;
            CREATE TABLE old_signatures(key BLOB PRIMARY KEY, signature BLOB NOT NULL) WITHOUT ROWID;
            INSERT INTO old_signatures SELECT key, signature FROM photo_signatures;
            DROP TABLE photo_signatures;
            ALTER TABLE old_signatures RENAME TO photo_signatures;
            CREATE TABLE old_enlargements(key BLOB PRIMARY KEY, enlarged INTEGER NOT NULL) WITHOUT ROWID;
            INSERT INTO old_enlargements SELECT key, 1 - enlarged FROM photo_enlargements;
            DROP TABLE photo_enlargements;
            ALTER TABLE old_enlargements RENAME TO photo_enlargements;)"));
    }
    FinderStats stats;
    EXPECT_EQ(answerOf(search(true, cache, &stats)), reference);
    EXPECT_GT(stats.signaturesMade, 0);
    EXPECT_GT(stats.photoProofsMeasured, 0);
    EXPECT_EQ(stats.cacheProblem.toStdString(), "");
    FinderStats warm;
    EXPECT_EQ(answerOf(search(true, cache, &warm)), reference);
    EXPECT_EQ(warm.photoProofsMeasured, 0);
}

// A search stopped at several points (halfway through the decodes, after
// them, after the signatures, after the proofs) and then finished warm ends
// with the groups and figures of a cold search that ran whole, and with the
// very same signatures and proofs in its cache: which decode made a picture's
// signature never depends on when a search was stopped.
TEST_F(SamePhotoCollectionTest, SearchStoppedAnywhereAndResumedGivesTheUninterruptedAnswer)
{
    QTemporaryDir dir;
    const QString whole = dir.filePath(QStringLiteral("whole.sqlite"));
    const std::vector<std::string> reference = answerOf(search(true, whole));
    ASSERT_FALSE(reference.empty());
    CacheFile wholeFile(whole);
    const auto signatures = wholeFile.rows(kSignatures);
    const auto proofs = wholeFile.rows(kProofs);
    const auto enlargements = wholeFile.rows(kEnlargements);
    using Stage = FinderProgress::Stage;
    struct Row {
        const char* name;
        Stage stage; // stopped as the next stage begins
        bool halfway; // stopped halfway through that stage rather than after it
    };
    const Row rows[] = {
        {"halfway through the decodes of the identical search", Stage::Decoding, true},
        {"after the decodes of the identical search", Stage::Decoding, false},
        {"after the signatures", Stage::Signing, false},
        {"halfway through the proofs", Stage::Proving, true},
        {"after the proofs", Stage::Proving, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const QString cache = dir.filePath(QString::fromUtf8(row.name) + ".sqlite");
        std::atomic<bool> stop{false};
        Finder stopped(optionsFor(s_check.root, cache));
        const FinderResult cut = stopped.run(&stop, [&](const FinderProgress& progress) {
            if (progress.stage > row.stage
                || (row.halfway && progress.stage == row.stage && progress.total > 0
                    && 2 * progress.done >= progress.total))
                stop = true;
        });
        EXPECT_TRUE(cut.cancelled);
        FinderStats stats;
        EXPECT_EQ(answerOf(search(true, cache, &stats)), reference);
        EXPECT_LT(stats.decoded, s_check.files.size())
            << "nothing was kept from the stopped search";
        CacheFile resumed(cache);
        EXPECT_EQ(resumed.rows(kSignatures), signatures);
        EXPECT_EQ(resumed.rows(kProofs), proofs);
        EXPECT_EQ(resumed.rows(kEnlargements), enlargements);
    }
}

// A JPEG's signature and proofs are the same whether the search decoded it
// whole (another picture has its size) or only at the reduction its own size
// allows (none has): the rows kept for the same files in both searches are
// equal, for sizes at every reduction, odd ones among them; and the near
// misses beside them stay apart either way.
TEST_F(SamePhotoCollectionTest, JpegSignatureAndProofAreTheSameFromAFullOrAReducedDecode)
{
    struct Row {
        const char* name;
        int width;
        int height;
        bool grouped; // large enough for the half-size copy to join it (in one group)
    };
    // The reduction is the largest of 8, 4 and 2 that leaves both sides at
    // 32 pixels or more.
    const Row rows[] = {
        {"decoded whole", 61, 41, false},
        {"at a half", 101, 67, false},
        {"at a quarter, odd", 201, 131, true},
        {"at an eighth, odd", 1001, 667, true},
        {"at an eighth, portrait", 333, 501, true},
        {"at an eighth, a camera's size", 4101, 2733, true},
    };
    const QString source = QStringLiteral("/usr/share/backgrounds/mate/nature/LadyBird.jpg");
    ASSERT_TRUE(QFile::exists(source)) << "scripts/install-deps installs mate-backgrounds";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        auto at = [&](const char* name) { return dir.filePath(QString::fromUtf8(name)); };
        const QString size = QStringLiteral("%1x%2!").arg(row.width).arg(row.height);
        const QString half = QStringLiteral("%1x%2!").arg(row.width / 2).arg(row.height / 2);
        ASSERT_TRUE(photocollection::run(
            QStringLiteral("convert"), {source, QStringLiteral("-resize"), size, at("photo.ppm")}));
        ASSERT_TRUE(photocollection::run(
            QStringLiteral("convert"), {source, QStringLiteral("-resize"), half, at("half.ppm")}));
        // Near misses, each of a size of its own: an exposure edit at 3/4 and
        // a framing shifted by 4 % at 5/8.
        ASSERT_TRUE(photocollection::run(QStringLiteral("convert"),
            {source, QStringLiteral("-modulate"), QStringLiteral("125"), QStringLiteral("-resize"),
                QStringLiteral("%1x%2!").arg(row.width * 3 / 4).arg(row.height * 3 / 4),
                at("brighter.ppm")}));
        ASSERT_TRUE(photocollection::run(QStringLiteral("convert"),
            {source, QStringLiteral("-gravity"), QStringLiteral("southeast"),
                QStringLiteral("-crop"), QStringLiteral("96%x96%+0+0"), QStringLiteral("+repage"),
                QStringLiteral("-resize"),
                QStringLiteral("%1x%2!").arg(row.width * 5 / 8).arg(row.height * 5 / 8),
                at("shifted.ppm")}));
        for (const auto& [quality, from, to] :
            {std::tuple{"90", "photo.ppm", "photo.jpg"}, std::tuple{"70", "photo.ppm", "twin.jpg"},
                std::tuple{"90", "half.ppm", "half.jpg"},
                std::tuple{"90", "brighter.ppm", "brighter.jpg"},
                std::tuple{"90", "shifted.ppm", "shifted.jpg"}}) {
            ASSERT_TRUE(photocollection::run(QStringLiteral("cjpeg"),
                {QStringLiteral("-quality"), QString::fromUtf8(quality), QStringLiteral("-outfile"),
                    at(to), at(from)}));
        }
        // The same files (hard links: the same identities, so the same cache
        // keys) alone in one folder and beside a twin of the photo's size in another.
        QDir().mkpath(at("alone"));
        QDir().mkpath(at("twinned"));
        for (const char* name : {"photo.jpg", "half.jpg", "brighter.jpg", "shifted.jpg"}) {
            for (const char* folder : {"alone/", "twinned/"}) {
                ASSERT_EQ(::link(QFile::encodeName(at(name)).constData(),
                              QFile::encodeName(at(folder) + QString::fromUtf8(name)).constData()),
                    0);
            }
        }
        ASSERT_TRUE(QFile::rename(at("twin.jpg"), at("twinned/twin.jpg")));
        const QString aloneCache = at("alone.sqlite");
        const QString twinnedCache = at("twinned.sqlite");
        Finder alone(optionsFor(at("alone"), aloneCache));
        const FinderResult aloneResult = alone.run();
        EXPECT_EQ(alone.stats().decoded, 0) << "the identical search decoded a unique size";
        Finder twinned(optionsFor(at("twinned"), twinnedCache));
        const FinderResult twinnedResult = twinned.run();
        EXPECT_EQ(twinned.stats().decoded, 2) << "photo.jpg and twin.jpg not decoded whole";
        for (const FinderResult* result : {&aloneResult, &twinnedResult}) {
            const std::vector<std::string> answer = answerOf(*result);
            if (row.grouped) {
                EXPECT_EQ(answer.size(), result == &aloneResult ? 3u : 4u)
                    << ::testing::PrintToString(answer);
            }
            for (const std::string& line : answer) {
                EXPECT_EQ(line.find("brighter"), std::string::npos);
                EXPECT_EQ(line.find("shifted"), std::string::npos);
            }
        }

        CacheFile aloneFile(aloneCache);
        CacheFile twinnedFile(twinnedCache);
        for (const char* query : {kSignatures, kProofs}) {
            SCOPED_TRACE(query);
            const auto fromReduced = aloneFile.rows(query);
            const auto fromFull = twinnedFile.rows(query);
            int common = 0;
            for (const auto& [key, values] : fromReduced) {
                const auto other = fromFull.find(key);
                if (other == fromFull.end())
                    continue;
                ++common;
                EXPECT_EQ(values, other->second);
            }
            EXPECT_GE(common, query == kSignatures ? 4 : row.grouped ? 1 : 0);
        }
    }
}

namespace {

// A small tmpfs of its own, unmounted when done; mounting needs root (as CI runs).
class SmallFileSystem {
public:
    explicit SmallFileSystem(const QString& at, const char* size)
        : m_at(QFile::encodeName(at))
    {
        const std::string options = std::string("size=") + size;
        if (::mount("tmpfs", m_at.constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0)
            m_mounted = true;
        else
            m_why = std::strerror(errno);
    }
    ~SmallFileSystem()
    {
        if (m_mounted)
            ::umount2(m_at.constData(), MNT_DETACH);
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool mounted() const { return m_mounted; }
    std::string why() const { return m_why; }

    // Writes a file until the file system is full, then gives back `room`
    // bytes (enough to open the cache, not to write what a search learned).
    bool fill(off_t room)
    {
        const int fd = ::open((m_at + "/filler").constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0)
            return false;
        const std::vector<char> block(4096, 'x');
        while (::write(fd, block.data(), block.size()) > 0) { }
        const bool full = errno == ENOSPC;
        const off_t size = ::lseek(fd, 0, SEEK_END);
        const bool given = ::ftruncate(fd, std::max<off_t>(0, size - room)) == 0;
        ::close(fd);
        return full && given;
    }

private:
    QByteArray m_at;
    bool m_mounted = false;
    std::string m_why;
};

qint64 sizeOf(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() ? info.size() : 0;
}

} // namespace

// The cache on a full file system: the answer is that of a search with room,
// the user is told once that the cache could not be written (through the
// search's statistics, as the window reads them, and on corvane-find's
// standard error), and no write-ahead log is left behind or grows: whether
// the same-photo tables were made before the disk filled or must be made on
// it, or the pixel fingerprints cannot be written either.
TEST_F(SamePhotoCollectionTest, CacheOnAFullDiskIsSaidOnceAndLeavesNoLog)
{
    QTemporaryDir dir;
    const std::vector<std::string> reference
        = answerOf(search(true, dir.filePath(QStringLiteral("roomy.sqlite"))));
    struct Row {
        const char* name;
        bool fingerprintsKept; // only the same-photo search has something to write
        bool tablesMade;
    };
    const Row rows[] = {
        {"same-photo tables made before the disk filled", true, true},
        {"same-photo tables to be made on the full disk", true, false},
        {"nothing kept before the disk filled", false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const QString mountPoint = dir.filePath(QString::fromUtf8(row.name));
        ASSERT_TRUE(QDir().mkpath(mountPoint));
        SmallFileSystem disk(mountPoint, "1m");
        if (!disk.mounted())
            GTEST_SKIP() << "cannot mount a small tmpfs here (" << disk.why() << ")";
        // Where corvane-find keeps it under XDG_CACHE_HOME.
        const QString cache = mountPoint + QStringLiteral("/Corvane/fingerprints.sqlite");
        if (row.fingerprintsKept)
            search(false, cache);
        if (row.tablesMade) {
            finder::CacheStore store(
                cache, finder::CacheVersion::current(finder::MemoryBudget::defaultSize()), 1000);
            finder::SamePhotoCache tables(store);
            ASSERT_TRUE(tables.usable());
        }
        ASSERT_TRUE(disk.fill(48 * 1024));

        FinderStats stats;
        EXPECT_EQ(answerOf(search(true, cache, &stats)), reference);
        EXPECT_FALSE(stats.cacheUsed);
        EXPECT_TRUE(stats.cacheProblem.contains(QLatin1String("full")))
            << stats.cacheProblem.toStdString();
        EXPECT_EQ(sizeOf(cache + QStringLiteral("-wal")), 0);

        // corvane-find says it once, and its answer is the same.
        const FindCommand::Outcome find
            = FindCommand().cacheHome(mountPoint).run({QStringLiteral("--similar"), s_check.root});
        ASSERT_NE(find.exitCode, -1) << "corvane-find did not end";
        const QString errors = QString::fromUtf8(find.err);
        EXPECT_EQ(errors.count(QLatin1String("cache")), 1) << errors.toStdString();
        EXPECT_TRUE(errors.contains(QLatin1String("full"))) << errors.toStdString();
        EXPECT_EQ(sizeOf(cache + QStringLiteral("-wal")), 0);
    }
}
