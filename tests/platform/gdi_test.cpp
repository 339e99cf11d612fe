// GDI on memory bitmaps: line pixels and clipping, filled shapes, block
// transfers, GetDIBits and object lifetime.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/gdi_internal.h"
#include "support/memory_picture.h"

namespace {

using Points = testsupport::PixelSet;

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kPen = RGB(0, 0, 153);
constexpr COLORREF kBrush = RGB(255, 255, 204);
constexpr int kMin = INT32_MIN;
constexpr int kMax = INT32_MAX;

// A white picture with a solid pen and brush selected.
struct Canvas : testsupport::MemoryPicture {
    HPEN pen = CreatePen(PS_SOLID, 1, kPen);
    LOGBRUSH lb{BS_SOLID, kBrush, 0};
    HBRUSH brush = CreateBrushIndirect(&lb);
    HGDIOBJ previousPen, previousBrush;

    Canvas(int w, int h)
        : MemoryPicture(w, h, kWhite), previousPen(SelectObject(dc, pen)), previousBrush(SelectObject(dc, brush)) {}
    ~Canvas() {
        SelectObject(dc, previousPen);
        SelectObject(dc, previousBrush);
        DeleteObject(pen);
        DeleteObject(brush);
    }
    void Clear() { Fill(RECT{0, 0, width, height}, kWhite); }
    COLORREF At(int x, int y) const { return (*this)(x, y); }
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

// What any correct line from (x0, y0) by (dx, dy) must be, whatever its tie
// rule: one pixel for each step along the longer axis, the end left out, each
// within half a pixel of the true line across. Empty when it is, else the fault.
std::string LineFault(const Points& drawn, int x0, int y0, int dx, int dy) {
    const bool xMajor = std::abs(dx) >= std::abs(dy);
    const long long major = xMajor ? std::abs(dx) : std::abs(dy), minor = xMajor ? dy : dx;
    const int step = (xMajor ? dx : dy) < 0 ? -1 : 1;
    if (drawn.size() != static_cast<std::size_t>(major))
        return std::to_string(drawn.size()) + " pixels for " + std::to_string(major) + " steps";
    std::set<long long> steps;
    for (auto [x, y] : drawn) {
        const std::string at = " at " + std::to_string(x) + "," + std::to_string(y);
        const long long along = (xMajor ? x - x0 : y - y0) * step, across = xMajor ? y - y0 : x - x0;
        if (along < 0 || along >= major)
            return "a pixel beyond the line" + at;
        if (!steps.insert(along).second)
            return "two pixels for one step" + at;
        if (2 * std::llabs(across * major - along * minor) > major)
            return "a pixel off the line" + at;
    }
    return "";
}

TEST(GdiLines, EveryDirectionGivesOnePixelPerStepNearestTheLineWithoutTheEnd) {
    Canvas c(41, 41);
    for (int dx = -20; dx <= 20; ++dx)
        for (int dy = -20; dy <= 20; ++dy) {
            SCOPED_TRACE(testing::Message() << "by " << dx << "," << dy);
            EXPECT_EQ(LineFault(c.Line(20, 20, 20 + dx, 20 + dy), 20, 20, dx, dy), "");
        }
    // Zero length draws nothing; LineTo moves the position for the next one.
    EXPECT_TRUE(c.Line(3, 3, 3, 3).empty());
    LineTo(c.dc, 6, 3);
    LineTo(c.dc, 6, 5);
    EXPECT_EQ(c.Having(kPen), (Points{{3, 3}, {4, 3}, {5, 3}, {6, 3}, {6, 4}}));
}

// Halfway between two pixels, the tie breaks one way in four of the eight
// directions and the other way in the rest, so that a line drawn backwards
// covers the same pixels but for its ends.
TEST(GdiLines, TiesBreakByDirection) {
    struct Case {
        int dx, dy;
        Points pixels;
    };
    const Case cases[] = {
        {4, 2, {{10, 10}, {11, 10}, {12, 11}, {13, 11}}}, {2, 4, {{10, 10}, {10, 11}, {11, 12}, {11, 13}}},
        {-2, 4, {{10, 10}, {9, 11}, {9, 12}, {8, 13}}},   {-4, 2, {{10, 10}, {9, 10}, {8, 11}, {7, 11}}},
        {-4, -2, {{10, 10}, {9, 9}, {8, 9}, {7, 8}}},     {-2, -4, {{10, 10}, {9, 9}, {9, 8}, {8, 7}}},
        {2, -4, {{10, 10}, {10, 9}, {11, 8}, {11, 7}}},   {4, -2, {{10, 10}, {11, 9}, {12, 9}, {13, 8}}},
    };
    Canvas c(20, 20);
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << "by " << k.dx << "," << k.dy);
        EXPECT_EQ(c.Line(10, 10, 10 + k.dx, 10 + k.dy), k.pixels);
    }
    // Backwards: the pixels of the forward line less its start, plus the end.
    EXPECT_EQ(c.Line(14, 12, 10, 10), (Points{{14, 12}, {13, 11}, {12, 11}, {11, 10}}));
}

