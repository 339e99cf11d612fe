// The main dialog on the headless backend: its message table, resizing, the
// double-buffered paint, the command line and the remembered placement.
#include "shell/main_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <tuple>

#include "platform/user_internal.h"
#include "shell/chart_window.h"
#include "shell/paint.h"
#include "shell/placement.h"
#include "support/e2e_support.h"

namespace fs = std::filesystem;

namespace {

class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy(testsupport::SampleDir() / "Data", dir.path() / "Data", fs::copy_options::recursive);
        Start({});
    }
    void TearDown() override { Start({}); }
    static void Start(platform::HeadlessConfig config) {
        platform::ResetUserState();
        shell::DeleteBackBuffer();
        platform::UseHeadlessBackend(std::move(config));
    }
    static HWND Create() {
        return CreateDialogParamA(nullptr, MAKEINTRESOURCEA(shell::MainDialogResource), nullptr, shell::MainDialogProc,
                                  0);
    }
    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd{dir.path()};
};

TEST_F(MainDialogTest, MessageTable) {
    // (what, message, wParam, answer or -1 when not examined, closes)
    // clang-format off
    const std::tuple<const char*, UINT, WPARAM, LRESULT, bool> rows[] = {
        {"Escape", WM_KEYDOWN, VK_ESCAPE, TRUE, true}, {"close box", WM_CLOSE, 0, -1, true},
        {"command 8", WM_COMMAND, IDCLOSE, TRUE, true}, {"command 2", WM_COMMAND, IDCANCEL, TRUE, true},
        {"Enter", WM_KEYDOWN, VK_RETURN, TRUE, false}, {"command 1", WM_COMMAND, IDOK, FALSE, false},
        {"command 3", WM_COMMAND, 3, FALSE, false}, {"left click", WM_LBUTTONDOWN, 0, TRUE, false},
        {"timer", WM_TIMER, 1, TRUE, false}, {"mouse move", WM_MOUSEMOVE, 0, FALSE, false}};
    // clang-format on
    for (const auto& [what, message, wParam, expected, closes] : rows) {
        Start({});
        HWND dialog = Create();
        UpdateWindow(dialog);
        ASSERT_NE(shell::BackBuffer, nullptr) << what;
        MSG key{dialog, message, wParam, 0, 0, {0, 0}};  // keys come through the loop's IsDialogMessage
        const LRESULT answer = message == WM_KEYDOWN ? IsDialogMessageA(dialog, &key)
                                                     : SendMessageA(dialog, message, wParam, MAKELPARAM(10, 10));
        EXPECT_TRUE(expected == -1 || answer == expected) << what << " answered " << answer;
        EXPECT_EQ(IsWindow(dialog), !closes) << what;
        MSG msg{};
        EXPECT_TRUE(!closes || (!GetMessageA(&msg, nullptr, 0, 0) && msg.message == WM_QUIT && msg.wParam == 0))
            << what << ": no WM_QUIT 0";
        EXPECT_TRUE(!closes || shell::BackBuffer == nullptr) << what;
    }
}

TEST_F(MainDialogTest, SizeSetsTitleAndChartAreaAndDropsTheBackBufferEveryTime) {
    HWND dialog = Create();
    HWND placeholder = GetDlgItem(dialog, shell::ChartPlaceholderId);
    EXPECT_TRUE(IsWindowVisible(dialog) && !IsWindowVisible(placeholder));
    const auto resize = [&](int w, int h) { SetWindowPos(dialog, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER); };
    // The chart area's new width and height.
    const std::tuple<std::function<void()>, int, int> steps[] = {
        {[&] { SendMessageA(dialog, WM_SIZE, SIZE_RESTORED, MAKELPARAM(1803, 977)); }, 1801, 977},  // same size
        {[&] { resize(1000, 700); }, 998, 700},
        {[&] { ShowWindow(dialog, SW_MINIMIZE); }, -2, 0},  // a 0 x 0 client
        {[&] { ShowWindow(dialog, SW_RESTORE); }, 998, 700},
        {[&] { resize(1, 50); }, -1, 50},
    };
    for (const auto& [act, width, height] : steps) {
        UpdateWindow(dialog);
        act();
        char title[64], expected[64];
        GetWindowTextA(dialog, title, sizeof title);
        std::snprintf(expected, sizeof expected, "Tarvo Draven Holt wd %d ht %d", width, height);
        EXPECT_STREQ(title, expected);
        EXPECT_EQ(shell::BackBuffer, nullptr) << title;
        RECT r{};
        GetClientRect(placeholder, &r);
        EXPECT_EQ(std::pair(r.right, r.bottom), std::pair(std::max(width, 0), std::max(height, 0))) << title;
        UpdateWindow(dialog);  // an empty chart area still ends its paint
        EXPECT_EQ(platform::WindowNeedingPaint(), nullptr) << title;
        EXPECT_EQ(shell::BackBuffer != nullptr, width > 0 && height > 0) << title;
    }
}

