// The main chart (scale, axes, series lines with their plotY) and the
// annotation labels drawn over it. Pixels that fonts cannot move are checked
// against positions computed here from the data.
#include "render/main_chart.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <set>

#include "render/labels.h"
#include "render/render_test_support.h"

namespace {

using namespace rendertest;
using marketdata::SecondCount;

constexpr COLORREF GridGrey = RGB(204, 204, 204), DotGrey = RGB(96, 96, 96), DarkGreen = RGB(0, 102, 0);
constexpr COLORREF DarkBlue = RGB(0, 0, 153), Red = RGB(204, 0, 0), Grey = RGB(102, 102, 102);  // labels' colours
constexpr RECT Axes{40, 0, 399, 600};

// Rows of the multiples of `step` in (bottom + gap, top].
std::set<int> LevelRows(std::int64_t top, std::int64_t bottom, int step, int gap) {
    std::set<int> rows;
    for (std::int64_t v = top; v > bottom + gap; --v)
        if (v % step == 0)
            rows.insert(static_cast<int>((top - v) * Axes.bottom / (top - bottom)));
    return rows;
}

TEST(MainChart, ScaleRoundsAwayFromZeroAndAxesMarkPercentsFifthsAndMinutes) {
    const int timeCy = Measure(0, "14:43").cy;
    // 137/-912: +1 % to -9 % (not -10 %), dots 140, 120, ..., -860.
    for (const auto& [max, min, top, bottom, labelCount, dotCount] :
         {std::tuple{137, -912, 150, -1150, 11u, 51u}, std::tuple{0, 0, 10, -250, 1u, 0u},
          std::tuple{-25, -25, -20, -250, 0u, 0u}, std::tuple{150, 150, 160, 50, 0u, 0u}}) {
        const render::MainScaleValues s = render::ScaleForRange(max, min);
        ASSERT_EQ(std::pair(s.scaleTop, s.scaleBottom), std::pair(top, bottom)) << max << " " << min;
        Picture p(400, 600);
        render::DrawChartAxes(p.dc, Axes, s.scaleTop, s.scaleBottom);
        const auto grid = LevelRows(top, bottom, 100, 210), dots = LevelRows(top, bottom, 20, 270);
        ASSERT_TRUE(grid.size() == labelCount && dots.size() == dotCount) << grid.size() << " " << dots.size();
        // Grid lines with a label box left of them, dots at 14:42:40 (slot 10),
        // the minute line at 14:43 (slot 30) between its two time labels.
        for (int y = 0; y < 600; ++y) {
            ASSERT_EQ(p(Axes.left + 3, y), grid.count(y) ? GridGrey : Background) << y;
            ASSERT_EQ(p(Axes.left + 20, y), dots.count(y) ? DotGrey : grid.count(y) ? GridGrey : Background) << y;
            ASSERT_TRUE(!grid.count(y) || p(Axes.left - 1, y) != Background) << y;
            const COLORREF minute = p(Axes.left + 60, y);
            ASSERT_TRUE(y >= timeCy && y < 600 - timeCy ? minute == GridGrey : minute == White || minute == Black);
        }
    }
}

class MainChartSeries : public InFolder {  // no labels file here
protected:
    static void Fill(marketdata::SeriesTable& table, const std::function<std::int32_t(std::uint32_t)>& value) {
        table = std::make_unique<marketdata::Sample[]>(SecondCount);
        for (std::uint32_t i = 0; i < SecondCount; ++i)
            table[i] = marketdata::Sample{value(i), 12345, 0, 0};
    }
};

TEST_F(MainChartSeries, ScaleFromThePriceSeriesLinesEndOnTheNarrowedEdgeExtremesPaint) {
    // The slot on the narrowed right edge (even width) or one pixel beyond it
    // (odd) rises to 137 and ends there; the fall to -912 after it is not
    // drawn, yet sets the scale. Nothing from the edge on gets a plotY.
    for (int margin : {31, 30}) {
        const int right = 399 - margin, zero = 46;  // zero: 150 * 400 / 1300
        const std::uint32_t edge = static_cast<std::uint32_t>(right - 29) / 2;
        Fill(marketdata::SpySeries, [&](std::uint32_t i) { return i == edge ? 137 : i == edge + 1 ? -912 : 0; });
        Fill(marketdata::SpyVwSeries, [](std::uint32_t) { return 5000; });  // not part of the scale
        Picture p(400, 400);
        render::DrawMainChart(p.dc, {30, 0, 399, 400}, margin);
        ASSERT_EQ(std::pair(render::MainScale.scaleTop, render::MainScale.scaleBottom), std::pair(150, -1150));
        for (std::uint32_t i = 0; i < SecondCount; ++i)
            ASSERT_EQ(marketdata::SpySeries[i].plotY, i < edge ? zero : 12345) << margin << " " << i;
        const int end = 30 + 2 * static_cast<int>(edge) - 2;  // where the rise starts
        EXPECT_EQ(p.Count(DarkGreen, {30, zero, end + 1, zero + 1}), end - 29) << margin;
        EXPECT_GT(p.Count(DarkGreen, {right - 2, 5, right + 1, zero}), 0) << margin;
        EXPECT_EQ(p.Count(DarkGreen, {right - 2, zero + 1, right + 4, 400}), 0) << margin;
        EXPECT_EQ(p.Count(DarkGreen, {right + 1, 0, right + 4, 400}) + (p(right, 4) == DarkGreen), 0) << margin;
    }
    EXPECT_EQ(render::ValueToY(INT32_MIN, {0, 100, 10, 30100}, 1, 0), INT32_MAX);  // far off stays far off
    // Billions of levels, yet every row gets its grid line and dot once.
    Picture p(600, 300);
    render::DrawChartAxes(p.dc, {40, 0, 600, 300}, INT32_MAX, INT32_MIN);
    EXPECT_EQ(p.Count(GridGrey, {43, 0, 44, 300}) + p.Count(DotGrey, {60, 0, 61, 300}), 600);
    // A first price of 0.01 then 100.00: a move of 999900 percent.
    Fill(marketdata::SpySeries, [](std::uint32_t i) { return i == 0 ? 0 : 99990000; });
    Picture chart(1801, 977);
    render::DrawMainChart(chart.dc, {25, 0, 1800, 977}, 25);
    EXPECT_EQ(std::pair(render::MainScale.scaleTop, render::MainScale.scaleBottom), std::pair(99990010, -250));
    EXPECT_EQ(chart(45, 500), DotGrey);
}

class Labels : public InFolder {
protected:
    static constexpr RECT R{30, 0, 1350, 600};  // scale 150 .. -1150
    void Draw(const std::string& file) {
        dir.Write("Data/labels.txt", file);
        render::LabelRects.count = 0;
        p = std::make_unique<Picture>(1400, 600);
        render::DrawAnnotationLabels(p->dc, R, 150, -1150);
    }
    static int X(int second) { return R.left + (second - 52950) * 2; }
    static int Y(std::int64_t value) { return static_cast<int>((150 - value) * 600 / 1300); }
    static RECT Box(int font, const std::string& text, int second, int value, bool endsAtAnchor = false) {
        const SIZE s = Measure(font, text);
        const int left = endsAtAnchor ? X(second) - s.cx : X(second);
        return RECT{left, Y(value) - s.cy, left + s.cx, Y(value)};
    }
    std::unique_ptr<Picture> p;
};

TEST_F(Labels, ReadingRulesRectanglesOfEveryKindClampsAndAreas) {
    const std::string longText(200, 'W');
    Draw(
        ";T|14:59:00|0|0|12|0|||a comment does not end the reading||\n"
        " ;T|14:43:00|0|0|12\nT|14:43:00|0|0|12|0|\n"  // too short; 6 fields, the empty last does not count
        "T|14:42:29|0|0|12|0|||before the window||\nT|14:42:30.999|-7.00|0|12|0|||" +
        longText + "|https://a.example/|Alt A\nT|14:44:00|-2.50|0|12|0|||kind zero||no link\n" +
        "X|14:44:30|0|0|12|0|||not a label||\nT|14:45:00|-1.00|1|12|1|||kind one||\n"
        "T|14:46:00|0.50|2|12|2|||kind two|b.html|\nT|14:47:00|-3.00|3|12|3|||kind three||\n"
        "T|14:48:00|-4.25|9|99|4|||kind four||\nT|14:53:00.000|-5.00|0|12|7|||last slot||\n"
        "X|14:53:01|0|0|12|0|||after the window, of any type, ends the reading||\nT|14:50:00|0|0|12|0|||never||\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / exporting::ImageMapScriptName));  // no script open
    // In file order. Font 9 reads as 3, colour 99 as 15 (black); the text is cut at 127 characters.
    const std::tuple<int, std::string, int, int, bool, COLORREF> want[] = {
        {0, longText.substr(0, 127), 52950, -700, false, DarkBlue},
        {0, "kind zero", 53040, -250, false, DarkBlue},
        {1, "kind one", 53100, -100, false, DarkBlue},
        {2, "kind two", 53160, 50, true, DarkBlue},
        {3, "kind three", 53220, -300, false, DarkBlue},
        {3, "kind four", 53280, -425, true, Black},
        {0, "last slot", 53580, -500, false, DarkBlue}};
    ASSERT_EQ(render::LabelRects.count, std::size(want));
    RECT box[std::size(want)];
    for (std::size_t i = 0; i < std::size(want); ++i) {
        const auto& [font, text, second, value, endsAtAnchor, ink] = want[i];
        const RECT b = box[i] = Box(font, text, second, value, endsAtAnchor);
        EXPECT_EQ(Show(render::LabelRects.rects[i]), Show(b)) << i;
        // Small fonts on a white box with only their ink on it; the large one straight over the chart.
        const int white = p->Count(White, b), inked = p->Count(ink, b);
        EXPECT_TRUE(font < 3 ? inked > 0 && white + inked == (b.right - b.left) * (b.bottom - b.top)
                             : inked > 0 && white == 0 && p->Count(Background, b) > 0)
            << i;
    }
    const std::string script = Script([&] { render::DrawAnnotationLabels(p->dc, R, 150, -1150); });
    EXPECT_NE(script.find("<map name='dhmap'>\");\r\n" + Area(box[0], "Alt A", "https://a.example/") +
                          Area(box[3], "", "b.html") + "document.write(\"</map>\");\r\n"),
              std::string::npos)
        << script;
}

TEST_F(Labels, MarkUnlessTheTargetIsInTheWindowThenAConnector) {
    const int cy = Measure(0, "m").cy, a = cy - 4, w = cy - 2, x = X(53040), y = Y(-250), midY = (2 * y - cy) / 2;
    const RECT marks[] = {{x - w, y + 3 * a, x + 1, y + 4 * a + 1},  // 1: down, left of the anchor
                          {x, y - 5 * a, x + w + 1, y - 4 * a + 1},  // 2: up, right of it
                          {x - cy + 1, midY - cy / 2 + 1, x, y}};    // 3: a dot
    for (int kind = 0; kind <= 4; ++kind) {
        for (const std::string target : {"|", "14:00:00|1.00", "14:43:00|1.00"}) {
            Draw("T|14:44:00|-2.50|0|12|" + std::to_string(kind) + "|" + target + "|m||\n");
            if (target == "14:43:00|1.00") {
                // From left of the target's slot to left of the anchor at the text's middle, one pixel a row.
                EXPECT_TRUE(p->Count(Red) == 0 && (*p)(X(52980) - 1, Y(100)) == Grey) << kind;
                EXPECT_EQ(p->Count(Grey), y - cy / 2 - Y(100)) << kind;
            } else if (kind >= 1 && kind <= 3) {
                const int red = p->Count(Red);
                EXPECT_TRUE(red > 0 && red == p->Count(Red, marks[kind - 1])) << kind << " " << target;
            } else {
                EXPECT_EQ(p->Count(Red) + p->Count(Grey), 0) << kind;
            }
        }
    }
    std::string many;  // beyond the list's capacity labels are drawn but not recorded
    for (int i = 0; i < 1030; ++i)
        many += "T|14:43:00|0|0|12|0|||x||\n";
    Draw(many + "T|14:50:00|-5.00|0|12|0|||last||\n");
    EXPECT_EQ(render::LabelRects.count, render::LabelRectCapacity);
    EXPECT_EQ(p->Count(Background, Box(0, "last", 53400, -500)), 0);
}

}  // namespace
