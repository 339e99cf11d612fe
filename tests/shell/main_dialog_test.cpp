// The main dialog on the headless backend: its message table, resizing, the
// double-buffered paint, exports and their results, the command line and the
// remembered placement.
#include "shell/main_dialog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <tuple>
#include <vector>

#include "platform/user_internal.h"
#include "shell/chart_window.h"
#include "shell/dialog_template.h"
#include "shell/placement.h"
#include "support/e2e_support.h"

namespace fs = std::filesystem;

namespace {

const std::set<std::string> DataOnly{"Data"};
const std::set<std::string> Exported{"Data", "Dravenholt.gif", "DravenholtSummary.js"};

class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy(testsupport::SampleDir() / "Data", dir.path() / "Data", fs::copy_options::recursive);
        Start({});
    }
    void TearDown() override { Start({}); }
    // A fresh virtual screen, empty registry and window state.
    void Start(platform::HeadlessConfig config) {
        platform::ResetUserState();
        platform::UseHeadlessBackend(std::move(config));
        state = std::make_unique<shell::ChartWindowState>();
    }
    // The dialog as the program creates it, over `state`.
    HWND Create() {
        return CreateDialogIndirectParamA(nullptr, shell::MainDialogTemplate(), nullptr, shell::MainDialogProc,
                                          reinterpret_cast<LPARAM>(state.get()));
    }
    std::string Title(HWND dialog) const {
        char title[64] = "";
        GetWindowTextA(dialog, title, sizeof title);
        return title;
    }

    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd{dir.path()};
    std::unique_ptr<shell::ChartWindowState> state;
};

TEST_F(MainDialogTest, MessageTable) {
    struct Row {
        const char* what;
        UINT message;
        WPARAM wParam;
        LRESULT answer;  // -1: not examined
        bool closes;
        bool exports;
    };
    // clang-format off
    const Row rows[] = {
        {"Escape", WM_KEYDOWN, VK_ESCAPE, TRUE, true, false},
        {"close box", WM_CLOSE, 0, -1, true, false},
        {"command 8 (close)", WM_COMMAND, IDCLOSE, TRUE, true, false},
        {"command 2 (cancel)", WM_COMMAND, IDCANCEL, TRUE, true, false},
        {"Enter", WM_KEYDOWN, VK_RETURN, TRUE, false, false},  // the key is taken, and nothing happens
        {"command 1 (OK)", WM_COMMAND, IDOK, FALSE, false, false},
        {"command 3", WM_COMMAND, 3, FALSE, false, false},
        {"left click", WM_LBUTTONDOWN, 0, TRUE, false, false},
        {"right click", WM_RBUTTONDOWN, 0, TRUE, false, true},
        {"timer", WM_TIMER, 1, TRUE, false, false},
        {"mouse move", WM_MOUSEMOVE, 0, FALSE, false, false},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Start({});
        fs::remove(dir.path() / "Dravenholt.gif"), fs::remove(dir.path() / "DravenholtSummary.js");
        HWND dialog = Create();
        UpdateWindow(dialog);
        EXPECT_NE(state->backBuffer, nullptr);
        MSG key{dialog, row.message, row.wParam, 0, 0, {0, 0}};  // keys come through the loop's IsDialogMessage
        const LRESULT answer = row.message == WM_KEYDOWN
                                   ? IsDialogMessageA(dialog, &key)
                                   : SendMessageA(dialog, row.message, row.wParam, MAKELPARAM(10, 10));
        if (row.answer != -1) {
            EXPECT_EQ(answer, row.answer);
        }
        EXPECT_EQ(IsWindow(dialog), !row.closes);
        EXPECT_EQ(testsupport::Entries(dir.path()), row.exports ? Exported : DataOnly);
        if (row.closes) {
            MSG msg{};
            EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));
            EXPECT_EQ(msg.message, WM_QUIT);
            EXPECT_EQ(msg.wParam, 0u);
            EXPECT_EQ(state->backBuffer, nullptr);
        } else {
            EXPECT_EQ(Title(dialog), "Tarvo Draven Holt wd 1801 ht 977");
            EXPECT_EQ(platform::WindowNeedingPaint(), nullptr) << "a paint left waiting";
        }
    }
}

