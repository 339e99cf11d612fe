// GDI on memory bitmaps: line pixels and clipping, filled shapes, block
// transfers, GetDIBits and object lifetime.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "platform/gdi_internal.h"

namespace {

using Points = std::set<std::pair<long long, long long>>;

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kPen = RGB(0, 0, 153);
constexpr COLORREF kBrush = RGB(255, 255, 204);
constexpr int kMin = INT32_MIN;
constexpr int kMax = INT32_MAX;

// A memory DC on its own white bitmap, with a solid pen and brush selected.
struct Canvas {
    int width, height;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, width, height);
    HPEN pen = CreatePen(PS_SOLID, 1, kPen);
    LOGBRUSH lb{BS_SOLID, kBrush, 0};
    HBRUSH brush = CreateBrushIndirect(&lb);

    Canvas(int w, int h) : width(w), height(h) {
        for (HGDIOBJ o : {HGDIOBJ(bitmap), HGDIOBJ(pen), HGDIOBJ(brush)})
            SelectObject(dc, o);
        Clear();
    }
    ~Canvas() {
        DeleteDC(dc);
        for (HGDIOBJ o : {HGDIOBJ(bitmap), HGDIOBJ(pen), HGDIOBJ(brush)})
            DeleteObject(o);
    }
    void Clear() { std::ranges::fill(bitmap->surface.pixels, platform::ColorToPixel(kWhite)); }
    COLORREF At(int x, int y) const { return GetPixel(dc, x, y); }
    // The pixels of one colour.
    Points Having(COLORREF color) const {
        Points out;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (At(x, y) == color)
                    out.insert({x, y});
        return out;
    }
    Points Line(int x0, int y0, int x1, int y1) {
        Clear();
        MoveToEx(dc, x0, y0, nullptr);
        LineTo(dc, x1, y1);
        return Having(kPen);
    }
};

Points Box(long long l, long long t, long long r, long long b) {
    Points out;
    for (long long y = t; y < b; ++y)
        for (long long x = l; x < r; ++x)
            out.insert({x, y});
    return out;
}

// The line walk written out plainly: octant, bias, error term; the end point
// is not drawn. At most maxSteps pixels, those inside [0, w) x [0, h).
Points ReferenceLine(long long x0, long long y0, long long x1, long long y1, long long w, long long h,
                     long long maxSteps = 1LL << 40) {
    const long long dx = x1 - x0, dy = y1 - y0;
    // Octants 1..8 counterclockwise from +x (y down); 1, 4, 5, 8 step along x;
    // 3, 5, 6, 8 carry a bias of one.
    const int octant = dx > 0 && dy > 0    ? (dx > dy ? 1 : 2)
                       : dx <= 0 && dy > 0 ? (-dx <= dy ? 3 : 4)
                       : dx < 0            ? (-dx > -dy ? 5 : 6)
                                           : (dx <= -dy ? 7 : 8);
    const bool xMajor = (0b100110010 >> octant) & 1;
    const int bias = (0b101101000 >> octant) & 1;
    const long long major = xMajor ? std::llabs(dx) : std::llabs(dy), minor = xMajor ? std::llabs(dy) : std::llabs(dx);
    const long long sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    long long err = 2 * minor - major, x = x0, y = y0;
    Points out;
    for (long long i = 0; i < std::min(major, maxSteps); ++i) {
        if (x >= 0 && x < w && y >= 0 && y < h)
            out.insert({x, y});
        if (err + bias > 0) {
            (xMajor ? y : x) += xMajor ? sy : sx;
            err -= 2 * major;
        }
        err += 2 * minor;
        (xMajor ? x : y) += xMajor ? sx : sy;
    }
    return out;
}

