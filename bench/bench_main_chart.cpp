// The main chart with its annotation labels at the template's picture size,
// on the sample data: scale, axes, five series lines and the labels file read
// again, as every paint does.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>

#include "marketdata/series.h"
#include "platform/win32.h"
#include "render/labels.h"
#include "render/main_chart.h"
#include "render/resources.h"

namespace {

constexpr int PictureWidth = 1801;
constexpr int PictureHeight = 977;

void BM_DrawMainChart(benchmark::State& state) {
    if (::chdir(DH_SOURCE_DIR "/sample") != 0) {
        state.SkipWithError("no sample folder");
        return;
    }
    static const bool ready = [] {
        render::CreateDrawingResources();
        return true;
    }();
    (void)ready;
    marketdata::LoadAllSeries();
    if (!marketdata::SpySeries) {
        state.SkipWithError("sample data not found");
        return;
    }

    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, PictureWidth, PictureHeight);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    const RECT picture{0, 0, PictureWidth, PictureHeight};

    // The margin as the composition measures it.
    SelectObject(dc, render::Font(0));
    SIZE margin{0, 0};
    GetTextExtentPointA(dc, "-8%", 3, &margin);
    const RECT plot{picture.left + margin.cx, picture.top, picture.right - 1, picture.bottom};

    // Cleared once: drawing over an earlier chart costs the same as on white.
    FillRect(dc, &picture, render::Brush(0));
    for (auto _ : state) {
        render::LabelRects.count = 0;
        render::DrawMainChart(dc, plot, margin.cx);
        benchmark::ClobberMemory();
    }
    state.counters["labels"] = render::LabelRects.count;

    SelectObject(dc, previous);
    DeleteDC(dc);
    DeleteObject(bitmap);
}
BENCHMARK(BM_DrawMainChart)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);

}  // namespace
