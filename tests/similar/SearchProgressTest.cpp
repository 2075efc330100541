// The whole-folder search's progress on the check half of the photo
// collection, as each front-end reads it: every report of the engine, and
// every line corvane-find writes on a terminal. Stages come in their order,
// each as "step k of n" of the stages that search runs; a stage's counts and
// the fraction of the whole search never fall; the pairs the grouping asks
// for beyond the candidates are counted in the proving stage.
#include "FindCommand.h"
#include "SamePhotoFixture.h"

#include <QRegularExpression>
#include <QStandardPaths>

#include <string>
#include <vector>

namespace {

using Stage = FinderProgress::Stage;

const std::vector<Stage> kIdenticalStages{Stage::Scanning, Stage::ReadingHeaders, Stage::Decoding};
const std::vector<Stage> kSamePhotoStages{Stage::Scanning, Stage::ReadingHeaders, Stage::Decoding,
    Stage::Signing, Stage::FindingCandidates, Stage::Proving, Stage::Grouping};

// One report as a front-end shows it: the stage by name, its step, its count.
struct Shown {
    std::string stage;
    int step = 0;
    int steps = 0;
    std::int64_t done = 0;
    std::int64_t total = 0;
    double fraction = -1; // the engine's fraction; -1 where the front-end shows none
};

// Checks a sequence of reports: the stages in `names` order, none skipped or
// repeated after it was left, step k of n right, counts and fraction never falling.
void expectNeverBackwards(const std::vector<Shown>& shown, const std::vector<std::string>& names)
{
    ASSERT_FALSE(shown.empty());
    std::vector<std::string> order;
    double fraction = 0;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const Shown& now = shown[i];
        SCOPED_TRACE("report " + std::to_string(i) + ": " + now.stage + " "
            + std::to_string(now.done) + " of " + std::to_string(now.total));
        if (order.empty() || order.back() != now.stage)
            order.push_back(now.stage);
        const auto at = std::find(names.begin(), names.end(), now.stage);
        ASSERT_NE(at, names.end());
        EXPECT_EQ(now.step, int(at - names.begin()) + 1);
        EXPECT_EQ(now.steps, int(names.size()));
        if (now.total > 0) {
            EXPECT_LE(now.done, now.total);
        }
        if (i > 0 && shown[i - 1].stage == now.stage) {
            EXPECT_GE(now.done, shown[i - 1].done);
            EXPECT_GE(now.total, shown[i - 1].total);
        }
        if (now.fraction >= 0) {
            EXPECT_GE(now.fraction, fraction);
            EXPECT_LE(now.fraction, 1.0);
            fraction = now.fraction;
        }
    }
    EXPECT_EQ(order, names);
}

std::vector<std::string> namesOf(const std::vector<Stage>& stages)
{
    static const char* const kNames[] = {"scanning", "reading headers", "decoding", "signing",
        "finding candidates", "proving", "grouping"};
    std::vector<std::string> names;
    for (Stage stage : stages)
        names.emplace_back(kNames[int(stage)]);
    return names;
}

} // namespace

