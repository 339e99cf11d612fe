// The ribbon heat map, checked on the drawn pixels: row geometry, row font,
// per-row colour scaling, the right limit, caption boxes and their areas.
#include "render/ribbon.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "export/image_map.h"
#include "render/main_chart.h"
#include "render/resources.h"
#include "support/test_support.h"

namespace {

constexpr COLORREF Grey = RGB(128, 128, 128);  // the background: in no table, not in the palette
constexpr COLORREF White = RGB(255, 255, 255);
constexpr COLORREF DarkRed = RGB(102, 0, 0);

struct Picture {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap;
    Picture(int w, int h) : bitmap(CreateCompatibleBitmap(dc, w, h)) {
        SelectObject(dc, bitmap);
        const LOGBRUSH grey{BS_SOLID, Grey, 0};
        const RECT all{0, 0, w, h};
        HBRUSH brush = CreateBrushIndirect(&grey);
        FillRect(dc, &all, brush);
        DeleteObject(brush);
    }
    ~Picture() {
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    COLORREF At(int x, int y) const { return GetPixel(dc, x, y); }
};

COLORREF Hue(int n) {
    return render::HuePalette.colors[n];
}

int Width(int font, const char* text) {
    Picture p(1, 1);
    SelectObject(p.dc, render::Font(font));
    SIZE size{};
    GetTextExtentPointA(p.dc, text, static_cast<int>(std::string(text).size()), &size);
    return size.cx;
}

struct Row {
    std::string caption;
    std::function<std::int32_t(int)> value;  // per second k of the window
    std::string link = "", alt = "";
};

class Ribbon : public ::testing::Test {
protected:
    static void SetUpTestSuite() { [[maybe_unused]] static const bool once = (render::CreateDrawingResources(), true); }
    // A 400-pixel plot puts ribbon top at 100 and band bottom at 200.
    void SetUp() override { render::MainScale = {-485, -1025}; }
    void Write(const std::vector<Row>& rows, bool broadcast = true) {
        std::string info = ";caption|column|mode|divisor|file|link|alt\n";
        for (std::size_t i = 0; i < rows.size(); ++i) {
            std::string series;
            char time[16];
            for (int k = 0; k < 631; ++k) {
                std::snprintf(time, sizeof time, "14:%02d:%02d|", (30 + k) / 60 + 42, (30 + k) % 60);
                series += time + std::to_string(static_cast<std::uint32_t>(rows[i].value(k))) + "\n";
            }
            dir.Write("Data/r" + std::to_string(i), series);
            info +=
                rows[i].caption + "|1|0|0|Data\\r" + std::to_string(i) + "|" + rows[i].link + "|" + rows[i].alt + "\n";
        }
        dir.Write("Data/RibbonInfo.txt", info);
        if (broadcast)
            dir.Write("Data/CNBC_Elapsed.txt", "14:42:00|Live|live.htm\n00:01:00|Event|\n");
    }
    // Pixel row y: columns from heat left 21 up to the right limit, then the
    // caption box (white with dark red text) to the plot's right edge 1400.
    void ExpectRowExtent(const Picture& p, int y, int rightLimit) {
        const int lastPixel = std::min(21 + (rightLimit - 22) / 2 * 2, 21 + 1260) + 1;
        for (int x = 21; x <= 1400; ++x) {
            const COLORREF c = p.At(x, y);
            const bool column = c != Grey && c != White && c != DarkRed;
            const bool box = c == White || c == DarkRed;
            ASSERT_TRUE(x <= lastPixel ? column : x <= rightLimit || x == 1400 ? c == Grey : box) << x << "," << y;
        }
    }
    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd{dir.path()};
};

std::int32_t Ramp(int k) {
    return k;
}
std::int32_t Reverse(int k) {
    return 630 - k;
}

TEST_F(Ribbon, RowsStackFromRibbonTopAndTheStripFollowsTheLastRow) {
    for (const auto& [rows, height, strip] : {std::tuple{16, 6, 196}, std::tuple{3, 33, 199}}) {
        const render::RibbonGeometry g = render::ComputeRibbonGeometry({20, 0, 1400, 400}, -485, -1025, rows);
        EXPECT_EQ(g.heatLeft, 21);
        EXPECT_EQ(g.ribbonTop, 100);
        EXPECT_EQ(g.rowHeight, height);
        EXPECT_EQ(g.stripTop, strip);
        // Odd rows run the other way, so each row's first and last pixel row shows whose it is.
        std::vector<Row> list;
        for (int r = 0; r < rows; ++r)
            list.push_back({"R", r % 2 ? Reverse : Ramp});
        Write(list);
        Picture p(1401, 400);
        render::DrawRibbon(p.dc, {20, 0, 1400, 400});
        for (int r = 0; r < rows; ++r)
            for (int k : {0, 315}) {
                const COLORREF c = Hue((r % 2 ? 630 - k : k) * 272 / 631);
                EXPECT_EQ(p.At(21 + 2 * k, 100 + r * height), c) << r;
                EXPECT_EQ(p.At(22 + 2 * k, 99 + (r + 1) * height), c) << r;
            }
        EXPECT_EQ(p.At(0, strip - 1), Grey);  // the strip's frame begins at the picture's edge
        EXPECT_EQ(p.At(0, strip), RGB(0, 0, 0));
    }
}

TEST_F(Ribbon, RowFontSetsTheRightLimitAndColumnsScaleOverAllSeconds) {
    ASSERT_NE(Width(0, "LONG_CAPTION_0123456789"), Width(1, "LONG_CAPTION_0123456789"));
    // 8 rows are 12 pixels high (font 0), 9 rows 11 (font 1).
    for (const auto& [rows, font] : {std::pair{8, 0}, std::pair{9, 1}}) {
        std::vector<Row> list(rows, Row{"R", Ramp});
        list[0].caption = "LONG_CAPTION_0123456789";
        Write(list);
        Picture p(1401, 400);
        render::DrawRibbon(p.dc, {20, 0, 1400, 400});
        ExpectRowExtent(p, 105, 1398 - Width(font, "LONG_CAPTION_0123456789"));
        EXPECT_EQ(p.At(21 + 2 * 300, 105), Hue(300 * 272 / 631));  // scaled by 630, which is cut off
    }
}

TEST_F(Ribbon, EachRowScalesFromBlackAtItsMinimum) {
    Write({{"A", [](int k) { return k == 5     ? 500
                                    : k == 600 ? 5000
                                    : k == 300 ? 2750
                                               : 1000; }},
           {"B", [](int k) { return k == 7 ? 1 : 0; }},
           {"C", [](int k) { return k == 0   ? INT32_MIN
                                    : k == 1 ? INT32_MAX
                                             : 0; }},  // extent 2^32
           {"D", [](int) { return 42; }}});
    Picture p(1401, 400);
    render::DrawRibbon(p.dc, {20, 0, 1400, 400});
    const auto at = [&](int row, int k) { return p.At(21 + 2 * k, 110 + 25 * row); };
    EXPECT_EQ(at(0, 5), Hue(0));
    EXPECT_EQ(at(0, 600), Hue(271));  // 4500 * 272 / 4501
    EXPECT_EQ(at(0, 300), Hue(135));
    EXPECT_EQ(at(1, 7), Hue(136));  // 1 * 272 / 2
    EXPECT_EQ(at(2, 0), Hue(0));
    EXPECT_EQ(at(2, 1), Hue(271));
    EXPECT_EQ(at(2, 2), Hue(136));  // 2^31 * 272 / 2^32
    EXPECT_EQ(at(3, 630), Hue(0));
}

TEST_F(Ribbon, CaptionBoxesShareTheWidestCaptionAndLinkedRowsBecomeAreas) {
    Write({{"A", Ramp, "a.htm", "alt a"}, {"BBBBBBBBBB", Ramp, "", "none"}, {"CC", Ramp, "c.htm", "alt c"}});
    Picture p(1401, 400);
    exporting::OpenImageMapScript(1401, 400);
    render::DrawRibbon(p.dc, {20, 0, 1400, 400});
    exporting::CloseImageMapScript();
    const int limit = 1398 - Width(0, "BBBBBBBBBB");
    for (int y = 100; y < 199; ++y)
        ExpectRowExtent(p, y, limit);
    // Linked rows in order, then the heading after the strip's end (elapsed 528 at x 1017).
    const std::string box = "coords='" + std::to_string(limit + 1) + ",";
    EXPECT_NE(
        testsupport::ReadFile("DravenholtSummary.js")
            .find(box + "100,1400,133' alt='alt a' href='a.htm' />\");\r\n" + "document.write(\"  <area shape='rect' " +
                  box + "166,1400,199' alt='alt c' href='c.htm' />\");\r\n" +
                  "document.write(\"  <area shape='rect' coords='1019,199," + std::to_string(1019 + Width(0, "Live")) +
                  ",232' alt='' href='live.htm' />\");\r\n" + "document.write(\"</map>"),
        std::string::npos);
}

TEST_F(Ribbon, DegenerateCasesDrawNothingAndStayDefined) {
    Picture p(1401, 400);
    Write(std::vector<Row>(16, Row{"R", Ramp, "x", "x"}), false);
    render::DrawRibbon(p.dc, {20, 0, 1400, 40});  // a band of 10 pixels: rows 0 high
    const std::uint32_t colours = render::HuePalette.count;
    render::HuePalette.count = 0;  // no colours: no rows, the strip alone
    Write({{"R", Ramp}});
    render::DrawRibbon(p.dc, {20, 0, 1400, 400});
    render::HuePalette.count = colours;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 1401; ++x)
            ASSERT_EQ(p.At(x, y), Grey) << x << "," << y;
    EXPECT_EQ(p.At(0, 200), RGB(0, 0, 0));
    for (const RECT r : {RECT{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, RECT{INT32_MAX, 0, INT32_MIN, 64}})
        for (const render::MainScaleValues s :
             {render::MainScaleValues{INT32_MAX, INT32_MIN}, {INT32_MIN, INT32_MAX}, {0, 0}}) {
            render::MainScale = s;
            render::DrawRibbon(p.dc, r);
        }
}

}  // namespace
