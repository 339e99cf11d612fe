#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "marketdata/series.h"
#include "support/test_support.h"

namespace {

using namespace marketdata;
using testsupport::ScopedCwd;
using testsupport::TempDir;

constexpr std::uint32_t FirstTick = TickWindowFirst / 25;  // 2118512
constexpr std::uint32_t LastTick = TickWindowLast / 25;    // 2118652

// A scratch working directory with a Data folder.
class SeriesFiles : public ::testing::Test {
protected:
    SeriesFiles() : cwd_(dir_.path()) {}
    void Write(const std::string& name, const std::string& content) { dir_.Write("Data/" + name, content); }

    // Loads a per-second price file (mode 1, column 1).
    SeriesTable LoadPrices(const std::string& content) {
        Write("p.txt", content);
        SeriesTable table;
        EXPECT_EQ(LoadSeriesTable(table, "Data\\p.txt", 1, 1000, SecondWindowFirst, SecondWindowLast, 1), 1);
        return table;
    }
    SeriesTable LoadTicks(const std::string& content, int mode) {
        Write("t.txt", content);
        SeriesTable table;
        EXPECT_EQ(LoadSeriesTable(table, "Data\\t.txt", 3, 25, FirstTick, LastTick, mode), 1);
        return table;
    }

    TempDir dir_;
    ScopedCwd cwd_;
};

TEST_F(SeriesFiles, PricesBecomeChangesFromTheFirstNonzeroSlot) {
    SeriesTable t = LoadPrices(
        "14:42:35|112.00\n"
        "14:42:36|110.88\n"
        "14:42:37|113.12|2|3|4|5|6|7|8|9|10|11|12\n");
    for (int i = 0; i <= 5; ++i) {
        EXPECT_EQ(t[i].value, 0) << i;
    }
    EXPECT_EQ(t[6].value, -100);
    EXPECT_EQ(t[7].value, 100);
    // Slots after the base that no line reached read as a total loss.
    EXPECT_EQ(t[8].value, -10000);
    EXPECT_EQ(t[630].value, -10000);
    EXPECT_EQ(t[7].volume1, 0);  // the price column reads nothing else
    EXPECT_EQ(t[7].volume2, 0);
    EXPECT_EQ(SecondCount, 631u);
    EXPECT_EQ(TickCount, 141u);
}

TEST_F(SeriesFiles, SkipsLinesBeforeTheWindowAndShortLines) {
    SeriesTable t = LoadPrices(
        "Time|Price\n"
        "14:42:29.999|50.00\n"
        "14:42:30\n"
        "\n"
        "   \n"
        "14:42:30.999|100.00\n"
        "14:42:31|101.00\n");
    EXPECT_EQ(t[0].value, 0);
    EXPECT_EQ(t[1].value, 100);

    SeriesTable zeros = LoadPrices("14:42:00|100\n14:43:00|0\n14:44:00|abc\n");
    for (std::uint32_t i = 0; i < SecondCount; ++i) {
        ASSERT_EQ(zeros[i].value, 0) << i;
    }
}

TEST_F(SeriesFiles, TheFirstLineAfterTheWindowEndsTheReading) {
    SeriesTable t = LoadPrices(
        "14:42:30|100.00\n"
        "14:53:00|101.00\n"
        "14:53:01|500.00\n"
        "14:42:31|102.00\n");
    EXPECT_EQ(t[1].value, -10000);
    EXPECT_EQ(t[630].value, 100);
}

TEST_F(SeriesFiles, TheLastLineOfASecondWins) {
    SeriesTable t = LoadPrices(
        "14:42:30.100|100.00\n"
        "14:42:31.100|150.00\n"
        "14:42:31.900|102.00\n");
    EXPECT_EQ(t[1].value, 200);
}

TEST_F(SeriesFiles, TickSlotsAreTwentyFiveMillisecondsWide) {
    SeriesTable t = LoadTicks(
        "14:42:42.799|x|x|999\n"
        "14:42:42.800|x|x|1000\n"
        "14:42:42.824|x|x|1010\n"
        "14:42:42.825|x|x|1020\n"
        "14:42:46.300|x|x|1030\n"
        "14:42:46.324|x|x|1040\n"
        "14:42:46.325|x|x|5000\n",
        3);
    EXPECT_EQ(t[0].value, 1010);
    EXPECT_EQ(t[1].value, 1020);
    EXPECT_EQ(t[2].value, 0);
    EXPECT_EQ(t[140].value, 1040);
}

TEST_F(SeriesFiles, VolumesComeFromFieldsEightAndElevenAndKeepEarlierNumbers) {
    SeriesTable t = LoadTicks(
        "14:42:42.800|x|x|100|x|x|x|x|1,500|x|x|2,500\n"
        "14:42:42.810|x|x|101|x|x|x|x|7\n"    // 9 fields: volume2 stays 2500
        "14:42:42.825|x|x|102|x|x|x|x|8|x\n"  // 10 fields: volume1 only
        "14:42:42.850|x|x|103|x|x|x|x\n",     // 8 fields: neither
        3);
    EXPECT_EQ(t[0].value, 101);
    EXPECT_EQ(t[0].volume1, 7);
    EXPECT_EQ(t[0].volume2, 2500);
    EXPECT_EQ(t[1].volume1, 8);
    EXPECT_EQ(t[1].volume2, 0);
    EXPECT_EQ(t[2].value, 103);
    EXPECT_EQ(t[2].volume1, 0);
}

TEST_F(SeriesFiles, QuoteCountsStayRawWhileTickPricesBecomeRelative) {
    const std::string content = "14:42:42.800|x|x|200\n14:42:42.825|x|x|210\n";
    SeriesTable raw = LoadTicks(content, 3);
    EXPECT_EQ(raw[0].value, 200);
    EXPECT_EQ(raw[1].value, 210);
    EXPECT_EQ(raw[2].value, 0);
    SeriesTable relative = LoadTicks(content, 2);
    EXPECT_EQ(relative[0].value, 0);
    EXPECT_EQ(relative[1].value, 500);
    EXPECT_EQ(relative[2].value, -10000);
}

TEST_F(SeriesFiles, ALineTooShortForItsValueColumnIsSkipped) {
    Write("vw.txt",
          "14:42:30|a|b|c|10000\n"
          "14:42:31|a|b|c\n"  // four fields: no field 4
          "14:42:32|a|b|c|10100\n");
    SeriesTable t;
    ASSERT_EQ(LoadSeriesTable(t, "Data\\vw.txt", 4, 1000, SecondWindowFirst, SecondWindowLast, 1), 1);
    EXPECT_EQ(t[0].value, 0);
    EXPECT_EQ(t[1].value, -10000);  // untouched, so a gap
    EXPECT_EQ(t[2].value, 100);

    SeriesTable beyond;
    ASSERT_EQ(LoadSeriesTable(beyond, "Data\\vw.txt", 40, 1000, SecondWindowFirst, SecondWindowLast, 3), 1);
    EXPECT_EQ(beyond[0].value, 0);
}

TEST_F(SeriesFiles, LongLinesArriveInPiecesThatAreReadAsLines) {
    // The second piece of the long line starts with a time of its own.
    std::string first = "14:42:30|100.00|";
    first += std::string(1022 - first.size(), 'x');
    Write("p.txt", first + "14:42:31|105.00\n");
    SeriesTable t;
    ASSERT_EQ(LoadSeriesTable(t, "Data\\p.txt", 1, 1000, SecondWindowFirst, SecondWindowLast, 1), 1);
    EXPECT_EQ(t[1].value, 500);
}

TEST_F(SeriesFiles, LoadAllSeriesLoadsWhatExistsAndDropsWhatVanished) {
    Write("eSPY.txt", "14:42:30|10.00\n14:42:31|10.10\n");
    Write("QteTrdCnts.txt", "14:42:42.800|x|x|42\n");
    LoadAllSeries();
    ASSERT_TRUE(SpySeries);
    ASSERT_TRUE(QuoteTradeTicks);
    EXPECT_FALSE(DjiSeries);
    EXPECT_FALSE(EminiSeries);
    EXPECT_FALSE(SpyVwSeries);
    EXPECT_FALSE(EminiVwSeries);
    EXPECT_FALSE(SpyTicks);
    EXPECT_FALSE(EminiTicks);
    EXPECT_EQ(SpySeries[1].value, 100);
    EXPECT_EQ(QuoteTradeTicks[0].value, 42);

    std::filesystem::remove(dir_.path() / "Data" / "eSPY.txt");
    LoadAllSeries();
    EXPECT_FALSE(SpySeries);
    EXPECT_TRUE(QuoteTradeTicks);
}

TEST(ToRelative, ComputesInSixtyFourBitsAndSaturates) {
    std::vector<Sample> t(5, Sample{});
    t[1].value = 1;
    t[2].value = INT32_MAX;
    t[3].value = -2;
    t[4].value = 3;
    ToRelative(t.data(), 5);
    EXPECT_EQ(t[0].value, 0);
    EXPECT_EQ(t[1].value, 0);
    EXPECT_EQ(t[2].value, INT32_MAX);
    EXPECT_EQ(t[3].value, -30000);
    EXPECT_EQ(t[4].value, 20000);

    std::vector<Sample> negative(3, Sample{});
    negative[0].value = -1;
    negative[1].value = INT32_MAX;
    negative[2].value = INT32_MIN;
    ToRelative(negative.data(), 3);
    EXPECT_EQ(negative[1].value, INT32_MIN);  // (2^31) * 10000 / -1
    EXPECT_EQ(negative[2].value, INT32_MAX);

    std::vector<Sample> truncation(2, Sample{});
    truncation[0].value = 3;
    truncation[1].value = 2;
    ToRelative(truncation.data(), 2);
    EXPECT_EQ(truncation[1].value, -3333);  // toward zero, not -3334
}

TEST(Ranges, PlainMaximumAndMinimumAndNothingForNoEntries) {
    std::vector<Sample> t(4, Sample{});
    t[0].value = 5, t[1].value = 3, t[2].value = 9, t[3].value = 1;
    std::int32_t maximum = -77;
    std::int32_t minimum = -77;
    SeriesRange(t.data(), 0, maximum, minimum);
    EXPECT_EQ(maximum, -77);
    SeriesRange(t.data(), 4, maximum, minimum);
    EXPECT_EQ(maximum, 9);
    EXPECT_EQ(minimum, 1);
    const std::int32_t plain[] = {-4, INT32_MIN, INT32_MAX, 0};
    ValuesRange(plain, 4, maximum, minimum);
    EXPECT_EQ(maximum, INT32_MAX);
    EXPECT_EQ(minimum, INT32_MIN);
}

}  // namespace
