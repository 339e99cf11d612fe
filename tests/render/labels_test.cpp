// Annotation labels from Data\labels.txt: rectangles, connectors and marks,
// the reading rules, transparency and the image-map areas.
#include "render/labels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "export/image_map.h"
#include "render/main_chart.h"
#include "render/resources.h"
#include "support/test_support.h"

namespace {

constexpr COLORREF Background = RGB(1, 2, 3);  // never drawn by the labels
constexpr COLORREF White = RGB(255, 255, 255);
constexpr COLORREF Black = RGB(0, 0, 0);
constexpr COLORREF DarkBlue = RGB(0, 0, 153);  // fill 12: the text colour used here
constexpr COLORREF Red = RGB(204, 0, 0);       // brush 10: arrow heads and dots
constexpr COLORREF Grey = RGB(102, 102, 102);  // pen 14: outlines, stems, connectors

class Resources : public ::testing::Environment {
    void SetUp() override { render::CreateDrawingResources(); }
};
[[maybe_unused]] const auto* const resourcesEnvironment = ::testing::AddGlobalTestEnvironment(new Resources);

SIZE Measure(int font, const std::string& text) {
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, render::Font(font));
    SIZE size{0, 0};
    GetTextExtentPointA(dc, text.c_str(), static_cast<int>(text.size()), &size);
    DeleteDC(dc);
    return size;
}

