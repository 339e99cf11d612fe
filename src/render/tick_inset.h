// The framed 25 ms tick inset with its time axis, price lines and panels.
#pragma once

#include <cstdint>
#include <optional>

#include "marketdata/series.h"
#include "platform/win32.h"
#include "render/panel.h"

namespace render {

// Draws the inset for a picture's left, top, right and bottom edges, between
// two levels of the main chart's scale.
void DrawTickInset(const PanelContext& ctx, const MainScaleValues& scale, std::int32_t left, std::int32_t top,
                   std::int32_t right, std::int32_t bottom);
void DrawInsetTimeAxis(const PanelContext& ctx, std::int32_t left, std::int32_t top, std::int32_t right,
                       std::int32_t priceBottom, std::int32_t bottom, std::int32_t hi, std::int32_t lo);
void DrawTickLine(const PanelContext& ctx, const RECT& rect, const marketdata::Sample* table, std::int32_t hi,
                  std::int32_t lo, Color pen);
int DrawTextBox(HDC dc, std::int32_t x, std::int32_t y, const char* text);

// The inset's lower panels.
void DrawVolumeBars(const PanelContext& ctx, const RECT& panel, const marketdata::Sample* table, Color pen);
void DrawSaturation(const PanelContext& ctx, const RECT& panel, const marketdata::Sample* table, Color pen);

// Where the inset and its parts lie for a picture's left, top and bottom edges
// under the main chart's scale. Every coordinate saturates at the int32 range.
struct InsetGeometry {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    std::int32_t priceBottom = 0;
    RECT panel1{};  // eMini volume
    RECT panel2{};  // SPY volume
    RECT panel3{};  // quote saturation
};
// Empty when the scale has no positive span.
std::optional<InsetGeometry> ComputeInsetGeometry(const MainScaleValues& scale, std::int32_t left, std::int32_t top,
                                                  std::int32_t bottom);

// The price lines' value range: one unit beyond the extremes of the two tick
// tables, so hi > lo always; 1 and -1 when both tables are absent.
void InsetPriceRange(const marketdata::SeriesTables& series, std::int32_t& hi, std::int32_t& lo);

}  // namespace render