TEST(GdiLines, EveryOctantFollowsTheRulesAndExcludesTheEnd) {
    Canvas c(41, 41);
    for (int dx = -20; dx <= 20; ++dx)
        for (int dy = -20; dy <= 20; ++dy) {
            const Points drawn = c.Line(20, 20, 20 + dx, 20 + dy);
            ASSERT_EQ(drawn, ReferenceLine(20, 20, 20 + dx, 20 + dy, 41, 41)) << dx << "," << dy;
            EXPECT_FALSE(drawn.count({20 + dx, 20 + dy})) << dx << "," << dy;
        }
    // Worked cases pinning the reference: a tie breaks the other way drawn backwards.
    EXPECT_EQ(c.Line(10, 10, 14, 12), (Points{{10, 10}, {11, 10}, {12, 11}, {13, 11}}));
    EXPECT_EQ(c.Line(14, 12, 10, 10), (Points{{14, 12}, {13, 11}, {12, 11}, {11, 10}}));
    // Zero length draws nothing; LineTo moves the position for the next one.
    EXPECT_TRUE(c.Line(3, 3, 3, 3).empty());
    LineTo(c.dc, 6, 3);
    LineTo(c.dc, 6, 5);
    EXPECT_EQ(c.Having(kPen), (Points{{3, 3}, {4, 3}, {5, 3}, {6, 3}, {6, 4}}));
}

