// The ribbon heat map and the broadcast strip below it: row geometry and font,
// per-row colour scaling, the right limit, caption boxes and areas, the
// strip's minute walk, heading and event markers.
#include "render/ribbon.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "marketdata/text_fields.h"
#include "render/render_test_support.h"

namespace {

using namespace rendertest;
using marketdata::SecondCount;

constexpr COLORREF DarkRed = RGB(102, 0, 0), DarkBlue = RGB(0, 0, 153);
const auto Ramp = [](int k) { return k; };

// On a 400-row plot the scale -485 .. -1025 puts -6.20 % on row 100 and
// -7.55 % on row 200: the band is 100 rows.
constexpr render::MainScaleValues Scale{-485, -1025};

class Ribbon : public PanelTest {
protected:
    Ribbon() {
        broadcast.heading = {52920, "Live", "live.htm"};  // 14:42:00
        broadcast.events.push_back({"Event", "", 60});
    }
    COLORREF Hue(int n) const { return resources.HuePalette().colors[static_cast<std::size_t>(n)]; }
    void AddRow(const std::string& caption, const std::function<std::int32_t(int)>& value, const char* link = "",
                const char* alt = "") {
        marketdata::RibbonRow row{};
        marketdata::CopyText(row.caption, caption.c_str());
        marketdata::CopyText(row.link, link);
        marketdata::CopyText(row.altText, alt);
        row.values = std::make_unique<std::int32_t[]>(SecondCount);
        for (int k = 0; k < static_cast<int>(SecondCount); ++k)
            row.values[k] = value(k);
        ribbon.rows.push_back(std::move(row));
    }
    std::unique_ptr<MemoryPicture> Draw(RECT plot = {20, 0, 1400, 400}) {
        auto p = NewPicture(1401, 400);
        render::DrawRibbon(Context(*p), Scale, plot);
        return p;
    }
};

TEST_F(Ribbon, RowsStackFromRibbonTopAndTheStripFollowsTheLastRow) {
    struct Case {
        int rows, height, strip;
    };
    for (const Case& c : {Case{16, 6, 196}, Case{3, 33, 199}}) {
        SCOPED_TRACE(testing::Message() << c.rows << " rows");
        const render::RibbonGeometry g = render::ComputeRibbonGeometry({20, 0, 1400, 400}, -485, -1025, c.rows);
        EXPECT_EQ(std::tuple(g.heatLeft, g.ribbonTop, g.bandBottom, g.rowHeight, g.stripTop),
                  std::tuple(21, 100, 200, c.height, c.strip));
        ribbon.rows.clear();
        for (int r = 0; r < c.rows; ++r)  // odd rows run the other way: first and last pixel rows tell whose they are
            AddRow("R", [r](int k) { return r % 2 ? 630 - k : k; });
        const auto p = Draw();
        for (int r = 0; r < c.rows; ++r)
            p->Expect(Hue(r % 2 ? 271 : 0), {21, 100 + r * c.height, 22, 99 + (r + 1) * c.height});
        p->Expect(Background, {0, c.strip - 1});
        p->Expect(Black, {0, c.strip});  // the strip's frame starts at the picture's edge
    }
}

TEST_F(Ribbon, EachRowScalesFromBlackAtItsMinimum) {
    // Values of `rest` but at the seconds given.
    const auto spikes = [](std::map<int, std::int32_t> at, std::int32_t rest) {
        return [=](int k) { return at.contains(k) ? at.at(k) : rest; };
    };
    AddRow("A", spikes({{5, 500}, {600, 5000}, {300, 2750}}, 1000));
    AddRow("B", spikes({{7, 1}}, 0));
    AddRow("C", spikes({{0, INT32_MIN}, {1, INT32_MAX}}, 0));  // extent 2^32
    AddRow("D", spikes({}, 42));
    const auto p = Draw();
    // Row, second, entry: 4500 * 272 / 4501, 2250 * 272 / 4501, 1 * 272 / 2,
    // (2^32 - 1) * 272 / 2^32, 2^31 * 272 / 2^32; a flat row is all black.
    const int cases[][3] = {{0, 5, 0}, {0, 600, 271}, {0, 300, 135}, {1, 7, 136},
                            {2, 0, 0}, {2, 1, 271},   {2, 2, 136},   {3, 630, 0}};
    for (const auto& [row, k, entry] : cases)
        EXPECT_EQ((*p)(21 + 2 * k, 110 + 25 * row), Hue(entry)) << row << " " << k;
}

TEST_F(Ribbon, EmptyCaptionsLeaveTheRightLimitTwoShortOfThePlotsRightEdge) {
    // Empty captions: the limit is the plot's right edge less 2 and the
    // caption boxes are the one pixel after it. Columns start left of the
    // limit: at 1000 the last is second 488 at x 997 and 998 (entry
    // 488 * 272 / 631); at 999 second 487 at 995 and 996 (entry 209), x 997
    // staying empty.
    struct Case {
        int right, lastColumn, entry;
    };
    for (const Case& c : {Case{1000, 997, 210}, Case{999, 995, 209}}) {
        SCOPED_TRACE(testing::Message() << "plot right " << c.right);
        ribbon.rows.clear();
        areas.clear();
        AddRow("", Ramp, "a.htm", "alt a");
        AddRow("", Ramp);
        AddRow("", Ramp, "c.htm");
        const auto p = Draw({20, 0, c.right, 400});
        for (int y : {100, 150, 198}) {
            p->Expect(Hue(c.entry), {c.lastColumn, y, c.lastColumn + 1, y});
            p->Expect(White, {c.right - 1, y});
            p->Expect(Background, {c.right, y});
            if (c.lastColumn + 2 < c.right - 1)
                p->Expect(Background, {c.lastColumn + 2, y});
        }
        ASSERT_EQ(areas.size(), 3u);  // the linked rows, then the strip's heading
        EXPECT_EQ(AreaText(0), Show({c.right - 1, 100, c.right, 133}) + " a.htm alt a");
        EXPECT_EQ(AreaText(1), Show({c.right - 1, 166, c.right, 199}) + " c.htm ");
    }
}

TEST_F(Ribbon, CaptionBoxesShareTheWidestCaptionColumnsStopShortAndLinkedRowsBecomeAreas) {
    // Rows 33 high take font 0 (11 and less font 1); the widest caption cuts
    // the columns short, each row still coloured over all its seconds.
    EXPECT_TRUE(render::RibbonRowFont(12) == 0 && render::RibbonRowFont(11) == 1);
    const std::string wide(20, 'B');
    AddRow("A", Ramp, "a.htm", "alt a");
    AddRow(wide, Ramp, "", "none");
    AddRow("CC", Ramp, "c.htm", "alt c");
    const auto p = Draw();
    const int limit = 1398 - Measure(0, wide).cx;
    ASSERT_LT(limit, 21 + 1260);
    // Each pixel row: columns from heat left 21 up to the right limit, then the
    // caption box (white with dark red text) to the plot's right edge 1400.
    const int lastColumn = 21 + (limit - 22) / 2 * 2 + 1;
    int wrong = 0;
    for (int y = 100; y < 199; ++y)
        for (int x = 21; x <= 1400; ++x) {
            const COLORREF c = (*p)(x, y);
            const int want = x <= lastColumn ? 0 : x <= limit || x == 1400 ? 1 : 2;
            wrong += (c == Background ? 1 : c == White || c == DarkRed ? 2 : 0) != want;
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ((*p)(21 + 2 * 300, 105), Hue(129));  // 300 * 272 / 631
    // Linked rows in order, then the heading after the strip's end (elapsed
    // 528 at x 1017; the walk starts at x 1 with elapsed 20).
    ASSERT_EQ(areas.size(), 3u);
    EXPECT_EQ(Show(areas[0].rect), Show({limit + 1, 100, 1400, 133}));
    EXPECT_EQ(Show(areas[1].rect), Show({limit + 1, 166, 1400, 199}));
    EXPECT_EQ(AreaText(2), Show({1019, 199, 1019 + Measure(0, "Live").cx, 232}) + " live.htm ");
    EXPECT_EQ(areas[1].link + "|" + areas[1].altText, "c.htm|alt c");
}

TEST_F(Ribbon, NoRowsWithoutHeightOrColoursAndFarOffArgumentsStayDefined) {
    for (int r = 0; r < 16; ++r)
        AddRow("R", Ramp);
    broadcast.events.clear();  // no strip either
    const auto p = NewPicture(1401, 400);
    render::DrawRibbon(Context(*p), Scale, {20, 0, 1400, 40});  // a band of 10 pixels: rows 0 high
    EXPECT_EQ(p->Count(Background), 1401 * 400);

    // Resources without any palette colour: the strip alone, in its place.
    broadcast.events.push_back({"Event", "", 60});
    ribbon.rows.resize(1);
    const render::DrawingResources none;
    const auto bare = NewPicture(1401, 400);
    render::DrawRibbon({bare->dc, none, data, &areas}, Scale, {20, 0, 1400, 400});
    EXPECT_EQ(bare->Count(Background, {0, 0, 1401, 200}), 1401 * 200);
    EXPECT_NE((*bare)(0, 200), Background);  // one row 100 high: the strip at 200
    for (const int v : {INT32_MIN, INT32_MAX}) {
        render::DrawRibbon(Context(*p), {v, -1 - v}, {v, v, -1 - v, -1 - v});
        for (const int w : {INT32_MIN, 0, INT32_MAX})
            render::DrawBroadcastStrip(Context(*p), v, w, w, v);
    }
}

TEST_F(Ribbon, StripWalksFromThePictureEdgeToElapsedSecond527AndMarksEvents) {
    broadcast.heading = {52920, "Live coverage", "live.htm"};
    broadcast.events = {{"Open", "", 30}, {"Guest", "down 300", 130}};
    constexpr int Y = 50, h = 8;
    const auto p = NewPicture(1200, 120);
    render::DrawBroadcastStrip(Context(*p), 22, 2000, Y, h);
    // Heat left 22: the first column is x 0 (elapsed 19), the last elapsed 527
    // at x 1016; the frame closes at x 1018.
    EXPECT_EQ(p->Count(Black, {0, Y, 1019, Y + 1}) + p->Count(Black, {0, Y + h, 1019, Y + h + 1}), 2 * 1019);
    // Ticks up from the bottom: a minute h, half 5h/8, quarter h/2, five seconds h/4.
    for (const auto& [x, length] : {std::pair{82, 8}, {202, 8}, {142, 5}, {112, 4}, {122, 2}, {1012, 4}, {1018, 8}}) {
        EXPECT_EQ(p->Count(Black, {x, Y + h - length + 1, x + 1, Y + h + 1}), length) << x;
        EXPECT_EQ((*p)(x, Y + h - length), length == h ? Black : Background) << x;
    }
    // "0m" at x 1 over the tick at x 2, "1m" right of the minute's tick; the heading follows the end.
    p->Expect(Black, {2, Y + h - 1});
    p->Expect(Background, {1016, Y + h - 1, 1019, Y, 0, Y + 1, 1 + Measure(0, "0m").cx, Y + 1,
                           1020 + Measure(0, "Live coverage").cx, Y + 1});
    EXPECT_TRUE((*p)(1, Y + 1) != Background && (*p)(83, Y + 1) != Background && (*p)(1020, Y + 1) != Background);
    ASSERT_EQ(areas.size(), 1u);  // the heading, whose link is its only area
    EXPECT_EQ(AreaText(0), Show({1020, Y, 1020 + Measure(0, "Live coverage").cx, Y + h}) + " live.htm ");

    // Events 30 s and 130 s after 14:42:00, at x 22 and 222, hang 2 below the
    // strip; the line runs beside both text lines, with a detail or without.
    const int t = Y + h + 2, cy = Measure(1, "Open").cy, line = 2 * cy - 2;
    for (int x : {22, 222}) {
        SCOPED_TRACE(testing::Message() << "event at " << x);
        p->Expect(DarkBlue, {x, t, x - 2, t + 5, x + 2, t + 5, x, t + line - 1});
        p->Expect(Background, {x, t - 1, x - 3, t + 5, x + 3, t + 5, x, t + line, x + 5, t});
        EXPECT_NE((*p)(x + 6, t), Background);  // the caption's box
    }
    EXPECT_TRUE((*p)(28, t + cy) == Background && (*p)(228, t + cy) != Background);  // Guest's detail line
}

}  // namespace
