// The shipped sample set loads completely. Every expected number was worked
// out from the lines of the files themselves; each table is checked at a slot
// where reading another file or another field would give something else.
#include <gtest/gtest.h>

#include "marketdata/broadcast.h"
#include "marketdata/labels.h"
#include "marketdata/ribbon.h"
#include "marketdata/series.h"
#include "support/test_support.h"

namespace {

using namespace marketdata;

class SampleData : public ::testing::Test {
protected:
    testsupport::ScopedCwd cwd_{testsupport::SampleDir()};
};

TEST_F(SampleData, SecondTablesAtTheirBasesAndAt14_44_10) {
    const SeriesTables t = LoadAllSeries();
    ASSERT_TRUE(t.SpySeries && t.DjiSeries && t.EminiSeries && t.SpyVwSeries && t.EminiVwSeries);
    // Slot 100 is 14:44:10; each base is the table's 14:42:30 line.
    // eSPY.txt: 93.38 at 14:42:30.510, 92.88 at 14:44:10.166: -50 * 10000 / 9338 = -53.5.
    EXPECT_EQ(t.SpySeries[100].value, -53);
    // iDJI.txt (CR LF): 8611.80, 8570.07: -4173 * 10000 / 861180 = -48.5.
    EXPECT_EQ(t.DjiSeries[100].value, -48);
    // fES.M10.txt: 934.50, 929.00: -550 * 10000 / 93450 = -58.9.
    EXPECT_EQ(t.EminiSeries[100].value, -58);
    // eSPY.vw.txt, field 4: 9343, 9299: -44 * 10000 / 9343 = -47.1 (field 3
    // holds 30 on both lines, field 2 a running total).
    EXPECT_EQ(t.SpyVwSeries[100].value, -47);
    // fES.M10.vw.txt, field 4: 93475, 92994: -481 * 10000 / 93475 = -51.5.
    EXPECT_EQ(t.EminiVwSeries[100].value, -51);
    // eSPY.txt: 85.39 is the last trade of 14:47:54: -799 * 10000 / 9338 = -855.6;
    // 89.80 at 14:53:00.536: -383.4, the 14:53:01 lines end the reading.
    EXPECT_EQ(t.SpySeries[324].value, -855);
    EXPECT_EQ(t.SpySeries[630].value, -383);
}

TEST_F(SampleData, TickTablesAt14_42_44_550WithTheirVolumes) {
    const SeriesTables t = LoadAllSeries();
    ASSERT_TRUE(t.SpyTicks && t.EminiTicks && t.QuoteTradeTicks);
    // Slot 70 is 14:42:44.550; value field 3, volumes fields 8 and 11.
    // eSPY.25ms.txt: 9337 at 14:42:42.800, 9320: -17 * 10000 / 9337 = -18.2.
    const Sample& spy = t.SpyTicks[70];
    EXPECT_EQ((std::vector<std::int32_t>{spy.value, spy.volume1, spy.volume2}),
              (std::vector<std::int32_t>{-18, 96, 273}));
    // fES.M10.25ms.txt: 93425, 93125: -300 * 10000 / 93425 = -32.1.
    const Sample& emini = t.EminiTicks[70];
    EXPECT_EQ((std::vector<std::int32_t>{emini.value, emini.volume1, emini.volume2}),
              (std::vector<std::int32_t>{-32, 92, 267}));
    // QteTrdCnts.txt keeps its counts raw.
    const Sample& quotes = t.QuoteTradeTicks[70];
    EXPECT_EQ((std::vector<std::int32_t>{quotes.value, quotes.volume1, quotes.volume2}),
              (std::vector<std::int32_t>{156, 36, 52}));
    // Slot 0 is the 14:42:42.800 line, not the .775 one before it (volumes 10 and 14).
    EXPECT_EQ((std::vector<std::int32_t>{t.SpyTicks[0].volume1, t.SpyTicks[0].volume2}),
              (std::vector<std::int32_t>{23, 21}));
}

TEST_F(SampleData, RibbonBroadcastAndLabels) {
    const RibbonTable ribbon = LoadRibbon();
    ASSERT_EQ(ribbon.rows.size(), 14u);
    // BRCH: sum of sizes per second / 100; 14:47:51 has 600 + 5000 + 500 + 300.
    EXPECT_EQ(ribbon.rows[1].values[321], 64);
    EXPECT_EQ(ribbon.rows[1].values[322], 71);
    EXPECT_STREQ(ribbon.rows[13].caption, "OLVE price");

    const BroadcastTable broadcast = LoadBroadcast();
    ASSERT_EQ(broadcast.events.size(), 8u);
    EXPECT_EQ(broadcast.heading.startSecond, 52920u);
    EXPECT_STREQ(broadcast.heading.link, "desk.htm");
    EXPECT_EQ(broadcast.events[0].offsetSeconds, 60);
    EXPECT_EQ(broadcast.events[7].offsetSeconds, 610);

    // 20 T lines inside the window; the N line and those outside are left out.
    const LabelTable labels = LoadLabels();
    ASSERT_EQ(labels.labels.size(), 20u);
    EXPECT_EQ(labels.labels[0].text, "first futures dip");
    EXPECT_EQ(labels.labels[0].targetSecond, 52965u);
    EXPECT_EQ(labels.labels[19].link, "notes/summary.htm");
}

}  // namespace
