// The exported list read back by real readers: QJsonDocument for JSON and
// Python's csv module for CSV, with names that need quoting and a name that
// is not valid UTF-8.
#include "FindCommand.h"
#include "ReviewTestData.h"

#include "report/ReportWriters.h"
#include "review/ReviewItemModel.h"
#include "review/ReviewModel.h"
#include "review/WholeFolderSearch.h"
#include "review/frmReview.h"

#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeView>

#include <atomic>
#include <gtest/gtest.h>

using namespace ReviewTestData;

namespace {

const QByteArray kOddNames[] = {
    "/photos/plain.png",
    "/photos/with, comma.png",
    "/photos/with \"quotes\".png",
    "/photos/line\nbreak.png",
    "/photos/ leading blank.png",
    "/photos/-dash *star.png",
    "/photos/not utf8 \xff\xfe.png",
    "/photos/caf\xc3\xa9.png",
};

FinderResult oddResult()
{
    DuplicateGroup first;
    first.width = 640;
    first.height = 480;
    for (int i = 0; i < 4; ++i)
        first.files.push_back(memberFile({kOddNames[i].constData(), 1000 + i, 1}));
    DuplicateGroup second;
    second.width = 3;
    second.height = 2;
    second.frames = 5;
    for (int i = 4; i < 8; ++i)
        second.files.push_back(memberFile({kOddNames[i].constData(), 7, 1}));
    second.files[3].type = QStringLiteral("JPEG 2000");
    FinderResult result = resultOf({first, second});
    result.filesExamined = 12;
    result.unreadable.push_back({"/photos/broken\xff.jpg", QStringLiteral("truncated JPEG data")});
    return result;
}

QByteArray exactPath(const QJsonObject& o)
{
    if (o.contains(QStringLiteral("path_bytes")))
        return QByteArray::fromBase64(o.value(QStringLiteral("path_bytes")).toString().toLatin1());
    return o.value(QStringLiteral("path")).toString().toUtf8();
}

TEST(ResultExportTest, JsonReadsBackToTheSameGroupsAndNames)
{
    const FinderResult result = oddResult();
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(findreport::json(result), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    const QJsonObject root = doc.object();
    const QJsonArray folders = root.value(QStringLiteral("folders")).toArray();
    ASSERT_EQ(folders.size(), 1);
    EXPECT_EQ(exactPath(folders[0].toObject()), QByteArray("/photos"));
    EXPECT_EQ(root.value(QStringLiteral("files_examined")).toInteger(), 12);
    const QJsonArray groups = root.value(QStringLiteral("groups")).toArray();
    ASSERT_EQ(groups.size(), 2);
    int name = 0;
    for (int g = 0; g < 2; ++g) {
        const QJsonObject group = groups[g].toObject();
        EXPECT_EQ(group.value(QStringLiteral("width")).toInteger(), result.groups[g].width);
        EXPECT_EQ(group.value(QStringLiteral("height")).toInteger(), result.groups[g].height);
        EXPECT_EQ(group.value(QStringLiteral("frames")).toInteger(), result.groups[g].frames);
        const QJsonArray files = group.value(QStringLiteral("files")).toArray();
        ASSERT_EQ(files.size(), 4);
        for (int f = 0; f < 4; ++f, ++name) {
            const QJsonObject file = files[f].toObject();
            EXPECT_EQ(exactPath(file), kOddNames[name]);
            EXPECT_EQ(file.contains(QStringLiteral("path_bytes")), name == 6);
            EXPECT_EQ(file.value(QStringLiteral("size")).toInteger(),
                result.groups[g].files[f].identity.size);
            EXPECT_EQ(
                file.value(QStringLiteral("type")).toString(), result.groups[g].files[f].type);
        }
    }
    const QJsonArray unreadable = root.value(QStringLiteral("unreadable")).toArray();
    ASSERT_EQ(unreadable.size(), 1);
    EXPECT_EQ(exactPath(unreadable[0].toObject()), QByteArray("/photos/broken\xff.jpg"));
    EXPECT_EQ(unreadable[0].toObject().value(QStringLiteral("reason")).toString(),
        QStringLiteral("truncated JPEG data"));
}

TEST(ResultExportTest, CsvReadsBackThroughPythonsCsvModule)
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        GTEST_SKIP() << "python3 is not installed";
    // Each row comes back as JSON so that the comparison happens here.
    const char* script
        = "import csv, io, json, sys\n"
          "rows = list(csv.reader(io.StringIO(sys.stdin.buffer.read().decode('utf-8'), "
          "newline='')))\n"
          "print(json.dumps(rows))\n";
    QProcess process;
    process.start(python, {QStringLiteral("-c"), QString::fromLatin1(script)});
    ASSERT_TRUE(process.waitForStarted());
    process.write(findreport::csv(oddResult()));
    process.closeWriteChannel();
    ASSERT_TRUE(process.waitForFinished());
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    const QJsonArray rows = QJsonDocument::fromJson(process.readAllStandardOutput()).array();
    ASSERT_EQ(rows.size(), 10);
    EXPECT_EQ(rows[0].toArray(),
        (QJsonArray{"group", "path", "path_bytes", "size", "type", "width", "height", "frames",
            "reason", "kind", "ssim", "mean", "max", "compared_width", "compared_height",
            "identical_group", "best_copy", "best_because", "local", "local_limit", "local_x",
            "local_y", "local_width", "local_height", "tone_red", "tone_green", "tone_blue",
            "framing_shift", "protected", "ignored"}));
    const FinderResult result = oddResult();
    for (int i = 0; i < 8; ++i) {
        const QJsonArray row = rows[i + 1].toArray();
        const int g = i / 4;
        const FoundFile& file = result.groups[g].files[i % 4];
        ASSERT_EQ(row.size(), 30) << i;
        EXPECT_EQ(row[9].toString(), QStringLiteral("identical"));
        EXPECT_EQ(row[0].toString(), QString::number(g + 1));
        const QByteArray exact = row[2].toString().isEmpty()
            ? row[1].toString().toUtf8()
            : QByteArray::fromBase64(row[2].toString().toLatin1());
        EXPECT_EQ(exact, kOddNames[i]) << i;
        EXPECT_EQ(row[3].toString(), QString::number(file.identity.size));
        EXPECT_EQ(row[4].toString(), file.type);
        EXPECT_EQ(row[5].toString(), QString::number(result.groups[g].width));
        EXPECT_EQ(row[6].toString(), QString::number(result.groups[g].height));
        EXPECT_EQ(row[7].toString(), QString::number(result.groups[g].frames));
        EXPECT_EQ(row[8].toString(), QString());
    }
    const QJsonArray unreadable = rows[9].toArray();
    EXPECT_EQ(unreadable[0].toString(), QString());
    EXPECT_EQ(QByteArray::fromBase64(unreadable[2].toString().toLatin1()),
        QByteArray("/photos/broken\xff.jpg"));
    EXPECT_EQ(unreadable[8].toString(), QStringLiteral("truncated JPEG data"));
}

TEST(ResultExportTest, TheReviewExportsWhatIsStillThere)
{
    ReviewModel model(oddResult());
    model.forgetFiles({model.file({0, 1}).id, model.file({0, 2}).id, model.file({0, 3}).id});
    const FinderResult now = model.currentResult();
    ASSERT_EQ(now.groups.size(), size_t(1)); // the first group is down to one file
    EXPECT_EQ(now.groups[0].files.size(), size_t(4));
    EXPECT_EQ(now.groups[0].frames, 5u);
    EXPECT_EQ(now.filesExamined, 12);
    EXPECT_EQ(now.unreadable.size(), size_t(1));
}

// The index fields of a JSON report, one line per file of every group:
// "group kind path -> identical_group" ("-" where the file has none). Also
// checks that every identical_group points at an identical group that
// holds the file (faults are added to *faults).
QStringList jsonIndexes(const QByteArray& report, QStringList* faults)
{
    const QJsonArray groups
        = QJsonDocument::fromJson(report).object()[QStringLiteral("groups")].toArray();
    QStringList lines;
    for (int g = 0; g < groups.size(); ++g) {
        const QJsonObject group = groups[g].toObject();
        for (const QJsonValue& value : group[QStringLiteral("files")].toArray()) {
            const QJsonObject file = value.toObject();
            const QString path = file[QStringLiteral("path")].toString();
            QString pointer = QStringLiteral("-");
            if (file.contains(QStringLiteral("identical_group"))) {
                const int n = file[QStringLiteral("identical_group")].toInt(-1);
                pointer = QString::number(n);
                bool holds = false;
                const QJsonObject target = groups[n].toObject();
                for (const QJsonValue& other : target[QStringLiteral("files")].toArray())
                    holds = holds || other.toObject()[QStringLiteral("path")].toString() == path;
                if (n < 0 || n >= groups.size()
                    || target[QStringLiteral("kind")].toString() != QStringLiteral("identical")
                    || !holds)
                    *faults << QStringLiteral("json: %1 points at group %2").arg(path).arg(n);
            }
            lines << QStringLiteral("%1 %2 %3 -> %4")
                         .arg(g)
                         .arg(group[QStringLiteral("kind")].toString(), path, pointer);
        }
    }
    return lines;
}

// The same for a CSV report (names here hold no comma or quote): "group kind
// path -> identical_group", the pointer checked against the group column.
QStringList csvIndexes(const QByteArray& report, QStringList* faults)
{
    QList<QStringList> rows;
    for (const QByteArray& line : report.split('\n').mid(1)) {
        if (!line.trimmed().isEmpty())
            rows << QString::fromUtf8(line.trimmed()).split(QLatin1Char(','));
    }
    QStringList lines;
    for (const QStringList& row : rows) {
        if (row.size() != 30 || row[0].isEmpty())
            continue;
        const QString pointer = row[15].isEmpty() ? QStringLiteral("-") : row[15];
        if (!row[15].isEmpty()) {
            bool holds = false;
            for (const QStringList& other : rows) {
                holds = holds
                    || (other[0] == row[15] && other[9] == QStringLiteral("identical")
                        && other[1] == row[1]);
            }
            if (!holds)
                *faults << QStringLiteral("csv: %1 points at group %2").arg(row[1], row[15]);
        }
        lines << QStringLiteral("%1 %2 %3 -> %4").arg(row[0], row[9], row[1], pointer);
    }
    return lines;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A real folder searched by corvane-find and by the window's engine: a large
// identical pair (first, by size), and a photo with a byte copy (an identical
// group that is also the best copy of a same-photo group) and a JPEG re-save.
// Both front-ends write the same index fields; after the large pair leaves
// the review's list, the export points at the photo's group by its new place.
TEST(ResultExportTest, IdenticalGroupPointsAtTheExportedGroupInEveryFrontEnd)
{
    const QString photos = QStringLiteral("/usr/share/backgrounds/mate/nature/");
    if (!QFile::exists(photos + QStringLiteral("LadyBird.jpg")))
        GTEST_SKIP() << "the mate-backgrounds photos are not installed";
    QTemporaryDir dir;
    QTemporaryDir settings;
    ASSERT_TRUE(dir.isValid() && settings.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    const QString folder = dir.path() + QStringLiteral("/photos");
    ASSERT_TRUE(QDir().mkpath(folder));
    const auto at
        = [&](const char* name) { return folder + QLatin1Char('/') + QLatin1String(name); };
    ASSERT_TRUE(convert({photos + QStringLiteral("FreshFlower.jpg"), QStringLiteral("-resize"),
        QStringLiteral("900x"), at("large.png")}));
    ASSERT_TRUE(QFile::copy(at("large.png"), at("large copy.png")));
    ASSERT_TRUE(convert({photos + QStringLiteral("LadyBird.jpg"), QStringLiteral("-resize"),
        QStringLiteral("480x"), at("photo.png")}));
    ASSERT_TRUE(QFile::copy(at("photo.png"), at("photo copy.png")));
    ASSERT_TRUE(convert(
        {at("photo.png"), QStringLiteral("-quality"), QStringLiteral("85"), at("photo.jpg")}));

    QStringList faults;
    QMap<QString, QStringList> found; // by front-end and format
    for (const char* format : {"json", "csv"}) {
        // A cache of its own, not the user's.
        const FindCommand::Outcome find
            = FindCommand()
                  .cacheHome(dir.filePath(QStringLiteral("cache")))
                  .run({QStringLiteral("--similar"),
                      QStringLiteral("--format=") + QLatin1String(format), folder});
        ASSERT_NE(find.exitCode, -1) << "corvane-find did not end";
        const QByteArray& out = find.out;
        found[QStringLiteral("find ") + QLatin1String(format)]
            = QLatin1String(format) == QLatin1String("json") ? jsonIndexes(out, &faults)
                                                             : csvIndexes(out, &faults);
    }

    const std::atomic<bool> stop{false};
    const FinderResult result = WholeFolderSearch::finderEngine()(
        {QFile::encodeName(folder), false, true}, stop, [](const FinderProgress&) {});
    ASSERT_EQ(result.groups.size(), size_t(2));
    ASSERT_EQ(result.samePhotoGroups.size(), size_t(1));
    QString target;
    frmReview::Hooks hooks;
    hooks.pickExportFile = [&] { return target; };
    frmReview window(result, hooks);
    const auto exported = [&](const QString& name) {
        target = dir.path() + QLatin1Char('/') + name;
        window.exportList();
        const QByteArray report = readAll(target);
        return name.endsWith(QStringLiteral(".json")) ? jsonIndexes(report, &faults)
                                                      : csvIndexes(report, &faults);
    };
    const QStringList reviewJson = exported(QStringLiteral("all.json"));
    const QStringList reviewCsv = exported(QStringLiteral("all.csv"));
    const auto lines
        = [](const QStringList& list) { return list.join(QLatin1Char('\n')).toStdString(); };
    EXPECT_EQ(lines(reviewJson), lines(found[QStringLiteral("find json")]));
    EXPECT_EQ(lines(reviewCsv), lines(found[QStringLiteral("find csv")]));
    // The photo's two identical files point at the second identical group:
    // index 1 in JSON, number 2 in CSV.
    EXPECT_TRUE(reviewJson.contains(QStringLiteral("2 same photo %1 -> 1").arg(at("photo.png"))))
        << reviewJson.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(reviewCsv.contains(QStringLiteral("3 same photo %1 -> 2").arg(at("photo.png"))))
        << reviewCsv.join(QLatin1Char('\n')).toStdString();

    // Remove from list: the large pair, the first group.
    ASSERT_EQ(
        window.model().group(0).files.front().found.path, QFile::encodeName(at("large copy.png")));
    window.lstGroups()->setCurrentIndex(window.itemModel()->indexOf({0, 0}));
    window.cmdRemove()->click();
    ASSERT_EQ(window.model().groupCount(), 2);
    const QStringList afterJson = exported(QStringLiteral("after.json"));
    const QStringList afterCsv = exported(QStringLiteral("after.csv"));
    for (const char* name : {"photo.png", "photo copy.png"}) {
        EXPECT_TRUE(afterJson.contains(QStringLiteral("1 same photo %1 -> 0").arg(at(name))))
            << afterJson.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(afterCsv.contains(QStringLiteral("2 same photo %1 -> 1").arg(at(name))))
            << afterCsv.join(QLatin1Char('\n')).toStdString();
    }
    EXPECT_TRUE(afterJson.contains(QStringLiteral("1 same photo %1 -> -").arg(at("photo.jpg"))));
    EXPECT_TRUE(faults.isEmpty()) << faults.join(QLatin1Char('\n')).toStdString();
}

} // namespace
