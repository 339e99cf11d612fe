// The loaders' straightforward reader, kept as the reference the fast one is
// held to: the platform's text-mode stream (CR LF read as LF) read by a line
// reader with a 1023-byte limit, and every piece trimmed and split before its
// time is looked at. Header only; the tests and the differential fuzz target
// use it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "marketdata/ribbon.h"
#include "marketdata/series.h"
#include "marketdata/text_fields.h"
#include "platform/win32.h"

namespace reference {

struct File {
    explicit File(const char* name) : handle(OpenDataFile(name, "rt")) {
        // A UTF-8 byte-order mark at the start is skipped (the text stream
        // cannot go back, so a raw one looks first).
        std::FILE* raw = OpenDataFile(name, "rb");
        char mark[3];
        if (raw != nullptr && std::fread(mark, 1, 3, raw) == 3 && std::memcmp(mark, "\xEF\xBB\xBF", 3) == 0 &&
            handle != nullptr)
            std::fread(mark, 1, 3, handle);
        if (raw != nullptr)
            std::fclose(raw);
    }
    ~File() {
        if (handle != nullptr)
            std::fclose(handle);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    std::FILE* handle;
};

inline bool ReadPiece(std::FILE* file, char (&buffer)[marketdata::LineBufferSize]) {
    return std::fgets(buffer, marketdata::LineReadLimit, file) != nullptr;
}

template <typename Use>
void ForEachSlotLine(std::FILE* file, std::uint32_t divisor, std::uint32_t firstSlot, std::uint32_t lastSlot,
                     Use use) {
    char line[marketdata::LineBufferSize];
    char* fields[marketdata::MaxFields];
    while (ReadPiece(file, line)) {
        marketdata::TrimLineEnd(line);
        const int fieldCount = marketdata::SplitFields(line, fields, marketdata::MaxFields, true);
        if (fieldCount < 2)
            continue;
        const std::uint32_t slot = marketdata::ParseTimeOfDay(fields[0]) / divisor;
        if (slot < firstSlot)
            continue;
        if (slot > lastSlot)
            break;
        use(slot, fields, fieldCount);
    }
}

inline marketdata::SeriesTable LoadSeriesTable(const char* fileName, std::uint32_t valueColumn,
                                               std::uint32_t divisor, std::uint32_t firstSlot,
                                               std::uint32_t lastSlot, marketdata::SeriesKind kind) {
    if (divisor == 0 || lastSlot < firstSlot)
        return nullptr;
    const std::uint32_t count = lastSlot - firstSlot + 1;
    File file(fileName);
    if (file.handle == nullptr)
        return nullptr;
    marketdata::SeriesTable table(new (std::nothrow) marketdata::Sample[count]());
    if (!table)
        return nullptr;
    ForEachSlotLine(file.handle, divisor, firstSlot, lastSlot, [&](std::uint32_t slot, char** fields, int n) {
        marketdata::ApplySeriesLine(table[slot - firstSlot], fields, n, valueColumn, kind);
    });
    if (kind == marketdata::SeriesKind::Price || kind == marketdata::SeriesKind::RelativeCount)
        marketdata::ToRelative(table.get(), count);
    return table;
}

inline std::unique_ptr<std::int32_t[]> LoadRibbonSeries(const char* fileName, std::uint32_t column,
                                                        marketdata::RibbonRule rule) {
    File file(fileName);
    if (file.handle == nullptr)
        return nullptr;
    std::unique_ptr<std::int32_t[]> values(new std::int32_t[marketdata::SecondCount]());
    ForEachSlotLine(file.handle, 1000u, marketdata::SecondWindowFirst, marketdata::SecondWindowLast,
                    [&](std::uint32_t second, char** fields, int n) {
                        marketdata::ApplyRibbonLine(values[second - marketdata::SecondWindowFirst], fields, n, column,
                                                    rule);
                    });
    return values;
}

}  // namespace reference
