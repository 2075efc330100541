// corvane-find as a separate process that is interrupted: killed mid-search
// it keeps most of what it learned in the fingerprint cache, and what failed
// only for want of memory at that moment is never remembered.
#include "FindCommand.h"
#include "TestCollection.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <csignal>

namespace {

class FindKeepsWorkTest : public ::testing::Test {
public:
    void SetUp() override
    {
        m_folder = m_work.filePath(QStringLiteral("pictures"));
        ASSERT_TRUE(QDir().mkpath(m_folder));
    }

    QString cacheFile() const
    {
        return m_work.filePath(QStringLiteral("cache/Corvane/fingerprints.sqlite"));
    }

    // The number of files in each group of a JSON report.
    static std::vector<int> groupSizes(const QByteArray& report)
    {
        std::vector<int> sizes;
        const QJsonArray groups
            = QJsonDocument::fromJson(report).object()[QStringLiteral("groups")].toArray();
        for (const QJsonValue& group : groups)
            sizes.push_back(int(group.toObject()[QStringLiteral("files")].toArray().size()));
        return sizes;
    }

    // Rows in the cache file as another process sees them; -1 while it
    // cannot be read yet.
    int cachedRows() const
    {
        if (!QFile::exists(cacheFile()))
            return 0;
        sqlite3* db = nullptr;
        sqlite3_stmt* count = nullptr;
        int rows = -1;
        if (sqlite3_open_v2(
                QFile::encodeName(cacheFile()).constData(), &db, SQLITE_OPEN_READONLY, nullptr)
                == SQLITE_OK
            && sqlite3_prepare_v2(db, "SELECT count(*) FROM files", -1, &count, nullptr)
                == SQLITE_OK
            && sqlite3_step(count) == SQLITE_ROW)
            rows = sqlite3_column_int(count, 0);
        sqlite3_finalize(count);
        sqlite3_close(db);
        return rows;
    }

    void start(QProcess& process, const QStringList& wrapper = {}) const
    {
        FindCommand()
            .cacheHome(m_work.filePath(QStringLiteral("cache")))
            .under(wrapper)
            .start(process, {QStringLiteral("--format=json"), m_folder});
    }

    // Copies of one noisy picture, each with a different trailer after its
    // end so that none shares another's decode: `count` decodes, one group.
    bool makeCopies(int count)
    {
        const QString base = m_work.filePath(QStringLiteral("base.png"));
        if (!testcollection::run(QStringLiteral("convert"),
                {QStringLiteral("-size"), QStringLiteral("1000x1000"), QStringLiteral("xc:"),
                    QStringLiteral("+noise"), QStringLiteral("Random"),
                    QStringLiteral("png24:") + base}))
            return false;
        QFile file(base);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray bytes = file.readAll();
        for (int i = 0; i < count; ++i) {
            QFile copy(m_folder + QStringLiteral("/copy-%1.png").arg(i, 4, 10, QLatin1Char('0')));
            if (!copy.open(QIODevice::WriteOnly)
                || copy.write(bytes + QByteArray::number(10000 + i)) != bytes.size() + 5)
                return false;
        }
        settle();
        return true;
    }

    // What is learned of a file changed within the last three seconds is not
    // cached (see FinderOptions::cacheSettleNs): let the new files settle.
    static void settle() { QThread::msleep(3200); }

    QTemporaryDir m_work;
    QString m_folder;
};

struct Interruption {
    const char* name;
    int signal;
};

class FindInterrupted : public FindKeepsWorkTest,
                        public ::testing::WithParamInterface<Interruption> { };

TEST_P(FindInterrupted, KeepsWhatWasDecodedAndTheNextSearchFinishesTheGroup)
{
    constexpr int kCopies = 120;
    ASSERT_TRUE(makeCopies(kCopies));
    QProcess process;
    start(process);
    ASSERT_TRUE(process.waitForStarted());
    const int signal = GetParam().signal;
    // SIGKILL leaves no chance to write: rows must already be on disk while
    // the search runs. SIGINT and SIGTERM come a second after a periodic
    // write, before the next one: the search must write what it has as it
    // stops.
    // On an idle machine the whole search takes about as long as the first
    // periodic write: the search is held back to a quarter of its pace (run
    // 10 ms, stopped 30 ms) so that the signal always comes halfway.
    const pid_t child = pid_t(process.processId());
    const auto pacedFor = [&](int ms) {
        QDeadlineTimer paced(ms);
        while (process.state() == QProcess::Running && !paced.hasExpired()) {
            ::kill(child, SIGCONT);
            QThread::msleep(10);
            ::kill(child, SIGSTOP);
            QThread::msleep(30);
        }
        ::kill(child, SIGCONT);
    };
    bool interrupted = false;
    int before = 0;
    QDeadlineTimer deadline(120000);
    while (process.state() == QProcess::Running && !deadline.hasExpired()) {
        before = cachedRows();
        if (before > 0) {
            if (signal != SIGKILL) {
                pacedFor(1000);
                before = cachedRows();
            }
            ::kill(child, signal);
            interrupted = true;
            break;
        }
        pacedFor(40);
    }
    ASSERT_TRUE(interrupted) << "the search ended before any of its work was on disk";
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitStatus(), QProcess::CrashExit) << "ended by the signal it was sent";
    const int kept = cachedRows();
    if (signal == SIGKILL)
        EXPECT_GE(kept, before) << "what was on disk was lost";
    else
        EXPECT_GT(kept, before) << "what was decoded since the last write was not written";
    EXPECT_LT(kept, kCopies) << "the search was not interrupted";

