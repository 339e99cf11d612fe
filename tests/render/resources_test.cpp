// The drawing resources: colour conversion, the hue palette's contents and
// limits, and the objects made from the tables.
#include "render/resources.h"

#include <gtest/gtest.h>

#include "platform/gdi_internal.h"

namespace {

using render::HslToColor;
using render::HuePalette;

TEST(HslToColor, TruncatesChannelsInTheDesignedOrder) {
    EXPECT_EQ(HslToColor(0, 100, 50), RGB(255, 0, 0));
    EXPECT_EQ(HslToColor(1, 100, 50), RGB(255, 4, 0));  // 4.25
    EXPECT_EQ(HslToColor(60, 100, 50), RGB(255, 255, 0));
    EXPECT_EQ(HslToColor(0, 0, 50), RGB(127, 127, 127));  // 127.5
    EXPECT_EQ(HslToColor(0, 100, 100), RGB(255, 255, 255));
    EXPECT_EQ(HslToColor(200, 50, 75), RGB(159, 201, 223));
    EXPECT_EQ(HslToColor(30, 100, 25), RGB(127, 63, 0));
    EXPECT_EQ(HslToColor(123, 77, 0), RGB(0, 0, 0));
    // Outside the domain: defined results (checked under UBSan), hues wrap.
    EXPECT_EQ(HslToColor(360, 100, 50), HslToColor(0, 100, 50));
    EXPECT_EQ(HslToColor(0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu) >> 24, 0u);
    EXPECT_EQ(HslToColor(10, 0xFFFFFFFFu, 50) >> 24, 0u);
}

class Resources : public ::testing::Test {
protected:
    static void SetUpTestSuite() { render::CreateDrawingResources(); }
    void SetUp() override { render::BuildHuePalette(); }
};

TEST_F(Resources, PaletteHoldsBlackThenTheHuesFromVioletToRed) {
    ASSERT_EQ(HuePalette.count, 272u);
    const std::pair<int, COLORREF> rows[] = {{0, RGB(0, 0, 0)},       {1, RGB(127, 0, 255)},   {2, RGB(123, 0, 255)},
                                             {31, RGB(0, 0, 255)},    {61, RGB(0, 127, 255)},  {91, RGB(0, 255, 255)},
                                             {120, RGB(0, 255, 131)}, {151, RGB(0, 255, 0)},   {181, RGB(127, 255, 0)},
                                             {211, RGB(255, 255, 0)}, {241, RGB(255, 127, 0)}, {270, RGB(255, 4, 0)},
                                             {271, RGB(255, 0, 0)}};
    for (const auto& [entry, color] : rows)
        EXPECT_EQ(HuePalette.colors[entry], color) << "entry " << entry;
    for (std::uint32_t i = 0; i < HuePalette.count; ++i)
        ASSERT_EQ(HuePalette.pens[i]->color, HuePalette.colors[i]);
}

TEST_F(Resources, AddingAKnownColourOrToAFullPaletteChangesNothing) {
    const auto colors = HuePalette.colors;
    const auto pens = HuePalette.pens;
    render::AddPaletteColor(RGB(0, 255, 0));
    render::AddPaletteColor(RGB(0, 0, 0));
    EXPECT_EQ(HuePalette.count, 272u);
    EXPECT_EQ(HuePalette.colors, colors);
    EXPECT_EQ(HuePalette.pens, pens);

    // No grey is a hue: 28 greys fill the palette.
    for (BYTE g = 1; g <= 28; ++g)
        render::AddPaletteColor(RGB(g, g, g));
    ASSERT_EQ(HuePalette.count, 300u);
    const auto full = HuePalette;
    render::AddPaletteColor(RGB(1, 2, 3));
    EXPECT_EQ(HuePalette.count, 300u);
    EXPECT_EQ(HuePalette.colors, full.colors);
    EXPECT_EQ(HuePalette.pens, full.pens);
}

TEST_F(Resources, ObjectsAreMadeFromTheirTables) {
    for (int n = 0; n < render::ColorCount; ++n) {
        EXPECT_TRUE(render::Ink(n) == RGB(0, 0, 0) || render::Ink(n) == RGB(255, 255, 255)) << n;
        EXPECT_EQ(render::Brush(n)->color, render::Fill(n)) << n;
        EXPECT_EQ(render::Pen(n)->color, render::Fill(n)) << n;
    }
    EXPECT_EQ(render::Fill(1), RGB(180, 180, 255));
    EXPECT_EQ(render::Ink(2), RGB(255, 255, 255));
    for (int n = 0; n < render::FontCount; ++n) {
        EXPECT_EQ(render::Font(n)->log.lfHeight, render::FontTable[n].lfHeight);
        EXPECT_NE(render::Font(n)->face, nullptr) << n;
    }
    EXPECT_EQ(render::FontTable[3].lfWeight, FW_MEDIUM);
    EXPECT_STREQ(render::FontTable[2].lfFaceName, "Courier New");
}

}  // namespace
