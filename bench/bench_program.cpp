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
#include <string>
#include <system_error>
#include <vector>

#include "export/image_map.h"
#include "marketdata/series.h"
#include "platform/user_internal.h"
#include "render/resources.h"
#include "shell/chart_window.h"
#include "shell/main_dialog.h"
#include "shell/paint.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr int PictureWidth = 1801;
constexpr int PictureHeight = 977;

// The scratch folder, made once per process and removed at exit.
class ScratchFolder {
public:
    ScratchFolder() {
        std::error_code ec;
        fs::path data = fs::current_path(ec) / "Data";
        if (!fs::is_directory(data / ".", ec))
            data = fs::path(DH_SOURCE_DIR) / "sample" / "Data";
        std::string pattern = (fs::temp_directory_path(ec) / "dh-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            return;
        path_ = pattern;
        fs::create_directory_symlink(fs::absolute(data, ec), path_ / "Data", ec);
        ok_ = !ec && fs::is_regular_file(path_ / "Data" / "eSPY.txt", ec);
    }
    ~ScratchFolder() {
        std::error_code ec;
        if (!path_.empty())
            fs::remove_all(path_, ec);  // removes the link, not the sample
    }
    bool Enter() const { return ok_ && ::chdir(path_.c_str()) == 0; }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
    bool ok_ = false;
};

const ScratchFolder& Scratch() {
    static const ScratchFolder folder;
    return folder;
}

void Restart() {
    platform::ResetUserState();
    shell::DeleteBackBuffer();
    platform::UseHeadlessBackend({});
}

// The main dialog at the template's size, painted once.
HWND StartProgram(benchmark::State& state) {
    if (!Scratch().Enter()) {
        state.SkipWithError("no sample data");
        return nullptr;
    }
    Restart();
    HWND dialog =
        CreateDialogParamA(nullptr, MAKEINTRESOURCEA(shell::MainDialogResource), nullptr, shell::MainDialogProc, 0);
    if (dialog == nullptr || !marketdata::SpySeries) {
        state.SkipWithError("the program did not start on the sample data");
        return nullptr;
    }
    UpdateWindow(dialog);
    RECT chart{};
    shell::GetChartRect(dialog, chart);
    if (chart.right - chart.left != PictureWidth || chart.bottom - chart.top != PictureHeight) {
        state.SkipWithError("the chart area is not the template's size");
        return nullptr;
    }
    return dialog;
}

// WM_PAINT as the window gets it: composition (with the labels, ribbon and
// broadcast files read again) and the copy to the window.
void BM_PaintAtTemplateSize(benchmark::State& state) {
    HWND dialog = StartProgram(state);
    if (dialog == nullptr)
        return;
    for (auto _ : state) {
        shell::InvalidateChart(dialog);
        UpdateWindow(dialog);
    }
    Restart();
}
BENCHMARK(BM_PaintAtTemplateSize)->Unit(benchmark::kMillisecond);

// The composition alone, into a bitmap of the picture's size.
void BM_ComposeChart(benchmark::State& state) {
    if (StartProgram(state) == nullptr)
        return;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, PictureWidth, PictureHeight);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    const RECT picture{0, 0, PictureWidth, PictureHeight};
    for (auto _ : state) {
        benchmark::DoNotOptimize(shell::ComposeChart(dc, picture));
        benchmark::ClobberMemory();
    }
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    Restart();
}
BENCHMARK(BM_ComposeChart)->Unit(benchmark::kMillisecond);

// One right click: the series read again, the forced paint writing the
// image map, the capture at 8 bits, the GIF encoding and both files written.
void BM_ExportAtTemplateSize(benchmark::State& state) {
    HWND dialog = StartProgram(state);
    if (dialog == nullptr)
        return;
    for (auto _ : state)
        exporting::ExportChart(dialog);
    std::error_code ec;
    state.counters["gif_bytes"] = static_cast<double>(fs::file_size(Scratch().path() / "Dravenholt.gif", ec));
    Restart();
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
