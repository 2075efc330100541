// The whole-folder search compares pictures as a viewer shows them: a JPEG's
// EXIF orientation and a TIFF's Orientation tag turn the picture before it is
// compared (all eight values), while a PNG eXIf or WebP EXIF orientation is
// ignored, as most viewers ignore it. The decoders turn the picture in the
// step every decode passes through: the fingerprint, the header and the
// reduced JPEG decode behind the same-photo signature of a tagged file equal
// those of its upright twin, and a read of stored rows stays stored.
#include "FinderFixture.h"
#include "OrientedFiles.h"
#include "PictureBytes.h"

#include "decoding/JpegDecoder.h"
#include "decoding/PictureDecoders.h"
#include "finder/Finder.h"
#include "finder/PictureReader.h"

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

using picturebytes::bytesOf;
using picturebytes::fileBytes;

// A tagged file read as shown gives the very pixels, fingerprint and header
// of its upright twin (which no turn touches), and read as stored the ones
// of its untagged twin: the turn the decoders make is the one the search
// made before, down to the bit.
TEST_P(OrientationTest, DecodersTurnWhatTheyGive)
{
    const OrientationCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString made = orientedfiles::makeSet(dir.path(), c.kind, c.orientation);
    ASSERT_TRUE(made.isEmpty()) << made.toStdString();
    const QString ext = QLatin1Char('.') + orientedfiles::suffix(c.kind);
    const QByteArray upright = fileBytes(dir.filePath(QStringLiteral("upright") + ext));
    const QByteArray tagged = fileBytes(dir.filePath(QStringLiteral("tagged") + ext));
    const QByteArray untagged = fileBytes(dir.filePath(QStringLiteral("untagged") + ext));
    ASSERT_FALSE(upright.isEmpty() || tagged.isEmpty() || untagged.isEmpty());
    const decoding::PictureType type = finder::detectType(bytesOf(tagged));
    const QByteArray& shownLike = c.applied ? upright : untagged;

    const finder::PictureFingerprint taggedPrint
        = finder::fingerprintPicture(bytesOf(tagged), type);
    const finder::PictureFingerprint shownPrint
        = finder::fingerprintPicture(bytesOf(shownLike), type);
    ASSERT_TRUE(taggedPrint.ok && shownPrint.ok) << taggedPrint.reason;
    EXPECT_EQ(taggedPrint.fingerprint.digest, shownPrint.fingerprint.digest);
    // The stored rows, for the first design's neighbour search, stay stored.
    EXPECT_EQ(finder::fingerprintStoredPicture(bytesOf(tagged), type).fingerprint.digest,
        finder::fingerprintStoredPicture(bytesOf(untagged), type).fingerprint.digest);
    if (c.applied && c.orientation != 1) {
        // Never its untagged twin, whose stored rows differ from what is shown.
        EXPECT_NE(taggedPrint.fingerprint.digest,
            finder::fingerprintPicture(bytesOf(untagged), type).fingerprint.digest);
    }

    const decoding::PictureHeader shownHeader = finder::readHeader(bytesOf(shownLike));
    const decoding::PictureHeader taggedHeader = finder::readHeader(bytesOf(tagged));
    ASSERT_TRUE(taggedHeader.ok && shownHeader.ok);
    EXPECT_EQ(taggedHeader.width, shownHeader.width);
    EXPECT_EQ(taggedHeader.height, shownHeader.height);
    const decoding::PictureHeader storedHeader = decoding::readHeader(bytesOf(tagged));
    EXPECT_EQ(storedHeader.width, decoding::readHeader(bytesOf(untagged)).width);

    const decoding::DecodeOutcome taggedPicture = finder::decodePicture(bytesOf(tagged), type);
    const decoding::DecodeOutcome shownPicture = finder::decodePicture(bytesOf(shownLike), type);
    ASSERT_EQ(taggedPicture.status, decoding::DecodeStatus::Ok) << taggedPicture.reason;
    EXPECT_EQ(taggedPicture.picture.width, taggedHeader.width);
    EXPECT_EQ(taggedPicture.picture.height, taggedHeader.height);
    EXPECT_EQ(taggedPicture.picture.frames, shownPicture.picture.frames);

    // The reduced JPEG decodes the same-photo signatures and the review's
    // small pictures are made from.
    if (c.kind == Kind::Jpeg) {
        for (unsigned reduction : {2u, 4u, 8u}) {
            SCOPED_TRACE(reduction);
            const decoding::DecodeOutcome turned
                = decoding::jpeg::decodeReduced(bytesOf(tagged), reduction, {.asShown = true});
            const decoding::DecodeOutcome plain
                = decoding::jpeg::decodeReduced(bytesOf(upright), reduction, {.asShown = true});
            ASSERT_EQ(turned.status, decoding::DecodeStatus::Ok) << turned.reason;
            EXPECT_EQ(turned.picture.width, plain.picture.width);
            EXPECT_EQ(turned.picture.height, plain.picture.height);
            EXPECT_EQ(turned.picture.frames, plain.picture.frames);
            EXPECT_EQ(decoding::jpeg::decodeReduced(bytesOf(tagged), reduction).picture.frames,
                decoding::jpeg::decodeReduced(bytesOf(untagged), reduction).picture.frames);
        }
    }
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

    // Refused by the decoders' own step when the picture is asked for as
    // shown; its stored pages still decode for a reader of stored rows.
    const QByteArray bytes = fileBytes(pages);
    const decoding::DecodeOutcome shown = decoding::decode(bytesOf(bytes), {.asShown = true});
    EXPECT_NE(shown.status, decoding::DecodeStatus::Ok);
    EXPECT_TRUE(QString::fromStdString(shown.reason).contains(QLatin1String("not supported")));
    EXPECT_EQ(decoding::decode(bytesOf(bytes)).status, decoding::DecodeStatus::Ok);
}

} // namespace
