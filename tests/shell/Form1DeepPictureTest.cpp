// The neighbour search judges pictures that 8-bit RGBA cannot carry as the
// whole-folder search does, by every stored sample: driven through the main
// window over real files and the real converter. Deep copies whose files
// differ are shown as pairs; a sample apart, never. The false-pair table
// (tests/formats/FalsePairFiles.h) runs through both searches, and the window
// shows two of its files as a pair exactly when corvane-find groups them.

#include "FakeDesktop.h"
#include "FalsePairFiles.h"
#include "ShellTestSupport.h"

#include "controls/chameleonButton.h"
#include "search/CandidateEntry.h"
#include "search/ComparisonRun.h"
#include "shell/Form1.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

using namespace FalsePairFiles;

bool converterBuilt()
{
    return QFile::exists(QStringLiteral(CORVANE_BIN_DIR "/i__view32.exe"));
}

// Runs the window's search over `folder` and acts on the right copy of every
// pair shown; the pairs as {left, right}.
std::set<Group> neighbourPairs(const QString& folder)
{
    FakeDesktop desktop;
    Form1 window(&desktop, QStringLiteral(CORVANE_BIN_DIR));
    window.Form_Load();
    desktop.folderAnswers << folder;
    window.cmdCompare()->click();
    std::set<Group> shown;
    while (window.run().pairOnShow()) {
        shown.insert(
            {window.lblPic1()->text().toStdString(), window.lblPic2()->text().toStdString()});
        window.cmdDelete2()->click();
    }
    return shown;
}

bool withinAGroup(const Group& pair, const std::set<Group>& groups)
{
    for (const Group& group : groups) {
        if (std::includes(group.begin(), group.end(), pair.begin(), pair.end()))
            return true;
    }
    return false;
}

// 16-bit samples: a smooth picture, or one whose samples are all v * 257.
QImage deepPicture(int width, int height, bool eightBitValues)
{
    QImage image(width, height, QImage::Format_RGBX64);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const auto sample = [&](int s) {
                const std::uint32_t v = pattern(x, y, s, 16);
                return quint16(eightBitValues ? (v >> 8) * 257 : v);
            };
            image.setPixelColor(
                x, y, QColor(QRgba64::fromRgba64(sample(0), sample(1), sample(2), 0xFFFF)));
        }
    }
    return image;
}

struct DeepCase {
    const char* name;
    std::function<void(Folder&)> make;
    std::set<Group> shown; // exactly these pairs
};

void PrintTo(const DeepCase& c, std::ostream* os)
{
    *os << c.name;
}

const DeepCase kDeepCases[] = {
    {"SixteenBitPngsATextChunkApartAreAPair",
        [](Folder& f) {
            QImage picture = deepPicture(kWidth, kHeight, false);
            f.png("deep.png", picture);
            picture.setText(QStringLiteral("Comment"), QStringLiteral("saved again"));
            f.png("deep, commented.png", picture);
        },
        {{"deep, commented.png", "deep.png"}}},
    {"SixteenBitPngsOneLowByteApartAreNever",
        [](Folder& f) {
            QImage picture = deepPicture(kWidth, kHeight, false);
            f.png("deep.png", picture);
            QRgba64 pixel = picture.pixelColor(9, 4).rgba64();
            pixel.setGreen(quint16(pixel.green() ^ 1));
            picture.setPixelColor(9, 4, QColor(pixel));
            f.png("deep, one low byte apart.png", picture);
        },
        {}},
    {"SixteenBitPngOfAn8BitPictureMeetsIts8BitCopy",
        [](Folder& f) {
            const QImage picture = deepPicture(6, 5, true);
            f.png("deep.png", picture);
            f.png("eight-bit.png", picture.convertToFormat(QImage::Format_RGB32));
        },
        {{"deep.png", "eight-bit.png"}}},
    // Neighbours of one size are taken in name order: the copy sits beside
    // the original, the near miss beside the copy.
    {"SixteenBitTiffsOneLowByteApartAreNever",
        [](Folder& f) {
            f.tiff("a deep.tif", rgb16(SAMPLEFORMAT_UINT, 0));
            f.tiff("b deep, copied.tif", rgb16(SAMPLEFORMAT_UINT, 0));
            f.tiff("c deep, one low byte apart.tif", rgb16(SAMPLEFORMAT_UINT, 1));
        },
        {{"a deep.tif", "b deep, copied.tif"}}},
    {"TwoPageTiffsWhoseSecondPagesDifferAreNever",
        [](Folder& f) {
            const QStringList first = {QStringLiteral("-size"), QStringLiteral("48x32"),
                QStringLiteral("gradient:red-blue")};
            for (const auto& [name, second] : {std::pair{"pages.tif", "gradient:white-black"},
                     std::pair{"second page apart.tif", "gradient:white-gray10"},
                     std::pair{"pages, copied.tif", "gradient:white-black"}})
                f.make(QStringLiteral("convert"),
                    QStringList(first) << QStringLiteral("-size") << QStringLiteral("48x32")
                                       << QLatin1String(second) << QStringLiteral("-depth")
                                       << QStringLiteral("8") << f.path(name));
        },
        {{"pages, copied.tif", "pages.tif"}}},
    // Equal bytes no longer make a pair: what the decoders cannot hold
    // exactly is not read, in the window as in corvane-find.
    {"CopiesOfAFloatingPointTiffAreNotRead",
        [](Folder& f) {
            TiffLayout layout;
            layout.photometric = PHOTOMETRIC_MINISBLACK;
            layout.samples = 1;
            layout.bits = 32;
            layout.format = SAMPLEFORMAT_IEEEFP;
            layout.sample = [](int x, int y, int) { return pattern(x, y, 0, 32); };
            f.tiff("float.tif", layout);
            EXPECT_TRUE(QFile::copy(f.path("float.tif"), f.path("float, copied.tif")));
        },
        {}},
};

