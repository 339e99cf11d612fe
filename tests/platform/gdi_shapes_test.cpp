// Filled shapes and block transfers: Rectangle, Ellipse, Polygon, FillRect, BitBlt.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "platform/gdi_canvas.h"

namespace {

using gditest::Canvas;
using gditest::Tools;
using Points = std::set<std::pair<long long, long long>>;

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kPen = RGB(0, 0, 153);
constexpr COLORREF kBrush = RGB(255, 255, 204);

Points Having(const Canvas& c, COLORREF color, long long ox = 0, long long oy = 0) {
    Points out;
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x)
            if (c.At(x, y) == color)
                out.insert({x + ox, y + oy});
    return out;
}

double MillisecondsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

Points Box(long long l, long long t, long long r, long long b) {
    Points out;
    for (long long y = t; y < b; ++y)
        for (long long x = l; x < r; ++x)
            out.insert({x, y});
    return out;
}

// The ellipse outline by the incremental integer algorithm (error term and its
// increments), one quadrant mirrored four ways, box corner at (0, 0).
Points ReferenceEllipse(long long w, long long h) {
    const long long a = w - 1, b = h - 1;
    long long x = a, y = h / 2;
    long long dx = 4 * b * b * (1 - a), dy = 4 * a * a * (1 + b % 2);
    long long err = dx + dy + a * a * (b % 2);
    Points quadrant;
    while (x >= w / 2) {
        quadrant.insert({x, y});
        const long long e2 = 2 * err;
        const bool stepX = e2 >= dx, stepY = e2 <= dy;
        EXPECT_TRUE(stepX || stepY) << "stalled at " << w << "x" << h;
        if (!stepX && !stepY)
            break;
        if (stepX) {
            --x;
            dx += 8 * b * b;
            err += dx;
        }
        if (stepY) {
            ++y;
            dy += 8 * a * a;
            err += dy;
        }
    }
    for (; y <= b; ++y)
        quadrant.insert({x + 1, y});
    Points out;
    for (auto [px, py] : quadrant) {
        out.insert({px, py});
        out.insert({a - px, py});
        out.insert({px, b - py});
        out.insert({a - px, b - py});
    }
    return out;
}

void DrawEllipseOn(Canvas& c, long long l, long long t, long long r, long long b) {
    c.Clear(kWhite);
    Tools tools(c.dc(), kPen, kBrush);
    Ellipse(c.dc(), static_cast<int>(l), static_cast<int>(t), static_cast<int>(r), static_cast<int>(b));
}

TEST(GdiRectangle, OutlineWithPenInsideWithBrush) {
    Canvas c(12, 10);
    Tools tools(c.dc(), kPen, kBrush);
    Rectangle(c.dc(), 2, 1, 9, 7);
    Points border = Box(2, 1, 9, 7);
    for (auto p : Box(3, 2, 8, 6))
        border.erase(p);
    EXPECT_EQ(Having(c, kPen), border);
    EXPECT_EQ(Having(c, kBrush), Box(3, 2, 8, 6));
    // Swapped corners are ordered first.
    c.Clear(kWhite);
    Rectangle(c.dc(), 9, 7, 2, 1);
    EXPECT_EQ(Having(c, kPen), border);
    // Empty boxes draw nothing; one-pixel ones are all outline.
    c.Clear(kWhite);
    Rectangle(c.dc(), 4, 4, 4, 8);
    Rectangle(c.dc(), 1, 5, 6, 5);
    EXPECT_EQ(Having(c, kWhite).size(), 120u);
    Rectangle(c.dc(), 5, 2, 6, 5);
    EXPECT_EQ(Having(c, kPen), Box(5, 2, 6, 5));
    EXPECT_TRUE(Having(c, kBrush).empty());
}

TEST(GdiRectangle, HugeBoxesAreClippedAndCheap) {
    Canvas c(30, 20);
    Tools tools(c.dc(), kPen, kBrush);
    const auto t0 = std::chrono::steady_clock::now();
    Rectangle(c.dc(), -2147483647 - 1, 5, 2147483647, 2000000000);
    EXPECT_LT(MillisecondsSince(t0), 50.0);
    EXPECT_EQ(Having(c, kPen), Box(0, 5, 30, 6));
    EXPECT_EQ(Having(c, kBrush), Box(0, 6, 30, 20));
}

