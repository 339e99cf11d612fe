// The main price chart: scale, axes, grid, zero marker and the five series lines.
#include "render/main_chart.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/saturate.h"
#include "render/geometry.h"
#include "render/labels.h"
#include "render/resources.h"

namespace render {

namespace {

constexpr std::int64_t LabelStep = 100;       // one label and grid line per whole percent
constexpr std::int64_t LabelBottomGap = 210;  // nothing labelled within 2.1 points of the bottom
constexpr std::int64_t DotStep = 20;          // one dot every 0.2 points
constexpr std::int64_t DotBottomGap = 270;
constexpr COLORREF DotColor = RGB(96, 96, 96);
constexpr UINT OpaqueClipped = ETO_OPAQUE | ETO_CLIPPED;

// Walks the levels top-down: the multiples of `step` in (above, top]. Levels
// that land on one pixel row are visited once, as the lowest of them (the one
// a level-by-level walk would draw last there), so the cost follows the number
// of rows rather than the value range. Calls visit(level, y).
template <typename Visit>
void ForEachLevelRow(const RECT& r, std::int32_t top, std::int32_t bottom, std::int64_t above, std::int64_t step,
                     Visit visit) {
    const std::int64_t highest = FloorToMultiple(top, step);
    const std::int64_t lowest = FloorToMultiple(above, step) + step;
    if (highest < lowest)
        return;
    // A level exists only when top > bottom + gap, so the range is positive.
    const std::int64_t range = static_cast<std::int64_t>(top) - bottom;
    const std::int64_t span = static_cast<std::int64_t>(r.bottom) - r.top;
    const std::uint64_t height = span < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(span) : static_cast<std::uint64_t>(span);
    for (std::int64_t v = highest; v >= lowest;) {
        std::int64_t last = lowest;
        if (height != 0) {
            // Row index q = d * height / range; the last d on row q is the
            // largest with d * height < (q + 1) * range, that is
            // ceil((q + 1) * range / height) - 1.
            const std::uint64_t d = static_cast<std::uint64_t>(std::int64_t{top} - v);
            const std::uint64_t q = MulDivUnsigned(d, height, static_cast<std::uint64_t>(range));
            bool inexact = false;
            const std::uint64_t reach = MulDivUnsigned(q + 1, static_cast<std::uint64_t>(range), height, &inexact);
            const std::uint64_t lastD = inexact ? reach : reach - 1;
            const std::int64_t lastValue = std::int64_t{top} - static_cast<std::int64_t>(lastD);
            if (lastValue > lowest)
                last = CeilToMultiple(lastValue, step);
        }
        visit(last, ValueToY(static_cast<std::int32_t>(last), r, top, bottom));
        v = last - step;
    }
}

void FormatPercentLabel(char (&text)[32], std::int64_t level) {
    if (level > 0) {
        std::snprintf(text, sizeof text, "+%lld%%", static_cast<long long>(level / 100));
    } else if (level == 0) {
        std::snprintf(text, sizeof text, "0 ");
    } else {
        std::snprintf(text, sizeof text, "%lld%%", static_cast<long long>(level / 100));
    }
}

SIZE MeasureText(HDC dc, const char* text, int length) {
    SIZE size{0, 0};
    if (!GetTextExtentPointA(dc, text, length, &size))
        size = SIZE{0, 0};
    return size;
}

// One percentage level: the label on both sides and the grid line between.
// Gives the label's width.
std::int64_t DrawPercentLevel(HDC dc, const RECT& r, std::int64_t level, std::int32_t y) {
    char text[32];
    FormatPercentLabel(text, level);
    const int length = static_cast<int>(std::strlen(text));
    const SIZE size = MeasureText(dc, text, length);
    const std::int64_t textTop = static_cast<std::int64_t>(y) - size.cy / 2;
    const std::int64_t textBottom = textTop + size.cy;

    const RECT leftBox{SaturateToInt32(std::int64_t{r.left} - size.cx), SaturateToInt32(textTop), r.left,
                       SaturateToInt32(textBottom)};
    ExtTextOutA(dc, r.left, SaturateToInt32(textTop), OpaqueClipped, &leftBox, text, static_cast<UINT>(length),
                nullptr);
    MoveToEx(dc, SaturateToInt32(std::int64_t{r.left} + 2), y, nullptr);
    const RECT rightBox{SaturateToInt32(std::int64_t{r.right} - 3 - size.cx), SaturateToInt32(textTop),
                        SaturateToInt32(std::int64_t{r.right} - 1), SaturateToInt32(textBottom)};
    ExtTextOutA(dc, rightBox.right, SaturateToInt32(textTop), OpaqueClipped, &rightBox, text, static_cast<UINT>(length),
                nullptr);
    LineTo(dc, rightBox.left, y);
    return size.cx;
}

std::int64_t LabelWidth(HDC dc, std::int64_t level) {
    char text[32];
    FormatPercentLabel(text, level);
    return MeasureText(dc, text, static_cast<int>(std::strlen(text))).cx;
}

// Draws the percentage levels and gives the widest label's width.
std::int64_t DrawPercentLevels(HDC dc, const RECT& r, std::int32_t top, std::int32_t bottom) {
    const std::int64_t above = static_cast<std::int64_t>(bottom) + LabelBottomGap;
    std::int64_t maxW = 0;
    ForEachLevelRow(r, top, bottom, above, LabelStep, [&](std::int64_t level, std::int32_t y) {
        maxW = std::max(maxW, DrawPercentLevel(dc, r, level, y));
    });
    // Levels that shared a row with a lower one were not drawn; the widest
    // label of all is still among the extremes and zero.
    const std::int64_t highest = FloorToMultiple(top, LabelStep);
    const std::int64_t lowest = FloorToMultiple(above, LabelStep) + LabelStep;
    if (highest >= lowest) {
        maxW = std::max({maxW, LabelWidth(dc, highest), LabelWidth(dc, lowest)});
        if (lowest <= 0 && highest >= 0)
            maxW = std::max(maxW, LabelWidth(dc, 0));
    }
    return maxW;
}

void DrawMinuteMark(HDC dc, const RECT& r, std::int32_t x, std::uint32_t second) {
    MoveToEx(dc, x, r.top, nullptr);
    LineTo(dc, x, r.bottom);
    char text[32];
    std::snprintf(text, sizeof text, "%2u:%02u", second / 3600, (second / 60) % 60);
    const int length = static_cast<int>(std::strlen(text));
    const SIZE size = MeasureText(dc, text, length);
    const std::int32_t boxLeft = SaturateToInt32(static_cast<std::int64_t>(x) - size.cx / 2);
    const std::int32_t boxRight = SaturateToInt32(static_cast<std::int64_t>(boxLeft) + size.cx);
    const std::int32_t lowTop = SaturateToInt32(static_cast<std::int64_t>(r.bottom) - size.cy);
    const RECT lowBox{boxLeft, lowTop, boxRight, r.bottom};
    ExtTextOutA(dc, x, lowTop, OpaqueClipped, &lowBox, text, static_cast<UINT>(length), nullptr);
    const RECT highBox{boxLeft, r.top, boxRight, SaturateToInt32(static_cast<std::int64_t>(r.top) + size.cy)};
    ExtTextOutA(dc, x, r.top, OpaqueClipped, &highBox, text, static_cast<UINT>(length), nullptr);
}

}  // namespace

MainScaleValues ScaleForRange(std::int32_t maximum, std::int32_t minimum) {
    MainScaleValues scale;
    scale.scaleTop = SaturateToInt32(RoundAwayFromZero(static_cast<std::int64_t>(maximum) + 10, 10));
    scale.scaleBottom = SaturateToInt32(RoundAwayFromZero(static_cast<std::int64_t>(minimum) - 110, 100) - 50);
    return scale;
}

std::int32_t ValueToY(std::int32_t v, const RECT& r, std::int32_t scaleTop, std::int32_t scaleBottom) {
    const std::int64_t range = static_cast<std::int64_t>(scaleTop) - scaleBottom;
    if (range == 0)
        return r.top;  // no scale: nothing to spread over the height
    const std::int64_t distance = static_cast<std::int64_t>(scaleTop) - v;
    const std::int64_t height = static_cast<std::int64_t>(r.bottom) - r.top;
    constexpr std::int64_t Small = std::int64_t{1} << 31;
    // Every real chart's product fits in 64 bits; only extreme scales need more.
    if (distance > -Small && distance < Small && height > -Small && height < Small) {
        return SaturateToInt32(static_cast<std::int64_t>(r.top) + distance * height / range);
    }
    // Beyond 2^40 pixels every quotient narrows to the same int32 limit.
    constexpr std::int64_t Far = std::int64_t{1} << 40;
    const std::int64_t offset = std::clamp<std::int64_t>(MulDiv64(distance, height, range), -Far, Far);
    return SaturateToInt32(std::int64_t{r.top} + offset);
}

void DrawChartAxes(const PanelContext& ctx, const RECT& r, std::int32_t top, std::int32_t bottom) {
    HDC dc = ctx.dc;
    SelectObject(dc, ctx.resources.Font(0));
    SelectObject(dc, ctx.resources.Pen(Color::LightGrey));
    SetTextColor(dc, Ink(Color::White));
    SetBkColor(dc, Fill(Color::White));
    SetTextAlign(dc, TA_RIGHT);
    const std::int64_t maxW = DrawPercentLevels(dc, r, top, bottom);

    // Every ten-second column has the same dots; find their rows once.
    std::vector<std::int32_t> dotRows;
    ForEachLevelRow(r, top, bottom, static_cast<std::int64_t>(bottom) + DotBottomGap, DotStep,
                    [&](std::int64_t, std::int32_t y) { dotRows.push_back(y); });

    // The time axis stops short of the right-hand percentage labels.
    SetTextAlign(dc, TA_CENTER);
    for (std::uint32_t i = 0; i < marketdata::SecondCount; ++i) {
        const std::int64_t x = static_cast<std::int64_t>(r.left) + static_cast<std::int64_t>(i) * marketdata::SlotPitch;
        if (x + maxW >= r.right)
            break;
        const std::uint32_t second = marketdata::SecondWindowFirst + i;
        if (second % 60 == 0) {
            DrawMinuteMark(dc, r, static_cast<std::int32_t>(x), second);
        } else if (second % 10 == 0) {
            for (std::int32_t y : dotRows)
                SetPixel(dc, static_cast<std::int32_t>(x), y, DotColor);
        }
    }
}

void DrawSeriesLine(const PanelContext& ctx, const RECT& q, marketdata::Sample* table, std::int32_t top,
                    std::int32_t bottom, Color pen) {
    if (table == nullptr)
        return;  // a series whose file is missing is left out
    HDC dc = ctx.dc;
    SelectObject(dc, ctx.resources.Pen(pen));
    std::int64_t x = q.left;
    for (std::uint32_t i = 0; i < marketdata::SecondCount; ++i) {
        const std::int32_t y = ValueToY(table[i].value, q, top, bottom);
        if (i == 0) {
            MoveToEx(dc, static_cast<std::int32_t>(x), y, nullptr);
        } else {
            // The last segment ends exactly on the right edge; what lies
            // beyond it is neither drawn nor given a plotY.
            if (x > q.right)
                x = q.right;
            LineTo(dc, static_cast<std::int32_t>(x), y);
            if (x == q.right)
                break;
        }
        table[i].plotY = y;
        x += marketdata::SlotPitch;
    }
}

MainScaleValues ScaleForSeries(const marketdata::SeriesTables& series) {
    // Only the three price series set the range; the volume-weighted ones may
    // run off the scale.
    std::int32_t maximum = 0;
    std::int32_t minimum = 0;
    bool any = false;
    for (const marketdata::SeriesTable* table : {&series.SpySeries, &series.DjiSeries, &series.EminiSeries}) {
        if (!*table)
            continue;
        std::int32_t high = 0;
        std::int32_t low = 0;
        marketdata::SeriesRange(table->get(), marketdata::SecondCount, high, low);
        maximum = any ? std::max(maximum, high) : high;
        minimum = any ? std::min(minimum, low) : low;
        any = true;
    }
    return ScaleForRange(maximum, minimum);
}

MainScaleValues DrawMainChart(const PanelContext& ctx, RECT r, int marginWidth) {
    HDC dc = ctx.dc;
    const marketdata::SeriesTables& series = ctx.data.series;
    const MainScaleValues scale = ScaleForSeries(series);
    const std::int32_t top = scale.scaleTop;
    const std::int32_t bottom = scale.scaleBottom;

    // The zero marker spans slots 8 to 17, the stretch the tick inset enlarges.
    const std::int32_t zeroY = ValueToY(0, r, top, bottom);
    SelectObject(dc, ctx.resources.Pen(Color::DarkBlue));
    SelectObject(dc, ctx.resources.Brush(Color::LightYellow));
    Ellipse(
        dc, SaturateToInt32(static_cast<std::int64_t>(r.left) + 8 * MarkerPitch), SaturateToInt32(static_cast<std::int64_t>(zeroY) - 6),
        SaturateToInt32(static_cast<std::int64_t>(r.left) + 17 * MarkerPitch), SaturateToInt32(static_cast<std::int64_t>(zeroY) + 12));

    DrawChartAxes(ctx, r, top, bottom);

    // Lines and labels stop short of the right-hand percentage labels.
    r.right = SaturateToInt32(static_cast<std::int64_t>(r.right) - marginWidth);
    DrawSeriesLine(ctx, r, series.SpyVwSeries.get(), top, bottom, Color::LightGreen);
    DrawSeriesLine(ctx, r, series.EminiVwSeries.get(), top, bottom, Color::LightBlue);
    DrawSeriesLine(ctx, r, series.DjiSeries.get(), top, bottom, Color::Grey);
    DrawSeriesLine(ctx, r, series.EminiSeries.get(), top, bottom, Color::DarkBlue);
    DrawSeriesLine(ctx, r, series.SpySeries.get(), top, bottom, Color::DarkGreen);

    DrawAnnotationLabels(ctx, r, top, bottom);
    return scale;
}

}  // namespace render
