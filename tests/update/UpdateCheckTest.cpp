#include "update/UpdateCheck.h"

#include "ScriptedHttpServer.h"
#include "update/ucUpdates.h"

#include <gtest/gtest.h>
#include <optional>

namespace {

struct PageCase {
    const char* name;
    ScriptedHttpServer::Script home;
    std::optional<QString> announced; // the version the check reports, if any
};

class UpdateCheckPage : public ::testing::TestWithParam<PageCase> {
protected:
    ScriptedHttpServer server;
    ScopedSite site{server.site()};
};

TEST_P(UpdateCheckPage, AnnouncesOnlyANewerVersion)
{
    server.script("/", GetParam().home);
    UpdateCheck check;
    check.downloader()->setTimeoutMs(300);
    QStringList announced;
    bool finished = false;
    QObject::connect(
        &check, &UpdateCheck::newVersionAvailable, [&](const QString& v) { announced << v; });
    QObject::connect(
        check.downloader(), &ucUpdates::updatesReady, [&](QString&) { finished = true; });
    QObject::connect(check.downloader(), &ucUpdates::noUpdates, [&](QString&) { finished = true; });

    check.CheckForUpdate();
    EXPECT_EQ(check.downloader()->PendingKeys(), QString(QChar(0)) + "1" + QChar(0));
    ASSERT_TRUE(waitUntil([&] { return finished; }));

    // Qt may retry a GET once when the connection closes without an answer.
    ASSERT_GE(server.requests().size(), 1);
    EXPECT_TRUE(server.requests()[0].startsWith("GET / HTTP/1.1"));
    if (GetParam().announced) {
        ASSERT_EQ(announced.size(), 1);
        EXPECT_EQ(announced[0], *GetParam().announced);
    } else {
        EXPECT_TRUE(announced.isEmpty()) << announced.join(",").toStdString();
    }
}

using B = ScriptedHttpServer::Behaviour;
ScriptedHttpServer::Script page(const char* body, int status = 200)
{
    return {B::Answer, status, body, -1};
}

INSTANTIATE_TEST_SUITE_P(Pages, UpdateCheckPage,
    ::testing::Values(
        PageCase{"Newer120", page("<html><b>Corvane ver 1.20</b></html>"), QString("1.20")},
        PageCase{"Same110", page("<b>Corvane ver 1.10</b>"), std::nullopt},
        PageCase{"Older105", page("<b>Corvane ver 1.05</b>"), std::nullopt},
        // The fourth character is whatever follows on the page.
        PageCase{"Newer19", page("<b>Corvane ver 1.9</b>"), QString("1.9<")},
        PageCase{"Newer111", page("Corvane ver 1.11"), QString("1.11")},
        PageCase{"NoMarker", page("<html>Welcome to our tools</html>"), std::nullopt},
        PageCase{"FirstMarkerCounts", page("Corvane ver 1.05 ... Corvane ver 1.50"), std::nullopt},
        PageCase{"FirstMarkerCountsNewer", page("Corvane ver 1.50 ... Corvane ver 1.05"),
            QString("1.50")},
        PageCase{"NotANumber", page("Corvane ver beta"), std::nullopt},
        PageCase{"EmptyPage", page(""), std::nullopt},
        PageCase{"ErrorPageWithNewerVersion", page("Corvane ver 9.99", 404), std::nullopt},
        PageCase{"ClosesWithoutAnswer", {B::CloseWithoutAnswer, 0, "", -1}, std::nullopt},
        PageCase{"NeverAnswers", {B::NeverAnswer, 0, "", -1}, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
