// Text through the Win32 calls: measuring, placing by alignment, opaque and
// transparent backgrounds, clipping, and far-off coordinates.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "platform/gdi_internal.h"

namespace {

constexpr COLORREF kPaper = RGB(10, 20, 30);
constexpr COLORREF kInk = RGB(200, 0, 0);
constexpr COLORREF kBack = RGB(0, 0, 200);
constexpr int kWidth = 200;
constexpr int kHeight = 100;

struct Box {
    int left = INT32_MAX, top = INT32_MAX, right = INT32_MIN, bottom = INT32_MIN;
    bool operator==(const Box&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Box& b) {
    return os << "[" << b.left << ", " << b.top << ", " << b.right << ", " << b.bottom << ")";
}

// A bitmap with font 0's definition selected. Pixels are read on the bitmap
// itself, so these tests depend on nothing but the text code.
class TextCanvas : public ::testing::Test {
protected:
    void SetUp() override {
        LOGFONTA log{};
        log.lfHeight = -11;
        log.lfWeight = FW_NORMAL;
        log.lfQuality = DRAFT_QUALITY;
        log.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
        std::strcpy(log.lfFaceName, "Lucida Console");
        font_ = CreateFontIndirectA(&log);
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateCompatibleBitmap(dc_, kWidth, kHeight);
        SelectObject(dc_, bitmap_);
        SelectObject(dc_, font_);
        SetTextColor(dc_, kInk);
        SetBkColor(dc_, kBack);
        Clear();
    }
    void TearDown() override {
        DeleteDC(dc_);
        DeleteObject(bitmap_);
        DeleteObject(font_);
    }
    void Clear() { std::ranges::fill(bitmap_->surface.pixels, platform::ColorToPixel(kPaper)); }
    COLORREF At(int x, int y) const { return platform::PixelToColor(bitmap_->surface.pixels[y * kWidth + x]); }
    Box BoxOf(COLORREF color) const {
        Box b;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                if (At(x, y) == color)
                    b = Box{std::min(b.left, x), std::min(b.top, y), std::max(b.right, x + 1),
                            std::max(b.bottom, y + 1)};
        return b;
    }
    std::set<COLORREF> Colors() const {
        std::set<COLORREF> s;
        for (std::uint32_t p : bitmap_->surface.pixels)
            s.insert(platform::PixelToColor(p));
        return s;
    }
    SIZE Extent(const std::string& s) const {
        SIZE size{};
        EXPECT_TRUE(GetTextExtentPointA(dc_, s.c_str(), static_cast<int>(s.size()), &size));
        return size;
    }
    void Draw(int x, int y, UINT options, const RECT* rect, const std::string& s) {
        EXPECT_TRUE(ExtTextOutA(dc_, x, y, options, rect, s.c_str(), static_cast<UINT>(s.size()), nullptr));
    }

    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HFONT font_ = nullptr;
};

TEST_F(TextCanvas, ExtentIsWholeAdvancesOfOneMonospaceWidth) {
    const SIZE one = Extent("8");
    ASSERT_GT(one.cx, 0);
    EXPECT_EQ(Extent("-8%").cx, 3 * one.cx);
    EXPECT_EQ(Extent("iiiii").cx, Extent("WWWWW").cx);
    EXPECT_GE(one.cy, 11);
    EXPECT_LE(one.cy, 16);
    EXPECT_EQ(Extent("").cx, 0);
    EXPECT_EQ(Extent("").cy, one.cy);
}

TEST_F(TextCanvas, OpaqueRectangleIsFilledExactlyAndClipsGlyphs) {
    const RECT r{20, 30, 120, 36};  // wider than the text, cutting through it
    Draw(20, 30, ETO_OPAQUE | ETO_CLIPPED, &r, "Wg8%");
    const Box back = BoxOf(kBack), ink = BoxOf(kInk);
    EXPECT_EQ(back, (Box{20, 30, 120, 36}));
    EXPECT_TRUE(ink.left >= 20 && ink.top >= 30 && ink.right <= 120 && ink.bottom <= 36);
    EXPECT_EQ(Colors(), (std::set<COLORREF>{kPaper, kInk, kBack}));

    // A flipped rectangle is put in order, and an empty string still fills it.
    Clear();
    const RECT flipped{60, 50, 40, 45};
    EXPECT_TRUE(ExtTextOutA(dc_, 0, 0, ETO_OPAQUE, &flipped, "", 0, nullptr));
    EXPECT_EQ(BoxOf(kBack), (Box{40, 45, 60, 50}));

    // Clipped without the opaque option: opaque mode fills the cell, cut at
    // the rectangle.
    Clear();
    const SIZE s = Extent("MMMM");
    const RECT half{0, 0, 30 + s.cx / 2, 100};
    Draw(30, 10, ETO_CLIPPED, &half, "MMMM");
    EXPECT_EQ(BoxOf(kBack), (Box{30, 10, half.right, 10 + s.cy}));
    EXPECT_LE(BoxOf(kInk).right, half.right);
}

TEST_F(TextCanvas, GlyphsAreOneBitAndTransparentTextKeepsTheBackground) {
    SetBkMode(dc_, TRANSPARENT);
    Draw(5, 5, 0, nullptr, "Transparent @%& 0.25");
    EXPECT_EQ(Colors(), (std::set<COLORREF>{kPaper, kInk}));
    const std::vector<std::uint32_t> first = bitmap_->surface.pixels;
    // The cached glyphs give the same pixels again.
    Clear();
    Draw(5, 5, 0, nullptr, "Transparent @%& 0.25");
    EXPECT_TRUE(bitmap_->surface.pixels == first);
}

TEST_F(TextCanvas, AlignmentPlacesTheCellAsGdiDoes) {
    const std::string text = "-12.5%";
    const SIZE s = Extent(text);
    struct Case {
        UINT align;
        int left, top;  // the cell's origin for the point (100, 60)
    };
    for (const Case& c : {Case{TA_LEFT | TA_TOP, 100, 60}, Case{TA_RIGHT, 100 - s.cx, 60},
                          Case{TA_CENTER, 100 - s.cx / 2, 60}, Case{TA_BOTTOM, 100, 60 - s.cy}}) {
        Clear();
        SetTextAlign(dc_, c.align);
        Draw(100, 60, 0, nullptr, text);
        // The opaque cell is exact; the ink stays inside it.
        EXPECT_EQ(BoxOf(kBack), (Box{c.left, c.top, c.left + s.cx, c.top + s.cy})) << c.align;
        const Box ink = BoxOf(kInk);
        EXPECT_TRUE(ink.left >= c.left && ink.top >= c.top && ink.right <= c.left + s.cx && ink.bottom <= c.top + s.cy)
            << c.align;
    }
}

TEST_F(TextCanvas, FarOffTextDrawsNothingQuicklyAndNeverWraps) {
    const auto start = std::chrono::steady_clock::now();
    for (UINT align : {TA_LEFT, TA_RIGHT, TA_CENTER, TA_BOTTOM}) {
        SetTextAlign(dc_, align);
        Draw(2000000000, 10, 0, nullptr, "far away to the right");
        Draw(-2000000000, 10, 0, nullptr, "far away to the left");
        Draw(10, INT32_MIN, 0, nullptr, "far above");
        Draw(INT32_MAX, INT32_MAX, 0, nullptr, "corner");
        const RECT edge{INT32_MAX - 5, 0, INT32_MAX, 10};
        Draw(INT32_MAX - 5, 0, ETO_OPAQUE | ETO_CLIPPED, &edge, "clipped far away");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    EXPECT_EQ(Colors(), std::set<COLORREF>{kPaper});

    // A long string starting off the left edge still shows its tail.
    SetTextAlign(dc_, TA_LEFT);
    const std::string text = std::string(100000, 'x') + "END";
    Draw(10 - Extent(std::string(100000, 'x')).cx, 50, 0, nullptr, text);
    EXPECT_EQ(BoxOf(kBack).right, 10 + Extent("END").cx);

    // A width beyond two billion pixels saturates instead of wrapping.
    LOGFONTA big{};
    big.lfHeight = -2000;
    std::strcpy(big.lfFaceName, "Courier New");
    HFONT font = CreateFontIndirectA(&big);
    SelectObject(dc_, font);
    EXPECT_EQ(Extent(std::string(INT32_MAX / Extent("m").cx + 10, 'm')).cx, INT32_MAX);
    SelectObject(dc_, font_);
    DeleteObject(font);
}

}  // namespace
