// End to end on a real X server (Xvfb, no window manager): the window's
// title follows resizes, the screen shows exactly the framebuffer the
// program presented, Escape ends it with status 0 after saving its
// placement, and the next start reopens there, cut to the work area.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv, const fs::path& cwd) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e)
        env.emplace_back(*e);
    for (const std::string& e : extraEnv)
        env.push_back(e);
    std::vector<char*> argv;
    std::vector<char*> envp;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    for (const auto& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    const fs::path previous = fs::current_path();
    fs::current_path(cwd);
    pid_t pid = -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    fs::current_path(previous);
    return pid;
}

// The exit status, or nullopt when the process did not end in time.
std::optional<int> WaitExit(pid_t pid, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(20ms);
    }
    return std::nullopt;
}

std::string Capture(const std::string& command) {
    std::string out;
    if (std::FILE* p = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, p) != nullptr)
            out += buffer;
        pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

template <typename F>
bool Eventually(F condition, std::chrono::milliseconds limit = 8000ms) {
    const auto end = std::chrono::steady_clock::now() + limit;
    do {
        if (condition())
            return true;
        std::this_thread::sleep_for(50ms);
    } while (std::chrono::steady_clock::now() < end);
    return condition();
}

// Pixels as 0xRRGGBB, row-major.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

std::uint32_t BigEndian32(const std::string& s, std::size_t at) {
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(s[at])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 2])) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 3]));
}

// A ZPixmap window dump at 24 or 32 bits per pixel, as xwd writes it.
std::optional<Picture> ParseXwd(const std::string& data) {
    if (data.size() < 100)
        return std::nullopt;
    auto field = [&](int i) { return BigEndian32(data, 4 * static_cast<std::size_t>(i)); };
    const std::uint32_t headerSize = field(0);
    if (field(1) != 7 || field(2) != 2)
        return std::nullopt;  // version 7, ZPixmap
    const std::uint32_t width = field(4);
    const std::uint32_t height = field(5);
    const std::uint32_t byteOrder = field(7);
    const std::uint32_t bitsPerPixel = field(11);
    const std::uint32_t bytesPerLine = field(12);
    const std::uint32_t masks[3] = {field(14), field(15), field(16)};
    const std::uint32_t colors = field(19);
    const std::size_t start = headerSize + static_cast<std::size_t>(colors) * 12;
    if ((bitsPerPixel != 32 && bitsPerPixel != 24) || data.size() < start + std::size_t{bytesPerLine} * height) {
        return std::nullopt;
    }
    Picture picture{static_cast<int>(width), static_cast<int>(height), {}};
    picture.pixels.reserve(std::size_t{width} * height);
    const std::uint32_t bytes = bitsPerPixel / 8;
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::size_t at = start + std::size_t{y} * bytesPerLine + std::size_t{x} * bytes;
            std::uint32_t value = 0;
            for (std::uint32_t b = 0; b < bytes; ++b) {
                const std::uint32_t byte = static_cast<unsigned char>(data[at + b]);
                value |= byteOrder == 0 ? byte << (8 * b) : byte << (8 * (bytes - 1 - b));
            }
            std::uint32_t rgb = 0;
            for (int c = 0; c < 3; ++c) {
                const std::uint32_t mask = masks[c];
                const int shift = mask == 0 ? 0 : __builtin_ctz(mask);
                const std::uint32_t channel = mask == 0 ? 0 : (value & mask) >> shift;
                rgb |= (channel & 0xFF) << (16 - 8 * c);
            }
            picture.pixels.push_back(rgb);
        }
    }
    return picture;
}

std::optional<Picture> ParsePpm(const std::string& data) {
    int width = 0;
    int height = 0;
    int maximum = 0;
    int consumed = 0;
    if (std::sscanf(data.c_str(), "P6 %d %d %d%n", &width, &height, &maximum, &consumed) != 3 || maximum != 255) {
        return std::nullopt;
    }
    const std::size_t start = static_cast<std::size_t>(consumed) + 1;
    if (width <= 0 || height <= 0 || data.size() < start + std::size_t(width) * height * 3)
        return std::nullopt;
    Picture picture{width, height, {}};
    for (std::size_t i = 0; i < std::size_t(width) * height; ++i) {
        const auto* p = reinterpret_cast<const unsigned char*>(data.data() + start + 3 * i);
        picture.pixels.push_back((std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2]);
    }
    return picture;
}

