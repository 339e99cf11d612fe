// The ribbon table: one row per symbol named in Data\RibbonInfo.txt, each with
// its number per second of the second window, read again at every paint.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace marketdata {

constexpr int RibbonCapacity = 16;

struct RibbonRow {
    char caption[96];
    char link[256];
    char altText[64];
    std::unique_ptr<std::int32_t[]> values;  // SecondCount entries
};

// How the numbers of several lines in one second combine. A configuration
// may name any other number, which leaves its row at 0.
enum class RibbonRule : std::uint32_t { Last = 0, Maximum = 1, Sum = 2 };

// At most RibbonCapacity rows, in the configuration's order.
struct RibbonTable {
    std::vector<RibbonRow> rows;
};

// One usable line of Data\RibbonInfo.txt: a row when its file can be read.
struct RibbonRowConfig {
    char caption[96];
    char link[256];
    char altText[64];
    std::string fileName;  // trailing blanks and dots left out, as Windows does
    std::uint32_t column;
    RibbonRule rule;
    std::uint32_t divisor;  // 0 and 1: none
};

// Reads Data\RibbonInfo.txt and every row's series file.
RibbonTable LoadRibbon();
// The usable lines of Data\RibbonInfo.txt, in order.
std::vector<RibbonRowConfig> LoadRibbonInfo();
// The row a configuration line describes, over the numbers of its file,
// divided as it says.
RibbonRow MakeRibbonRow(const RibbonRowConfig& config, const std::int32_t* values);
// The table's rows, in order: each configuration line whose numbers
// `valuesOf(config)` finds (none: its file is missing, and the next line
// moves up), at most RibbonCapacity; `use(config, values)` gets each.
template <typename ValuesOf, typename Use>
void ForEachRibbonRow(const std::vector<RibbonRowConfig>& configs, ValuesOf valuesOf, Use use) {
    std::size_t rows = 0;
    for (const RibbonRowConfig& config : configs) {
        if (rows == RibbonCapacity)
            break;
        if (const std::int32_t* values = valuesOf(config)) {
            use(config, values);
            ++rows;
        }
    }
}
// SecondCount numbers from column `column` of `fileName`, combined per second
// by `rule`; none when the file cannot be read.
std::unique_ptr<std::int32_t[]> LoadRibbonSeries(const char* fileName, std::uint32_t column, RibbonRule rule);
// What one line in the window (split into fields, at least two) does to its
// second's number.
void ApplyRibbonLine(std::int32_t& entry, char** fields, int fieldCount, std::uint32_t column, RibbonRule rule);
// What a line's number does to its second's number.
void ApplyRibbonNumber(std::int32_t& entry, std::int32_t number, RibbonRule rule);

}  // namespace marketdata
