// The framed 25 ms tick inset with its time axis, price lines and panels.
#pragma once

#include <cstdint>

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

}  // namespace render
