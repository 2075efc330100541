#include "update/ucUpdates.h"

#include "ScriptedHttpServer.h"

#include <QTcpServer>

#include <gtest/gtest.h>

namespace {

const QChar kNul(u'\0');

QString keys(std::initializer_list<const char*> list)
{
    QString text(kNul);
    for (const char* key : list)
        text += QString::fromLatin1(key) + kNul;
    return text;
}

// Records every event of one control, with the pending keys as they were
// when the event was raised.
struct EventLog {
    struct Entry {
        QString event;
        QString id;
        QString pendingKeys;
        QByteArray data;
    };
    QList<Entry> entries;

    explicit EventLog(ucUpdates& control)
    {
        QObject::connect(
            &control, &ucUpdates::updatesReady, &control, [this, &control](QString& id) {
                entries.append({"ready", id, control.PendingKeys(), ucUpdates::DownloadedData()});
            });
        QObject::connect(&control, &ucUpdates::noUpdates, &control, [this, &control](QString& id) {
            entries.append({"failed", id, control.PendingKeys(), ucUpdates::DownloadedData()});
        });
    }
};

class ucUpdatesTest : public ::testing::Test {
protected:
    // A completed download with known bytes, so failures can show they kept it.
    void primeDownloadedData(const QByteArray& bytes)
    {
        server.answer("/prime", bytes);
        ucUpdates control;
        EventLog log(control);
        control.DownloadFile(server.site() + "/prime", 16, "prime");
        ASSERT_TRUE(waitUntil([&] { return !log.entries.isEmpty(); }));
        ASSERT_EQ(ucUpdates::DownloadedData(), bytes);
    }

