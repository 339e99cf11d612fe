// The program's entry, the main dialog's procedure and the chart area.
#include "shell/main_dialog.h"

#include <array>
#include <utility>

#include "export/export_chart.h"
#include "marketdata/series.h"
#include "platform/saturate.h"
#include "render/resources.h"
#include "shell/chart_window.h"
#include "shell/dialog_template.h"
#include "shell/paint.h"
#include "shell/placement.h"

namespace shell {

namespace {

// The state WinMain handed over; none before WM_INITDIALOG has kept it
// (a WM_SIZE of the window's creation can come first).
ChartWindowState* StateOf(HWND dialog) {
    return reinterpret_cast<ChartWindowState*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

// The chart area fills the client area to the right and below its origin.
void Resize(HWND dialog, ChartWindowState& state, int width, int height) {
    state.DeleteBackBuffer();
    HWND placeholder = GetDlgItem(dialog, ChartPlaceholderId);
    if (placeholder == nullptr)
        return;
    // Minimised, the client is 0 x 0 and these are negative.
    const int chartWidth = SaturateToInt32(std::int64_t{width} - state.chartOrigin.left);
    const int chartHeight = SaturateToInt32(std::int64_t{height} - state.chartOrigin.top);
    SetWindowPos(placeholder, nullptr, 0, 0, chartWidth, chartHeight, SWP_NOZORDER | SWP_NOMOVE);
    wsprintfA(state.titleBuffer.data(), "Tarvo Draven Holt wd %d ht %d", chartWidth, chartHeight);
    SetWindowTextA(dialog, state.titleBuffer.data());
    InvalidateChart(dialog);
}

INT_PTR InitDialog(HWND dialog, ChartWindowState& state) {
    RECT chartRect{};
    if (!GetChartRect(dialog, chartRect))
        return FALSE;
    state.files.ReloadSeries();
    state.chartOrigin = ChartOriginPoint{chartRect.left, chartRect.top};
    state.resources = render::DrawingResources::Create();
    // Restoring may resize the dialog, and its WM_SIZE needs the origin.
    if (!RestorePlacement(dialog, PlacementKeyPath, PlacementValueName))
        KeepOnWorkArea(dialog);
    // The window may not have the template's size (a screen smaller than the
    // template, dialog units larger than ours), and the WM_SIZE of its
    // creation came before the state was kept: the chart follows the client.
    RECT client{};
    if (GetClientRect(dialog, &client))
        Resize(dialog, state, client.right - client.left, client.bottom - client.top);
    ShowWindow(GetDlgItem(dialog, ChartPlaceholderId), SW_HIDE);
    ShowWindow(dialog, SW_SHOWNORMAL);
    return TRUE;
}

void Export(HWND dialog, ChartWindowState& state) {
    RECT chartRect{};
    GetChartRect(dialog, chartRect);
    const std::vector<COLORREF> keep = render::ColorTableFills();
    const exporting::ExportRequest request{dialog, chartRect, GetDlgItem(dialog, ChartPlaceholderId), keep};
    const exporting::ExportResult result = exporting::ExportChart(request, state.files, state.exportPaint);
    if (state.exported)
        state.exported(result);
}

void Destroy(HWND dialog, ChartWindowState& state) {
    SavePlacement(dialog, PlacementKeyPath, PlacementValueName);
    state.DeleteBackBuffer();
    PostQuitMessage(0);
}

}  // namespace

bool GetChartRect(HWND dialog, RECT& chartRect) {
    HWND placeholder = GetDlgItem(dialog, ChartPlaceholderId);
    if (placeholder == nullptr)
        return false;
    GetWindowRect(placeholder, &chartRect);
    std::array<POINT, 2> corners{POINT{chartRect.left, chartRect.top}, POINT{chartRect.right, chartRect.bottom}};
    MapWindowPoints(nullptr, dialog, corners.data(), 2);
    chartRect = RECT{corners[0].x, corners[0].y, corners[1].x, corners[1].y};
    return true;
}

void InvalidateChart(HWND dialog) {
    RECT chartRect{};
    if (GetChartRect(dialog, chartRect))
        InvalidateRect(dialog, &chartRect, FALSE);
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* state = reinterpret_cast<ChartWindowState*>(lParam);
        if (state == nullptr)
            return FALSE;
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        return InitDialog(dialog, *state);
    }
    ChartWindowState* state = StateOf(dialog);
    if (state == nullptr)
        return FALSE;
    switch (message) {
        case WM_SIZE:
            Resize(dialog, *state, LOWORD(static_cast<std::uintptr_t>(lParam)),
                   HIWORD(static_cast<std::uintptr_t>(lParam)));
            return TRUE;
        case WM_PAINT:
            PaintChart(dialog, *state);
            return TRUE;
        case WM_RBUTTONDOWN:
            Export(dialog, *state);
            return TRUE;
        case WM_LBUTTONDOWN:
        case WM_TIMER:
            return TRUE;
        case WM_COMMAND: {
            const WORD id = LOWORD(wParam);
            if (id == IDCANCEL || id == IDCLOSE) {
                DestroyWindow(dialog);
                return TRUE;
            }
            return FALSE;
        }
        case WM_DESTROY:
            Destroy(dialog, *state);
            return TRUE;
        default:
            return FALSE;
    }
}

int RunChartWindow(HINSTANCE instance, std::function<void(const exporting::ExportResult&)> exported) {
    ChartWindowState state;
    state.exported = std::move(exported);
    state.files.StartReadingPaintFiles();
    HWND dialog = CreateDialogIndirectParamA(instance, MainDialogTemplate(), nullptr, MainDialogProc,
                                             reinterpret_cast<LPARAM>(&state));
    if (dialog == nullptr)
        return 0;
    ShowWindow(dialog, SW_SHOWNORMAL);
    MSG msg{};
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageA(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace shell

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand) {
    return shell::RunChartWindow(instance);
}
