// corvane-find's filters as a user runs them: wrong sizes refused with a
// clear message, protected files read back from the JSON and CSV reports by
// Python's own parsers, and the ignore list in the data folder brought back
// and forgotten from the command line.
#include "FindCommand.h"
#include "TestCollection.h"

#include "finder/IgnoreList.h"
#include "report/ReportWriters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

using Outcome = FindCommand::Outcome;

class FindFiltersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid());
        QDir().mkpath(folder());
        // A large picture in three places, one of them a master folder, and
        // a small one twice.
        const QString big = folder() + QStringLiteral("/dl/a.png");
        QDir().mkpath(folder() + QStringLiteral("/dl"));
        QDir().mkpath(folder() + QStringLiteral("/master"));
        ASSERT_TRUE(testcollection::run(QStringLiteral("convert"),
            {QStringLiteral("-size"), QStringLiteral("120x90"), QStringLiteral("-seed"),
                QStringLiteral("3"), QStringLiteral("plasma:"), big}));
        ASSERT_TRUE(QFile::copy(big, folder() + QStringLiteral("/dl/b.png")));
        ASSERT_TRUE(QFile::copy(big, folder() + QStringLiteral("/master/a.png")));
        ASSERT_TRUE(testcollection::run(QStringLiteral("convert"),
            {QStringLiteral("-size"), QStringLiteral("4x4"), QStringLiteral("xc:red"),
                folder() + QStringLiteral("/dl/small1.png")}));
        ASSERT_TRUE(QFile::copy(folder() + QStringLiteral("/dl/small1.png"),
            folder() + QStringLiteral("/dl/small2.png")));
    }

    QString folder() const { return m_home.filePath(QStringLiteral("pictures")); }
    QString dataHome() const { return m_home.filePath(QStringLiteral("data")); }

    Outcome find(const QStringList& arguments) const
    {
        return FindCommand()
            .set(QStringLiteral("HOME"), m_home.path())
            .cacheHome(m_home.filePath(QStringLiteral("cache")))
            .set(QStringLiteral("XDG_DATA_HOME"), dataHome())
            .workingDirectory(m_home.path())
            .run(arguments);
    }

    // Python's output for a report, one line each.
    static QByteArray python(const QString& script, const QByteArray& report)
    {
        QByteArray output;
        EXPECT_TRUE(testcollection::run(
            QStringLiteral("python3"), {QStringLiteral("-c"), script}, &output, report))
            << "the parser refused the report";
        return output;
    }

    QTemporaryDir m_home;
};

TEST_F(FindFiltersTest, WrongSizesAndPatternsAreRefusedWithTheirReason)
{
    struct Case {
        QStringList arguments;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{QStringLiteral("--min-size=1.5K")}, "--min-size needs a size"},
        {{QStringLiteral("--min-size=-1")}, "--min-size needs a size"},
        {{QStringLiteral("--min-size=10KB")}, "--min-size needs a size"},
        {{QStringLiteral("--min-size=")}, "--min-size needs a size"},
        {{QStringLiteral("--min-size=99999999999999999999")}, "--min-size needs a size"},
        {{QStringLiteral("--exclude=")}, "--exclude needs a pattern"},
        {{QStringLiteral("--protect=") + QStringLiteral("/no/such/folder")},
            "cannot read folder '/no/such/folder'"},
    };
    for (const Case& c : cases) {
        const Outcome outcome = find(c.arguments + QStringList{folder()});
        EXPECT_EQ(outcome.exitCode, 2) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(outcome.err.contains(c.message)) << outcome.err.toStdString();
        EXPECT_TRUE(outcome.out.isEmpty());
    }
    // The last option without its value.
    const Outcome missing = find({folder(), QStringLiteral("--min-size")});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(missing.err.contains("--min-size needs a size")) << missing.err.toStdString();
}

