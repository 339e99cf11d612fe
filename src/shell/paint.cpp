// WM_PAINT: the whole chart is composed off screen into the back buffer and
// copied to the chart area in one transfer, so the screen never shows a
// half-drawn chart.
#include "shell/paint.h"

#include <cstdint>

#include "marketdata/broadcast.h"
#include "marketdata/labels.h"
#include "marketdata/ribbon.h"
#include "platform/saturate.h"
#include "render/main_chart.h"
#include "render/ribbon.h"
#include "render/tick_inset.h"

namespace shell {

namespace {

// A paint that can't draw still ends, so the window stops asking for it.
void EndPaintWithoutDrawing(HWND dialog) {
    PAINTSTRUCT paint;
    if (BeginPaint(dialog, &paint) != nullptr)
        EndPaint(dialog, &paint);
}

}  // namespace

void PaintChart(HWND dialog, ChartWindowState& state) {
    RECT chartRect{};
    if (!GetChartRect(dialog, chartRect)) {
        EndPaintWithoutDrawing(dialog);
        return;
    }
    const LONG width = SaturateToInt32(std::int64_t{chartRect.right} - chartRect.left);
    const LONG height = SaturateToInt32(std::int64_t{chartRect.bottom} - chartRect.top);
    const RECT picture{0, 0, width, height};

    HDC windowDC = GetDC(dialog);
    if (windowDC == nullptr) {
        EndPaintWithoutDrawing(dialog);
        return;
    }
    if (state.backBuffer == nullptr)
        state.backBuffer = CreateCompatibleBitmap(windowDC, width, height);
    HDC memoryDC = CreateCompatibleDC(windowDC);
    ReleaseDC(dialog, windowDC);
    if (state.backBuffer == nullptr || memoryDC == nullptr) {
        if (memoryDC != nullptr)
            DeleteDC(memoryDC);
        EndPaintWithoutDrawing(dialog);
        return;
    }
    HGDIOBJ kept = SelectObject(memoryDC, state.backBuffer);

    PAINTSTRUCT paint;
    HDC paintDC = BeginPaint(dialog, &paint);
    // A panel that fails abandons this paint only: the window keeps the
    // pixels it had, and the back buffer survives for the next paint.
    try {
        // Each paint looks at the files the panels draw from; only a changed one is read.
        const marketdata::LabelTable& labels = state.files.Labels();
        const marketdata::RibbonTable& ribbon = state.files.Ribbon();
        const marketdata::BroadcastTable& broadcast = state.files.Broadcast();
        const render::ChartData data{state.files.series(), ribbon, broadcast, labels};
        exporting::ExportPaint& exportPaint = state.exportPaint;
        render::MapAreaList* areas = exportPaint.collecting ? &exportPaint.areas : nullptr;
        if (ComposeChart(memoryDC, picture, state.resources, data, areas) &&
            BitBlt(paintDC, chartRect.left, chartRect.top, width, height, memoryDC, 0, 0, SRCCOPY)) {
            exportPaint.painted = exportPaint.collecting;
        }
    } catch (...) {
    }
    if (kept != nullptr)
        SelectObject(memoryDC, kept);
    EndPaint(dialog, &paint);
    DeleteDC(memoryDC);
}

bool ComposeChart(HDC dc, const RECT& picture, const render::DrawingResources& resources,
                  const render::ChartData& data, render::MapAreaList* areas) {
    using render::Color;
    HGDIOBJ keptFont = SelectObject(dc, resources.Font(0));
    HGDIOBJ keptPen = SelectObject(dc, resources.Pen(Color::Grey));
    HGDIOBJ keptBrush = SelectObject(dc, resources.Brush(Color::Grey));

    FillRect(dc, &picture, resources.Brush(Color::White));
    SIZE extent{0, 0};
    GetTextExtentPointA(dc, "-8%", 3, &extent);
    const int marginWidth = extent.cx;
    const RECT plotRect{SaturateToInt32(std::int64_t{picture.left} + marginWidth), picture.top,
                        SaturateToInt32(std::int64_t{picture.right} - 1), picture.bottom};

    // The order is fixed: the main chart sets the scale the others place themselves by.
    const render::PanelContext ctx{dc, resources, data, areas};
    const render::MainScaleValues scale = render::DrawMainChart(ctx, plotRect, marginWidth);
    render::DrawTickInset(ctx, scale, picture.left, picture.top, picture.right, picture.bottom);
    render::DrawRibbon(ctx, scale, plotRect);

    if (keptPen != nullptr)
        SelectObject(dc, keptPen);
    if (keptBrush != nullptr)
        SelectObject(dc, keptBrush);
    if (keptFont != nullptr)
        SelectObject(dc, keptFont);
    return true;
}

}  // namespace shell
