// The main price chart: five percentage-move lines on one scale, with axes,
// grid, time labels and the zero marker; it ends with the annotation labels.
#pragma once

#include <cstdint>

#include "marketdata/series.h"
#include "platform/win32.h"

namespace render {

// The chart's percentage scale in hundredths of a percent, recomputed by every
// paint before the other panels read it.
struct MainScaleValues {
    std::int32_t scaleTop = 0;
    std::int32_t scaleBottom = 0;
};
extern MainScaleValues MainScale;

constexpr int MarkerPitch = 2;

// y of value v on a rectangle spanning [top, bottom] for the scale; 64-bit
// arithmetic narrowed by saturation.
std::int32_t ValueToY(std::int32_t v, const RECT& r, std::int32_t scaleTop, std::int32_t scaleBottom);

void DrawMainChart(HDC dc, RECT r, int marginWidth);
void DrawChartAxes(HDC dc, const RECT& r, std::int32_t top, std::int32_t bottom);
void DrawSeriesLine(HDC dc, const RECT& q, marketdata::Sample* table, std::int32_t top, std::int32_t bottom, int pen);

}  // namespace render
