// corvane-find as a user runs it: its three report forms read back by real
// parsers (Python's json and csv modules, bash for the text form's quoting),
// its exit status and messages, its progress line, and a read-only cache.
#include "FindCommand.h"
#include "TestCollection.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <set>

#include <unistd.h>

namespace {

using testcollection::Collection;

const QString kFind = FindCommand::program();
using Outcome = FindCommand::Outcome;

// A group as the parsers print it: the base64 of each path's exact bytes,
// sorted, separated by blanks; one line per group, lines sorted.
using Canonical = std::set<QByteArray>;

class FindCommandTest : public ::testing::Test {
public:
    static void SetUpTestSuite()
    {
        s_dir = new QTemporaryDir;
        s_root = s_dir->filePath(QStringLiteral("collection"));
        QDir().mkpath(s_root);
        s_ready = testcollection::make(s_root, &s_collection);
    }
    static void TearDownTestSuite()
    {
        testcollection::run(QStringLiteral("rm"), {QStringLiteral("-rf"), s_dir->path()});
        delete s_dir;
    }

    void SetUp() override { ASSERT_TRUE(s_ready); }

    FindCommand findCommand() const
    {
        return FindCommand().cacheHome(m_cache.path()).workingDirectory(m_cache.path());
    }
    Outcome find(const QStringList& arguments) const { return findCommand().run(arguments); }

    // Runs a parser script over a report; its output, one line per group.
    static Canonical parse(
        const QString& interpreter, const QString& script, const QByteArray& report)
    {
        QByteArray output;
        EXPECT_TRUE(
            testcollection::run(interpreter, {QStringLiteral("-c"), script}, &output, report))
            << "the parser refused the report";
        Canonical lines;
        for (const QByteArray& line : output.split('\n')) {
            if (!line.isEmpty())
                lines.insert(line);
        }
        return lines;
    }

    static Canonical expectedGroups()
    {
        const QByteArray root = QFile::encodeName(s_root) + '/';
        Canonical lines;
        for (const auto& group : s_collection.groups) {
            std::set<QByteArray> members;
            for (const QByteArray& member : group)
                members.insert((root + member).toBase64());
            QByteArray line;
            for (const QByteArray& member : members)
                line += (line.isEmpty() ? "" : " ") + member;
            lines.insert(line);
        }
        return lines;
    }

