// The decodes of one search share one memory budget: pictures that do not
// fit beside each other wait their turn and are all found; a picture larger
// than the whole budget is refused, and that verdict (which depends on the
// file and the budget alone) is remembered.
#include "TestCollection.h"
#include "finder/Finder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

constexpr std::uint64_t kMegabyte = 1024 * 1024;

class MemoryBudgetTest : public ::testing::Test {
public:
    void SetUp() override
    {
        m_folder = m_work.filePath(QStringLiteral("pictures"));
        ASSERT_TRUE(QDir().mkpath(m_folder));
        // Pairs of 16-bit PNGs (8 bytes a pixel in the pixel form): three of
        // 700 x 700 (3.7 MB) and one of 1500 x 1500 (17 MB), each pair with
        // a near miss that differs in one pixel.
        struct Picture {
            const char* name;
            const char* size;
            const char* fill;
        };
        const Picture pictures[]
            = {{"a", "700x700", "rgb(10%,20%,30%)"}, {"b", "700x700", "rgb(40%,20%,30%)"},
                {"c", "700x700", "rgb(70%,20%,30%)"}, {"big", "1500x1500", "rgb(10%,60%,30%)"}};
        for (const Picture& picture : pictures) {
            const QString first
                = m_folder + QStringLiteral("/%1-1.png").arg(QLatin1String(picture.name));
            ASSERT_TRUE(testcollection::run(QStringLiteral("convert"),
                {QStringLiteral("-size"), QLatin1String(picture.size),
                    QStringLiteral("gradient:%1-white").arg(QLatin1String(picture.fill)),
                    QStringLiteral("-depth"), QStringLiteral("16"),
                    QStringLiteral("png48:") + first}));
            // The same pixels in other bytes.
            ASSERT_TRUE(testcollection::run(QStringLiteral("convert"),
                {first, QStringLiteral("-define"), QStringLiteral("png:compression-level=1"),
                    QStringLiteral("png48:") + m_folder
                        + QStringLiteral("/%1-2.png").arg(QLatin1String(picture.name))}));
            // One pixel changed, to a colour whose samples are no 8-bit value.
            ASSERT_TRUE(testcollection::run(QStringLiteral("convert"),
                {first, QStringLiteral("-fill"), QStringLiteral("#123412341235"),
                    QStringLiteral("-draw"), QStringLiteral("point 3,5"), QStringLiteral("-depth"),
                    QStringLiteral("16"),
                    QStringLiteral("png48:") + m_folder
                        + QStringLiteral("/%1-near.png").arg(QLatin1String(picture.name))}));
        }
    }

    FinderOptions options(std::uint64_t budget) const
    {
        FinderOptions options;
        options.folders = {QFile::encodeName(m_folder)};
        options.cachePath = m_work.filePath(QStringLiteral("cache.sqlite"));
        options.cacheSettleNs = 0;
        options.threads = 2;
        options.memoryBudget = budget;
        return options;
    }

    // Every group as its files' names, sorted.
    std::set<std::set<QByteArray>> groups(const FinderResult& result) const
    {
        std::set<std::set<QByteArray>> names;
        for (const DuplicateGroup& group : result.groups) {
            std::set<QByteArray> files;
            for (const FoundFile& file : group.files)
                files.insert(file.path.mid(file.path.lastIndexOf('/') + 1));
            names.insert(files);
        }
        return names;
    }

    QTemporaryDir m_work;
    QString m_folder;
};

TEST_F(MemoryBudgetTest, PicturesThatDoNotFitTogetherWaitTheirTurnAndAreAllFound)
{
    // Room for one 1500 x 1500 picture's share at a time, or a few small ones.
    Finder finder(options(40 * kMegabyte));
    const FinderResult result = finder.run();
    EXPECT_EQ(groups(result),
        (std::set<std::set<QByteArray>>{{"a-1.png", "a-2.png"}, {"b-1.png", "b-2.png"},
            {"c-1.png", "c-2.png"}, {"big-1.png", "big-2.png"}}));
    EXPECT_TRUE(result.unreadable.empty());
    EXPECT_LE(finder.stats().memoryPeak, 40 * kMegabyte);
    EXPECT_GT(finder.stats().memoryPeak, 0u);
}

TEST_F(MemoryBudgetTest, APictureLargerThanTheWholeBudgetIsRefusedAndThatIsRemembered)
{
    // Room for the small pictures, not for a 17 MB one.
    Finder first(options(12 * kMegabyte));
    const FinderResult refused = first.run();
    EXPECT_EQ(groups(refused),
        (std::set<std::set<QByteArray>>{
            {"a-1.png", "a-2.png"}, {"b-1.png", "b-2.png"}, {"c-1.png", "c-2.png"}}));
    ASSERT_EQ(refused.unreadable.size(), 3u);
    for (const UnreadableFile& file : refused.unreadable) {
        EXPECT_TRUE(file.path.contains("/big-")) << file.path.toStdString();
        EXPECT_TRUE(file.reason.contains(QLatin1String("memory budget")))
            << file.reason.toStdString();
    }
    Finder second(options(12 * kMegabyte));
    second.run();
    EXPECT_EQ(second.stats().decoded, 0) << "the verdict was not remembered";
    // Under a larger budget the verdict no longer holds.
    Finder larger(options(200 * kMegabyte));
    EXPECT_EQ(groups(larger.run()).size(), 4u);
}

} // namespace
