// The main dialog on the headless backend: its message table, resizing,
// the double-buffered paint, and whole runs of the entry.
#include "shell/main_dialog.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/user_internal.h"
#include "shell/chart_window.h"
#include "shell/paint.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

std::string Title(HWND window) {
    char text[128];
    GetWindowTextA(window, text, sizeof text);
    return text;
}

SIZE ClientSizeOf(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    return SIZE{r.right, r.bottom};
}

class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy(testsupport::SampleDir() / "Data", dir.path() / "Data", fs::copy_options::recursive);
        Start({});
    }
    void TearDown() override {
        platform::ResetUserState();
        shell::DeleteBackBuffer();
    }
    void Start(platform::HeadlessConfig config) {
        platform::ResetUserState();
        shell::DeleteBackBuffer();
        platform::UseHeadlessBackend(std::move(config));
    }
    HWND Create() {
        return CreateDialogParamA(nullptr, MAKEINTRESOURCEA(shell::MainDialogResource), nullptr, shell::MainDialogProc,
                                  0);
    }
    // Runs the loop until WM_QUIT; returns the quit code.
    int Pump(HWND dialog) {
        MSG msg{};
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            if (!IsDialogMessageA(dialog, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
        return static_cast<int>(msg.wParam);
    }

    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd{dir.path()};
};

TEST_F(MainDialogTest, InitialisationShowsTheDialogWithTheChartSizeInTheTitle) {
    HWND dialog = Create();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, shell::ChartPlaceholderId)));
    EXPECT_EQ(shell::ChartOrigin.left, 2);
    EXPECT_EQ(shell::ChartOrigin.top, 0);
    EXPECT_EQ(Title(dialog), "Tarvo Draven Holt wd 1801 ht 977");
    RECT chart{};
    ASSERT_TRUE(shell::GetChartRect(dialog, chart));
    EXPECT_EQ(chart.left, 2);
    EXPECT_EQ(chart.top, 0);
    EXPECT_EQ(chart.right, 1803);
    EXPECT_EQ(chart.bottom, 977);
}

TEST_F(MainDialogTest, MessageTableAnswers) {
    HWND dialog = Create();
    EXPECT_EQ(SendMessageA(dialog, WM_COMMAND, IDOK, 0), FALSE);
    EXPECT_EQ(SendMessageA(dialog, WM_COMMAND, 3, 0), FALSE);
    EXPECT_EQ(SendMessageA(dialog, WM_TIMER, 1, 0), TRUE);
    EXPECT_EQ(SendMessageA(dialog, WM_LBUTTONDOWN, 0, MAKELPARAM(10, 10)), TRUE);
    EXPECT_EQ(SendMessageA(dialog, WM_MOUSEMOVE, 0, 0), FALSE);
    EXPECT_EQ(SendMessageA(dialog, WM_KEYUP, VK_ESCAPE, 0), FALSE);
    MSG enter{dialog, WM_KEYDOWN, VK_RETURN, 0, 0, {0, 0}};
    EXPECT_TRUE(IsDialogMessageA(dialog, &enter));
    EXPECT_TRUE(IsWindow(dialog));
}

TEST_F(MainDialogTest, EscapeCloseBoxAndCommandEightEachEndTheLoop) {
    for (int way = 0; way < 3; ++way) {
        Start({});
        HWND dialog = Create();
        ASSERT_NE(dialog, nullptr);
        if (way == 0) {
            MSG escape{dialog, WM_KEYDOWN, VK_ESCAPE, 0, 0, {0, 0}};
            EXPECT_TRUE(IsDialogMessageA(dialog, &escape));
        } else if (way == 1) {
            SendMessageA(dialog, WM_CLOSE, 0, 0);
        } else {
            EXPECT_EQ(SendMessageA(dialog, WM_COMMAND, IDCLOSE, 0), TRUE);
        }
        EXPECT_FALSE(IsWindow(dialog)) << way;
        MSG msg;
        EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0)) << way;
        EXPECT_EQ(msg.message, WM_QUIT);
        EXPECT_EQ(msg.wParam, 0u);
        EXPECT_EQ(shell::BackBuffer, nullptr);
    }
}

