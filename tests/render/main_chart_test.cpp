// The main chart: scale, axes (labels, grid, minute lines, dots) and series
// lines with their plotY. Pixels that fonts cannot move are checked against
// positions computed here from the data.
#include "render/main_chart.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "render/labels.h"
#include "render/resources.h"
#include "support/test_support.h"

namespace {

using marketdata::SecondCount;

constexpr COLORREF Background = RGB(1, 2, 3);  // never drawn by the chart
constexpr COLORREF White = RGB(255, 255, 255);
constexpr COLORREF Black = RGB(0, 0, 0);
constexpr COLORREF GridGrey = RGB(204, 204, 204);  // pen 13
constexpr COLORREF DotGrey = RGB(96, 96, 96);
constexpr COLORREF DarkGreen = RGB(0, 102, 0);  // pen 9
constexpr std::int32_t Int32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t Int32Min = std::numeric_limits<std::int32_t>::min();

class Resources : public ::testing::Environment {
    void SetUp() override { render::CreateDrawingResources(); }
};
[[maybe_unused]] const auto* const resourcesEnvironment = ::testing::AddGlobalTestEnvironment(new Resources);

// A memory DC over a bitmap filled with Background.
struct Picture {
    Picture(int width, int height)
        : dc(CreateCompatibleDC(nullptr)), bitmap(CreateCompatibleBitmap(dc, width, height)) {
        previous = SelectObject(dc, bitmap);
        LOGBRUSH logBrush{BS_SOLID, Background, 0};
        HBRUSH brush = CreateBrushIndirect(&logBrush);
        const RECT all{0, 0, width, height};
        FillRect(dc, &all, brush);
        DeleteObject(brush);
    }
    ~Picture() {
        SelectObject(dc, previous);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    COLORREF operator()(int x, int y) const { return GetPixel(dc, x, y); }
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ previous;
};

SIZE Measure(const std::string& text) {
    Picture scratch(1, 1);
    SelectObject(scratch.dc, render::Font(0));
    SIZE size{0, 0};
    GetTextExtentPointA(scratch.dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size;
}

std::string PercentText(std::int64_t level) {
    return level == 0 ? "0 " : (level > 0 ? "+" : "") + std::to_string(level / 100) + "%";
}

// The row of a value, computed independently of the code under test.
int RowOf(std::int64_t v, const RECT& r, std::int64_t top, std::int64_t bottom) {
    return static_cast<int>(r.top + (top - v) * (r.bottom - r.top) / (top - bottom));
}

// Rows of the multiples of `step` in (bottom + gap, top].
std::vector<std::pair<std::int64_t, int>> Levels(const RECT& r, std::int64_t top, std::int64_t bottom, int step,
                                                 int gap) {
    std::vector<std::pair<std::int64_t, int>> levels;
    for (std::int64_t v = top; v > bottom + gap; --v) {
        if (v % step == 0)
            levels.emplace_back(v, RowOf(v, r, top, bottom));
    }
    return levels;
}

void FillSeries(marketdata::SeriesTable& table, std::int32_t (*value)(std::uint32_t)) {
    table = std::make_unique<marketdata::Sample[]>(SecondCount);
    for (std::uint32_t i = 0; i < SecondCount; ++i)
        table[i] = marketdata::Sample{value(i), 12345, 0, 0};
}

class MainChartTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (auto* t : {&marketdata::SpySeries, &marketdata::DjiSeries, &marketdata::EminiSeries,
                        &marketdata::SpyVwSeries, &marketdata::EminiVwSeries}) {
            t->reset();
        }
    }
    void TearDown() override { SetUp(); }
    testsupport::TempDir dir_;  // no labels file here
    testsupport::ScopedCwd cwd_{dir_.path()};
};

TEST(MainScaleTest, RoundsAwayFromZeroAndSaturates) {
    struct Case {
        std::int32_t max, min, top, bottom;
    };
    for (const Case& c :
         {Case{137, -912, 150, -1150}, Case{0, 0, 10, -250}, Case{-25, -25, -20, -250}, Case{150, 150, 160, 50},
          Case{111, 111, 130, 50}, Case{147, -1022, 160, -1250}, Case{Int32Max, Int32Min, Int32Max, Int32Min},
          Case{Int32Min, Int32Min, -2147483640, Int32Min}, Case{Int32Max, Int32Max, Int32Max, 2147483550}}) {
        const render::MainScaleValues scale = render::ScaleForRange(c.max, c.min);
        EXPECT_EQ(scale.scaleTop, c.top) << c.max;
        EXPECT_EQ(scale.scaleBottom, c.bottom) << c.min;
    }
}

TEST(ValueToYTest, TruncatesTowardZeroAndSaturates) {
    const RECT r{0, 0, 10, 600};
    EXPECT_EQ(render::ValueToY(0, r, 150, -1150), 69);   // 69.2
    EXPECT_EQ(render::ValueToY(152, r, 150, -1150), 0);  // -0.92 truncates toward zero
    EXPECT_EQ(render::ValueToY(153, r, 150, -1150), -1);
    EXPECT_EQ(render::ValueToY(Int32Min, r, Int32Max, Int32Min), 600);
    const RECT tall{0, 100, 10, 30100};
    EXPECT_EQ(render::ValueToY(Int32Min, tall, 1, 0), Int32Max);  // far off stays far off
    EXPECT_EQ(render::ValueToY(Int32Max, tall, 0, -1), Int32Min);
    EXPECT_EQ(render::ValueToY(Int32Min, RECT{0, Int32Min, 10, Int32Max}, Int32Max, Int32Min), Int32Max);
}

// The labels that appear (grid rows in a column nothing else crosses, left
// label boxes in the margin) and the dots of second 52960 (slot 10).
TEST_F(MainChartTest, AxesLabelWholePercentsAndDotEveryFifthOfAPoint) {
    struct Case {
        std::int32_t top, bottom;
        std::size_t labels, dots;
    };
    for (const Case& c : {Case{150, -1150, 11, 51}, Case{10, -250, 1, 0}, Case{160, 50, 0, 0}}) {
        Picture p(400, 600);
        const RECT r{40, 0, 399, 600};
        render::DrawChartAxes(p.dc, r, c.top, c.bottom);
        const auto labels = Levels(r, c.top, c.bottom, 100, 210);
        const auto dots = Levels(r, c.top, c.bottom, 20, 270);
        ASSERT_EQ(labels.size(), c.labels);  // 137/-912: +1% to -9%, not -10%
        ASSERT_EQ(dots.size(), c.dots);      // 140, 120, ..., -860
        std::set<int> gridRows, dotRows;
        std::vector<RECT> boxes;
        for (const auto& [v, y] : labels) {
            const SIZE s = Measure(PercentText(v));
            gridRows.insert(y);
            boxes.push_back(RECT{r.left - s.cx, y - s.cy / 2, r.left, y - s.cy / 2 + s.cy});
        }
        for (const auto& [v, y] : dots)
            dotRows.insert(y);
        for (int y = 0; y < 600; ++y) {
            ASSERT_EQ(p(r.left + 3, y), gridRows.count(y) ? GridGrey : Background) << y;
            ASSERT_EQ(p(r.left + 20, y), dotRows.count(y) ? DotGrey : (gridRows.count(y) ? GridGrey : Background));
            for (int x = 0; x < r.left; ++x) {
                bool inBox = false;
                for (const RECT& b : boxes)
                    inBox = inBox || (x >= b.left && y >= b.top && y < b.bottom);
                const COLORREF c = p(x, y);
                ASSERT_TRUE(inBox ? (c == White || c == Black) : c == Background) << x << "," << y;
            }
        }
        if (!dots.empty()) {
            EXPECT_EQ(p(r.left, dots[0].second), DotGrey);  // 14:42:30 is dotted too
        }
    }
}

TEST_F(MainChartTest, MinuteLineAndTimeLabelsAtTheFirstWholeMinute) {
    Picture p(400, 600);
    const RECT r{40, 0, 399, 600};
    render::DrawChartAxes(p.dc, r, 150, -1150);
    // 14:43 is slot 30: a full-height line without dots, its ends under the time labels.
    const SIZE time = Measure("14:43");
    const int x = r.left + 60;
    for (int y = time.cy; y < r.bottom - time.cy; ++y)
        ASSERT_EQ(p(x, y), GridGrey) << y;
    for (int y : {r.top, r.bottom - time.cy}) {
        for (int bx = x - time.cx / 2; bx < x - time.cx / 2 + time.cx; ++bx) {
            ASSERT_TRUE(p(bx, y) == White || p(bx, y) == Black) << bx << "," << y;
        }
        EXPECT_EQ(p(x - time.cx / 2 - 1, y), Background);
        EXPECT_EQ(p(x - time.cx / 2 + time.cx, y), Background);
    }
    EXPECT_EQ(p(x + 1, 40), Background);
}

// The minute line of 14:44 (x = R.left + 180) is drawn only while x + maxW < R.right.
void ExpectTimeAxisStopsShortOf(std::int32_t top, std::int32_t bottom, std::int64_t maxW) {
    const int cy = Measure("14:44").cy;
    for (int extra : {1, 0}) {
        Picture p(600, 300);
        const RECT r{40, 0, static_cast<LONG>(40 + 180 + maxW + extra), 300};
        render::DrawChartAxes(p.dc, r, top, bottom);
        int grey = 0;
        for (int y = cy; y < r.bottom - cy; ++y)
            grey += p(r.left + 180, y) == GridGrey;
        EXPECT_EQ(grey == r.bottom - 2 * cy, extra == 1) << "maxW " << maxW;
    }
}

TEST_F(MainChartTest, TimeAxisStopsShortOfTheWidestLabel) {
    std::int64_t maxW = 0;
    for (const auto& [v, y] : Levels(RECT{0, 0, 0, 300}, 150, -1150, 100, 210)) {
        maxW = std::max<std::int64_t>(maxW, Measure(PercentText(v)).cx);
    }
    ExpectTimeAxisStopsShortOf(150, -1150, maxW);
    ExpectTimeAxisStopsShortOf(160, 50, 0);  // no label: the axis runs to the edge
}

TEST_F(MainChartTest, ExtremeScalesPaintEachRowOnce) {
    // The whole int32 range: billions of levels, but every one of the 300 rows
    // gets its grid line and dot once, and the paint finishes.
    Picture p(600, 300);
    const RECT r{40, 0, 600, 300};
    render::DrawChartAxes(p.dc, r, Int32Max, Int32Min);
    for (int y = 0; y < 300; ++y) {
        ASSERT_EQ(p(r.left + 3, y), GridGrey) << y;
        ASSERT_EQ(p(r.left + 20, y), DotGrey) << y;
    }
    // The widest labels are the extreme levels, which share their rows with
    // lower levels and are never drawn themselves, yet they set maxW.
    ExpectTimeAxisStopsShortOf(Int32Max, Int32Min, std::max(Measure("+21474836%").cx, Measure("-21474834%").cx));

    // A first price of 0.01 then 100.00: a move of 999900 percent.
    FillSeries(marketdata::SpySeries, [](std::uint32_t i) { return i == 0 ? 0 : 99990000; });
    Picture chart(1801, 977);
    render::DrawMainChart(chart.dc, RECT{25, 0, 1800, 977}, 25);
    EXPECT_EQ(render::MainScale.scaleTop, 99990010);
    EXPECT_EQ(render::MainScale.scaleBottom, -250);
    EXPECT_EQ(chart(45, 500), DotGrey);
}

TEST_F(MainChartTest, SeriesEndExactlyOnTheNarrowedRightEdge) {
    // Scale 1000 .. 0 over 200 rows: y = (1000 - v) / 5. The slot lying on
    // the edge (even width) or one pixel beyond it (odd width) rises by 10 rows;
    // the slot after it falls.
    for (int width : {100, 101}) {
        const std::uint32_t edgeSlot = static_cast<std::uint32_t>(width + 1) / 2;
        static std::uint32_t rising;
        rising = edgeSlot;
        FillSeries(marketdata::SpySeries,
                   [](std::uint32_t i) { return i == rising ? 550 : (i == rising + 1 ? 450 : 500); });
        Picture p(200, 200);
        const RECT q{10, 0, 10 + width, 200};
        render::DrawSeriesLine(p.dc, q, marketdata::SpySeries.get(), 1000, 0, 9);
        for (std::uint32_t i = 0; i < SecondCount; ++i) {
            ASSERT_EQ(marketdata::SpySeries[i].plotY, i < edgeSlot ? 100 : 12345) << width << " " << i;
        }
        for (int x = 10; x <= 10 + 2 * static_cast<int>(edgeSlot) - 2; ++x)
            ASSERT_EQ(p(x, 100), DarkGreen) << x;
        int up = 0, down = 0, beyond = 0;
        for (int y = 0; y < 200; ++y) {
            for (int x = q.right - 2; x <= q.right + 3; ++x) {
                const bool pen = p(x, y) == DarkGreen;
                up += pen && y > 90 && y < 100;
                down += pen && y > 100;
                beyond += pen && x > q.right;
            }
        }
        EXPECT_GT(up, 0) << width;
        EXPECT_EQ(down + beyond, 0) << width;
        EXPECT_NE(p(q.right, 90), DarkGreen) << width;  // the end point is not drawn
    }
}

TEST_F(MainChartTest, ScaleFromThePresentPriceSeriesAndLinesNarrowedByTheMargin) {
    Picture p(400, 400);
    const RECT r{30, 0, 399, 400};
    render::DrawMainChart(p.dc, r, 30);
    EXPECT_EQ(render::MainScale.scaleTop, 10);  // no price table: max = min = 0
    EXPECT_EQ(render::MainScale.scaleBottom, -250);
    FillSeries(marketdata::SpySeries, [](std::uint32_t i) { return i == 7 ? 137 : (i == 300 ? -912 : 0); });
    FillSeries(marketdata::SpyVwSeries, [](std::uint32_t) { return 5000; });  // not part of the range
    render::DrawMainChart(p.dc, r, 30);
    ASSERT_EQ(render::MainScale.scaleTop, 150);
    ASSERT_EQ(render::MainScale.scaleBottom, -1150);
    // Narrowed right edge 369: slot 169 (x = 368) is the last with a plotY.
    for (std::uint32_t i = 0; i < SecondCount; ++i) {
        const int y = RowOf(marketdata::SpySeries[i].value, r, 150, -1150);
        ASSERT_EQ(marketdata::SpySeries[i].plotY, i < 170 ? y : 12345) << i;
    }
    EXPECT_EQ(p(368, RowOf(0, r, 150, -1150)), DarkGreen);
    EXPECT_NE(p(369, RowOf(0, r, 150, -1150)), DarkGreen);
}

}  // namespace
