// The fixed drawing resources: colour pairs with their brushes and pens, the
// four fonts, and the hue palette the heat maps pick colours from.
#include "render/resources.h"

#include <algorithm>
#include <utility>

namespace render {

namespace {

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

}  // namespace

const std::array<LOGFONTA, FontCount> FontTable = {
    MakeFont(-11, FW_NORMAL, "Lucida Console"),
    MakeFont(-10, FW_NORMAL, "Lucida Console"),
    MakeFont(-14, FW_NORMAL, "Courier New"),
    MakeFont(-32, FW_MEDIUM, "Courier New"),
};

DrawingResources DrawingResources::Create() {
    DrawingResources r;
    for (int n = 0; n < FontCount; ++n)
        r.fonts_[static_cast<std::size_t>(n)] = CreateFontIndirectA(&FontTable[static_cast<std::size_t>(n)]);
    for (std::size_t n = 0; n < ColorCount; ++n) {
        const LOGBRUSH brush{BS_SOLID, ColorTable[n].fill, 0};
        r.brushes_[n] = CreateBrushIndirect(&brush);
        r.pens_[n] = CreatePen(PS_SOLID, 1, ColorTable[n].fill);
    }
    r.palette_ = BuildHuePalette();
    for (std::uint32_t i = 0; i < r.palette_.count; ++i)
        r.palette_.pens[i] = CreatePen(PS_SOLID, 1, r.palette_.colors[i]);
    return r;
}

DrawingResources::DrawingResources(DrawingResources&& other) noexcept
    : fonts_(std::exchange(other.fonts_, {})),
      brushes_(std::exchange(other.brushes_, {})),
      pens_(std::exchange(other.pens_, {})),
      palette_(std::exchange(other.palette_, {})) {}

DrawingResources& DrawingResources::operator=(DrawingResources&& other) noexcept {
    if (this != &other) {
        Release();
        fonts_ = std::exchange(other.fonts_, {});
        brushes_ = std::exchange(other.brushes_, {});
        pens_ = std::exchange(other.pens_, {});
        palette_ = std::exchange(other.palette_, {});
    }
    return *this;
}

DrawingResources::~DrawingResources() {
    Release();
}

void DrawingResources::Release() {
    const auto remove = [](auto& handles) {
        for (auto& h : handles) {
            if (h != nullptr)
                DeleteObject(h);
            h = nullptr;
        }
    };
    remove(fonts_);
    remove(brushes_);
    remove(pens_);
    remove(palette_.pens);
    palette_.count = 0;
}

std::vector<COLORREF> ColorTableFills() {
    std::vector<COLORREF> fills;
    for (const ColorPair& pair : ColorTable)
        fills.push_back(pair.fill);
    return fills;
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

HuePaletteTable BuildHuePalette() {
    HuePaletteTable palette;
    const auto add = [&](COLORREF color) {
        if (palette.count >= PaletteCapacity)
            return;
        for (std::uint32_t i = 0; i < palette.count; ++i)
            if (palette.colors[i] == color)
                return;
        palette.colors[palette.count++] = color;
    };
    add(RGB(0, 0, 0));
    for (int hue = 270; hue >= 0; --hue)
        add(HslToColor(static_cast<std::uint32_t>(hue), 100, 50));
    return palette;
}

}  // namespace render
