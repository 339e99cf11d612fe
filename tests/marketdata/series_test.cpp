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
using Values = std::vector<std::int32_t>;
using Lengths = std::vector<std::size_t>;

class Loaders : public ::testing::Test {
protected:
    void Write(const std::string& name, const std::string& content) { dir_.Write("Data/" + name, content); }
    // The table of a per-second file (price in column `column`) or of a tick
    // file (column 3) of the given kind.
    SeriesTable Load(const std::string& content, SeriesKind kind = SeriesKind::Price, std::uint32_t column = 1) {
        Write("f.txt", content);
        if (kind == SeriesKind::Price)
            return LoadSeriesTable("Data\\f.txt", column, 1000, SecondWindowFirst, SecondWindowLast, kind);
        return LoadSeriesTable("Data\\f.txt", 3, 25, FirstTickSlot, LastTickSlot, kind);
    }
    static Values At(const SeriesTable& table, std::initializer_list<std::uint32_t> slots) {
        Values values;
        for (std::uint32_t slot : slots)
            values.push_back(table ? table[slot].value : INT32_MIN);
        return values;
    }

    testsupport::TempDir dir_;
    testsupport::ScopedCwd cwd_{dir_.path()};
};

TEST_F(Loaders, PricesBecomeChangesFromTheBaseWithinTheSecondWindow) {
    const SeriesTable t = Load(
        "Time|Price\n"
        "14:42:29.999|50.00\n"  // before the window
        "14:42:30|100.00\n"     // the first slot: the base
        "14:42:31\n"            // too short
        "14:42:35|112.00\n"
        "14:42:36.100|150.00\n"
        "14:42:36.900|110.88\n"  // the last line of a second wins
        "14:42:37|113.12|2|3|4|5|6|7|8|9|10|11|12\n"
        "14:53:00.999|224.00\n"  // the last slot
        "14:53:01|500.00\n"      // after the window: the reading ends
        "14:42:38|112.00\n");
    // Gaps after the base read as a total loss.
    EXPECT_EQ(At(t, {0, 1, 4, 5, 6, 7, 8, 630}), (Values{0, -10000, -10000, 1200, 1088, 1312, -10000, 12400}));
    EXPECT_EQ(t[7].volume1, 0);  // prices carry no volumes
    // Slots before the first nonzero value stay 0; a line just before the
    // window is no base for slot 0.
    EXPECT_EQ(At(Load("14:42:29.999|50.00\n14:42:33|10.00\n14:42:34|10.10\n"), {0, 2, 3, 4}), (Values{0, 0, 0, 100}));
}

TEST_F(Loaders, TickSlotsOf25MillisecondsAndTheirVolumes) {
    const SeriesTable raw = Load(
        "14:42:42.775|x|x|999|x|x|x|x|1|x|x|3\n"  // before the window
        "14:42:42.800|x|x|1000|x|x|x|x|1,500\n"   // the first slot, without a second volume
        "14:42:42.825|x|x|1010|x|x|x|x|8|x|x|2,500\n"
        "14:42:42.849|x|x|1020|x|x|x|x|7\n"  // 9 fields: the second volume stays
        "14:42:46.300|x|x|1030\n"            // the last slot
        "14:42:46.325|x|x|5000\n"            // ends the reading
        "14:42:43.000|x|x|777\n",
        SeriesKind::RawCount);
    ASSERT_TRUE(raw);
    // Quote counts stay raw: slot 2 is no gap.
    EXPECT_EQ(At(raw, {0, 1, 2, 8, 140}), (Values{1000, 1020, 0, 0, 1030}));
    EXPECT_EQ((Values{raw[0].volume1, raw[0].volume2, raw[1].volume1, raw[1].volume2}), (Values{1500, 0, 7, 2500}));
    const SeriesTable relative = Load("14:42:42.800|x|x|200\n14:42:42.825|x|x|210\n", SeriesKind::RelativeCount);
    EXPECT_EQ(At(relative, {0, 1, 2}), (Values{0, 500, -10000}));
}

TEST_F(Loaders, ShortValueColumnsAndLongLines) {
    // A line too short for its value column is skipped (a gap), not read as 0.
    EXPECT_EQ(At(Load("14:42:30|a|b|c|10000\n14:42:31|a|b|c\n14:42:32|a|b|c|10100\n", SeriesKind::Price, 4), {0, 1, 2}),
              (Values{0, -10000, 100}));
    // A long line arrives in 1022-character pieces; the second starts with a
    // time of its own.
    std::string first = "14:42:30|100.00|";
    first += std::string(1022 - first.size(), 'x');
    EXPECT_EQ(At(Load(first + "14:42:31|105.00\n"), {1}), Values{500});
}