// The pixels of `c` inside `box`, moved by (dx, dy).
Points Window(const Canvas& c, RECT box, int dx, int dy) {
    Points out;
    for (int y = box.top; y < box.bottom; ++y)
        for (int x = box.left; x < box.right; ++x)
            if (c.At(x, y) == kPen)
                out.insert({x + dx, y + dy});
    return out;
}

// Clipping must not change which pixels a line sets, however far its ends:
// a small picture shows what a large one shows of the same line.
TEST(GdiLines, ClippedLinesSetThePixelsOfTheWholeLine) {
    // Every short line near a tiny picture, so that ties fall on each of its
    // edges, where the first and last visible pixel are worked out.
    Canvas tiny(6, 5), near(32, 32);  // near: every such line fits with (13, 13) added
    for (int x0 = -5; x0 <= 10; ++x0)
        for (int y0 = -5; y0 <= 9; ++y0)
            for (int dx = -7; dx <= 7; ++dx)
                for (int dy = -7; dy <= 7; ++dy) {
                    near.Line(x0 + 13, y0 + 13, x0 + dx + 13, y0 + dy + 13);
                    const Points expected = Window(near, RECT{13, 13, 19, 18}, -13, -13);
                    if (tiny.Line(x0, y0, x0 + dx, y0 + dy) != expected)
                        ADD_FAILURE() << "line from " << x0 << "," << y0 << " by " << dx << "," << dy;
                }
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> coord(-300, 300);
    Canvas small(23, 17), whole(601, 601);  // whole: every line fits with (300, 300) added
    for (int i = 0; i < 1000; ++i) {
        const int x0 = coord(rng), y0 = coord(rng), x1 = coord(rng), y1 = coord(rng);
        SCOPED_TRACE(testing::Message() << x0 << "," << y0 << " -> " << x1 << "," << y1);
        whole.Line(x0 + 300, y0 + 300, x1 + 300, y1 + 300);
        EXPECT_EQ(small.Line(x0, y0, x1, y1), Window(whole, RECT{300, 300, 323, 317}, -300, -300));
    }
    // Ends two billion pixels away: what falls inside, worked out by hand.
    struct Far {
        int x1, y1;
        Points pixels;
    };
    const Far far[] = {
        {3, 2000000000, Box(10, 5, 11, 17)},  // straight down: x moves once per 285 million rows
        {-7, kMax, Box(10, 5, 11, 17)},
        {2000000000, 7, Box(10, 5, 23, 6)},                               // straight right
        {kMin, kMin, {{10, 5}, {9, 4}, {8, 3}, {7, 2}, {6, 1}, {5, 0}}},  // up and left, a diagonal
        {kMax, kMin, {{10, 5}, {11, 4}, {12, 3}, {13, 2}, {14, 1}, {15, 0}}},
    };
    for (const Far& f : far) {
        SCOPED_TRACE(testing::Message() << "10,5 -> " << f.x1 << "," << f.y1);
        EXPECT_EQ(small.Line(10, 5, f.x1, f.y1), f.pixels);
    }
    Points diagonal;
    for (int i = 0; i < 17; ++i)
        diagonal.insert({i, i});
    EXPECT_EQ(small.Line(kMin, kMin, kMax, kMax), diagonal);
    EXPECT_EQ(small.Line(-1000000, -1000000 + 7, 1000000, 1000000 + 7), small.Line(-7, 0, 33, 40));
}

