// The ribbon heat map and, below it, the broadcast timeline strip.
#pragma once

#include <cstdint>

#include "platform/win32.h"
#include "render/panel.h"

namespace render {

// Where the ribbon's rows lie in picture coordinates.
struct RibbonGeometry {
    std::int32_t heatLeft = 0;    // x of second 0's column
    std::int32_t ribbonTop = 0;   // y of the level -6.20 %
    std::int32_t bandBottom = 0;  // y of the level -7.55 %
    std::int32_t rowHeight = 0;   // band height / row count, 0 when the band is empty
    std::int32_t stripTop = 0;    // just below the last row: the broadcast strip
};

RibbonGeometry ComputeRibbonGeometry(const RECT& plotRect, std::int32_t scaleTop, std::int32_t scaleBottom,
                                     std::uint32_t rowCount);
// Font index of the captions (and the row font) for a row height.
int RibbonRowFont(std::int32_t rowHeight);

// The rows of ctx.data.ribbon between two levels of the main chart's scale,
// then the broadcast strip below them; nothing without rows.
void DrawRibbon(const PanelContext& ctx, const MainScaleValues& scale, RECT plotRect);
void DrawBroadcastStrip(const PanelContext& ctx, std::int32_t heatLeft, std::int32_t rightLimit, std::int32_t stripTop,
                        std::int32_t rowHeight);

}  // namespace render