// Clipping must not change which pixels a line sets, however far its ends.
TEST(GdiLines, ClippedLinesMatchTheUnclippedWalk) {
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> coord(-300, 300);
    Canvas c(23, 17);
    for (int i = 0; i < 1000; ++i) {
        const int x0 = coord(rng), y0 = coord(rng), x1 = coord(rng), y1 = coord(rng);
        ASSERT_EQ(c.Line(x0, y0, x1, y1), ReferenceLine(x0, y0, x1, y1, 23, 17))
            << x0 << "," << y0 << " -> " << x1 << "," << y1;
    }
    const auto start = std::chrono::steady_clock::now();
    for (auto [x1, y1] : {std::pair{3, 2000000000}, {2000000000, 7}, {kMin, kMin}, {kMax, kMin}, {-7, kMax}})
        EXPECT_EQ(c.Line(10, 5, x1, y1), ReferenceLine(10, 5, x1, y1, 23, 17, 200)) << x1 << "," << y1;
    EXPECT_EQ(c.Line(kMin, kMin, kMax, kMax), ReferenceLine(0, 0, 17, 17, 23, 17));
    EXPECT_EQ(c.Line(-1000000, -1000000 + 7, 1000000, 1000000 + 7), c.Line(-7, 0, 33, 40));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

TEST(GdiShapes, RectangleAndFillRectEdgesAndADeletedSelectedBrush) {
    Canvas c(12, 10);
    Points border = Box(2, 1, 9, 7);
    for (auto p : Box(3, 2, 8, 6))
        border.erase(p);
    for (auto [l, t, r, b] : {std::array{2, 1, 9, 7}, std::array{9, 7, 2, 1}}) {  // corners in either order
        c.Clear();
        Rectangle(c.dc, l, t, r, b);
        EXPECT_EQ(c.Having(kPen), border);
        EXPECT_EQ(c.Having(kBrush), Box(3, 2, 8, 6));
    }
    c.Clear();
    Rectangle(c.dc, kMin, 5, kMax, 2000000000);  // clipped, not walked
    EXPECT_EQ(c.Having(kPen), Box(0, 5, 12, 6));
    EXPECT_EQ(c.Having(kBrush), Box(0, 6, 12, 10));
    // FillRect covers left and top but not right and bottom.
    c.Clear();
    const RECT r{1, 2, 7, 5}, inverted{7, 5, 1, 2}, far{-2000000000, -2000000000, 2000000000, 3};
    EXPECT_NE(FillRect(c.dc, &r, c.brush), 0);
    FillRect(c.dc, &inverted, c.brush);
    EXPECT_EQ(c.Having(kBrush), Box(1, 2, 7, 5));
    c.Clear();
    FillRect(c.dc, &far, c.brush);
    EXPECT_EQ(c.Having(kBrush), Box(0, 0, 12, 3));
    // A brush deleted while selected stays usable until deselected (the
    // sanitizer run would report a use after free or a leak otherwise).
    LOGBRUSH lb{BS_SOLID, RGB(1, 2, 3), 0};
    HBRUSH doomed = CreateBrushIndirect(&lb);
    HGDIOBJ old = SelectObject(c.dc, doomed);
    EXPECT_TRUE(DeleteObject(doomed));
    Rectangle(c.dc, 0, 0, 4, 4);
    EXPECT_EQ(c.At(1, 1), RGB(1, 2, 3));
    SelectObject(c.dc, old);
}

TEST(GdiShapes, EllipseAndTriangleOutlineWithPenInsideWithBrush) {
    Canvas c(8, 8);
    Ellipse(c.dc, 1, 1, 4, 4);
    EXPECT_EQ(c.Having(kPen), (Points{{2, 1}, {1, 2}, {3, 2}, {2, 3}}));
    EXPECT_EQ(c.Having(kBrush), (Points{{2, 2}}));
    c.Clear();
    Ellipse(c.dc, 2, 0, 3, 8);  // thin ones reach the ends of their box
    EXPECT_EQ(c.Having(kPen), Box(2, 0, 3, 8));
    const auto start = std::chrono::steady_clock::now();
    Ellipse(c.dc, kMin, kMin, kMax, kMax);  // far larger than the bitmap: cheap, all brush inside
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_EQ(c.Having(kBrush).size(), 64u);
    // Larger ones: symmetric, touching the sides of the box, and on every
    // row the brush fills exactly what lies between the outline.
    Canvas big(70, 70);
    for (int w = 2; w <= 64; w += 3)
        for (int h = 2; h <= 64; h += 5) {
            big.Clear();
            Ellipse(big.dc, 0, 0, w, h);
            const Points pen = big.Having(kPen);
            ASSERT_TRUE(pen.count({0, (h - 1) / 2}) && pen.count({(w - 1) / 2, 0})) << w << "x" << h;
            for (int y = 0; y < h; ++y) {
                int first = 99, last = -1;
                for (int x = 0; x < w; ++x)
                    if (big.At(x, y) == kPen)
                        first = std::min(first, x), last = std::max(last, x);
                ASSERT_EQ(first + last, w - 1) << w << "x" << h << " row " << y;  // symmetric left and right
                ASSERT_EQ(pen.count({first, h - 1 - y}), 1u) << w << "x" << h << " row " << y;  // and up and down
                for (int x = 0; x < 70; ++x)
                    ASSERT_EQ(big.At(x, y) != kWhite, x >= first && x <= last) << w << "x" << h << " " << x << "," << y;
            }
        }
    // A triangle is outlined by its edges and filled inside.
    Canvas t(12, 10), edges(12, 10);
    const POINT tri[] = {{5, 2}, {7, 7}, {3, 7}};  // the broadcast strip's marker
    ASSERT_TRUE(Polygon(t.dc, tri, 3));
    for (int i = 0; i < 3; ++i) {
        MoveToEx(edges.dc, tri[i].x, tri[i].y, nullptr);
        LineTo(edges.dc, tri[(i + 1) % 3].x, tri[(i + 1) % 3].y);
    }
    EXPECT_EQ(t.Having(kPen), edges.Having(kPen));
    EXPECT_EQ(t.Having(kBrush), (Points{{5, 4}, {5, 5}, {4, 6}, {5, 6}, {6, 6}}));
}

TEST(GdiBitBlt, CopiesExactlyWhereBothBitmapsReach) {
    Canvas src(20, 15), dst(16, 12);
    std::mt19937 rng(5);
    for (std::uint32_t& p : src.bitmap->surface.pixels)
        p = rng() & 0xFFFFFF;
    for (auto [dx, dy, w, h, sx, sy] :
         {std::array{3, 2, 10, 8, 5, 4}, {-4, 9, 100, 100, 14, -3}, {2000000000, 0, 2000000000, 5, -2000000000, 0}}) {
        dst.Clear();
        EXPECT_TRUE(BitBlt(dst.dc, dx, dy, w, h, src.dc, sx, sy, SRCCOPY));
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 16; ++x) {
                const long long fx = 0LL + x - dx + sx, fy = 0LL + y - dy + sy;
                const bool inside = x >= dx && x - 0LL - dx < w && y >= dy && y - 0LL - dy < h && fx >= 0 && fx < 20 &&
                                    fy >= 0 && fy < 15;
                ASSERT_EQ(dst.At(x, y), inside ? src.At(int(fx), int(fy)) : kWhite) << dx << "," << dy << " " << x;
            }
    }
}

