// The main price chart: five percentage-move lines on one scale, with axes,
// grid, time labels and the zero marker; it ends with the annotation labels.
#pragma once

#include <cstdint>

#include "marketdata/series.h"
#include "platform/win32.h"
#include "render/panel.h"

namespace render {

constexpr int MarkerPitch = 2;

// The scale for the price series' largest and smallest values: the top 10
// above the maximum, the bottom 110 below the minimum (rounded away from zero
// to 10 and 100) less 50. Saturates at the int32 range, so top > bottom always.
MainScaleValues ScaleForRange(std::int32_t maximum, std::int32_t minimum);
// The scale of the three price series of `series` (0 and 0 without any).
MainScaleValues ScaleForSeries(const marketdata::SeriesTables& series);

// y of value v on a rectangle spanning [top, bottom] for the scale: computed
// exactly (truncating toward zero) and narrowed by saturation, so a far-off
// value stays far off. An empty scale (top == bottom) maps to r.top.
std::int32_t ValueToY(std::int32_t v, const RECT& r, std::int32_t scaleTop, std::int32_t scaleBottom);

// Draws the chart in r and gives its scale, which the later panels need.
MainScaleValues DrawMainChart(const PanelContext& ctx, RECT r, int marginWidth);
void DrawChartAxes(const PanelContext& ctx, const RECT& r, std::int32_t top, std::int32_t bottom);
// One series as a polyline; writes each drawn slot's plotY.
void DrawSeriesLine(const PanelContext& ctx, const RECT& q, marketdata::Sample* table, std::int32_t top,
                    std::int32_t bottom, Color pen);

}  // namespace render
