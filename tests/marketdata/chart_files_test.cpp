// Tables kept while their files are unchanged: when a file counts as changed
// (fake stamps and clock), and ChartFiles over a copy of the sample reading
// only the files that changed.
#include "marketdata/chart_files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace {

using namespace marketdata;
namespace fs = std::filesystem;

constexpr std::int64_t Second = 1'000'000'000;
constexpr std::int64_t LongAgo = 1'600'000'000 * Second;

// The one file of the fake file system, and its clock.
std::optional<DataFileStamp> fakeStamp;
std::int64_t fakeNow = 0;
constexpr StampSource FakeStamps{[](const char*) { return fakeStamp; }, [] { return fakeNow; }};

class KeptTables : public ::testing::Test {
protected:
    KeptTables() {
        fakeStamp = DataFileStamp{8, 42, 100, LongAgo, LongAgo};
        fakeNow = LongAgo + 60 * Second;
    }
    // Whether a Get reads the file; the table is always the last one read.
    bool Reads() {
        const int before = loads_;
        EXPECT_EQ(table_.Get("Data\\x.txt", [&] { return ++loads_; }), loads_);
        EXPECT_EQ(table_.read(), loads_ != before);
        return loads_ != before;
    }
    KeptTable<int> table_{FakeStamps};
    int loads_ = 0;
};

TEST_F(KeptTables, AnOldUnchangedStampIsNotReadAgainAndAChangeOfAnyPartIs) {
    EXPECT_EQ((std::vector{Reads(), Reads()}), (std::vector{true, false}));
    using Change = void (*)(DataFileStamp&);
    for (const auto& [part, change] : std::vector<std::pair<const char*, Change>>{
             {"device", [](DataFileStamp& s) { ++s.device; }}, {"inode", [](DataFileStamp& s) { ++s.inode; }},
             {"size", [](DataFileStamp& s) { --s.size; }}, {"modified", [](DataFileStamp& s) { ++s.modifiedNs; }},
             {"changed", [](DataFileStamp& s) { ++s.changedNs; }}}) {
        SCOPED_TRACE(part);
        change(*fakeStamp);
        EXPECT_EQ((std::vector{Reads(), Reads()}), (std::vector{true, false}));
    }
}

TEST_F(KeptTables, ARecentStampIsReadAtEveryCallUntilTheClockHasPassedIt) {
    for (std::int64_t DataFileStamp::*time : {&DataFileStamp::modifiedNs, &DataFileStamp::changedNs}) {
        SCOPED_TRACE(time == &DataFileStamp::modifiedNs ? "modified" : "changed");
        const std::int64_t stamped = fakeNow - Second;
        (*fakeStamp).*time = stamped;
        std::vector<bool> reads;
        for (std::int64_t now : {fakeNow, fakeNow, stamped + RecentStampNs - 1, stamped + RecentStampNs + 1,
                                 stamped + RecentStampNs + 1, stamped + 100 * Second})
            fakeNow = now, reads.push_back(Reads());
        // The read after the clock passed the stamp is the one that counts.
        EXPECT_EQ(reads, (std::vector{true, true, true, true, false, false}));
    }
}

// A copy from a machine whose clock runs ahead: far-future stamps are not
// "recent", or every paint would read the file again.
TEST_F(KeptTables, AStampFarInTheFutureIsKeptLikeAnOldOne) {
    fakeStamp->modifiedNs = fakeNow + 3600 * Second;
    EXPECT_EQ((std::vector{Reads(), Reads()}), (std::vector{true, false}));
    fakeStamp->changedNs = fakeNow + RecentStampNs - 1;  // still near the clock
    EXPECT_EQ((std::vector{Reads(), Reads()}), (std::vector{true, true}));
}

TEST_F(KeptTables, AMissingFileIsReadWhenItAppearsAndWhenItGoes) {
    const std::optional<DataFileStamp> stamp = fakeStamp, missing;
    std::vector<bool> reads;
    for (const auto* now : {&missing, &missing, &stamp, &stamp, &missing})
        fakeStamp = *now, reads.push_back(Reads());
    EXPECT_EQ(reads, (std::vector{true, false, true, false, true}));
}

// A load that fails keeps nothing: the file is read again at the next call
// although its stamp has not changed.
TEST_F(KeptTables, AFailedLoadIsTriedAgain) {
    EXPECT_TRUE(Reads());
    ++fakeStamp->size;
    EXPECT_THROW(table_.Get("Data\\x.txt", []() -> int { throw std::bad_alloc(); }), std::bad_alloc);
    EXPECT_EQ(table_.table(), loads_);  // the table read before stays
    EXPECT_EQ((std::vector{Reads(), Reads()}), (std::vector{true, false}));
}

// Real stamps, and a clock so far ahead that no file counts as recent, or
// the real clock, by which the files a test has just written are recent.
constexpr StampSource OldFiles{CurrentStamp, [] { return INT64_MAX / 2; }};
constexpr StampSource RecentFiles{CurrentStamp, WallClockNs};

std::vector<std::vector<std::int32_t>> Values(const RibbonTable& ribbon) {
    std::vector<std::vector<std::int32_t>> rows;
    for (const RibbonRow& row : ribbon.rows)
        rows.emplace_back(row.values.get(), row.values.get() + SecondCount);
    return rows;
}

class SampleCopy : public ::testing::Test {
protected:
    SampleCopy() { fs::copy(testsupport::SampleDir() / "Data", dir_.path() / "Data", fs::copy_options::recursive); }
    std::uint64_t ReadsOfAll(ChartFiles& files) {
        const std::uint64_t before = files.filesRead();
        files.ReloadSeries(), files.Labels(), files.Ribbon(), files.Broadcast();
        return files.filesRead() - before;
    }
    testsupport::TempDir dir_;
    testsupport::ScopedCwd cwd_{dir_.path()};
};

