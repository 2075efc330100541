// Each picture keeps only its nearest candidates. The cap must never cost a
// true copy (a photo with 60 copies keeps them all in its group, its near
// misses in none), and a crowd of colliding pictures must give pairs in
// proportion to its size, not its square.
#include "PhotoCollection.h"

#include "finder/Finder.h"
#include "finder/PictureReader.h"
#include "similar/PhotoDifference.h"
#include "similar/SamePhotoGrouping.h"
#include "similar/SignatureIndex.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <bit>
#include <functional>
#include <map>
#include <numeric>
#include <random>
#include <set>

namespace {

using Pairs = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

// Items linked by the pairs, counted as separate parts among `among`.
std::size_t partsAmong(std::size_t count, const Pairs& pairs, const std::vector<bool>& among)
{
    std::vector<std::uint32_t> parent(count);
    std::iota(parent.begin(), parent.end(), 0U);
    std::function<std::uint32_t(std::uint32_t)> find
        = [&](std::uint32_t x) { return parent[x] == x ? x : parent[x] = find(parent[x]); };
    for (const auto& [a, b] : pairs)
        parent[find(a)] = find(b);
    std::set<std::uint32_t> roots;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (among[i])
            roots.insert(find(i));
    }
    return roots.size();
}

std::uint64_t flipped(std::uint64_t hash, int bits, std::mt19937_64& random)
{
    for (int i = 0; i < bits; ++i)
        hash ^= std::uint64_t(1) << (random() % 64);
    return hash;
}

struct CapRow {
    const char* name;
    std::function<std::vector<std::uint64_t>(std::mt19937_64&)> hashes;
    bool everyOtherRefused; // accept() refuses pairs of an odd and an even item
    bool capBites; // some item has more near items than it may keep
};

class NearestPairs : public ::testing::TestWithParam<CapRow> { };

// Against a plain scan: every pair kept is near and accepted, none is kept
// twice, no more than the cap per item, every near pair kept where no item
// has more near ones than the cap, and the items that are near stay linked
// where it has.
TEST_P(NearestPairs, KeepsNearAcceptedPairsWithinTheCapAndLinksEveryCrowd)
{
    const CapRow& row = GetParam();
    std::mt19937_64 random(17);
    const std::vector<std::uint64_t> hashes = row.hashes(random);
    const std::size_t cap = 16;
    auto accept = [&](std::uint32_t a, std::uint32_t b) {
        return !row.everyOtherRefused || a % 2 == b % 2;
    };
    const Pairs kept
        = similar::SignatureIndex::nearestPairs(hashes, similar::kMaxHashDistance, cap, accept);
    Pairs all;
    std::vector<std::size_t> nearCount(hashes.size(), 0);
    for (std::uint32_t i = 0; i < hashes.size(); ++i) {
        for (std::uint32_t j = i + 1; j < hashes.size(); ++j) {
            if (std::popcount(hashes[i] ^ hashes[j]) <= similar::kMaxHashDistance && accept(i, j)) {
                all.emplace_back(i, j);
                ++nearCount[i];
                ++nearCount[j];
            }
        }
    }
    ASSERT_TRUE(std::is_sorted(kept.begin(), kept.end()));
    ASSERT_EQ(std::adjacent_find(kept.begin(), kept.end()), kept.end());
    EXPECT_TRUE(std::includes(all.begin(), all.end(), kept.begin(), kept.end()));
    EXPECT_LE(kept.size(), hashes.size() * cap);
    const bool bites = *std::max_element(nearCount.begin(), nearCount.end()) > cap;
    EXPECT_EQ(bites, row.capBites);
    if (!bites) {
        EXPECT_EQ(kept, all);
    } else {
        EXPECT_LT(kept.size(), all.size());
        for (int parity : {0, 1}) {
            std::vector<bool> among(hashes.size());
            for (std::size_t i = 0; i < hashes.size(); ++i)
                among[i] = row.everyOtherRefused ? int(i % 2) == parity : true;
            EXPECT_EQ(partsAmong(hashes.size(), kept, among), partsAmong(hashes.size(), all, among))
                << "parity " << parity;
        }
    }
}

