// End to end on a real, virtual X server (no window manager): the window opens
// over a registry file of garbage, its title follows resizes, the screen shows
// exactly the framebuffer the program presented, Escape ends it with status 0
// after saving its placement, and the next start reopens there cut to the
// work area.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <random>
#include <thread>

#include "support/e2e_support.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Waits for what the program does in its own time; the limit only stops a
// wait for something that never comes.
template <typename F>
bool Eventually(F condition, std::chrono::milliseconds limit = 30000ms) {
    for (const auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
        if (condition())
            return true;
        std::this_thread::sleep_for(50ms);
    }
    return condition();
}

std::string Capture(const std::string& command) {
    std::string out;
    if (std::FILE* p = ::popen(command.c_str(), "r")) {
        for (int c; (c = std::fgetc(p)) != EOF;)
            out += char(c);
        ::pclose(p);
    }
    return out.substr(0, out.find_last_not_of('\n') + 1);
}

// Whether a window dump of a 24-bit virtual server's window (ZPixmap, 32-bit pixels, least
// significant byte first, red mask 0xFF0000) shows the pixels of a P6 picture.
bool ShowsPicture(const std::string& xwd, const std::string& ppm, std::uint32_t width, std::uint32_t height) {
    const auto field = [&](std::size_t i) {  // big-endian header words
        std::uint32_t v = 0;
        xwd.copy(reinterpret_cast<char*>(&v), xwd.size() < 4 * i + 4 ? 0 : 4, 4 * i);
        return __builtin_bswap32(v);
    };
    const std::size_t start = field(0) + 12 * field(19), line = field(12), pixels = ppm.size() - 3 * width * height;
    const std::string header = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    if (field(1) != 7 || field(2) != 2 || field(4) != width || field(5) != height || field(7) != 0 || field(11) != 32 ||
        field(14) != 0xFF0000 || xwd.size() < start + line * height || ppm.rfind(header, 0) != 0 ||
        pixels != header.size())
        return false;
    for (std::size_t i = 0; i < std::size_t{width} * height; ++i) {
        const char *shown = &xwd[start + i / width * line + 4 * (i % width)], *presented = &ppm[pixels + 3 * i];
        if (shown[2] != presented[0] || shown[1] != presented[1] || shown[0] != presented[2])
            return false;
    }
    return true;
}

class E2EWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "xdotool", "xwd", "timeout"}) {
            if (!testsupport::HaveProgram(tool))
                GTEST_SKIP() << tool << " is not installed";
        }
        for (int n = 91; n < 140 && xvfb < 0; ++n) {
            if (fs::exists("/tmp/.X11-unix/X" + std::to_string(n)) ||
                fs::exists("/tmp/.X" + std::to_string(n) + "-lock"))
                continue;
            // -noreset: a server that resets after its last client refuses the next for a moment.
            display = ":" + std::to_string(n);
            xvfb = std::stoi("0" + Capture("Xvfb " + display +
                                           " -noreset -nolisten tcp -screen 0 2560x1600x24 "
                                           ">/dev/null 2>&1 & echo $!"));
            // Ready once it answers a client: its socket appears earlier. One
            // that found the display taken after all never answers.
            if (xvfb > 0 && !Eventually([&] { return !X("xdotool getdisplaygeometry").empty(); }, 15000ms)) {
                ::kill(xvfb, SIGTERM);
                xvfb = -1;
            }
        }
        ASSERT_GT(xvfb, 0) << "no X display could be started";
        fs::copy(testsupport::SampleDir() / "Data", dir.path() / "Data", fs::copy_options::recursive);
    }
    void TearDown() override {
        if (xvfb > 0)
            ::kill(xvfb, SIGTERM);  // a program still running ends with its display
    }
    void StartProgram() {
        program = std::async(std::launch::async, [this] {
            const std::string config = "XDG_CONFIG_HOME=" + (dir.path() / "config").string();
            const std::string dump = "DH_DUMP_FRAMEBUFFER=" + (dir.path() / "framebuffer.ppm").string();
            return testsupport::RunCommand({"env", "DISPLAY=" + display, config, dump, DH_BINARY}, dir.path(), 60)
                .exitCode;
        });
        ASSERT_TRUE(Eventually([&] {
            window = X("xdotool search --name '^Tarvo Draven Holt wd'");
            return !window.empty() && window.find('\n') == std::string::npos;
        })) << "no window appeared";
    }
    void Escape() {
        X("xdotool key --window " + window + " Escape");
        ASSERT_EQ(program.wait_for(60s), std::future_status::ready) << "still running after Escape";
        EXPECT_EQ(program.get(), 0);
    }
    std::string X(const std::string& command) { return Capture("DISPLAY=" + display + " " + command + " 2>/dev/null"); }
    std::string Name() { return X("xdotool getwindowname " + window); }
    std::string Geometry() { return X("xdotool getwindowgeometry " + window + " | tail -n 2 | tr -s ' '"); }

    testsupport::TempDir dir;
    std::string display, window;
    int xvfb = -1;
    std::future<int> program;
};

