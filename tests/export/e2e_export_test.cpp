// The exported picture end to end, read back by an independent decoder
// (giflib): the sample chart exported by a scripted right click is exactly
// the 256-colour snapshot of what was painted; pictures drawn through the GDI
// come back with their own colours when they have few enough, and with the
// snapshot's nearest colours otherwise; and the command line's --size gives a
// picture and script of that size, while bad sizes write nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "export/gif_writer.h"
#include "export/snapshot.h"
#include "platform/gdi_internal.h"
#include "platform/user_internal.h"
#include "shell/chart_window.h"
#include "shell/main_dialog.h"
#include "shell/paint.h"
#include "support/e2e_support.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using testsupport::CommandResult;
using testsupport::DecodedGif;
using testsupport::MemoryPicture;
using testsupport::RunCommand;

namespace {

// ------------------------------------------------------------ snapshot bits

// A snapshot's picture read straight from its documented layout (a bitmap
// file from offset 4 on), not through the encoder's view of it.
struct SnapshotPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> table;   // 0x00RRGGBB
    std::vector<std::uint8_t> indices;  // top row first
};

std::uint32_t LE(const std::uint8_t* at, int size) {
    std::uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = (v << 8) | at[i];
    return v;
}

std::optional<SnapshotPicture> ReadSnapshot(const exporting::DibSnapshot& snapshot) {
    if (!snapshot || snapshot.size < 58)
        return std::nullopt;
    const std::uint8_t* b = snapshot.block.get();
    if (LE(b, 4) + 4 != snapshot.size || b[4] != 'B' || b[5] != 'M' || LE(b + 18, 4) != 40)
        return std::nullopt;
    SnapshotPicture p;
    p.width = static_cast<int>(LE(b + 22, 4));
    p.height = static_cast<int>(LE(b + 26, 4));
    const std::uint32_t bits = LE(b + 32, 2);
    if ((bits != 8 && bits != 4) || p.width <= 0 || p.height <= 0)
        return std::nullopt;
    const std::uint32_t used = LE(b + 50, 4);
    const std::uint32_t colors = used != 0 ? used : (1u << bits);
    const std::uint64_t pixelsAt = 4 + std::uint64_t{LE(b + 14, 4)};
    const std::uint64_t stride = (std::uint64_t{bits} * static_cast<std::uint32_t>(p.width) + 31) / 32 * 4;
    if (58 + 4 * std::uint64_t{colors} > pixelsAt || pixelsAt + stride * p.height > snapshot.size)
        return std::nullopt;
    for (std::uint32_t i = 0; i < colors; ++i) {
        const std::uint8_t* e = b + 58 + 4 * i;
        p.table.push_back((std::uint32_t{e[2]} << 16) | (std::uint32_t{e[1]} << 8) | e[0]);
    }
    for (int y = 0; y < p.height; ++y) {
        const std::uint8_t* row = b + pixelsAt + stride * static_cast<std::uint64_t>(p.height - 1 - y);
        for (int x = 0; x < p.width; ++x) {
            const std::uint8_t byte = bits == 8 ? row[x] : row[x / 2];
            p.indices.push_back(bits == 8 ? byte : (x % 2 == 0 ? byte >> 4 : byte & 0x0F));
        }
    }
    return p;
}

int Distance(std::uint32_t a, std::uint32_t b) {
    const int dr = static_cast<int>((a >> 16) & 0xFF) - static_cast<int>((b >> 16) & 0xFF);
    const int dg = static_cast<int>((a >> 8) & 0xFF) - static_cast<int>((b >> 8) & 0xFF);
    const int db = static_cast<int>(a & 0xFF) - static_cast<int>(b & 0xFF);
    return dr * dr + dg * dg + db * db;
}

