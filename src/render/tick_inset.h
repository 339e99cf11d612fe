// The framed 25 ms tick inset with its time axis, price lines and panels.
#pragma once

#include <cstdint>
#include <optional>

#include "marketdata/series.h"
#include "platform/win32.h"

namespace render {

void DrawTickInset(HDC dc, std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);
void DrawInsetTimeAxis(HDC dc, std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t priceBottom,
                       std::int32_t bottom, std::int32_t hi, std::int32_t lo);
void DrawTickLine(HDC dc, const RECT& rect, const marketdata::Sample* table, std::int32_t hi, std::int32_t lo, int pen);
int DrawTextBox(HDC dc, std::int32_t x, std::int32_t y, const char* text);

// The inset's lower panels.
void DrawVolumeBars(HDC dc, const RECT& panel, const marketdata::Sample* table, int pen);
void DrawSaturation(HDC dc, const RECT& panel, const marketdata::Sample* table, int pen);

// Where the inset and its parts lie for a picture's left, top and bottom edges
// under the current MainScale. Every coordinate saturates at the int32 range.
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
// Empty when MainScale has no positive span (no main chart has set it yet).
std::optional<InsetGeometry> ComputeInsetGeometry(std::int32_t left, std::int32_t top, std::int32_t bottom);

// The price lines' value range: one unit beyond the extremes of SpyTicks and
// EminiTicks, so hi > lo always; 1 and -1 when both tables are absent.
void InsetPriceRange(std::int32_t& hi, std::int32_t& lo);

}  // namespace render
