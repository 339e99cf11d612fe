// Text through the platform's drawing calls: measuring, alignment, opaque and transparent
// backgrounds, clipping, far-off coordinates and font resolution.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "platform/gdi_internal.h"
#include "render/resources.h"

namespace {

constexpr COLORREF kPaper = RGB(10, 20, 30);
constexpr COLORREF kInk = RGB(200, 0, 0);
constexpr COLORREF kBack = RGB(0, 0, 200);
constexpr int kWidth = 200;
constexpr int kHeight = 100;
using Box = std::array<int, 4>;

// The program's fonts ask for variable-pitch Swiss faces by name.
const LOGFONTA& SmallFont = render::FontTable[0];
const LOGFONTA& LargeFont = render::FontTable[3];

LOGFONTA WithWeight(LOGFONTA log, LONG weight) {
    log.lfWeight = weight;
    return log;
}

// A bitmap with the program's first font selected; pixels are read on the
// bitmap itself, so these tests depend on nothing but the text code.
struct Text : ::testing::Test {
    LOGFONTA log = SmallFont;
    HFONT font_ = CreateFontIndirectA(&log);
    HDC dc_ = CreateCompatibleDC(nullptr);
    HBITMAP bitmap_ = CreateCompatibleBitmap(dc_, kWidth, kHeight);

