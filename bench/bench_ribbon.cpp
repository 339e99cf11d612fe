// The ribbon with its broadcast strip at the dialog template's picture size,
// reading its files from the sample data as every paint does.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "marketdata/ribbon.h"
#include "marketdata/series.h"
#include "render/main_chart.h"
#include "render/resources.h"
#include "render/ribbon.h"

namespace {

constexpr int PictureWidth = 1801;
constexpr int PictureHeight = 977;

struct Setup {
    HDC dc = nullptr;
    RECT plotRect{};
};

// Once per process: resources, the series tables and the main chart's scale.
const Setup& Prepare() {
    static const Setup setup = [] {
        if (chdir(DH_SOURCE_DIR "/sample") != 0) {
            std::perror("chdir " DH_SOURCE_DIR "/sample");
            std::exit(1);
        }
        Setup s;
        marketdata::LoadAllSeries();
        render::CreateDrawingResources();
        s.dc = CreateCompatibleDC(nullptr);
        SelectObject(s.dc, CreateCompatibleBitmap(s.dc, PictureWidth, PictureHeight));
        SelectObject(s.dc, render::Font(0));
        SIZE margin{0, 0};
        GetTextExtentPointA(s.dc, "-8%", 3, &margin);
        s.plotRect = RECT{margin.cx, 0, PictureWidth - 1, PictureHeight};
        render::DrawMainChart(s.dc, s.plotRect, margin.cx);  // sets MainScale
        return s;
    }();
    return setup;
}

void BM_DrawRibbonWithStrip(benchmark::State& state) {
    const Setup& s = Prepare();
    for (auto _ : state) {
        render::DrawRibbon(s.dc, s.plotRect);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DrawRibbonWithStrip)->Unit(benchmark::kMicrosecond)->Repetitions(10)->ReportAggregatesOnly(true);

// The share of the above that is reading the ribbon's files.
void BM_LoadRibbonOnly(benchmark::State& state) {
    Prepare();
    for (auto _ : state)
        benchmark::DoNotOptimize(marketdata::LoadRibbon());
}
BENCHMARK(BM_LoadRibbonOnly)->Unit(benchmark::kMicrosecond)->Repetitions(10)->ReportAggregatesOnly(true);

}  // namespace
