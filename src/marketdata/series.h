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

constexpr std::uint32_t SecondCount = SecondWindowLast - SecondWindowFirst + 1;          // 631
constexpr std::uint32_t TickCount = (TickWindowLast - TickWindowFirst) / 25u + 1u;       // 141
constexpr std::uint32_t FirstTickSlot = TickWindowFirst / 25u;
constexpr std::uint32_t LastTickSlot = TickWindowLast / 25u;

struct Sample {
    std::int32_t value;
    std::int32_t plotY;  // the row the main chart last drew the slot at
    std::int32_t volume1;
    std::int32_t volume2;
};

// An owned array of Sample, one per slot of its window, or absent (null).
using SeriesTable = std::unique_ptr<Sample[]>;

// How a file's values become the table's: prices (field 1 read as a price)
// and counts shown as changes from their first nonzero value, in hundredths
// of a percent, or counts kept raw.
enum class SeriesKind : int { Price = 1, RelativeCount = 2, RawCount = 3 };

// The eight tables, one per series file.
struct SeriesTables {
    SeriesTable SpySeries;
    SeriesTable DjiSeries;
    SeriesTable EminiSeries;
    SeriesTable SpyVwSeries;
    SeriesTable EminiVwSeries;
    SeriesTable SpyTicks;
    SeriesTable EminiTicks;
    SeriesTable QuoteTradeTicks;
};

// Where each table comes from.
struct SeriesFile {
    const char* name;
    std::uint32_t column;  // the value's field
    bool ticks;            // the 25 ms grid, else seconds
    SeriesKind kind;
    SeriesTable SeriesTables::*table;
};
inline constexpr SeriesFile SeriesFiles[] = {
    {"Data\\eSPY.txt", 1, false, SeriesKind::Price, &SeriesTables::SpySeries},
    {"Data\\iDJI.txt", 1, false, SeriesKind::Price, &SeriesTables::DjiSeries},
    {"Data\\fES.M10.txt", 1, false, SeriesKind::Price, &SeriesTables::EminiSeries},
    {"Data\\eSPY.vw.txt", 4, false, SeriesKind::Price, &SeriesTables::SpyVwSeries},
    {"Data\\fES.M10.vw.txt", 4, false, SeriesKind::Price, &SeriesTables::EminiVwSeries},
    {"Data\\eSPY.25ms.txt", 3, true, SeriesKind::RelativeCount, &SeriesTables::SpyTicks},
    {"Data\\fES.M10.25ms.txt", 3, true, SeriesKind::RelativeCount, &SeriesTables::EminiTicks},
    {"Data\\QteTrdCnts.txt", 3, true, SeriesKind::RawCount, &SeriesTables::QuoteTradeTicks},
};

// One table from one file: slots firstSlot .. lastSlot of `divisor`
// milliseconds each; absent when the file cannot be read.
SeriesTable LoadSeriesTable(const char* fileName, std::uint32_t valueColumn, std::uint32_t divisor,
                            std::uint32_t firstSlot, std::uint32_t lastSlot, SeriesKind kind);
SeriesTable LoadSeriesFile(const SeriesFile& file);
SeriesTables LoadAllSeries();
// What one line in the window (split into fields, at least two) puts into
// its slot's record.
// Made for fields cut in place (char*) and seen in their line (string_view).
template <typename Field>
void ApplySeriesLine(Sample& record, const Field* fields, int fieldCount, std::uint32_t valueColumn, SeriesKind kind);
void ToRelative(Sample* table, std::uint32_t count);
void SeriesRange(const Sample* table, std::uint32_t count, std::int32_t& maximum, std::int32_t& minimum);
void ValuesRange(const std::int32_t* values, std::uint32_t count, std::int32_t& maximum, std::int32_t& minimum);

}  // namespace marketdata
