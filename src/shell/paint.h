// The double-buffered paint of the chart and its composition from the panels.
#pragma once

#include "platform/win32.h"

namespace shell {

// The off-screen picture, ChartRect's size when it was made; none after a resize.
extern HBITMAP BackBuffer;
// Width of "-8%" in font 0, measured at every composition.
extern int MarginWidth;
// The panels' rectangle: the picture less the left margin and the last column.
extern RECT PlotRect;

void PaintChart(HWND dialog);
bool ComposeChart(HDC dc, const RECT& picture);
// Deletes the BackBuffer, when there is one.
void DeleteBackBuffer();

}  // namespace shell
