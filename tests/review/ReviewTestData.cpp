#include "ReviewTestData.h"

#include <QFile>
#include <QImage>
#include <QProcess>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace ReviewTestData {

FoundFile memberFile(const MemberFacts& member)
{
    FoundFile f;
    f.path = member.path;
    f.identity.size = member.size;
    f.identity.modifiedNs = member.modifiedSeconds * 1'000'000'000;
    f.identity.changedNs = f.identity.modifiedNs;
    f.type = QStringLiteral("PNG");
    return f;
}

DuplicateGroup groupOf(const std::vector<MemberFacts>& members)
{
    DuplicateGroup group;
    group.width = 8;
    group.height = 6;
    for (const MemberFacts& m : members)
        group.files.push_back(memberFile(m));
    return group;
}

FinderResult resultOf(const std::vector<DuplicateGroup>& groups, const char* folder)
{
    FinderResult result;
    result.folders = {QByteArray(folder)};
    result.groups = groups;
    for (const DuplicateGroup& g : groups)
        result.filesExamined += std::int64_t(g.files.size());
    return result;
}

FileIdentity identityOf(const QByteArray& path)
{
    struct stat st { };
    EXPECT_EQ(::lstat(path.constData(), &st), 0) << path.constData();
    return ::identityOf(st);
}

FoundFile foundOnDisk(const QString& path, const QString& type)
{
    FoundFile f;
    f.path = QFile::encodeName(path);
    f.identity = identityOf(f.path);
    f.type = type;
    return f;
}

void writePicture(const QString& path, int seed)
{
    QImage image(12, 9, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(
                x, y, qRgb((x * 20 + seed * 7) & 255, (y * 25 + seed) & 255, seed & 255));
    ASSERT_TRUE(image.save(path, "PNG")) << path.toStdString();
}

bool convert(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("convert"), arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

} // namespace ReviewTestData
