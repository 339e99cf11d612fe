// A long session on the headless backend: a thousand resizes in a row, each
// delivered as a display delivers one (WM_SIZE, then the paint it causes),
// then a right click. Nothing may crash or pile up, and the export must not
// depend on the sizes the window went through.
#include <gtest/gtest.h>
#include <malloc.h>

#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/user_internal.h"
#include "shell/main_dialog.h"
#include "support/test_support.h"

// From the sanitizer runtime when there is one: malloc's own counts miss its heap.
extern "C" __attribute__((weak)) std::size_t __sanitizer_get_current_allocated_bytes();

namespace fs = std::filesystem;

namespace {

std::size_t HeapInUse() {
    return __sanitizer_get_current_allocated_bytes ? __sanitizer_get_current_allocated_bytes() : mallinfo2().uordblks;
}

// Runs the chart window over `script`, a right click and Escape; returns its
// exit code, and how many exports wrote both files.
int RunSession(std::vector<platform::InputEvent> script, std::optional<SIZE> initialClient, int& completeExports) {
    script.push_back(platform::InputEvent::RightClicked(10, 10));
    script.push_back(platform::InputEvent::KeyPressed(VK_ESCAPE));
    platform::UseHeadlessBackend({RECT{0, 0, 5200, 3200}, initialClient, std::move(script)});
    completeExports = 0;
    const int code = shell::RunChartWindow(
        nullptr, [&](const exporting::ExportResult& result) { completeExports += result.Complete(); });
    platform::ResetUserState();
    return code;
}

TEST(ResizeLoad, AThousandResizesThenAnExportGiveTheChartOfTheLastSize) {
    const testsupport::TempDir dir;
    fs::copy(testsupport::SampleDir() / "Data", dir.path() / "Data", fs::copy_options::recursive);
    const testsupport::ScopedCwd cwd(dir.path());
    const auto gif = [&] { return testsupport::ReadFile(dir.path() / "Dravenholt.gif"); };
    const auto script = [&] { return testsupport::ReadFile(dir.path() / "DravenholtSummary.js"); };
    // The reference, made straight at the last size; it also makes what lives
    // for the whole process (fonts, glyphs, tables) before the heap is measured.
    int exports = 0;
    ASSERT_EQ(RunSession({}, SIZE{1400, 800}, exports), 0);
    EXPECT_EQ(exports, 1);
    const std::string referenceGif = gif(), referenceScript = script();
    ASSERT_FALSE(referenceGif.empty());
    fs::remove(dir.path() / "Dravenholt.gif"), fs::remove(dir.path() / "DravenholtSummary.js");
    const std::size_t heapBefore = HeapInUse();

    // The extremes first, random client sizes up to 2600 x 1600, 1400 x 800 last.
    std::vector<SIZE> sizes = {{0, 0}, {2600, 1600}, {1, 1}, {2, 1}, {3, 0}, {0, 1600}, {2600, 0}, {3, 1}};
    std::mt19937 rng(20100506);
    while (sizes.size() < 999)
        sizes.push_back(SIZE{int(rng() % 2601), int(rng() % 1601)});
    sizes.push_back(SIZE{1400, 800});
    std::vector<platform::InputEvent> resizes;
    std::uint64_t paintable = 0;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        resizes.push_back(platform::InputEvent::Resized(sizes[i].cx, sizes[i].cy));
        paintable += sizes[i].cx > 0 && sizes[i].cy > 0 &&
                     (i == 0 || sizes[i].cx != sizes[i - 1].cx || sizes[i].cy != sizes[i - 1].cy);
    }
    const std::uint64_t presentsBefore = platform::PresentCount();
    ASSERT_EQ(RunSession(std::move(resizes), std::nullopt, exports), 0);
    EXPECT_EQ(exports, 1);
    // Every resize to a paintable size was painted before the next one came.
    EXPECT_GE(platform::PresentCount() - presentsBefore, paintable);
    // Nothing from the resizes stays behind (back buffers, DCs, framebuffers).
    EXPECT_LT(HeapInUse(), heapBefore + 256 * 1024) << "heap before: " << heapBefore;

    // The picture is the client area less the chart's origin: 1398 x 800,
    // the same bytes as the reference.
    EXPECT_EQ(gif().substr(0, 10), std::string("GIF87a\x76\x05\x20\x03", 10));
    EXPECT_TRUE(gif() == referenceGif) << "the picture differs from one made straight at 1400 x 800";
    EXPECT_NE(script().find("width='1398' height='800'"), std::string::npos);
    EXPECT_EQ(script(), referenceScript);
}

}  // namespace
