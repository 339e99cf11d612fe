// The main window's placement, remembered in the registry between runs.
#pragma once

#include "platform/win32.h"

namespace shell {

// 1 when the value was written, 0 otherwise.
int SavePlacement(HWND window, const char* keyPath, const char* valueName);
// 1 when a stored placement was applied, 0 otherwise.
int RestorePlacement(HWND window, const char* keyPath, const char* valueName);

}  // namespace shell