std::string Show(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

class LabelsTest : public ::testing::Test {
protected:
    static constexpr int Width = 1400;
    static constexpr int Height = 600;
    static constexpr std::int32_t Top = 150;
    static constexpr std::int32_t Bottom = -1150;
    const RECT r_{30, 0, 1350, Height};

    void SetUp() override {
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateCompatibleBitmap(dc_, Width, Height);
        previous_ = SelectObject(dc_, bitmap_);
        LOGBRUSH logBrush{BS_SOLID, Background, 0};
        HBRUSH brush = CreateBrushIndirect(&logBrush);
        const RECT all{0, 0, Width, Height};
        FillRect(dc_, &all, brush);
        DeleteObject(brush);
        render::LabelRects.count = 0;
    }
    void TearDown() override {
        SelectObject(dc_, previous_);
        DeleteDC(dc_);
        DeleteObject(bitmap_);
    }
    void Draw(const std::string& labels) {
        TearDown();
        SetUp();
        dir_.Write("Data/labels.txt", labels);
        render::DrawAnnotationLabels(dc_, r_, Top, Bottom);
    }
    std::vector<std::string> Rects() const {
        std::vector<std::string> out;
        for (std::uint32_t i = 0; i < render::LabelRects.count; ++i)
            out.push_back(Show(render::LabelRects.rects[i]));
        return out;
    }
    int Count(COLORREF c, const RECT& box = RECT{0, 0, Width, Height}) const {
        int n = 0;
        for (int y = std::max<int>(box.top, 0); y < std::min<int>(box.bottom, Height); ++y) {
            for (int x = std::max<int>(box.left, 0); x < std::min<int>(box.right, Width); ++x) {
                n += GetPixel(dc_, x, y) == c;
            }
        }
        return n;
    }
    COLORREF At(int x, int y) const { return GetPixel(dc_, x, y); }
    // The anchor of a second and a value in hundredths of a percent.
    int X(int second) const { return r_.left + (second - 52950) * 2; }
    int Y(std::int64_t value) const { return static_cast<int>(r_.top + (Top - value) * Height / (Top - Bottom)); }
    RECT Box(int font, const std::string& text, int second, int value, bool endsAtAnchor) const {
        const SIZE s = Measure(font, text);
        const int left = endsAtAnchor ? X(second) - s.cx : X(second);
        return RECT{left, Y(value) - s.cy, left + s.cx, Y(value)};
    }

    testsupport::TempDir dir_;
    testsupport::ScopedCwd cwd_{dir_.path()};
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

TEST_F(LabelsTest, NoFileDrawsNothing) {
    render::DrawAnnotationLabels(dc_, r_, Top, Bottom);
    EXPECT_EQ(render::LabelRects.count, 0u);
    EXPECT_EQ(Count(Background), Width * Height);
}

TEST_F(LabelsTest, EveryKindStandsOnItsAnchorAndKindsTwoAndFourEndThere) {
    Draw(
        "T|14:44:00|-2.50|0|12|0|||kind zero||\nT|14:45:00|-1.00|1|12|1|||kind one||\n"
        "T|14:46:00|0.50|2|12|2|||kind two||\nT|14:47:00|-3.00|0|12|3|||kind three||\n"
        "T|14:48:00|-4.25|0|12|4|||kind four||\nT|14:49:00|-5.00|0|12|7|||kind seven||\n");
    const std::vector<RECT> want = {Box(0, "kind zero", 53040, -250, false), Box(1, "kind one", 53100, -100, false),
                                    Box(2, "kind two", 53160, 50, true),     Box(0, "kind three", 53220, -300, false),
                                    Box(0, "kind four", 53280, -425, true),  Box(0, "kind seven", 53340, -500, false)};
    ASSERT_EQ(Rects().size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(Rects()[i], Show(want[i])) << i;
        // Opaque fonts cover the box with white; only the text's ink is on it.
        const RECT& b = want[i];
        EXPECT_GT(Count(DarkBlue, b), 0) << i;
        EXPECT_EQ(Count(White, b) + Count(DarkBlue, b), (b.right - b.left) * (b.bottom - b.top)) << i;
    }
}

TEST_F(LabelsTest, MarksWhenTheTargetIsEmptyOrOutsideTheWindow) {
    const int cy = Measure(0, "mark").cy;
    const int a = cy - 4, w = cy - 2;
    const int x = X(53040), y = Y(-250), midY = (y - cy + y) / 2;
    // Kind 1: a red head pointing down, left of the anchor, with a stem from the text's middle.
    Draw("T|14:44:00|-2.50|0|12|1|||mark||\n");
    EXPECT_GT(Count(Red), 0);
    EXPECT_EQ(Count(Red), Count(Red, RECT{x - w, y + 3 * a, x + 1, y + 4 * a + 1}));
    EXPECT_EQ(At((2 * x - w) / 2, midY), Grey);
    // Kind 2: pointing up, right of the anchor; a target before the window is no target.
    Draw("T|14:44:00|-2.50|0|12|2|14:00:00|1.00|mark||\n");
    EXPECT_GT(Count(Red), 0);
    EXPECT_EQ(Count(Red), Count(Red, RECT{x, y - 5 * a, x + w + 1, y - 4 * a + 1}));
    EXPECT_EQ(At((2 * x + w) / 2, midY), Grey);
    // Kind 3: a red dot just left of the anchor.
    Draw("T|14:44:00|-2.50|0|12|3|||mark||\n");
    EXPECT_EQ(At(x - cy / 2, midY + 1), Red);
    EXPECT_EQ(Count(Red), Count(Red, RECT{x - cy + 1, midY - cy / 2 + 1, x, y}));
    // Kinds 0 and 4 have none.
    Draw("T|14:44:00|-2.50|0|12|0|||mark||\nT|14:45:00|-2.50|0|12|4|||mark||\n");
    EXPECT_EQ(Count(Red) + Count(Grey), 0);
}

TEST_F(LabelsTest, ConnectorReplacesTheMarkWhenTheTargetIsInTheWindow) {
    const int cy = Measure(0, "connected").cy;
    for (int kind : {1, 2, 3}) {
        Draw("T|14:44:00|-2.50|0|12|" + std::to_string(kind) + "|14:43:00|1.00|connected||\n");
        EXPECT_EQ(Count(Red), 0) << kind;
        // From one pixel left of the target's slot to one left of the anchor
        // at the text's middle height (not drawn): one pixel a row.
        EXPECT_EQ(At(X(52980) - 1, Y(100)), Grey) << kind;
        EXPECT_NE(At(X(53040) - 1, Y(-250) - cy / 2), Grey) << kind;
        EXPECT_EQ(Count(Grey), Y(-250) - cy / 2 - Y(100)) << kind;
    }
}

TEST_F(LabelsTest, ReadingRules) {
    Draw(
        ";T|14:59:00|0|0|12|0|||a comment does not end the reading||\n"
        " ;T|14:43:00|0|0|12\n"   // not a comment, but too short
        "T|14:43:00|0|0|12|0|\n"  // 6 fields: the empty one after the last '|' does not count
        "T|14:42:29|0|0|12|0|||before the window||\n"
        "T|14:42:30.999|0|0|12|0|||first slot||\n"
        "X|14:45:00|0|0|12|0|||not a label||\n"
        "T|14:43:00|0.50|0|12|0|14:44:00\n"  // exactly 7 fields: empty text, connector from value 0
        "T|14:53:00.000|-1.00|0|12|4|||last slot||\n"
        "X|14:53:01|0|0|12|0|||after the window, of any type, ends the reading||\n"
        "T|14:50:00|0|0|12|0|||never read||\n");
    const std::vector<std::string> want = {Show(Box(0, "first slot", 52950, 0, false)),
                                           Show(Box(0, "", 52980, 50, false)),
                                           Show(Box(0, "last slot", 53580, -100, true))};
    EXPECT_EQ(Rects(), want);
    EXPECT_EQ(At(X(53040) - 1, Y(0)), Grey);  // the connector starts at the target, value 0
}

TEST_F(LabelsTest, LargeFontIsTransparentAndOutOfRangeIndicesUseTheLastEntry) {
    const std::string longText(200, 'W');
    Draw(
        "T|14:44:00|-2.50|3|12|0|||Big||\nT|14:46:00|-5.00|9|99|0|||Huge||\n"
        "T|14:43:00|-7.00|0|12|0|||" +
        longText + "||\n");
    // Font 9 reads as font 3, colour 99 as 15 (black); text is cut at 127 characters.
    const std::vector<RECT> boxes = {Box(3, "Big", 53040, -250, false), Box(3, "Huge", 53160, -500, false),
                                     Box(0, longText.substr(0, 127), 52980, -700, false)};
    EXPECT_EQ(Rects(), (std::vector<std::string>{Show(boxes[0]), Show(boxes[1]), Show(boxes[2])}));
    for (int i : {0, 1}) {
        EXPECT_EQ(Count(White, boxes[i]), 0) << i;
        EXPECT_GT(Count(Background, boxes[i]), 0) << i;
        EXPECT_GT(Count(i == 0 ? DarkBlue : Black, boxes[i]), 0) << i;
    }
    EXPECT_EQ(Count(Background, boxes[2]), 0);
}

TEST_F(LabelsTest, LabelsBeyondTheListAreDrawnButNotRecorded) {
    std::string labels;
    for (int i = 0; i < 1030; ++i)
        labels += "T|14:43:00|0|0|12|0|||x||\n";
    Draw(labels + "T|14:50:00|-5.00|0|12|0|||last||\n");
    EXPECT_EQ(render::LabelRects.count, render::LabelRectCapacity);
    EXPECT_EQ(Count(Background, Box(0, "last", 53400, -500, false)), 0);
}

TEST_F(LabelsTest, LinkedLabelsBecomeImageMapAreasOnlyWhileTheScriptIsOpen) {
    const std::string labels =
        "T|14:44:00|-2.50|0|12|2|||first|https://example.com/a|Alt A\n"
        "T|14:45:00|-1.00|0|12|0|||no link||ignored\n"
        "T|14:46:00|0.50|1|12|0|||second|b.html|\n";
    Draw(labels);  // no script open: nothing is written
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / exporting::ImageMapScriptName));

    render::LabelRects.count = 0;
    exporting::OpenImageMapScript(Width, Height);
    render::DrawAnnotationLabels(dc_, r_, Top, Bottom);
    exporting::CloseImageMapScript();
    ASSERT_EQ(Rects().size(), 3u);
    auto area = [](const std::string& coords, const std::string& alt, const std::string& link) {
        return "document.write(\"  <area shape='rect' coords='" + coords + "' alt='" + alt + "' href='" + link +
               "' />\");\r\n";
    };
    const std::string script = testsupport::ReadFile(dir_.path() / exporting::ImageMapScriptName);
    const std::string areas = area(Rects()[0], "Alt A", "https://example.com/a") + area(Rects()[2], "", "b.html");
    EXPECT_NE(script.find("<map name='dhmap'>\");\r\n" + areas + "document.write(\"</map>\");\r\n"), std::string::npos)
        << script;
}

}  // namespace
