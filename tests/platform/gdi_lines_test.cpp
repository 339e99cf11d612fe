// Lines and single pixels: GDI's pixel choice, end exclusion, clipping.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
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
constexpr COLORREF kInk = RGB(10, 20, 30);

// The line walk written out plainly from the rules: octant, bias, error term.
Points ReferenceLine(long long x0, long long y0, long long x1, long long y1, long long maxSteps = -1) {
    const long long dx = x1 - x0, dy = y1 - y0;
    const long long adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    int octant;
    if (dx > 0 && dy > 0)
        octant = dx > dy ? 1 : 2;
    else if (dx <= 0 && dy > 0)
        octant = -dx <= dy ? 3 : 4;
    else if (dx < 0 && dy <= 0)
        octant = -dx > -dy ? 5 : 6;
    else
        octant = dx <= -dy ? 7 : 8;
    const bool xMajor = octant == 1 || octant == 4 || octant == 5 || octant == 8;
    const int bias = (octant == 3 || octant == 5 || octant == 6 || octant == 8) ? 1 : 0;
    const long long major = xMajor ? adx : ady, minor = xMajor ? ady : adx;
    long long err = 2 * minor - major, x = x0, y = y0;
    Points out;
    const long long steps = maxSteps >= 0 && maxSteps < major ? maxSteps : major;
    for (long long i = 0; i < steps; ++i) {
        out.insert({x, y});
        if (err + bias > 0) {
            if (xMajor)
                y += dy < 0 ? -1 : 1;
            else
                x += dx < 0 ? -1 : 1;
            err += 2 * minor - 2 * major;
        } else {
            err += 2 * minor;
        }
        if (xMajor)
            x += dx < 0 ? -1 : 1;
        else
            y += dy < 0 ? -1 : 1;
    }
    return out;
}

Points Drawn(const Canvas& c, long long offsetX = 0, long long offsetY = 0) {
    Points out;
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x)
            if (c.At(x, y) != kWhite)
                out.insert({x + offsetX, y + offsetY});
    return out;
}

Points DrawLine(Canvas& c, int x0, int y0, int x1, int y1) {
    c.Clear(kWhite);
    Tools tools(c.dc(), kInk, kWhite);
    MoveToEx(c.dc(), x0, y0, nullptr);
    LineTo(c.dc(), x1, y1);
    return Drawn(c);
}

TEST(GdiLines, WorkedCasesFromTheOrigin) {
    Canvas c(20, 20);
    // (0,0) sits at (10,10) in the bitmap.
    auto shifted = [](Points p) {
        Points out;
        for (auto [x, y] : p)
            out.insert({x - 10, y - 10});
        return out;
    };
    EXPECT_EQ(shifted(DrawLine(c, 10, 10, 14, 12)), (Points{{0, 0}, {1, 0}, {2, 1}, {3, 1}}));
    EXPECT_EQ(shifted(DrawLine(c, 10, 10, 6, 8)), (Points{{0, 0}, {-1, -1}, {-2, -1}, {-3, -2}}));
    EXPECT_EQ(shifted(DrawLine(c, 10, 10, 14, 8)), (Points{{0, 0}, {1, -1}, {2, -1}, {3, -2}}));
    EXPECT_EQ(shifted(DrawLine(c, 10, 10, 8, 14)), (Points{{0, 0}, {-1, 1}, {-1, 2}, {-2, 3}}));
}

TEST(GdiLines, EveryOctantExcludesTheEndAndFollowsTheRules) {
    Canvas c(41, 41);
    for (int dx = -20; dx <= 20; ++dx) {
        for (int dy = -20; dy <= 20; ++dy) {
            const Points drawn = DrawLine(c, 20, 20, 20 + dx, 20 + dy);
            ASSERT_EQ(drawn, ReferenceLine(20, 20, 20 + dx, 20 + dy)) << dx << "," << dy;
            if (dx != 0 || dy != 0) {
                EXPECT_TRUE(drawn.count({20, 20})) << "start drawn";
                EXPECT_FALSE(drawn.count({20 + dx, 20 + dy})) << "end excluded";
                EXPECT_EQ(drawn.size(), static_cast<std::size_t>(std::max(std::abs(dx), std::abs(dy))));
            }
        }
    }
}