TEST_F(MainDialogTest, SizeStretchesTheChartAreaAndDropsTheBackBufferEveryTime) {
    HWND dialog = Create();
    HWND placeholder = GetDlgItem(dialog, shell::ChartPlaceholderId);
    UpdateWindow(dialog);
    ASSERT_NE(shell::BackBuffer, nullptr);
    EXPECT_EQ(SendMessageA(dialog, WM_SIZE, SIZE_RESTORED, MAKELPARAM(1803, 977)), TRUE);  // same size
    EXPECT_EQ(shell::BackBuffer, nullptr);

    SetWindowPos(dialog, nullptr, 0, 0, 1000, 700, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(Title(dialog), "Tarvo Draven Holt wd 998 ht 700");
    EXPECT_EQ(ClientSizeOf(placeholder).cx, 998);
    EXPECT_EQ(ClientSizeOf(placeholder).cy, 700);
    UpdateWindow(dialog);
    ASSERT_NE(shell::BackBuffer, nullptr);

    // Minimised: 0 x 0, so the chart area asks for -2 x 0; nothing breaks and
    // nothing asks to be painted.
    ShowWindow(dialog, SW_MINIMIZE);
    EXPECT_EQ(shell::BackBuffer, nullptr);
    EXPECT_EQ(Title(dialog), "Tarvo Draven Holt wd -2 ht 0");
    EXPECT_EQ(ClientSizeOf(placeholder).cx, 0);
    EXPECT_EQ(platform::WindowNeedingPaint(), nullptr);
    ShowWindow(dialog, SW_RESTORE);
    EXPECT_EQ(Title(dialog), "Tarvo Draven Holt wd 998 ht 700");
}

TEST_F(MainDialogTest, PaintCopiesTheBackBufferToTheChartAreaAndClearsToWhite) {
    HWND dialog = Create();
    ASSERT_NE(platform::WindowNeedingPaint(), nullptr);
    UpdateWindow(dialog);
    EXPECT_EQ(platform::WindowNeedingPaint(), nullptr);
    ASSERT_NE(shell::BackBuffer, nullptr);
    const platform::Surface& picture = shell::BackBuffer->surface;
    const platform::Surface& screen = dialog->framebuffer;
    ASSERT_EQ(picture.width, 1801);
    ASSERT_EQ(picture.height, 977);
    std::size_t different = 0;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            different += picture.pixels[static_cast<std::size_t>(y) * picture.width + x] !=
                         screen.pixels[static_cast<std::size_t>(y) * screen.width + x + 2];
        }
    }
    EXPECT_EQ(different, 0u);
    // Left of the chart area is the dialog's background.
    EXPECT_EQ(screen.pixels[0], platform::ColorToPixel(platform::DialogBackground));

    // The composition covers every pixel: nothing of what was there survives.
    constexpr std::uint32_t Marker = 0x00FE01FD;
    std::fill(shell::BackBuffer->surface.pixels.begin(), shell::BackBuffer->surface.pixels.end(), Marker);
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(memory, shell::BackBuffer);
    EXPECT_TRUE(shell::ComposeChart(memory, RECT{0, 0, 1801, 977}));
    SelectObject(memory, old);
    DeleteDC(memory);
    EXPECT_EQ(std::count(picture.pixels.begin(), picture.pixels.end(), Marker), 0);
    EXPECT_EQ(picture.pixels[static_cast<std::size_t>(picture.width) * picture.height - 1], 0x00FFFFFFu);
    EXPECT_GT(shell::MarginWidth, 0);
    EXPECT_EQ(shell::PlotRect.left, shell::MarginWidth);
    EXPECT_EQ(shell::PlotRect.right, 1800);
    EXPECT_EQ(shell::PlotRect.bottom, 977);
}

