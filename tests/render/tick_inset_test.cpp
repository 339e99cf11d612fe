// The tick inset: its geometry under the main scale, frame, grid, dotted
// marks, price lines, time labels and the handling of odd tables and sizes.
#include "render/tick_inset.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <tuple>
#include <utility>

#include "render/main_chart.h"
#include "render/resources.h"

namespace {

using marketdata::Sample;

// A white memory bitmap to draw on.
struct Canvas {
    Canvas(int w, int h) : width(w), height(h) {
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateCompatibleBitmap(dc, w, h);
        SelectObject(dc, bitmap);
        const RECT all{0, 0, w, h};
        FillRect(dc, &all, render::Brush(0));
    }
    ~Canvas() {
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    COLORREF At(int x, int y) const { return GetPixel(dc, x, y); }
    void DrawInset() const { render::DrawTickInset(dc, 0, 0, width, height); }
    int width, height;
    HDC dc;
    HBITMAP bitmap;
};

constexpr COLORREF White = RGB(255, 255, 255);
constexpr COLORREF Dot = RGB(96, 96, 96);

std::pair<std::int32_t, std::int32_t> PriceRange() {
    std::pair<std::int32_t, std::int32_t> range{0, 0};
    render::InsetPriceRange(range.first, range.second);
    return range;
}

class TickInsetTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        static const bool created = (render::CreateDrawingResources(), true);
        (void)created;
    }
    void SetUp() override {
        for (auto* table : {&marketdata::SpyTicks, &marketdata::EminiTicks, &marketdata::QuoteTradeTicks})
            *table = std::make_unique<Sample[]>(141);
        // On a picture 1000 high this puts the inset's top at 300 and its bottom at 500.
        render::MainScale = {385, -1625};
    }
    void TearDown() override {
        marketdata::SpyTicks.reset();
        marketdata::EminiTicks.reset();
        marketdata::QuoteTradeTicks.reset();
    }
    const COLORREF frame = render::Fill(1), inside = render::Fill(11), grid = render::Fill(13);
};

TEST_F(TickInsetTest, GeometryAndFrameFollowTheMainScale) {
    auto g = render::ComputeInsetGeometry(0, 0, 1000);
    ASSERT_TRUE(g);
    auto span = [](const RECT& r) { return std::tuple(r.left, r.top, r.right, r.bottom); };
    EXPECT_EQ(std::tuple(g->left, g->top, g->right, g->bottom, g->priceBottom), std::tuple(1, 300, 281, 500, 375));
    EXPECT_EQ(span(g->panel1), std::tuple(1, 350, 281, 395));
    EXPECT_EQ(span(g->panel2), std::tuple(1, 397, 281, 440));
    EXPECT_EQ(span(g->panel3), std::tuple(1, 444, 281, 487));

    for (auto [scaleTop, insetTop, insetBottom] : {std::tuple{385, 300, 500}, std::tuple{185, 200, 400}}) {
        render::MainScale = {scaleTop, scaleTop - 2010};
        Canvas c(400, 1000);
        c.DrawInset();
        EXPECT_EQ(c.At(280, insetTop - 1), White);
        EXPECT_EQ(c.At(280, insetBottom), White);
        for (int y = insetTop; y < insetBottom; ++y) {
            // The right edge: only the value-0 grid line and the base lines reach it.
            const int row = y - insetTop;
            if (row != 37 && row != 95 && row != 140 && row != 187)
                ASSERT_EQ(c.At(280, y), frame) << y;
            ASSERT_EQ(c.At(281, y), White) << y;
        }
        // The bottom edge, crossed by the full-second lines (slots 8, 48, 88, 128).
        for (int x = 1; x <= 280; ++x)
            ASSERT_EQ(c.At(x, insetBottom - 1), (x - 1) % 80 == 16 ? grid : frame) << x;
        EXPECT_EQ(c.At(0, insetBottom - 1), White);
    }

    // No scale yet: nothing to place the inset by.
    render::MainScale = {0, 0};
    EXPECT_FALSE(render::ComputeInsetGeometry(0, 0, 1000));
    Canvas c(400, 1000);
    c.DrawInset();
    EXPECT_EQ(c.At(280, 400), White);
}

