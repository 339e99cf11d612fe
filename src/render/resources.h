// The fixed drawing resources every panel draws with: sixteen colour pairs
// with a brush and a pen each, four fonts, and the hue palette.
#pragma once

#include <array>
#include <cstdint>

#include "platform/win32.h"

namespace render {

struct ColorPair {
    COLORREF ink;
    COLORREF fill;
};

constexpr int ColorCount = 16;
constexpr int FontCount = 4;
constexpr std::uint32_t PaletteCapacity = 300;

extern const std::array<ColorPair, ColorCount> ColorTable;
extern const std::array<LOGFONTA, FontCount> FontTable;

struct HuePaletteTable {
    std::uint32_t count = 0;
    std::array<COLORREF, PaletteCapacity> colors{};
    std::array<HPEN, PaletteCapacity> pens{};
};
extern HuePaletteTable HuePalette;

// The objects made from the tables (null until CreateDrawingResources).
HFONT Font(int n);
HBRUSH Brush(int n);
HPEN Pen(int n);
COLORREF Ink(int n);
COLORREF Fill(int n);

void CreateDrawingResources();
COLORREF HslToColor(std::uint32_t hue, std::uint32_t saturation, std::uint32_t lightness);
void AddPaletteColor(COLORREF color);
void BuildHuePalette();

}  // namespace render