// GetDIBits of a whole canvas into a bottom-up DIB of the given depth.
struct Dib {
    std::vector<std::uint8_t> header = std::vector<std::uint8_t>(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
    std::vector<std::uint8_t> bits;
    int depth, stride, lines;

    Dib(const Canvas& c, int bitCount) : depth(bitCount), stride((c.width * bitCount + 31) / 32 * 4) {
        info()->bmiHeader =
            BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), c.width, c.height, 1, WORD(depth), 0, 0, 0, 0, 0, 0};
        bits.assign(static_cast<std::size_t>(stride) * c.height, 0xEE);
        lines = GetDIBits(c.dc, c.bitmap, 0, c.height, bits.data(), info(), DIB_RGB_COLORS);
    }
    BITMAPINFO* info() { return reinterpret_cast<BITMAPINFO*>(header.data()); }
    COLORREF Table(int i) {
        return RGB(info()->bmiColors[i].rgbRed, info()->bmiColors[i].rgbGreen, info()->bmiColors[i].rgbBlue);
    }
    // The colour of pixel (x, y) counted from the top.
    COLORREF At(int x, int y) {
        const std::uint8_t* row = bits.data() + static_cast<std::size_t>(info()->bmiHeader.biHeight - 1 - y) * stride;
        if (depth >= 24)
            return RGB(row[x * depth / 8 + 2], row[x * depth / 8 + 1], row[x * depth / 8]);
        return Table(depth == 8 ? row[x] : x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 0x0F);
    }
};

TEST(GdiDib, BottomUpRowsWithPaddedStrideAndExactColours) {
    // Up to 27 colours: exact at every depth (at 4 bits while they fit).
    for (int w = 1; w <= 9; ++w) {
        Canvas c(w, 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < w; ++x)
                SetPixel(c.dc, x, y, RGB(10 * x, 50 * y, 7));
        for (int depth : {4, 8, 24, 32}) {
            Dib d(c, depth);
            ASSERT_EQ(d.lines, 3);
            EXPECT_EQ(d.info()->bmiHeader.biSizeImage, static_cast<DWORD>(d.stride * 3));
            for (int y = 0; y < 3; ++y) {
                for (int x = 0; x < w && (depth != 4 || w * 3 <= 16); ++x)
                    EXPECT_EQ(d.At(x, y), c.At(x, y)) << w << " " << depth << " " << x << "," << y;
                for (int i = (w * depth + 7) / 8; i < d.stride; ++i)
                    EXPECT_EQ(d.bits[y * d.stride + i], 0) << "padding";
            }
        }
    }
}

TEST(GdiDib, ManyColoursReduceDeterministicallyToTheNearestKeepingBrushColours) {
    std::array<COLORREF, 16> kFills;  // the program's brushes, made first
    std::vector<HBRUSH> brushes;
    for (int i = 0; i < 16; ++i) {
        LOGBRUSH lb{BS_SOLID, kFills[i] = RGB(i * 17, 255 - i * 13, i * i), 0};
        brushes.push_back(CreateBrushIndirect(&lb));
    }
    // Table fills as large areas, 300 more colours each used a different number of times.
    Canvas c(300, 120);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 300; ++x)
            SetPixel(c.dc, x, y, kFills[(x / 19 + y / 8) % 16]);
    for (int i = 0; i < 300; ++i)
        for (int y = 0; y <= i % 37; ++y)
            SetPixel(c.dc, i, 80 + y, RGB(i * 7 % 256, 255 - i * 3 % 256, i % 2 * 128 + i / 3));
    Dib d(c, 8), again(c, 8);
    EXPECT_EQ(d.bits, again.bits);
    EXPECT_EQ(d.header, again.header);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(d.Table(i), kFills[i]) << i;
    auto distance = [](COLORREF a, COLORREF b) {
        const auto sq = [](int d) { return d * d; };
        return sq(GetRValue(a) - GetRValue(b)) + sq(GetGValue(a) - GetGValue(b)) + sq(GetBValue(a) - GetBValue(b));
    };
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 300; ++x) {
            int best = 1 << 30;
            for (int i = 0; i < 256; ++i)
                best = std::min(best, distance(d.Table(i), c.At(x, y)));
            ASSERT_EQ(distance(d.At(x, y), c.At(x, y)), best) << x << "," << y;
        }
    for (HBRUSH b : brushes)
        DeleteObject(b);
}

}  // namespace