TEST_F(MainDialogTest, EveryPaintComposesTheWholeChartAndShowsIt) {
    HWND dialog = Create();
    UpdateWindow(dialog);
    ASSERT_NE(shell::BackBuffer, nullptr);
    std::vector<std::uint32_t>& picture = shell::BackBuffer->surface.pixels;
    std::fill(picture.begin(), picture.end(), 0x00FE01FD);  // nothing of it may survive the next paint
    shell::InvalidateChart(dialog);
    UpdateWindow(dialog);
    const platform::Surface& screen = dialog->framebuffer;
    ASSERT_EQ(picture.size(), 1801u * 977u);
    for (std::size_t i = 0; i < picture.size(); ++i)
        ASSERT_EQ(picture[i], screen.pixels[i / 1801 * screen.width + i % 1801 + 2]) << i;
    EXPECT_EQ(std::count(picture.begin(), picture.end(), 0x00FE01FDu), 0);
    EXPECT_EQ(picture.back(), 0x00FFFFFFu);  // the white ground
    EXPECT_EQ(screen.pixels[0], platform::ColorToPixel(platform::DialogBackground));
}

TEST_F(MainDialogTest, CommandLineChoosesTheBackendAndRefusesBadSizes) {
    // clang-format off
    const std::pair<const char*, int> runs[] = {
        {"--export --size 0x5", 2}, {"--export --size 32768x10", 2}, {"--export --size 10x", 2},
        {"--export --size x10", 2}, {"--export --size 10*10", 2}, {"--export --size -5x5", 2}, {"--export --size", 2},
        {"--size 10x10", 2}, {"--bogus", 2}, {"--export extra", 2}, {"", 1} /* no display */, {"--help", 0},
        {"--version", 0}, {"--export --size 640x480", 0}, {"--export --size=1x1", 0}};
    // clang-format on
    for (const auto& [arguments, code] : runs)
        EXPECT_EQ(testsupport::RunCommand({"sh", "-c", DH_BINARY " " + std::string(arguments)}, dir.path()).exitCode,
                  code)
            << arguments;
    EXPECT_NE(testsupport::ReadFile(dir.path() / "DravenholtSummary.js").find("width='1' height='1'"),
              std::string::npos);
}

auto Edges(const RECT& r) {
    return std::tuple(r.left, r.top, r.right, r.bottom);
}

auto WindowEdges(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return Edges(r);
}

TEST_F(MainDialogTest, DestroySavesThePlacementAndTheNextStartReopensThere) {
    HWND dialog = Create();
    SetWindowPos(dialog, nullptr, 100, 50, 800, 600, SWP_NOZORDER);
    DestroyWindow(dialog);
    dialog = Create();
    EXPECT_EQ(WindowEdges(dialog), std::tuple(100, 50, 900, 650));
    char title[64];
    GetWindowTextA(dialog, title, sizeof title);
    EXPECT_STREQ(title, "Tarvo Draven Holt wd 798 ht 600");
    // A store that can't be written fails quietly: the window still closes.
    dir.Write("blocker", "x");
    platform::UseRegistryFile(dir.path() / "blocker" / "registry.reg");
    EXPECT_EQ(shell::SavePlacement(dialog, shell::PlacementKeyPath, shell::PlacementValueName), 0);
    DestroyWindow(dialog);
    EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(MainDialogTest, StoredPlacementsAreCutToTheWorkAreaOrCountAsAbsent) {
    constexpr RECT Template{0, 0, 1803, 977};  // where the dialog opens without a placement
    // clang-format off
    struct Case { const char* what; RECT stored, opened; UINT showCmd = SW_SHOWNORMAL; DWORD size = 44, type = REG_BINARY; };
    const Case cases[] = {
        {"inside", {100, 100, 900, 700}, {100, 100, 900, 700}},
        {"past left and top", {-50, -20, 700, 500}, {0, 0, 700, 500}},
        {"past right and bottom", {1500, 900, 2500, 1500}, {1500, 900, 1920, 1080}},
        {"larger than the screen", {-10, -10, 5000, 5000}, {0, 0, 1920, 1080}},
        {"maximised", {200, 100, 1000, 700}, {200, 100, 1000, 700}, SW_SHOWMAXIMIZED},
        {"nothing stored", {10, 10, 500, 400}, Template, SW_SHOWNORMAL, 0},
        {"short", {10, 10, 500, 400}, Template, SW_SHOWNORMAL, 40},
        {"not binary", {10, 10, 500, 400}, Template, SW_SHOWNORMAL, 44, REG_DWORD},
        {"off the work area", {3000, 2000, 3500, 2400}, Template}, {"reversed", {500, 500, 400, 600}, Template}};
    // clang-format on
    for (const Case& c : cases) {
        Start({});  // work area 0,0 - 1920,1080, an empty registry in memory
        WINDOWPLACEMENT p{sizeof p, 0, c.showCmd, {}, {}, c.stored};
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, shell::PlacementKeyPath, &key), ERROR_SUCCESS);
        if (c.size > 0)
            RegSetValueExA(key, shell::PlacementValueName, 0, c.type, reinterpret_cast<BYTE*>(&p), c.size);
        RegCloseKey(key);
        HWND dialog = Create();
        EXPECT_EQ(WindowEdges(dialog), Edges(c.opened)) << c.what;
        GetWindowPlacement(dialog, &p);
        EXPECT_EQ(p.showCmd, UINT{SW_SHOWNORMAL}) << c.what;
        EXPECT_EQ(shell::RestorePlacement(dialog, shell::PlacementKeyPath, shell::PlacementValueName),
                  c.opened.right != Template.right)
            << c.what;
    }
}

}  // namespace
