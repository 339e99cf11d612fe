// The ribbon table: one row per symbol named in Data\RibbonInfo.txt, each with
// its number per second of the second window, reloaded at every paint.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

namespace marketdata {

constexpr int RibbonCapacity = 16;

struct RibbonRow {
    char caption[96];
    char link[256];
    char altText[64];
    std::unique_ptr<std::int32_t[]> values;  // SecondCount entries, or none
};

// How the numbers of several lines in one second combine.
enum RibbonMode : std::uint32_t { RibbonStore = 0, RibbonMaximum = 1, RibbonAdd = 2 };

extern std::array<RibbonRow, RibbonCapacity> RibbonTable;
extern int RibbonRowCount;  // rows 0 .. RibbonRowCount - 1 are valid

// Reads Data\RibbonInfo.txt and every row's series file; returns RibbonRowCount.
int LoadRibbon();
// Fills `values` with SecondCount numbers from column `column` of `fileName`,
// combined per second by `mode`. 1 on success, 0 when the file cannot be read.
int LoadRibbonSeries(std::unique_ptr<std::int32_t[]>& values, const char* fileName, std::uint32_t column,
                     std::uint32_t mode);

}  // namespace marketdata