TEST_F(MainDialogTest, SizeSetsTitleAndChartAreaAndDropsTheBackBufferEveryTime) {
    HWND dialog = Create();
    HWND placeholder = GetDlgItem(dialog, shell::ChartPlaceholderId);
    EXPECT_TRUE(IsWindowVisible(dialog) && !IsWindowVisible(placeholder));
    const auto resize = [&](int w, int h) { SetWindowPos(dialog, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER); };
    // The chart area is the client less its origin (2, 0).
    struct Step {
        const char* what;
        std::function<void()> act;
        const char* title;
        int width, height;  // the placeholder's
    };
    const Step steps[] = {
        {"the same size again", [&] { SendMessageA(dialog, WM_SIZE, SIZE_RESTORED, MAKELPARAM(1803, 977)); },
         "Tarvo Draven Holt wd 1801 ht 977", 1801, 977},
        {"smaller", [&] { resize(1000, 700); }, "Tarvo Draven Holt wd 998 ht 700", 998, 700},
        {"minimised: a 0 x 0 client", [&] { ShowWindow(dialog, SW_MINIMIZE); }, "Tarvo Draven Holt wd -2 ht 0", 0, 0},
        {"restored", [&] { ShowWindow(dialog, SW_RESTORE); }, "Tarvo Draven Holt wd 998 ht 700", 998, 700},
        {"narrower than the origin", [&] { resize(1, 50); }, "Tarvo Draven Holt wd -1 ht 50", 0, 50},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        UpdateWindow(dialog);
        step.act();
        EXPECT_EQ(Title(dialog), step.title);
        EXPECT_EQ(state->backBuffer, nullptr);
        RECT r{};
        GetClientRect(placeholder, &r);
        EXPECT_EQ(r.right, step.width);
        EXPECT_EQ(r.bottom, step.height);
        UpdateWindow(dialog);  // an empty chart area still ends its paint
        EXPECT_EQ(platform::WindowNeedingPaint(), nullptr);
        EXPECT_EQ(state->backBuffer != nullptr, step.width > 0 && step.height > 0);
    }
}

// A window can be told its size while it is being created, before
// WM_INITDIALOG has handed the procedure its state: that WM_SIZE is ignored.
TEST_F(MainDialogTest, SizeBeforeInitialisationIsIgnored) {
    static std::vector<INT_PTR> answers;
    answers.clear();
    const DLGPROC sizedFirst = [](HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
        if (message == WM_INITDIALOG)
            answers.push_back(shell::MainDialogProc(dialog, WM_SIZE, SIZE_RESTORED, MAKELPARAM(640, 480)));
        return shell::MainDialogProc(dialog, message, wParam, lParam);
    };
    HWND dialog = CreateDialogIndirectParamA(nullptr, shell::MainDialogTemplate(), nullptr, sizedFirst,
                                             reinterpret_cast<LPARAM>(state.get()));
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(answers, std::vector<INT_PTR>{FALSE});
    // Initialisation then went on as always.
    EXPECT_EQ(Title(dialog), "Tarvo Draven Holt wd 1801 ht 977");
    EXPECT_EQ(state->chartOrigin.left, 2);
    UpdateWindow(dialog);
    EXPECT_NE(state->backBuffer, nullptr);
    // Without a state at all, the dialog is refused its initialisation and
    // answers nothing.
    HWND bare = CreateDialogIndirectParamA(nullptr, shell::MainDialogTemplate(), nullptr, shell::MainDialogProc, 0);
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(SendMessageA(bare, WM_SIZE, SIZE_RESTORED, MAKELPARAM(640, 480)), FALSE);
    EXPECT_EQ(SendMessageA(bare, WM_RBUTTONDOWN, 0, 0), FALSE);
    EXPECT_EQ(Title(bare), "Draven Holt");
    EXPECT_EQ(testsupport::Entries(dir.path()), DataOnly);
}

