// The whole-folder search compares pictures as a viewer shows them: a JPEG's
// EXIF orientation and a TIFF's Orientation tag turn the picture before it is
// compared (all eight values), while a PNG eXIf or WebP EXIF orientation is
// ignored, as most viewers ignore it.
#include "FinderFixture.h"
#include "OrientedFiles.h"

#include "finder/Finder.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using orientedfiles::Kind;

struct OrientationCase {
    const char* name;
    Kind kind;
    int orientation;
    bool applied; // whether a viewer, and so the search, turns the picture
};

class OrientationTest : public ::testing::TestWithParam<OrientationCase> { };

FinderResult search(const QString& folder)
{
    FinderOptions options;
    options.folders = {QFile::encodeName(folder)};
    options.useCache = false;
    return Finder(options).run();
}

TEST_P(OrientationTest, ComparedAsAViewerShowsThem)
{
    const OrientationCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString made = orientedfiles::makeSet(dir.path(), c.kind, c.orientation);
    ASSERT_TRUE(made.isEmpty()) << made.toStdString();
    const QByteArray ext = '.' + orientedfiles::suffix(c.kind).toLatin1();
    const QByteArray upright = "upright" + ext;
    const QByteArray tagged = "tagged" + ext;
    const QByteArray untagged = "untagged" + ext;

    const Found found = relativeTo(dir.path(), search(dir.path()));
    EXPECT_TRUE(found.unreadable.empty());
    std::set<PathSet> expected;
    if (!c.applied)
        expected = {{tagged, untagged}}; // the stored rows alone are compared
    else if (c.orientation == 1)
        expected = {{upright, tagged, untagged}};
    else
        expected = {{upright, tagged}}; // never with its untagged twin
    EXPECT_EQ(found.groups, expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, OrientationTest,
    ::testing::Values(OrientationCase{"JpegAsStored", Kind::Jpeg, 1, true},
        OrientationCase{"JpegMirrorLeftRight", Kind::Jpeg, 2, true},
        OrientationCase{"JpegTurn180", Kind::Jpeg, 3, true},
        OrientationCase{"JpegMirrorTopBottom", Kind::Jpeg, 4, true},
        OrientationCase{"JpegTranspose", Kind::Jpeg, 5, true},
        OrientationCase{"JpegTurnClockwise", Kind::Jpeg, 6, true},
        OrientationCase{"JpegTransverse", Kind::Jpeg, 7, true},
        OrientationCase{"JpegTurnAnticlockwise", Kind::Jpeg, 8, true},
        OrientationCase{"TiffAsStored", Kind::Tiff, 1, true},
        OrientationCase{"TiffMirrorLeftRight", Kind::Tiff, 2, true},
        OrientationCase{"TiffTurn180", Kind::Tiff, 3, true},
        OrientationCase{"TiffMirrorTopBottom", Kind::Tiff, 4, true},
        OrientationCase{"TiffTranspose", Kind::Tiff, 5, true},
        OrientationCase{"TiffTurnClockwise", Kind::Tiff, 6, true},
        OrientationCase{"TiffTransverse", Kind::Tiff, 7, true},
        OrientationCase{"TiffTurnAnticlockwise", Kind::Tiff, 8, true},
        OrientationCase{"PngExifIsIgnored", Kind::Png, 6, false},
        OrientationCase{"WebpExifIsIgnored", Kind::WebP, 6, false}),
    [](const ::testing::TestParamInfo<OrientationCase>& info) {
        return std::string(info.param.name);
    });

// A TIFF whose pages say different orientations cannot be shown as one
// picture of one size: it is refused, never compared by its stored rows.
TEST(OrientationPagesTest, TiffPagesOfDifferentOrientationsAreUnsupported)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString made = orientedfiles::makeSet(dir.path(), Kind::Tiff, 6);
    ASSERT_TRUE(made.isEmpty()) << made.toStdString();
    const QString pages = dir.filePath(QStringLiteral("pages.tif"));
    ASSERT_TRUE(testcollection::run(QStringLiteral("tiffcp"),
        {dir.filePath(QStringLiteral("untagged.tif")), dir.filePath(QStringLiteral("tagged.tif")),
            pages}));
    // A copy, so that the file's size is shared and it is decoded.
    ASSERT_TRUE(QFile::copy(pages, dir.filePath(QStringLiteral("pages-copy.tif"))));

    const Found found = relativeTo(dir.path(), search(dir.path()));
    ASSERT_EQ(found.unreadable.count("pages.tif"), 1u);
    EXPECT_TRUE(found.unreadable.at("pages.tif").contains(QLatin1String("not supported")))
        << found.unreadable.at("pages.tif").toStdString();
    EXPECT_EQ(found.grouped.count("pages.tif"), 0u);
}

} // namespace