    QProcess next;
    start(next);
    ASSERT_TRUE(next.waitForFinished(120000));
    EXPECT_EQ(next.exitCode(), 0);
    const QByteArray report = next.readAllStandardOutput();
    EXPECT_EQ(groupSizes(report), std::vector<int>{kCopies});
    EXPECT_EQ(cachedRows(), kCopies);
}

INSTANTIATE_TEST_SUITE_P(Signals, FindInterrupted,
    ::testing::Values(Interruption{"Sigkill", SIGKILL}, Interruption{"Sigterm", SIGTERM},
        Interruption{"Sigint", SIGINT}),
    [](const ::testing::TestParamInfo<Interruption>& info) {
        return std::string(info.param.name);
    });

TEST_F(FindKeepsWorkTest, AFailureForWantOfMemoryIsNotRememberedAndTheNextSearchFindsThePair)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer reserves more address space than the limit leaves";
#endif
    // Two copies of an animation whose canvas (6000 x 6000, 144 MB) does
    // not fit in the address space the first search is given.
    const QString frames = m_work.path();
    for (const char* name : {"one", "two"}) {
        ASSERT_TRUE(testcollection::run(QStringLiteral("convert"),
            {QStringLiteral("-size"), QStringLiteral("6000x6000"),
                QStringLiteral("xc:rgb(10,20,30)"), QStringLiteral("-fill"), QStringLiteral("red"),
                QStringLiteral("-draw"),
                QString::fromLatin1(
                    name[0] == 'o' ? "rectangle 10,10,50,50" : "rectangle 10,10,60,50"),
                frames + QStringLiteral("/%1.png").arg(QLatin1String(name))}));
        ASSERT_TRUE(testcollection::run(QStringLiteral("cwebp"),
            {QStringLiteral("-quiet"), QStringLiteral("-z"), QStringLiteral("0"),
                frames + QStringLiteral("/%1.png").arg(QLatin1String(name)), QStringLiteral("-o"),
                frames + QStringLiteral("/%1.webp").arg(QLatin1String(name))}));
    }
    ASSERT_TRUE(testcollection::run(QStringLiteral("webpmux"),
        {QStringLiteral("-frame"), frames + QStringLiteral("/one.webp"),
            QStringLiteral("+100+0+0+0-b"), QStringLiteral("-frame"),
            frames + QStringLiteral("/two.webp"), QStringLiteral("+100+0+0+0+b"),
            QStringLiteral("-o"), m_folder + QStringLiteral("/animation.webp")}));
    ASSERT_TRUE(QFile::copy(m_folder + QStringLiteral("/animation.webp"),
        m_folder + QStringLiteral("/animation copy.webp")));
    settle(); // or nothing would be cached, lasting or not

    QProcess limited;
    start(limited, {QStringLiteral("prlimit"), QStringLiteral("--as=%1").arg(220 * 1024 * 1024)});
    ASSERT_TRUE(limited.waitForFinished(120000));
    const QByteArray said = limited.readAllStandardOutput() + limited.readAllStandardError();
    ASSERT_TRUE(said.contains("memory")) << "the limit did not bite: " << said.toStdString();

    QProcess next;
    start(next);
    ASSERT_TRUE(next.waitForFinished(120000));
    const QByteArray report = next.readAllStandardOutput();
    EXPECT_EQ(groupSizes(report), std::vector<int>{2}) << report.toStdString();
}

} // namespace
