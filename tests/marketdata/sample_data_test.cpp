// The shipped sample set loads completely; the expected numbers were worked
// out from the lines of the files themselves.
#include <gtest/gtest.h>

#include "marketdata/broadcast.h"
#include "marketdata/ribbon.h"
#include "marketdata/series.h"
#include "support/test_support.h"

namespace {

using namespace marketdata;

TEST(SampleData, EveryTableLoadsWithTheExpectedValues) {
    testsupport::ScopedCwd cwd(testsupport::SampleDir());
    LoadAllSeries();
    for (const SeriesTable* t :
         {&SpySeries, &DjiSeries, &EminiSeries, &SpyVwSeries, &EminiVwSeries, &SpyTicks, &EminiTicks, &QuoteTradeTicks})
        ASSERT_TRUE(*t);
    // eSPY.txt: 14:42:30.510 93.38 is the base; 14:47:54.611 85.39 is the
    // last trade of its second: -799 * 10000 / 9338 = -855.6.
    EXPECT_EQ(SpySeries[324].value, -855);
    // 14:53:00.536 89.80: -358 * 10000 / 9338 = -383.4; the 14:53:01 lines end the reading.
    EXPECT_EQ(SpySeries[630].value, -383);
    // iDJI.txt (CR LF): 8611.80 at 14:42:30, 8531.29 at 14:45:00: -8051 * 10000 / 861180.
    EXPECT_EQ(DjiSeries[150].value, -93);
    // fES.M10.25ms.txt: 93425 at 14:42:42.800, 93125 at 14:42:44.550 (slot 70).
    EXPECT_EQ(EminiTicks[70].value, -32);
    EXPECT_EQ(EminiTicks[70].volume1, 92);
    ASSERT_EQ(LoadRibbon(), 14);
    // BRCH: sum of sizes per second / 100; 14:47:51 has 600 + 5000 + 500 + 300.
    EXPECT_EQ(RibbonTable[1].values[321], 64);
    EXPECT_EQ(RibbonTable[1].values[322], 71);

    ASSERT_EQ(LoadBroadcast(), 8);
    EXPECT_EQ(BroadcastHeading.startSecond, 52920u);
    EXPECT_STREQ(BroadcastHeading.link, "desk.htm");
    EXPECT_EQ(BroadcastTable[0].offsetSeconds, 60);
    EXPECT_EQ(BroadcastTable[7].offsetSeconds, 610);
}

}  // namespace
