// Loading the eight series tables of the sample set, as the program does at
// start-up and at every export.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "marketdata/series.h"
#include "marketdata/text_fields.h"
#include "platform/win32.h"
#include "tests/support/reference_reader.h"

namespace {

struct SeriesFile {
    const char* name;
    std::uint32_t divisor;
    std::uint32_t lastSlot;
};
constexpr std::uint32_t LastSecond = marketdata::SecondWindowLast;
constexpr std::uint32_t LastTick = marketdata::TickWindowLast / 25;
constexpr SeriesFile SeriesFiles[] = {
    {"Data\\eSPY.txt", 1000, LastSecond},       {"Data\\iDJI.txt", 1000, LastSecond},
    {"Data\\fES.M10.txt", 1000, LastSecond},    {"Data\\eSPY.vw.txt", 1000, LastSecond},
    {"Data\\fES.M10.vw.txt", 1000, LastSecond}, {"Data\\eSPY.25ms.txt", 25, LastTick},
    {"Data\\fES.M10.25ms.txt", 25, LastTick},   {"Data\\QteTrdCnts.txt", 25, LastTick},
};

// The line pieces one LoadAllSeries reads: every line of each file up to and
// including the first one after the window, where the loader stops.
long CountLinesRead() {
    long lines = 0;
    for (const SeriesFile& series : SeriesFiles) {
        std::FILE* file = OpenDataFile(series.name, "rt");
        if (file == nullptr) {
            continue;
        }
        char buffer[marketdata::LineBufferSize];
        char* fields[marketdata::MaxFields];
        while (reference::ReadPiece(file, buffer)) {
            ++lines;
            marketdata::TrimLineEnd(buffer);
            if (marketdata::SplitFields(buffer, fields, marketdata::MaxFields, true) >= 2 &&
                marketdata::ParseTimeOfDay(fields[0]) / series.divisor > series.lastSlot) {
                break;
            }
        }
        std::fclose(file);
    }
    return lines;
}

void BM_LoadAllSeries(benchmark::State& state) {
    if (::chdir(DH_SOURCE_DIR "/sample") != 0) {
        state.SkipWithError("no sample folder");
        return;
    }
    const long linesRead = CountLinesRead();
    for (auto _ : state) {
        benchmark::DoNotOptimize(marketdata::LoadAllSeries());
    }
    state.counters["lines"] = static_cast<double>(linesRead);
    state.counters["per_line"] = benchmark::Counter(static_cast<double>(linesRead) * state.iterations(),
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LoadAllSeries)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