    Text() {
        SelectObject(dc_, bitmap_), SelectObject(dc_, font_), SetTextColor(dc_, kInk), SetBkColor(dc_, kBack);
        Clear();
    }
    ~Text() override { DeleteDC(dc_), DeleteObject(bitmap_), DeleteObject(font_); }
    void Clear() { std::ranges::fill(bitmap_->surface.pixels, platform::ColorToPixel(kPaper)); }
    COLORREF At(int x, int y) const { return platform::PixelToColor(bitmap_->surface.pixels[y * kWidth + x]); }
    // The bounding box {left, top, right, bottom} of one colour.
    Box BoxOf(COLORREF color) const {
        Box b{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                if (At(x, y) == color)
                    b = Box{std::min(b[0], x), std::min(b[1], y), std::max(b[2], x + 1), std::max(b[3], y + 1)};
        return b;
    }
    static bool Inside(const Box& a, const Box& b) {
        return a[0] >= b[0] && a[1] >= b[1] && a[2] <= b[2] && a[3] <= b[3];
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
};

TEST_F(Text, OpaqueFillsAndClipsTransparentKeepsTheBackgroundFarOffDrawsNothing) {
    const RECT r{20, 30, 120, 36};  // wider than the text, cutting through it
    Draw(20, 30, ETO_OPAQUE | ETO_CLIPPED, &r, "Wg8%");
    EXPECT_EQ(BoxOf(kBack), (Box{20, 30, 120, 36}));
    EXPECT_TRUE(Inside(BoxOf(kInk), Box{20, 30, 120, 36}));
    EXPECT_EQ(Colors(), (std::set<COLORREF>{kPaper, kInk, kBack}));  // one bit: no blended edges
    // Transparent text leaves the background.
    Clear();
    SetBkMode(dc_, TRANSPARENT);
    Draw(5, 5, 0, nullptr, "Transparent @%& 0.25");
    EXPECT_EQ(Colors(), (std::set<COLORREF>{kPaper, kInk}));
    // Far-off text never wraps round into the picture.
    SetBkMode(dc_, OPAQUE);
    for (UINT align : {TA_LEFT, TA_RIGHT, TA_CENTER, TA_BOTTOM}) {
        SCOPED_TRACE(testing::Message() << "alignment " << align);
        Clear();
        SetTextAlign(dc_, align);
        Draw(2000000000, 10, 0, nullptr, "far away to the right");
        Draw(INT32_MAX, INT32_MAX, 0, nullptr, "corner");
        Draw(INT32_MIN, INT32_MIN, 0, nullptr, "other corner");
        const RECT edge{INT32_MAX - 5, 0, INT32_MAX, 10};
        Draw(INT32_MAX - 5, 0, ETO_OPAQUE | ETO_CLIPPED, &edge, "clipped far away");
        EXPECT_EQ(Colors(), std::set<COLORREF>{kPaper});
    }
}

TEST_F(Text, AlignmentPlacesTheCellAndPercentLabelsAreThreeAdvancesWide) {
    ASSERT_GT(Extent("8").cx, 0);
    EXPECT_EQ(Extent("-8%").cx, 3 * Extent("8").cx);
    const std::string text = "-12.5%";
    const SIZE s = Extent(text);
    struct Case {
        UINT align;
        int left, top;  // the cell's corner for the reference point (100, 60)
    };
    for (const Case& c : {Case{TA_LEFT | TA_TOP, 100, 60}, Case{TA_RIGHT, 100 - s.cx, 60},
                          Case{TA_CENTER, 100 - s.cx / 2, 60}, Case{TA_BOTTOM, 100, 60 - s.cy}}) {
        SCOPED_TRACE(testing::Message() << "alignment " << c.align);
        Clear();
        SetTextAlign(dc_, c.align);
        Draw(100, 60, 0, nullptr, text);
        const Box cell{c.left, c.top, c.left + s.cx, c.top + s.cy};
        EXPECT_EQ(BoxOf(kBack), cell);
        EXPECT_TRUE(Inside(BoxOf(kInk), cell));
    }
}

TEST_F(Text, ProgramFacesAreMonospaceAndMediumIsNotBold) {
    auto width = [](const LOGFONTA& log, const char* text) {
        return platform::MeasureText(platform::ResolveFont(log).get(), text, int(std::strlen(text))).cx;
    };
    // Though the fonts say variable pitch, their face names win: columns of
    // figures must line up.
    for (const LOGFONTA& log : render::FontTable)
        EXPECT_EQ(width(log, "iiii"), width(log, "WWWW")) << log.lfHeight;
    auto ink = [&](LONG weight) {
        const LOGFONTA log = WithWeight(LargeFont, weight);
        HFONT font = CreateFontIndirectA(&log);
        SelectObject(dc_, font), Clear(), Draw(2, 2, 0, nullptr, "Wg8%");
        SelectObject(dc_, font_), DeleteObject(font);
        const platform::PixelStore& pixels = bitmap_->surface.pixels;
        return std::vector<std::uint32_t>(pixels.begin(), pixels.end());
    };
    EXPECT_TRUE(ink(FW_MEDIUM) == ink(FW_NORMAL));
    EXPECT_TRUE(ink(700) != ink(FW_NORMAL));
}

// Fonts are resolved ahead, on a thread of their own, from the moment they
// are made; a font used before its turn is resolved where it is used. Made
// in a row and used at once in the opposite order, each still measures as
// its own size.
TEST_F(Text, FontsMadeInARowMeasureAsTheirOwnSizesWhicheverIsUsedFirst) {
    std::vector<HFONT> fonts;
    for (LONG em = 8; em <= 30; em += 2) {
        LOGFONTA sized = SmallFont;
        sized.lfHeight = -em;
        fonts.push_back(CreateFontIndirectA(&sized));
    }
    std::vector<SIZE> extents(fonts.size());
    for (std::size_t i = fonts.size(); i-- > 0;) {
        SelectObject(dc_, fonts[i]);
        extents[i] = Extent("Wg8%");
    }
    SelectObject(dc_, font_);
    for (std::size_t i = 1; i < fonts.size(); ++i) {
        EXPECT_GT(extents[i].cy, extents[i - 1].cy) << i;
        EXPECT_GE(extents[i].cx, extents[i - 1].cx) << i;
    }
    for (HFONT font : fonts)
        DeleteObject(font);
}

// Once a font is resolved its characters are loaded ahead, beside the
// drawing. Texts drawn the moment their fonts are made, while that loading
// may still run, have the pixels they have when drawn again afterwards, and
// each size is its own.
TEST_F(Text, TextsDrawnWhileCharactersLoadAheadAreDrawnAsAfterwards) {
    const std::string text = "8:-% Wg x";
    std::vector<HFONT> fonts;
    std::vector<std::vector<std::uint32_t>> atOnce;
    const auto ink = [&](HFONT font) {
        SelectObject(dc_, font), Clear(), Draw(2, 2, 0, nullptr, text);
        const platform::PixelStore& pixels = bitmap_->surface.pixels;
        return std::vector<std::uint32_t>(pixels.begin(), pixels.end());
    };
    for (LONG em = 9; em <= 29; em += 4) {
        LOGFONTA sized = LargeFont;
        sized.lfHeight = -em;
        fonts.push_back(CreateFontIndirectA(&sized));
        atOnce.push_back(ink(fonts.back()));
    }
    for (std::size_t i = 0; i < fonts.size(); ++i) {
        EXPECT_TRUE(ink(fonts[i]) == atOnce[i]) << i;
        if (i > 0) {
            EXPECT_TRUE(atOnce[i] != atOnce[i - 1]) << i;
        }
    }
    SelectObject(dc_, font_);
    for (HFONT font : fonts)
        DeleteObject(font);
}

// A text that is valid UTF-8 is drawn as UTF-8, any other as Windows-1252,
// one byte a character: the same characters draw the same either way.
TEST_F(Text, ValidUtf8DrawsAsUtf8AndOtherBytesAsWindows1252) {
    const int advance = Extent("8").cx;
    ASSERT_GT(advance, 0);
    const auto ink = [&](const std::string& s) {
        Clear(), Draw(4, 4, 0, nullptr, s);
        const platform::PixelStore& pixels = bitmap_->surface.pixels;
        return std::vector<std::uint32_t>(pixels.begin(), pixels.end());
    };
    struct Case {
        std::string utf8, windows1252;
        int characters;
    };
    // The right-hand texts are no valid UTF-8: "\xC3(" is two characters, not a broken one.
    for (const Case& c : {Case{"\xC3\xA9", "\xE9", 1}, Case{"\xE2\x82\xAC", "\x80", 1}, Case{"\xC3\x83(", "\xC3(", 2},
                          Case{"a\xE2\x80\x94z\xC3\x9F", "a\x97z\xDF", 4}, Case{"\xC3\xA9\xC3\x83", "\xE9\xC3", 2}}) {
        SCOPED_TRACE(testing::PrintToString(c.utf8) + " against " + testing::PrintToString(c.windows1252));
        EXPECT_EQ(Extent(c.utf8).cx, c.characters * advance);
        EXPECT_EQ(Extent(c.windows1252).cx, c.characters * advance);
        EXPECT_TRUE(ink(c.utf8) == ink(c.windows1252));
        EXPECT_NE(BoxOf(kInk)[0], INT32_MAX) << "no ink";
    }
    // 0x80 is the euro, not the control character U+0080.
    EXPECT_TRUE(ink("\xE2\x82\xAC") != ink("\xC2\x80"));
}

}  // namespace