    static inline QTemporaryDir* s_dir = nullptr;
    static inline QString s_root;
    static inline Collection s_collection;
    static inline bool s_ready = false;
    QTemporaryDir m_cache;
};

const QString kPython = QStringLiteral("python3");

// Paths as exact bytes: "path_bytes" when present, else the UTF-8 of "path".
const QString kJsonGroups = QStringLiteral(R"script(
import base64, json, sys
report = json.load(sys.stdin)
def exact(entry):
    return base64.b64decode(entry['path_bytes']) if 'path_bytes' in entry else entry['path'].encode()
for group in report['groups']:
    assert group['width'] > 0 and group['height'] > 0 and group['frames'] >= 1
    for f in group['files']:
        assert f['size'] > 0 and f['type'] in ('BMP', 'JPEG', 'GIF', 'PNG', 'TIFF', 'JPEG 2000')
    print(' '.join(sorted(base64.b64encode(exact(f)).decode() for f in group['files'])))
)script");

TEST_F(FindCommandTest, JsonReportReadsBackAsEveryTrueGroup)
{
    const Outcome outcome
        = find({QStringLiteral("--recursive"), QStringLiteral("--format=json"), s_root});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_EQ(parse(kPython, kJsonGroups, outcome.out), expectedGroups());

    const QString summary = QStringLiteral(R"script(
import json, sys
report = json.load(sys.stdin)
print('examined %d' % report['files_examined'])
print('folders %d' % len(report['folders']))
for entry in report['unreadable']:
    assert entry['reason'] and entry['type'] and entry['size'] >= 0, entry
    print('unreadable ' + entry['path'].rsplit('/', 1)[1])
)script");
    const Canonical lines = parse(kPython, summary, outcome.out);
    EXPECT_TRUE(lines.count("examined " + QByteArray::number(s_collection.examined)));
    EXPECT_TRUE(lines.count("folders 1"));
    for (const QByteArray& bad : s_collection.unreadable)
        EXPECT_TRUE(lines.count("unreadable " + bad)) << bad.toStdString();
}

TEST_F(FindCommandTest, CsvReportReadsBackAsEveryTrueGroup)
{
    const Outcome outcome
        = find({QStringLiteral("--recursive"), QStringLiteral("--format=csv"), s_root});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    const QString script = QStringLiteral(R"script(
import base64, csv, io, sys
rows = list(csv.DictReader(io.TextIOWrapper(sys.stdin.buffer, encoding='utf-8', newline='')))
groups = {}
for row in rows:
    if row['group']:
        exact = base64.b64decode(row['path_bytes']) if row['path_bytes'] else row['path'].encode()
        groups.setdefault(row['group'], []).append(base64.b64encode(exact).decode())
        assert int(row['size']) > 0 and int(row['width']) > 0
    else:
        assert row['reason'] and row['type'] and int(row['size']) >= 0, row
        print('unreadable ' + row['path'].rsplit('/', 1)[1])
for members in groups.values():
    print(' '.join(sorted(members)))
)script");
    Canonical lines = parse(kPython, script, outcome.out);
    for (const QByteArray& bad : s_collection.unreadable)
        EXPECT_EQ(lines.erase("unreadable " + bad), 1u) << bad.toStdString();
    EXPECT_EQ(lines, expectedGroups());
}

TEST_F(FindCommandTest, TextReportReadsBackThroughBashQuoting)
{
    const Outcome outcome = find({QStringLiteral("-r"), s_root});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    // Paragraphs are groups; a line in $'...' is read back by bash itself.
    const QString script = QStringLiteral(R"script(
members=()
flush() {
  if [ ${#members[@]} -gt 0 ]; then
    printf '%s\n' "$(printf '%s\n' "${members[@]}" | sort | tr '\n' ' ' | sed 's/ $//')"
  fi
  members=()
}
while IFS= read -r line; do
  if [ -z "$line" ]; then flush; continue; fi
  if [[ $line == "\$'"* ]]; then eval "path=$line"; else path=$line; fi
  members+=("$(printf '%s' "$path" | base64 -w0)")
done
flush
)script");
    EXPECT_EQ(parse(QStringLiteral("bash"), script, outcome.out), expectedGroups());
    // Unreadable files go to standard error, each with its reason.
    for (const QByteArray& bad : s_collection.unreadable)
        EXPECT_TRUE(outcome.err.contains("/" + bad + ": "))
            << bad.toStdString() << outcome.err.toStdString();
}

TEST_F(FindCommandTest, WithoutSubfoldersFewerGroups)
{
    const Outcome outcome = find({QStringLiteral("--format=json"), s_root});
    ASSERT_EQ(outcome.exitCode, 0);
    const Canonical groups = parse(kPython, kJsonGroups, outcome.out);
    EXPECT_LT(groups.size(), expectedGroups().size()); // the odd names live in a subfolder
    EXPECT_FALSE(groups.empty());
}

struct NamesCase {
    const char* name;
    QStringList options;
    // From the JSON report: groups as sorted names, and the counts.
    const char* jsonSummary;
    const char* textSummary; // the summary line of the text form
};

class FindNamesTest : public FindCommandTest, public ::testing::WithParamInterface<NamesCase> { };

// Pictures under names without a picture suffix: counted in every form's
// summary by default, examined by content with --any-name, where a file that
// holds no picture is counted and not called unreadable.
TEST_P(FindNamesTest, OtherNamesAreCountedOrExamined)
{
    const NamesCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto file = [&](const char* name) { return dir.filePath(QLatin1String(name)); };
    ASSERT_TRUE(testcollection::run(QStringLiteral("convert"),
        {QStringLiteral("-size"), QStringLiteral("16x12"), QStringLiteral("gradient:red-blue"),
            file("a.jpg")}));
    ASSERT_TRUE(testcollection::run(QStringLiteral("convert"),
        {QStringLiteral("-size"), QStringLiteral("16x12"), QStringLiteral("gradient:green-white"),
            file("b.png")}));
    for (const auto& [from, to] : {std::pair{"a.jpg", "IMG_0001"},
             std::pair{"a.jpg", "IMG_0002.HIF"}, std::pair{"b.png", "photo.dat"}})
        ASSERT_TRUE(QFile::copy(file(from), file(to)));
    QFile notes(file("notes.txt"));
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.write("not a picture\n");
    notes.close();

    const Outcome json = find(c.options + QStringList{QStringLiteral("--format=json"), dir.path()});
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    const QString script = QStringLiteral(R"script(
import json, sys
report = json.load(sys.stdin)
groups = sorted(' '.join(sorted(f['path'].rsplit('/', 1)[1] for f in g['files'])) for g in report['groups'])
print('%d examined, %d not examined, %d not pictures, %d unreadable, groups: %s' % (
    report['files_examined'], report['files_not_examined'], report['files_not_pictures'],
    len(report['unreadable']), ' | '.join(groups)))
)script");
    EXPECT_EQ(parse(kPython, script, json.out), Canonical{c.jsonSummary});

    const Outcome text = find(c.options + QStringList{dir.path()});
    ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
    EXPECT_EQ(text.err, QByteArray("corvane-find: ") + c.textSummary + "\n");
    const Outcome csv = find(c.options + QStringList{QStringLiteral("--format=csv"), dir.path()});
    ASSERT_EQ(csv.exitCode, 0) << csv.err.toStdString();
    EXPECT_EQ(csv.err, text.err);
}

INSTANTIATE_TEST_SUITE_P(Cases, FindNamesTest,
    ::testing::Values(
        NamesCase{"PictureNamesOnly", {},
            "3 examined, 3 not examined, 0 not pictures, 0 unreadable, groups: IMG_0002.HIF a.jpg",
            "3 files examined: 1 group of identical pictures (2 files), 0 unreadable; 3 files not "
            "examined (names without a picture suffix; --any-name examines them)"},
        NamesCase{"AnyName", {QStringLiteral("--any-name")},
            "6 examined, 0 not examined, 1 not pictures, 0 unreadable, groups: IMG_0001 "
            "IMG_0002.HIF a.jpg | b.png photo.dat",
            "6 files examined: 2 groups of identical pictures (5 files), 0 unreadable, 1 file not "
            "a picture"}),
    [](const ::testing::TestParamInfo<NamesCase>& info) { return std::string(info.param.name); });

struct UsageCase {
    const char* name;
    QStringList arguments;
    int exitCode;
    const char* stdoutHolds;
    const char* stderrHolds;
};

class FindUsageTest : public FindCommandTest, public ::testing::WithParamInterface<UsageCase> { };

TEST_P(FindUsageTest, ExitStatusAndOneLineMessage)
{
    const UsageCase& c = GetParam();
    QDir(m_cache.path()).mkpath(QStringLiteral("-folder with dash"));
    QFile plain(m_cache.filePath(QStringLiteral("plain.txt")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const Outcome outcome = find(c.arguments);
    EXPECT_EQ(outcome.exitCode, c.exitCode) << outcome.err.toStdString();
    EXPECT_TRUE(outcome.out.contains(c.stdoutHolds)) << outcome.out.toStdString();
    EXPECT_TRUE(outcome.err.contains(c.stderrHolds)) << outcome.err.toStdString();
    if (c.exitCode == 2) {
        EXPECT_EQ(outcome.err.count('\n'), 1) << "one line: " << outcome.err.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, FindUsageTest,
    ::testing::Values(UsageCase{"NoFolder", {}, 2, "", "no folder given"},
        UsageCase{"UnknownOption", {QStringLiteral("--fast"), QStringLiteral(".")}, 2, "",
            "unknown option"},
        UsageCase{"UnknownFormat", {QStringLiteral("--format=xml"), QStringLiteral(".")}, 2, "",
            "unknown format"},
        UsageCase{"MissingFolder", {QStringLiteral("no-such-folder")}, 2, "", "cannot read folder"},
        UsageCase{
            "FileInsteadOfFolder", {QStringLiteral("plain.txt")}, 2, "", "cannot read folder"},
        UsageCase{"Help", {QStringLiteral("--help")}, 0, "path_bytes", ""},
        UsageCase{"Version", {QStringLiteral("--version")}, 0, "corvane-find 1.", ""},
        UsageCase{"DashFolderAfterDoubleDash",
            {QStringLiteral("--format=json"), QStringLiteral("--"),
                QStringLiteral("-folder with dash")},
            0, "\"files_examined\": 0", ""},
        UsageCase{"EmptyFolderIsASearchThatRan", {QStringLiteral("-folder with dash/")}, 2, "",
            "unknown option"}),
    [](const ::testing::TestParamInfo<UsageCase>& info) { return std::string(info.param.name); });

TEST_F(FindCommandTest, ProgressLineOnlyOnATerminal)
{
    // Standard error is a pipe here: nothing but the report's own lines.
    const Outcome piped = find({QStringLiteral("-r"), QStringLiteral("--format=json"), s_root});
    ASSERT_EQ(piped.exitCode, 0);
    EXPECT_TRUE(piped.err.isEmpty()) << piped.err.toStdString();

    // On a terminal (util-linux's script gives it one) the line shows, and is wiped at the end.
    const QString script = QStandardPaths::findExecutable(QStringLiteral("script"));
    if (script.isEmpty())
        GTEST_SKIP() << "no script(1) to run corvane-find on a terminal";
    const QString command
        = QStringLiteral("'%1' -r --no-cache --format=json '%2' > /dev/null").arg(kFind, s_root);
    const Outcome terminal = findCommand().runThrough(
        script, {QStringLiteral("-qec"), command, QStringLiteral("/dev/null")});
    ASSERT_EQ(terminal.exitCode, 0) << terminal.out.toStdString();
    EXPECT_TRUE(terminal.out.contains(" of ")) << terminal.out.toStdString();
    EXPECT_TRUE(terminal.out.contains("\r\x1b[K")) << terminal.out.toStdString();
}

TEST_F(FindCommandTest, ReadOnlyCacheIsBypassedWithANote)
{
    // Fill the cache, then make its folder read-only: as root through a
    // read-only mount in a private mount namespace, else with file modes.
    ASSERT_EQ(find({QStringLiteral("-r"), QStringLiteral("--format=json"), s_root}).exitCode, 0);
    const QString cacheFolder = m_cache.filePath(QStringLiteral("Corvane"));
    ASSERT_TRUE(QFile::exists(cacheFolder + QStringLiteral("/fingerprints.sqlite")));
    Outcome outcome;
    if (geteuid() == 0) {
        const QString command
            = QStringLiteral("mount --bind '%1' '%1' && mount -o remount,bind,ro '%1' && "
                             "exec '%2' -r --format=json '%3'")
                  .arg(cacheFolder, kFind, s_root);
        outcome = findCommand().runThrough(QStringLiteral("unshare"),
            {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"), command});
        if (outcome.exitCode != 0 && outcome.out.isEmpty())
            GTEST_SKIP() << "no private mount namespace here: " << outcome.err.toStdString();
    } else {
        QFile::setPermissions(
            cacheFolder + QStringLiteral("/fingerprints.sqlite"), QFile::ReadOwner);
        QFile::setPermissions(cacheFolder, QFile::ReadOwner | QFile::ExeOwner);
        outcome = find({QStringLiteral("-r"), QStringLiteral("--format=json"), s_root});
        QFile::setPermissions(cacheFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_EQ(parse(kPython, kJsonGroups, outcome.out), expectedGroups());
    EXPECT_TRUE(outcome.err.contains("corvane-find: note: the fingerprint cache was not used: it "))
        << outcome.err.toStdString();
}

} // namespace