std::vector<std::uint64_t> clusters(std::mt19937_64& random, int count, int size, int bits)
{
    std::vector<std::uint64_t> hashes;
    for (int c = 0; c < count; ++c) {
        const std::uint64_t centre = random();
        for (int i = 0; i < size; ++i)
            hashes.push_back(i == 0 ? centre : flipped(centre, int(random() % (bits + 1)), random));
    }
    return hashes;
}

INSTANTIATE_TEST_SUITE_P(Rows, NearestPairs,
    ::testing::Values(CapRow{"clusters_within_the_cap",
                          [](std::mt19937_64& r) { return clusters(r, 200, 10, 5); }, false, false},
        CapRow{"clusters_within_the_cap_past_the_scan_limit",
            [](std::mt19937_64& r) { return clusters(r, 150, 12, 4); }, true, false},
        CapRow{"crowd_of_equal_hashes",
            [](std::mt19937_64& r) { return std::vector<std::uint64_t>(1500, r()); }, false, true},
        CapRow{"crowd_of_equal_hashes_half_refused",
            [](std::mt19937_64& r) { return std::vector<std::uint64_t>(600, r()); }, true, true},
        CapRow{"crowd_a_few_bits_apart", [](std::mt19937_64& r) { return clusters(r, 1, 1200, 3); },
            false, true},
        CapRow{"two_crowds_beside_unrelated_hashes",
            [](std::mt19937_64& r) {
                std::vector<std::uint64_t> hashes = clusters(r, 2, 300, 2);
                for (int i = 0; i < 900; ++i)
                    hashes.push_back(r());
                return hashes;
            },
            false, true}),
    [](const auto& info) { return std::string(info.param.name); });

// The search over files written by Debian's encoders into a folder of its own.
class CandidateCapSearch : public ::testing::Test {
protected:
    static void SetUpTestSuite() { finder::preparePictureReading(); }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    // convert SOURCE (OPERATIONS -write NAME) ... in one process.
    bool convertEach(const QString& source, const std::vector<std::pair<QString, QStringList>>& out)
    {
        QStringList arguments{source};
        for (const auto& [name, operations] : out)
            arguments << QStringLiteral("(") << QStringLiteral("+clone") << operations
                      << QStringLiteral("-write") << path(name) << QStringLiteral("+delete")
                      << QStringLiteral(")");
        arguments << QStringLiteral("null:");
        return photocollection::run(QStringLiteral("convert"), arguments);
    }

    FinderResult search(FinderStats& stats)
    {
        FinderOptions options;
        options.folders = {QFile::encodeName(m_dir.path())};
        options.cachePath = m_cache.filePath(QStringLiteral("cache.sqlite"));
        options.cacheSettleNs = 0;
        options.samePhoto = true;
        Finder finder(options);
        FinderResult result = finder.run();
        stats = finder.stats();
        return result;
    }

    // File name -> its same-photo group (-1: none).
    static std::map<QString, int> groupOfName(const FinderResult& result)
    {
        std::map<QString, int> groupOf;
        for (std::size_t g = 0; g < result.samePhotoGroups.size(); ++g) {
            for (const SamePhotoMember& member : result.samePhotoGroups[g].members) {
                for (const FoundFile& file : member.files)
                    groupOf[QFileInfo(QFile::decodeName(file.path)).fileName()] = int(g);
            }
        }
        return groupOf;
    }

    QTemporaryDir m_dir;
    QTemporaryDir m_cache;
};

