// The chart window's state, owned by the program's entry and handed to the
// dialog through CreateDialogIndirectParamA's parameter (kept with DWLP_USER).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "export/export_chart.h"
#include "marketdata/chart_files.h"
#include "platform/win32.h"
#include "render/panel.h"
#include "render/resources.h"

namespace shell {

constexpr int ChartPlaceholderId = 2990;

// Where the placement is remembered.
constexpr const char* PlacementKeyPath = "SOFTWARE\\Tarvo\\Dravenholt";
constexpr const char* PlacementValueName = "Main_WndPl";

// The chart area's left and top as initialisation found them; (0, 0) before.
struct ChartOriginPoint {
    std::int32_t left = 0;
    std::int32_t top = 0;
};

struct ChartWindowState {
    marketdata::ChartFiles files;         // series at start and export, the rest at each paint
    render::DrawingResources resources;   // made at initialisation
    HBITMAP backBuffer = nullptr;         // ChartRect's size when made; none after a resize
    ChartOriginPoint chartOrigin;
    std::array<char, 64> titleBuffer{};
    // Filled in by the export's own paint.
    exporting::ExportPaint exportPaint;
    // Told of every export's result.
    std::function<void(const exporting::ExportResult&)> exported;

    ChartWindowState() = default;
    ChartWindowState(const ChartWindowState&) = delete;
    ChartWindowState& operator=(const ChartWindowState&) = delete;
    ~ChartWindowState() { DeleteBackBuffer(); }

    void DeleteBackBuffer() {
        if (backBuffer != nullptr) {
            DeleteObject(backBuffer);
            backBuffer = nullptr;
        }
    }
};

// The placeholder's rectangle in the dialog's client coordinates.
bool GetChartRect(HWND dialog, RECT& chartRect);
void InvalidateChart(HWND dialog);

}  // namespace shell
