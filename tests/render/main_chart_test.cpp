// The main chart (scale, axes, series lines with their plotY) and the
// annotation labels drawn over it. Rows and columns are worked out by hand for
// the given rectangles and scales; only text extents come from the fonts.
#include "render/main_chart.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "render/labels.h"
#include "render/render_test_support.h"

namespace {

using namespace rendertest;
using marketdata::SecondCount;

constexpr COLORREF GridGrey = RGB(204, 204, 204), DotGrey = RGB(96, 96, 96), DarkGreen = RGB(0, 102, 0);
constexpr COLORREF DarkBlue = RGB(0, 0, 153), Red = RGB(204, 0, 0), Grey = RGB(102, 102, 102);  // labels' colours

// The rows of column x that have colour c.
std::set<int> RowsOf(const MemoryPicture& p, int x, COLORREF c) {
    std::set<int> rows;
    for (int y = 0; y < p.height; ++y)
        if (p(x, y) == c)
            rows.insert(y);
    return rows;
}
std::set<int> Span(int first, int last) {
    std::set<int> rows;
    for (int y = first; y <= last; ++y)
        rows.insert(y);
    return rows;
}

TEST(MainScale, TopAndBottomRoundAwayFromZero) {
    // Top: 10 above the maximum to a multiple of 10; bottom: 110 below the
    // minimum to a multiple of 100, less 50.
    // clang-format off
    const int cases[][4] = {{137, -912, 150, -1150}, {0, 0, 10, -250}, {-25, -25, -20, -250}, {150, 150, 160, 50},
                            {INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN}};
    // clang-format on
    for (const auto& [max, min, top, bottom] : cases) {
        const render::MainScaleValues s = render::ScaleForRange(max, min);
        EXPECT_EQ(std::pair(s.scaleTop, s.scaleBottom), std::pair(top, bottom)) << max << " " << min;
    }
}

using MainChart = PanelTest;

TEST_F(MainChart, AxesMarkPercentsFifthsAndMinutes) {
    // Axes in {40, 0, 399, height}. Grid rows: the whole percents above
    // bottom + 2.10 at (top - v) * height / (top - bottom); dot rows: the
    // multiples of 0.20 above bottom + 2.70. At 60 rows the 51 dot levels of
    // 150 .. -1150 share rows and cover 0 to 46 without a gap. 100 .. -310
    // puts both limits on a level: -1.00 % has no grid line, -0.40 % no dot.
    struct Case {
        int top, bottom, height;
        std::set<int> grid, dots;
        int zeroRow;  // the row of "0 ", -1 when none is checked
    };
    // clang-format off
    const Case cases[] = {
        {150, -1150, 600, {23, 69, 115, 161, 207, 253, 300, 346, 392, 438, 484},
         {4, 13, 23, 32, 41, 50, 60, 69, 78, 87, 96, 106, 115, 124, 133, 143, 152, 161, 170, 180, 189, 198, 207, 216,
          226, 235, 244, 253, 263, 272, 281, 290, 300, 309, 318, 327, 336, 346, 355, 364, 373, 383, 392, 401, 410, 420,
          429, 438, 447, 456, 466}, 69},
        {150, -1150, 60, {2, 6, 11, 16, 20, 25, 30, 34, 39, 43, 48}, Span(0, 46), -1},
        {100, -310, 600, {0, 146}, {0, 29, 58, 87, 117, 146, 175}, 146},
        {10, -250, 600, {23}, {}, 23},  // 0 % only
        {-20, -250, 600, {}, {}, -1},   // no level above bottom + 2.10
        {160, 50, 600, {}, {}, -1}};
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.top << " .. " << c.bottom << " at height " << c.height);
        const auto p = NewPicture(400, c.height);
        render::DrawChartAxes(Context(*p), {40, 0, 399, c.height}, c.top, c.bottom);
        // The grid line runs from x 42; x 40 and 60 are the 10-second columns
        // of 14:42:30 and 14:42:40.
        EXPECT_EQ(RowsOf(*p, 42, GridGrey), c.grid);
        EXPECT_EQ(RowsOf(*p, 60, DotGrey), c.dots);
        EXPECT_EQ(RowsOf(*p, 40, DotGrey), c.dots);
        // Labels left of x 40 and right up to x 397 (the box ends one short of
        // the right edge 399); x 41 and 398 stay untouched.
        EXPECT_EQ(RowsOf(*p, 41, Background).size() + RowsOf(*p, 398, Background).size(), 2u * c.height);
        for (int y : c.grid)
            EXPECT_TRUE((*p)(39, y) != Background && (*p)(397, y) != Background) << "row " << y;
        // The right label's box starts 3 + its width left of the edge; the grid line ends there.
        if (c.zeroRow >= 0) {
            const int boxLeft = 396 - Measure(0, "0 ").cx;
            EXPECT_EQ((*p)(boxLeft - 1, c.zeroRow), GridGrey);
            EXPECT_EQ((*p)(boxLeft, c.zeroRow), White);
        }
        // The minute line of 14:43 (slot 30, x 100) between its two time labels.
        const int timeCy = Measure(0, "14:43").cy;
        EXPECT_EQ(RowsOf(*p, 100, GridGrey), Span(timeCy, c.height - timeCy - 1));
        EXPECT_EQ(RowsOf(*p, 100, White).size() + RowsOf(*p, 100, Black).size(), 2u * timeCy);
    }
}

