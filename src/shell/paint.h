// The double-buffered paint of the chart and its composition from the panels.
#pragma once

#include "platform/win32.h"
#include "render/panel.h"
#include "render/resources.h"
#include "shell/chart_window.h"

namespace shell {

// WM_PAINT: reads the paint's tables, composes the chart into the back
// buffer and copies it to the chart area in one transfer.
void PaintChart(HWND dialog, ChartWindowState& state);
// Composes the whole chart into `dc` over `picture`; the one place that
// orders the panels. Areas go to `areas` when it is not null.
bool ComposeChart(HDC dc, const RECT& picture, const render::DrawingResources& resources,
                  const render::ChartData& data, render::MapAreaList* areas);

}  // namespace shell
