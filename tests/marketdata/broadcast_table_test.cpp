#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "marketdata/broadcast.h"
#include "support/test_support.h"

namespace {

using namespace marketdata;
using testsupport::ScopedCwd;
using testsupport::TempDir;

class BroadcastFile : public ::testing::Test {
protected:
    BroadcastFile() : cwd_(dir_.path()) { BroadcastHeading = BroadcastHeader{}; }
    void Timeline(const std::string& content) { dir_.Write("Data/CNBC_Elapsed.txt", content); }

    TempDir dir_;
    ScopedCwd cwd_;
};

TEST_F(BroadcastFile, ReadsHeadingAndEvents) {
    Timeline(
        "; timeline\n"
        "14:42:00|Live coverage|live.htm\n"
        "00:03:10|Anchor: markets falling|\n"
        "00:05:45|Guest|down 300\n");
    ASSERT_EQ(LoadBroadcast(), 2);
    EXPECT_EQ(BroadcastHeading.startSecond, 52920u);
    EXPECT_STREQ(BroadcastHeading.title, "Live coverage");
    EXPECT_STREQ(BroadcastHeading.link, "live.htm");
    EXPECT_EQ(BroadcastTable[0].offsetSeconds, 190);
    EXPECT_STREQ(BroadcastTable[0].caption, "Anchor: markets falling");
    EXPECT_STREQ(BroadcastTable[0].detail, "");
    EXPECT_EQ(BroadcastTable[1].offsetSeconds, 345);
    EXPECT_STREQ(BroadcastTable[1].caption, "Guest");
    EXPECT_STREQ(BroadcastTable[1].detail, "down 300");
}

TEST_F(BroadcastFile, ShortLinesDoNotCountAsTheHeading) {
    Timeline(
        "14:00:00\n"
        "  ; not a comment|but a heading\n"
        "xx|Title\n"
        "00:00:01.999|Second heading-like|line.htm|extra\n");
    ASSERT_EQ(LoadBroadcast(), 2);
    EXPECT_EQ(BroadcastHeading.startSecond, 0u);
    EXPECT_STREQ(BroadcastHeading.title, "but a heading");
    EXPECT_STREQ(BroadcastTable[0].caption, "Title");
    EXPECT_EQ(BroadcastTable[0].offsetSeconds, 0);
    EXPECT_STREQ(BroadcastTable[1].caption, "Second heading-like");
    EXPECT_STREQ(BroadcastTable[1].detail, "line.htm");
    EXPECT_EQ(BroadcastTable[1].offsetSeconds, 1);  // fractions dropped
}

TEST_F(BroadcastFile, AHeadingWithoutLinkHasAnEmptyLink) {
    Timeline("xx|Title\n");
    EXPECT_EQ(LoadBroadcast(), 0);
    EXPECT_EQ(BroadcastHeading.startSecond, 0u);
    EXPECT_STREQ(BroadcastHeading.title, "Title");
    EXPECT_STREQ(BroadcastHeading.link, "");
}

TEST_F(BroadcastFile, AHeadinglessLoadKeepsThePreviousHeading) {
    Timeline("14:42:00|Kept|k.htm\n00:01:00|e\n");
    ASSERT_EQ(LoadBroadcast(), 1);
    Timeline("; only a comment\n");
    EXPECT_EQ(LoadBroadcast(), 0);
    EXPECT_STREQ(BroadcastHeading.title, "Kept");
    std::filesystem::remove(dir_.path() / "Data" / "CNBC_Elapsed.txt");
    EXPECT_EQ(LoadBroadcast(), 0);
    EXPECT_EQ(BroadcastEventCount, 0);
    EXPECT_EQ(BroadcastHeading.startSecond, 52920u);
}

TEST_F(BroadcastFile, AtMostSixteenEventsAndTextsCutToTheirFields) {
    std::string content = "14:42:00|" + std::string(100, 't') + "|" + std::string(300, 'l') + "\n";
    for (int i = 0; i < 20; ++i) {
        content += "00:00:" + std::to_string(10 + i) + "|" + std::string(90, 'c') + "|" + std::string(70, 'd') + "\n";
    }
    Timeline(content);
    ASSERT_EQ(LoadBroadcast(), BroadcastCapacity);
    EXPECT_EQ(std::strlen(BroadcastHeading.title), 63u);
    EXPECT_EQ(std::strlen(BroadcastHeading.link), 127u);
    EXPECT_EQ(std::strlen(BroadcastTable[15].caption), 63u);
    EXPECT_EQ(std::strlen(BroadcastTable[15].detail), 63u);
    EXPECT_EQ(BroadcastTable[15].offsetSeconds, 25);
}

}  // namespace