// Through the engine, cold and warm, with and without the same-photo
// stages, on one worker and on several: the same answer every time.
TEST_F(SamePhotoCollectionTest, EngineProgressComesStageByStageAndNeverFalls)
{
    QTemporaryDir dir;
    const QString cache = dir.filePath(QStringLiteral("cache.sqlite"));
    const struct {
        const char* name;
        bool samePhoto;
        bool useCache;
        bool warm; // the cache was filled by the row before
        int threads;
    } rows[] = {
        {"same photos, cold, one worker", true, false, false, 1},
        {"same photos, cold, four workers", true, true, false, 4},
        {"same photos, warm", true, true, true, 4},
        {"identical only", false, false, false, 2},
    };
    std::vector<std::string> reference;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FinderOptions options = optionsFor(s_check.root, cache);
        options.useCache = row.useCache;
        options.samePhoto = row.samePhoto;
        options.threads = row.threads;
        Finder finder(options);
        std::vector<FinderProgress> reports;
        const FinderResult result
            = finder.run(nullptr, [&](const FinderProgress& p) { reports.push_back(p); });
        ASSERT_FALSE(reports.empty());
        EXPECT_EQ(reports.back().stage, Stage::Finished);
        EXPECT_EQ(reports.back().fraction, 1.0);
        reports.pop_back();

        std::vector<Shown> shown;
        for (const FinderProgress& p : reports)
            shown.push_back(
                {namesOf({p.stage}).front(), p.step, p.steps, p.done, p.total, p.fraction});
        const std::vector<Stage>& stages = row.samePhoto ? kSamePhotoStages : kIdenticalStages;
        expectNeverBackwards(shown, namesOf(stages));
        // Every stage ends at its total.
        for (std::size_t i = 0; i + 1 < reports.size(); ++i) {
            if (reports[i].stage != reports[i + 1].stage && reports[i].stage != Stage::Scanning) {
                EXPECT_EQ(reports[i].done, reports[i].total) << namesOf({reports[i].stage})[0];
            }
        }
        if (!row.samePhoto)
            continue;
        const FinderStats& stats = finder.stats();
        const FinderProgress& proving = *std::find_if(reports.rbegin(), reports.rend(),
            [](const FinderProgress& p) { return p.stage == Stage::Proving; });
        // Every candidate, and every question of the grouping beyond them;
        // warm, the cache answers all of them and the count is the candidates'.
        EXPECT_GE(proving.total, stats.photoCandidates);
        if (!row.warm) {
            EXPECT_GE(proving.total, stats.photoProofsMeasured);
            EXPECT_GE(stats.photoProofsMeasured, stats.photoCandidates);
        } else {
            EXPECT_EQ(stats.photoProofsMeasured, 0);
            EXPECT_EQ(proving.total, stats.photoCandidates);
        }
        if (reference.empty())
            reference = answerOf(result, true);
        EXPECT_EQ(answerOf(result, true), reference);
    }
    EXPECT_FALSE(reference.empty());
}

// corvane-find on a terminal (util-linux's script gives it one): every line
// it writes, read back as a user sees it.
TEST_F(SamePhotoCollectionTest, CommandLineProgressNamesEachStepAndNeverFalls)
{
    const QString script = QStandardPaths::findExecutable(QStringLiteral("script"));
    if (script.isEmpty())
        GTEST_SKIP() << "no script(1) to run corvane-find on a terminal";
    QTemporaryDir cache;
    const struct {
        const char* name;
        QString option;
        std::vector<Stage> stages;
    } rows[] = {
        {"same photos", QStringLiteral("--similar"), kSamePhotoStages},
        {"identical only", QStringLiteral("-r"), kIdenticalStages},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QString command = QStringLiteral("'%1' --no-cache --format=json %2 '%3' > /dev/null")
                                    .arg(FindCommand::program(), row.option, s_check.root);
        const FindCommand::Outcome terminal
            = FindCommand()
                  .cacheHome(cache.path())
                  .timeout(600000)
                  .runThrough(
                      script, {QStringLiteral("-qec"), command, QStringLiteral("/dev/null")});
        ASSERT_EQ(terminal.exitCode, 0);
        const QByteArray out = terminal.out;
        // "\r" + line + erase to the end, each report; "\r" + erase at the end.
        const QRegularExpression form(QStringLiteral(
            R"(^step (\d+) of (\d+), ([a-z ]+?)(?:: (\d+) files found| (\d+) of (\d+) [a-z]+)(?:, \d+/s, \d+ s left)?$)"));
        std::vector<Shown> shown;
        bool finished = false;
        for (QByteArray line : out.split('\r')) {
            line.replace("\x1b[K", "");
            line = line.trimmed();
            if (line.isEmpty())
                continue;
            EXPECT_FALSE(finished) << "a line after the last: " << line.toStdString();
            if (line == "done") {
                finished = true;
                continue;
            }
            const QRegularExpressionMatch match = form.match(QString::fromUtf8(line));
            ASSERT_TRUE(match.hasMatch()) << line.toStdString();
            Shown now{match.captured(3).toStdString(), match.captured(1).toInt(),
                match.captured(2).toInt()};
            if (match.capturedLength(4) > 0) {
                now.done = match.captured(4).toLongLong();
            } else {
                now.done = match.captured(5).toLongLong();
                now.total = match.captured(6).toLongLong();
            }
            shown.push_back(now);
        }
        expectNeverBackwards(shown, namesOf(row.stages));
        EXPECT_TRUE(finished);
        EXPECT_TRUE(out.endsWith("\r\x1b[K")) << "the line is wiped at the end";
    }
}