class Form1DeepPictures : public TemporarySettingsTest,
                          public ::testing::WithParamInterface<DeepCase> { };

TEST_P(Form1DeepPictures, AreShownOnlyWhenEverySampleIsEqual)
{
    if (!converterBuilt())
        GTEST_SKIP() << "converter not built";
    const DeepCase& c = GetParam();
    Folder folder;
    c.make(folder);
    ASSERT_FALSE(::testing::Test::HasFailure());
    EXPECT_EQ(neighbourPairs(folder.rootPath()), c.shown);
}

INSTANTIATE_TEST_SUITE_P(Cases, Form1DeepPictures, ::testing::ValuesIn(kDeepCases),
    [](const ::testing::TestParamInfo<DeepCase>& info) { return std::string(info.param.name); });

class Form1FalsePairs : public TemporarySettingsTest,
                        public ::testing::WithParamInterface<FalsePairCase> { };

// Every two files of a row that the window compares (the first design's
// types, sizes less than its window apart), alone in a folder: shown as a
// pair exactly when the whole-folder search groups them.
TEST_P(Form1FalsePairs, ATwoFileFolderIsAPairExactlyWhenTheWholeFolderSearchGroupsIt)
{
    if (!converterBuilt())
        GTEST_SKIP() << "converter not built";
    const FalsePairCase& c = GetParam();
    Folder folder;
    c.make(folder);
    ASSERT_FALSE(::testing::Test::HasFailure());
    const std::set<Group> groups = groupsOf(folder.search());
    ASSERT_EQ(groups, c.groups);

    QFileInfoList files;
    for (const QFileInfo& info : QDir(folder.rootPath()).entryInfoList(QDir::Files, QDir::Name)) {
        if (CandidateEntry::isCandidateType(CandidateEntry::imageType(info.fileName())))
            files << info;
    }
    int compared = 0;
    for (qsizetype a = 0; a < files.size(); ++a) {
        for (qsizetype b = a + 1; b < files.size(); ++b) {
            if (std::abs(files[a].size() - files[b].size()) >= ComparisonRun::kSizeWindow)
                continue;
            QTemporaryDir two;
            ASSERT_TRUE(two.isValid());
            for (const QFileInfo& info : {files[a], files[b]})
                ASSERT_TRUE(QFile::copy(info.filePath(), two.filePath(info.fileName())));
            const Group pair
                = {files[a].fileName().toStdString(), files[b].fileName().toStdString()};
            const std::set<Group> expected
                = withinAGroup(pair, groups) ? std::set<Group>{pair} : std::set<Group>{};
            EXPECT_EQ(neighbourPairs(two.path()), expected)
                << *pair.begin() << " + " << *pair.rbegin();
            ++compared;
        }
    }
    RecordProperty("compared", compared);
}

INSTANTIATE_TEST_SUITE_P(Cases, Form1FalsePairs, ::testing::ValuesIn(cases()),
    [](const ::testing::TestParamInfo<FalsePairCase>& info) {
        return std::string(info.param.name);
    });

} // namespace