// The GIF is the snapshot: same size, one full-size image without a local
// table, the snapshot's colour table padded with black to the GIF's table
// size, and the same index at every pixel.
void ExpectGifIsSnapshot(const DecodedGif& gif, const SnapshotPicture& snap) {
    EXPECT_EQ(gif.width, snap.width);
    EXPECT_EQ(gif.height, snap.height);
    EXPECT_EQ(gif.imageCount, 1);
    EXPECT_EQ(gif.imageLeft, 0);
    EXPECT_EQ(gif.imageTop, 0);
    ASSERT_EQ(gif.imageWidth, snap.width);
    ASSERT_EQ(gif.imageHeight, snap.height);
    EXPECT_FALSE(gif.interlaced);
    EXPECT_FALSE(gif.localColorMap);
    std::size_t tableSize = 2;
    while (tableSize < snap.table.size())
        tableSize *= 2;
    ASSERT_EQ(gif.colors.size(), tableSize);
    for (std::size_t i = 0; i < tableSize; ++i)
        EXPECT_EQ(gif.colors[i], i < snap.table.size() ? snap.table[i] : 0u) << "colour " << i;
    ASSERT_EQ(gif.indices.size(), snap.indices.size());
    const auto diff = std::mismatch(gif.indices.begin(), gif.indices.end(), snap.indices.begin());
    if (diff.first != gif.indices.end()) {
        const auto at = static_cast<int>(diff.first - gif.indices.begin());
        ADD_FAILURE() << "first differing pixel (" << at % snap.width << ", " << at / snap.width << "): gif "
                      << int{*diff.first} << ", snapshot " << int{*diff.second};
    }
}

// What the decoded picture says about the true colours `truth` (0x00RRGGBB,
// top row first): with few colours every pixel decodes to its own colour;
// with more, each colour decodes to one table entry nearest to it.
struct ColourCheck {
    std::size_t distinct = 0;
    double meanError = 0;  // mean squared RGB distance per pixel
};
ColourCheck ExpectColoursFaithful(const DecodedGif& gif, const std::vector<std::uint32_t>& truth) {
    ColourCheck check;
    std::unordered_map<std::uint32_t, std::uint8_t> indexOf;
    std::uint64_t errorSum = 0;
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < truth.size() && i < gif.indices.size(); ++i) {
        const std::uint32_t colour = truth[i] & 0xFFFFFF;
        const std::uint8_t index = gif.indices[i];
        const auto [it, added] = indexOf.emplace(colour, index);
        if (!added && it->second != index && wrong++ == 0)
            ADD_FAILURE() << "colour " << std::hex << colour << " decodes to two table entries";
        if (index < gif.colors.size())
            errorSum += static_cast<std::uint64_t>(Distance(colour, gif.colors[index]));
    }
    check.distinct = indexOf.size();
    check.meanError = truth.empty() ? 0.0 : static_cast<double>(errorSum) / static_cast<double>(truth.size());
    for (const auto& [colour, index] : indexOf) {
        if (index >= gif.colors.size()) {
            ADD_FAILURE() << "index " << int{index} << " beyond the colour table";
            continue;
        }
        if (check.distinct <= 256) {
            EXPECT_EQ(gif.colors[index], colour) << "a picture of " << check.distinct << " colours is exact";
            continue;
        }
        int best = std::numeric_limits<int>::max();
        for (std::uint32_t entry : gif.colors)
            best = std::min(best, Distance(colour, entry));
        EXPECT_EQ(Distance(colour, gif.colors[index]), best)
            << "colour " << std::hex << colour << " decodes to " << gif.colors[index] << ", not to a nearest entry";
    }
    return check;
}

std::vector<std::uint32_t> PixelsOf(const MemoryPicture& picture) {
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x)
            pixels.push_back(picture.Pixel(x, y));
    }
    return pixels;
}

DecodedGif MustDecode(const fs::path& file) {
    std::string error;
    auto gif = testsupport::DecodeGif(file, error);
    EXPECT_TRUE(gif.has_value()) << file << ": " << error;
    return gif.value_or(DecodedGif{});
}

#define SKIP_WITHOUT_GIFLIB()     \
    if (!testsupport::HaveGiflib) \
    GTEST_SKIP() << "giflib (libgif-dev) is not installed"

