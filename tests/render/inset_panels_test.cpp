// The inset's volume bars and quote-saturation columns, drawn directly into a
// panel {10, 20, 290, 120} (280 wide, as in the inset, 100 high).
#include <gtest/gtest.h>

#include <climits>
#include <memory>

#include "render/resources.h"
#include "render/tick_inset.h"

namespace {

using marketdata::Sample;

struct Canvas {
    Canvas() {
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateCompatibleBitmap(dc, 300, 140);
        SelectObject(dc, bitmap);
        const RECT all{0, 0, 300, 140};
        FillRect(dc, &all, render::Brush(0));
    }
    ~Canvas() {
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    COLORREF At(int x, int y) const { return GetPixel(dc, x, y); }
    // True when every pixel of rows [top, bottom) is white.
    bool BlankRows(int top, int bottom) const {
        for (int y = top; y < bottom; ++y)
            for (int x = 0; x < 300; ++x)
                if (At(x, y) != White)
                    return false;
        return true;
    }
    static constexpr COLORREF White = RGB(255, 255, 255);
    HDC dc;
    HBITMAP bitmap;
};

constexpr RECT Panel{10, 20, 290, 120};

class InsetPanelsTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        static const bool created = (render::CreateDrawingResources(), true);
        (void)created;
    }
    std::unique_ptr<Sample[]> table = std::make_unique<Sample[]>(141);
    Canvas c;
    const COLORREF buy = render::Fill(9), sell = render::Fill(10), base = render::Fill(12), white = Canvas::White;
};

TEST_F(InsetPanelsTest, VolumeBarsStackAndScaleToTheBusiestSlot) {
    table[0] = Sample{0, 0, 30, 20};
    table[1] = Sample{0, 0, 0, 100};  // the busiest: reaches the row below the top
    table[2] = Sample{0, 0, 25, 0};
    table[140] = Sample{0, 0, 100, 0};  // at x = right: not drawn
    render::DrawVolumeBars(c.dc, Panel, table.get(), 12);
    EXPECT_EQ(c.At(10, 119), buy);  // 30 rows of buy under 20 of sell
    EXPECT_EQ(c.At(10, 91), buy);
    EXPECT_EQ(c.At(10, 90), sell);
    EXPECT_EQ(c.At(10, 71), sell);
    EXPECT_EQ(c.At(10, 70), white);
    EXPECT_EQ(c.At(12, 119), sell);
    EXPECT_EQ(c.At(12, 21), sell);
    EXPECT_EQ(c.At(14, 96), buy);
    EXPECT_EQ(c.At(14, 95), white);
    EXPECT_TRUE(c.BlankRows(0, 21));
    for (int y = 0; y < 140; ++y) {
        ASSERT_EQ(c.At(11, y), y == 120 ? base : white) << y;
        ASSERT_EQ(c.At(290, y), white) << y;
    }
    EXPECT_EQ(c.At(9, 120), white);
    EXPECT_EQ(c.At(289, 120), base);
}

TEST_F(InsetPanelsTest, VolumeBarsWithoutVolumeOrWithHugeCounts) {
    render::DrawVolumeBars(c.dc, Panel, table.get(), 12);
    EXPECT_TRUE(c.BlankRows(0, 120));
    EXPECT_EQ(c.At(150, 120), base);

    // Counts are unsigned; sums that would wrap in 32 bits still scale right.
    table[0] = Sample{0, 0, INT32_MIN, INT32_MIN};  // 2^32
    table[1] = Sample{0, 0, -1, -1};                // 2^33 - 2, the busiest
    Canvas huge;
    render::DrawVolumeBars(huge.dc, Panel, table.get(), 12);
    EXPECT_EQ(huge.At(10, 96), buy);  // 25 rows of buy, 25 of sell
    EXPECT_EQ(huge.At(10, 95), sell);
    EXPECT_EQ(huge.At(10, 71), sell);
    EXPECT_EQ(huge.At(10, 70), white);
    EXPECT_EQ(huge.At(12, 21), sell);
    EXPECT_TRUE(huge.BlankRows(0, 21));
    EXPECT_TRUE(huge.BlankRows(121, 140));
}

TEST_F(InsetPanelsTest, SaturationColumnsShadeByHeight) {
    const auto& palette = render::HuePalette;
    ASSERT_EQ(palette.count, 272u);
    table[0].value = 200;  // sets the scale but is never drawn
    table[1].value = 100;
    table[140].value = 199;
    render::DrawSaturation(c.dc, Panel, table.get(), 12);
    auto shade = [&](int y) { return palette.colors[(120 - y) * 272 / 101]; };
    for (int y = 70; y < 120; ++y) {
        ASSERT_EQ(c.At(9, y), shade(y)) << y;  // slot 1: one pixel left of the frame
        ASSERT_EQ(c.At(10, y), shade(y)) << y;
    }
    EXPECT_EQ(c.At(9, 69), white);
    EXPECT_EQ(c.At(9, 120), palette.colors[0]);  // the base line starts right of it
    EXPECT_EQ(c.At(10, 120), base);
    EXPECT_EQ(c.At(11, 119), white);  // slot 2 holds 0: only its base row
    EXPECT_EQ(c.At(287, 21), shade(21));
    EXPECT_EQ(c.At(288, 21), shade(21));
    for (int y = 0; y < 140; ++y) {
        ASSERT_EQ(c.At(7, y), white) << y;
        ASSERT_EQ(c.At(8, y), white) << y;
        ASSERT_EQ(c.At(289, y), y == 120 ? base : white) << y;
    }
    EXPECT_TRUE(c.BlankRows(0, 21));
}

TEST_F(InsetPanelsTest, SaturationOnFlatOrInvertedPanels) {
    render::DrawSaturation(c.dc, Panel, table.get(), 12);  // all counts 0: single rows
    EXPECT_TRUE(c.BlankRows(0, 120));
    EXPECT_EQ(c.At(9, 120), render::HuePalette.colors[0]);
    EXPECT_EQ(c.At(150, 120), base);

    for (int i = 0; i < 141; ++i)
        table[i].value = i;
    for (LONG top : {41, 50}) {  // bottom - top + 1 of 0 and below: only the base line
        Canvas flat;
        render::DrawSaturation(flat.dc, RECT{10, top, 290, 40}, table.get(), 12);
        EXPECT_TRUE(flat.BlankRows(0, 40));
        EXPECT_TRUE(flat.BlankRows(41, 140));
        EXPECT_EQ(flat.At(9, 40), white);
        EXPECT_EQ(flat.At(10, 40), base);
    }
}

}  // namespace
