// Whatever shows a group of the whole-folder search (the review list's small
// pictures, the full-size view, the main window's pairs one by one) shows a
// picture as the search compared it: turned by a JPEG's or TIFF's
// orientation tag, and a PNG as stored whatever its eXIf says.
#include "OrientedFiles.h"

#include "review/PictureForView.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using orientedfiles::Kind;

struct ViewCase {
    const char* name;
    Kind kind;
    int orientation;
    const char* shownLike; // the file whose pixels the tagged one must show
};

class PictureForViewTest : public ::testing::TestWithParam<ViewCase> { };

QImage shown(const QTemporaryDir& dir, const QString& name)
{
    return pictureForView(QFile::encodeName(dir.filePath(name)))
        .convertToFormat(QImage::Format_ARGB32);
}

TEST_P(PictureForViewTest, ShowsWhatTheSearchCompared)
{
    const ViewCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString made = orientedfiles::makeSet(dir.path(), c.kind, c.orientation);
    ASSERT_TRUE(made.isEmpty()) << made.toStdString();
    const QString ext = QLatin1Char('.') + orientedfiles::suffix(c.kind);
    const QImage tagged = shown(dir, QStringLiteral("tagged") + ext);
    const QImage expected = shown(dir, QLatin1String(c.shownLike) + ext);
    ASSERT_FALSE(tagged.isNull());
    EXPECT_EQ(tagged.size(), expected.size());
    EXPECT_TRUE(tagged == expected) << "the tagged picture is not shown like " << c.shownLike;
    if (c.orientation != 1 && QLatin1String(c.shownLike) == QLatin1String("upright")) {
        EXPECT_FALSE(tagged == shown(dir, QStringLiteral("untagged") + ext)) << "shown as stored";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, PictureForViewTest,
    ::testing::Values(ViewCase{"JpegAsStored", Kind::Jpeg, 1, "upright"},
        ViewCase{"JpegMirrorLeftRight", Kind::Jpeg, 2, "upright"},
        ViewCase{"JpegTurn180", Kind::Jpeg, 3, "upright"},
        ViewCase{"JpegMirrorTopBottom", Kind::Jpeg, 4, "upright"},
        ViewCase{"JpegTranspose", Kind::Jpeg, 5, "upright"},
        ViewCase{"JpegTurnClockwise", Kind::Jpeg, 6, "upright"},
        ViewCase{"JpegTransverse", Kind::Jpeg, 7, "upright"},
        ViewCase{"JpegTurnAnticlockwise", Kind::Jpeg, 8, "upright"},
        ViewCase{"TiffTurnClockwise", Kind::Tiff, 6, "upright"},
        ViewCase{"TiffTransverse", Kind::Tiff, 7, "upright"},
        ViewCase{"PngExifIsIgnored", Kind::Png, 6, "untagged"}),
    [](const ::testing::TestParamInfo<ViewCase>& info) { return std::string(info.param.name); });

} // namespace
