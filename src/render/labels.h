// Annotation labels over the main chart: text, arrows, dots and connectors.
#pragma once

#include <cstdint>

#include "render/panel.h"

namespace render {

// Draws every label of ctx.data.labels on the main chart's rectangle r with
// its scale; labels with a link add their text's rectangle as an area.
void DrawAnnotationLabels(const PanelContext& ctx, const RECT& r, std::int32_t scaleTop, std::int32_t scaleBottom);

}  // namespace render
