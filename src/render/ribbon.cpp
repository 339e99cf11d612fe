// The ribbon heat map: one band per configured symbol, one 2-pixel column per
// second, each row coloured over its own range from the hue palette. The
// caption of every row stands in a box right of its band. The broadcast strip
// follows directly below the last row.
#include "render/ribbon.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "marketdata/ribbon.h"
#include "marketdata/series.h"
#include "platform/saturate.h"
#include "render/main_chart.h"
#include "render/resources.h"

namespace render {

namespace {

// The ribbon fills the main chart's band between -6.20 % and -7.55 %
// (hundredths of a percent); its top row touches the tick inset's bottom edge.
constexpr std::int32_t RibbonTopLevel = -620;
constexpr std::int32_t BandBottomLevel = -755;
// Rows this tall or taller take the larger of the two small fonts.
constexpr std::int64_t LargeFontMinRowHeight = 12;
constexpr int LargeRowFont = 0;
constexpr int SmallRowFont = 1;
constexpr Color CaptionColor = Color::DarkRed;

int TextLength(const char* text, std::size_t capacity) {
    return static_cast<int>(strnlen(text, capacity));
}

// Colour index of one second: the row's minimum is black (0); above it the
// number is scaled over the row's whole range and clamped to the last entry.
std::uint32_t ColorIndex(std::int32_t value, std::int32_t minimum, std::uint64_t range, std::uint32_t paletteCount) {
    if (value <= minimum)
        return 0;
    const auto offset = static_cast<std::uint64_t>(static_cast<std::int64_t>(value) - minimum);
    const std::uint64_t n = offset * paletteCount / range;
    return n >= paletteCount ? paletteCount - 1 : static_cast<std::uint32_t>(n);
}

void DrawRowColumns(HDC dc, const HuePaletteTable& palette, const std::int32_t* values, std::int32_t heatLeft,
                    std::int32_t rightLimit, std::int32_t rowTop, std::int32_t rowBottom) {
    const std::uint32_t paletteCount = std::min(palette.count, PaletteCapacity);
    std::int32_t maximum = 0;
    std::int32_t minimum = 0;
    marketdata::ValuesRange(values, marketdata::SecondCount, maximum, minimum);
    // Formed in 64 bits: a row spanning the whole int32 range must not wrap to 0.
    const auto range = static_cast<std::uint64_t>(static_cast<std::int64_t>(maximum) - minimum + 1);
    for (std::uint32_t k = 0; k < marketdata::SecondCount; ++k) {
        const std::int64_t x =
            static_cast<std::int64_t>(heatLeft) + static_cast<std::int64_t>(k) * marketdata::SlotPitch;
        if (x >= rightLimit)
            break;
        const std::uint32_t n = ColorIndex(values[k], minimum, range, paletteCount);
        SelectObject(dc, palette.pens[n]);
        // x < rightLimit, so x + 1 still fits.
        const int column = static_cast<int>(x);
        MoveToEx(dc, column, rowTop, nullptr);
        LineTo(dc, column, rowBottom);
        MoveToEx(dc, column + 1, rowTop, nullptr);
        LineTo(dc, column + 1, rowBottom);
    }
}

}  // namespace

RibbonGeometry ComputeRibbonGeometry(const RECT& plotRect, std::int32_t scaleTop, std::int32_t scaleBottom,
                                     std::uint32_t rowCount) {
    RibbonGeometry g;
    g.heatLeft = SaturateToInt32(static_cast<std::int64_t>(plotRect.left) + 1);
    // The main chart's own mapping, so the ribbon meets the tick inset exactly.
    g.ribbonTop = ValueToY(RibbonTopLevel, plotRect, scaleTop, scaleBottom);
    g.bandBottom = ValueToY(BandBottomLevel, plotRect, scaleTop, scaleBottom);
    const std::int64_t band = static_cast<std::int64_t>(g.bandBottom) - g.ribbonTop;
    // A band turned upside down (never from a computed scale) holds no rows.
    g.rowHeight = (rowCount == 0 || band <= 0) ? 0 : SaturateToInt32(band / rowCount);
    g.stripTop = SaturateToInt32(g.ribbonTop + static_cast<std::int64_t>(rowCount) * g.rowHeight);
    return g;
}

int RibbonRowFont(std::int32_t rowHeight) {
    return rowHeight >= LargeFontMinRowHeight ? LargeRowFont : SmallRowFont;
}

void DrawRibbon(const PanelContext& ctx, const MainScaleValues& scale, RECT plotRect) {
    const std::vector<marketdata::RibbonRow>& rows = ctx.data.ribbon.rows;
    if (rows.empty())
        return;
    const auto rowCount = static_cast<std::uint32_t>(std::min<std::size_t>(rows.size(), marketdata::RibbonCapacity));
    HDC dc = ctx.dc;
    const HuePaletteTable& palette = ctx.resources.HuePalette();

    const RibbonGeometry g = ComputeRibbonGeometry(plotRect, scale.scaleTop, scale.scaleBottom, rowCount);

    SelectObject(dc, ctx.resources.Font(RibbonRowFont(g.rowHeight)));
    SetTextAlign(dc, TA_LEFT | TA_TOP);
    SetTextColor(dc, Fill(CaptionColor));
    SetBkColor(dc, Ink(CaptionColor));

    std::int64_t captionWidth = 0;
    for (std::uint32_t r = 0; r < rowCount; ++r) {
        const auto& row = rows[r];
        SIZE extent{0, 0};
        GetTextExtentPointA(dc, row.caption, TextLength(row.caption, sizeof row.caption), &extent);
        captionWidth = std::max<std::int64_t>(captionWidth, extent.cx);
    }
    const std::int32_t rightLimit = SaturateToInt32(static_cast<std::int64_t>(plotRect.right) - 2 - captionWidth);

    // Without palette colours no column can be coloured; the rows are left
    // out, the strip below still has its place.
    if (palette.count > 0) {
        for (std::uint32_t r = 0; r < rowCount; ++r) {
            const auto& row = rows[r];
            const std::int32_t rowTop = SaturateToInt32(g.ribbonTop + static_cast<std::int64_t>(r) * g.rowHeight);
            const std::int32_t rowBottom = SaturateToInt32(static_cast<std::int64_t>(rowTop) + g.rowHeight);
            if (row.values)
                DrawRowColumns(dc, palette, row.values.get(), g.heatLeft, rightLimit, rowTop, rowBottom);

            const RECT box{SaturateToInt32(static_cast<std::int64_t>(rightLimit) + 1), rowTop,
                           SaturateToInt32(static_cast<std::int64_t>(rightLimit) + 2 + captionWidth), rowBottom};
            ExtTextOutA(dc, box.left, rowTop, ETO_OPAQUE | ETO_CLIPPED, &box, row.caption,
                        static_cast<UINT>(TextLength(row.caption, sizeof row.caption)), nullptr);
            if (row.link[0] != '\0')
                ctx.AddMapArea(box, row.link, row.altText);
        }
    }

    DrawBroadcastStrip(ctx, g.heatLeft, rightLimit, g.stripTop, g.rowHeight);
}

}  // namespace render