class MainChartSeries : public PanelTest {
protected:
    static void Fill(marketdata::SeriesTable& table, const std::function<std::int32_t(std::uint32_t)>& value) {
        table = std::make_unique<marketdata::Sample[]>(SecondCount);
        for (std::uint32_t i = 0; i < SecondCount; ++i)
            table[i] = marketdata::Sample{value(i), 12345, 0, 0};
    }
};

TEST_F(MainChartSeries, ScaleFromThePriceSeriesLinesEndOnTheNarrowedEdge) {
    // Plot {30, 0, 399, 400}, slot i at x 30 + 2i, scale 150 .. -1150: the
    // zero row is 150 * 400 / 1300 = 46. Margin 31 narrows the right edge to
    // 368, exactly slot 169; margin 30 to 369, between slots 169 and 170. The
    // edge slot rises to 137 and the line ends there; the fall to -912 after
    // it is not drawn, yet sets the scale. From the edge slot on nothing gets a
    // plotY.
    struct Case {
        int margin, right;
        std::uint32_t edge;
        int riseFrom;  // x of the slot before the edge
    };
    for (const Case& c : {Case{31, 368, 169, 366}, Case{30, 369, 170, 368}}) {
        SCOPED_TRACE(testing::Message() << "margin " << c.margin);
        Fill(series.SpySeries, [&](std::uint32_t i) { return i == c.edge ? 137 : i == c.edge + 1 ? -912 : 0; });
        Fill(series.SpyVwSeries, [](std::uint32_t) { return 5000; });  // not part of the scale
        const auto p = NewPicture(400, 400);
        const render::MainScaleValues s = render::DrawMainChart(Context(*p), {30, 0, 399, 400}, c.margin);
        EXPECT_EQ(std::pair(s.scaleTop, s.scaleBottom), std::pair(150, -1150));
        int plotted = 0, untouched = 0;
        for (std::uint32_t i = 0; i < SecondCount; ++i) {
            plotted += series.SpySeries[i].plotY == 46;
            untouched += series.SpySeries[i].plotY == 12345;
        }
        EXPECT_EQ(plotted, static_cast<int>(c.edge));
        EXPECT_EQ(untouched, static_cast<int>(SecondCount - c.edge));
        EXPECT_EQ(p->Count(DarkGreen, {30, 46, c.riseFrom + 1, 47}), c.riseFrom - 29);
        EXPECT_GT(p->Count(DarkGreen, {c.right - 2, 5, c.right + 1, 46}), 0);
        EXPECT_EQ(p->Count(DarkGreen, {c.right - 2, 47, c.right + 4, 400}), 0);
        EXPECT_EQ(p->Count(DarkGreen, {c.right + 1, 0, c.right + 4, 400}), 0);
    }
}

TEST_F(MainChartSeries, ExtremeScalesStayDefined) {
    EXPECT_EQ(render::ValueToY(INT32_MIN, {0, 100, 10, 30100}, 1, 0), INT32_MAX);  // far off stays far off
    EXPECT_EQ(render::ValueToY(5, {0, 100, 10, 200}, 7, 7), 100);                  // no scale: the top
    // Billions of levels, yet every row gets its grid line and dot once.
    const auto axes = NewPicture(600, 300);
    render::DrawChartAxes(Context(*axes), {40, 0, 600, 300}, INT32_MAX, INT32_MIN);
    EXPECT_EQ(axes->Count(GridGrey, {43, 0, 44, 300}) + axes->Count(DotGrey, {60, 0, 61, 300}), 600);
    // A first price of 0.01 then 100.00: a move of 999900 percent.
    Fill(series.SpySeries, [](std::uint32_t i) { return i == 0 ? 0 : 99990000; });
    const auto chart = NewPicture(1801, 977);
    const render::MainScaleValues s = render::DrawMainChart(Context(*chart), {25, 0, 1800, 977}, 25);
    EXPECT_EQ(std::pair(s.scaleTop, s.scaleBottom), std::pair(99990010, -250));
    EXPECT_EQ((*chart)(45, 500), DotGrey);
}

// Labels on {30, 0, 1350, 600} under the scale 150 .. -1150: second s at
// x 30 + 2 (s - 52950), value v at row (150 - v) * 600 / 1300.
class Labels : public PanelTest {
protected:
    static constexpr RECT R{30, 0, 1350, 600};
    static marketdata::AnnotationLabel Label(std::uint32_t second, std::int32_t value, std::uint32_t font,
                                             std::uint32_t color, std::uint32_t kind, std::string text,
                                             std::string link = "", std::string alt = "") {
        marketdata::AnnotationLabel label;
        label.second = second, label.value = value, label.font = font, label.color = color, label.kind = kind;
        label.text = text, label.link = link, label.altText = alt;
        return label;
    }
    void Draw(std::vector<marketdata::AnnotationLabel> list) {
        labels.present = true;
        labels.labels = std::move(list);
        areas.clear();
        p = NewPicture(1400, 600);
        render::DrawAnnotationLabels(Context(*p), R, 150, -1150);
    }
    std::unique_ptr<MemoryPicture> p;
};

