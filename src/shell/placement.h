// The main window's placement, remembered in the registry between runs.
#pragma once

#include "platform/win32.h"

namespace shell {

// The smallest window a restored placement makes: room to see a chart.
constexpr int MinimumPlacementWidth = 200;
constexpr int MinimumPlacementHeight = 150;

// A saved rectangle put wholly on the work area: moved, keeping its size,
// shrunk only where bigger than the work area, and never below `least`.
RECT FitToWorkArea(const RECT& saved, const RECT& work,
                   SIZE least = SIZE{MinimumPlacementWidth, MinimumPlacementHeight});

// The placement is the user's own: it is kept under HKEY_CURRENT_USER, which
// every user may write. One stored under HKEY_LOCAL_MACHINE by earlier
// versions is read while the user has none.
// 1 when the value was written, 0 otherwise.
int SavePlacement(HWND window, const char* keyPath, const char* valueName);
// 1 when a stored placement was applied, 0 otherwise.
int RestorePlacement(HWND window, const char* keyPath, const char* valueName);

// Moves a window that reaches past the work area onto it, shrinking it
// where it is larger: a window opened at the template's size on a smaller
// screen would otherwise show only part of its chart.
void KeepOnWorkArea(HWND window);

}  // namespace shell