class E2EWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "xdotool", "xwd"}) {
            if (!testsupport::HaveProgram(tool))
                GTEST_SKIP() << tool << " is not installed";
        }
        for (int n = 91; n < 140 && xvfb_ < 0; ++n) {
            if (fs::exists("/tmp/.X11-unix/X" + std::to_string(n)) ||
                fs::exists("/tmp/.X" + std::to_string(n) + "-lock")) {
                continue;
            }
            display_ = ":" + std::to_string(n);
            xvfb_ = Spawn({"Xvfb", display_, "-nolisten", "tcp", "-screen", "0", "2560x1600x24"}, {}, dir.path());
            const fs::path socket = "/tmp/.X11-unix/X" + std::to_string(n);
            if (!Eventually([&] { return fs::exists(socket); }, 5000ms)) {
                kill(xvfb_, SIGTERM);
                WaitExit(xvfb_, 2000ms);
                xvfb_ = -1;
            }
        }
        ASSERT_GE(xvfb_, 0) << "no X display could be started";
        fs::copy(testsupport::SampleDir() / "Data", dir.path() / "Data", fs::copy_options::recursive);
    }
    void TearDown() override {
        if (program_ > 0 && !WaitExit(program_, 0ms)) {
            kill(program_, SIGTERM);
            WaitExit(program_, 2000ms);
        }
        if (xvfb_ > 0) {
            kill(xvfb_, SIGTERM);
            WaitExit(xvfb_, 5000ms);
        }
    }
    void StartProgram() {
        program_ = Spawn({DH_BINARY},
                         {"DISPLAY=" + display_, "XDG_CONFIG_HOME=" + (dir.path() / "config").string(),
                          "DH_DUMP_FRAMEBUFFER=" + Dump().string()},
                         dir.path());
        ASSERT_GT(program_, 0);
        ASSERT_TRUE(Eventually([&] {
            window_ = X("xdotool search --name '^Tarvo Draven Holt wd'");
            return !window_.empty() && window_.find('\n') == std::string::npos;
        })) << "no window appeared";
    }
    std::string X(const std::string& command) {
        return Capture("DISPLAY=" + display_ + " " + command + " 2>/dev/null");
    }
    std::string Name() { return X("xdotool getwindowname " + window_); }
    std::string Geometry() { return X("xdotool getwindowgeometry " + window_ + " | tail -n 2 | tr -s ' '"); }
    fs::path Dump() const { return dir.path() / "framebuffer.ppm"; }

    testsupport::TempDir dir;
    std::string display_;
    std::string window_;
    pid_t xvfb_ = -1;
    pid_t program_ = -1;
};

TEST_F(E2EWindowTest, WindowFollowsResizesShowsItsFramebufferAndReopensWhereItClosed) {
    StartProgram();
    EXPECT_TRUE(Eventually([&] { return Name() == "Tarvo Draven Holt wd 1801 ht 977"; })) << Name();

    X("xdotool windowsize " + window_ + " 1000 700");
    EXPECT_TRUE(Eventually([&] { return Name() == "Tarvo Draven Holt wd 998 ht 700"; })) << Name();

    // The screen holds exactly what the program last presented, pixel for
    // pixel; coloured chart lines make a swapped channel order show.
    std::optional<Picture> shot;
    std::optional<Picture> presented;
    const bool same = Eventually([&] {
        X("xwd -id " + window_ + " -silent > " + (dir.path() / "shot.xwd").string());
        shot = ParseXwd(testsupport::ReadFile(dir.path() / "shot.xwd"));
        presented = ParsePpm(testsupport::ReadFile(Dump()));
        return shot && presented && shot->width == 1000 && presented->width == 1000 &&
               shot->pixels == presented->pixels;
    });
    ASSERT_TRUE(shot && presented);
    EXPECT_TRUE(same) << "screen " << shot->width << "x" << shot->height << ", presented " << presented->width << "x"
                      << presented->height;
    std::size_t coloured = 0;
    for (std::uint32_t p : presented->pixels)
        coloured += ((p >> 16) & 0xFF) > (p & 0xFF) + 64;
    EXPECT_GT(coloured, 100u) << "nothing red enough on screen to tell the channel order";

    // Park it partly off the screen, close it with Escape.
    X("xdotool windowmove " + window_ + " 2000 1200");
    EXPECT_TRUE(Eventually([&] { return Geometry().find("Position: 2000,1200") != std::string::npos; })) << Geometry();
    X("xdotool key --window " + window_ + " Escape");
    EXPECT_EQ(WaitExit(program_, 8000ms), std::optional<int>(0));
    program_ = -1;
    const std::string registry = testsupport::ReadFile(dir.path() / "config" / "dravenholt" / "registry.reg");
    EXPECT_NE(registry.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvo\\Dravenholt]"), std::string::npos) << registry;
    EXPECT_NE(registry.find("\"Main_WndPl\"=hex:2c,00,00,00"), std::string::npos) << registry;

    // Without a window manager the work area is the root window, 2560 x 1600.
    StartProgram();
    EXPECT_TRUE(Eventually([&] { return Name() == "Tarvo Draven Holt wd 558 ht 400"; })) << Name();
    EXPECT_NE(Geometry().find("Position: 2000,1200"), std::string::npos) << Geometry();
    EXPECT_NE(Geometry().find("Geometry: 560x400"), std::string::npos) << Geometry();
    X("xdotool key --window " + window_ + " Escape");
    EXPECT_EQ(WaitExit(program_, 8000ms), std::optional<int>(0));
    program_ = -1;
}

}  // namespace
