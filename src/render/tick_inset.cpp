// The tick inset: a framed zoom into the 3.5-second tick window, placed between
// two levels of the main chart's scale, with its time axis, grid, the two 25 ms
// price lines, the panel legends and (inset_panels.cpp) the panels' contents.
#include "render/tick_inset.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <initializer_list>

#include "platform/saturate.h"
#include "render/geometry.h"
#include "render/main_chart.h"
#include "render/resources.h"

namespace render {

namespace {

using marketdata::Sample;
using marketdata::SlotPitch;
using marketdata::TickCount;
using marketdata::TickWindowFirst;

// Levels of the main chart (hundredths of a percent) that frame the inset.
constexpr std::int64_t InsetTopLevel = -218;
constexpr std::int64_t InsetBottomLevel = -620;
constexpr std::int64_t InsetWidth = 140 * SlotPitch;
// Rows at the inset's foot that hold the time labels, below the last panel.
constexpr std::int64_t LabelRows = 13;
// Dotted marks every fifth value unit; grid lines at every 25th value.
constexpr std::int64_t DotEvery = 5;
constexpr std::int64_t GridEvery = 25;
// The grid runs this many units below lo.
constexpr std::int64_t GridBelowLo = 10;
constexpr COLORREF DotColor = RGB(96, 96, 96);

constexpr Color FramePen = Color::LightBlue;
constexpr Color FrameBrush = Color::LightYellow;
constexpr Color GridPen = Color::LightGrey;
constexpr Color SpyPen = Color::DarkGreen;
constexpr Color EminiPen = Color::DarkBlue;
constexpr Color LegendBackground = Color::LightYellow;

// One legend block: lines stacked down from y, each as high as the first.
void DrawLegend(HDC dc, std::int32_t x, std::int32_t y, std::initializer_list<const char*> lines) {
    std::int64_t k = 0;
    std::int64_t row = 0;
    for (const char* text : lines) {
        const int height = DrawTextBox(dc, x, SaturateToInt32(y + row * k), text);
        if (row == 0)
            k = height;
        ++row;
    }
}

}  // namespace

std::optional<InsetGeometry> ComputeInsetGeometry(const MainScaleValues& scale, std::int32_t left, std::int32_t top,
                                                  std::int32_t bottom) {
    const std::int64_t span = static_cast<std::int64_t>(scale.scaleTop) - scale.scaleBottom;
    if (span <= 0)
        return std::nullopt;
    const std::int64_t height = static_cast<std::int64_t>(bottom) - top;

    InsetGeometry g;
    g.left = SaturateToInt32(static_cast<std::int64_t>(left) + 1);
    g.right = SaturateToInt32(g.left + InsetWidth);
    g.top = SaturateToInt32(top + MulDiv64(scale.scaleTop - InsetTopLevel, height, span));
    g.bottom = SaturateToInt32(top + MulDiv64(scale.scaleTop - InsetBottomLevel, height, span));
    const std::int64_t h = static_cast<std::int64_t>(g.bottom) - g.top;
    g.priceBottom = SaturateToInt32(g.top + 3 * h / 8);

    const std::int64_t p = g.top + h / 4;
    const std::int64_t panelsEnd = g.bottom - LabelRows;
    const std::int64_t t = (panelsEnd - p) / 3;
    g.panel1 = RECT{g.left, SaturateToInt32(p), g.right, SaturateToInt32(p + t)};
    g.panel2 = RECT{g.left, SaturateToInt32(p + t + 2), g.right, SaturateToInt32(p + 2 * t)};
    g.panel3 = RECT{g.left, SaturateToInt32(p + 2 * t + 4), g.right, SaturateToInt32(panelsEnd)};
    return g;
}

void InsetPriceRange(const marketdata::SeriesTables& series, std::int32_t& hi, std::int32_t& lo) {
    bool any = false;
    std::int32_t maximum = 0;
    std::int32_t minimum = 0;
    for (const Sample* table : {series.SpyTicks.get(), series.EminiTicks.get()}) {
        if (table == nullptr)
            continue;
        std::int32_t tableMax = 0;
        std::int32_t tableMin = 0;
        marketdata::SeriesRange(table, TickCount, tableMax, tableMin);
        maximum = any ? std::max(maximum, tableMax) : tableMax;
        minimum = any ? std::min(minimum, tableMin) : tableMin;
        any = true;
    }
    if (!any) {
        hi = 1;
        lo = -1;
        return;
    }
    hi = SaturateToInt32(static_cast<std::int64_t>(maximum) + 1);
    lo = SaturateToInt32(static_cast<std::int64_t>(minimum) - 1);
}

void DrawTickInset(const PanelContext& ctx, const MainScaleValues& scale, std::int32_t left, std::int32_t top,
                   std::int32_t right, std::int32_t bottom) {
    const std::optional<InsetGeometry> geometry = ComputeInsetGeometry(scale, left, top, bottom);
    if (!geometry)
        return;
    const InsetGeometry& g = *geometry;
    HDC dc = ctx.dc;
    const marketdata::SeriesTables& series = ctx.data.series;

    // The filled frame hides whatever the main chart drew beneath it.
    SelectObject(dc, ctx.resources.Brush(FrameBrush));
    SelectObject(dc, ctx.resources.Pen(FramePen));
    Rectangle(dc, g.left, g.top, g.right, g.bottom);

    std::int32_t hi = 1;
    std::int32_t lo = -1;
    InsetPriceRange(series, hi, lo);
    DrawInsetTimeAxis(ctx, g.left, g.top, g.right, g.priceBottom, g.bottom, hi, lo);

    const RECT priceArea{g.left, g.top, g.right, g.priceBottom};
    DrawTickLine(ctx, priceArea, series.SpyTicks.get(), hi, lo, SpyPen);
    DrawTickLine(ctx, priceArea, series.EminiTicks.get(), hi, lo, EminiPen);

    SelectObject(dc, ctx.resources.Font(1));
    SetTextAlign(dc, TA_LEFT | TA_TOP);
    // A panel whose table is missing is left out, legend and all.
    if (const Sample* emini = series.EminiTicks.get()) {
        SetTextColor(dc, Fill(EminiPen));
        SetBkColor(dc, Fill(LegendBackground));
        DrawLegend(dc, g.left, g.panel1.top, {"(2) eMini", "buy/sell", "volume"});
        DrawVolumeBars(ctx, g.panel1, emini, EminiPen);
    }
    if (const Sample* spy = series.SpyTicks.get()) {
        SetTextColor(dc, Fill(SpyPen));
        SetBkColor(dc, Fill(LegendBackground));
        DrawLegend(dc, g.left, g.panel2.top, {"(3) SPY", "buy/sell", "volume"});
        DrawVolumeBars(ctx, g.panel2, spy, SpyPen);
    }
    if (const Sample* quotes = series.QuoteTradeTicks.get()) {
        SetTextColor(dc, Ink(Color::White));
        SetBkColor(dc, Fill(LegendBackground));
        DrawLegend(dc, g.left, g.panel3.top, {"(1) Quote", "Saturation"});
        DrawSaturation(ctx, g.panel3, quotes, EminiPen);
    }
}

void DrawInsetTimeAxis(const PanelContext& ctx, std::int32_t left, std::int32_t top, std::int32_t right,
                       std::int32_t priceBottom, std::int32_t bottom, std::int32_t hi, std::int32_t lo) {
    HDC dc = ctx.dc;
    SelectObject(dc, ctx.resources.Font(0));
    SetTextAlign(dc, TA_LEFT | TA_TOP);
    SetTextColor(dc, Ink(Color::White));
    SetBkColor(dc, Fill(LegendBackground));
    SelectObject(dc, ctx.resources.Pen(GridPen));

    SIZE sample{0, 0};
    GetTextExtentPointA(dc, "12:34:56", 8, &sample);
    const std::int64_t labelTop = static_cast<std::int64_t>(bottom) - sample.cy;

    // Pixels per value unit. A range taller than the price area gives 0, and
    // an inverted area is treated the same: nothing can be spaced then.
    const std::int64_t range = static_cast<std::int64_t>(hi) - lo;
    std::int64_t u = range > 0 ? (static_cast<std::int64_t>(priceBottom) - top) / range : 0;
    if (u < 0)
        u = 0;

    std::int64_t x = left;
    std::uint32_t ms = TickWindowFirst;
    for (std::uint32_t i = 0; i < TickCount && x < right; ++i, x += 2, ms += 25) {
        if (ms % 1000 == 0) {
            DrawLine(dc, x, top, x, bottom);
            char text[32];
            const int length = wsprintfA(text, "%2d:%02d:%02d", static_cast<int>(ms / 3600000),
                                         static_cast<int>(ms / 60000 % 60), static_cast<int>(ms / 1000 % 60));
            SIZE size{0, 0};
            GetTextExtentPointA(dc, text, length, &size);
            const std::int64_t w = size.cx;
            std::int64_t labelLeft = x - w / 2;
            if (labelLeft < 1)
                labelLeft = 1;
            else if (labelLeft + w >= right)
                labelLeft = static_cast<std::int64_t>(right) - w - 1;
            const RECT box{SaturateToInt32(labelLeft), SaturateToInt32(labelTop), SaturateToInt32(labelLeft + w),
                           SaturateToInt32(static_cast<std::int64_t>(bottom) - 1)};
            ExtTextOutA(dc, box.left, box.top, ETO_OPAQUE | ETO_CLIPPED, &box, text, static_cast<UINT>(length),
                        nullptr);
        } else if (ms % 200 == 0 && top < labelTop && u > 0) {
            for (std::int64_t y = top; y < labelTop; y += DotEvery * u)
                SetPixel(dc, SaturateToInt32(x), SaturateToInt32(y), DotColor);
        }
    }

    // Grid lines at the multiples of 25 from hi down to 10 units below lo,
    // one value unit per u rows, above the label row. Only the multiples are
    // visited; with u = 0 they all fall on the top row, drawn once.
    const std::int64_t lowest = static_cast<std::int64_t>(lo) - GridBelowLo;
    std::int64_t v = FloorToMultiple(hi, GridEvery);
    std::int64_t y = top + (static_cast<std::int64_t>(hi) - v) * u;
    for (; v >= lowest && y < labelTop; v -= GridEvery, y += GridEvery * u) {
        DrawLine(dc, left, y, right, y);
        if (u == 0)
            break;
    }
}

void DrawTickLine(const PanelContext& ctx, const RECT& rect, const Sample* table, std::int32_t hi, std::int32_t lo,
                  Color pen) {
    const std::int64_t range = static_cast<std::int64_t>(hi) - lo;
    if (table == nullptr || range == 0)
        return;
    HDC dc = ctx.dc;
    SelectObject(dc, ctx.resources.Pen(pen));
    const std::int64_t height = static_cast<std::int64_t>(rect.bottom) - rect.top;
    std::int64_t x = rect.left;
    for (std::uint32_t i = 0; i < TickCount && x < rect.right; ++i, x += 2) {
        const std::int64_t y = rect.top + MulDiv64(static_cast<std::int64_t>(hi) - table[i].value, height, range);
        if (i == 0)
            MoveToEx(dc, SaturateToInt32(x), SaturateToInt32(y), nullptr);
        else
            LineTo(dc, SaturateToInt32(x), SaturateToInt32(y));
    }
}

int DrawTextBox(HDC dc, std::int32_t x, std::int32_t y, const char* text) {
    const int length = static_cast<int>(std::strlen(text));
    SIZE size{0, 0};
    GetTextExtentPointA(dc, text, length, &size);
    const std::int64_t left = static_cast<std::int64_t>(x) + 3;
    const std::int64_t boxTop = static_cast<std::int64_t>(y) + 1;
    const RECT box{SaturateToInt32(left), SaturateToInt32(boxTop), SaturateToInt32(left + size.cx),
                   SaturateToInt32(boxTop + size.cy)};
    ExtTextOutA(dc, box.left, box.top, ETO_OPAQUE | ETO_CLIPPED, &box, text, static_cast<UINT>(length), nullptr);
    return size.cy;
}

}  // namespace render