TEST_F(Loaders, MissingFilesLeaveTheirTablesAbsent) {
    Write("eSPY.txt", "14:42:30|10.00\n14:42:31|10.10\n");
    Write("QteTrdCnts.txt", "14:42:42.800|x|x|42\n");
    SeriesTables t = LoadAllSeries();
    ASSERT_TRUE(t.SpySeries && t.QuoteTradeTicks);
    EXPECT_EQ(t.SpySeries[1].value, 100);
    EXPECT_EQ(t.QuoteTradeTicks[0].value, 42);
    for (const SeriesTable* table :
         {&t.DjiSeries, &t.EminiSeries, &t.SpyVwSeries, &t.EminiVwSeries, &t.SpyTicks, &t.EminiTicks})
        EXPECT_FALSE(*table);
    std::filesystem::remove(dir_.path() / "Data" / "eSPY.txt");
    EXPECT_FALSE(LoadAllSeries().SpySeries);
}

TEST(ToRelative, SixtyFourBitsTruncatedAndSaturated) {
    std::vector<Sample> t(6, Sample{});
    for (int i = 0; const std::int32_t v : {0, 3, INT32_MAX, -2, 2, INT32_MIN})
        t[i++].value = v;
    ToRelative(t.data(), 6);
    Values got;
    for (const Sample& s : t)
        got.push_back(s.value);
    EXPECT_EQ(got, (Values{0, 0, INT32_MAX, -16666, -3333, INT32_MIN}));
}

TEST_F(Loaders, RibbonRowsFromTheConfiguration) {
    Write("XYZ.txt",
          "14:42:30.1|a|b|250\n14:42:30.5|a|b|1,270\n14:42:30.9|a|b|100\n"  // rule 1: greatest, / 100
          "14:42:31|a|b|99\n14:53:01|a|b|5000\n14:42:32|a|b|800\n");
    Write("S.txt", "14:42:30|5\n14:42:30|1,000\n14:42:31|2147483647\n14:42:31|2147483647\n14:42:32|7|8\n");
    Write("RibbonInfo.txt",
          "XYZ|3|1|100|Data\\XYZ.txt|page.htm|XYZ moves\n"
          "short|3|2\n"                        // three fields
          "short|3|2|0\n"                      // four fields: no file
          ";x|1|2|0|Data\\S.txt\n"             // a comment
          "M|1|0|0|Data\\missing.txt|m.htm\n"  // no file: no row
          "  ;x|1|2|0|data\\s.TXT\n");         // a comment only at the first character
    const RibbonTable ribbon = LoadRibbon();
    ASSERT_EQ(ribbon.rows.size(), 2u);
    const RibbonRow &xyz = ribbon.rows[0], &s = ribbon.rows[1];
    EXPECT_EQ((std::vector<std::string>{xyz.caption, xyz.link, xyz.altText, s.caption, s.link}),
              (std::vector<std::string>{"XYZ", "page.htm", "XYZ moves", ";x", ""}));
    // 12: the greatest of its second / 100; the 14:42:32 line comes after the window ended the file.
    EXPECT_EQ((Values{xyz.values[0], xyz.values[1], xyz.values[2]}), (Values{12, 0, 0}));
    EXPECT_EQ(s.values[0], 1005);       // rule 2 sums
    EXPECT_EQ(s.values[1], INT32_MAX);  // and saturates
    const auto values = LoadRibbonSeries("Data\\S.txt", 2, RibbonRule::Last);
    ASSERT_TRUE(values);
    EXPECT_EQ(values[2], 8);
    EXPECT_EQ(values[1], 0);  // too short for the column
    EXPECT_FALSE(LoadRibbonSeries("Data\\missing.txt", 1, RibbonRule::Last));
}