TEST(GdiShapes, RectangleAndFillRectEdgesAndADeletedSelectedBrush) {
    Canvas c(12, 10);
    Points border = Box(2, 1, 9, 7);
    for (auto p : Box(3, 2, 8, 6))
        border.erase(p);
    for (auto [l, t, r, b] : {std::array{2, 1, 9, 7}, std::array{9, 7, 2, 1}}) {  // corners in either order
        SCOPED_TRACE(testing::Message() << "corners " << l << "," << t << " and " << r << "," << b);
        c.Clear();
        Rectangle(c.dc, l, t, r, b);
        EXPECT_EQ(c.Having(kPen), border);
        EXPECT_EQ(c.Having(kBrush), Box(3, 2, 8, 6));
    }
    c.Clear();
    Rectangle(c.dc, kMin, 5, kMax, 2000000000);  // clipped, not walked
    EXPECT_EQ(c.Having(kPen), Box(0, 5, 12, 6));
    EXPECT_EQ(c.Having(kBrush), Box(0, 6, 12, 10));
    // A 1 x 1 box is a border of no length: nothing at all. One pixel wide
    // is all border.
    c.Clear();
    Rectangle(c.dc, 4, 4, 5, 5);
    Rectangle(c.dc, 6, 3, 5, 4);
    EXPECT_EQ(c.Count(kWhite), 12 * 10);
    Rectangle(c.dc, 4, 2, 5, 7);
    EXPECT_EQ(c.Having(kPen), Box(4, 2, 5, 7));
    // FillRect covers left and top but not right and bottom; a reversed
    // side runs back from its start, that pixel included.
    struct Fill {
        RECT rect;
        Points pixels;
    };
    const Fill fills[] = {
        {{1, 2, 7, 5}, Box(1, 2, 7, 5)},
        {{7, 5, 1, 2}, Box(2, 3, 8, 6)},
        {{7, 2, 1, 5}, Box(2, 2, 8, 5)},
        {{1, 5, 7, 2}, Box(1, 3, 7, 6)},
        {{3, 3, 3, 9}, {}},
        {{-2000000000, -2000000000, 2000000000, 3}, Box(0, 0, 12, 3)},
        {{2000000000, 8, -2000000000, 3}, Box(0, 4, 12, 9)},
    };
    for (const Fill& f : fills) {
        SCOPED_TRACE(testing::Message() << f.rect.left << "," << f.rect.top << "," << f.rect.right << ","
                                        << f.rect.bottom);
        c.Clear();
        EXPECT_NE(FillRect(c.dc, &f.rect, c.brush), 0);
        EXPECT_EQ(c.Having(kBrush), f.pixels);
    }
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

// Only one-pixel pens are drawn; a wider one is refused, not drawn thin.
TEST(GdiShapes, PensWiderThanOnePixelAreRefused) {
    EXPECT_EQ(CreatePen(PS_SOLID, 2, kPen), nullptr);
    EXPECT_EQ(CreatePen(PS_SOLID, 7, kPen), nullptr);
    Canvas c(10, 10);
    const Points thin = c.Line(1, 1, 8, 5);
    HPEN zero = CreatePen(PS_SOLID, 0, kPen);
    ASSERT_NE(zero, nullptr);
    HGDIOBJ old = SelectObject(c.dc, zero);
    EXPECT_EQ(c.Line(1, 1, 8, 5), thin);
    SelectObject(c.dc, old);
    DeleteObject(zero);
}

// What an ellipse in its box at (0, 0) must look like: touching both sides
// in the middle, symmetric both ways, its outline on one band of rows about
// the middle (a narrow one stops short of its box's ends), and on every row
// the brush fills exactly what lies between the outline. Empty when it does,
// else the fault.
std::string EllipseFault(const Canvas& c, int w, int h) {
    const Points pen = c.Having(kPen);
    if (!pen.count({0, (h - 1) / 2}) || !pen.count({w - 1, h / 2}))
        return "does not touch the sides in the middle";
    bool ended = false;
    for (int y = 0; y < c.height; ++y) {
        int first = c.width, last = -1;
        for (int x = 0; x < c.width; ++x)
            if (c.At(x, y) == kPen)
                first = std::min(first, x), last = std::max(last, x);
        const std::string row = " on row " + std::to_string(y);
        if (last < 0) {
            ended = ended || y > h / 2;
            continue;
        }
        if (ended || y >= h)
            return "outline" + row;
        if (first + last != w - 1)
            return "not symmetric left and right" + row;
        if (!pen.count({first, h - 1 - y}))
            return "not symmetric up and down" + row;
        for (int x = 0; x < c.width; ++x)
            if ((c.At(x, y) != kWhite) != (x >= first && x <= last))
                return "paint outside the outline or a hole inside" + row;
    }
    return "";
}

TEST(GdiShapes, EllipseAndTriangleOutlineWithPenInsideWithBrush) {
    Canvas c(8, 8);
    Ellipse(c.dc, 1, 1, 4, 4);
    EXPECT_EQ(c.Having(kPen), (Points{{2, 1}, {1, 2}, {3, 2}, {2, 3}}));
    EXPECT_EQ(c.Having(kBrush), (Points{{2, 2}}));
    c.Clear();
    Ellipse(c.dc, 2, 0, 3, 8);  // two pixels wide or less: the rectangle
    EXPECT_EQ(c.Having(kPen), Box(2, 0, 3, 8));
    c.Clear();
    Ellipse(c.dc, 5, 5, 6, 6);  // 1 x 1: nothing, as its rectangle
    EXPECT_EQ(c.Count(kWhite), 64);
    // A narrow one stops short of its box's ends: rows 0 and 35 stay empty.
    Canvas narrow(5, 36);
    Ellipse(narrow.dc, 0, 0, 5, 36);
    EXPECT_EQ(narrow.Count(kPen, RECT{0, 0, 5, 2}), 1);
    EXPECT_EQ(narrow.At(2, 1), kPen);
    EXPECT_EQ(narrow.Count(kWhite, RECT{0, 34, 5, 36}), 9);
    c.Clear();
    Ellipse(c.dc, kMin, kMin, kMax, kMax);  // far larger than the picture: all of it inside
    EXPECT_EQ(c.Having(kBrush), Box(0, 0, 8, 8));
    Canvas big(70, 70);
    for (int w = 2; w <= 64; w += 3)
        for (int h = 2; h <= 64; h += 5) {
            SCOPED_TRACE(testing::Message() << w << " x " << h);
            big.Clear();
            Ellipse(big.dc, 0, 0, w, h);
            EXPECT_EQ(EllipseFault(big, w, h), "");
        }
    // A triangle is outlined by its edges and filled inside.
    Canvas t(12, 10), edges(12, 10);
    const POINT tri[] = {{5, 2}, {7, 7}, {3, 7}};  // the broadcast strip's marker
    EXPECT_TRUE(Polygon(t.dc, tri, 3));
    for (int i = 0; i < 3; ++i) {
        MoveToEx(edges.dc, tri[i].x, tri[i].y, nullptr);
        LineTo(edges.dc, tri[(i + 1) % 3].x, tri[(i + 1) % 3].y);
    }
    EXPECT_EQ(t.Having(kPen), edges.Having(kPen));
    EXPECT_EQ(t.Having(kBrush), (Points{{5, 4}, {5, 5}, {4, 6}, {5, 6}, {6, 6}}));
}

// The pixels of a picture, top row first.
std::vector<COLORREF> PixelsOf(const Canvas& c) {
    std::vector<COLORREF> out;
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
            out.push_back(c.At(x, y));
    return out;
}

TEST(GdiBitBlt, CopiesExactlyWhereBothPicturesReach) {
    Canvas src(20, 15), dst(16, 12);
    std::mt19937 rng(5);
    for (std::uint32_t& p : src.bitmap->surface.pixels)
        p = rng() & 0xFFFFFF;
    struct Case {
        const char* what;
        int dx, dy, w, h, sx, sy;
        RECT copied;  // in the destination; from there the source is at (sx - dx, sy - dy)
    };
    const Case cases[] = {
        {"inside both", 3, 2, 10, 8, 5, 4, {3, 2, 13, 10}},
        {"past the far edges", -4, 9, 100, 100, 14, 3, {0, 9, 2, 12}},  // source columns 18, 19; rows 3-5
        {"source starting outside", 5, -2, 100, 100, -3, 2, {8, 0, 16, 11}},
        {"two billion away", 2000000000, 0, 2000000000, 5, -2000000000, 0, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dst.Clear();
        EXPECT_TRUE(BitBlt(dst.dc, c.dx, c.dy, c.w, c.h, src.dc, c.sx, c.sy, SRCCOPY));
        std::vector<COLORREF> expected(16 * 12, kWhite);
        for (int y = c.copied.top; y < c.copied.bottom; ++y)
            for (int x = c.copied.left; x < c.copied.right; ++x)
                expected[y * 16 + x] = src.At(x - c.dx + c.sx, y - c.dy + c.sy);
        EXPECT_EQ(PixelsOf(dst), expected);
    }
}

// GetDIBits of a whole picture into a bottom-up DIB of the given depth.
struct Dib {
    std::vector<std::uint8_t> header = std::vector<std::uint8_t>(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
    std::vector<std::uint8_t> bits;
    int depth, stride, lines;

    Dib(const testsupport::MemoryPicture& c, int bitCount)
        : depth(bitCount), stride((c.width * bitCount + 31) / 32 * 4) {
        info()->bmiHeader =
            BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), c.width, c.height, 1, WORD(depth), 0, 0, 0, 0, 0, 0};
        bits.assign(static_cast<std::size_t>(stride) * c.height, 0xEE);
        lines = GetDIBits(c.dc, c.bitmap, 0, c.height, bits.data(), info(), DIB_RGB_COLORS);
    }
    BITMAPINFO* info() { return reinterpret_cast<BITMAPINFO*>(header.data()); }
    COLORREF Table(int i) {
        return RGB(info()->bmiColors[i].rgbRed, info()->bmiColors[i].rgbGreen, info()->bmiColors[i].rgbBlue);
    }
    int Index(int x, int y) {
        const std::uint8_t* row = bits.data() + static_cast<std::size_t>(info()->bmiHeader.biHeight - 1 - y) * stride;
        const int perByte = 8 / depth, shift = (perByte - 1 - x % perByte) * depth;
        return (row[x / perByte] >> shift) & ((1 << depth) - 1);
    }
    // The colour of pixel (x, y) counted from the top.
    COLORREF At(int x, int y) {
        const std::uint8_t* row = bits.data() + static_cast<std::size_t>(info()->bmiHeader.biHeight - 1 - y) * stride;
        if (depth >= 24)
            return RGB(row[x * depth / 8 + 2], row[x * depth / 8 + 1], row[x * depth / 8]);
        return Table(Index(x, y));
    }
};

TEST(GdiDib, BottomUpRowsWithPaddedStrideAndExactColours) {
    // 3 to 27 colours: exact at every depth that holds them.
    for (int w = 1; w <= 9; ++w) {
        Canvas c(w, 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < w; ++x)
                SetPixel(c.dc, x, y, RGB(10 * x, 50 * y, 7));
        for (int depth : {4, 8, 24, 32}) {
            SCOPED_TRACE(testing::Message() << w << " wide at " << depth << " bits");
            Dib d(c, depth);
            EXPECT_EQ(d.lines, 3);
            EXPECT_EQ(d.info()->bmiHeader.biSizeImage, static_cast<DWORD>(d.stride * 3));
            for (int y = 0; y < 3; ++y) {
                for (int x = 0; x < w && (depth != 4 || w * 3 <= 16); ++x)
                    EXPECT_EQ(d.At(x, y), c.At(x, y)) << x << "," << y;
                for (int i = (w * depth + 7) / 8; i < d.stride; ++i)
                    EXPECT_EQ(d.bits[y * d.stride + i], 0) << "padding of row " << y;
            }
        }
    }
}

TEST(GdiDib, FewColoursGetAnExactTableInOrderOfFirstAppearance) {
    // Top row first: red, green, then blue on the bottom row.
    Canvas c(3, 2);
    const COLORREF red = RGB(200, 0, 0), green = RGB(0, 200, 0), blue = RGB(0, 0, 200);
    for (auto [x, y, color] :
         {std::tuple{0, 0, red}, {1, 0, red}, {2, 0, green}, {0, 1, blue}, {1, 1, red}, {2, 1, green}})
        SetPixel(c.dc, x, y, color);
    Dib d(c, 4);
    EXPECT_EQ((std::vector{d.Table(0), d.Table(1), d.Table(2), d.Table(3), d.Table(15)}),
              (std::vector<COLORREF>{red, green, blue, 0, 0}));  // unused entries are black
    // Bottom row first, four bits a pixel, the leftmost high; rows of 4 bytes.
    EXPECT_EQ(d.bits, (std::vector<std::uint8_t>{0x20, 0x10, 0, 0, 0x00, 0x10, 0, 0}));
}

// One colour more than a depth holds, and the table is the fixed one: black
// and white, the sixteen standard colours, or 256 of system colours, a colour
// cube and greys; each pixel gets its nearest entry.
TEST(GdiDib, OneColourTooManyMapsToTheFixedTable) {
    struct Probe {
        COLORREF color;
        int index;
    };
    struct Case {
        int depth;
        std::vector<std::pair<int, COLORREF>> entries;  // some of the table's entries
        std::vector<Probe> probes;                      // pixels and the index they must get
    };
    // clang-format off
    const Case cases[] = {
        {1, {{0, RGB(0, 0, 0)}, {1, RGB(255, 255, 255)}},
         {{RGB(60, 60, 60), 0}, {RGB(200, 200, 200), 1}, {RGB(255, 0, 0), 0}}},
        {4, {{0, RGB(0, 0, 0)}, {7, RGB(192, 192, 192)}, {8, RGB(128, 128, 128)}, {9, RGB(255, 0, 0)},
             {12, RGB(0, 0, 255)}, {15, RGB(255, 255, 255)}},
         {{RGB(250, 10, 10), 9}, {RGB(0, 120, 0), 2}, {RGB(190, 190, 190), 7}, {RGB(140, 130, 120), 8}}},
        {8, {{0, RGB(0, 0, 0)}, {7, RGB(192, 192, 192)}, {8, RGB(192, 220, 192)}, {9, RGB(166, 202, 240)},
             {10, RGB(0, 0, 0)}, {11, RGB(0, 0, 51)}, {46, RGB(51, 0, 0)}, {225, RGB(255, 255, 255)},
             {226, RGB(12, 12, 12)}, {245, RGB(240, 240, 240)}, {246, RGB(255, 251, 240)}, {255, RGB(255, 255, 255)}},
         {{RGB(130, 0, 0), 1}, {RGB(52, 101, 203), 62}, {RGB(100, 100, 100), 96}, {RGB(251, 251, 240), 246},
          {RGB(0, 0, 0), 0}, {RGB(255, 255, 255), 225}}},  // of equal entries, the first
    };
    // clang-format on
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << k.depth << " bits");
        const int capacity = 1 << k.depth;
        // The probes first, then distinct fillers up to one colour too many.
        Canvas c(capacity + 1, 1);
        for (std::size_t i = 0; i < k.probes.size(); ++i)
            SetPixel(c.dc, int(i), 0, k.probes[i].color);
        for (int x = int(k.probes.size()); x <= capacity; ++x)
            SetPixel(c.dc, x, 0, RGB(BYTE(x), BYTE(255 - x), 77));
        Dib d(c, k.depth);
        for (auto [i, color] : k.entries)
            EXPECT_EQ(d.Table(i), color) << "entry " << i;
        for (std::size_t i = 0; i < k.probes.size(); ++i)
            EXPECT_EQ(d.Index(int(i), 0), k.probes[i].index) << "probe " << i;
        // The same picture less one colour keeps its own colours.
        SetPixel(c.dc, capacity, 0, k.probes[0].color);
        Dib exact(c, k.depth);
        for (int x = 0; x <= capacity; ++x)
            EXPECT_EQ(exact.At(x, 0), c.At(x, 0)) << "pixel " << x;
    }
}

}  // namespace
