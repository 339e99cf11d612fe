#include "marketdata/series.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <new>
#include <string_view>

#include "marketdata/loader_support.h"
#include "marketdata/text_fields.h"

namespace marketdata {

namespace {

constexpr std::uint32_t PriceColumn = 1;
constexpr int Volume1Column = 8;
constexpr int Volume2Column = 11;

}  // namespace

template <typename Field>
void ApplySeriesLine(Sample& record, const Field* fields, int fieldCount, std::uint32_t valueColumn, SeriesKind kind) {
    if (kind == SeriesKind::Price && valueColumn == PriceColumn) {
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
}

template void ApplySeriesLine(Sample&, char* const*, int, std::uint32_t, SeriesKind);
template void ApplySeriesLine(Sample&, const std::string_view*, int, std::uint32_t, SeriesKind);

SeriesTable LoadSeriesTable(const char* fileName, std::uint32_t valueColumn, std::uint32_t divisor,
                            std::uint32_t firstSlot, std::uint32_t lastSlot, SeriesKind kind) {
    if (divisor == 0 || lastSlot < firstSlot) {
        return nullptr;
    }
    const std::uint32_t count = lastSlot - firstSlot + 1;
    TextSource file(fileName);
    if (!file) {
        return nullptr;
    }
    SeriesTable holder(new (std::nothrow) Sample[count]());
    if (!holder) {
        return nullptr;
    }
    Sample* table = holder.get();

    // Fields are cut as far as the value and the volumes.
    const int wanted =
        static_cast<int>(std::min<std::uint64_t>(std::max<std::uint64_t>(valueColumn, Volume2Column) + 1, MaxFields));
    ForEachSlotLine(file, divisor, firstSlot, lastSlot, wanted,
                    [&](std::uint32_t slot, const std::string_view* fields, int fieldCount) {
                        ApplySeriesLine(table[slot - firstSlot], fields, fieldCount, valueColumn, kind);
                    });
    if (kind == SeriesKind::Price || kind == SeriesKind::RelativeCount) {
        ToRelative(table, count);
    }
    return holder;
}

SeriesTable LoadSeriesFile(const SeriesFile& file) {
    return file.ticks ? LoadSeriesTable(file.name, file.column, 25, FirstTickSlot, LastTickSlot, file.kind)
                      : LoadSeriesTable(file.name, file.column, 1000, SecondWindowFirst, SecondWindowLast, file.kind);
}

SeriesTables LoadAllSeries() {
    SeriesTables tables;
    for (const SeriesFile& file : SeriesFiles)
        tables.*file.table = LoadSeriesFile(file);
    return tables;
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
