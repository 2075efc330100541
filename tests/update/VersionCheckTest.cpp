#include "update/VersionCheck.h"

#include "ScriptedHttpServer.h"

#include <QLocale>
#include <gtest/gtest.h>

namespace {

struct NumberCase {
    const char* name;
    const char* text;
    double expected;
};

class LeadingNumber : public ::testing::TestWithParam<NumberCase> { };

TEST_P(LeadingNumber, ReadsLikeTheProgramAlwaysDid)
{
    // A decimal comma locale must not change how "." is read.
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_DOUBLE_EQ(
        VersionCheck::leadingNumber(QString::fromUtf8(GetParam().text)), GetParam().expected);
    QLocale::setDefault(previous);
}

INSTANTIATE_TEST_SUITE_P(Texts, LeadingNumber,
    ::testing::Values(NumberCase{"Plain", "1.10", 1.1}, NumberCase{"Whole", "7", 7},
        NumberCase{"BlanksAnywhere", " 1 . 2 0", 1.2},
        NumberCase{"TabsAndLineFeeds", "\t\n2.\n5", 2.5}, NumberCase{"StopsAtLetter", "1.9b", 1.9},
        NumberCase{"StopsAtSecondPoint", "1.2.3", 1.2},
        NumberCase{"CarriageReturnStops", "1\r2", 1}, NumberCase{"LeadingPoint", ".5", 0.5},
        NumberCase{"Negative", "-2.5x", -2.5}, NumberCase{"Exponent", "1e2", 100},
        NumberCase{"BareExponentMark", "3e", 3}, NumberCase{"NotANumber", "beta", 0},
        NumberCase{"Empty", "", 0}, NumberCase{"SignOnly", "-", 0}, NumberCase{"PointOnly", ".", 0},
        NumberCase{"CommaIsNotADecimalPoint", "1,5", 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LeadingNumber, HugeExponentDoesNotOverflowTheParser)
{
    EXPECT_GT(VersionCheck::leadingNumber("9e99999999999999999999"), 1e300);
    EXPECT_DOUBLE_EQ(VersionCheck::leadingNumber("9e-99999999999999999999"), 0.0);
}

struct NewerCase {
    const char* published;
    bool newer;
};

class IsNewer : public ::testing::TestWithParam<NewerCase> { };

TEST_P(IsNewer, ComparesDecimalNumbersNotComponents)
{
    EXPECT_EQ(VersionCheck::isNewer("1.10", GetParam().published), GetParam().newer)
        << "published " << GetParam().published;
}

INSTANTIATE_TEST_SUITE_P(Versions, IsNewer,
    ::testing::Values(NewerCase{"1.20", true}, NewerCase{"1.11", true}, NewerCase{"1.2", true},
        NewerCase{"1.9 ", true}, NewerCase{"2", true}, NewerCase{"1.10", false},
        NewerCase{"1.1", false}, NewerCase{"1.05", false}, NewerCase{"abc", false},
        NewerCase{"", false}));

TEST(PublishedVersionText, TakesFourCharactersAfterMarkerAndSeparator)
{
    EXPECT_EQ(VersionCheck::publishedVersionText("<p>Corvane ver 1.20</p>"), "1.20");
    EXPECT_EQ(VersionCheck::publishedVersionText("Corvane ver 1.9 is out"), "1.9 ");
    EXPECT_EQ(VersionCheck::publishedVersionText("Corvane ver:1.3"), "1.3");
    EXPECT_EQ(VersionCheck::publishedVersionText("Corvane ver 1.05 / Corvane ver 1.50"), "1.05");
}

TEST(PublishedVersionText, ShortOrMissingText)
{
    EXPECT_EQ(VersionCheck::publishedVersionText("Corvane ver"), "");
    EXPECT_EQ(VersionCheck::publishedVersionText("Corvane ver "), "");
    EXPECT_EQ(VersionCheck::publishedVersionText(""), "");
    // The marker is matched with its case.
    EXPECT_EQ(VersionCheck::publishedVersionText("corvane ver 1.20 and more"), " 1.2");
}

TEST(PublishedVersionText, WithoutMarkerTakesTheCharactersAfterTheMarkerLength)
{
    EXPECT_EQ(VersionCheck::publishedVersionText("0123456789ABCDEFGH"), "BCDE");
    EXPECT_EQ(VersionCheck::publishedVersionText("0123456789AB"), "B");
}

TEST(PublishedVersionText, PageIsReadAsLatin1)
{
    // Each byte is one character, so a high byte inside the version stays one.
    EXPECT_EQ(VersionCheck::publishedVersionText("\xe9t\xe9 Corvane ver 1\xb7"
                                                 "23"),
        QString::fromUtf8("1\u00b723"));
}

TEST(VersionCheckSite, EnvironmentReplacesTheMakerSite)
{
    ScopedSite site("http://127.0.0.1:8123/");
    EXPECT_EQ(VersionCheck::versionPageUrl(), QUrl("http://127.0.0.1:8123/"));
    EXPECT_EQ(
        VersionCheck::downloadPageUrl(), QUrl("http://127.0.0.1:8123/_mgxroot/page_10736.html"));
    site.set(QString());
    EXPECT_EQ(VersionCheck::site().left(7), "http://");
    EXPECT_TRUE(VersionCheck::downloadPageUrl().toString().endsWith("/_mgxroot/page_10736.html"));
    EXPECT_TRUE(VersionCheck::versionPageUrl().isValid());
}

TEST(VersionCheckLabel, VersionOnSecondLine)
{
    EXPECT_EQ(VersionCheck::labelText("1.20"), QString("Download\r\nCorvane 1.20"));
}

} // namespace
