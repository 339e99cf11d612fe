// The broadcast timeline strip, checked on the drawn pixels: the walk over the
// minute scale, tick lengths, frame, heading and its area, event markers.
#include <gtest/gtest.h>

#include <climits>
#include <initializer_list>
#include <string>

#include "export/image_map.h"
#include "render/resources.h"
#include "render/ribbon.h"
#include "support/test_support.h"

namespace {

constexpr COLORREF Grey = RGB(128, 128, 128);  // the background: drawn by nothing here
constexpr COLORREF Black = RGB(0, 0, 0);
constexpr COLORREF DarkBlue = RGB(0, 0, 153);
constexpr int Y = 50;  // the strip's top in every test

struct Picture {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 1200, 120);
    Picture() {
        SelectObject(dc, bitmap);
        const LOGBRUSH grey{BS_SOLID, Grey, 0};
        const RECT all{0, 0, 1200, 120};
        HBRUSH brush = CreateBrushIndirect(&grey);
        FillRect(dc, &all, brush);
        DeleteObject(brush);
    }
    ~Picture() {
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    COLORREF At(int x, int y) const { return GetPixel(dc, x, y); }
    // Column x is black from y0 to y1 and `above` just above.
    void ExpectTick(int x, int y0, int y1, COLORREF above = Grey) const {
        for (int y = y0; y <= y1; ++y)
            EXPECT_EQ(At(x, y), Black) << x << "," << y;
        EXPECT_EQ(At(x, y0 - 1), above) << x << "," << y0 - 1;
    }
};

SIZE Extent(int font, const std::string& text) {
    Picture p;
    SelectObject(p.dc, render::Font(font));
    SIZE size{};
    GetTextExtentPointA(p.dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size;
}

class Strip : public ::testing::Test {
protected:
    static void SetUpTestSuite() { [[maybe_unused]] static const bool once = (render::CreateDrawingResources(), true); }
    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd{dir.path()};
};

TEST_F(Strip, WalksFromThePictureEdgeToElapsedSecond527) {
    dir.Write("Data/CNBC_Elapsed.txt", "14:42:00|Live coverage|live.htm\n00:03:10|Anchor|\n");
    // Tick lengths: full minute h, half 5h/8, quarter h/2, five seconds h/4.
    for (const auto& [h, full, half, quarter, five] : {std::tuple{8, 8, 5, 4, 2}, std::tuple{13, 13, 8, 6, 3}}) {
        Picture p;
        render::DrawBroadcastStrip(p.dc, 22, 2000, Y, h);
        // Heat left 22: the first column is x 0 (elapsed 19), the last
        // elapsed 527 at x 1016; the walk stops at x 1018.
        for (int x = 0; x <= 1018; ++x)
            ASSERT_TRUE(p.At(x, Y) == Black && p.At(x, Y + h) == Black) << x;
        EXPECT_EQ(p.At(1019, Y), Grey);
        p.ExpectTick(1018, Y, Y + h);
        EXPECT_EQ(p.At(0, Y + 1), Grey);  // the first label's box starts at x 1
        EXPECT_NE(p.At(1, Y + 1), Grey);  // labelled 0m
        EXPECT_EQ(p.At(1 + Extent(0, "0m").cx, Y + 1), Grey);
        p.ExpectTick(82, Y + 1, Y + h, Black);  // elapsed 60, labelled 1m to its right
        EXPECT_NE(p.At(83, Y + 1), Grey);
        ASSERT_LT(83 + Extent(0, "1m").cx, 112);
        p.ExpectTick(202, Y + h - full + 1, Y + h, Black);  // elapsed 120
        p.ExpectTick(142, Y + h - half + 1, Y + h);         // 90
        p.ExpectTick(112, Y + h - quarter + 1, Y + h);      // 75
        p.ExpectTick(122, Y + h - five + 1, Y + h);         // 80
        p.ExpectTick(1012, Y + h - quarter + 1, Y + h);     // 525
        EXPECT_EQ(p.At(1016, Y + h - 1), Grey);             // 527
        EXPECT_NE(p.At(1020, Y + 1), Grey);                 // the heading follows the end
        EXPECT_EQ(p.At(1020 + Extent(0, "Live coverage").cx, Y + 1), Grey);
    }
}

TEST_F(Strip, RightLimitOrAStartOutsideTheWalkEndsItEarly) {
    dir.Write("Data/CNBC_Elapsed.txt", "14:42:00|Live|live.htm\n00:03:10|Anchor|\n");
    Picture p;
    render::DrawBroadcastStrip(p.dc, 22, 500, Y, 8);
    p.ExpectTick(500, Y, Y + 8);
    EXPECT_EQ(p.At(501, Y), Grey);

    // A heading time that does not parse starts at second 0: only the stub
    // at the picture's edge, the heading, and its area, link or not.
    dir.Write("Data/CNBC_Elapsed.txt", "xx|Title\n00:00:10|Far left|of the picture\n");
    Picture q;
    exporting::OpenImageMapScript(1200, 120);
    render::DrawBroadcastStrip(q.dc, 22, 2000, Y, 8);
    exporting::CloseImageMapScript();
    q.ExpectTick(0, Y, Y + 8);
    for (int y = 0; y < 120; ++y)
        for (int x = 1; x < 1200; ++x)
            ASSERT_TRUE(q.At(x, y) != Black && q.At(x, y) != DarkBlue) << x << "," << y;
    const std::string area = "coords='2,50," + std::to_string(2 + Extent(0, "Title").cx) + ",58' alt='' href=''";
    EXPECT_NE(testsupport::ReadFile("DravenholtSummary.js").find(area), std::string::npos);
}

TEST_F(Strip, EventsAreMarkedAtTheirSeconds) {
    // Offset 30 s after 14:42:00 is the ribbon's first column, x 22; 130 s is x 222.
    dir.Write("Data/CNBC_Elapsed.txt", "14:42:00|Live|live.htm\n00:00:30|Open|\n00:02:10|Guest|down 300\n");
    Picture p;
    render::DrawBroadcastStrip(p.dc, 22, 2000, Y, 8);
    const int t = Y + 8 + 2;
    const int line = 2 * Extent(1, "Open").cy - 2;  // beside both text lines, detail or not
    for (int x : {22, 222}) {
        for (const POINT d : std::initializer_list<POINT>{{0, 0}, {-2, 5}, {2, 5}, {0, line - 1}})
            EXPECT_EQ(p.At(x + d.x, t + d.y), DarkBlue) << x + d.x << "," << t + d.y;
        for (const POINT d : std::initializer_list<POINT>{{0, -1}, {-3, 5}, {3, 5}, {0, line}, {5, 0}})
            EXPECT_EQ(p.At(x + d.x, t + d.y), Grey) << x + d.x << "," << t + d.y;
        EXPECT_NE(p.At(x + 6, t), Grey);  // the caption's box
    }
    EXPECT_EQ(p.At(28, t + Extent(1, "Open").cy), Grey);  // no detail line
    EXPECT_NE(p.At(228, t + Extent(1, "Guest").cy), Grey);
}

TEST_F(Strip, NothingWithoutEventsAndFarOffArgumentsStayDefined) {
    dir.Write("Data/CNBC_Elapsed.txt", "14:42:00|Live|live.htm\n");
    Picture p;
    render::DrawBroadcastStrip(p.dc, 22, 2000, Y, 8);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 1200; ++x)
            ASSERT_EQ(p.At(x, y), Grey);
    dir.Write("Data/CNBC_Elapsed.txt", "24:59:59|Late|\n24:59:59|Far|right\n00:00:00|Near|\n");
    for (const int v : {INT32_MIN, -1, 0, 8, INT32_MAX})
        for (const int w : {INT32_MIN, 0, INT32_MAX}) {
            render::DrawBroadcastStrip(p.dc, v, w, v, w);
            render::DrawBroadcastStrip(p.dc, w, v, w, v);
        }
}

}  // namespace