std::set<std::string> Entries(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

// ------------------------------------------------------------ the sample chart

class SampleChartExport : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy(testsupport::SampleDir() / "Data", dir.path() / "Data", fs::copy_options::recursive);
        platform::ResetUserState();
        shell::DeleteBackBuffer();
        platform::HeadlessConfig config;
        config.script = {platform::InputEvent::RightClicked(10, 10)};
        platform::UseHeadlessBackend(std::move(config));
    }
    void TearDown() override {
        platform::ResetUserState();
        shell::DeleteBackBuffer();
    }

    // The entry's message loop until the scripted right click, which comes
    // once the first paint is on the screen, has been handled; the dialog
    // is left open.
    HWND RunUntilExported() {
        HWND dialog =
            CreateDialogParamA(nullptr, MAKEINTRESOURCEA(shell::MainDialogResource), nullptr, shell::MainDialogProc, 0);
        if (dialog == nullptr)
            return nullptr;
        ShowWindow(dialog, SW_SHOWNORMAL);
        MSG msg{};
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            if (!IsDialogMessageA(dialog, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
            if (msg.message == WM_RBUTTONDOWN)
                return dialog;
        }
        return nullptr;
    }

    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd{dir.path()};
};

TEST_F(SampleChartExport, GifIsExactlyTheSnapshotOfTheChartJustPainted) {
    SKIP_WITHOUT_GIFLIB();
    HWND dialog = RunUntilExported();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(fs::exists(dir.path() / "Dravenholt.gif"));
    const DecodedGif gif = MustDecode(dir.path() / "Dravenholt.gif");

    // The same picture captured again, as the export captured it.
    const exporting::DibSnapshot snapshot =
        exporting::CaptureWindow(GetDlgItem(dialog, shell::ChartPlaceholderId), 8, 256);
    const auto snap = ReadSnapshot(snapshot);
    ASSERT_TRUE(snap.has_value());
    ASSERT_EQ(snap->table.size(), 256u);
    ExpectGifIsSnapshot(gif, *snap);

    // Its size is the chart area's, as the title and the script state it.
    char title[128]{};
    GetWindowTextA(dialog, title, sizeof title);
    int titleWidth = -1, titleHeight = -1;
    ASSERT_EQ(std::sscanf(title, "Tarvo Draven Holt wd %d ht %d", &titleWidth, &titleHeight), 2) << title;
    EXPECT_EQ(gif.width, titleWidth);
    EXPECT_EQ(gif.height, titleHeight);
    const auto script = testsupport::ParseImageMapScript(testsupport::ReadFile(dir.path() / "DravenholtSummary.js"));
    ASSERT_TRUE(script.wellFormed);
    EXPECT_EQ(script.width, gif.width);
    EXPECT_EQ(script.height, gif.height);

    // Against the painted picture itself: the chart has more colours than
    // the table holds, so each decodes to one of its nearest entries.
    ASSERT_NE(shell::BackBuffer, nullptr);
    const platform::Surface& painted = shell::BackBuffer->surface;
    ASSERT_EQ(painted.width, gif.width);
    ASSERT_EQ(painted.height, gif.height);
    const ColourCheck check = ExpectColoursFaithful(gif, painted.pixels);
    RecordProperty("chart_colours", static_cast<int>(check.distinct));
    std::printf("sample chart %dx%d: %zu colours, mean squared RGB error %.3f per pixel\n", gif.width, gif.height,
                check.distinct, check.meanError);
    // White, the background, is kept exact.
    std::map<std::uint32_t, std::size_t> count;
    for (std::uint32_t p : painted.pixels)
        ++count[p & 0xFFFFFF];
    EXPECT_GT(count[0xFFFFFF], painted.pixels.size() / 2);
}

