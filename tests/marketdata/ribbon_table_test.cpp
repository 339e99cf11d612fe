#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "marketdata/ribbon.h"
#include "marketdata/series.h"
#include "support/test_support.h"

namespace {

using namespace marketdata;
using testsupport::ScopedCwd;
using testsupport::TempDir;

class RibbonFiles : public ::testing::Test {
protected:
    RibbonFiles() : cwd_(dir_.path()) {}
    void Write(const std::string& name, const std::string& content) { dir_.Write(name, content); }
    void Config(const std::string& content) { Write("Data/RibbonInfo.txt", content); }

    TempDir dir_;
    ScopedCwd cwd_;
};

TEST_F(RibbonFiles, LoadsAConfiguredRowWithRuleAndDivisor) {
    Write("Data/XYZ.txt",
          "14:42:29|a|b|900\n"
          "14:42:30.1|a|b|250\n"
          "14:42:30.5|a|b|1,270\n"
          "14:42:30.9|a|b|100\n"
          "14:42:31|a|b|99\n"
          "14:53:01|a|b|5000\n"
          "14:42:32|a|b|800\n");
    Config("XYZ|3|1|100|Data\\XYZ.txt|page.htm|XYZ moves\n");
    ASSERT_EQ(LoadRibbon(), 1);
    ASSERT_EQ(RibbonRowCount, 1);
    const RibbonRow& row = RibbonTable[0];
    EXPECT_STREQ(row.caption, "XYZ");
    EXPECT_STREQ(row.link, "page.htm");
    EXPECT_STREQ(row.altText, "XYZ moves");
    EXPECT_EQ(row.values[0], 12);  // the greatest of the second, divided by 100
    EXPECT_EQ(row.values[1], 0);
    EXPECT_EQ(row.values[2], 0);  // read after the window ended the file
}

TEST_F(RibbonFiles, CombineRules) {
    Write("Data/s.txt",
          "14:42:30|x|5\n"
          "14:42:30|x|7\n"
          "14:42:30|x|1,000\n"
          "14:42:31|x|2147483647\n"
          "14:42:31|x|2147483647\n");
    std::unique_ptr<std::int32_t[]> values;
    ASSERT_EQ(LoadRibbonSeries(values, "Data\\s.txt", 2, RibbonAdd), 1);
    EXPECT_EQ(values[0], 1012);
    EXPECT_EQ(values[1], INT32_MAX);  // sums saturate
    ASSERT_EQ(LoadRibbonSeries(values, "Data\\s.txt", 2, RibbonStore), 1);
    EXPECT_EQ(values[0], 1000);
    ASSERT_EQ(LoadRibbonSeries(values, "Data\\s.txt", 2, RibbonMaximum), 1);
    EXPECT_EQ(values[0], 1000);
    ASSERT_EQ(LoadRibbonSeries(values, "Data\\s.txt", 2, 7), 1);
    EXPECT_EQ(values[0], 0);
    EXPECT_EQ(values[1], 0);
}

TEST_F(RibbonFiles, MaximumNeverGoesBelowZeroAndStoreKeepsTheLast) {
    Write("Data/s.txt",
          "14:42:30|4294967295\n"  // wraps to -1
          "14:42:31|3\n"
          "14:42:31|4294967295\n");
    std::unique_ptr<std::int32_t[]> values;
    ASSERT_EQ(LoadRibbonSeries(values, "Data\\s.txt", 1, RibbonMaximum), 1);
    EXPECT_EQ(values[0], 0);
    EXPECT_EQ(values[1], 3);
    ASSERT_EQ(LoadRibbonSeries(values, "Data\\s.txt", 1, RibbonStore), 1);
    EXPECT_EQ(values[1], -1);
}

TEST_F(RibbonFiles, LinesTooShortForTheColumnAreSkipped) {
    Write("Data/s.txt",
          "14:42:30|1|2|30\n"
          "14:42:30|1|2\n"
          "14:42:31|1\n");
    std::unique_ptr<std::int32_t[]> values;
    ASSERT_EQ(LoadRibbonSeries(values, "Data\\s.txt", 3, RibbonStore), 1);
    EXPECT_EQ(values[0], 30);
    EXPECT_EQ(values[1], 0);
}

TEST_F(RibbonFiles, ShortCommentAndColumnZeroLinesAreSkipped) {
    Write("Data/A.txt", "14:42:30|1|2\n");
    Config(
        "XYZ|3|2\n"                 // 3 fields
        "XYZ|3|2|0\n"               // 4 fields, no file name
        ";x|1|0|0|Data\\A.txt\n"    // comment
        "COL|0|0|0|Data\\A.txt\n"   // column 0
        "  ;x|1|0|0|Data\\A.txt\n"  // not a comment
        "\n");
    ASSERT_EQ(LoadRibbon(), 1);
    EXPECT_STREQ(RibbonTable[0].caption, ";x");
    EXPECT_STREQ(RibbonTable[0].link, "");
    EXPECT_STREQ(RibbonTable[0].altText, "");
    EXPECT_EQ(RibbonTable[0].values[0], 1);
}

TEST_F(RibbonFiles, ARowWhoseFileIsMissingTakesNoRowNumber) {
    Write("Data/B.txt", "14:42:30|2\n");
    Config(
        "A|1|0|0|Data\\missing.txt|a.htm|a\n"
        "B|1|0|0|Data\\B.txt|b.htm|b\n"
        "C|1|0|0|Data|c.htm|c\n");  // a folder never opens
    ASSERT_EQ(LoadRibbon(), 1);
    EXPECT_STREQ(RibbonTable[0].caption, "B");
    EXPECT_EQ(RibbonTable[0].values[0], 2);

    std::filesystem::remove(dir_.path() / "Data" / "RibbonInfo.txt");
    EXPECT_EQ(LoadRibbon(), 0);
    EXPECT_EQ(RibbonRowCount, 0);
}

TEST_F(RibbonFiles, DivisionIsUnsigned) {
    Write("Data/s.txt", "14:42:30|4294967295\n14:42:31|250\n");
    Config("S|1|0|10|Data\\s.txt\n");
    ASSERT_EQ(LoadRibbon(), 1);
    EXPECT_EQ(RibbonTable[0].values[0], 429496729);
    EXPECT_EQ(RibbonTable[0].values[1], 25);
}

TEST_F(RibbonFiles, AtMostSixteenRowsAndTextsCutToTheirFields) {
    Write("Data/s.txt", "14:42:30|1\n");
    std::string config;
    const std::string longCaption(200, 'c');
    const std::string longLink(400, 'l');
    const std::string longAlt(100, 'a');
    for (int i = 0; i < 20; ++i) {
        config += longCaption + std::to_string(i) + "|1|0|0|Data\\s.txt|" + longLink + "|" + longAlt + "\n";
    }
    Config(config);
    ASSERT_EQ(LoadRibbon(), RibbonCapacity);
    EXPECT_EQ(std::string(RibbonTable[15].caption), longCaption.substr(0, 95));
    EXPECT_EQ(std::string(RibbonTable[15].link), longLink.substr(0, 255));
    EXPECT_EQ(std::string(RibbonTable[15].altText), longAlt.substr(0, 63));
}

TEST_F(RibbonFiles, FileNamesMatchTheWayWindowsDoes) {
    Write("Data/Ribbon/QRS.txt", "14:42:30|9\n");
    Config(
        "A|1|0|0|data\\ribbon\\qrs.TXT|x\n"
        "B|1|0|0|Data\\Ribbon\\QRS.txt. . \n"  // trailing dots and blanks are dropped
        "C|1|0|0|Data\\Ribbon\\QRS.txt  |x\n");
    ASSERT_EQ(LoadRibbon(), 3);
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(RibbonTable[r].values[0], 9) << r;
    }
}

}  // namespace
