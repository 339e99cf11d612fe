// The main dialog: its procedure, and the program's run from creation to the
// end of the message loop.
#pragma once

#include <functional>

#include "export/export_chart.h"
#include "platform/win32.h"

namespace shell {

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Creates the chart window, runs the message loop until WM_QUIT and gives
// the exit code (WM_QUIT's, 0). `exported` hears every export's result.
int RunChartWindow(HINSTANCE instance, std::function<void(const exporting::ExportResult&)> exported = {});

}  // namespace shell
