// The tick inset's lower panels: stacked buy/sell volume bars per instrument
// and the quote-saturation columns shaded through the hue palette. Each panel
// is scaled to the busiest slot of its own table.
#include <algorithm>
#include <climits>

#include "platform/saturate.h"
#include "render/geometry.h"
#include "render/resources.h"
#include "render/tick_inset.h"

namespace render {

namespace {

using marketdata::Sample;
using marketdata::TickCount;

constexpr Color BuyPen = Color::DarkGreen;
constexpr Color SellPen = Color::Red;

// Counts are unsigned 32-bit; their sums and the products with a panel's
// height are formed wide enough never to wrap.
std::uint64_t Count(std::int32_t field) {
    return static_cast<std::uint32_t>(field);
}

// height * count / scale with 0 <= count <= scale: the result lies between 0
// and height, so it always fits in 64 bits.
std::int64_t Share(std::int64_t height, std::uint64_t count, std::uint64_t scale) {
    return MulDiv64(height, static_cast<std::int64_t>(count), static_cast<std::int64_t>(scale));
}

void DrawBaseLine(const PanelContext& ctx, const RECT& panel, Color pen) {
    HDC dc = ctx.dc;
    SelectObject(dc, ctx.resources.Pen(pen));
    MoveToEx(dc, panel.left, panel.bottom, nullptr);
    LineTo(dc, panel.right, panel.bottom);
}

}  // namespace

void DrawVolumeBars(const PanelContext& ctx, const RECT& panel, const Sample* table, Color pen) {
    if (table == nullptr)
        return;
    HDC dc = ctx.dc;
    // Starting from 1 keeps a table without volume from dividing by zero.
    std::uint64_t m = 1;
    for (std::uint32_t i = 0; i < TickCount; ++i)
        m = std::max(m, Count(table[i].volume1) + Count(table[i].volume2));

    // A panel squeezed to no height has no room for bars.
    const std::int64_t height = static_cast<std::int64_t>(panel.bottom) - panel.top;
    const std::int64_t bottom = panel.bottom;
    const std::int64_t lastX = static_cast<std::int64_t>(panel.right) - 1;
    std::int64_t x = panel.left;
    for (std::uint32_t i = 0; height > 0 && i < TickCount && x < lastX; ++i, x += 2) {
        const std::uint64_t buy = Count(table[i].volume1);
        const std::int64_t lower = Share(height, buy, m);
        const std::int64_t total = Share(height, buy + Count(table[i].volume2), m);
        SelectObject(dc, ctx.resources.Pen(BuyPen));
        MoveToEx(dc, SaturateToInt32(x), SaturateToInt32(bottom), nullptr);
        LineTo(dc, SaturateToInt32(x), SaturateToInt32(bottom - lower));
        // The sell segment continues from the buy segment's end.
        SelectObject(dc, ctx.resources.Pen(SellPen));
        LineTo(dc, SaturateToInt32(x), SaturateToInt32(bottom - total));
    }
    DrawBaseLine(ctx, panel, pen);
}

void DrawSaturation(const PanelContext& ctx, const RECT& panel, const Sample* table, Color pen) {
    if (table == nullptr)
        return;
    HDC dc = ctx.dc;
    const HuePaletteTable& palette = ctx.resources.HuePalette();
    std::uint64_t m = 1;
    for (std::uint32_t i = 0; i < TickCount; ++i)
        m = std::max(m, Count(table[i].value));

    const std::int64_t height = static_cast<std::int64_t>(panel.bottom) - panel.top;
    const std::int64_t rows = height + 1;
    const std::int64_t bottom = panel.bottom;
    const std::int64_t lastX = static_cast<std::int64_t>(panel.right) - 1;
    const std::int64_t colours = std::min<std::uint32_t>(palette.count, PaletteCapacity);
    // Slot 0 only takes part in the scale; slot i's two-pixel column sits at
    // left + 2i - 3 and left + 2i - 2.
    std::int64_t x = panel.left;
    for (std::uint32_t i = 1; rows > 0 && i < TickCount && x < lastX; ++i, x += 2) {
        const std::int64_t columnTop = bottom - Share(height, Count(table[i].value), m);
        for (std::int64_t y = columnTop; y <= bottom; ++y) {
            // bottom - y <= height < rows, so n stays below the palette count.
            const std::int64_t n = (bottom - y) * colours / rows;
            const COLORREF colour = palette.colors[static_cast<std::size_t>(n)];
            SetPixel(dc, SaturateToInt32(x - 1), SaturateToInt32(y), colour);
            SetPixel(dc, SaturateToInt32(x), SaturateToInt32(y), colour);
        }
    }
    DrawBaseLine(ctx, panel, pen);
}

}  // namespace render