TEST_F(TickInsetTest, FlatTablesAndAbsentTables) {
    EXPECT_EQ(PriceRange(), std::pair(1, -1));
    {
        Canvas c(400, 1000);
        c.DrawInset();
        // Both lines through the middle of the price area, eMini on top; the
        // value-0 grid line shows only where the lines stop (slot 139).
        for (int x = 1; x <= 278; ++x)
            ASSERT_EQ(c.At(x, 337), render::Fill(12)) << x;
        EXPECT_EQ(c.At(279, 337), grid);
        EXPECT_EQ(c.At(278, 395), render::Fill(12));  // the three base lines
        EXPECT_EQ(c.At(278, 440), render::Fill(9));
        EXPECT_EQ(c.At(278, 487), render::Fill(12));
    }
    marketdata::SpyTicks.reset();
    marketdata::QuoteTradeTicks.reset();
    {
        Canvas c(400, 1000);
        c.DrawInset();
        EXPECT_EQ(c.At(100, 337), render::Fill(12));
        EXPECT_EQ(c.At(278, 395), render::Fill(12));
        EXPECT_EQ(c.At(278, 440), inside);
        EXPECT_EQ(c.At(278, 487), inside);
    }
    marketdata::EminiTicks.reset();
    EXPECT_EQ(PriceRange(), std::pair(1, -1));
    Canvas c(400, 1000);
    c.DrawInset();
    EXPECT_EQ(c.At(100, 337), grid);
    EXPECT_EQ(c.At(280, 400), frame);
}

TEST_F(TickInsetTest, GridDotsAndSecondLines) {
    // Inset 3000 to 5000, price area 750 rows; hi 41, lo -67: u = 6.
    marketdata::SpyTicks[1].value = 40;
    marketdata::SpyTicks[2].value = -66;
    Canvas c(300, 10000);
    c.DrawInset();
    // Every multiple of 25 from hi down to lo - 10 (-77), negatives and 0 included.
    for (int v : {25, 0, -25, -50, -75})
        EXPECT_EQ(c.At(278, 3000 + (41 - v) * 6), grid) << v;
    EXPECT_EQ(c.At(278, 3000 + (41 - 24) * 6), inside);
    EXPECT_EQ(c.At(278, 3000 + (41 + 100) * 6), inside);
    // Dotted marks every 5 units at slots 0 and 16; a full-second line at slot 8.
    EXPECT_EQ(c.At(1, 3030), Dot);
    EXPECT_EQ(c.At(33, 3030), Dot);
    EXPECT_EQ(c.At(33, 3031), inside);
    EXPECT_EQ(c.At(17, 3010), grid);
    EXPECT_EQ(c.At(19, 3010), inside);
}

TEST_F(TickInsetTest, UnspaceableRangeEndsWithOneGridLineAndNoDots) {
    for (auto [high, low] : {std::pair{100000, -100000}, std::pair{INT32_MAX, INT32_MIN}}) {
        // Slot 140 sets the range but lies at the inset's right edge, undrawn.
        marketdata::SpyTicks[140].value = high;
        marketdata::EminiTicks[140].value = low;
        const bool extreme = high == INT32_MAX;  // hi and lo saturate
        EXPECT_EQ(PriceRange(), std::pair(extreme ? high : high + 1, extreme ? low : low - 1));
        Canvas c(400, 1000);
        c.DrawInset();
        for (int x = 1; x <= 279; ++x)
            ASSERT_EQ(c.At(x, 300), grid) << x;
        for (int y = 301; y < 480; ++y)
            ASSERT_NE(c.At(33, y), Dot) << y;
    }
}

TEST_F(TickInsetTest, TimeLabelsStayInsideTheInset) {
    Canvas probe(10, 10);
    SelectObject(probe.dc, render::Font(0));
    SIZE size{};
    GetTextExtentPointA(probe.dc, "14:42:43", 8, &size);
    if (size.cx < 34)
        GTEST_SKIP() << "no font wide enough to need clamping";
    Canvas c(400, 1000);
    c.DrawInset();
    // The label row's top row is panel 3's base line, drawn later.
    const int row = 500 - size.cy + 1;
    // The first label's box starts at x = 1 over the frame's edge; the last
    // one's ends just inside the right edge, which keeps its frame colour.
    EXPECT_EQ(c.At(1, row), inside);
    EXPECT_EQ(c.At(279, row), inside);
    EXPECT_EQ(c.At(280, row), frame);
    bool ink = false;
    for (int y = row; y < 499; ++y) {
        ASSERT_EQ(c.At(0, y), White);
        for (int x = 281; x < 400; ++x)
            ASSERT_EQ(c.At(x, y), White);
        for (int x = 1; x < 280; ++x)
            ink = ink || c.At(x, y) == render::Ink(0);
    }
    EXPECT_TRUE(ink);
}

TEST_F(TickInsetTest, ShortPicturesGiveEmptyPanelsAndStayInBounds) {
    for (int s = 0; s < 141; ++s) {
        marketdata::EminiTicks[s] = Sample{s, 0, -1, -1};
        marketdata::QuoteTradeTicks[s].value = s + 1;
    }
    for (int height : {40, 12, 3, 1}) {
        auto g = render::ComputeInsetGeometry(0, 0, height);
        ASSERT_TRUE(g);
        EXPECT_LT(g->panel3.bottom - g->panel3.top, 0);
        Canvas c(400, height);
        c.DrawInset();
        for (int y = 0; y < height; ++y) {
            ASSERT_EQ(c.At(0, y), White);
            for (int x = 281; x < 400; ++x)
                ASSERT_EQ(c.At(x, y), White);
        }
    }
}

}  // namespace
