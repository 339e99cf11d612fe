// The program's entry, the main dialog's procedure and the chart area.
#include "shell/main_dialog.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

#include "export/image_map.h"
#include "marketdata/series.h"
#include "platform/saturate.h"
#include "platform/user_resources.h"
#include "render/resources.h"
#include "shell/chart_window.h"
#include "shell/dialog_template.h"
#include "shell/paint.h"
#include "shell/placement.h"

namespace shell {

ChartOriginPoint ChartOrigin;

namespace {

std::array<char, 64> TitleBuffer{};

INT_PTR InitDialog(HWND dialog) {
    RECT chartRect{};
    if (!GetChartRect(dialog, chartRect))
        return FALSE;
    marketdata::LoadAllSeries();
    ChartOrigin = ChartOriginPoint{chartRect.left, chartRect.top};
    render::CreateDrawingResources();
    // Restoring may resize the dialog, and its WM_SIZE needs ChartOrigin.
    RestorePlacement(dialog, PlacementKeyPath, PlacementValueName);
    ShowWindow(GetDlgItem(dialog, ChartPlaceholderId), SW_HIDE);
    ShowWindow(dialog, SW_SHOWNORMAL);
    return TRUE;
}

void Resize(HWND dialog, LPARAM lParam) {
    const int width = LOWORD(static_cast<std::uintptr_t>(lParam));
    const int height = HIWORD(static_cast<std::uintptr_t>(lParam));
    DeleteBackBuffer();
    HWND placeholder = GetDlgItem(dialog, ChartPlaceholderId);
    if (placeholder == nullptr)
        return;
    // Minimised, the client is 0 x 0 and these are negative.
    const int chartWidth = SaturateToInt32(std::int64_t{width} - ChartOrigin.left);
    const int chartHeight = SaturateToInt32(std::int64_t{height} - ChartOrigin.top);
    SetWindowPos(placeholder, nullptr, 0, 0, chartWidth, chartHeight, SWP_NOZORDER | SWP_NOMOVE);
    wsprintfA(TitleBuffer.data(), "Tarvo Draven Holt wd %d ht %d", chartWidth, chartHeight);
    SetWindowTextA(dialog, TitleBuffer.data());
    InvalidateChart(dialog);
}

void Destroy(HWND dialog) {
    SavePlacement(dialog, PlacementKeyPath, PlacementValueName);
    DeleteBackBuffer();
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

INT_PTR MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return InitDialog(dialog);
        case WM_SIZE:
            Resize(dialog, lParam);
            return TRUE;
        case WM_PAINT:
            PaintChart(dialog);
            return TRUE;
        case WM_RBUTTONDOWN:
            exporting::ExportChart(dialog);
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
            Destroy(dialog);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace shell

const void* FindProgramResource(LPCSTR name, DWORD* size) {
    const bool mainDialog = IS_INTRESOURCE(name)
                                ? LOWORD(reinterpret_cast<std::uintptr_t>(name)) == shell::MainDialogResource
                                : name != nullptr && std::strcmp(name, "#110") == 0;
    if (!mainDialog)
        return nullptr;
    const auto bytes = shell::MainDialogTemplate();
    if (size != nullptr)
        *size = static_cast<DWORD>(bytes.size());
    return bytes.data();
}

int WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand) {
    HWND dialog =
        CreateDialogParamA(instance, MAKEINTRESOURCEA(shell::MainDialogResource), nullptr, shell::MainDialogProc, 0);
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
