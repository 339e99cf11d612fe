// The shell on the headless backend, from the working directory holding
// Data\ (run from sample/): start-up to the end of the first paint, and one
// paint (composition and copy) at the template's size.
#include <benchmark/benchmark.h>

#include "platform/user_internal.h"
#include "shell/chart_window.h"
#include "shell/main_dialog.h"
#include "shell/paint.h"

namespace {

HWND CreateMainDialog() {
    return CreateDialogParamA(nullptr, MAKEINTRESOURCEA(shell::MainDialogResource), nullptr, shell::MainDialogProc, 0);
}

void Restart() {
    platform::ResetUserState();
    shell::DeleteBackBuffer();
    platform::UseHeadlessBackend({});
}

// Dialog creation (series loading, drawing resources, placement, first show)
// and the first paint.
void BM_StartToFirstPaint(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        Restart();
        state.ResumeTiming();
        HWND dialog = CreateMainDialog();
        UpdateWindow(dialog);
        benchmark::DoNotOptimize(dialog);
    }
    Restart();
}
BENCHMARK(BM_StartToFirstPaint)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_OnePaintAtTemplateSize(benchmark::State& state) {
    Restart();
    HWND dialog = CreateMainDialog();
    UpdateWindow(dialog);
    for (auto _ : state) {
        shell::InvalidateChart(dialog);
        UpdateWindow(dialog);
    }
    Restart();
}
BENCHMARK(BM_OnePaintAtTemplateSize)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
