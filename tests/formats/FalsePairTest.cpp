// Near misses that must never group, beside the true copies that must: each
// row of the false-pair table (FalsePairFiles.h) runs the real whole-folder
// search over its folder. A file the decoders cannot hold exactly must be
// listed as unreadable with a reason ending in "not supported".

#include "FalsePairFiles.h"

#include "files/FileIdentity.h"
#include "finder/FingerprintCache.h"
#include "finder/MemoryBudget.h"
#include "finder/PictureReader.h"

#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace FalsePairFiles;

namespace {

class FalsePairs : public ::testing::TestWithParam<FalsePairCase> { };

TEST_P(FalsePairs, NearMissesStayApartAndTrueCopiesGroup)
{
    const FalsePairCase& c = GetParam();
    Folder folder;
    c.make(folder);
    ASSERT_FALSE(::testing::Test::HasFailure());
    const FinderResult result = folder.search();
    EXPECT_EQ(groupsOf(result), c.groups);
    EXPECT_EQ(unreadableOf(result), c.unreadable);
}

INSTANTIATE_TEST_SUITE_P(Cases, FalsePairs, ::testing::ValuesIn(cases()),
    [](const ::testing::TestParamInfo<FalsePairCase>& info) {
        return std::string(info.param.name);
    });

// A cache written by the decoders of the revision before (which turned CMYK
// into RGB and so gave both files one fingerprint) must not be believed.
TEST(FalsePairCache, FingerprintsOfAnEarlierDecoderRevisionAreNotTrusted)
{
    Folder folder;
    folder.tiff("black ink only.tif", cmyk(8, {0, 0, 0, 255}));
    folder.tiff("all four inks.tif", cmyk(8, {255, 255, 255, 255}));
    std::string earlier = finder::decoderVersion();
    const std::string word = " decoders ";
    const std::size_t start = earlier.find(word);
    ASSERT_NE(start, std::string::npos) << earlier;
    const std::size_t first = start + word.size();
    const std::size_t end = earlier.find(';', first);
    const int revision = std::stoi(earlier.substr(first, end - first));
    ASSERT_GT(revision, 1);
    earlier.replace(first, end - first, std::to_string(revision - 1));
    {
        finder::CacheVersion version
            = finder::CacheVersion::current(finder::MemoryBudget::defaultSize());
        version.decoders = earlier;
        finder::CacheStore store(folder.cachePath(), version);
        finder::FingerprintCache cache(store);
        finder::PixelFingerprint same;
        same.width = kWidth;
        same.height = kHeight;
        same.frames = 1;
        same.bytesPerSample = 1;
        same.digest.fill(0x5a);
        for (const char* name : {"black ink only.tif", "all four inks.tif"}) {
            struct stat status { };
            ASSERT_EQ(::stat(QFile::encodeName(folder.path(name)).constData(), &status), 0);
            const FileIdentity identity = identityOf(status);
            finder::CachedFacts facts;
            facts.kind = finder::CachedFacts::Kind::Fingerprint;
            facts.type = decoding::PictureType::Tiff;
            facts.width = kWidth;
            facts.height = kHeight;
            facts.frames = 1;
            facts.fingerprint = same;
            cache.store(identity, facts);
        }
        cache.flush();
        ASSERT_EQ(store.state(), finder::CacheStore::State::Ready);
    }
    const FinderResult result = folder.search(true);
    EXPECT_EQ(groupsOf(result), std::set<Group>{});
    EXPECT_TRUE(result.unreadable.empty());
}

} // namespace
