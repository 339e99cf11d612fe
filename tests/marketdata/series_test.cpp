// The loaders over scratch Data folders: series tables, the ribbon and the
// broadcast timeline.
#include "marketdata/series.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "marketdata/broadcast.h"
#include "marketdata/ribbon.h"
#include "support/test_support.h"

namespace {

using namespace marketdata;

class Loaders : public ::testing::Test {
protected:
    Loaders() : cwd_(dir_.path()) { BroadcastHeading = BroadcastHeader{}; }
    void Write(const std::string& name, const std::string& content) { dir_.Write("Data/" + name, content); }
    // The values of a per-second file (price in column 1, mode 1) or of a tick
    // file (column 3, given mode).
    std::vector<std::int32_t> Load(const std::string& content, int mode = 1, std::uint32_t column = 1) {
        Write("f.txt", content);
        const bool ticks = mode != 1;
        EXPECT_EQ(LoadSeriesTable(last_, "Data\\f.txt", ticks ? 3 : column, ticks ? 25 : 1000,
                                  ticks ? TickWindowFirst / 25 : SecondWindowFirst,
                                  ticks ? TickWindowLast / 25 : SecondWindowLast, mode),
                  1);
        std::vector<std::int32_t> values;
        for (std::uint32_t i = 0; i < (ticks ? TickCount : SecondCount); ++i)
            values.push_back(last_[i].value);
        return values;
    }