TEST(GdiFillRect, CoversLeftTopButNotRightBottom) {
    Canvas c(10, 10);
    Tools tools(c.dc(), kPen, kBrush);
    RECT r{1, 2, 7, 5};
    EXPECT_NE(FillRect(c.dc(), &r, tools.brush()), 0);
    EXPECT_EQ(Having(c, kBrush), Box(1, 2, 7, 5));
    // Inverted and far-off rectangles are harmless.
    RECT inverted{7, 5, 1, 2};
    RECT far{-2000000000, -2000000000, 2000000000, 3};
    FillRect(c.dc(), &inverted, tools.brush());
    c.Clear(kWhite);
    FillRect(c.dc(), &far, tools.brush());
    EXPECT_EQ(Having(c, kBrush), Box(0, 0, 10, 3));
    // A failed brush creation (a null handle) fills nothing.
    c.Clear(kWhite);
    EXPECT_EQ(FillRect(c.dc(), &r, nullptr), 0);
    EXPECT_EQ(Having(c, kWhite).size(), 100u);
}

TEST(GdiEllipse, SmallEllipses) {
    Canvas c(8, 8);
    DrawEllipseOn(c, 1, 1, 2, 2);
    EXPECT_EQ(Having(c, kPen), (Points{{1, 1}}));
    DrawEllipseOn(c, 1, 1, 3, 3);
    EXPECT_EQ(Having(c, kPen), Box(1, 1, 3, 3));
    DrawEllipseOn(c, 1, 1, 4, 4);
    EXPECT_EQ(Having(c, kPen), (Points{{2, 1}, {1, 2}, {3, 2}, {2, 3}}));
    EXPECT_EQ(Having(c, kBrush), (Points{{2, 2}}));
    // Thin ones reach the ends of their box.
    DrawEllipseOn(c, 2, 0, 3, 8);
    EXPECT_EQ(Having(c, kPen), Box(2, 0, 3, 8));
    DrawEllipseOn(c, 0, 3, 8, 5);
    EXPECT_EQ(Having(c, kPen), Box(0, 3, 8, 5));
    // Empty boxes draw nothing.
    DrawEllipseOn(c, 3, 3, 3, 7);
    EXPECT_EQ(Having(c, kWhite).size(), 64u);
}

TEST(GdiEllipse, MarkerCircleIsSymmetricAndFilled) {
    Canvas c(24, 24);
    DrawEllipseOn(c, 3, 2, 21, 20);  // 18 x 18, like the zero-line marker
    const Points pen = Having(c, kPen);
    EXPECT_EQ(pen, [] {
        Points p;
        for (auto [x, y] : ReferenceEllipse(18, 18))
            p.insert({x + 3, y + 2});
        return p;
    }());
    for (auto [x, y] : pen) {
        EXPECT_TRUE(pen.count({3 + 20 - x, y}));             // left-right
        EXPECT_TRUE(pen.count({x, 2 + 19 - y}));             // top-bottom
        EXPECT_TRUE(pen.count({3 + (y - 2), 2 + (x - 3)}));  // a circle is also symmetric about its diagonal
        EXPECT_TRUE(x >= 3 && x <= 20 && y >= 2 && y <= 19);
    }
    // Touches all four sides of the box [l, r-1] x [t, b-1].
    EXPECT_TRUE(pen.count({3, 10}) && pen.count({20, 10}) && pen.count({11, 2}) && pen.count({11, 19}));
    // The brush fills exactly what lies between the outline on each row.
    for (int y = 0; y < 24; ++y) {
        int first = 100, last = -1;
        for (int x = 0; x < 24; ++x)
            if (c.At(x, y) == kPen) {
                first = std::min(first, x);
                last = std::max(last, x);
            }
        for (int x = 0; x < 24; ++x) {
            const COLORREF got = c.At(x, y);
            if (x < first || x > last) {
                EXPECT_EQ(got, kWhite) << x << "," << y;
            } else {
                EXPECT_NE(got, kWhite) << x << "," << y;
            }
        }
    }
}

TEST(GdiEllipse, OutlineMatchesTheIncrementalWalkForManySizes) {
    Canvas c(70, 70);
    for (int w = 1; w <= 64; ++w) {
        for (int h = 1; h <= 64; h += (w % 7) + 1) {
            DrawEllipseOn(c, 2, 3, 2 + w, 3 + h);
            Points expected;
            for (auto [x, y] : ReferenceEllipse(w, h))
                expected.insert({x + 2, y + 3});
            ASSERT_EQ(Having(c, kPen), expected) << w << "x" << h;
        }
    }
}