TEST_F(MainDialogTest, EveryPaintComposesTheWholeChartAndShowsIt) {
    HWND dialog = Create();
    UpdateWindow(dialog);
    ASSERT_NE(state->backBuffer, nullptr);
    platform::PixelStore& picture = state->backBuffer->surface.pixels;
    std::fill(picture.begin(), picture.end(), 0x00FE01FD);  // nothing of it may survive the next paint
    shell::InvalidateChart(dialog);
    UpdateWindow(dialog);
    const platform::Surface& screen = dialog->framebuffer;
    ASSERT_EQ(picture.size(), 1801u * 977u);
    std::size_t differing = 0;
    for (std::size_t i = 0; i < picture.size(); ++i)
        differing += picture[i] != screen.pixels[i / 1801 * screen.width + i % 1801 + 2];
    EXPECT_EQ(differing, 0u) << "pixels of the chart area differ from the back buffer";
    EXPECT_EQ(std::count(picture.begin(), picture.end(), 0x00FE01FDu), 0);
    EXPECT_EQ(picture[picture.size() - 1], 0x00FFFFFFu);  // the white ground
    EXPECT_EQ(screen.pixels[0], platform::ColorToPixel(platform::DialogBackground));
}

// What the program's run tells its caller of each export.
TEST_F(MainDialogTest, RunChartWindowReportsEveryExport) {
    std::vector<exporting::ExportResult> results;
    const auto run = [&](SIZE client = {402, 300}, int click = 10) {
        Start({RECT{0, 0, 1920, 1080},
               client,
               {platform::InputEvent::RightClicked(click, click), platform::InputEvent::KeyPressed(VK_ESCAPE)}});
        return shell::RunChartWindow(nullptr, [&](const exporting::ExportResult& r) { results.push_back(r); });
    };
    EXPECT_EQ(run(), 0);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(results[0].Complete());
    EXPECT_EQ(std::tie(results[0].script.name, results[0].script.written, results[0].script.reason),
              std::tuple("DravenholtSummary.js", true, ""));
    EXPECT_EQ(std::tie(results[0].picture.name, results[0].picture.written, results[0].picture.reason),
              std::tuple("Dravenholt.gif", true, ""));
    EXPECT_EQ(testsupport::Entries(dir.path()), Exported);
    EXPECT_NE(testsupport::ReadFile(dir.path() / "DravenholtSummary.js").find("width='400' height='300'"),
              std::string::npos);

    // In a folder it may not write, neither file is written: the picture with
    // the system's reason, the script because the picture failed.
    fs::remove(dir.path() / "Dravenholt.gif"), fs::remove(dir.path() / "DravenholtSummary.js");
    ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
    const uid_t user = ::geteuid();
    if (user == 0) {
        ASSERT_EQ(::seteuid(65534), 0) << "root needs another user to be refused";
    }
    const int status = run();
    if (user == 0) {
        ASSERT_EQ(::seteuid(0), 0);
    }
    ::chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(status, 0);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_FALSE(results[1].Complete());
    EXPECT_EQ(std::tie(results[1].picture.written, results[1].picture.reason),
              std::tuple(false, std::string(std::strerror(EACCES))));
    EXPECT_EQ(std::tie(results[1].script.written, results[1].script.reason),
              std::tuple(false, std::string("not written, as Dravenholt.gif could not be")));
    EXPECT_EQ(testsupport::Entries(dir.path()), DataOnly);

    // A window too small to hold any chart area exports nothing, and says why.
    EXPECT_EQ(run({1, 1}, 0), 0);
    ASSERT_EQ(results.size(), 3u);
    for (const exporting::ExportedFile* file : {&results[2].script, &results[2].picture}) {
        SCOPED_TRACE(file->name);
        EXPECT_EQ(std::tie(file->written, file->reason), std::tuple(false, std::string("the chart area is empty (0 x 1)")));
    }
    EXPECT_EQ(testsupport::Entries(dir.path()), DataOnly);
}

