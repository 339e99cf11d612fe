// The two time grids, the per-slot Sample, and the eight series tables loaded
// from the files under Data.
#pragma once

#include <cstdint>
#include <memory>

namespace marketdata {

constexpr std::uint32_t SecondWindowFirst = 52950;   // 14:42:30
constexpr std::uint32_t SecondWindowLast = 53580;    // 14:53:00
constexpr std::uint32_t TickWindowFirst = 52962800;  // 14:42:42.800, milliseconds of the day
constexpr std::uint32_t TickWindowLast = 52966300;   // 14:42:46.300
constexpr std::int32_t SlotPitch = 2;

// Computed by static initialisers, in this order, before the entry runs.
extern const std::uint32_t SecondCount;  // 631
extern const std::uint32_t TickCount;    // 141

struct Sample {
    std::int32_t value;
    std::int32_t plotY;
    std::int32_t volume1;
    std::int32_t volume2;
};

// An owned array of Sample, one per slot of its window, or absent (null).
using SeriesTable = std::unique_ptr<Sample[]>;

extern SeriesTable SpySeries;
extern SeriesTable DjiSeries;
extern SeriesTable EminiSeries;
extern SeriesTable SpyVwSeries;
extern SeriesTable EminiVwSeries;
extern SeriesTable SpyTicks;
extern SeriesTable EminiTicks;
extern SeriesTable QuoteTradeTicks;

int LoadSeriesTable(SeriesTable& holder, const char* fileName, std::uint32_t valueColumn, std::uint32_t divisor,
                    std::uint32_t firstSlot, std::uint32_t lastSlot, int mode);
void LoadAllSeries();
void ToRelative(Sample* table, std::uint32_t count);
void SeriesRange(const Sample* table, std::uint32_t count, std::int32_t& maximum, std::int32_t& minimum);
void ValuesRange(const std::int32_t* values, std::uint32_t count, std::int32_t& maximum, std::int32_t& minimum);

}  // namespace marketdata
