// The tick inset: geometry under the main scale, frame, grid, time labels,
// price lines, and its volume and quote-saturation panels.
#include "render/tick_inset.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>

#include "render/main_chart.h"
#include "render/render_test_support.h"

namespace {

using marketdata::Sample;
using namespace rendertest;

constexpr COLORREF Dot = RGB(96, 96, 96);
const COLORREF frame = render::Fill(1), inside = render::Fill(11), grid = render::Fill(13);
const COLORREF buy = render::Fill(9), sell = render::Fill(10), base = render::Fill(12);  // and the price lines

class TickInset : public testing::Test {
protected:
    void SetUp() override {
        for (auto* table : {&marketdata::SpyTicks, &marketdata::EminiTicks, &marketdata::QuoteTradeTicks})
            *table = std::make_unique<Sample[]>(141);
        render::MainScale = {385, -1625};  // on a picture 1000 high: inset top 300, bottom 500
    }
    static std::unique_ptr<Picture> Inset(int width, int height) {
        auto p = std::make_unique<Picture>(width, height);
        render::DrawTickInset(p->dc, 0, 0, width, height);
        return p;
    }
};

TEST_F(TickInset, GeometryFrameLabelsAndFlatLinesFollowTheMainScale) {
    const auto g = render::ComputeInsetGeometry(0, 0, 1000);
    ASSERT_TRUE(g);
    EXPECT_EQ(std::tuple(g->left, g->top, g->right, g->bottom, g->priceBottom), std::tuple(1, 300, 281, 500, 375));
    EXPECT_EQ(std::tuple(g->panel1.top, g->panel1.bottom, g->panel2.top, g->panel2.bottom, g->panel3.top,
                         g->panel3.bottom, g->panel3.left, g->panel3.right),
              std::tuple(350, 395, 397, 440, 444, 487, 1, 281));
    const SIZE label = Measure(0, "14:42:43");
    // Flat tables: eMini drawn over SPY through the price area's middle; the
    // value-0 grid line shows only where they stop (slot 139).
    for (auto [scaleTop, top, bottom] : {std::tuple{385, 300, 500}, std::tuple{185, 200, 400}}) {
        render::MainScale = {scaleTop, scaleTop - 2010};
        const auto p = Inset(400, 1000);
        p->Expect(Background, {280, top - 1, 280, bottom, 281, top + 50, 0, top + 50});
        p->Expect(frame, {280, top, 280, bottom - 1, 1, top + 50});
        p->Expect(grid, {279, top + 37});
        p->Expect(base, {278, top + 95, 278, top + 187});  // the base lines
        p->Expect(buy, {278, top + 140});
        EXPECT_EQ(p->Count(base, {1, top + 37, 279, top + 38}), 278);
        // Nothing outside; time labels too wide for the edges are moved in, onto the frame's left edge.
        EXPECT_EQ(p->Count(Background, {0, top, 1, bottom}) + p->Count(Background, {281, top, 400, bottom}),
                  120 * (bottom - top) - 1);    // but slot 1's saturation base pixel at x 0
        const int row = bottom - label.cy + 1;  // the label row's top is panel 3's base line
        EXPECT_GT(p->Count(render::Ink(0), {1, row, 280, bottom - 1}), 0);
        if (label.cx >= 34) {
            EXPECT_TRUE(p->Count(inside, {1, row, 280, row + 1}) == 279 && (*p)(280, row) == frame);
        }
    }
    render::MainScale = {385, -1625};
    for (int s = 0; s < 141; ++s) {
        marketdata::EminiTicks[s] = Sample{s, 0, -1, -1};
        marketdata::QuoteTradeTicks[s].value = s + 1;
    }
    for (int height : {40, 12, 3, 1}) {  // short pictures, panels of negative height: in bounds
        const auto p = Inset(400, height);
        EXPECT_EQ(p->Count(Background, {0, 0, 1, height}) + p->Count(Background, {281, 0, 400, height}), 120 * height);
    }
    render::MainScale = {0, 0};  // no scale yet: nothing to place the inset by
    EXPECT_FALSE(render::ComputeInsetGeometry(0, 0, 1000));
}

TEST_F(TickInset, GridAtMultiplesOf25OrOnlyOnTopWhenUnspaceable) {
    // Inset 3000 to 5000, price area 750 rows; hi 41, lo -67: u = 6.
    marketdata::SpyTicks[1].value = 40;
    marketdata::SpyTicks[2].value = -66;
    auto p = Inset(300, 10000);
    for (int v : {25, 0, -25, -50, -75})  // down to lo - 10
        EXPECT_EQ((*p)(278, 3000 + (41 - v) * 6), grid) << v;
    // Dotted marks every 5 units at slots 0 and 16; a full-second line at slot 8.
    p->Expect(inside, {278, 3102, 278, 3846, 33, 3031, 19, 3010});
    p->Expect(Dot, {1, 3030, 33, 3030});
    p->Expect(grid, {17, 3010});
    // u = 0: slot 140 sets a range no pixel can space, though it lies undrawn at the right edge.
    marketdata::SpyTicks[140].value = INT32_MAX;
    marketdata::EminiTicks[140].value = INT32_MIN;
    std::int32_t hi = 0, lo = 0;
    render::InsetPriceRange(hi, lo);
    EXPECT_EQ(std::pair(hi, lo), std::pair(INT32_MAX, INT32_MIN));  // saturated
    p = Inset(400, 1000);
    EXPECT_EQ(p->Count(grid, {1, 300, 280, 301}), 279);
    EXPECT_EQ(p->Count(Dot, {2, 301, 280, 480}), 0);
}

// Panels drawn straight into {10, 20, 290, 120}: as wide as the inset, 100 high.
constexpr RECT Panel{10, 20, 290, 120};

TEST(InsetPanels, VolumeBarsStackAndScaleToTheBusiestSlot) {
    const auto table = std::make_unique<Sample[]>(141);
    Picture none(300, 140), bars(300, 140), huge(300, 140);
    render::DrawVolumeBars(none.dc, Panel, table.get(), 12);  // no volume: the base line alone
    EXPECT_EQ(none.Count(Background, {0, 0, 300, 120}) + none.Count(base, {10, 120, 290, 121}), 300 * 120 + 280);

    table[0] = Sample{0, 0, 30, 20};  // 30 rows of buy under 20 of sell
    table[1] = Sample{0, 0, 0, 100};  // the busiest: up to the row below the top
    table[2] = Sample{0, 0, 25, 0};
    table[140] = Sample{0, 0, 100, 0};  // at x = right: not drawn
    render::DrawVolumeBars(bars.dc, Panel, table.get(), 12);
    bars.Expect(buy, {10, 119, 10, 91, 14, 96});
    bars.Expect(sell, {10, 90, 10, 71, 12, 119, 12, 21});
    bars.Expect(Background, {10, 70, 14, 95, 9, 120});
    bars.Expect(base, {289, 120});
    EXPECT_EQ(bars.Count(Background, {0, 0, 300, 21}) + bars.Count(Background, {290, 0, 300, 140}),
              300 * 21 + 10 * 140);
    EXPECT_EQ(bars.Count(Background, {11, 0, 12, 140}), 139);  // slot 0.5: the base line only

    // Counts are unsigned: sums that would wrap in 32 bits still scale right.
    table[0] = Sample{0, 0, INT32_MIN, INT32_MIN};  // 2^32
    table[1] = Sample{0, 0, -1, -1};                // 2^33 - 2, the busiest
    render::DrawVolumeBars(huge.dc, Panel, table.get(), 12);
    huge.Expect(buy, {10, 96});
    huge.Expect(sell, {10, 95, 10, 71, 12, 21});
    huge.Expect(Background, {10, 70});
    EXPECT_EQ(huge.Count(Background, {0, 0, 300, 21}) + huge.Count(Background, {0, 121, 300, 140}), 300 * 40);
}

TEST(InsetPanels, SaturationShadesByHeightFromSlotOne) {
    render::CreateDrawingResources();
    const auto& palette = render::HuePalette;
    ASSERT_EQ(palette.count, 272u);
    const auto table = std::make_unique<Sample[]>(141);
    table[0].value = 200;  // sets the scale but is never drawn
    table[1].value = 100;
    table[140].value = 199;
    Picture p(300, 140);
    render::DrawSaturation(p.dc, Panel, table.get(), 12);
    auto shade = [&](int y) { return palette.colors[(120 - y) * 272 / 101]; };
    for (int y = 70; y < 120; ++y)  // slot 1, one pixel left of the frame
        ASSERT_TRUE(p(9, y) == shade(y) && p(10, y) == shade(y)) << y;
    // The base row keeps black left of the base line; slot 2 holds 0: its base row only.
    p.Expect(Background, {9, 69, 11, 119, 288, 20, 289, 119});
    p.Expect(shade(21), {287, 21, 288, 21});
    EXPECT_TRUE(p(9, 120) == palette.colors[0] && p(10, 120) == base);
    EXPECT_EQ(p.Count(Background, {0, 0, 9, 140}) + p.Count(Background, {0, 0, 300, 21}), 9 * 140 + 300 * 21);
}

}  // namespace