TEST_F(MainDialogTest, PaintOfAnEmptyChartAreaStillEndsThePaint) {
    HWND dialog = Create();
    SetWindowPos(dialog, nullptr, 0, 0, 1, 50, SWP_NOMOVE | SWP_NOZORDER);  // chart area -1 x 50
    ASSERT_NE(platform::WindowNeedingPaint(), nullptr);
    UpdateWindow(dialog);
    EXPECT_EQ(platform::WindowNeedingPaint(), nullptr);
    EXPECT_EQ(shell::BackBuffer, nullptr);
}

TEST_F(MainDialogTest, WinMainRunsAScriptedSessionAndReturnsZero) {
    platform::HeadlessConfig config;
    config.script = {platform::InputEvent::Resized(700, 500),
                     platform::InputEvent::LeftClicked(50, 50),
                     platform::InputEvent::KeyPressed(VK_RETURN),
                     platform::InputEvent::Minimized(),
                     platform::InputEvent::Restored(),
                     platform::InputEvent::KeyPressed(VK_ESCAPE)};
    Start(config);
    char none[] = "";
    const auto presents = platform::PresentCount();
    EXPECT_EQ(WinMain(nullptr, nullptr, none, SW_SHOWNORMAL), 0);
    EXPECT_GE(platform::PresentCount(), presents + 3);  // first size, resize, restore
    EXPECT_TRUE(platform::TopLevelWindows().empty());
}

TEST_F(MainDialogTest, RightClickExportsAPictureOfTheChartAreasSize) {
    platform::HeadlessConfig config;
    config.script = {platform::InputEvent::Resized(402, 300), platform::InputEvent::RightClicked(10, 10)};
    Start(config);
    char none[] = "";
    EXPECT_EQ(WinMain(nullptr, nullptr, none, SW_SHOWNORMAL), 0);
    const std::string script = testsupport::ReadFile(dir.path() / "DravenholtSummary.js");
    EXPECT_NE(script.find("width='400' height='300'"), std::string::npos);
    const std::string gif = testsupport::ReadFile(dir.path() / "Dravenholt.gif");
    ASSERT_GE(gif.size(), 10u);
    EXPECT_EQ(gif.substr(0, 6), "GIF87a");
    EXPECT_EQ(static_cast<unsigned char>(gif[6]) | (static_cast<unsigned char>(gif[7]) << 8), 400);
    EXPECT_EQ(static_cast<unsigned char>(gif[8]) | (static_cast<unsigned char>(gif[9]) << 8), 300);
}

int RunProgram(const std::string& arguments) {
    const std::string command = std::string("env -u DISPLAY ") + DH_BINARY + " " + arguments + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(MainDialogTest, CommandLineChoosesTheBackendAndRefusesBadSizes) {
    EXPECT_EQ(RunProgram("--export --size 640x480"), 0);
    const std::string script = testsupport::ReadFile(dir.path() / "DravenholtSummary.js");
    EXPECT_NE(script.find("width='640' height='480'"), std::string::npos);
    EXPECT_EQ(RunProgram("--export --size=1x1"), 0);
    EXPECT_NE(testsupport::ReadFile(dir.path() / "DravenholtSummary.js").find("width='1' height='1'"),
              std::string::npos);
    for (const char* bad : {"--export --size 0x5", "--export --size 32768x10", "--export --size 10x",
                            "--export --size x10", "--export --size 10*10", "--export --size -5x5", "--export --size",
                            "--size 10x10", "--bogus", "--export extra"}) {
        EXPECT_EQ(RunProgram(bad), 2) << bad;
    }
    EXPECT_EQ(RunProgram(""), 1);  // no display
    EXPECT_EQ(RunProgram("--help"), 0);
    EXPECT_EQ(RunProgram("--version"), 0);
}

}  // namespace