// One photo with 60 copies of every kind a collection gathers (re-saves at
// twelve qualities, eight sizes, lossy WebP, HEIC and AVIF, and pictures a
// pixel apart), beside its near misses and another
// photo: every copy in the photo's one group, nothing else in it.
TEST_F(CandidateCapSearch, PhotoWithSixtyCopiesKeepsThemAllInItsGroup)
{
    const QString garden = QStringLiteral("/usr/share/backgrounds/mate/nature/Garden.jpg");
    const QString wings = QStringLiteral("/usr/share/backgrounds/mate/nature/TwoWings.jpg");
    ASSERT_TRUE(QFileInfo::exists(garden) && QFileInfo::exists(wings)) << "scripts/install-deps";
    ASSERT_TRUE(photocollection::run(QStringLiteral("convert"),
        {garden, QStringLiteral("-resize"), QStringLiteral("320x"), path("garden.png")}));
    ASSERT_TRUE(photocollection::run(QStringLiteral("convert"),
        {wings, QStringLiteral("-resize"), QStringLiteral("320x"), path("other.png")}));

    std::vector<std::pair<QString, QStringList>> copies;
    for (int quality = 50; quality <= 100; quality += 5)
        copies.push_back({QStringLiteral("q%1.jpg").arg(quality),
            {QStringLiteral("-quality"), QString::number(quality)}});
    for (int percent : {90, 80, 75, 60, 50, 33, 25}) {
        const QStringList resize{QStringLiteral("-resize"), QStringLiteral("%1%").arg(percent)};
        copies.push_back({QStringLiteral("size%1.png").arg(percent), resize});
        copies.push_back({QStringLiteral("size%1.jpg").arg(percent),
            resize + QStringList{QStringLiteral("-quality"), QStringLiteral("85")}});
    }
    for (int pixel = 0; pixel < 26; ++pixel)
        copies.push_back({QStringLiteral("pixel%1.png").arg(pixel),
            {QStringLiteral("-fill"), pixel % 2 ? QStringLiteral("white") : QStringLiteral("black"),
                QStringLiteral("-draw"),
                QStringLiteral("point %1,%2").arg(20 + 13 * pixel).arg(30 + 7 * pixel)}});
    const std::vector<std::pair<QString, QStringList>> nearMisses{
        {QStringLiteral("miss-mirror.png"), {QStringLiteral("-flop")}},
        {QStringLiteral("miss-brighter.png"),
            {QStringLiteral("-evaluate"), QStringLiteral("multiply"), QStringLiteral("1.2")}},
        {QStringLiteral("miss-crop.png"),
            {QStringLiteral("-crop"), QStringLiteral("304x200+16+10"), QStringLiteral("+repage")}},
        {QStringLiteral("miss-shift.png"),
            {QStringLiteral("-crop"), QStringLiteral("304x200+16+10"), QStringLiteral("+repage"),
                QStringLiteral("-resize"), QStringLiteral("320x213!")}},
    };
    ASSERT_TRUE(convertEach(path("garden.png"), copies));
    ASSERT_TRUE(convertEach(path("garden.png"), nearMisses));
    ASSERT_TRUE(convertEach(path("other.png"),
        {{QStringLiteral("other-half.png"), {QStringLiteral("-resize"), QStringLiteral("50%")}}}));
    std::vector<QString> copyNames;
    for (const auto& [name, operations] : copies)
        copyNames.push_back(name);
    for (int quality : {60, 75, 90}) {
        const QString name = QStringLiteral("webp%1.webp").arg(quality);
        ASSERT_TRUE(photocollection::run(QStringLiteral("cwebp"),
            {QStringLiteral("-quiet"), QStringLiteral("-q"), QString::number(quality),
                path("garden.png"), QStringLiteral("-o"), path(name)}));
        copyNames.push_back(name);
    }
    for (const QString& kind : {QStringLiteral("heic"), QStringLiteral("avif")}) {
        for (int quality : {60, 85}) {
            const QString name = QStringLiteral("%1%2.%1").arg(kind).arg(quality);
            QStringList arguments{QStringLiteral("-q"), QString::number(quality),
                path("garden.png"), QStringLiteral("-o"), path(name)};
            if (kind == QStringLiteral("avif"))
                arguments.prepend(QStringLiteral("-A"));
            ASSERT_TRUE(photocollection::run(QStringLiteral("heif-enc"), arguments));
            copyNames.push_back(name);
        }
    }
    ASSERT_EQ(copyNames.size(), 58U);
    // Two more: a quality and a size between the others.
    ASSERT_TRUE(convertEach(path("garden.png"),
        {{QStringLiteral("q93.jpg"), {QStringLiteral("-quality"), QStringLiteral("93")}},
            {QStringLiteral("size70.png"), {QStringLiteral("-resize"), QStringLiteral("70%")}}}));
    copyNames.push_back(QStringLiteral("q93.jpg"));
    copyNames.push_back(QStringLiteral("size70.png"));

    FinderStats stats;
    const FinderResult result = search(stats);
    const std::map<QString, int> groupOf = groupOfName(result);
    ASSERT_TRUE(groupOf.count(QStringLiteral("garden.png")));
    const int garden_group = groupOf.at(QStringLiteral("garden.png"));
    for (const QString& name : copyNames) {
        const auto found = groupOf.find(name);
        EXPECT_TRUE(found != groupOf.end() && found->second == garden_group)
            << name.toStdString() << " is not in the photo's group";
    }
    for (const auto& [name, operations] : nearMisses)
        EXPECT_FALSE(groupOf.count(name)) << name.toStdString() << " must stay apart";
    EXPECT_NE(
        groupOf.count(QStringLiteral("other.png")) ? groupOf.at(QStringLiteral("other.png")) : -1,
        garden_group);
    std::size_t inGroup = 0;
    for (const auto& [name, group] : groupOf)
        inGroup += group == garden_group;
    EXPECT_EQ(inGroup, copyNames.size() + 1);
}

