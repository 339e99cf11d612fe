#include "marketdata/series.h"

#include <cstdint>
#include <cstdio>
#include <limits>
#include <new>

#include "marketdata/loader_support.h"
#include "marketdata/text_fields.h"

namespace marketdata {

const std::uint32_t SecondCount = SecondWindowLast - SecondWindowFirst + 1;
const std::uint32_t TickCount = (TickWindowLast - TickWindowFirst) / 25u + 1u;

SeriesTable SpySeries;
SeriesTable DjiSeries;
SeriesTable EminiSeries;
SeriesTable SpyVwSeries;
SeriesTable EminiVwSeries;
SeriesTable SpyTicks;
SeriesTable EminiTicks;
SeriesTable QuoteTradeTicks;

namespace {

constexpr int PriceMode = 1;
constexpr int RelativeCountMode = 2;
constexpr int RawCountMode = 3;
constexpr std::uint32_t PriceColumn = 1;
constexpr int Volume1Column = 8;
constexpr int Volume2Column = 11;

}  // namespace

int LoadSeriesTable(SeriesTable& holder, const char* fileName, std::uint32_t valueColumn, std::uint32_t divisor,
                    std::uint32_t firstSlot, std::uint32_t lastSlot, int mode) {
    holder.reset();
    if (divisor == 0 || lastSlot < firstSlot) {
        return 0;
    }
    const std::uint32_t count = lastSlot - firstSlot + 1;
    DataFile file(fileName, "rt");
    if (!file) {
        return 0;
    }
    holder.reset(new (std::nothrow) Sample[count]());
    if (!holder) {
        return 0;
    }
    Sample* table = holder.get();

    ForEachSlotLine(file.get(), divisor, firstSlot, lastSlot, [&](std::uint32_t slot, char** fields, int fieldCount) {
        Sample& record = table[slot - firstSlot];
        if (mode == PriceMode && valueColumn == PriceColumn) {
            record.value = ParsePrice(fields[1]);
            return;
        }
        if (valueColumn >= static_cast<std::uint32_t>(fieldCount)) {
            return;  // too short to hold the value
        }
        record.value = ParseCount(fields[valueColumn]);
        if (fieldCount > Volume1Column) {
            record.volume1 = ParseCount(fields[Volume1Column]);
        }
        if (fieldCount > Volume2Column) {
            record.volume2 = ParseCount(fields[Volume2Column]);
        }
    });
    file.Close();
    if (mode == PriceMode || mode == RelativeCountMode) {
        ToRelative(table, count);
    }
    return 1;
}

void LoadAllSeries() {
    const std::uint32_t firstTick = TickWindowFirst / 25u;
    const std::uint32_t lastTick = TickWindowLast / 25u;
    LoadSeriesTable(SpySeries, "Data\\eSPY.txt", 1, 1000, SecondWindowFirst, SecondWindowLast, PriceMode);
    LoadSeriesTable(DjiSeries, "Data\\iDJI.txt", 1, 1000, SecondWindowFirst, SecondWindowLast, PriceMode);
    LoadSeriesTable(EminiSeries, "Data\\fES.M10.txt", 1, 1000, SecondWindowFirst, SecondWindowLast, PriceMode);
    LoadSeriesTable(SpyVwSeries, "Data\\eSPY.vw.txt", 4, 1000, SecondWindowFirst, SecondWindowLast, PriceMode);
    LoadSeriesTable(EminiVwSeries, "Data\\fES.M10.vw.txt", 4, 1000, SecondWindowFirst, SecondWindowLast, PriceMode);
    LoadSeriesTable(SpyTicks, "Data\\eSPY.25ms.txt", 3, 25, firstTick, lastTick, RelativeCountMode);
    LoadSeriesTable(EminiTicks, "Data\\fES.M10.25ms.txt", 3, 25, firstTick, lastTick, RelativeCountMode);
    LoadSeriesTable(QuoteTradeTicks, "Data\\QteTrdCnts.txt", 3, 25, firstTick, lastTick, RawCountMode);
}

void ToRelative(Sample* table, std::uint32_t count) {
    if (table == nullptr) {
        return;
    }
    std::uint32_t first = 0;
    while (first < count && table[first].value == 0) {
        ++first;
    }
    if (first == count) {
        return;
    }
    const std::int64_t base = table[first].value;
    table[first].value = 0;
    for (std::uint32_t i = first + 1; i < count; ++i) {
        // Exact in 64 bits; a change too large for 32 bits saturates.
        const std::int64_t change = (table[i].value - base) * 10000 / base;
        table[i].value = SaturateToInt32(change);
    }
}

void SeriesRange(const Sample* table, std::uint32_t count, std::int32_t& maximum, std::int32_t& minimum) {
    if (table == nullptr || count == 0) {
        return;
    }
    maximum = minimum = table[0].value;
    for (std::uint32_t i = 1; i < count; ++i) {
        const std::int32_t v = table[i].value;
        if (v > maximum) {
            maximum = v;
        } else if (v < minimum) {
            minimum = v;
        }
    }
}

void ValuesRange(const std::int32_t* values, std::uint32_t count, std::int32_t& maximum, std::int32_t& minimum) {
    if (values == nullptr || count == 0) {
        return;
    }
    maximum = minimum = values[0];
    for (std::uint32_t i = 1; i < count; ++i) {
        const std::int32_t v = values[i];
        if (v > maximum) {
            maximum = v;
        } else if (v < minimum) {
            minimum = v;
        }
    }
}

}  // namespace marketdata
