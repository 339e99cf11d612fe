// The main dialog's procedure and the state it keeps.
#pragma once

#include <cstdint>

#include "platform/win32.h"

namespace shell {

// The chart area's left and top as initialisation found them; (0, 0) before.
struct ChartOriginPoint {
    std::int32_t left = 0;
    std::int32_t top = 0;
};
extern ChartOriginPoint ChartOrigin;

// Where the placement is remembered.
constexpr const char* PlacementKeyPath = "SOFTWARE\\Tarvo\\Dravenholt";
constexpr const char* PlacementValueName = "Main_WndPl";

INT_PTR MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace shell