TEST_F(SampleCopy, OnlyAChangedFileIsReadAgain) {
    ChartFiles files(OldFiles);
    // Eight series, labels, broadcast, the ribbon's configuration and 14 rows.
    EXPECT_EQ(ReadsOfAll(files), 25u);
    EXPECT_EQ(ReadsOfAll(files), 0u);
    const auto before = Values(files.Ribbon());
    ASSERT_EQ(std::string(files.Ribbon().rows.at(2).caption).substr(0, 4), "CEDR");
    dir_.Write("Data/Ribbon/CEDR.txt", "14:42:30|x|5000\n");
    EXPECT_EQ(ReadsOfAll(files), 1u);
    const auto after = Values(files.Ribbon());
    EXPECT_EQ(after, Values(LoadRibbon()));
    for (std::size_t row = 0; row < after.size(); ++row)
        EXPECT_EQ(after[row] == before[row], row != 2) << "row " << row;
    dir_.Write("Data/iDJI.txt", "14:42:30|1.00\n14:42:31|2.00\n");
    EXPECT_EQ(ReadsOfAll(files), 1u);
    EXPECT_EQ(files.series().DjiSeries[1].value, 10000);
}

// A whole day's files: the first paint's files are read ahead on a thread
// of their own while the series are read. The same tables, each file read
// once, and a file changed after that reading still seen. With the chart's
// stretch alone (the sample's series are far below the bound), nothing is
// read ahead: the paint reads them.
TEST_F(SampleCopy, PaintFilesAreReadAheadForAWholeDaysFilesOnly) {
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ChartFiles files(OldFiles);
        files.StartReadingPaintFiles(0);
        files.ReloadSeries();
        EXPECT_EQ(files.series().DjiSeries[0].value, LoadAllSeries().DjiSeries[0].value);
        EXPECT_EQ(Values(files.Ribbon()), Values(LoadRibbon()));
        EXPECT_EQ(files.Labels().labels.size(), LoadLabels().labels.size());
        EXPECT_EQ(files.Broadcast().events.size(), LoadBroadcast().events.size());
        EXPECT_EQ(files.filesRead(), 25u);
        EXPECT_EQ(ReadsOfAll(files), 0u);
        if (round == 2) {
            dir_.Write("Data/labels.txt", "T|14:42:30|0.10|0|15|0|||Read late||\n");
            EXPECT_EQ(ReadsOfAll(files), 1u);
            EXPECT_EQ(files.Labels().labels.at(0).text, std::string("Read late"));
        }
    }
    // Made and gone without a paint: the reading ends with it.
    ChartFiles unused(OldFiles);
    unused.StartReadingPaintFiles(0);

    ChartFiles sample(OldFiles);
    sample.StartReadingPaintFiles();
    sample.ReloadSeries();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(sample.filesRead(), std::size(SeriesFiles));
    EXPECT_EQ(ReadsOfAll(sample), 17u);
}

TEST_F(SampleCopy, AFileOfSeveralRibbonRowsIsReadOnce) {
    dir_.Write("Data/RibbonInfo.txt",
               "One|3|2|0|Data\\Ribbon\\ALDR.txt\nTwo|3|2|10|Data\\Ribbon\\ALDR.txt\n"
               "Three|2|2|0|Data\\Ribbon\\BRCH.txt\n");
    // Read at every call, but once: the configuration, ALDR and BRCH.
    ChartFiles recent(RecentFiles);
    recent.Ribbon(), recent.Ribbon();
    EXPECT_EQ(recent.filesRead(), 6u);
    ChartFiles files(OldFiles);
    EXPECT_EQ(Values(files.Ribbon()), Values(LoadRibbon()));
    EXPECT_EQ(files.filesRead(), 3u);
    dir_.Write("Data/Ribbon/ALDR.txt", "14:42:30|x|x|70\n");
    const RibbonTable& ribbon = files.Ribbon();
    EXPECT_EQ(files.filesRead(), 4u);
    EXPECT_EQ((std::vector{ribbon.rows.at(0).values[0], ribbon.rows.at(1).values[0]}), (std::vector{70, 7}));
    // New captions alone: the rows keep their numbers, the file is not read.
    dir_.Write("Data/RibbonInfo.txt", "Uno|3|2|0|Data\\Ribbon\\ALDR.txt\n");
    EXPECT_EQ(std::string(files.Ribbon().rows.at(0).caption), "Uno");
    EXPECT_EQ(files.filesRead(), 5u);
}

TEST_F(SampleCopy, ALabelEditedAtOnceKeepingItsSizeAndTimeIsSeen) {
    const fs::path file = dir_.path() / "Data" / "labels.txt";
    std::string content = testsupport::ReadFile(file);
    ChartFiles files;  // the real clock
    // Written, read and edited at once: where the file system's clock is
    // coarse, the stamp may not change and only its being recent tells.
    dir_.Write("Data/labels.txt", content);
    const fs::file_time_type modified = fs::last_write_time(file);
    const std::string text = files.Labels().labels.at(0).text;
    const std::size_t at = content.find("|" + text + "|");
    ASSERT_NE(at, std::string::npos);
    const std::string edited = std::string(1, text[0] == 'X' ? 'Y' : 'X') + text.substr(1);
    dir_.Write("Data/labels.txt", content.replace(at + 1, text.size(), edited));
    fs::last_write_time(file, modified);
    EXPECT_EQ(files.Labels().labels.at(0).text, edited);
}

}  // namespace