TEST_F(Loaders, RibbonKeepsSixteenRowsAndCutsItsTexts) {
    Write("s.txt", "14:42:30|1\n");
    // Caption 95, link 255 and alternative text 63 characters fit; one more is cut.
    std::string config = std::string(95, 'c') + "|1|0|0|Data\\s.txt|" + std::string(255, 'l') + "|" +
                         std::string(63, 'a') + "\n" + std::string(96, 'c') + "|1|0|0|Data\\s.txt|" +
                         std::string(256, 'l') + "|" + std::string(64, 'a') + "\n";
    for (int i = 2; i < 17; ++i)
        config += "row" + std::to_string(i) + "|1|0|0|Data\\s.txt\n";
    Write("RibbonInfo.txt", config);
    const RibbonTable ribbon = LoadRibbon();
    ASSERT_EQ(ribbon.rows.size(), 16u);
    EXPECT_STREQ(ribbon.rows[15].caption, "row15");  // row16, the 17th, is left out
    for (const RibbonRow* row : {&ribbon.rows[0], &ribbon.rows[1]})
        EXPECT_EQ((Lengths{std::strlen(row->caption), std::strlen(row->link), std::strlen(row->altText)}),
                  (Lengths{95, 255, 63}))
            << row - ribbon.rows.data();
    // An alternative text of 62 characters and an e acute in UTF-8: the
    // character does not fit whole and is left out.
    Write("RibbonInfo.txt", "caf\xC3\xA9|1|0|0|Data\\s.txt|l|" + std::string(62, 'a') + "\xC3\xA9\n");
    const RibbonTable accented = LoadRibbon();
    ASSERT_EQ(accented.rows.size(), 1u);
    EXPECT_EQ(accented.rows[0].altText, std::string(62, 'a'));
    EXPECT_STREQ(accented.rows[0].caption, "caf\xC3\xA9");
}

TEST_F(Loaders, BroadcastKeepsSixteenEventsAndCutsItsTexts) {
    std::string timeline = "14:42:00|" + std::string(100, 't') + "|" + std::string(300, 'l') + "\n";
    timeline += "00:00:10|" + std::string(63, 'c') + "|" + std::string(63, 'd') + "\n";
    for (int i = 1; i < 17; ++i)
        timeline += "00:00:" + std::to_string(10 + i) + "|" + std::string(64, 'c') + "|" + std::string(70, 'd') + "\n";
    Write("CNBC_Elapsed.txt", timeline);
    const BroadcastTable b = LoadBroadcast();
    ASSERT_EQ(b.events.size(), 16u);
    EXPECT_EQ(b.events[15].offsetSeconds, 25);  // 00:00:26, the 17th, is left out
    EXPECT_EQ((Lengths{std::strlen(b.heading.title), std::strlen(b.heading.link)}), (Lengths{63, 127}));
    for (const BroadcastEvent* event : {&b.events[0], &b.events[1]})
        EXPECT_EQ((Lengths{std::strlen(event->caption), std::strlen(event->detail)}), (Lengths{63, 63}))
            << event - b.events.data();
}

TEST_F(Loaders, BroadcastHeadingAndEvents) {
    Write("CNBC_Elapsed.txt",
          "; timeline\n14:42:00|Live coverage|live.htm\n00:03:10|Anchor: markets falling|\n00:05:45|Guest|down 300\n");
    BroadcastTable b = LoadBroadcast();
    ASSERT_EQ(b.events.size(), 2u);
    EXPECT_EQ(b.heading.startSecond, 52920u);
    EXPECT_EQ((std::vector<std::string>{b.heading.title, b.heading.link, b.events[0].caption, b.events[0].detail,
                                        b.events[1].detail}),
              (std::vector<std::string>{"Live coverage", "live.htm", "Anchor: markets falling", "", "down 300"}));
    EXPECT_EQ((Values{b.events[0].offsetSeconds, b.events[1].offsetSeconds}), (Values{190, 345}));
    // A single-field first line is no heading; a heading without link has an empty one.
    Write("CNBC_Elapsed.txt", "14:00:00\nxx|Title\n00:00:01.999|Event|detail\n");
    b = LoadBroadcast();
    ASSERT_EQ(b.events.size(), 1u);
    EXPECT_EQ(b.heading.startSecond, 0u);
    EXPECT_STREQ(b.heading.title, "Title");
    EXPECT_STREQ(b.heading.link, "");
    EXPECT_EQ(b.events[0].offsetSeconds, 1);
    // Without the file: no heading, no events.
    std::filesystem::remove(dir_.path() / "Data" / "CNBC_Elapsed.txt");
    b = LoadBroadcast();
    EXPECT_TRUE(b.events.empty() && b.heading.startSecond == 0 && b.heading.title[0] == '\0');
}

}  // namespace
