// The tick inset on the sample data at the dialog template's picture size,
// laid out by one main-chart pass, as a paint would.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>

#include "marketdata/series.h"
#include "render/main_chart.h"
#include "render/resources.h"
#include "render/tick_inset.h"

namespace {

constexpr int PictureWidth = 1801;
constexpr int PictureHeight = 977;

struct Picture {
    Picture() {
        if (chdir(DH_SOURCE_DIR "/sample") != 0)
            std::perror("chdir to the sample folder");
        marketdata::LoadAllSeries();
        render::CreateDrawingResources();
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateCompatibleBitmap(dc, PictureWidth, PictureHeight);
        SelectObject(dc, bitmap);
        const RECT all{0, 0, PictureWidth, PictureHeight};
        FillRect(dc, &all, render::Brush(0));
        // The main chart sets the scale the inset places itself by.
        SelectObject(dc, render::Font(0));
        SIZE margin{0, 0};
        GetTextExtentPointA(dc, "-8%", 3, &margin);
        render::DrawMainChart(dc, RECT{margin.cx, 0, PictureWidth - 1, PictureHeight}, margin.cx);
    }
    ~Picture() {
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
};

void BM_DrawTickInset(benchmark::State& state) {
    static Picture picture;
    for (auto _ : state)
        render::DrawTickInset(picture.dc, 0, 0, PictureWidth, PictureHeight);
    state.counters["scaleTop"] = render::MainScale.scaleTop;
    state.counters["scaleBottom"] = render::MainScale.scaleBottom;
}
BENCHMARK(BM_DrawTickInset)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);

}  // namespace