TEST(GdiLines, DirectionMattersOnTies) {
    Canvas c(20, 20);
    // (0,0)->(4,2) has ties at odd steps; drawn backwards they break the other way.
    const Points forward = DrawLine(c, 2, 2, 6, 4);
    const Points backward = DrawLine(c, 6, 4, 2, 2);
    EXPECT_EQ(forward, (Points{{2, 2}, {3, 2}, {4, 3}, {5, 3}}));
    EXPECT_EQ(backward, (Points{{6, 4}, {5, 3}, {4, 3}, {3, 2}}));
}

TEST(GdiLines, ZeroLengthDrawsNothingAndPositionMoves) {
    Canvas c(10, 10);
    Tools tools(c.dc(), kInk, kWhite);
    MoveToEx(c.dc(), 3, 3, nullptr);
    EXPECT_TRUE(LineTo(c.dc(), 3, 3));
    EXPECT_TRUE(Drawn(c).empty());
    // LineTo leaves the position at its end: a polyline continues from there.
    LineTo(c.dc(), 6, 3);
    LineTo(c.dc(), 6, 6);
    POINT p{};
    MoveToEx(c.dc(), 0, 0, &p);
    EXPECT_EQ(p.x, 6);
    EXPECT_EQ(p.y, 6);
    EXPECT_EQ(Drawn(c), (Points{{3, 3}, {4, 3}, {5, 3}, {6, 3}, {6, 4}, {6, 5}}));
}

TEST(GdiLines, HorizontalAndVerticalSpans) {
    Canvas c(12, 12);
    EXPECT_EQ(DrawLine(c, 10, 5, 3, 5), (Points{{4, 5}, {5, 5}, {6, 5}, {7, 5}, {8, 5}, {9, 5}, {10, 5}}));
    EXPECT_EQ(DrawLine(c, 3, 5, 6, 5), (Points{{3, 5}, {4, 5}, {5, 5}}));
    EXPECT_EQ(DrawLine(c, 2, 1, 2, 4), (Points{{2, 1}, {2, 2}, {2, 3}}));
    EXPECT_EQ(DrawLine(c, 2, 4, 2, 1), (Points{{2, 4}, {2, 3}, {2, 2}}));
}

// A window onto a larger picture: lines drawn in a small bitmap at an offset
// set exactly the pixels the unclipped line sets there.
TEST(GdiLines, ClippedLinesMatchTheUnclippedWalk) {
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> coord(-300, 300);
    Canvas small(23, 17);
    for (int i = 0; i < 3000; ++i) {
        const int x0 = coord(rng), y0 = coord(rng), x1 = coord(rng), y1 = coord(rng);
        const int ox = coord(rng) / 2, oy = coord(rng) / 2;
        const Points drawn = DrawLine(small, x0 - ox, y0 - oy, x1 - ox, y1 - oy);
        Points expected;
        for (auto [x, y] : ReferenceLine(x0, y0, x1, y1))
            if (x - ox >= 0 && x - ox < 23 && y - oy >= 0 && y - oy < 17)
                expected.insert({x - ox, y - oy});
        ASSERT_EQ(drawn, expected) << x0 << "," << y0 << " -> " << x1 << "," << y1 << " at " << ox << "," << oy;
    }
}

TEST(GdiLines, LargeAndSmallBitmapsAgree) {
    std::mt19937 rng(99);
    std::uniform_int_distribution<int> coord(-2000, 2000);
    Canvas large(400, 300);
    Canvas small(37, 29);
    for (int i = 0; i < 300; ++i) {
        const int x0 = coord(rng), y0 = coord(rng), x1 = coord(rng), y1 = coord(rng);
        const Points a = DrawLine(large, x0, y0, x1, y1);
        const Points b = DrawLine(small, x0, y0, x1, y1);
        Points common;
        for (auto [x, y] : a)
            if (x < 37 && y < 29)
                common.insert({x, y});
        ASSERT_EQ(common, b) << x0 << "," << y0 << " -> " << x1 << "," << y1;
    }
}

