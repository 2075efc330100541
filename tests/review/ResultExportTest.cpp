// The exported list read back by real readers: QJsonDocument for JSON and
// Python's csv module for CSV, with names that need quoting and a name that
// is not valid UTF-8.
#include "ReviewTestData.h"

#include "finder/ReportWriters.h"
#include "review/ReviewModel.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

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
            "identical_group"}));
    const FinderResult result = oddResult();
    for (int i = 0; i < 8; ++i) {
        const QJsonArray row = rows[i + 1].toArray();
        const int g = i / 4;
        const FoundFile& file = result.groups[g].files[i % 4];
        ASSERT_EQ(row.size(), 16) << i;
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

} // namespace