TEST_F(SampleChartExport, ProgramRunFromTheCommandLineWritesTheSameFiles) {
    HWND dialog = RunUntilExported();
    ASSERT_NE(dialog, nullptr);
    const testsupport::TempDir other;
    fs::copy(testsupport::SampleDir() / "Data", other.path() / "Data", fs::copy_options::recursive);
    const CommandResult run = RunCommand({DH_BINARY, "--export"}, other.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const std::string gif = testsupport::ReadFile(dir.path() / "Dravenholt.gif");
    ASSERT_GT(gif.size(), 800u);
    EXPECT_TRUE(gif == testsupport::ReadFile(other.path() / "Dravenholt.gif")) << "the two pictures differ";
    EXPECT_EQ(testsupport::ReadFile(other.path() / "DravenholtSummary.js"),
              testsupport::ReadFile(dir.path() / "DravenholtSummary.js"));
    EXPECT_EQ(Entries(other.path()), (std::set<std::string>{"Data", "Dravenholt.gif", "DravenholtSummary.js"}));
}

// ------------------------------------------------------ pictures drawn here

TEST(GdiPictureGif, FewColoursDecodeToTheBitmapsOwnColours) {
    SKIP_WITHOUT_GIFLIB();
    testsupport::TempDir dir;
    // 8 bits: a grid of 200 colours, lines, a circle: 203 colours in all.
    {
        MemoryPicture picture(301, 203);
        picture.Fill(RECT{0, 0, 301, 203}, RGB(255, 255, 255));
        for (int i = 0; i < 200; ++i) {
            const int cx = (i % 20) * 15, cy = (i / 20) * 20;
            picture.Fill(RECT{cx, cy, cx + 14, cy + 19}, RGB(i, 255 - i, (i * 37) % 256));
        }
        HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
        LOGBRUSH lb{BS_SOLID, RGB(250, 0, 250), 0};
        HBRUSH brush = CreateBrushIndirect(&lb);
        HGDIOBJ oldPen = SelectObject(picture.dc, pen);
        HGDIOBJ oldBrush = SelectObject(picture.dc, brush);
        MoveToEx(picture.dc, 0, 202, nullptr);
        LineTo(picture.dc, 300, 0);
        Ellipse(picture.dc, 100, 50, 180, 130);
        SelectObject(picture.dc, oldPen);
        SelectObject(picture.dc, oldBrush);
        DeleteObject(pen);
        DeleteObject(brush);

        const std::vector<std::uint32_t> truth = PixelsOf(picture);
        ASSERT_LE(std::set<std::uint32_t>(truth.begin(), truth.end()).size(), 256u);
        const exporting::DibSnapshot snapshot = exporting::CaptureDib(picture.dc, 301, 203, 8, 256);
        const auto snap = ReadSnapshot(snapshot);
        ASSERT_TRUE(snap.has_value());
        ASSERT_TRUE(testsupport::SaveSnapshotAsGif(snapshot, dir.path() / "few.gif"));
        const DecodedGif gif = MustDecode(dir.path() / "few.gif");
        ExpectGifIsSnapshot(gif, *snap);
        EXPECT_EQ(ExpectColoursFaithful(gif, truth).meanError, 0.0);
    }
    // 4 bits with 16 entries: 12 colours, an odd width (half-byte pixels).
    {
        MemoryPicture picture(37, 11);
        for (int i = 0; i < 12; ++i)
            picture.Fill(RECT{i * 3, 0, i * 3 + 3, 11}, RGB(20 * i, 200 - 10 * i, 7 * i));
        picture.Fill(RECT{36, 0, 37, 11}, RGB(0, 200, 0));  // colour 0 again, at the last (even) column
        const std::vector<std::uint32_t> truth = PixelsOf(picture);
        const exporting::DibSnapshot snapshot = exporting::CaptureDib(picture.dc, 37, 11, 4, 16);
        const auto snap = ReadSnapshot(snapshot);
        ASSERT_TRUE(snap.has_value());
        ASSERT_TRUE(testsupport::SaveSnapshotAsGif(snapshot, dir.path() / "four.gif"));
        const DecodedGif gif = MustDecode(dir.path() / "four.gif");
        ExpectGifIsSnapshot(gif, *snap);
        EXPECT_EQ(gif.colors.size(), 16u);
        EXPECT_EQ(ExpectColoursFaithful(gif, truth).meanError, 0.0);
    }
}

TEST(GdiPictureGif, ManyColoursDecodeToTheSnapshotsNearestColours) {
    SKIP_WITHOUT_GIFLIB();
    testsupport::TempDir dir;
    // A smooth field of 16384 colours under a few solid bars.
    MemoryPicture picture(256, 96);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 256; ++x)
            SetPixel(picture.dc, x, y, RGB(x, y * 4, (x + y * 4) / 2));
    }
    picture.Fill(RECT{0, 64, 256, 96}, RGB(255, 255, 255));
    picture.Fill(RECT{10, 20, 60, 80}, RGB(102, 0, 0));
    picture.Fill(RECT{200, 0, 210, 96}, RGB(0, 0, 153));

    const std::vector<std::uint32_t> truth = PixelsOf(picture);
    ASSERT_GT(std::set<std::uint32_t>(truth.begin(), truth.end()).size(), 256u);
    const exporting::DibSnapshot snapshot = exporting::CaptureDib(picture.dc, 256, 96, 8, 256);
    const auto snap = ReadSnapshot(snapshot);
    ASSERT_TRUE(snap.has_value());
    ASSERT_TRUE(testsupport::SaveSnapshotAsGif(snapshot, dir.path() / "many.gif"));
    const DecodedGif gif = MustDecode(dir.path() / "many.gif");
    ExpectGifIsSnapshot(gif, *snap);
    const ColourCheck check = ExpectColoursFaithful(gif, truth);
    EXPECT_GT(check.meanError, 0.0);
    // The frequent solid colours are kept exactly.
    const std::uint32_t white = 0xFFFFFF, darkRed = 0x660000, darkBlue = 0x000099;
    for (std::uint32_t colour : {white, darkRed, darkBlue})
        EXPECT_NE(std::find(gif.colors.begin(), gif.colors.end(), colour), gif.colors.end()) << std::hex << colour;
}

