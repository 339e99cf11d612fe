#include "marketdata/ribbon.h"

#include <cstring>
#include <new>

#include "marketdata/loader_support.h"
#include "marketdata/series.h"
#include "marketdata/text_fields.h"

namespace marketdata {

std::array<RibbonRow, RibbonCapacity> RibbonTable;
int RibbonRowCount = 0;

namespace {

constexpr const char* RibbonInfoFile = "Data\\RibbonInfo.txt";
constexpr int RibbonFieldCount = 7;  // caption, column, mode, divisor, file, link, alt text
constexpr int RibbonMinimumFields = 4;

// Windows ignores trailing blanks and dots of a file name; so do we, so that
// a configuration written there opens the same file here.
void CopyFileName(char (&name)[LineBufferSize], const char* text) {
    CopyText(name, text);
    std::size_t length = std::strlen(name);
    while (length > 0 && (name[length - 1] == ' ' || name[length - 1] == '\t' || name[length - 1] == '.')) {
        name[--length] = '\0';
    }
}

}  // namespace

int LoadRibbonSeries(std::unique_ptr<std::int32_t[]>& values, const char* fileName, std::uint32_t column,
                     std::uint32_t mode) {
    values.reset();
    char name[LineBufferSize];
    CopyFileName(name, fileName);
    DataFile file(name, "rt");
    if (!file) {
        return 0;
    }
    values.reset(new (std::nothrow) std::int32_t[SecondCount]());
    if (!values) {
        return 0;
    }

    ForEachSlotLine(file.get(), 1000u, SecondWindowFirst, SecondWindowLast,
                    [&](std::uint32_t second, char** fields, int fieldCount) {
                        if (column >= static_cast<std::uint32_t>(fieldCount)) {
                            return;  // too short to hold the column
                        }
                        const std::int32_t number = ParseCount(fields[column]);
                        std::int32_t& entry = values[second - SecondWindowFirst];
                        switch (mode) {
                            case RibbonStore:
                                entry = number;
                                break;
                            case RibbonMaximum:
                                if (number > entry) {
                                    entry = number;
                                }
                                break;
                            case RibbonAdd:
                                entry = SaturateToInt32(static_cast<std::int64_t>(entry) + number);
                                break;
                            default:
                                break;  // unknown rule: the row stays 0
                        }
                    });
    return 1;
}

int LoadRibbon() {
    RibbonRowCount = 0;
    DataFile file(RibbonInfoFile, "rt");
    if (!file) {
        return 0;
    }
    char line[LineBufferSize];
    char* fields[MaxFields];
    while (RibbonRowCount < RibbonCapacity && ReadLine(file.get(), line)) {
        if (line[0] == ';') {
            continue;
        }
        TrimLineEnd(line);
        int fieldCount = SplitFields(line, fields, MaxFields, true);
        if (fieldCount < RibbonMinimumFields) {
            continue;
        }
        for (; fieldCount < RibbonFieldCount; ++fieldCount) {
            fields[fieldCount] = const_cast<char*>(EmptyField);
        }
        const auto column = static_cast<std::uint32_t>(ParseCount(fields[1]));
        const auto mode = static_cast<std::uint32_t>(ParseCount(fields[2]));
        if (column == 0) {
            continue;
        }
        RibbonRow& row = RibbonTable[RibbonRowCount];
        if (!LoadRibbonSeries(row.values, fields[4], column, mode)) {
            continue;  // the next good line takes this row
        }
        const auto divisor = static_cast<std::uint32_t>(ParseCount(fields[3]));
        CopyText(row.caption, fields[0]);
        CopyText(row.link, fields[5]);
        CopyText(row.altText, fields[6]);
        if (divisor > 1) {
            for (std::uint32_t i = 0; i < SecondCount; ++i) {
                row.values[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(row.values[i]) / divisor);
            }
        }
        ++RibbonRowCount;
    }
    return RibbonRowCount;
}

}  // namespace marketdata
