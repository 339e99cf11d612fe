// The chart snapshot: the layout of the in-memory bitmap file, rows stored
// bottom first, and sizes that cannot be captured.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>

#include "export/gif_writer.h"
#include "export/snapshot.h"
#include "support/test_support.h"

using exporting::CaptureDib;
using exporting::DibSnapshot;

namespace {

std::uint32_t U32(const DibSnapshot& s, std::size_t at) {
    return s.block[at] | (s.block[at + 1] << 8) | (s.block[at + 2] << 16) | (std::uint32_t{s.block[at + 3]} << 24);
}
std::uint32_t U16(const DibSnapshot& s, std::size_t at) {
    return s.block[at] | (s.block[at + 1] << 8);
}

// A memory DC holding a white w x h picture with a red top row and a blue
// bottom row.
struct Picture {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    Picture(int w, int h) {
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateCompatibleBitmap(dc, w, h);
        previous = SelectObject(dc, bitmap);
        Fill(RECT{0, 0, w, h}, RGB(255, 255, 255));
        Fill(RECT{0, 0, w, 1}, RGB(255, 0, 0));
        Fill(RECT{0, h - 1, w, h}, RGB(0, 0, 255));
    }
    void Fill(const RECT& r, COLORREF color) {
        LOGBRUSH lb{BS_SOLID, color, 0};
        HBRUSH brush = CreateBrushIndirect(&lb);
        FillRect(dc, &r, brush);
        DeleteObject(brush);
    }
    ~Picture() {
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
};

COLORREF TableColor(const DibSnapshot& s, std::uint32_t index) {
    const std::size_t at = 58 + 4 * index;
    return RGB(s.block[at + 2], s.block[at + 1], s.block[at]);
}

}  // namespace

TEST(DibSnapshot, LayoutOfAChartSizedCapture) {
    Picture picture(701, 500);
    const DibSnapshot s = CaptureDib(picture.dc, 701, 500, 8, 256);
    ASSERT_TRUE(s);
    ASSERT_EQ(s.size, 353082u);
    EXPECT_EQ(U32(s, 0), 353078u);  // image length: the bytes after this field
    EXPECT_EQ(s.block[4], 'B');
    EXPECT_EQ(s.block[5], 'M');
    EXPECT_EQ(U32(s, 6), 353078u);  // file size
    EXPECT_EQ(U16(s, 10), 0u);
    EXPECT_EQ(U16(s, 12), 0u);
    EXPECT_EQ(U32(s, 14), 1078u);  // pixel data offset
    EXPECT_EQ(U32(s, 18), 40u);
    EXPECT_EQ(U32(s, 22), 701u);
    EXPECT_EQ(U32(s, 26), 500u);
    EXPECT_EQ(U16(s, 30), 1u);
    EXPECT_EQ(U16(s, 32), 8u);
    EXPECT_EQ(U32(s, 34), 0u);
    EXPECT_EQ(U32(s, 38), 352000u);  // stride 704 x 500
    const std::uint32_t used = U32(s, 50);
    EXPECT_TRUE(used == 0 || used == 256) << used;

    // The first stored row is the picture's bottom row.
    const std::size_t rows = 58 + 1024;
    EXPECT_EQ(TableColor(s, s.block[rows]), RGB(0, 0, 255));
    EXPECT_EQ(TableColor(s, s.block[rows + 700]), RGB(0, 0, 255));
    EXPECT_EQ(TableColor(s, s.block[rows + 704]), RGB(255, 255, 255));
    EXPECT_EQ(TableColor(s, s.block[rows + 704 * 499]), RGB(255, 0, 0));
    EXPECT_EQ(TableColor(s, s.block[rows + 704 * 499 + 700]), RGB(255, 0, 0));

    // The encoder takes it as it is.
    const exporting::DibView view = exporting::MakeDibView(s);
    ASSERT_NE(view.header, nullptr);
    EXPECT_EQ(view.stride, 704u);
    EXPECT_EQ(view.pixels, s.block.get() + rows);
}

TEST(DibSnapshot, RowsArePaddedToFourBytes) {
    for (const auto& [width, stride] : {std::pair{4, 4}, std::pair{5, 8}, std::pair{1, 4}, std::pair{8, 8}}) {
        Picture picture(width, 3);
        const DibSnapshot s = CaptureDib(picture.dc, width, 3, 8, 256);
        ASSERT_TRUE(s) << width;
        EXPECT_EQ(s.size, 4u + 54 + 1024 + 3 * stride) << width;
        EXPECT_EQ(U32(s, 38), 3u * stride) << width;
    }
}

TEST(DibSnapshot, SizesThatCannotBeCapturedGiveNone) {
    Picture picture(4, 4);
    EXPECT_FALSE(CaptureDib(picture.dc, 0, 4, 8, 256));
    EXPECT_FALSE(CaptureDib(picture.dc, 4, -1, 8, 256));
    EXPECT_FALSE(CaptureDib(picture.dc, 32768, 4, 8, 256));
    EXPECT_FALSE(CaptureDib(picture.dc, 4, 4, 8, 257));
    EXPECT_FALSE(CaptureDib(picture.dc, 4, 4, 7, 256));
    EXPECT_FALSE(CaptureDib(picture.dc, 4, 32768, 32, 0));
    EXPECT_FALSE(CaptureDib(nullptr, 4, 4, 8, 256));
}

TEST(DibSnapshot, NoWindowNoCaptureNoFile) {
    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd(dir.path());
    EXPECT_FALSE(exporting::CaptureWindow(nullptr, 8, 256));
    EXPECT_FALSE(exporting::SaveWindowAsGif(nullptr, "Dravenholt.gif", 8, 256));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "Dravenholt.gif"));
}
