// The whole program on the sample data at the template's size (a 1801 x 977
// picture): one paint with the files its panels read, the composition alone,
// the right-click export in process (reload, paint, capture, encode, write),
// and `dravenholt --export` as a process, with its peak resident memory.
//
// Runs in a scratch folder whose Data links to the sample data (the working
// directory's Data when there is one, else the source tree's), so the
// exported files never land beside the sample.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "bench/bench_support.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

const benchsupport::ScratchFolder& Scratch() {
    static const benchsupport::ScratchFolder folder;
    return folder;
}

// The main dialog on the sample data at the template's size, painted once.
std::unique_ptr<benchsupport::ChartWindow> StartProgram(benchmark::State& state) {
    if (!Scratch().Enter()) {
        state.SkipWithError("no sample data");
        return nullptr;
    }
    auto window = std::make_unique<benchsupport::ChartWindow>();
    if (!window->Ready()) {
        state.SkipWithError("the program did not start on the sample data");
        return nullptr;
    }
    return window;
}

// Dialog creation (series loading, drawing resources, placement, first show)
// and the first paint.
void BM_StartToFirstPaint(benchmark::State& state) {
    if (!Scratch().Enter()) {
        state.SkipWithError("no sample data");
        return;
    }
    for (auto _ : state) {
        auto window = std::make_unique<benchsupport::ChartWindow>();
        const bool ready = window->Ready();
        state.PauseTiming();  // not the window's destruction
        window.reset();
        state.ResumeTiming();
        if (!ready) {
            state.SkipWithError("the program did not start on the sample data");
            break;
        }
    }
}
BENCHMARK(BM_StartToFirstPaint)->Unit(benchmark::kMillisecond);

// WM_PAINT as the window gets it: composition (with the labels, ribbon and
// broadcast files read again) and the copy to the window.
void BM_PaintAtTemplateSize(benchmark::State& state) {
    std::unique_ptr<benchsupport::ChartWindow> window = StartProgram(state);
    if (!window)
        return;
    for (auto _ : state)
        window->Repaint();
}
BENCHMARK(BM_PaintAtTemplateSize)->Unit(benchmark::kMillisecond);

// One right click: the series read again, the forced paint collecting the
// image map, the capture, colour reduction, GIF encoding and both files.
void BM_ExportAtTemplateSize(benchmark::State& state) {
    std::unique_ptr<benchsupport::ChartWindow> window = StartProgram(state);
    if (!window)
        return;
    for (auto _ : state)
        window->RightClick();
    std::error_code ec;
    state.counters["gif_bytes"] = static_cast<double>(fs::file_size(Scratch().path() / "Dravenholt.gif", ec));
}
BENCHMARK(BM_ExportAtTemplateSize)->Unit(benchmark::kMillisecond);

fs::path ProgramPath() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return self.parent_path().parent_path() / "dravenholt";  // <build>/bench/x -> <build>/dravenholt
}

// `dravenholt --export` from start to exit, through GNU time (package
// `time`): peak_rss_MiB is the program's maximum resident set as time reports
// it, and child_cpu_ms its user and system time per run (this process only
// waits). Spawned from here directly, the child's peak would count this
// process's own pages from before its exec; time is small.
void BM_ExportProcess(benchmark::State& state) {
    const std::string program = ProgramPath().string();
    if (::access(program.c_str(), X_OK) != 0 || !Scratch().Enter()) {
        state.SkipWithError("dravenholt or the sample data is missing");
        return;
    }
    const bool haveTime = ::access("/usr/bin/time", X_OK) == 0;
    const std::string report = (Scratch().path() / "peak_rss.txt").string();
    long peakKiB = 0;
    double cpuSeconds = 0;
    for (auto _ : state) {
        std::vector<char*> argv;
        if (haveTime) {
            for (const char* a : {"/usr/bin/time", "-f", "%M", "-o"})
                argv.push_back(const_cast<char*>(a));
            argv.push_back(const_cast<char*>(report.c_str()));
        }
        argv.push_back(const_cast<char*>(program.c_str()));
        argv.push_back(const_cast<char*>("--export"));
        argv.push_back(nullptr);
        pid_t pid = -1;
        if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("could not start dravenholt");
            return;
        }
        int status = 0;
        rusage usage{};
        if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("dravenholt --export failed");
            return;
        }
        cpuSeconds += static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
        if (haveTime) {
            state.PauseTiming();
            if (std::FILE* f = std::fopen(report.c_str(), "r")) {
                long kib = 0;
                if (std::fscanf(f, "%ld", &kib) == 1)
                    peakKiB = std::max(peakKiB, kib);
                std::fclose(f);
            }
            state.ResumeTiming();
        }
    }
    if (haveTime)
        state.counters["peak_rss_MiB"] = static_cast<double>(peakKiB) / 1024.0;
    else
        state.SetLabel("no /usr/bin/time: peak memory not measured");
    state.counters["child_cpu_ms"] = benchmark::Counter(1e3 * cpuSeconds, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ExportProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
