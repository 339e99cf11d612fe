// Process entry. The program itself takes no arguments; the options here only
// choose the platform backend before the program's entry runs.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "export/export_chart.h"
#include "platform/backend.h"
#include "platform/whole_file.h"
#include "shell/chart_window.h"
#include "shell/dialog_template.h"
#include "shell/main_dialog.h"

namespace {

#ifdef _WIN32
#define DH_WINDOW_PLACE "on the desktop"
#else
#define DH_WINDOW_PLACE "on the X display"
#endif
constexpr const char* Usage =
    "usage: dravenholt                                 open the chart window " DH_WINDOW_PLACE "\n"
    "       dravenholt --export [--size WIDTHxHEIGHT]  write Dravenholt.gif and DravenholtSummary.js\n"
    "                                                  here without a display (size 1 to 32767 each way)\n"
    "       dravenholt --help | --version\n";

constexpr int MaxChartSide = 32767;

// "WIDTHxHEIGHT", each 1 to 32767, digits only (leading zeros are part of
// the number).
std::optional<SIZE> ParseSize(const std::string& text) {
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string::npos)
        return std::nullopt;
    auto side = [](const std::string& digits) -> std::optional<LONG> {
        if (digits.empty())
            return std::nullopt;
        LONG v = 0;
        for (char c : digits) {
            if (c < '0' || c > '9')
                return std::nullopt;
            v = std::min<LONG>(v * 10 + (c - '0'), MaxChartSide + 1);  // past the limit stays past it
        }
        if (v < 1 || v > MaxChartSide)
            return std::nullopt;
        return v;
    };
    auto w = side(text.substr(0, x));
    auto h = side(text.substr(x + 1));
    if (!w || !h)
        return std::nullopt;
    return SIZE{*w, *h};
}

int Refuse(const std::string& message) {
    std::fprintf(stderr, "dravenholt: %s\n%s", message.c_str(), Usage);
    return 2;
}

// What a headless run holds at once: the window's pixels, the back buffer
// and the 8-bit picture; refused with the amounts when the memory at hand
// is smaller.
bool EnoughMemoryFor(const SIZE& chart, const POINT& origin) {
    const std::uint64_t w = static_cast<std::uint64_t>(chart.cx);
    const std::uint64_t h = static_cast<std::uint64_t>(chart.cy);
    const std::uint64_t window = 4 * (w + static_cast<std::uint64_t>(origin.x)) * (h + static_cast<std::uint64_t>(origin.y));
    const std::uint64_t needed = window + 4 * w * h + w * h;
    const std::optional<std::uint64_t> available = platform::AvailableMemoryBytes();
    if (!available || needed <= *available)
        return true;
    constexpr double MiB = 1024.0 * 1024.0;
    std::fprintf(stderr, "dravenholt: not enough memory for a %ld x %ld chart: %.1f MiB needed, %.1f MiB available\n",
                 static_cast<long>(chart.cx), static_cast<long>(chart.cy), static_cast<double>(needed) / MiB,
                 static_cast<double>(*available) / MiB);
    return false;
}

// The headless run: the chart area gets exactly `chart` pixels (the dialog's
// client grows by the chart area's offset in the template), and the scripted
// user right-clicks, then presses Escape. The click does not wait for the
// first paint: the export paints the whole chart itself.
// 0 when chosen, else the exit status, said why.
int ChooseHeadless(const std::optional<SIZE>& chart) {
    const std::optional<RECT> placeholder =
        platform::DialogItemRect(shell::MainDialogTemplate(), shell::ChartPlaceholderId);
    if (!placeholder) {
        std::fputs("dravenholt: the main dialog template is missing\n", stderr);
        return 1;
    }
    const POINT origin{placeholder->left, placeholder->top};
    const SIZE size = chart ? *chart : SIZE{placeholder->right - placeholder->left, placeholder->bottom - placeholder->top};
    if (!EnoughMemoryFor(size, origin))
        return 1;
    platform::HeadlessConfig config;
    if (chart) {
        config.initialClientSize = SIZE{chart->cx + origin.x, chart->cy + origin.y};
        // The virtual screen holds the window whole, so nothing shrinks it.
        config.workArea.right = std::max(config.workArea.right, config.initialClientSize->cx);
        config.workArea.bottom = std::max(config.workArea.bottom, config.initialClientSize->cy);
    }
    config.script = {platform::InputEvent::RightClicked(origin.x, origin.y),
                     platform::InputEvent::KeyPressed(VK_ESCAPE)};
    config.waitForPaints = false;
    platform::UseHeadlessBackend(std::move(config));
    return 0;
}

// A headless run succeeds only when it wrote both files; each one it did not
// write gets a line saying why, so `dravenholt --export && publish` never
// publishes an old pair.
int ExportStatus(const std::vector<exporting::ExportResult>& exports) {
    if (exports.empty()) {
        std::fputs("dravenholt: nothing was exported\n", stderr);
        return 1;
    }
    int status = 0;
    for (const exporting::ExportResult& result : exports) {
        for (const exporting::ExportedFile* file : {&result.picture, &result.script}) {
            if (!file->written) {
                std::fprintf(stderr, "dravenholt: could not write %s: %s\n", file->name.c_str(), file->reason.c_str());
                status = 1;
            }
        }
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    bool exportMode = false;
    std::optional<SIZE> chartSize;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::puts("dravenholt " DH_VERSION);
            return 0;
        }
        if (arg == "--export") {
            exportMode = true;
        } else if (arg == "--size" || arg.rfind("--size=", 0) == 0) {
            std::string value;
            if (arg == "--size") {
                if (i + 1 >= argc)
                    return Refuse("--size needs a value WIDTHxHEIGHT");
                value = argv[++i];
            } else {
                value = arg.substr(7);
            }
            chartSize = ParseSize(value);
            if (!chartSize) {
                return Refuse("bad size '" + value + "': expected WIDTHxHEIGHT, each 1 to 32767");
            }
        } else {
            return Refuse("unknown option '" + arg + "'");
        }
    }
    if (chartSize && !exportMode)
        return Refuse("--size applies only with --export");

    platform::RemoveStagedFilesOnSignals();
    platform::StartFontSetUp();
    if (exportMode) {
        if (const int refused = ChooseHeadless(chartSize); refused != 0)
            return refused;
    } else {
#ifdef _WIN32
        platform::UseDesktop();
#else
        std::string error;
        if (!platform::UseX11Backend(error)) {
            std::fprintf(stderr, "dravenholt: %s\n", error.c_str());
            return 1;
        }
#endif
    }
    std::vector<exporting::ExportResult> exports;
    const int status = shell::RunChartWindow(nullptr, [&](const exporting::ExportResult& result) {
        exports.push_back(result);
    });
    if (exportMode && status == 0)
        return ExportStatus(exports);
    return status;
}
