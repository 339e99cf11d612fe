// WM_PAINT: the whole chart is composed off screen into the BackBuffer and
// copied to the chart area in one transfer, so the screen never shows a
// half-drawn chart.
#include "shell/paint.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "platform/saturate.h"
#include "render/labels.h"
#include "render/main_chart.h"
#include "render/resources.h"
#include "render/ribbon.h"
#include "render/tick_inset.h"
#include "shell/chart_window.h"

namespace shell {

HBITMAP BackBuffer = nullptr;
int MarginWidth = 0;
RECT PlotRect{};

namespace {

// A paint that can't draw still ends, so the window stops asking for it.
void EndPaintWithoutDrawing(HWND dialog) {
    PAINTSTRUCT paint;
    if (BeginPaint(dialog, &paint) != nullptr)
        EndPaint(dialog, &paint);
}

}  // namespace

void DeleteBackBuffer() {
    if (BackBuffer != nullptr) {
        DeleteObject(BackBuffer);
        BackBuffer = nullptr;
    }
}

void PaintChart(HWND dialog) {
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
    if (BackBuffer == nullptr)
        BackBuffer = CreateCompatibleBitmap(windowDC, width, height);
    HDC memoryDC = CreateCompatibleDC(windowDC);
    ReleaseDC(dialog, windowDC);
    if (BackBuffer == nullptr || memoryDC == nullptr) {
        if (memoryDC != nullptr)
            DeleteDC(memoryDC);
        EndPaintWithoutDrawing(dialog);
        return;
    }
    HGDIOBJ kept = SelectObject(memoryDC, BackBuffer);

    PAINTSTRUCT paint;
    HDC paintDC = BeginPaint(dialog, &paint);
    // A panel that fails abandons this paint only: the window keeps the
    // pixels it had, and the BackBuffer survives for the next paint.
    try {
        if (ComposeChart(memoryDC, picture)) {
            BitBlt(paintDC, chartRect.left, chartRect.top, width, height, memoryDC, 0, 0, SRCCOPY);
        }
    } catch (...) {
    }
    if (kept != nullptr)
        SelectObject(memoryDC, kept);
    EndPaint(dialog, &paint);
    DeleteDC(memoryDC);
}

bool ComposeChart(HDC dc, const RECT& picture) {
    render::LabelRects.count = 0;
    HGDIOBJ keptFont = SelectObject(dc, render::Font(0));
    HGDIOBJ keptPen = SelectObject(dc, render::Pen(14));
    HGDIOBJ keptBrush = SelectObject(dc, render::Brush(14));

    FillRect(dc, &picture, render::Brush(0));
    SIZE extent{0, 0};
    GetTextExtentPointA(dc, "-8%", 3, &extent);
    MarginWidth = extent.cx;
    PlotRect = RECT{SaturateToInt32(std::int64_t{picture.left} + MarginWidth), picture.top,
                    SaturateToInt32(std::int64_t{picture.right} - 1), picture.bottom};

    // The order is fixed: the main chart sets the scale the others place themselves by.
    render::DrawMainChart(dc, PlotRect, MarginWidth);
    render::DrawTickInset(dc, picture.left, picture.top, picture.right, picture.bottom);
    render::DrawRibbon(dc, PlotRect);

    if (keptPen != nullptr)
        SelectObject(dc, keptPen);
    if (keptBrush != nullptr)
        SelectObject(dc, keptBrush);
    if (keptFont != nullptr)
        SelectObject(dc, keptFont);
    return true;
}

}  // namespace shell