TEST_F(FindFiltersTest, ProtectedFilesReadBackFromJsonAndCsv)
{
    const QStringList common = {QStringLiteral("-r"), QStringLiteral("--min-size"),
        QStringLiteral("1K"), QStringLiteral("--protect"), folder() + QStringLiteral("/master")};
    const Outcome json = find(common + QStringList{QStringLiteral("--format=json"), folder()});
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    const QByteArray fromJson = python(QStringLiteral(R"script(
import json, sys
report = json.load(sys.stdin)
print('not examined %d' % report['files_not_examined'])
for group in report['groups']:
    for f in group['files']:
        print('%s %s' % (f['path'].rsplit('/', 2)[-2] + '/' + f['path'].rsplit('/', 1)[1], f.get('protected', False)))
)script"),
        json.out);
    EXPECT_EQ(fromJson,
        "not examined 2\n"
        "dl/a.png False\n"
        "dl/b.png False\n"
        "master/a.png True\n");

    const Outcome csv = find(common + QStringList{QStringLiteral("--format=csv"), folder()});
    ASSERT_EQ(csv.exitCode, 0) << csv.err.toStdString();
    const QByteArray fromCsv = python(QStringLiteral(R"script(
import csv, io, sys
rows = list(csv.reader(io.TextIOWrapper(sys.stdin.buffer, encoding='utf-8', newline='')))
print(','.join(rows[0][-2:]))
for row in rows[1:]:
    assert len(row) == len(rows[0]), row
    print(row[1].rsplit('/', 1)[1], row[-2], row[-1])
)script"),
        csv.out);
    EXPECT_EQ(fromCsv, "protected,ignored\na.png 0 0\nb.png 0 0\na.png 1 0\n");
    EXPECT_TRUE(csv.err.contains("2 files not examined (smaller than the minimum size)"))
        << csv.err.toStdString();

    // Text: the path, then the mark.
    const Outcome text = find(common + QStringList{folder()});
    EXPECT_TRUE(text.out.contains(QFile::encodeName(folder()) + "/master/a.png  (protected)\n"))
        << text.out.toStdString();
}

TEST_F(FindFiltersTest, IgnoredGroupsComeBackWhenAskedAndGoWhenForgotten)
{
    // The small pictures' group, judged not duplicates as the review window does.
    FoundFile first;
    FoundFile second;
    for (auto [file, name] : {std::pair{&first, "small1.png"}, std::pair{&second, "small2.png"}}) {
        file->path = QFile::encodeName(folder() + QStringLiteral("/dl/") + QLatin1String(name));
        struct stat info;
        ASSERT_EQ(::lstat(file->path.constData(), &info), 0);
        file->identity = identityOf(info);
    }
    finder::IgnoreList list;
    ASSERT_EQ(list.add({&first, &second}), QString());
    // Where both front-ends look for it.
    const QString listFile = dataHome() + QStringLiteral("/Corvane/ignored-groups.json");
    ASSERT_EQ(list.save(listFile), QString());

    const QString groups = QStringLiteral(R"script(
import json, sys
report = json.load(sys.stdin)
print('ignored %d' % report['groups_ignored'])
for group in report['groups']:
    print(' '.join('%s%s' % (f['path'].rsplit('/', 1)[1], '*' if f.get('ignored') else '') for f in group['files']))
)script");
    const QStringList json = {QStringLiteral("-r"), QStringLiteral("--format=json")};
    EXPECT_EQ(
        python(groups, find(json + QStringList{folder()}).out), "ignored 1\na.png b.png a.png\n");
    EXPECT_EQ(
        python(groups, find(json + QStringList{QStringLiteral("--show-ignored"), folder()}).out),
        "ignored 0\na.png b.png a.png\nsmall1.png* small2.png*\n");
    const Outcome summary = find({QStringLiteral("-r"), folder()});
    EXPECT_TRUE(summary.err.contains("1 group judged not duplicates left out"))
        << summary.err.toStdString();

    // Forgotten without a search, then every group is back.
    const Outcome forget = find({QStringLiteral("--forget-ignored")});
    EXPECT_EQ(forget.exitCode, 0) << forget.err.toStdString();
    EXPECT_FALSE(QFile::exists(listFile));
    EXPECT_EQ(python(groups, find(json + QStringList{folder()}).out),
        "ignored 0\na.png b.png a.png\nsmall1.png small2.png\n");
}

} // namespace