    testsupport::TempDir dir_;
    testsupport::ScopedCwd cwd_;
    SeriesTable last_;
};

TEST_F(Loaders, PricesBecomeChangesFromTheBaseAndGapsAfterItATotalLoss) {
    const auto v = Load(
        "Time|Price\n"
        "14:42:29.999|50.00\n"  // before the window
        "14:42:30\n"            // too short
        "14:42:35|112.00\n"
        "14:42:36.100|150.00\n"
        "14:42:36.900|110.88\n"  // the last line of a second wins
        "14:42:37|113.12|2|3|4|5|6|7|8|9|10|11|12\n"
        "14:53:00|224.00\n"
        "14:53:01|500.00\n"  // after the window: the reading ends
        "14:42:38|112.00\n");
    EXPECT_EQ(std::vector<std::int32_t>(v.begin(), v.begin() + 9),
              (std::vector<std::int32_t>{0, 0, 0, 0, 0, 0, -100, 100, -10000}));
    EXPECT_EQ(v[630], 10000);
    EXPECT_EQ(last_[7].volume1, 0);
}

TEST_F(Loaders, TickSlotBoundariesAndAuxiliaryFields) {
    const auto v = Load(
        "14:42:42.799|x|x|999\n"
        "14:42:42.800|x|x|1000|x|x|x|x|1,500|x|x|2,500\n"
        "14:42:42.824|x|x|1010|x|x|x|x|7\n"  // 9 fields: the second volume stays
        "14:42:42.825|x|x|1020|x|x|x|x|8|x\n"
        "14:42:46.300|x|x|1030\n"
        "14:42:46.324|x|x|1040\n"
        "14:42:46.325|x|x|5000\n",
        3);
    // Quote counts (mode 3) stay raw: slot 2 is no gap.
    EXPECT_EQ(
        (std::vector<std::int32_t>{v[0], last_[0].volume1, last_[0].volume2, v[1], last_[1].volume2, v[2], v[140]}),
        (std::vector<std::int32_t>{1010, 7, 2500, 1020, 0, 0, 1040}));
    const auto relative = Load("14:42:42.800|x|x|200\n14:42:42.825|x|x|210\n", 2);
    EXPECT_EQ((std::vector<std::int32_t>{relative[0], relative[1], relative[2]}),
              (std::vector<std::int32_t>{0, 500, -10000}));
}

TEST_F(Loaders, ShortValueColumnsAndLongLines) {
    // A line too short for its value column is skipped (a gap), not read as 0.
    const auto v = Load("14:42:30|a|b|c|10000\n14:42:31|a|b|c\n14:42:32|a|b|c|10100\n", 1, 4);
    EXPECT_EQ((std::vector<std::int32_t>{v[0], v[1], v[2]}), (std::vector<std::int32_t>{0, -10000, 100}));
    // A long line arrives in pieces; the second starts with a time of its own.
    std::string first = "14:42:30|100.00|";
    first += std::string(1022 - first.size(), 'x');
    EXPECT_EQ(Load(first + "14:42:31|105.00\n")[1], 500);
}

TEST_F(Loaders, MissingFilesLeaveTheirTablesAbsent) {
    Write("eSPY.txt", "14:42:30|10.00\n14:42:31|10.10\n");
    Write("QteTrdCnts.txt", "14:42:42.800|x|x|42\n");
    LoadAllSeries();
    ASSERT_TRUE(SpySeries && QuoteTradeTicks);
    EXPECT_EQ(SpySeries[1].value, 100);
    EXPECT_EQ(QuoteTradeTicks[0].value, 42);
    for (const SeriesTable* t : {&DjiSeries, &EminiSeries, &SpyVwSeries, &EminiVwSeries, &SpyTicks, &EminiTicks})
        EXPECT_FALSE(*t);
    std::filesystem::remove(dir_.path() / "Data" / "eSPY.txt");
    LoadAllSeries();
    EXPECT_FALSE(SpySeries);
}

TEST(ToRelative, SixtyFourBitsTruncatedAndSaturated) {
    std::vector<Sample> t(6, Sample{});
    for (int i = 0; const std::int32_t v : {0, 3, INT32_MAX, -2, 2, INT32_MIN})
        t[i++].value = v;
    ToRelative(t.data(), 6);
    std::vector<std::int32_t> got;
    for (const Sample& s : t)
        got.push_back(s.value);
    EXPECT_EQ(got, (std::vector<std::int32_t>{0, 0, INT32_MAX, -16666, -3333, INT32_MIN}));
}

TEST_F(Loaders, RibbonRowsFromTheConfiguration) {
    Write("XYZ.txt",
          "14:42:30.1|a|b|250\n14:42:30.5|a|b|1,270\n14:42:30.9|a|b|100\n"  // mode 1: greatest, / 100
          "14:42:31|a|b|99\n14:53:01|a|b|5000\n14:42:32|a|b|800\n");
    Write("S.txt", "14:42:30|5\n14:42:30|1,000\n14:42:31|2147483647\n14:42:31|2147483647\n14:42:32|7|8\n");
    Write("RibbonInfo.txt",
          "XYZ|3|1|100|Data\\XYZ.txt|page.htm|XYZ moves\n"
          "short|3|2\n"                        // three fields
          "short|3|2|0\n"                      // four fields: no file
          ";x|1|2|0|Data\\S.txt\n"             // a comment
          "M|1|0|0|Data\\missing.txt|m.htm\n"  // no file: no row
          "  ;x|1|2|0|data\\s.TXT\n");         // a comment only at the first character
    ASSERT_EQ(LoadRibbon(), 2);
    EXPECT_EQ((std::vector<std::string>{RibbonTable[0].caption, RibbonTable[0].link, RibbonTable[0].altText,
                                        RibbonTable[1].caption, RibbonTable[1].link}),
              (std::vector<std::string>{"XYZ", "page.htm", "XYZ moves", ";x", ""}));
    // 12: the greatest of its second / 100; the 14:42:32 line comes after the window ended the file.
    EXPECT_EQ((std::vector<std::int32_t>{RibbonTable[0].values[0], RibbonTable[0].values[1], RibbonTable[0].values[2]}),
              (std::vector<std::int32_t>{12, 0, 0}));
    EXPECT_EQ(RibbonTable[1].values[0], 1005);       // mode 2 sums
    EXPECT_EQ(RibbonTable[1].values[1], INT32_MAX);  // and saturates
    std::unique_ptr<std::int32_t[]> values;
    ASSERT_EQ(LoadRibbonSeries(values, "Data\\S.txt", 2, RibbonStore), 1);
    EXPECT_EQ(values[2], 8);
    EXPECT_EQ(values[1], 0);  // too short for the column
}

TEST_F(Loaders, RibbonAndBroadcastCapacitiesAndTextFields) {
    Write("s.txt", "14:42:30|1\n");
    std::string config, timeline = "14:42:00|" + std::string(100, 't') + "|" + std::string(300, 'l') + "\n";
    for (int i = 0; i < 20; ++i) {
        config +=
            std::string(200, 'c') + "|1|0|0|Data\\s.txt|" + std::string(400, 'l') + "|" + std::string(100, 'a') + "\n";
        timeline += "00:00:" + std::to_string(10 + i) + "|" + std::string(90, 'c') + "|" + std::string(70, 'd') + "\n";
    }
    Write("RibbonInfo.txt", config);
    Write("CNBC_Elapsed.txt", timeline);
    using Lengths = std::vector<std::size_t>;
    ASSERT_EQ(LoadRibbon(), RibbonCapacity);
    const RibbonRow& row = RibbonTable[15];
    EXPECT_EQ((Lengths{std::strlen(row.caption), std::strlen(row.link), std::strlen(row.altText)}),
              (Lengths{95, 255, 63}));
    ASSERT_EQ(LoadBroadcast(), BroadcastCapacity);
    const BroadcastEvent& last = BroadcastTable[15];
    EXPECT_EQ((Lengths{std::strlen(BroadcastHeading.title), std::strlen(BroadcastHeading.link),
                       std::strlen(last.caption), std::strlen(last.detail), std::size_t(last.offsetSeconds)}),
              (Lengths{63, 127, 63, 63, 25}));
}

TEST_F(Loaders, BroadcastHeadingAndEvents) {
    Write("CNBC_Elapsed.txt",
          "; timeline\n14:42:00|Live coverage|live.htm\n00:03:10|Anchor: markets falling|\n00:05:45|Guest|down 300\n");
    ASSERT_EQ(LoadBroadcast(), 2);
    EXPECT_EQ(BroadcastHeading.startSecond, 52920u);
    EXPECT_EQ((std::vector<std::string>{BroadcastHeading.title, BroadcastHeading.link, BroadcastTable[0].caption,
                                        BroadcastTable[0].detail, BroadcastTable[1].detail}),
              (std::vector<std::string>{"Live coverage", "live.htm", "Anchor: markets falling", "", "down 300"}));
    EXPECT_EQ(BroadcastTable[0].offsetSeconds, 190);
    EXPECT_EQ(BroadcastTable[1].offsetSeconds, 345);
    // A single-field first line is no heading; a heading without link has an empty one.
    Write("CNBC_Elapsed.txt", "14:00:00\nxx|Title\n00:00:01.999|Event|detail\n");
    ASSERT_EQ(LoadBroadcast(), 1);
    EXPECT_EQ(BroadcastHeading.startSecond, 0u);
    EXPECT_STREQ(BroadcastHeading.title, "Title");
    EXPECT_STREQ(BroadcastHeading.link, "");
    EXPECT_EQ(BroadcastTable[0].offsetSeconds, 1);
}

}  // namespace
