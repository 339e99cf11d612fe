// The ribbon heat map and the broadcast strip below it: row geometry and font,
// per-row colour scaling, the right limit, caption boxes and areas, the
// strip's minute walk, heading and event markers.
#include "render/ribbon.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "render/main_chart.h"
#include "render/render_test_support.h"

namespace {

using namespace rendertest;

constexpr COLORREF DarkRed = RGB(102, 0, 0), DarkBlue = RGB(0, 0, 153);
const auto Hue = [](int n) { return render::HuePalette.colors[n]; };
const auto Ramp = [](int k) { return k; };

struct Row {
    std::string caption;
    std::function<std::int32_t(int)> value;  // per second k of the window
    std::string link = "", alt = "";
};

class Ribbon : public InFolder {
protected:
    void SetUp() override { render::MainScale = {-485, -1025}; }  // a 400-pixel plot: rows from 100 to 200
    void Write(const std::vector<Row>& rows) {
        std::string info;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            std::string series;
            char line[40];
            for (int k = 0; k < 631; ++k)
                series.append(line, std::snprintf(line, sizeof line, "14:%02d:%02d|%u\n", 42 + (30 + k) / 60,
                                                  (30 + k) % 60, static_cast<std::uint32_t>(rows[i].value(k))));
            dir.Write("Data/r" + std::to_string(i), series);
            info +=
                rows[i].caption + "|1|0|0|Data\\r" + std::to_string(i) + "|" + rows[i].link + "|" + rows[i].alt + "\n";
        }
        dir.Write("Data/RibbonInfo.txt", info);
        dir.Write("Data/CNBC_Elapsed.txt", "14:42:00|Live|live.htm\n00:01:00|Event|\n");
    }
    static std::unique_ptr<Picture> Draw() {
        auto p = std::make_unique<Picture>(1401, 400);
        render::DrawRibbon(p->dc, {20, 0, 1400, 400});
        return p;
    }
};

TEST_F(Ribbon, RowsStackFromRibbonTopAndTheStripFollowsTheLastRow) {
    for (const auto& [rows, height, strip] : {std::tuple{16, 6, 196}, std::tuple{3, 33, 199}}) {
        const render::RibbonGeometry g = render::ComputeRibbonGeometry({20, 0, 1400, 400}, -485, -1025, rows);
        EXPECT_EQ(std::tuple(g.heatLeft, g.ribbonTop, g.rowHeight, g.stripTop), std::tuple(21, 100, height, strip));
        std::vector<Row> list;
        for (int r = 0; r < rows; ++r)  // odd rows run the other way: first and last pixel rows tell whose they are
            list.push_back({"R", [r](int k) { return r % 2 ? 630 - k : k; }});
        Write(list);
        const auto p = Draw();
        for (int r = 0; r < rows; ++r)
            p->Expect(Hue(r % 2 ? 271 : 0), {21, 100 + r * height, 22, 99 + (r + 1) * height});
        p->Expect(Background, {0, strip - 1});
        p->Expect(Black, {0, strip});  // the strip's frame starts at the picture's edge
    }
}

TEST_F(Ribbon, EachRowScalesFromBlackAtItsMinimum) {
    // Values of `rest` but at the seconds given.
    const auto spikes = [](std::map<int, std::int32_t> at, std::int32_t rest) {
        return [=](int k) { return at.contains(k) ? at.at(k) : rest; };
    };
    Write({{"A", spikes({{5, 500}, {600, 5000}, {300, 2750}}, 1000)},
           {"B", spikes({{7, 1}}, 0)},
           {"C", spikes({{0, INT32_MIN}, {1, INT32_MAX}}, 0)},  // extent 2^32
           {"D", spikes({}, 42)}});
    const auto p = Draw();
    // Row, second, entry: 4500 * 272 / 4501, 1 * 272 / 2, 2^31 * 272 / 2^32, ...
    const int cases[][3] = {{0, 5, 0}, {0, 600, 271}, {0, 300, 135}, {1, 7, 136},
                            {2, 0, 0}, {2, 1, 271},   {2, 2, 136},   {3, 630, 0}};
    for (const auto& [row, k, entry] : cases)
        EXPECT_EQ((*p)(21 + 2 * k, 110 + 25 * row), Hue(entry)) << row << " " << k;
}

