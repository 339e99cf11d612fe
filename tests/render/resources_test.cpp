// The hue palette and the colour conversion it is built from.
#include "render/resources.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using render::HslToColor;
using render::HuePalette;

TEST(HuePaletteTest, ColoursTruncateAndThePaletteRunsFromBlackThroughVioletToRed) {
    const std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, COLORREF> hsl[] = {
        {0, 100, 50, RGB(255, 0, 0)},   {1, 100, 50, RGB(255, 4, 0)},      {60, 100, 50, RGB(255, 255, 0)},
        {0, 0, 50, RGB(127, 127, 127)}, {0, 100, 100, RGB(255, 255, 255)}, {200, 50, 75, RGB(159, 201, 223)},
        {30, 100, 25, RGB(127, 63, 0)}, {123, 77, 0, RGB(0, 0, 0)},        {360, 100, 50, RGB(255, 0, 0)}};
    for (const auto& [h, s, l, color] : hsl)
        EXPECT_EQ(HslToColor(h, s, l), color) << h << " " << s << " " << l;
    // Far outside the domain: still a colour, without undefined conversions.
    EXPECT_EQ((HslToColor(UINT32_MAX, UINT32_MAX, UINT32_MAX) | HslToColor(10, UINT32_MAX, 50)) >> 24, 0u);

    render::CreateDrawingResources();
    ASSERT_EQ(HuePalette.count, 272u);
    const std::pair<int, COLORREF> rows[] = {{0, RGB(0, 0, 0)},      {1, RGB(127, 0, 255)},   {2, RGB(123, 0, 255)},
                                             {91, RGB(0, 255, 255)}, {120, RGB(0, 255, 131)}, {211, RGB(255, 255, 0)},
                                             {270, RGB(255, 4, 0)},  {271, RGB(255, 0, 0)}};
    for (const auto& [entry, color] : rows)
        EXPECT_EQ(HuePalette.colors[entry], color) << "entry " << entry;
    // Known colours are not added again; a full palette takes nothing more.
    render::AddPaletteColor(RGB(0, 255, 0));
    render::AddPaletteColor(RGB(0, 0, 0));
    EXPECT_EQ(HuePalette.count, 272u);
    for (BYTE g = 1; g <= 28; ++g)  // no grey is a hue: 28 greys fill the palette
        render::AddPaletteColor(RGB(g, g, g));
    ASSERT_EQ(HuePalette.count, 300u);
    const auto full = HuePalette;
    render::AddPaletteColor(RGB(1, 2, 3));
    EXPECT_TRUE(HuePalette.count == 300u && HuePalette.colors == full.colors && HuePalette.pens == full.pens);
}

}  // namespace