TEST_F(Labels, TextStandsOnItsAnchorFontAndColourClampLinkedOnesBecomeAreas) {
    struct Case {
        marketdata::AnnotationLabel label;
        int x, y;           // the anchor
        int font;           // as drawn
        bool endsAtAnchor;  // kinds 2 and 4
        COLORREF ink;
    };
    const std::string text127(127, 'W');
    const Case cases[] = {
        {Label(52950, -700, 0, 12, 0, text127, "https://a.example/", "Alt A"), 30, 392, 0, false, DarkBlue},
        {Label(53040, -250, 0, 12, 0, "kind zero", "", "alt without link"), 210, 184, 0, false, DarkBlue},
        {Label(53100, -100, 1, 12, 1, "kind one"), 330, 115, 1, false, DarkBlue},
        {Label(53160, 50, 2, 12, 2, "kind two", "b.html"), 450, 46, 2, true, DarkBlue},
        {Label(53220, -300, 3, 12, 3, "kind three"), 570, 207, 3, false, DarkBlue},
        {Label(53280, -425, 9, 99, 4, "kind four"), 690, 265, 3, true, Black},  // font 9 reads 3, colour 99 black
        {Label(53580, -500, 0, 12, 0, "last slot", "z.htm", "Z"), 1290, 300, 0, false, DarkBlue},
    };
    std::vector<marketdata::AnnotationLabel> list;
    for (const Case& c : cases)
        list.push_back(c.label);
    Draw(list);
    std::vector<std::string> expectedAreas;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label.text);
        const SIZE s = Measure(c.font, c.label.text);
        const int left = c.endsAtAnchor ? c.x - s.cx : c.x;
        const RECT box{left, c.y - s.cy, left + s.cx, c.y};
        // Small fonts on a white box with only their ink on it; the large one straight over the chart.
        const int white = p->Count(White, box), inked = p->Count(c.ink, box);
        EXPECT_GT(inked, 0);
        if (c.font < 3)
            EXPECT_EQ(white + inked, s.cx * s.cy);
        else
            EXPECT_TRUE(white == 0 && p->Count(Background, box) > 0);
        if (!c.label.link.empty())
            expectedAreas.push_back(Show(box) + " " + c.label.link + " " + c.label.altText);
    }
    std::vector<std::string> got;
    for (std::size_t i = 0; i < areas.size(); ++i)
        got.push_back(AreaText(i));
    EXPECT_EQ(got, expectedAreas);
    // Without the file nothing is drawn.
    labels.present = false;
    const auto none = NewPicture(1400, 600);
    render::DrawAnnotationLabels(Context(*none), R, 150, -1150);
    EXPECT_EQ(none->Count(Background), 1400 * 600);
}

TEST_F(Labels, MarkUnlessTheTargetIsInTheWindowThenAConnector) {
    // Anchor 14:44:00 at -2.50: x 210, row 184. The target 14:43:00 at 1.00
    // lies at x 90, row 23.
    const int cy = Measure(0, "m").cy, a = cy - 4, w = cy - 2, x = 210, y = 184, midY = (2 * y - cy) / 2;
    const RECT marks[] = {{x - w, y + 3 * a, x + 1, y + 4 * a + 1},  // 1: down, left of the anchor
                          {x, y - 5 * a, x + w + 1, y - 4 * a + 1},  // 2: up, right of it
                          {x - cy + 1, midY - cy / 2 + 1, x, y}};    // 3: a dot
    struct Target {
        std::uint32_t second;
        std::int32_t value;
    };
    for (std::uint32_t kind = 0; kind <= 4; ++kind) {
        for (const Target t : {Target{0, 0}, Target{50400, 100}, Target{52980, 100}}) {
            SCOPED_TRACE(testing::Message() << "kind " << kind << " target " << t.second);
            auto label = Label(53040, -250, 0, 12, kind, "m");
            label.targetSecond = t.second;
            label.targetValue = t.value;
            Draw({label});
            if (t.second == 52980) {
                // From x 89 on row 23 to left of the anchor at the text's middle, one pixel a row.
                EXPECT_EQ(p->Count(Red), 0);
                EXPECT_EQ((*p)(89, 23), Grey);
                EXPECT_EQ(p->Count(Grey), 161 - cy / 2);
            } else if (kind >= 1 && kind <= 3) {
                const int red = p->Count(Red);
                EXPECT_GT(red, 0);
                EXPECT_EQ(red, p->Count(Red, marks[kind - 1]));
            } else {
                EXPECT_EQ(p->Count(Red) + p->Count(Grey), 0);
            }
        }
    }
}

}  // namespace
