// The tick inset: geometry under the main scale, frame, grid, time labels,
// price lines, and its volume and quote-saturation panels.
#include "render/tick_inset.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>

#include "render/render_test_support.h"

namespace {

using marketdata::Sample;
using render::Color;
using namespace rendertest;

constexpr COLORREF Dot = RGB(96, 96, 96);
constexpr COLORREF frame = render::Fill(Color::LightBlue), inside = render::Fill(Color::LightYellow),
                   grid = render::Fill(Color::LightGrey);
// Buy and sell bars; the base lines and the eMini price line.
constexpr COLORREF buy = render::Fill(Color::DarkGreen), sell = render::Fill(Color::Red),
                   base = render::Fill(Color::DarkBlue);

// On a picture 1000 high this scale puts -2.18 % on row 300 and -6.20 % on row 500.
constexpr render::MainScaleValues Scale{385, -1625};

class TickInset : public PanelTest {
protected:
    TickInset() {
        for (auto* table : {&series.SpyTicks, &series.EminiTicks, &series.QuoteTradeTicks})
            *table = std::make_unique<Sample[]>(141);
    }
    std::unique_ptr<MemoryPicture> Inset(int width, int height, render::MainScaleValues scale = Scale) {
        auto p = NewPicture(width, height);
        render::DrawTickInset(Context(*p), scale, 0, 0, width, height);
        return p;
    }
};

TEST_F(TickInset, GeometryFrameLabelsAndFlatLinesFollowTheMainScale) {
    const auto g = render::ComputeInsetGeometry(Scale, 0, 0, 1000);
    ASSERT_TRUE(g);
    EXPECT_EQ(std::tuple(g->left, g->top, g->right, g->bottom, g->priceBottom), std::tuple(1, 300, 281, 500, 375));
    EXPECT_EQ(std::tuple(g->panel1.top, g->panel1.bottom, g->panel2.top, g->panel2.bottom, g->panel3.top,
                         g->panel3.bottom, g->panel3.left, g->panel3.right),
              std::tuple(350, 395, 397, 440, 444, 487, 1, 281));
    const SIZE label = Measure(0, "14:42:43");
    // Flat tables: eMini drawn over SPY through the price area's middle; the
    // value-0 grid line shows only where they stop (slot 139).
    for (auto [scaleTop, top, bottom] : {std::tuple{385, 300, 500}, std::tuple{185, 200, 400}}) {
        SCOPED_TRACE(testing::Message() << "scale top " << scaleTop);
        const auto p = Inset(400, 1000, {scaleTop, scaleTop - 2010});
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
        EXPECT_GT(p->Count(render::Ink(Color::White), {1, row, 280, bottom - 1}), 0);
        if (label.cx >= 34) {
            EXPECT_TRUE(p->Count(inside, {1, row, 280, row + 1}) == 279 && (*p)(280, row) == frame);
        }
    }
    for (int s = 0; s < 141; ++s) {
        series.EminiTicks[s] = Sample{s, 0, -1, -1};
        series.QuoteTradeTicks[s].value = s + 1;
    }
    for (int height : {40, 12, 3, 1}) {  // short pictures, panels of negative height: in bounds
        const auto p = Inset(400, height);
        EXPECT_EQ(p->Count(Background, {0, 0, 1, height}) + p->Count(Background, {281, 0, 400, height}), 120 * height)
            << height;
    }
    EXPECT_FALSE(render::ComputeInsetGeometry({0, 0}, 0, 0, 1000));  // no scale: nothing to place the inset by
    EXPECT_EQ(Inset(400, 1000, {0, 0})->Count(Background), 400 * 1000);
}

TEST_F(TickInset, MissingTablesLeaveTheirPanelsOut) {
    series.SpyTicks.reset();
    series.QuoteTradeTicks.reset();
    series.EminiTicks[3].value = 7;
    const auto p = Inset(400, 1000);
    // Only panel 1 (eMini volume) keeps its base line; panels 2 and 3 stay frame-filled.
    EXPECT_EQ(p->Count(base, {1, 395, 281, 396}), 280);
    EXPECT_EQ(p->Count(base, {1, 440, 281, 441}) + p->Count(base, {1, 487, 281, 488}), 0);
    std::int32_t hi = 0, lo = 0;
    render::InsetPriceRange(series, hi, lo);
    EXPECT_EQ(std::pair(hi, lo), std::pair(8, -1));  // eMini alone
    series.EminiTicks.reset();
    render::InsetPriceRange(series, hi, lo);
    EXPECT_EQ(std::pair(hi, lo), std::pair(1, -1));  // none at all
}

TEST_F(TickInset, GridAtMultiplesOf25OrOnlyOnTopWhenUnspaceable) {
    // Inset 3000 to 5000, price area 750 rows; hi 41, lo -67: u = 750 / 108 = 6.
    series.SpyTicks[1].value = 40;
    series.SpyTicks[2].value = -66;
    auto p = Inset(300, 10000);
    // Down to lo - 10 at rows 3000 + (41 - v) * 6.
    for (const auto& [v, y] : {std::pair{25, 3096}, {0, 3246}, {-25, 3396}, {-50, 3546}, {-75, 3696}})
        EXPECT_EQ((*p)(278, y), grid) << v;
    // Dotted marks every 5 units at slots 0 and 16; a full-second line at slot 8.
    p->Expect(inside, {278, 3102, 278, 3846, 33, 3031, 19, 3010});
    p->Expect(Dot, {1, 3030, 33, 3030});
    p->Expect(grid, {17, 3010});
    // u = 0: slot 140 sets a range no pixel can space, though it lies undrawn at the right edge.
    series.SpyTicks[140].value = INT32_MAX;
    series.EminiTicks[140].value = INT32_MIN;
    std::int32_t hi = 0, lo = 0;
    render::InsetPriceRange(series, hi, lo);
    EXPECT_EQ(std::pair(hi, lo), std::pair(INT32_MAX, INT32_MIN));  // saturated
    p = Inset(400, 1000);
    EXPECT_EQ(p->Count(grid, {1, 300, 280, 301}), 279);
    EXPECT_EQ(p->Count(Dot, {2, 301, 280, 480}), 0);
}

// Panels drawn straight into {10, 20, 290, 120}: as wide as the inset, 100 high.
constexpr RECT Panel{10, 20, 290, 120};
using InsetPanels = PanelTest;

TEST_F(InsetPanels, VolumeBarsStackAndScaleToTheBusiestSlot) {
    const auto table = std::make_unique<Sample[]>(141);
    const auto none = NewPicture(300, 140), bars = NewPicture(300, 140), huge = NewPicture(300, 140);
    render::DrawVolumeBars(Context(*none), Panel, table.get(), Color::DarkBlue);  // no volume: the base line alone
    EXPECT_EQ(none->Count(Background, {0, 0, 300, 120}) + none->Count(base, {10, 120, 290, 121}), 300 * 120 + 280);

    table[0] = Sample{0, 0, 30, 20};  // 30 rows of buy under 20 of sell
    table[1] = Sample{0, 0, 0, 100};  // the busiest: up to the row below the top
    table[2] = Sample{0, 0, 25, 0};
    table[140] = Sample{0, 0, 100, 0};  // at x = right: not drawn
    render::DrawVolumeBars(Context(*bars), Panel, table.get(), Color::DarkBlue);
    bars->Expect(buy, {10, 119, 10, 91, 14, 96});
    bars->Expect(sell, {10, 90, 10, 71, 12, 119, 12, 21});
    bars->Expect(Background, {10, 70, 14, 95, 9, 120});
    bars->Expect(base, {289, 120});
    EXPECT_EQ(bars->Count(Background, {0, 0, 300, 21}) + bars->Count(Background, {290, 0, 300, 140}),
              300 * 21 + 10 * 140);
    EXPECT_EQ(bars->Count(Background, {11, 0, 12, 140}), 139);  // slot 0.5: the base line only

    // Counts are unsigned: sums that would wrap in 32 bits still scale right.
    table[0] = Sample{0, 0, INT32_MIN, INT32_MIN};  // 2^32
    table[1] = Sample{0, 0, -1, -1};                // 2^33 - 2, the busiest
    render::DrawVolumeBars(Context(*huge), Panel, table.get(), Color::DarkBlue);
    huge->Expect(buy, {10, 96});
    huge->Expect(sell, {10, 95, 10, 71, 12, 21});
    huge->Expect(Background, {10, 70});
    EXPECT_EQ(huge->Count(Background, {0, 0, 300, 21}) + huge->Count(Background, {0, 121, 300, 140}), 300 * 40);
}

TEST_F(InsetPanels, SaturationShadesByHeightFromSlotOne) {
    const render::HuePaletteTable& palette = resources.HuePalette();
    ASSERT_EQ(palette.count, 272u);
    const auto table = std::make_unique<Sample[]>(141);
    table[0].value = 200;  // sets the scale but is never drawn
    table[1].value = 100;
    table[140].value = 199;
    const auto p = NewPicture(300, 140);
    render::DrawSaturation(Context(*p), Panel, table.get(), Color::DarkBlue);
    // Slot 1 (half the busiest) fills rows 70 to 120 at x 9 and 10; 101 rows
    // share the 272 entries, row 120 - d taking entry d * 272 / 101.
    for (const auto& [y, entry] : {std::pair{119, 2}, {100, 53}, {71, 131}, {70, 134}}) {
        EXPECT_EQ((*p)(9, y), palette.colors[entry]) << y;
        EXPECT_EQ((*p)(10, y), palette.colors[entry]) << y;
    }
    EXPECT_EQ(p->Count(Background, {9, 70, 11, 120}), 0);
    // The base row keeps black left of the base line; slot 2 holds 0: its base row only.
    p->Expect(Background, {9, 69, 11, 119, 288, 20, 289, 119});
    p->Expect(palette.colors[266], {287, 21, 288, 21});  // slot 140 near the top: 99 * 272 / 101
    EXPECT_TRUE((*p)(9, 120) == palette.colors[0] && (*p)(10, 120) == base);
    EXPECT_EQ(p->Count(Background, {0, 0, 9, 140}) + p->Count(Background, {0, 0, 300, 21}), 9 * 140 + 300 * 21);
}

}  // namespace
