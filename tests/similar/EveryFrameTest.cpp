// Pictures of several frames or pages, through the real search: the same
// photo only when every frame is, with as many frames. Two animations (GIF,
// WebP) or two 2-page TIFFs that share their first frame and differ in the
// second stay apart; a still picture never joins an animation that starts
// with it; the same animation in three types makes one group.
#include "PhotoCollection.h"

#include "finder/Finder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

namespace {

QString nameOf(const QByteArray& path)
{
    return QFileInfo(QFile::decodeName(path)).fileName();
}

TEST(EveryFrameTest, AnimationsArePhotosFrameForFrame)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.path();
    auto path = [&](const char* name) { return folder + '/' + QLatin1String(name); };
    const char* sources[][2]
        = {{"Dune", "first.png"}, {"Wood", "second.png"}, {"Storm", "other.png"}};
    for (const auto& [photo, name] : sources) {
        ASSERT_TRUE(photocollection::run(QStringLiteral("convert"),
            {QStringLiteral("/usr/share/backgrounds/mate/nature/%1.jpg").arg(QLatin1String(photo)),
                QStringLiteral("-resize"), QStringLiteral("320x200!"), path(name)}))
            << photo;
    }
    // Each pair of frames in three types: the first frames equal, the second not.
    for (const auto& [second, stem] :
        {std::pair("second.png", "ab"), std::pair("other.png", "ac")}) {
        const QString s = QLatin1String(stem);
        ASSERT_TRUE(photocollection::run(QStringLiteral("convert"),
            {QStringLiteral("-delay"), QStringLiteral("20"), path("first.png"), path(second),
                folder + '/' + s + QStringLiteral(".gif")}));
        ASSERT_TRUE(photocollection::run(QStringLiteral("convert"),
            {path("first.png"), path(second), folder + '/' + s + QStringLiteral(".tif")}));
        ASSERT_TRUE(photocollection::run(QStringLiteral("img2webp"),
            {QStringLiteral("-lossy"), QStringLiteral("-q"), QStringLiteral("80"),
                path("first.png"), path(second), QStringLiteral("-o"),
                folder + '/' + s + QStringLiteral(".webp")}));
    }
    // The still picture is the first frame itself; its sources leave.
    ASSERT_TRUE(QFile::rename(path("first.png"), path("still.png")));
    ASSERT_TRUE(QFile::remove(path("second.png")));
    ASSERT_TRUE(QFile::remove(path("other.png")));

    FinderOptions options;
    options.folders = {QFile::encodeName(folder)};
    options.useCache = false;
    options.samePhoto = true;
    const FinderResult result = Finder(options).run();
    std::map<QString, int> groupOf;
    for (std::size_t g = 0; g < result.samePhotoGroups.size(); ++g) {
        for (const SamePhotoMember& member : result.samePhotoGroups[g].members) {
            for (const FoundFile& file : member.files)
                groupOf[nameOf(file.path)] = int(g);
            if (member.difference) { // measured frame for frame
                EXPECT_EQ(member.difference->frames, 2U)
                    << nameOf(member.files.front().path).toStdString();
            }
        }
    }
    for (const char* stem : {"ab", "ac"}) {
        const QString gif = QLatin1String(stem) + QStringLiteral(".gif");
        ASSERT_EQ(groupOf.count(gif), 1U) << stem << ": the three types of one animation";
        for (const char* type : {".tif", ".webp"}) {
            const QString name = QLatin1String(stem) + QLatin1String(type);
            ASSERT_EQ(groupOf.count(name), 1U) << name.toStdString();
            EXPECT_EQ(groupOf[name], groupOf[gif]) << name.toStdString();
        }
    }
    EXPECT_NE(groupOf[QStringLiteral("ab.gif")], groupOf[QStringLiteral("ac.gif")])
        << "animations that differ in their second frame";
    EXPECT_EQ(groupOf.count(QStringLiteral("still.png")), 0U)
        << "a still picture joined an animation";
    EXPECT_TRUE(result.editedGroups.empty());
}

} // namespace
