// The fixed drawing resources: colour pairs with their brushes and pens, the
// four fonts, and the hue palette the heat maps pick colours from.
#include "render/resources.h"

#include <algorithm>

namespace render {

namespace {

constexpr COLORREF Black = RGB(0, 0, 0);
constexpr COLORREF White = RGB(255, 255, 255);

constexpr LOGFONTA MakeFont(LONG height, LONG weight, const char* face) {
    LOGFONTA f{};
    f.lfHeight = height;
    f.lfWidth = 0;
    f.lfEscapement = 0;
    f.lfOrientation = 0;
    f.lfWeight = weight;
    f.lfItalic = 0;
    f.lfUnderline = 0;
    f.lfStrikeOut = 0;
    f.lfCharSet = ANSI_CHARSET;
    f.lfOutPrecision = OUT_STROKE_PRECIS;
    f.lfClipPrecision = CLIP_STROKE_PRECIS;
    f.lfQuality = DRAFT_QUALITY;
    f.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    for (int i = 0; face[i] != '\0' && i < LF_FACESIZE - 1; ++i)
        f.lfFaceName[i] = face[i];
    return f;
}

std::array<HFONT, FontCount> Fonts{};
std::array<HBRUSH, ColorCount> Brushes{};
std::array<HPEN, ColorCount> Pens{};

}  // namespace

const std::array<ColorPair, ColorCount> ColorTable = {{
    {Black, RGB(255, 255, 255)},  // 0 white
    {Black, RGB(180, 180, 255)},  // 1 light blue
    {White, RGB(153, 255, 153)},  // 2 light green
    {Black, RGB(0, 204, 0)},      // 3 green
    {Black, RGB(0, 204, 204)},    // 4 teal
    {White, RGB(102, 0, 0)},      // 5 dark red
    {Black, RGB(255, 255, 0)},    // 6 yellow
    {Black, RGB(255, 204, 204)},  // 7 pink
    {White, RGB(204, 0, 204)},    // 8 magenta
    {White, RGB(0, 102, 0)},      // 9 dark green
    {White, RGB(204, 0, 0)},      // 10 red
    {Black, RGB(255, 255, 204)},  // 11 light yellow
    {White, RGB(0, 0, 153)},      // 12 dark blue
    {Black, RGB(204, 204, 204)},  // 13 light grey
    {White, RGB(102, 102, 102)},  // 14 grey
    {White, RGB(0, 0, 0)},        // 15 black
}};

const std::array<LOGFONTA, FontCount> FontTable = {
    MakeFont(-11, FW_NORMAL, "Lucida Console"),
    MakeFont(-10, FW_NORMAL, "Lucida Console"),
    MakeFont(-14, FW_NORMAL, "Courier New"),
    MakeFont(-32, FW_MEDIUM, "Courier New"),
};

HuePaletteTable HuePalette;

HFONT Font(int n) {
    return Fonts[n];
}
HBRUSH Brush(int n) {
    return Brushes[n];
}
HPEN Pen(int n) {
    return Pens[n];
}
COLORREF Ink(int n) {
    return ColorTable[n].ink;
}
COLORREF Fill(int n) {
    return ColorTable[n].fill;
}

void CreateDrawingResources() {
    // Made once per process; a second dialog in the same process (tests) reuses them.
    static bool created = false;
    if (created)
        return;
    created = true;
    for (int n = 0; n < FontCount; ++n)
        Fonts[n] = CreateFontIndirectA(&FontTable[n]);
    for (int n = 0; n < ColorCount; ++n) {
        const LOGBRUSH brush{BS_SOLID, ColorTable[n].fill, 0};
        Brushes[n] = CreateBrushIndirect(&brush);
        Pens[n] = CreatePen(PS_SOLID, 1, ColorTable[n].fill);
    }
    BuildHuePalette();
}

COLORREF HslToColor(std::uint32_t hue, std::uint32_t saturation, std::uint32_t lightness) {
    // The order of operations below decides which channel values truncate to
    // which byte; keep it.
    const double h = static_cast<double>(hue) * (1.0 / 360.0);
    const double s = static_cast<double>(saturation) * 0.01;
    const double l = static_cast<double>(lightness) * 0.01;
    const double q = l <= 0.5 ? (s + 1.0) * l : (l + s) - l * s;
    double red = l;
    double green = l;
    double blue = l;
    if (q > 0.0) {
        const double p = (l + l) - q;
        const double h6 = h * 6.0;
        const auto sector = static_cast<std::uint64_t>(h6);
        const double f = h6 - static_cast<double>(sector);
        const double v = ((q - p) / q * f) * q;
        const double rise = v + p;
        const double fall = q - v;
        // Hues of 360 and more come round the wheel again.
        switch (sector % 6) {
            case 0:
                red = q, green = rise, blue = p;
                break;
            case 1:
                red = fall, green = q, blue = p;
                break;
            case 2:
                red = p, green = q, blue = rise;
                break;
            case 3:
                red = p, green = fall, blue = q;
                break;
            case 4:
                red = rise, green = p, blue = q;
                break;
            default:
                red = q, green = p, blue = fall;
                break;
        }
    }
    // Truncated, not rounded. Out-of-range saturation or lightness is kept to
    // a byte instead of converting a value no byte can hold.
    const auto byte = [](double channel) { return static_cast<BYTE>(std::clamp(channel, 0.0, 1.0) * 255.0); };
    return RGB(byte(red), byte(green), byte(blue));
}

void AddPaletteColor(COLORREF color) {
    if (HuePalette.count >= PaletteCapacity)
        return;
    for (std::uint32_t i = 0; i < HuePalette.count; ++i)
        if (HuePalette.colors[i] == color)
            return;
    HuePalette.colors[HuePalette.count] = color;
    HuePalette.pens[HuePalette.count] = CreatePen(PS_SOLID, 1, color);
    ++HuePalette.count;
}

void BuildHuePalette() {
    // Built once by the program; should it be built again, the old pens go
    // rather than leak.
    for (std::uint32_t i = 0; i < HuePalette.count; ++i) {
        if (HuePalette.pens[i] != nullptr)
            DeleteObject(HuePalette.pens[i]);
        HuePalette.pens[i] = nullptr;
    }
    HuePalette.count = 0;
    AddPaletteColor(RGB(0, 0, 0));
    for (int hue = 270; hue >= 0; --hue)
        AddPaletteColor(HslToColor(static_cast<std::uint32_t>(hue), 100, 50));
}

}  // namespace render
