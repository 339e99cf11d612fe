// The whole program at the template's size (a 1801 x 977 picture), on the
// sample data and on the same data as whole-day files: the start and first
// paint (every file read), a repaint with the files unchanged (none read),
// the right-click export in process, `dravenholt --export` as a process with
// its peak resident memory, and the floor for reading the whole day's files:
// `cat` piped into `wc -l`. bench/summary.py turns the medians into the
// ratios that matter.
//
// Runs in scratch folders whose Data links to the data, so exported files
// never land beside it.
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

enum class DataSet { Sample, WholeDay };

const benchsupport::ScratchFolder* Scratch(DataSet set) {
    if (set == DataSet::Sample) {
        static const benchsupport::ScratchFolder sample(fs::path(DH_SOURCE_DIR) / "sample" / "Data");
        return &sample;
    }
    static const benchsupport::WholeDayData wholeDay;
    if (!wholeDay.ok())
        return nullptr;
    static const benchsupport::ScratchFolder folder(wholeDay.data());
    return &folder;
}

bool Enter(benchmark::State& state, DataSet set) {
    const benchsupport::ScratchFolder* folder = Scratch(set);
    if (folder == nullptr || !folder->Enter()) {
        state.SkipWithError(set == DataSet::Sample ? "no sample data" : "the whole-day data could not be made");
        return false;
    }
    return true;
}

// The main dialog on the data set at the template's size, painted once.
std::unique_ptr<benchsupport::ChartWindow> StartProgram(benchmark::State& state, DataSet set) {
    if (!Enter(state, set))
        return nullptr;
    auto window = std::make_unique<benchsupport::ChartWindow>();
    if (!window->Ready()) {
        state.SkipWithError("the program did not start on the data");
        return nullptr;
    }
    return window;
}

// Dialog creation (series read, drawing resources, placement, first show)
// and the first paint (labels, ribbon and broadcast read): every data file
// read once, as at the program's start.
void BM_FirstPaint(benchmark::State& state, DataSet set) {
    if (!Enter(state, set))
        return;
    for (auto _ : state) {
        auto window = std::make_unique<benchsupport::ChartWindow>();
        const bool ready = window->Ready();
        state.PauseTiming();  // not the window's destruction
        window.reset();
        state.ResumeTiming();
        if (!ready) {
            state.SkipWithError("the program did not start on the data");
            break;
        }
    }
}
BENCHMARK_CAPTURE(BM_FirstPaint, sample, DataSet::Sample)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FirstPaint, whole_day, DataSet::WholeDay)->Unit(benchmark::kMillisecond);

// WM_PAINT with the files unchanged: each file's stamp looked at, none read;
// files_read counts the files read per repaint.
void BM_Repaint(benchmark::State& state, DataSet set) {
    std::unique_ptr<benchsupport::ChartWindow> window = StartProgram(state, set);
    if (!window)
        return;
    const std::uint64_t before = window->state.files.filesRead();
    for (auto _ : state)
        window->Repaint();
    state.counters["files_read"] = benchmark::Counter(
        static_cast<double>(window->state.files.filesRead() - before), benchmark::Counter::kAvgIterations);
}
BENCHMARK_CAPTURE(BM_Repaint, sample, DataSet::Sample)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Repaint, whole_day, DataSet::WholeDay)->Unit(benchmark::kMillisecond);

// One right click in the running program: the series looked at again, the
// forced paint collecting the image map, the capture, colour reduction, GIF
// encoding and both files.
void BM_Export(benchmark::State& state, DataSet set) {
    std::unique_ptr<benchsupport::ChartWindow> window = StartProgram(state, set);
    if (!window)
        return;
    for (auto _ : state)
        window->RightClick();
    std::error_code ec;
    state.counters["gif_bytes"] = static_cast<double>(fs::file_size(Scratch(set)->path() / "Dravenholt.gif", ec));
}
BENCHMARK_CAPTURE(BM_Export, sample, DataSet::Sample)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Export, whole_day, DataSet::WholeDay)->Unit(benchmark::kMillisecond);

fs::path ProgramPath() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return self.parent_path().parent_path() / "dravenholt";  // <build>/bench/x -> <build>/dravenholt
}

// Runs argv to its end; false unless it exits with status 0. The child's
// user and system time are added to `cpuSeconds`.
bool RunToEnd(std::vector<char*> argv, double& cpuSeconds) {
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return false;
    cpuSeconds += static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                  1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    return true;
}

// `dravenholt --export` from start to exit, through GNU time (package
// `time`): peak_rss_MiB is the program's maximum resident set as time reports
// it, and child_cpu_ms its user and system time per run (this process only
// waits). Spawned from here directly, the child's peak would count this
// process's own pages from before its exec; time is small.
void BM_ExportProcess(benchmark::State& state, DataSet set) {
    const std::string program = ProgramPath().string();
    if (::access(program.c_str(), X_OK) != 0) {
        state.SkipWithError("dravenholt is not built");
        return;
    }
    if (!Enter(state, set))
        return;
    const bool haveTime = ::access("/usr/bin/time", X_OK) == 0;
    const std::string report = (Scratch(set)->path() / "peak_rss.txt").string();
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
        if (!RunToEnd(argv, cpuSeconds)) {
            state.SkipWithError("dravenholt --export failed");
            return;
        }
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
BENCHMARK_CAPTURE(BM_ExportProcess, sample, DataSet::Sample)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ExportProcess, whole_day, DataSet::WholeDay)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor for anything that reads the whole day's files: every byte once,
// through a pipe, counting lines.
void BM_CatWcWholeDay(benchmark::State& state) {
    if (!Enter(state, DataSet::WholeDay))
        return;
    double cpuSeconds = 0;
    for (auto _ : state) {
        std::vector<char*> argv{const_cast<char*>("/bin/sh"), const_cast<char*>("-c"),
                                const_cast<char*>("cat Data/*.txt Data/Ribbon/* | wc -l >/dev/null")};
        if (!RunToEnd(argv, cpuSeconds)) {
            state.SkipWithError("cat | wc -l failed");
            return;
        }
    }
}
BENCHMARK(BM_CatWcWholeDay)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
