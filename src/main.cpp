// Process entry. The program itself takes no arguments; the options here only
// choose the platform backend before the program's entry runs.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "export/export_chart.h"
#include "platform/backend.h"
#include "shell/chart_window.h"
#include "shell/dialog_template.h"
#include "shell/main_dialog.h"

namespace {

constexpr const char* Usage =
    "usage: dravenholt                                 open the chart window on the X display\n"
    "       dravenholt --export [--size WIDTHxHEIGHT]  write Dravenholt.gif and DravenholtSummary.js\n"
    "                                                  here without a display (size 1 to 32767 each way)\n"
    "       dravenholt --help | --version\n";

constexpr int MaxChartSide = 32767;

// "WIDTHxHEIGHT", each 1 to 32767, digits only.
std::optional<SIZE> ParseSize(const std::string& text) {
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string::npos)
        return std::nullopt;
    auto side = [](const std::string& digits) -> std::optional<LONG> {
        if (digits.empty() || digits.size() > 6)
            return std::nullopt;
        LONG v = 0;
        for (char c : digits) {
            if (c < '0' || c > '9')
                return std::nullopt;
            v = v * 10 + (c - '0');
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

// The headless run: the chart area gets exactly `chart` pixels (the dialog's
// client grows by the chart area's offset in the template), and the scripted
// user right-clicks once the first paint is done, then presses Escape.
bool ChooseHeadless(const std::optional<SIZE>& chart) {
    const std::optional<RECT> placeholder =
        platform::DialogItemRect(shell::MainDialogTemplate(), shell::ChartPlaceholderId);
    if (!placeholder)
        return false;
    const POINT origin{placeholder->left, placeholder->top};
    platform::HeadlessConfig config;
    if (chart)
        config.initialClientSize = SIZE{chart->cx + origin.x, chart->cy + origin.y};
    config.script = {platform::InputEvent::RightClicked(origin.x, origin.y),
                     platform::InputEvent::KeyPressed(VK_ESCAPE)};
    platform::UseHeadlessBackend(std::move(config));
    return true;
}

// The program itself reports nothing and ends normally when a file cannot be
// written; a headless user still deserves to hear which file is missing.
void WarnAboutUnwrittenExports(const std::vector<exporting::ExportResult>& exports) {
    for (const exporting::ExportResult& result : exports) {
        for (const exporting::ExportedFile* file : {&result.script, &result.picture}) {
            if (!file->written)
                std::fprintf(stderr, "dravenholt: could not write %s: %s\n", file->name.c_str(), file->reason.c_str());
        }
    }
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

    if (exportMode) {
        if (!ChooseHeadless(chartSize)) {
            std::fputs("dravenholt: the main dialog template is missing\n", stderr);
            return 1;
        }
    } else {
        std::string error;
        if (!platform::UseX11Backend(error)) {
            std::fprintf(stderr, "dravenholt: %s\n", error.c_str());
            return 1;
        }
    }
    std::vector<exporting::ExportResult> exports;
    const int status = shell::RunChartWindow(nullptr, [&](const exporting::ExportResult& result) {
        exports.push_back(result);
    });
    if (exportMode)
        WarnAboutUnwrittenExports(exports);
    return status;
}
