// Text costs at the chart's typical size: one ten-character label drawn with
// an opaque clipped rectangle, and one measurement.
#include <benchmark/benchmark.h>

#include "platform/win32.h"
#include "render/resources.h"

namespace {

constexpr int kWidth = 1800;
constexpr int kHeight = 975;
constexpr char kLabel[] = "-1.25% 14:";  // ten characters

struct Canvas {
    Canvas() {
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateCompatibleBitmap(dc, kWidth, kHeight);
        oldBitmap = SelectObject(dc, bitmap);
        oldFont = SelectObject(dc, resources.Font(0));
        SetTextColor(dc, render::Ink(render::Color::White));
        SetBkColor(dc, render::Fill(render::Color::LightYellow));
        SetBkMode(dc, OPAQUE);
    }
    ~Canvas() {
        SelectObject(dc, oldFont);
        SelectObject(dc, oldBitmap);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    render::DrawingResources resources = render::DrawingResources::Create();
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ oldBitmap = nullptr;
    HGDIOBJ oldFont = nullptr;
};

void BM_ExtTextOutOpaqueClipped(benchmark::State& state) {
    Canvas canvas;
    SIZE size{};
    GetTextExtentPointA(canvas.dc, kLabel, 10, &size);
    const RECT rect{900, 480, 900 + size.cx + 4, 480 + size.cy};
    for (auto _ : state) {
        ExtTextOutA(canvas.dc, 902, 480, ETO_OPAQUE | ETO_CLIPPED, &rect, kLabel, 10, nullptr);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ExtTextOutOpaqueClipped)->Repetitions(9)->ReportAggregatesOnly(true);

void BM_GetTextExtentPoint(benchmark::State& state) {
    Canvas canvas;
    SIZE size{};
    for (auto _ : state) {
        GetTextExtentPointA(canvas.dc, kLabel, 10, &size);
        benchmark::DoNotOptimize(size);
    }
}
BENCHMARK(BM_GetTextExtentPoint)->Repetitions(9)->ReportAggregatesOnly(true);

}  // namespace
