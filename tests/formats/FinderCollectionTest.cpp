// The whole-folder search over a generated collection of the newer types:
// a photo kept as HEIC (or AVIF), as the PNG of its decoded pixels and as a
// lossless WebP of that PNG is one group; a lossy WebP of it joins none; a
// cut-off HEIC is listed as unreadable with its reason.

#include "FormatFiles.h"

#include "finder/Finder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <set>

using namespace FormatFiles;

namespace {

using Members = std::set<std::pair<QString, QString>>; // name, type

class FinderCollection : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        const QDir root(m_root.path());
        // A photo as HEIC, its decoded pixels as PNG and that PNG as WebP,
        // lossless and lossy.
        const QString camera = m_work.filePath(QStringLiteral("camera.png"));
        photoLike(160, 120, 11, false).save(camera);
        make(QStringLiteral("heif-enc"), {camera, QStringLiteral("-o"), path("IMG_0001.HEIC")});
        make(QStringLiteral("heif-convert"),
            {QStringLiteral("--quiet"), path("IMG_0001.HEIC"), path("IMG_0001 copy.png")});
        make(QStringLiteral("cwebp"),
            {QStringLiteral("-quiet"), QStringLiteral("-lossless"), QStringLiteral("-exact"),
                path("IMG_0001 copy.png"), QStringLiteral("-o"), path("from the web.webp")});
        make(QStringLiteral("cwebp"),
            {QStringLiteral("-quiet"), QStringLiteral("-q"), QStringLiteral("95"),
                path("IMG_0001 copy.png"), QStringLiteral("-o"), path("from the web, small.webp")});
        // A 10-bit photo and its 16-bit PNG, a photo with alpha as AVIF and
        // its PNG: groups of their own.
        const QString deep = m_work.filePath(QStringLiteral("deep.png"));
        deepPhotoLike(160, 120, 12, false).save(deep);
        make(QStringLiteral("heif-enc"),
            {QStringLiteral("-b"), QStringLiteral("10"), deep, QStringLiteral("-o"),
                path("deep.heic")});
        make(QStringLiteral("heif-convert"),
            {QStringLiteral("--quiet"), path("deep.heic"), path("deep 16-bit.png")});
        const QString alpha = m_work.filePath(QStringLiteral("alpha.png"));
        photoLike(160, 120, 13, true).save(alpha);
        make(QStringLiteral("heif-enc"),
            {QStringLiteral("-A"), QStringLiteral("-p"), QStringLiteral("chroma=422"), alpha,
                QStringLiteral("-o"), path("sticker.avif")});
        make(QStringLiteral("heif-convert"),
            {QStringLiteral("--quiet"), path("sticker.avif"), path("sticker.png")});
        // The same HEIC cut off: same dimensions in its header, no pixels.
        const QByteArray heic = readBytes(path("IMG_0001.HEIC"));
        ASSERT_TRUE(writeBytes(path("IMG_0002.heic"), heic.left(heic.size() * 2 / 3)));
    }

    QString path(const char* name) const
    {
        return QDir(m_root.path()).filePath(QLatin1String(name));
    }

    void make(const QString& program, const QStringList& arguments)
    {
        ASSERT_EQ(run(program, arguments), QString());
    }

    FinderResult search()
    {
        FinderOptions options;
        options.folders = {QFile::encodeName(m_root.path())};
        options.cachePath = m_work.filePath(QStringLiteral("cache.sqlite"));
        options.cacheSettleNs = 0;
        Finder finder(options);
        return finder.run();
    }

    std::set<Members> groupsOf(const FinderResult& result) const
    {
        std::set<Members> groups;
        for (const DuplicateGroup& group : result.groups) {
            Members members;
            for (const FoundFile& file : group.files)
                members.insert({QFileInfo(QFile::decodeName(file.path)).fileName(), file.type});
            groups.insert(members);
        }
        return groups;
    }

    QTemporaryDir m_root;
    QTemporaryDir m_work;
};

TEST_F(FinderCollection, SamePhotoInNewerTypesGroupsAndALossyCopyDoesNot)
{
    const std::set<Members> expected = {
        {{"IMG_0001.HEIC", "HEIF"}, {"IMG_0001 copy.png", "PNG"}, {"from the web.webp", "WebP"}},
        {{"deep.heic", "HEIF"}, {"deep 16-bit.png", "PNG"}},
        {{"sticker.avif", "AVIF"}, {"sticker.png", "PNG"}},
    };
    // Twice: the second search takes the pictures' facts from the cache.
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass == 0 ? "decoded" : "from the cache");
        const FinderResult result = search();
        EXPECT_EQ(groupsOf(result), expected);
        ASSERT_EQ(result.unreadable.size(), 1u);
        EXPECT_TRUE(result.unreadable.front().path.endsWith("IMG_0002.heic"));
        EXPECT_EQ(result.unreadable.front().reason, QStringLiteral("truncated HEIF data"));
    }
}

} // namespace
