// The same-photo search keeps proof pictures inside the search's memory
// budget: never more than half of it (nor than a fixed limit), never in the way of a decode (a
// decode that lacks memory takes kept pictures back, the least recently used first, instead of
// waiting for memory nobody will give back), and everything back when the search ends.
#include "finder/ProofPictures.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

using finder::MemoryBudget;
using finder::ProofPictures;

ProofPictures::Picture pictureOf(std::uint32_t side)
{
    auto picture = std::make_shared<similar::ProofPicture>();
    picture->width = side;
    picture->height = side;
    picture->colour.assign(std::size_t(side) * side * 3, 1);
    return picture;
}

const std::uint64_t kPictureBytes = ProofPictures::bytesOf(*pictureOf(100));

TEST(ProofPictures, KeptOnlyWithinHalfTheBudget)
{
    struct Row {
        const char* name;
        std::uint64_t budget;
        int offered;
        int kept;
        std::uint32_t side = 100;
    };
    // A picture of 2048 x 2048: 30 of them fit the fixed limit, whatever the budget.
    const std::uint64_t largeBytes = ProofPictures::bytesOf(*pictureOf(2048));
    const Row rows[] = {
        {"room for all", 10 * kPictureBytes, 3, 3},
        {"half the budget is the limit", 5 * kPictureBytes, 4, 2},
        {"a picture over half the budget is never kept", kPictureBytes, 1, 0},
        {"a large budget still stops at the fixed limit", 8 * finder::kKeptProofBytes, 40,
            int(finder::kKeptProofBytes / largeBytes), 2048},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MemoryBudget budget(row.budget);
        {
            ProofPictures store(budget);
            // One picture offered under every key: the store counts it each time.
            const ProofPictures::Picture picture = pictureOf(row.side);
            for (int i = 0; i < row.offered; ++i)
                store.keep(ProofPictures::keyOf(QByteArray::number(i)), picture);
            int found = 0;
            for (int i = 0; i < row.offered; ++i)
                found += store.find(ProofPictures::keyOf(QByteArray::number(i))) ? 1 : 0;
            EXPECT_EQ(found, row.kept);
            EXPECT_EQ(
                store.bytesHeld(), std::uint64_t(row.kept) * ProofPictures::bytesOf(*picture));
            // What is kept is taken from the budget: the rest is all a decode can have.
            EXPECT_TRUE(budget.tryTake(row.budget - store.bytesHeld()));
            budget.giveBack(row.budget);
        }
    }
}

TEST(ProofPictures, WaitingDecodeTakesBackTheLeastRecentlyUsedAndTheEndGivesBackAll)
{
    MemoryBudget budget(8 * kPictureBytes);
    {
        ProofPictures store(budget);
        for (const char* name : {"a", "b", "c", "d"})
            store.keep(ProofPictures::keyOf(QByteArray(name)), pictureOf(100));
        ASSERT_EQ(store.bytesHeld(), 4 * kPictureBytes);
        ASSERT_TRUE(store.find(ProofPictures::keyOf(QByteArray("a"))));
        // A decode that needs five pictures' worth finds only four free: it
        // must not wait (nobody else would give memory back) but take "b",
        // now the least recently used.
        const std::atomic<bool> stop = false;
        ASSERT_EQ(budget.take(5 * kPictureBytes, &stop), MemoryBudget::Take::Taken);
        EXPECT_FALSE(store.find(ProofPictures::keyOf(QByteArray("b"))));
        EXPECT_TRUE(store.find(ProofPictures::keyOf(QByteArray("a"))));
        EXPECT_TRUE(store.find(ProofPictures::keyOf(QByteArray("c"))));
        EXPECT_EQ(store.bytesHeld(), 3 * kPictureBytes);
        budget.giveBack(5 * kPictureBytes);
    }
    // The search is over: the whole budget is free again and no reclaimer
    // points at the store that is gone.
    const std::atomic<bool> stop = false;
    EXPECT_EQ(budget.take(8 * kPictureBytes, &stop), MemoryBudget::Take::Taken);
}

TEST(ProofPictures, EqualPixelsShareOneKeyAndPathsNeverMeetFingerprints)
{
    finder::PixelFingerprint a;
    a.digest.fill(7);
    finder::PixelFingerprint b = a;
    EXPECT_EQ(ProofPictures::keyOf(a), ProofPictures::keyOf(b));
    b.digest[31] = 8;
    EXPECT_NE(ProofPictures::keyOf(a), ProofPictures::keyOf(b));
    // A path made of the same bytes as a digest is another key.
    const QByteArray digestBytes(reinterpret_cast<const char*>(a.digest.data()), 32);
    EXPECT_NE(ProofPictures::keyOf(digestBytes), ProofPictures::keyOf(a));
}

} // namespace