// A window onto large ellipses: the fast path that jumps over the invisible
// part must set the same pixels as the full walk.
TEST(GdiEllipse, WindowsOntoLargeEllipsesMatchTheWalk) {
    std::mt19937 rng(7);
    Canvas window(31, 23);
    const std::pair<int, int> sizes[] = {{1200, 1200}, {3001, 800}, {640, 2500}, {5000, 37}, {41, 4000}, {999, 1000}};
    for (auto [w, h] : sizes) {
        const Points outline = ReferenceEllipse(w, h);
        for (int k = 0; k < 40; ++k) {
            // Pick a spot on the outline (or anywhere in the box), and look there.
            auto it = outline.begin();
            std::advance(it, std::uniform_int_distribution<std::size_t>(0, outline.size() - 1)(rng));
            long long ox = it->first - 15 + std::uniform_int_distribution<int>(-10, 10)(rng);
            long long oy = it->second - 11 + std::uniform_int_distribution<int>(-10, 10)(rng);
            if (k % 5 == 0) {
                ox = std::uniform_int_distribution<int>(-20, w)(rng);
                oy = std::uniform_int_distribution<int>(-20, h)(rng);
            }
            DrawEllipseOn(window, -ox, -oy, w - ox, h - oy);
            Points expected;
            for (auto [x, y] : outline)
                if (x >= ox && x < ox + 31 && y >= oy && y < oy + 23)
                    expected.insert({x, y});
            ASSERT_EQ(Having(window, kPen, ox, oy), expected) << w << "x" << h << " at " << ox << "," << oy;
        }
    }
}

TEST(GdiEllipse, HugeEllipsesAreCheap) {
    Canvas c(64, 48);
    const int kMin = -2147483647 - 1, kMax = 2147483647;
    const int boxes[][4] = {
        {kMin, kMin, kMax, kMax}, {kMin, 10, kMax, 30}, {-1000000000, 0, 1000000000, 2000000000},  {5, kMin, 40, kMax},
        {0, 0, kMax, kMax},       {kMin, kMin, 60, 40}, {-5, -1000000000, 2000000000, 1000000050},
    };
    for (const auto& b : boxes) {
        const auto t0 = std::chrono::steady_clock::now();
        DrawEllipseOn(c, b[0], b[1], b[2], b[3]);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        EXPECT_LT(ms, 100.0) << b[0] << "," << b[1] << "," << b[2] << "," << b[3];
    }
    // Inside a huge circle every pixel is brush.
    DrawEllipseOn(c, -1000000000, -1000000000, 1000000000, 1000000000);
    EXPECT_EQ(Having(c, kBrush).size(), 64u * 48u);
    // A flat one through the middle: the rows at its top and bottom edge are outline.
    DrawEllipseOn(c, kMin, 10, kMax, 30);
    EXPECT_EQ(Having(c, kPen), [] {
        Points p = Box(0, 10, 64, 11);
        for (auto q : Box(0, 29, 64, 30))
            p.insert(q);
        return p;
    }());
    EXPECT_EQ(Having(c, kBrush), Box(0, 11, 64, 29));
}

// Pixel (x, y) is filled when an odd number of edges cross row y at or left of
// x (edges sampled at integer rows, bottom rows excluded).
Points ReferenceFill(const std::vector<POINT>& pts, int width, int height) {
    Points out;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int crossings = 0;
            for (std::size_t i = 0; i < pts.size(); ++i) {
                POINT p = pts[i], q = pts[(i + 1) % pts.size()];
                if (p.y == q.y)
                    continue;
                if (p.y > q.y)
                    std::swap(p, q);
                if (y < p.y || y >= q.y)
                    continue;
                // crossing = p.x + (y - p.y)(q.x - p.x)/(q.y - p.y) <= x
                const long long num =
                    static_cast<long long>(p.x) * (q.y - p.y) + static_cast<long long>(y - p.y) * (q.x - p.x);
                if (num <= static_cast<long long>(x) * (q.y - p.y))
                    ++crossings;
            }
            if (crossings % 2 == 1)
                out.insert({x, y});
        }
    }
    return out;
}

Points ReferenceOutline(const std::vector<POINT>& pts, int width, int height) {
    Canvas c(width, height);
    Tools tools(c.dc(), kPen, kBrush);
    for (std::size_t i = 0; i < pts.size(); ++i) {
        const POINT p = pts[i], q = pts[(i + 1) % pts.size()];
        MoveToEx(c.dc(), p.x, p.y, nullptr);
        LineTo(c.dc(), q.x, q.y);
    }
    return Having(c, kPen);
}

TEST(GdiPolygon, ArrowHeadTriangle) {
    Canvas c(12, 10);
    Tools tools(c.dc(), kPen, kBrush);
    // (x, t), (x + 2, t + 5), (x - 2, t + 5): the broadcast strip's marker.
    const POINT tri[] = {{5, 2}, {7, 7}, {3, 7}};
    EXPECT_TRUE(Polygon(c.dc(), tri, 3));
    const Points outline = ReferenceOutline({tri, tri + 3}, 12, 10);
    EXPECT_EQ(Having(c, kPen), outline);
    Points inside = ReferenceFill({tri, tri + 3}, 12, 10);
    for (auto p : outline)
        inside.erase(p);
    EXPECT_EQ(Having(c, kBrush), inside);
    EXPECT_FALSE(inside.empty());
    // The outline closes the shape on the right and bottom.
    EXPECT_EQ(c.At(7, 7), kPen);
    EXPECT_EQ(c.At(3, 7), kPen);
    EXPECT_EQ(c.At(5, 7), kPen);
}

