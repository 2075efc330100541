#include "search/CandidateEntry.h"

#include <gtest/gtest.h>

TEST(CandidateEntry, SizeKeyIsEightDigitsOfLengthPlusOffset)
{
    struct Row {
        qint64 length;
        const char* key;
    };
    const Row rows[] = {
        {0, "00000000"}, {99, "00000099"}, {12345, "00012345"}, {99999999, "99999999"},
        {100000050, "00000050"}, // the leading digit falls away
        {3000000000LL, "00000000"}, // over 2 GB: a key, not an overflow
        {5368709170LL, "68709170"}, // 5 GB + 50
        {0x7ffffffffffffe30LL, "54775344"}, // found by fuzzing: adding the offset overflowed
    };
    for (const Row& row : rows)
        EXPECT_EQ(CandidateEntry::makeSizeKey(row.length), QLatin1String(row.key)) << row.length;
}

TEST(CandidateEntry, SplitsAtTheFirstStarOnly)
{
    const QString path = QStringLiteral("/pics/a*b c*.jpg");
    const QString entry = CandidateEntry::makeEntry(CandidateEntry::makeSizeKey(12345), path);
    EXPECT_EQ(entry, QStringLiteral("00012345*/pics/a*b c*.jpg"));
    const CandidateEntry split = CandidateEntry::splitEntry(entry);
    EXPECT_EQ(split.sizeKey, QStringLiteral("00012345"));
    EXPECT_EQ(split.path, path);
    EXPECT_EQ(CandidateEntry::keyValue(split.sizeKey), 12345);
}

TEST(CandidateEntry, MalformedEntriesDoNotGiveAKey)
{
    EXPECT_EQ(CandidateEntry::splitEntry(QStringLiteral("no separator")).sizeKey, QString());
    EXPECT_EQ(CandidateEntry::keyValue(QString()), -1);
    EXPECT_EQ(CandidateEntry::keyValue(QStringLiteral("0001234x")), -1);
    EXPECT_EQ(CandidateEntry::keyValue(QStringLiteral("123")), -1);
}

TEST(CandidateEntry, TypeIsTheLastThreeCharactersLowered)
{
    struct Row {
        const char* name;
        bool candidate;
    };
    const Row rows[] = {
        {"PHOTO.JPG", true},
        {"x.Gif", true},
        {"scan.TIF", true},
        {"abcjpg", true},
        {"a.png", true},
        {"b.jp2", true},
        {"c.bmp", true},
        {"photo.jpeg", false},
        {"scan.tiff", false},
        // Spellings the whole-folder search takes, never the first design's list.
        {"old.dib", false},
        {"photo.jpe", false},
        {"map.j2k", false},
        {"map.jpc", false},
        {"phone.heic", false},
        {"wide.jpǵ", false},
        {"notes.txt", false},
        {"pg", false},
        {"", false},
    };
    for (const Row& row : rows) {
        const QString type = CandidateEntry::imageType(QString::fromUtf8(row.name));
        EXPECT_EQ(CandidateEntry::isCandidateType(type), row.candidate) << row.name;
    }
}
