// What the shell offers the rest of the program: the chart area of the main
// dialog, and its invalidation.
#pragma once

#include "platform/win32.h"

namespace shell {

constexpr int ChartPlaceholderId = 2990;
constexpr int MainDialogResource = 110;

// The placeholder's rectangle in the dialog's client coordinates.
bool GetChartRect(HWND dialog, RECT& chartRect);
void InvalidateChart(HWND dialog);

}  // namespace shell
