// The Windows build under Wine against the Linux build: the same data give
// the same image-map script byte for byte and the same pixels everywhere
// but inside the text cells, whose glyphs come from another rasteriser (the
// Linux build lists its cells when DRAVENHOLT_GLYPH_CELLS names a file).
// Wine draws with its own GDI, an independent implementation of the rules
// ours follows, so this checks our rasteriser as much as the port.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/e2e_support.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using testsupport::CommandResult;
using testsupport::ReadFile;
using testsupport::RunCommand;

namespace {

// One Windows build and Wine's loader for it.
struct Build {
    const char* name;
    const char* loader;
    const char* program;
};
const Build Builds[] = {{"x86_64", "/usr/lib/wine/wine64", DH_WINDOWS_X64}, {"i686", "/usr/lib/wine/wine", DH_WINDOWS_X86}};

void PrintTo(const Build& build, std::ostream* out) {
    *out << build.name;
}

CommandResult RunWindows(const Build& build, const fs::path& dir, const std::vector<std::string>& options) {
    std::vector<std::string> args{build.loader, build.program};
    args.insert(args.end(), options.begin(), options.end());
    return RunCommand(args, dir, 180);
}

std::vector<RECT> ReadCells(const fs::path& file) {
    std::vector<RECT> cells;
    std::ifstream in(file);
    RECT r{};
    while (in >> r.left >> r.top >> r.right >> r.bottom)
        cells.push_back(r);
    return cells;
}

// Exports `data` with both builds into folders of their own and compares.
// An empty size is the Windows window's own: the Linux run then takes the
// size the Windows script gives.
void CompareExports(const Build& build, const char* what, const fs::path& data, const std::string& size) {
    SCOPED_TRACE(std::string(what) + " at " + (size.empty() ? "the window's size" : size));
    const testsupport::TempDir windows, linux;
    for (const fs::path& dir : {windows.path(), linux.path()})
        fs::create_directory_symlink(data, dir / "Data");
    const CommandResult win = RunWindows(build, windows.path(), size.empty() ? std::vector<std::string>{"--export"}
                                                                      : std::vector<std::string>{"--export", "--size", size});
    ASSERT_EQ(win.exitCode, 0) << win.err;
    const std::string script = ReadFile(windows.path() / "DravenholtSummary.js");
    const testsupport::ParsedScript parsed = testsupport::ParseImageMapScript(script);
    ASSERT_TRUE(parsed.wellFormed) << script;
    const std::string linuxSize = std::to_string(parsed.width) + "x" + std::to_string(parsed.height);
    if (!size.empty()) {
        EXPECT_EQ(linuxSize, size);
    }
    const fs::path cellsFile = linux.path() / "cells.txt";
    const CommandResult lin = RunCommand({"env", "DRAVENHOLT_GLYPH_CELLS=" + cellsFile.string(), DH_BINARY, "--export",
                                          "--size", linuxSize},
                                         linux.path());
    ASSERT_EQ(lin.exitCode, 0) << lin.err;
    EXPECT_TRUE(script == ReadFile(linux.path() / "DravenholtSummary.js")) << "the scripts differ";

    std::string error;
    const auto ours = testsupport::DecodeGif(linux.path() / "Dravenholt.gif", error);
    ASSERT_TRUE(ours) << error;
    const auto theirs = testsupport::DecodeGif(windows.path() / "Dravenholt.gif", error);
    ASSERT_TRUE(theirs) << error;
    ASSERT_EQ(theirs->width, ours->width);
    ASSERT_EQ(theirs->height, ours->height);
    const int width = ours->width, height = ours->height;
    std::vector<char> text(static_cast<std::size_t>(width) * height, 0);
    for (const RECT& cell : ReadCells(cellsFile))
        for (int y = std::max<int>(cell.top, 0); y < std::min<int>(cell.bottom, height); ++y)
            for (int x = std::max<int>(cell.left, 0); x < std::min<int>(cell.right, width); ++x)
                text[static_cast<std::size_t>(y) * width + x] = 1;
    int outside = 0, inside = 0, firstX = -1, firstY = -1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * width + x;
            if (ours->colors.at(ours->indices[i]) == theirs->colors.at(theirs->indices[i]))
                continue;
            if (text[i] != 0) {
                ++inside;
            } else if (outside++ == 0) {
                firstX = x;
                firstY = y;
            }
        }
    EXPECT_EQ(outside, 0) << "first at " << firstX << "," << firstY;
    // The same pixels make the same file: the reduction and encoder are ours on both.
    if (outside == 0 && inside == 0) {
        EXPECT_TRUE(ReadFile(linux.path() / "Dravenholt.gif") == ReadFile(windows.path() / "Dravenholt.gif"));
    }
    std::printf("%s: %s at %dx%d: %d pixels differ outside text cells, %d inside\n", build.name, what, width, height,
                outside, inside);
}

