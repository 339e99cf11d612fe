// Shared by the benchmark programs: a scratch folder whose Data links to the
// sample data, and the chart window running on the headless backend.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/backend.h"
#include "platform/user_internal.h"
#include "shell/chart_window.h"
#include "shell/dialog_template.h"
#include "shell/main_dialog.h"

namespace benchsupport {

constexpr int PictureWidth = 1801;  // the template's chart area
constexpr int PictureHeight = 977;

// A fresh folder under the system's temporary folder, removed with all it
// holds (links, not what they lead to) when the object goes; empty path()
// when none could be made.
class TempFolder {
public:
    explicit TempFolder(const char* prefix) {
        std::error_code ec;
        std::string pattern = (std::filesystem::temp_directory_path(ec) / prefix).string() + "-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr)
            path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// A fresh folder whose Data links to a data set (the working directory's
// Data when there is one, else the sample), so exports never land beside
// the data. Removed at exit; the data stays.
class ScratchFolder {
public:
    explicit ScratchFolder(std::filesystem::path data = {}) {
        namespace fs = std::filesystem;
        std::error_code ec;
        if (data.empty())
            data = fs::current_path(ec) / "Data";
        if (!fs::is_directory(data / ".", ec))
            data = fs::path(DH_SOURCE_DIR) / "sample" / "Data";
        if (folder_.path().empty())
            return;
        fs::create_directory_symlink(fs::absolute(data, ec), folder_.path() / "Data", ec);
        ok_ = !ec && fs::is_regular_file(folder_.path() / "Data" / "eSPY.txt", ec);
    }
    bool Enter() const { return ok_ && ::chdir(folder_.path().c_str()) == 0; }
    const std::filesystem::path& path() const { return folder_.path(); }

private:
    TempFolder folder_{"dh-bench"};
    bool ok_ = false;
};

// The sample as a whole day's files (tools/make_sample_data.py --whole-day),
// made once per process in a folder removed at exit. Its files are left to
// age past the moment a reader counts a stamp as "maybe changed again", so
// that repaints see them as the settled files a user has.
class WholeDayData {
public:
    WholeDayData() {
        if (root_.path().empty())
            return;
        const std::string command = "python3 '" DH_SOURCE_DIR "/tools/make_sample_data.py' --whole-day '" +
                                    data().string() + "' >/dev/null";
        std::error_code ec;
        ok_ = std::system(command.c_str()) == 0 && std::filesystem::is_regular_file(data() / "eSPY.txt", ec);
        if (ok_)
            ::sleep(3);
    }
    bool ok() const { return ok_; }
    std::filesystem::path data() const { return root_.path() / "Data"; }

private:
    TempFolder root_{"dh-wholeday"};
    bool ok_ = false;
};

// The main dialog created as the program creates it, at the template's size,
// on a fresh headless backend; destroyed with the object.
class ChartWindow {
public:
    ChartWindow() {
        platform::ResetUserState();
        platform::UseHeadlessBackend({});
        dialog = CreateDialogIndirectParamA(nullptr, shell::MainDialogTemplate(), nullptr, shell::MainDialogProc,
                                            reinterpret_cast<LPARAM>(&state));
    }
    ~ChartWindow() {
        if (dialog != nullptr)
            DestroyWindow(dialog);
        platform::ResetUserState();
    }
    ChartWindow(const ChartWindow&) = delete;
    ChartWindow& operator=(const ChartWindow&) = delete;

    // The chart area is the template's and the first paint is done.
    bool Ready() {
        if (dialog == nullptr || !state.files.series().SpySeries)
            return false;
        UpdateWindow(dialog);
        RECT chart{};
        shell::GetChartRect(dialog, chart);
        return chart.right - chart.left == PictureWidth && chart.bottom - chart.top == PictureHeight;
    }
    void Repaint() {
        shell::InvalidateChart(dialog);
        UpdateWindow(dialog);
    }
    void RightClick() { SendMessageA(dialog, WM_RBUTTONDOWN, 0, 0); }

    shell::ChartWindowState state;
    HWND dialog = nullptr;
};

}  // namespace benchsupport
