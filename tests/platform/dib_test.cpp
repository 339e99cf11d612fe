// GetDIBits reading part of a picture: scan lines count from the bottom in
// both layouts, as the Windows conformance tests show, so a part read into a
// top-down DIB comes from the rows `start` lines above the bottom.
#include <gtest/gtest.h>

#include <vector>

#include "support/memory_picture.h"

namespace {

TEST(DibLines, PartsCountScanLinesFromTheBottom) {
    testsupport::MemoryPicture picture(1, 10);
    for (int y = 0; y < 10; ++y)
        picture.Fill(RECT{0, y, 1, y + 1}, RGB(0, 0, y));
    struct Case {
        int height;  // of the DIB: negative for top-down
        UINT start, lines;
        std::vector<int> rows;  // the picture rows the buffer holds, in its order
    };
    const Case cases[] = {
        {-10, 0, 10, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {-10, 0, 4, {6, 7, 8, 9}},
        {-10, 2, 4, {4, 5, 6, 7}},
        {-10, 6, 4, {0, 1, 2, 3}},
        {-10, 8, 5, {0, 1}},
        {10, 0, 4, {9, 8, 7, 6}},
        {10, 2, 4, {7, 6, 5, 4}},
        {10, 8, 5, {1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.height << " " << c.start << " " << c.lines);
        BITMAPINFO info{};
        info.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 1, c.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        std::vector<std::uint32_t> bits(10, 0xFFFFFFFF);
        ASSERT_EQ(GetDIBits(picture.dc, picture.bitmap, c.start, c.lines, bits.data(), &info, DIB_RGB_COLORS),
                  static_cast<int>(c.rows.size()));
        std::vector<int> got;
        for (std::size_t i = 0; i < c.rows.size(); ++i)
            got.push_back(static_cast<int>(bits[i] & 0xFF));
        EXPECT_EQ(got, c.rows);
    }
}

}  // namespace
