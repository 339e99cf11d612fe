// The fixed drawing resources every panel draws with: sixteen colour pairs
// with a brush and a pen each, four fonts, and the hue palette.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/win32.h"

namespace render {

struct ColorPair {
    COLORREF ink;
    COLORREF fill;
};

// The colour table's entries by their fill colour; brush n and pen n are
// made from fill n.
enum class Color : int {
    White,
    LightBlue,
    LightGreen,
    Green,
    Teal,
    DarkRed,
    Yellow,
    Pink,
    Magenta,
    DarkGreen,
    Red,
    LightYellow,
    DarkBlue,
    LightGrey,
    Grey,
    Black,
};
constexpr int ColorCount = 16;
constexpr int FontCount = 4;
constexpr std::uint32_t PaletteCapacity = 300;

inline constexpr std::array<ColorPair, ColorCount> ColorTable = {{
    {RGB(0, 0, 0), RGB(255, 255, 255)},        // white
    {RGB(0, 0, 0), RGB(180, 180, 255)},        // light blue
    {RGB(255, 255, 255), RGB(153, 255, 153)},  // light green
    {RGB(0, 0, 0), RGB(0, 204, 0)},            // green
    {RGB(0, 0, 0), RGB(0, 204, 204)},          // teal
    {RGB(255, 255, 255), RGB(102, 0, 0)},      // dark red
    {RGB(0, 0, 0), RGB(255, 255, 0)},          // yellow
    {RGB(0, 0, 0), RGB(255, 204, 204)},        // pink
    {RGB(255, 255, 255), RGB(204, 0, 204)},    // magenta
    {RGB(255, 255, 255), RGB(0, 102, 0)},      // dark green
    {RGB(255, 255, 255), RGB(204, 0, 0)},      // red
    {RGB(0, 0, 0), RGB(255, 255, 204)},        // light yellow
    {RGB(255, 255, 255), RGB(0, 0, 153)},      // dark blue
    {RGB(0, 0, 0), RGB(204, 204, 204)},        // light grey
    {RGB(255, 255, 255), RGB(102, 102, 102)},  // grey
    {RGB(255, 255, 255), RGB(0, 0, 0)},        // black
}};
extern const std::array<LOGFONTA, FontCount> FontTable;

constexpr COLORREF Ink(Color c) {
    return ColorTable[static_cast<std::size_t>(c)].ink;
}
constexpr COLORREF Fill(Color c) {
    return ColorTable[static_cast<std::size_t>(c)].fill;
}

struct HuePaletteTable {
    std::uint32_t count = 0;
    std::array<COLORREF, PaletteCapacity> colors{};
    std::array<HPEN, PaletteCapacity> pens{};
};

// The GDI objects made from the tables, owned: made by Create, deleted with
// the object. Handles are null where the platform could not make one.
class DrawingResources {
public:
    static DrawingResources Create();
    DrawingResources() = default;
    DrawingResources(DrawingResources&& other) noexcept;
    DrawingResources& operator=(DrawingResources&& other) noexcept;
    DrawingResources(const DrawingResources&) = delete;
    DrawingResources& operator=(const DrawingResources&) = delete;
    ~DrawingResources();

    HFONT Font(int n) const { return fonts_[static_cast<std::size_t>(n)]; }
    HBRUSH Brush(Color c) const { return brushes_[static_cast<std::size_t>(c)]; }
    HPEN Pen(Color c) const { return pens_[static_cast<std::size_t>(c)]; }
    const HuePaletteTable& HuePalette() const { return palette_; }

private:
    void Release();

    std::array<HFONT, FontCount> fonts_{};
    std::array<HBRUSH, ColorCount> brushes_{};
    std::array<HPEN, ColorCount> pens_{};
    HuePaletteTable palette_;
};

// The fills of the colour table, in its order: the colours a picture of the
// chart is drawn in, kept exact when its colours are reduced.
std::vector<COLORREF> ColorTableFills();

COLORREF HslToColor(std::uint32_t hue, std::uint32_t saturation, std::uint32_t lightness);
// The palette's colours: black, then the hues from 270 down to 0 at full
// saturation and half lightness, each colour once.
HuePaletteTable BuildHuePalette();

}  // namespace render