TEST_F(E2EWindowTest, WindowFollowsResizesShowsItsFramebufferAndReopensWhereItClosed) {
    std::mt19937 rng(3);  // a registry file of garbage counts as no placement
    std::string garbage = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvo\\Dravenholt]\n\"Main_WndPl\"=hex:2c,00,";
    for (int i = 0; i < 8192; ++i)
        garbage += rng() % 4 ? char(rng()) : "[]=\",:\n\\"[rng() % 8];
    dir.Write("config/dravenholt/registry.reg", garbage);
    StartProgram();
    EXPECT_TRUE(Eventually([&] { return Name() == "Tarvo Draven Holt wd 1801 ht 977"; })) << Name();
    // Desktops match the window to its desktop entry by this class.
    EXPECT_EQ(X("xdotool search --classname '^dravenholt$'"), window);
    EXPECT_EQ(X("xdotool search --class '^" DH_WINDOW_CLASS "$'"), window);
    X("xdotool windowsize " + window + " 1000 700");
    EXPECT_TRUE(Eventually([&] { return Name() == "Tarvo Draven Holt wd 998 ht 700"; })) << Name();

    // The screen holds what the program last presented, pixel for pixel;
    // coloured chart lines make a swapped channel order show.
    std::string presented;
    EXPECT_TRUE(Eventually([&] {
        X("xwd -id " + window + " -silent > " + (dir.path() / "shot.xwd").string());
        presented = testsupport::ReadFile(dir.path() / "framebuffer.ppm");
        return ShowsPicture(testsupport::ReadFile(dir.path() / "shot.xwd"), presented, 1000, 700);
    }));
    int red = 0;
    for (std::size_t i = presented.size() - 3 * 1000 * 700; i < presented.size(); i += 3)
        red += std::uint8_t(presented[i]) > std::uint8_t(presented[i + 2]) + 64;
    EXPECT_GT(red, 100) << "nothing red enough on screen to tell the channel order";

    // Parked mostly off the screen and closed, it reopens moved wholly onto
    // the work area (without a window manager, the root window), its size kept.
    X("xdotool windowmove " + window + " 2000 1200");
    EXPECT_TRUE(Eventually([&] { return Geometry().find("Position: 2000,1200") != std::string::npos; })) << Geometry();
    Escape();
    const std::string registry = testsupport::ReadFile(dir.path() / "config" / "dravenholt" / "registry.reg");
    EXPECT_NE(registry.find("[HKEY_CURRENT_USER\\SOFTWARE\\Tarvo\\Dravenholt]"), std::string::npos) << registry;
    EXPECT_NE(registry.find("\"Main_WndPl\"=hex:2c,00,00,00"), std::string::npos) << registry;
    StartProgram();
    EXPECT_TRUE(Eventually([&] { return Geometry().find("Position: 1560,900") != std::string::npos; })) << Geometry();
    EXPECT_NE(Geometry().find("Geometry: 1000x700"), std::string::npos) << Geometry();
    EXPECT_EQ(Name(), "Tarvo Draven Holt wd 998 ht 700");
    Escape();
}

}  // namespace
