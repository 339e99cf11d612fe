// The main window's placement, remembered in the registry between runs.
#pragma once

#include "platform/win32.h"

namespace shell {

// The smallest window a restored placement makes: room to see a chart.
constexpr int MinimumPlacementWidth = 200;
constexpr int MinimumPlacementHeight = 150;

// A saved rectangle put wholly on the work area: moved, keeping its size,
// shrunk only where bigger than the work area, and never below the minimum.
RECT FitToWorkArea(const RECT& saved, const RECT& work);

// 1 when the value was written, 0 otherwise.
int SavePlacement(HWND window, const char* keyPath, const char* valueName);
// 1 when a stored placement was applied, 0 otherwise.
int RestorePlacement(HWND window, const char* keyPath, const char* valueName);

}  // namespace shell