    ScriptedHttpServer server;
};

TEST_F(ucUpdatesTest, PendingKeysFollowOneDownload)
{
    server.answer("/page", "hello");
    ucUpdates control;
    EventLog log(control);
    EXPECT_EQ(control.PendingKeys(), QString(kNul));

    control.DownloadFile(server.site() + "/page", 16, "1");
    EXPECT_EQ(control.PendingKeys(), keys({"1"}));

    ASSERT_TRUE(waitUntil([&] { return !log.entries.isEmpty(); }));
    ASSERT_EQ(log.entries.size(), 1);
    EXPECT_EQ(log.entries[0].event, "ready");
    EXPECT_EQ(log.entries[0].id, "1");
    // The key stays pending while updatesReady is handled, and the data is there.
    EXPECT_EQ(log.entries[0].pendingKeys, keys({"1"}));
    EXPECT_EQ(log.entries[0].data, "hello");
    EXPECT_EQ(control.PendingKeys(), QString(kNul));
}

TEST_F(ucUpdatesTest, FreshFetchAsksCachesNotToAnswer)
{
    server.answer("/", "x");
    ucUpdates control;
    EventLog log(control);
    control.DownloadFile(server.site() + "/", 16, "1");
    ASSERT_TRUE(waitUntil([&] { return !log.entries.isEmpty(); }));
    ASSERT_EQ(server.requests().size(), 1);
    const QByteArray head = server.requests()[0].toLower();
    EXPECT_TRUE(head.contains("cache-control: no-cache")) << head.constData();
    EXPECT_TRUE(head.contains("pragma: no-cache")) << head.constData();
}

struct FailureCase {
    const char* name;
    ScriptedHttpServer::Script script;
    const char* url; // relative to the server's site unless it has a scheme
    int timeoutMs = 300;
};

class ucUpdatesFailure : public ucUpdatesTest,
                         public ::testing::WithParamInterface<FailureCase> { };

TEST_P(ucUpdatesFailure, EndsInNoUpdatesAndKeepsData)
{
    primeDownloadedData("previous bytes");
    const FailureCase& c = GetParam();
    server.script("/page", c.script);

    ucUpdates control;
    control.setTimeoutMs(c.timeoutMs);
    EventLog log(control);
    QString url = QString::fromLatin1(c.url);
    if (url.startsWith('/'))
        url = server.site() + url;
    if (url == "refused") {
        // A port on this machine that was free a moment ago: the connection is refused.
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        url = QStringLiteral("http://127.0.0.1:%1/").arg(probe.serverPort());
    }
    control.DownloadFile(url, 16, "1");

    ASSERT_TRUE(waitUntil([&] { return !log.entries.isEmpty(); }, 10000));
    waitUntil([] { return false; }, 50); // nothing else may follow
    ASSERT_EQ(log.entries.size(), 1);
    EXPECT_EQ(log.entries[0].event, "failed");
    EXPECT_EQ(log.entries[0].id, "1");
    // The key is gone before noUpdates is raised.
    EXPECT_EQ(log.entries[0].pendingKeys, QString(kNul));
    EXPECT_EQ(ucUpdates::DownloadedData(), "previous bytes");
}

using Behaviour = ScriptedHttpServer::Behaviour;

INSTANTIATE_TEST_SUITE_P(Failures, ucUpdatesFailure,
    ::testing::Values(
        FailureCase{"NotFound", {Behaviour::Answer, 404, "Corvane ver 9.99", -1}, "/page"},
        FailureCase{"ServerError", {Behaviour::Answer, 500, "oops", -1}, "/page"},
        FailureCase{"ClosedWithoutAnswer", {Behaviour::CloseWithoutAnswer, 0, "", -1}, "/page"},
        FailureCase{"NeverAnswers", {Behaviour::NeverAnswer, 0, "", -1}, "/page"},
        FailureCase{"AnswerCutShort", {Behaviour::Answer, 200, "short", 1000}, "/page"},
        // The time-out is far beyond the wait: only the size limit can end it.
        FailureCase{
            "AnswerTooLarge", {Behaviour::AnswerAndHold, 200, "x", 100000000}, "/page", 60000},
        FailureCase{"NothingListens", {}, "refused"}, FailureCase{"NotAUrl", {}, "::not a url::"},
        FailureCase{"EmptyUrl", {}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ucUpdatesTest, RestartingAKeyCancelsTheRunningRead)
{
    server.script("/slow", {Behaviour::NeverAnswer, 0, "", -1});
    server.answer("/fast", "second");
    ucUpdates control;
    EventLog log(control);

    control.DownloadFile(server.site() + "/slow", 16, "1");
    ASSERT_TRUE(waitUntil([&] { return server.requests().size() == 1; }));
    control.DownloadFile(server.site() + "/fast", 16, "1");
    EXPECT_EQ(control.PendingKeys(), keys({"1"}));

    ASSERT_TRUE(waitUntil([&] { return !log.entries.isEmpty(); }));
    ASSERT_TRUE(waitUntil([&] { return server.abandonedByClient() == 1; }));
    waitUntil([] { return false; }, 100);
    ASSERT_EQ(log.entries.size(), 1);
    EXPECT_EQ(log.entries[0].event, "ready");
    EXPECT_EQ(log.entries[0].data, "second");
    EXPECT_EQ(control.PendingKeys(), QString(kNul));
}

TEST_F(ucUpdatesTest, KeysThatContainEachOtherStayApart)
{
    server.script("/slow", {Behaviour::NeverAnswer, 0, "", -1});
    server.answer("/fast", "one");
    ucUpdates control;
    EventLog log(control);

    control.DownloadFile(server.site() + "/slow", 16, "11");
    ASSERT_TRUE(waitUntil([&] { return server.requests().size() == 1; }));
    control.DownloadFile(server.site() + "/fast", 16, "1");
    // "1" is not taken for pending because "11" is: both reads run.
    EXPECT_EQ(control.PendingKeys(), keys({"11", "1"}));

    ASSERT_TRUE(waitUntil([&] { return !log.entries.isEmpty(); }));
    ASSERT_EQ(log.entries.size(), 1);
    EXPECT_EQ(log.entries[0].event, "ready");
    EXPECT_EQ(log.entries[0].id, "1");
    EXPECT_EQ(log.entries[0].pendingKeys, keys({"11", "1"}));
    EXPECT_EQ(control.PendingKeys(), keys({"11"}));
    EXPECT_EQ(server.abandonedByClient(), 0);
}

TEST_F(ucUpdatesTest, DestroyingTheControlEndsReadsSilently)
{
    server.script("/slow", {Behaviour::NeverAnswer, 0, "", -1});
    int events = 0;
    {
        ucUpdates control;
        QObject::connect(&control, &ucUpdates::noUpdates, [&](QString&) { ++events; });
        QObject::connect(&control, &ucUpdates::updatesReady, [&](QString&) { ++events; });
        control.DownloadFile(server.site() + "/slow", 16, "1");
        ASSERT_TRUE(waitUntil([&] { return server.requests().size() == 1; }));
    }
    EXPECT_TRUE(waitUntil([&] { return server.abandonedByClient() == 1; }));
    EXPECT_EQ(events, 0);
}

} // namespace