TEST(GdiLines, FarEndpointsCostNothingAndAgree) {
    Canvas c(50, 40);
    const int kMin = -2147483647 - 1, kMax = 2147483647;
    auto timed = [&](int x0, int y0, int x1, int y1) {
        const auto t0 = std::chrono::steady_clock::now();
        Points p = DrawLine(c, x0, y0, x1, y1);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        EXPECT_LT(ms, 50.0) << x0 << "," << y0 << " -> " << x1 << "," << y1;
        return p;
    };
    // Starting inside: the visible pixels are the walk's first ones.
    const std::pair<int, int> ends[] = {{3, 2000000000}, {2000000000, 7}, {kMin, kMin}, {kMax, kMin}, {-7, kMax}};
    for (auto [x1, y1] : ends) {
        Points expected;
        for (auto [x, y] : ReferenceLine(10, 5, x1, y1, 200))
            if (x >= 0 && x < 50 && y >= 0 && y < 40)
                expected.insert({x, y});
        EXPECT_EQ(timed(10, 5, x1, y1), expected) << x1 << "," << y1;
    }
    // (10,5) to (3, 2e9): far below half a pixel of slope over the bitmap's height.
    EXPECT_EQ(timed(10, 5, 3, 2000000000).size(), 35u);
    // Passing through from far away: one pixel per column, near the ideal line.
    for (auto [y0, y1] : {std::pair{3, 30}, std::pair{kMin, kMax}, std::pair{kMax, kMin}}) {
        const Points p = timed(kMin, y0, kMax, y1);
        std::set<long long> columns;
        for (auto [x, y] : p) {
            columns.insert(x);
            const long double ideal = y0 + (static_cast<long double>(y1) - y0) * (static_cast<long double>(x) - kMin) /
                                               (static_cast<long double>(kMax) - kMin);
            EXPECT_LE(std::abs(static_cast<long double>(y) - ideal), 1.0L) << x << "," << y;
        }
        if (y0 == 3) {
            EXPECT_EQ(columns.size(), 50u);
        }
    }
    // The same slope drawn from near and from far sets the same pixels.
    EXPECT_EQ(timed(-1000000, -1000000 + 7, 1000000, 1000000 + 7), timed(-7, 0, 33, 40));
}

TEST(GdiPixels, SetPixelReturnsTheColourOrInvalidOutside) {
    Canvas c(4, 3);
    EXPECT_EQ(SetPixel(c.dc(), 1, 2, RGB(1, 2, 3)), RGB(1, 2, 3));
    EXPECT_EQ(GetPixel(c.dc(), 1, 2), RGB(1, 2, 3));
    EXPECT_EQ(SetPixel(c.dc(), 4, 0, RGB(1, 2, 3)), CLR_INVALID);
    EXPECT_EQ(SetPixel(c.dc(), -1, 0, RGB(1, 2, 3)), CLR_INVALID);
    EXPECT_EQ(SetPixel(c.dc(), 0, 3, RGB(1, 2, 3)), CLR_INVALID);
    EXPECT_EQ(GetPixel(c.dc(), 0, -1), CLR_INVALID);
    EXPECT_EQ(SetPixel(nullptr, 0, 0, 0), CLR_INVALID);
    // A column of dots, as the grid marks are drawn.
    for (int y = 0; y < 3; ++y)
        SetPixel(c.dc(), 3, y, RGB(96, 96, 96));
    for (int y = 0; y < 3; ++y)
        EXPECT_EQ(c.At(3, y), RGB(96, 96, 96));
    EXPECT_EQ(c.At(2, 1), kWhite);
}

}  // namespace
