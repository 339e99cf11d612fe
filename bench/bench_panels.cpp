// The panels on the sample data at the template's picture size, one by one,
// as a paint runs them: the main chart with its labels, the tick inset, the
// ribbon with the broadcast strip; and the reading of the paint's files.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "bench/bench_support.h"
#include "marketdata/broadcast.h"
#include "marketdata/labels.h"
#include "marketdata/ribbon.h"
#include "marketdata/series.h"
#include "render/main_chart.h"
#include "render/resources.h"
#include "render/ribbon.h"
#include "render/tick_inset.h"

namespace {

using benchsupport::PictureHeight;
using benchsupport::PictureWidth;

// Everything a paint draws from, made once per process.
struct Panels {
    Panels() {
        if (!folder.Enter())
            std::perror("no sample data");
        series = marketdata::LoadAllSeries();
        labels = marketdata::LoadLabels();
        ribbon = marketdata::LoadRibbon();
        broadcast = marketdata::LoadBroadcast();
        resources = render::DrawingResources::Create();
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateCompatibleBitmap(dc, PictureWidth, PictureHeight);
        SelectObject(dc, bitmap);
        const RECT all{0, 0, PictureWidth, PictureHeight};
        FillRect(dc, &all, resources.Brush(render::Color::White));
        SelectObject(dc, resources.Font(0));
        SIZE margin{0, 0};
        GetTextExtentPointA(dc, "-8%", 3, &margin);
        marginWidth = margin.cx;
        plot = RECT{margin.cx, 0, PictureWidth - 1, PictureHeight};
        scale = render::ScaleForSeries(series);
    }
    ~Panels() {
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    render::PanelContext Context() const { return render::PanelContext{dc, resources, data, nullptr}; }

    benchsupport::ScratchFolder folder;
    marketdata::SeriesTables series;
    marketdata::LabelTable labels;
    marketdata::RibbonTable ribbon;
    marketdata::BroadcastTable broadcast;
    render::ChartData data{series, ribbon, broadcast, labels};
    render::DrawingResources resources;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    int marginWidth = 0;
    RECT plot{};
    render::MainScaleValues scale;
};

Panels& Shared() {
    static Panels panels;
    return panels;
}

void BM_DrawMainChart(benchmark::State& state) {
    Panels& p = Shared();
    for (auto _ : state) {
        benchmark::DoNotOptimize(render::DrawMainChart(p.Context(), p.plot, p.marginWidth));
        benchmark::ClobberMemory();
    }
    state.counters["labels"] = static_cast<double>(p.labels.labels.size());
}
BENCHMARK(BM_DrawMainChart)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);

void BM_DrawTickInset(benchmark::State& state) {
    Panels& p = Shared();
    for (auto _ : state) {
        render::DrawTickInset(p.Context(), p.scale, 0, 0, PictureWidth, PictureHeight);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DrawTickInset)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);

void BM_DrawRibbonWithStrip(benchmark::State& state) {
    Panels& p = Shared();
    for (auto _ : state) {
        render::DrawRibbon(p.Context(), p.scale, p.plot);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DrawRibbonWithStrip)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);

// What every paint reads: the labels, the ribbon's files and the broadcast.
void BM_LoadPaintFiles(benchmark::State& state) {
    Shared();
    for (auto _ : state) {
        benchmark::DoNotOptimize(marketdata::LoadLabels());
        benchmark::DoNotOptimize(marketdata::LoadRibbon());
        benchmark::DoNotOptimize(marketdata::LoadBroadcast());
    }
}
BENCHMARK(BM_LoadPaintFiles)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);

}  // namespace
