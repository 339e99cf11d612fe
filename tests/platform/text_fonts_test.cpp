// Font resolution: which face a LOGFONTA gets, and the cache.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/gdi_internal.h"

namespace {

LOGFONTA MakeLog(LONG height, LONG weight, const char* face, BYTE pitchAndFamily = VARIABLE_PITCH | FF_SWISS) {
    LOGFONTA f{};
    f.lfHeight = height;
    f.lfWeight = weight;
    f.lfPitchAndFamily = pitchAndFamily;
    std::strncpy(f.lfFaceName, face, LF_FACESIZE - 1);
    return f;
}

int Width(const LOGFONTA& log, const char* text) {
    return platform::MeasureText(platform::ResolveFont(log).get(), text, static_cast<int>(std::strlen(text))).cx;
}

// The ink of a string drawn in black on white.
std::vector<std::uint32_t> Render(const LOGFONTA& log, const char* text) {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 300, 60);
    HFONT font = CreateFontIndirectA(&log);
    SelectObject(dc, bitmap);
    SelectObject(dc, font);
    std::ranges::fill(bitmap->surface.pixels, 0xFFFFFFu);
    SetBkMode(dc, TRANSPARENT);
    ExtTextOutA(dc, 2, 2, 0, nullptr, text, static_cast<UINT>(std::strlen(text)), nullptr);
    std::vector<std::uint32_t> pixels = bitmap->surface.pixels;
    DeleteDC(dc);
    DeleteObject(bitmap);
    DeleteObject(font);
    return pixels;
}

TEST(FontResolution, FacesAreSharedAndChosenByNamePitchAndWeight) {
    const auto a = platform::ResolveFont(MakeLog(-11, FW_NORMAL, "Lucida Console"));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, platform::ResolveFont(MakeLog(-11, FW_NORMAL, "lucida console")));
    EXPECT_NE(a, platform::ResolveFont(MakeLog(-10, FW_NORMAL, "Lucida Console")));
    EXPECT_EQ(platform::MeasureText(a.get(), "", 0).cy, platform::FontAscent(a.get()) + platform::FontDescent(a.get()));

    // Installed faces are honoured, not replaced by the generic fallback.
    EXPECT_TRUE(Render(MakeLog(-20, FW_NORMAL, "DejaVu Sans Mono"), "Rag8%") !=
                Render(MakeLog(-20, FW_NORMAL, "Liberation Mono"), "Rag8%"));
    // A missing face falls back by pitch and family (and the cache keeps the two apart).
    const LOGFONTA fixed = MakeLog(-12, FW_NORMAL, "No Such Face", 0x31);  // FIXED_PITCH | FF_MODERN
    const LOGFONTA swiss = MakeLog(-12, FW_NORMAL, "No Such Face");
    EXPECT_EQ(Width(fixed, "iiii"), Width(fixed, "WWWW"));
    EXPECT_LT(Width(swiss, "iiii"), Width(swiss, "WWWW"));
    // Medium is nearer regular than bold.
    const auto regular = Render(MakeLog(-32, FW_NORMAL, "Courier New"), "Wg8%");
    EXPECT_TRUE(Render(MakeLog(-32, FW_MEDIUM, "Courier New"), "Wg8%") == regular);
    EXPECT_TRUE(Render(MakeLog(-32, 700, "Courier New"), "Wg8%") != regular);
}

TEST(FontResolution, HeightsAndNamesOfEveryKindResolveSafely) {
    // A positive height asks for the cell height rather than the em.
    EXPECT_NEAR(platform::MeasureText(platform::ResolveFont(MakeLog(20, 0, "DejaVu Sans Mono")).get(), "", 0).cy, 20,
                1);
    for (LONG height : {0, INT32_MIN, INT32_MAX, -1}) {
        const auto face = platform::ResolveFont(MakeLog(height, FW_NORMAL, "DejaVu Sans Mono"));
        ASSERT_NE(face, nullptr) << height;
        EXPECT_GT(platform::MeasureText(face.get(), "", 0).cy, 0) << height;
    }
    // A face name filling the whole field without a terminator.
    LOGFONTA log = MakeLog(-11, FW_NORMAL, "");
    std::memset(log.lfFaceName, 'Q', LF_FACESIZE);
    HFONT font = CreateFontIndirectA(&log);
    ASSERT_NE(font, nullptr);
    EXPECT_NE(font->face, nullptr);
    DeleteObject(font);
    // A new DC measures with the system font.
    HDC dc = CreateCompatibleDC(nullptr);
    SIZE s{};
    EXPECT_TRUE(GetTextExtentPointA(dc, "abc", 3, &s));
    EXPECT_GE(s.cy, 13);
    DeleteDC(dc);
}

}  // namespace
