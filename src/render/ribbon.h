// The ribbon heat map and, below it, the broadcast timeline strip.
#pragma once

#include <cstdint>

#include "platform/win32.h"

namespace render {

void DrawRibbon(HDC dc, RECT plotRect);
void DrawBroadcastStrip(HDC dc, std::int32_t heatLeft, std::int32_t rightLimit, std::int32_t stripTop,
                        std::int32_t rowHeight);

}  // namespace render