// ------------------------------------------------------------ command line

class ExportCommand : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy(testsupport::SampleDir() / "Data", dir.path() / "Data", fs::copy_options::recursive);
    }
    CommandResult Run(std::vector<std::string> args) {
        args.insert(args.begin(), DH_BINARY);
        return RunCommand(args, dir.path());
    }
    testsupport::TempDir dir;
};

TEST_F(ExportCommand, SizeGivesAPictureAndScriptOfThatSize) {
    SKIP_WITHOUT_GIFLIB();
    const CommandResult run = Run({"--export", "--size", "640x480"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const DecodedGif gif = MustDecode(dir.path() / "Dravenholt.gif");
    EXPECT_EQ(gif.width, 640);
    EXPECT_EQ(gif.height, 480);
    EXPECT_EQ(gif.imageWidth, 640);
    EXPECT_EQ(gif.imageHeight, 480);
    EXPECT_EQ(gif.colors.size(), 256u);
    // More than a blank page: the chart's lines and fills are there.
    EXPECT_GT(std::set<std::uint8_t>(gif.indices.begin(), gif.indices.end()).size(), 8u);

    const std::string text = testsupport::ReadFile(dir.path() / "DravenholtSummary.js");
    EXPECT_EQ(text.substr(0, text.find("\r\n")),
              "document.write(\"<img src='Dravenholt.gif' width='640' height='480' alt='Dravenholt' "
              "usemap='#dhmap'style='border: 1px lightgrey solid;' />\");");
    const auto script = testsupport::ParseImageMapScript(text);
    EXPECT_TRUE(script.wellFormed) << text;
}

TEST_F(ExportCommand, BadSizesExitTwoWithAMessageAndWriteNothing) {
    const std::vector<std::vector<std::string>> bad = {
        {"--export", "--size", "0x10"}, {"--export", "--size", "40000x10"}, {"--export", "--size", "abc"}};
    for (const auto& args : bad) {
        const CommandResult run = Run(args);
        EXPECT_EQ(run.exitCode, 2) << args.back();
        EXPECT_NE(run.err.find("size"), std::string::npos) << args.back() << ": " << run.err;
        EXPECT_EQ(run.out, "") << args.back();
        EXPECT_EQ(Entries(dir.path()), std::set<std::string>{"Data"}) << args.back();
    }
    // Files of an earlier export stay as they were.
    ASSERT_EQ(Run({"--export", "--size", "320x200"}).exitCode, 0);
    const std::string gif = testsupport::ReadFile(dir.path() / "Dravenholt.gif");
    const std::string script = testsupport::ReadFile(dir.path() / "DravenholtSummary.js");
    for (const auto& args : bad) {
        EXPECT_EQ(Run(args).exitCode, 2) << args.back();
        EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"Data", "Dravenholt.gif", "DravenholtSummary.js"}));
        EXPECT_TRUE(testsupport::ReadFile(dir.path() / "Dravenholt.gif") == gif) << args.back();
        EXPECT_EQ(testsupport::ReadFile(dir.path() / "DravenholtSummary.js"), script) << args.back();
    }
}

}  // namespace
