// A long session on the headless backend: a thousand resizes in a row, each
// delivered as the display delivers one (WM_SIZE, then the paint it causes),
// then a right click. Nothing may crash or pile up, and the export must not
// depend on the sizes the window went through.
#include <gtest/gtest.h>
#include <malloc.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/user_internal.h"
#include "shell/main_dialog.h"
#include "shell/paint.h"
#include "support/test_support.h"

#if defined(__SANITIZE_ADDRESS__)
#define DH_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DH_UNDER_ASAN 1
#endif
#endif
#if defined(DH_UNDER_ASAN)
// From the sanitizer runtime (its header does not come with every compiler).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif
#if defined(DH_HAVE_GIFLIB)
#include <gif_lib.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr int ResizeCount = 1000;
constexpr int MaxClientWidth = 2600;
constexpr int MaxClientHeight = 1600;
constexpr int LastClientWidth = 1400;
constexpr int LastClientHeight = 800;

// Bytes the heap holds for the program right now.
std::size_t HeapInUse() {
#if defined(DH_UNDER_ASAN)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

// Client sizes from 0 x 0 to the largest, the extremes first, the rest drawn
// with a fixed seed, the last one 1400 x 800.
std::vector<SIZE> ResizeSizes() {
    std::vector<SIZE> sizes = {
        {0, 0}, {MaxClientWidth, MaxClientHeight}, {1, 1}, {2, 1}, {3, 0}, {0, MaxClientHeight}, {MaxClientWidth, 0},
        {3, 1}};
    std::mt19937 rng(20100506);
    std::uniform_int_distribution<int> width(0, MaxClientWidth);
    std::uniform_int_distribution<int> height(0, MaxClientHeight);
    while (sizes.size() < ResizeCount - 1)
        sizes.push_back(SIZE{width(rng), height(rng)});
    sizes.push_back(SIZE{LastClientWidth, LastClientHeight});
    return sizes;
}

std::uint32_t LittleEndian16(const std::string& s, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(s[at])) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 1])) << 8);
}

class ResizeLoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy(testsupport::SampleDir() / "Data", dir.path() / "Data", fs::copy_options::recursive);
    }
    void TearDown() override { Reset(); }
    static void Reset() {
        platform::ResetUserState();
        shell::DeleteBackBuffer();
    }
    // Runs the program's entry over `script` (then a right click and Escape)
    // and returns its exit code; the exported files are left in dir.
    int RunSession(std::vector<platform::InputEvent> script, std::optional<SIZE> initialClient = std::nullopt) {
        Reset();
        std::error_code ec;
        fs::remove(dir.path() / "Dravenholt.gif", ec);
        fs::remove(dir.path() / "DravenholtSummary.js", ec);
        script.push_back(platform::InputEvent::RightClicked(10, 10));
        script.push_back(platform::InputEvent::KeyPressed(VK_ESCAPE));
        platform::HeadlessConfig config;
        config.workArea = RECT{0, 0, 2 * MaxClientWidth, 2 * MaxClientHeight};
        config.initialClientSize = initialClient;
        config.script = std::move(script);
        platform::UseHeadlessBackend(std::move(config));
        char none[] = "";
        const int code = WinMain(nullptr, nullptr, none, SW_SHOWNORMAL);
        Reset();
        return code;
    }
    std::string Gif() const { return testsupport::ReadFile(dir.path() / "Dravenholt.gif"); }
    std::string Script() const { return testsupport::ReadFile(dir.path() / "DravenholtSummary.js"); }

    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd{dir.path()};
};

TEST_F(ResizeLoadTest, AThousandResizesThenAnExportGiveTheChartOfTheLastSize) {
    // The same chart straight at the last size: the reference, and a first
    // run that makes what lives for the whole process (fonts, glyphs, tables).
    ASSERT_EQ(RunSession({}, SIZE{LastClientWidth, LastClientHeight}), 0);
    const std::string referenceGif = Gif();
    const std::string referenceScript = Script();
    ASSERT_FALSE(referenceGif.empty());
    const std::size_t heapBefore = HeapInUse();

    const std::vector<SIZE> sizes = ResizeSizes();
    ASSERT_EQ(sizes.size(), static_cast<std::size_t>(ResizeCount));
    std::vector<platform::InputEvent> script;
    std::uint64_t paintable = 0;  // resizes whose new client area can be painted
    SIZE previous{-1, -1};
    for (const SIZE& s : sizes) {
        script.push_back(platform::InputEvent::Resized(s.cx, s.cy));
        paintable += s.cx > 0 && s.cy > 0 && (s.cx != previous.cx || s.cy != previous.cy);
        previous = s;
    }
    const std::uint64_t presentsBefore = platform::PresentCount();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(RunSession(std::move(script)), 0);
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::uint64_t presents = platform::PresentCount() - presentsBefore;
    std::printf("%d resizes, %llu paints presented, %.1f s\n", ResizeCount, static_cast<unsigned long long>(presents),
                seconds);
    // Every resize to a paintable size was painted before the next one came.
    EXPECT_GE(presents, paintable);

    // Nothing from the resizes stays behind (back buffers, DCs, windows'
    // framebuffers); what lives for the process was made by the first run.
    const std::size_t heapAfter = HeapInUse();
    EXPECT_LT(heapAfter, heapBefore + 256 * 1024) << "heap grew from " << heapBefore << " to " << heapAfter;

    // The picture is the client area less the chart's origin, 1398 x 800.
    const std::string gif = Gif();
    ASSERT_GE(gif.size(), 13u);
    EXPECT_EQ(gif.substr(0, 6), "GIF87a");
    EXPECT_EQ(LittleEndian16(gif, 6), 1398u);
    EXPECT_EQ(LittleEndian16(gif, 8), 800u);
    EXPECT_EQ(LittleEndian16(gif, 6), static_cast<std::uint32_t>(LastClientWidth - shell::ChartOrigin.left));
    EXPECT_EQ(LittleEndian16(gif, 8), static_cast<std::uint32_t>(LastClientHeight - shell::ChartOrigin.top));
    const std::string script1 = Script();
    const std::string firstLine = script1.substr(0, script1.find('\n'));
    EXPECT_NE(firstLine.find("width='1398' height='800'"), std::string::npos) << firstLine;

    // The sizes before the last leave no trace in the export.
    EXPECT_TRUE(gif == referenceGif) << "the exported picture differs from one made straight at 1400 x 800";
    EXPECT_EQ(script1, referenceScript);

#if defined(DH_HAVE_GIFLIB)
    int error = 0;
    GifFileType* decoded = DGifOpenFileName((dir.path() / "Dravenholt.gif").c_str(), &error);
    ASSERT_NE(decoded, nullptr) << GifErrorString(error);
    EXPECT_EQ(DGifSlurp(decoded), GIF_OK) << GifErrorString(decoded->Error);
    EXPECT_EQ(decoded->SWidth, 1398);
    EXPECT_EQ(decoded->SHeight, 800);
    ASSERT_EQ(decoded->ImageCount, 1);
    EXPECT_EQ(decoded->SavedImages[0].ImageDesc.Width, 1398);
    EXPECT_EQ(decoded->SavedImages[0].ImageDesc.Height, 800);
    DGifCloseFile(decoded, &error);
#endif
}

}  // namespace