// --size takes WIDTHxHEIGHT, each 1 to 32767 in digits (leading zeros
// allowed); anything else ends with status 2 before a window is made.
TEST_F(MainDialogTest, CommandLineChoosesTheBackendAndRefusesBadSizes) {
    struct Run {
        const char* arguments;
        int status;
        const char* picture = nullptr;  // "width='W' height='H'" of an export
    };
    // clang-format off
    const Run runs[] = {
        {"--export --size 1x1", 0, "width='1' height='1'"}, {"--export --size=1x1", 0, "width='1' height='1'"},
        {"--export --size 32767x1", 0, "width='32767' height='1'"},
        {"--export --size 1x32767", 0, "width='1' height='32767'"},
        {"--export --size 640x480", 0, "width='640' height='480'"}, {"--export", 0, "width='1801' height='977'"},
        // Leading zeros are part of the number, however many.
        {"--export --size 0000001x1", 0, "width='1' height='1'"}, {"--export --size 0010x0010", 0, "width='10' height='10'"},
        {"--export --size 000032767x1", 0, "width='32767' height='1'"}, {"--export --size 00000000x5", 2},
        {"--export --size 0032768x1", 2}, {"--export --size 1x00000000000000000000032768", 2},
        {"--export --size 1x000000000000000000000000000007", 0, "width='1' height='7'"},
        {"--export --size 0x1", 2}, {"--export --size 1x0", 2}, {"--export --size 32768x1", 2},
        {"--export --size 1x32768", 2}, {"--export --size 99999999x1", 2}, {"--export --size 10x", 2},
        {"--export --size x10", 2}, {"--export --size abc", 2}, {"--export --size 10*10", 2},
        {"--export --size -5x5", 2}, {"--export --size +5x5", 2}, {"--export --size 5x5x5", 2},
        {"--export --size 1.5x2", 2}, {"--export --size ' 5x5'", 2}, {"--export --size 5x5a", 2},
        {"--export --size", 2}, {"--size 10x10", 2}, {"--bogus", 2}, {"--export extra", 2},
        {"", 1} /* no display */, {"--help", 0}, {"--version", 0}};
    // clang-format on
    for (const Run& run : runs) {
        SCOPED_TRACE(run.arguments);
        fs::remove(dir.path() / "Dravenholt.gif"), fs::remove(dir.path() / "DravenholtSummary.js");
        const auto result =
            testsupport::RunCommand({"sh", "-c", DH_BINARY " " + std::string(run.arguments)}, dir.path());
        EXPECT_EQ(result.exitCode, run.status) << result.err;
        EXPECT_EQ(testsupport::Entries(dir.path()), run.picture ? Exported : DataOnly);
        if (run.picture != nullptr) {
            const std::string script = testsupport::ReadFile(dir.path() / "DravenholtSummary.js");
            EXPECT_NE(script.find(run.picture), std::string::npos) << script.substr(0, 200);
        }
        if (run.status == 2) {
            EXPECT_NE(result.err.find("usage:"), std::string::npos) << result.err;
        }
    }
}

std::tuple<LONG, LONG, LONG, LONG> WindowEdges(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return std::tuple(r.left, r.top, r.right, r.bottom);
}

TEST_F(MainDialogTest, DestroySavesThePlacementAndTheNextStartReopensThere) {
    HWND dialog = Create();
    SetWindowPos(dialog, nullptr, 100, 50, 800, 600, SWP_NOZORDER);
    DestroyWindow(dialog);
    // What was stored: the placement record, normal rectangle and all.
    WINDOWPLACEMENT stored{};
    DWORD type = REG_NONE, size = sizeof stored;
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, shell::PlacementKeyPath, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(key, shell::PlacementValueName, nullptr, &type, reinterpret_cast<BYTE*>(&stored), &size),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(std::tie(type, size, stored.length, stored.showCmd),
              std::tuple(REG_BINARY, 44u, 44u, UINT{SW_SHOWNORMAL}));
    EXPECT_EQ(std::tie(stored.rcNormalPosition.left, stored.rcNormalPosition.top, stored.rcNormalPosition.right,
                       stored.rcNormalPosition.bottom),
              std::tuple(100, 50, 900, 650));
    // The next window of this process opens there.
    state = std::make_unique<shell::ChartWindowState>();
    dialog = Create();
    EXPECT_EQ(WindowEdges(dialog), std::tuple(100, 50, 900, 650));
    EXPECT_EQ(Title(dialog), "Tarvo Draven Holt wd 798 ht 600");
    // A store that can't be written fails quietly: the window still closes.
    dir.Write("blocker", "x");
    platform::UseRegistryFile(dir.path() / "blocker" / "registry.reg");
    EXPECT_EQ(shell::SavePlacement(dialog, shell::PlacementKeyPath, shell::PlacementValueName), 0);
    DestroyWindow(dialog);
    EXPECT_FALSE(IsWindow(dialog));
}