TEST(GdiPolygon, RandomPolygonsFollowTheScanRule) {
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> coord(-5, 35);
    Canvas c(30, 30);
    for (int k = 0; k < 300; ++k) {
        std::vector<POINT> pts(3 + k % 5);
        for (POINT& p : pts)
            p = POINT{coord(rng), coord(rng)};
        c.Clear(kWhite);
        {
            Tools tools(c.dc(), kPen, kBrush);
            Polygon(c.dc(), pts.data(), static_cast<int>(pts.size()));
        }
        const Points outline = ReferenceOutline(pts, 30, 30);
        Points inside = ReferenceFill(pts, 30, 30);
        for (auto p : outline)
            inside.erase(p);
        ASSERT_EQ(Having(c, kPen), outline) << k;
        ASSERT_EQ(Having(c, kBrush), inside) << k;
    }
}

TEST(GdiPolygon, FarVerticesAreCheapAndExact) {
    Canvas c(40, 30);
    Tools tools(c.dc(), kPen, kBrush);
    const int kMin = -2147483647 - 1, kMax = 2147483647;
    const POINT big[] = {{kMin, kMin}, {kMax, 15}, {kMin, kMax}};
    const auto t0 = std::chrono::steady_clock::now();
    Polygon(c.dc(), big, 3);
    EXPECT_LT(MillisecondsSince(t0), 50.0);
    // The whole bitmap is deep inside.
    EXPECT_EQ(Having(c, kBrush).size(), 40u * 30u);
    // Fewer than two points is an error.
    EXPECT_FALSE(Polygon(c.dc(), big, 1));
}

TEST(GdiBitBlt, CopiesExactlyAndClipsToBothSides) {
    Canvas src(20, 15), dst(16, 12);
    std::mt19937 rng(5);
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 20; ++x)
            SetPixel(src.dc(), x, y, rng() & 0xFFFFFF);
    dst.Clear(kWhite);
    EXPECT_TRUE(BitBlt(dst.dc(), 3, 2, 10, 8, src.dc(), 5, 4, SRCCOPY));
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool inside = x >= 3 && x < 13 && y >= 2 && y < 10;
            ASSERT_EQ(dst.At(x, y), inside ? src.At(x + 2, y + 2) : kWhite) << x << "," << y;
        }
    // Partly outside both bitmaps: only the part inside both is written.
    dst.Clear(kWhite);
    EXPECT_TRUE(BitBlt(dst.dc(), -4, 9, 100, 100, src.dc(), 14, -3, SRCCOPY));
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) {
            const int sx = x + 18, sy = y - 12;
            const bool inside = y >= 9 && sx < 20 && sy >= 0;
            ASSERT_EQ(dst.At(x, y), inside ? src.At(sx, sy) : kWhite) << x << "," << y;
        }
    // Far-off rectangles and other raster operations.
    EXPECT_TRUE(BitBlt(dst.dc(), 2000000000, 0, 2000000000, 5, src.dc(), -2000000000, 0, SRCCOPY));
    EXPECT_FALSE(BitBlt(dst.dc(), 0, 0, 5, 5, src.dc(), 0, 0, 0x00330008));
}

TEST(GdiBitBlt, OverlappingCopyWithinOneBitmap) {
    Canvas c(10, 10);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            SetPixel(c.dc(), x, y, RGB(x, y, 0));
    BitBlt(c.dc(), 2, 3, 6, 6, c.dc(), 1, 1, SRCCOPY);
    for (int y = 3; y < 9; ++y)
        for (int x = 2; x < 8; ++x)
            ASSERT_EQ(c.At(x, y), RGB(x - 1, y - 2, 0));
    BitBlt(c.dc(), 0, 0, 6, 6, c.dc(), 1, 2, SRCCOPY);
    EXPECT_EQ(c.At(0, 0), RGB(1, 2, 0));
}

TEST(GdiObjects, DeletingASelectedBrushWaitsForTheDC) {
    Canvas c(4, 4);
    LOGBRUSH lb{BS_SOLID, kBrush, 0};
    HBRUSH brush = CreateBrushIndirect(&lb);
    HGDIOBJ old = SelectObject(c.dc(), brush);
    EXPECT_TRUE(DeleteObject(brush));
    // Still usable while selected; freed when deselected (the sanitizer run
    // would report a use after free or a leak otherwise).
    Rectangle(c.dc(), 0, 0, 4, 4);
    EXPECT_EQ(c.At(1, 1), kBrush);
    SelectObject(c.dc(), old);
}

}  // namespace