TEST_F(Ribbon, CaptionBoxesShareTheWidestCaptionColumnsStopShortAndLinkedRowsBecomeAreas) {
    // Rows 33 high take font 0 (11 and less font 1); the widest caption cuts
    // the columns short, each row still coloured over all its seconds.
    EXPECT_TRUE(render::RibbonRowFont(12) == 0 && render::RibbonRowFont(11) == 1);
    const std::string wide(20, 'B');
    Write({{"A", Ramp, "a.htm", "alt a"}, {wide, Ramp, "", "none"}, {"CC", Ramp, "c.htm", "alt c"}});
    std::unique_ptr<Picture> p;
    const std::string script = Script([&] { p = Draw(); });
    const int limit = 1398 - Measure(0, wide).cx;
    ASSERT_LT(limit, 21 + 1260);
    // Each pixel row: columns from heat left 21 up to the right limit, then the
    // caption box (white with dark red text) to the plot's right edge 1400.
    const int lastColumn = std::min(21 + (limit - 22) / 2 * 2, 21 + 1260) + 1;
    for (int y = 100; y < 199; ++y)
        for (int x = 21; x <= 1400; ++x) {
            const COLORREF c = (*p)(x, y);
            const int want = x <= lastColumn ? 0 : x <= limit || x == 1400 ? 1 : 2;
            ASSERT_EQ(c == Background ? 1 : c == White || c == DarkRed ? 2 : 0, want) << x << "," << y;
        }
    EXPECT_EQ((*p)(21 + 2 * 300, 105), Hue(300 * 272 / 631));
    // Linked rows in order, then the heading after the strip's end (elapsed 528 at x 1017).
    EXPECT_NE(script.find(Area({limit + 1, 100, 1400, 133}, "alt a", "a.htm") +
                          Area({limit + 1, 166, 1400, 199}, "alt c", "c.htm") +
                          Area({1019, 199, 1019 + Measure(0, "Live").cx, 232}, "", "live.htm") + "document.write("),
              std::string::npos)
        << script;
}

TEST_F(Ribbon, NoRowsWithoutHeightOrColoursAndFarOffArgumentsStayDefined) {
    Picture p(1401, 400);
    Write(std::vector<Row>(16, Row{"R", Ramp}));
    std::filesystem::remove(dir.path() / "Data/CNBC_Elapsed.txt");
    render::DrawRibbon(p.dc, {20, 0, 1400, 40});                               // a band of 10 pixels: rows 0 high
    const std::uint32_t colours = std::exchange(render::HuePalette.count, 0);  // no colours: the strip alone
    Write({{"R", Ramp}});
    render::DrawRibbon(p.dc, {20, 0, 1400, 400});
    render::HuePalette.count = colours;
    EXPECT_EQ(p.Count(Background, {0, 0, 1401, 200}), 1401 * 200);
    EXPECT_EQ(p(0, 200), Black);
    for (const int v : {INT32_MIN, INT32_MAX}) {
        render::MainScale = {v, -1 - v};
        render::DrawRibbon(p.dc, {v, v, -1 - v, -1 - v});
        for (const int w : {INT32_MIN, 0, INT32_MAX})
            render::DrawBroadcastStrip(p.dc, v, w, w, v);
    }
}

TEST_F(Ribbon, StripWalksFromThePictureEdgeToElapsedSecond527AndMarksEvents) {
    dir.Write("Data/CNBC_Elapsed.txt", "14:42:00|Live coverage|live.htm\n00:00:30|Open|\n00:02:10|Guest|down 300\n");
    constexpr int Y = 50, h = 8;
    Picture p(1200, 120);
    render::DrawBroadcastStrip(p.dc, 22, 2000, Y, h);
    // Heat left 22: the first column is x 0 (elapsed 19), the last elapsed 527
    // at x 1016; the frame closes at x 1018.
    EXPECT_EQ(p.Count(Black, {0, Y, 1019, Y + 1}) + p.Count(Black, {0, Y + h, 1019, Y + h + 1}), 2 * 1019);
    // Ticks up from the bottom: a minute h, half 5h/8, quarter h/2, five seconds h/4.
    for (const auto& [x, length] : {std::pair{82, 8}, {202, 8}, {142, 5}, {112, 4}, {122, 2}, {1012, 4}, {1018, 8}}) {
        EXPECT_EQ(p.Count(Black, {x, Y + h - length + 1, x + 1, Y + h + 1}), length) << x;
        EXPECT_EQ(p(x, Y + h - length), length == h ? Black : Background) << x;
    }
    // "0m" at x 1 over the tick at x 2, "1m" right of the minute's tick; the heading follows the end.
    p.Expect(Black, {2, Y + h - 1});
    p.Expect(Background, {1016, Y + h - 1, 1019, Y, 0, Y + 1, 1 + Measure(0, "0m").cx, Y + 1,
                          1020 + Measure(0, "Live coverage").cx, Y + 1});
    EXPECT_TRUE(p(1, Y + 1) != Background && p(83, Y + 1) != Background && p(1020, Y + 1) != Background);

    // Events 30 s and 130 s after 14:42:00, at x 22 and 222, hang 2 below the
    // strip; the line runs beside both text lines, with a detail or without.
    const int t = Y + h + 2, cy = Measure(1, "Open").cy, line = 2 * cy - 2;
    for (int x : {22, 222}) {
        p.Expect(DarkBlue, {x, t, x - 2, t + 5, x + 2, t + 5, x, t + line - 1});
        p.Expect(Background, {x, t - 1, x - 3, t + 5, x + 3, t + 5, x, t + line, x + 5, t});
        EXPECT_NE(p(x + 6, t), Background) << x;  // the caption's box
    }
    EXPECT_TRUE(p(28, t + cy) == Background && p(228, t + cy) != Background);  // Guest's detail line
}

}  // namespace