class WineExport : public ::testing::TestWithParam<Build> {
protected:
    static void SetUpTestSuite() {
        day = new testsupport::TempDir;
        const CommandResult made = RunCommand(
            {"python3", DH_SOURCE_DIR "/tools/make_sample_data.py", "--whole-day", (day->path() / "Data").string()},
            day->path(), 120);
        ASSERT_EQ(made.exitCode, 0) << made.err;
    }
    static void TearDownTestSuite() {
        delete day;
        day = nullptr;
    }
    static testsupport::TempDir* day;
};
testsupport::TempDir* WineExport::day = nullptr;

TEST_P(WineExport, SampleDrawsAsOnLinuxAtThreeSizesAndTheWindowsOwn) {
    for (const char* size : {"640x480", "1000x700", "333x222", ""})
        CompareExports(GetParam(), "sample", testsupport::SampleDir() / "Data", size);
}

TEST_P(WineExport, WholeDayDataDrawsAsOnLinuxAtThreeSizes) {
    for (const char* size : {"800x600", "999x701", "123x77"})
        CompareExports(GetParam(), "whole day", day->path() / "Data", size);
}

// The same exit statuses, a second export replacing the first pair, and
// nothing of the run left in the registry.
TEST_P(WineExport, StatusesReplacementAndNoPlacementStored) {
    const Build& build = GetParam();
    const testsupport::TempDir dir;
    fs::create_directory_symlink(testsupport::SampleDir() / "Data", dir.path() / "Data");
    EXPECT_EQ(RunWindows(build, dir.path(), {"--export", "--size", "0x5"}).exitCode, 2);
    EXPECT_EQ(RunWindows(build, dir.path(), {"--bogus"}).exitCode, 2);
    const CommandResult big = RunWindows(build, dir.path(), {"--export", "--size", "3000x3000"});
    EXPECT_EQ(big.exitCode, 1);
    EXPECT_NE(big.err.find("does not fit"), std::string::npos) << big.err;

    ASSERT_EQ(RunWindows(build, dir.path(), {"--export", "--size", "200x100"}).exitCode, 0);
    ASSERT_EQ(RunWindows(build, dir.path(), {"--export", "--size", "300x150"}).exitCode, 0);
    EXPECT_EQ(testsupport::ParseImageMapScript(ReadFile(dir.path() / "DravenholtSummary.js")).width, 300);
    std::string error;
    const auto picture = testsupport::DecodeGif(dir.path() / "Dravenholt.gif", error);
    ASSERT_TRUE(picture) << error;
    EXPECT_EQ(picture->width, 300);
    EXPECT_EQ(testsupport::Entries(dir.path()), (std::set<std::string>{"Data", "Dravenholt.gif", "DravenholtSummary.js"}));

    // A folder where the picture goes: nothing written, each file said why.
    fs::remove(dir.path() / "Dravenholt.gif");
    fs::create_directory(dir.path() / "Dravenholt.gif");
    const CommandResult blocked = RunWindows(build, dir.path(), {"--export"});
    EXPECT_EQ(blocked.exitCode, 1);
    EXPECT_NE(blocked.err.find("could not write Dravenholt.gif"), std::string::npos) << blocked.err;
    EXPECT_NE(blocked.err.find("could not write DravenholtSummary.js"), std::string::npos) << blocked.err;

    const CommandResult query = RunCommand({build.loader, "reg", "query", "HKCU\\Software"}, dir.path());
    EXPECT_EQ(query.out.find("Tarvo"), std::string::npos) << query.out;
    EXPECT_EQ(query.out.find("Scratch"), std::string::npos) << query.out;
}

INSTANTIATE_TEST_SUITE_P(Builds, WineExport, ::testing::ValuesIn(Builds),
                         [](const ::testing::TestParamInfo<Build>& info) { return std::string(info.param.name); });

}  // namespace
