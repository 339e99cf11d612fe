// The drawing resources: the colour conversion, the hue palette built from
// it, and the owned fonts, brushes and pens.
#include "render/resources.h"

#include <gtest/gtest.h>

#include <climits>
#include <tuple>
#include <utility>

#include "render/render_test_support.h"

namespace {

using namespace rendertest;
using render::Color;
using render::HslToColor;

TEST(HslToColor, ChannelsTruncate) {
    const std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, COLORREF> cases[] = {
        {0, 100, 50, RGB(255, 0, 0)},   {1, 100, 50, RGB(255, 4, 0)},      {60, 100, 50, RGB(255, 255, 0)},
        {0, 0, 50, RGB(127, 127, 127)}, {0, 100, 100, RGB(255, 255, 255)}, {200, 50, 75, RGB(159, 201, 223)},
        {30, 100, 25, RGB(127, 63, 0)}, {123, 77, 0, RGB(0, 0, 0)},        {360, 100, 50, RGB(255, 0, 0)}};
    for (const auto& [h, s, l, color] : cases)
        EXPECT_EQ(HslToColor(h, s, l), color) << h << " " << s << " " << l;
    // Far outside the domain: still a colour, without undefined conversions.
    EXPECT_EQ((HslToColor(UINT32_MAX, UINT32_MAX, UINT32_MAX) | HslToColor(10, UINT32_MAX, 50)) >> 24, 0u);
}

TEST(HuePalette, RunsFromBlackThroughVioletToRed) {
    const render::HuePaletteTable palette = render::BuildHuePalette();
    ASSERT_EQ(palette.count, 272u);  // black and the hues 270 .. 0
    const std::pair<int, COLORREF> entries[] = {
        {0, RGB(0, 0, 0)},       {1, RGB(127, 0, 255)},   {2, RGB(123, 0, 255)}, {91, RGB(0, 255, 255)},
        {120, RGB(0, 255, 131)}, {211, RGB(255, 255, 0)}, {270, RGB(255, 4, 0)}, {271, RGB(255, 0, 0)}};
    for (const auto& [entry, color] : entries)
        EXPECT_EQ(palette.colors[entry], color) << "entry " << entry;
    EXPECT_EQ(palette.colors[272], 0u);  // the rest stays empty
}

TEST(DrawingResources, BrushesAndPensPaintTheirFillsFontsGrowWithTheirHeights) {
    const render::DrawingResources resources = render::DrawingResources::Create();
    MemoryPicture p(4, 4, Background);
    for (int n = 0; n < render::ColorCount; ++n) {
        const Color c = static_cast<Color>(n);
        SCOPED_TRACE(testing::Message() << "colour " << n);
        const RECT cell{0, 0, 2, 4};
        FillRect(p.dc, &cell, resources.Brush(c));
        SelectObject(p.dc, resources.Pen(c));
        MoveToEx(p.dc, 3, 0, nullptr);
        LineTo(p.dc, 3, 4);
        EXPECT_EQ(p(1, 1), render::Fill(c));
        EXPECT_EQ(p(3, 1), render::Fill(c));
        EXPECT_EQ(render::ColorTableFills().at(static_cast<std::size_t>(n)), render::Fill(c));
    }
    EXPECT_EQ(render::ColorTableFills().size(), 16u);
    const render::HuePaletteTable& palette = resources.HuePalette();
    ASSERT_EQ(palette.count, 272u);
    for (const int entry : {1, 135, 271}) {
        SelectObject(p.dc, palette.pens[entry]);
        MoveToEx(p.dc, 0, 2, nullptr);
        LineTo(p.dc, 4, 2);
        EXPECT_EQ(p(2, 2), palette.colors[entry]) << "entry " << entry;
    }
    // Heights 11, 10, 14 and 32 pixels.
    int heights[render::FontCount];
    for (int n = 0; n < render::FontCount; ++n) {
        ASSERT_NE(resources.Font(n), nullptr) << n;
        SelectObject(p.dc, resources.Font(n));
        SIZE size{0, 0};
        GetTextExtentPointA(p.dc, "M", 1, &size);
        heights[n] = size.cy;
    }
    EXPECT_TRUE(heights[1] < heights[0] && heights[0] < heights[2] && heights[2] < heights[3])
        << heights[0] << " " << heights[1] << " " << heights[2] << " " << heights[3];
}

TEST(DrawingResources, AMoveHandsTheObjectsOver) {
    render::DrawingResources first = render::DrawingResources::Create();
    const HBRUSH brush = first.Brush(Color::Teal);
    const HPEN hue = first.HuePalette().pens[5];
    render::DrawingResources second(std::move(first));
    EXPECT_TRUE(first.Brush(Color::Teal) == nullptr && first.Font(0) == nullptr && first.HuePalette().count == 0);
    EXPECT_TRUE(second.Brush(Color::Teal) == brush && second.HuePalette().pens[5] == hue);
    render::DrawingResources third;
    third = std::move(second);
    EXPECT_EQ(second.Pen(Color::Black), nullptr);
    EXPECT_EQ(third.Brush(Color::Teal), brush);
    EXPECT_EQ(third.HuePalette().count, 272u);
}

}  // namespace