// 120 pictures a pixel apart, and the same picture mirrored: the pictures
// make one group, the mirror none, and the candidate pairs grow with the
// number of pictures (a band of the cap's width), not with its square.
TEST_F(CandidateCapSearch, CrowdOfPicturesAPixelApartGivesCappedCandidates)
{
    const QString storm = QStringLiteral("/usr/share/backgrounds/mate/nature/Storm.jpg");
    ASSERT_TRUE(QFileInfo::exists(storm)) << "scripts/install-deps";
    QTemporaryDir base;
    const QString small = base.filePath(QStringLiteral("small.png"));
    ASSERT_TRUE(photocollection::run(QStringLiteral("convert"),
        {storm, QStringLiteral("-resize"), QStringLiteral("256x160!"), small}));
    constexpr int kCount = 120;
    std::vector<std::pair<QString, QStringList>> crowd;
    for (int i = 0; i < kCount; ++i)
        crowd.push_back({QStringLiteral("frame%1.png").arg(i, 3, 10, QLatin1Char('0')),
            {QStringLiteral("-fill"),
                QStringLiteral("rgb(%1,0,%2)").arg(i % 256).arg(i / 256 * 100),
                QStringLiteral("-draw"),
                QStringLiteral("point %1,%2").arg(7 + i % 240).arg(40 + i / 240 * 50)}});
    crowd.push_back({QStringLiteral("mirror.png"), {QStringLiteral("-flop")}});
    ASSERT_TRUE(convertEach(small, crowd));

    FinderStats stats;
    const FinderResult result = search(stats);
    const std::map<QString, int> groupOf = groupOfName(result);
    EXPECT_FALSE(groupOf.count(QStringLiteral("mirror.png")));
    ASSERT_EQ(result.samePhotoGroups.size(), 1U);
    std::size_t grouped = 0;
    for (const SamePhotoMember& member : result.samePhotoGroups.front().members)
        grouped += member.files.size();
    EXPECT_EQ(grouped, std::size_t(kCount));
    // Every pair would be 7,140; the cap keeps at most its width per picture.
    EXPECT_GT(stats.photoCandidates, kCount - 1);
    EXPECT_LE(stats.photoCandidates, std::int64_t(kCount * similar::kNearestCandidates));
}

} // namespace