// A stored rectangle is moved wholly onto the work area, keeping its size
// (shrunk only to the work area's), and never below 200 x 150. The cases are
// stored where earlier versions kept them, which is read while the user's own
// key has none; without any, a window too big for the screen is fitted too.
TEST_F(MainDialogTest, StoredPlacementsAreMovedOntoTheWorkAreaOrCountAsAbsent) {
    constexpr RECT Template{0, 0, 1803, 977};  // where the dialog opens without a placement
    constexpr RECT Screen{0, 0, 1920, 1080}, Small{0, 0, 1024, 768};
    // clang-format off
    struct Case { const char* what; RECT stored, opened; RECT work = Screen; UINT showCmd = SW_SHOWNORMAL; DWORD size = 44, type = REG_BINARY; };
    const Case cases[] = {
        {"inside", {100, 100, 900, 700}, {100, 100, 900, 700}},
        {"past left and top", {-50, -20, 700, 500}, {0, 0, 750, 520}},
        {"closed at the bottom-right corner", {1700, 900, 3503, 1877}, {117, 103, 1920, 1080}},
        {"past right and bottom", {1500, 900, 2500, 1500}, {920, 480, 1920, 1080}},
        {"wholly off the work area", {3000, 2000, 3500, 2400}, {1420, 680, 1920, 1080}},
        {"larger than the screen", {-10, -10, 5000, 5000}, {0, 0, 1920, 1080}},
        {"a smaller screen at this start", {1500, 900, 2500, 1500}, {24, 168, 1024, 768}, Small},
        {"below the minimum", {10, 10, 11, 11}, {10, 10, 210, 160}},
        {"reversed", {500, 500, 400, 600}, {500, 500, 700, 650}},
        {"at the far end of 32 bits", {2147483000, 2147483000, 2147483600, 2147483600}, {1320, 480, 1920, 1080}},
        {"maximised", {200, 100, 1000, 700}, {200, 100, 1000, 700}, Screen, SW_SHOWMAXIMIZED},
        {"nothing stored", {10, 10, 500, 400}, Template, Screen, SW_SHOWNORMAL, 0},
        {"nothing stored, a smaller screen", {10, 10, 500, 400}, {0, 0, 1024, 768}, Small, SW_SHOWNORMAL, 0},
        {"short", {10, 10, 500, 400}, Template, Screen, SW_SHOWNORMAL, 40},
        {"not binary", {10, 10, 500, 400}, Template, Screen, SW_SHOWNORMAL, 44, REG_DWORD}};
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        platform::HeadlessConfig screen;  // and an empty registry in memory
        screen.workArea = c.work;
        Start(screen);
        WINDOWPLACEMENT p{sizeof p, 0, c.showCmd, {}, {}, c.stored};
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, shell::PlacementKeyPath, &key), ERROR_SUCCESS);
        if (c.size > 0)
            RegSetValueExA(key, shell::PlacementValueName, 0, c.type, reinterpret_cast<BYTE*>(&p), c.size);
        RegCloseKey(key);
        HWND dialog = Create();
        EXPECT_EQ(WindowEdges(dialog), std::tuple(c.opened.left, c.opened.top, c.opened.right, c.opened.bottom));
        GetWindowPlacement(dialog, &p);
        EXPECT_EQ(p.showCmd, UINT{SW_SHOWNORMAL});
        EXPECT_EQ(shell::RestorePlacement(dialog, shell::PlacementKeyPath, shell::PlacementValueName),
                  c.size == 44 && c.type == REG_BINARY);
        RECT client{};
        GetClientRect(dialog, &client);
        EXPECT_EQ(Title(dialog), "Tarvo Draven Holt wd " + std::to_string(client.right - 2) + " ht " +
                                     std::to_string(client.bottom));
    }
    // The user's own placement wins over the old one.
    Start({});
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        const LONG shift = root == HKEY_CURRENT_USER ? 100 : 0;
        WINDOWPLACEMENT p{sizeof p, 0, SW_SHOWNORMAL, {}, {}, RECT{shift, shift, shift + 600, shift + 400}};
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyA(root, shell::PlacementKeyPath, &key), ERROR_SUCCESS);
        RegSetValueExA(key, shell::PlacementValueName, 0, REG_BINARY, reinterpret_cast<BYTE*>(&p), sizeof p);
        RegCloseKey(key);
    }
    EXPECT_EQ(WindowEdges(Create()), std::tuple(100, 100, 700, 500));
}

}  // namespace
