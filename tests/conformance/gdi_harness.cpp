// Draws the same GDI cases into 32-bit memory bitmaps and dumps every pixel,
// so that our platform's drawing can be compared with Windows' own GDI (the
// same source built with mingw-w64 and run under Wine).
//
//   gdi_harness DUMP                      draw every case, write DUMP
//   gdi_harness --compare OURS THEIRS     compare two dumps; exit 1 on any
//               [--show N]                unexplained difference, showing N
//
// A dump holds, per case: its name, the number of GDI drawing calls it made,
// its size and its pixels (0x00RRGGBB, top row first).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/win32.h"  // on Windows, <windows.h>

namespace {

constexpr COLORREF kBackground = RGB(0x40, 0x40, 0x40);
constexpr COLORREF kPen = RGB(0xF0, 0x30, 0x30);
constexpr COLORREF kBrush = RGB(0x30, 0x70, 0xF0);
constexpr COLORREF kText = RGB(0xE0, 0xD0, 0x20);  // ink and background alike: only cells show

// ---------------------------------------------------------------- drawing

// The pens, brushes and fonts the cases draw with.
struct Objects {
    HPEN pen1, pen0;
    HBRUSH brush, background;
    std::map<int, HFONT> fonts;  // by lfHeight
};

// What a case draws with, and a count of its drawing calls.
struct Context {
    HDC dc;
    const Objects& objects;
    int calls = 0;

    void Line(int x0, int y0, int x1, int y1) {
        MoveToEx(dc, x0, y0, nullptr);
        LineTo(dc, x1, y1);
        ++calls;
    }
    void Poly(const std::vector<POINT>& p) {
        Polygon(dc, p.data(), static_cast<int>(p.size()));
        ++calls;
    }
    void Oval(int l, int t, int r, int b) {
        Ellipse(dc, l, t, r, b);
        ++calls;
    }
    void Box(int l, int t, int r, int b) {
        Rectangle(dc, l, t, r, b);
        ++calls;
    }
    void Fill(int l, int t, int r, int b) {
        const RECT rect{l, t, r, b};
        FillRect(dc, &rect, objects.brush);
        ++calls;
    }
    void Pixel(int x, int y, COLORREF c) {
        SetPixel(dc, x, y, c);
        ++calls;
    }
    void Text(int x, int y, UINT options, const RECT* rect, const char* text) {
        ExtTextOutA(dc, x, y, options, rect, text, static_cast<UINT>(std::strlen(text)), nullptr);
        ++calls;
    }
};

struct Case {
    std::string name;
    int width, height;
    std::function<void(Context&)> draw;
};

// A small deterministic generator, the same on every platform.
struct Random {
    std::uint32_t state;
    int Next(int lo, int hi) {  // [lo, hi]
        state = state * 1664525u + 1013904223u;
        return lo + static_cast<int>((state >> 8) % static_cast<std::uint32_t>(hi - lo + 1));
    }
};

std::string Str(long long v) {
    return std::to_string(v);
}
std::string Pair(long long a, long long b) {
    return Str(a) + "," + Str(b);
}
std::string Quad(long long l, long long t, long long r, long long b) {
    return Pair(l, t) + "," + Pair(r, b);
}

// The octant of a line by (dx, dy), y down, or the border it lies on.
std::string Direction(int dx, int dy) {
    if (dy == 0)
        return dx > 0 ? "right" : "left";
    if (dx == 0)
        return dy > 0 ? "down" : "up";
    const char* v = dy > 0 ? "down" : "up";
    const char* h = dx > 0 ? "right" : "left";
    const int ax = std::abs(dx), ay = std::abs(dy);
    if (ax == ay)
        return std::string("diag-") + v + "-" + h;
    return std::string(ax > ay ? "flat-" : "steep-") + v + "-" + h;
}

void AddLines(std::vector<Case>& cases) {
    // Every direction, short: all ends within 15 of the centre.
    for (int dx = -15; dx <= 15; ++dx)
        for (int dy = -15; dy <= 15; ++dy)
            if (dx != 0 || dy != 0)
                cases.push_back({"line/short/" + Direction(dx, dy) + "/" + Pair(dx, dy), 33, 33,
                                 [=](Context& c) { c.Line(16, 16, 16 + dx, 16 + dy); }});
    // Every direction, long: to each point of a square ring.
    for (int i = -30; i < 30; ++i)
        for (const auto& [ex, ey] : {std::pair{i, -30}, std::pair{30, i}, std::pair{-i, 30}, std::pair{-30, -i}}) {
            const int dx = ex, dy = ey;
            cases.push_back({"line/long/" + Direction(dx, dy) + "/" + Pair(dx, dy), 64, 64,
                             [=](Context& c) { c.Line(32, 32, 32 + dx, 32 + dy); }});
        }
    // Along, onto and just off the edges of the bitmap.
    const int edges[][4] = {{0, 0, 40, 0},    {0, 39, 40, 39},  {-1, 5, 40, 5},   {40, 7, -1, 7},   {0, 0, 0, 40},
                            {39, 40, 39, -1}, {-1, 0, -1, 40},  {40, 0, 40, 40},  {0, -1, 40, -1},  {-5, -5, 45, 45},
                            {45, -5, -5, 45}, {-3, 10, 10, -3}, {39, 30, 50, 41}, {-10, 20, 0, 20}, {39, 20, 60, 20},
                            {20, 39, 20, 60}, {20, -20, 20, 0}, {-9, -1, 49, 3},  {3, -9, 7, 49},   {49, 38, -9, 1},
                            {0, 39, 39, 0},   {39, 39, 0, 0},   {-1, -1, 40, 40}, {40, 40, -1, -1}, {-2, 19, 41, 20}};
    for (const auto& e : edges)
        cases.push_back(
            {"line/edge/" + Quad(e[0], e[1], e[2], e[3]), 40, 40, [=](Context& c) { c.Line(e[0], e[1], e[2], e[3]); }});
    // Clipped by the bitmap: ends anywhere in a box around it.
    Random r{7};
    for (int i = 0; i < 300; ++i) {
        const int x0 = r.Next(-48, 111), y0 = r.Next(-48, 111), x1 = r.Next(-48, 111), y1 = r.Next(-48, 111);
        cases.push_back({"line/clipped/" + Quad(x0, y0, x1, y1), 64, 64, [=](Context& c) { c.Line(x0, y0, x1, y1); }});
    }
    // Far-off ends: from inside to far away in sixteen directions, and
    // through the bitmap from far away on both sides.
    const int dirs[][2] = {{1, 0}, {4, 1},  {2, 1},  {4, 3},  {1, 1},  {3, 4},  {1, 2},  {1, 4},
                           {0, 1}, {-1, 4}, {-1, 2}, {-3, 4}, {-1, 1}, {-4, 3}, {-2, 1}, {-4, 1}};
    // Windows' GDI refuses device coordinates beyond 26 bits: the farthest
    // end here, four times the largest scale away, stays inside them.
    for (const int scale : {1000, 100000, 10000000, 16000000}) {
        for (const auto& d : dirs) {
            for (const int sign : {1, -1}) {
                const int x1 = 20 + sign * d[0] * scale, y1 = 30 + sign * d[1] * scale;
                cases.push_back(
                    {"line/far/" + Quad(20, 30, x1, y1), 48, 48, [=](Context& c) { c.Line(20, 30, x1, y1); }});
                // The same line started far back on the other side, on its own track.
                const int x0 = 20 - sign * d[0] * (scale / 4), y0 = 30 - sign * d[1] * (scale / 4);
                cases.push_back(
                    {"line/far-through/" + Quad(x0, y0, x1, y1), 48, 48, [=](Context& c) { c.Line(x0, y0, x1, y1); }});
            }
        }
    }
    // A polyline: each line starts where the last ended.
    cases.push_back({"line/polyline", 40, 40, [](Context& c) {
                         MoveToEx(c.dc, 2, 2, nullptr);
                         const int pts[][2] = {{30, 5}, {30, 30}, {4, 37}, {4, 3}, {20, 20}, {36, 9}, {2, 2}};
                         for (const auto& p : pts) {
                             LineTo(c.dc, p[0], p[1]);
                             ++c.calls;
                         }
                     }});
    // A pen of width 0 is one pixel wide, as is a pen of width 1.
    for (int i = 0; i < 16; ++i) {
        const int dx = dirs[i][0] * 7, dy = dirs[i][1] * 7;
        cases.push_back({"line/pen0/" + Pair(dx, dy), 64, 64, [=](Context& c) {
                             SelectObject(c.dc, c.objects.pen0);
                             c.Line(32, 32, 32 + dx, 32 + dy);
                             c.Line(32, 32, 32 - dx, 32 - dy);
                         }});
    }
}

void AddPolygons(std::vector<Case>& cases) {
    using Shape = std::vector<POINT>;
    const std::pair<const char*, Shape> shapes[] = {
        {"triangle", {{5, 2}, {7, 7}, {3, 7}}},
        {"triangle-down", {{3, 2}, {9, 2}, {6, 8}}},
        {"triangle-left", {{2, 5}, {8, 2}, {8, 8}}},
        {"triangle-right", {{2, 2}, {8, 5}, {2, 8}}},
        {"triangle-wide", {{1, 30}, {46, 3}, {40, 33}}},
        {"triangle-thin", {{2, 2}, {40, 6}, {3, 4}}},
        {"triangle-clockwise", {{20, 4}, {36, 30}, {4, 26}}},
        {"triangle-counter", {{20, 4}, {4, 26}, {36, 30}}},
        {"square", {{5, 5}, {30, 5}, {30, 30}, {5, 30}}},
        {"trapezoid", {{10, 5}, {30, 5}, {40, 30}, {2, 30}}},
        {"diamond", {{20, 2}, {38, 20}, {20, 38}, {2, 20}}},
        {"pentagon", {{20, 2}, {38, 15}, {31, 37}, {9, 37}, {2, 15}}},
        {"arrow", {{2, 15}, {20, 15}, {20, 5}, {38, 20}, {20, 35}, {20, 25}, {2, 25}}},
        {"concave-v", {{2, 2}, {20, 25}, {38, 2}, {20, 38}}},
        {"comb", {{2, 38}, {2, 2}, {10, 30}, {18, 2}, {26, 30}, {34, 2}, {38, 38}}},
        {"star", {{20, 2}, {31, 37}, {2, 15}, {38, 15}, {9, 37}}},
        {"bowtie", {{4, 4}, {36, 30}, {36, 4}, {4, 30}}},
        {"bowtie-flat", {{2, 10}, {38, 10}, {2, 30}, {38, 30}}},
        {"overlap-twice", {{5, 5}, {35, 5}, {35, 35}, {5, 35}, {5, 10}, {30, 10}, {30, 30}, {10, 30}, {10, 5}}},
        {"horizontal-steps", {{2, 2}, {12, 2}, {12, 10}, {24, 10}, {24, 20}, {36, 20}, {36, 36}, {2, 36}}},
        {"colinear", {{2, 2}, {10, 10}, {20, 20}}},
        {"two-points", {{3, 30}, {35, 9}}},
        {"repeated-point", {{5, 5}, {5, 5}, {30, 8}, {30, 8}, {12, 33}}},
        {"sliver", {{2, 20}, {38, 21}, {2, 22}}},
        {"clipped-left", {{-20, 5}, {20, 10}, {-5, 35}}},
        {"clipped-top", {{5, -15}, {35, -3}, {20, 25}}},
        {"clipped-right", {{30, 5}, {60, 20}, {25, 35}}},
        {"clipped-bottom", {{4, 30}, {36, 33}, {18, 70}}},
        {"clipped-all", {{-30, -20}, {70, -10}, {60, 60}, {-20, 70}}},
        {"clipped-far", {{-100000, 20}, {20, -100000}, {100000, 20}, {20, 100000}}},
        {"outside", {{-30, -30}, {-5, -30}, {-5, -5}}},
    };
    for (const auto& [name, shape] : shapes)
        cases.push_back({std::string("polygon/") + name, 40, 40, [shape = shape](Context& c) { c.Poly(shape); }});
    // Small triangles like the chart's markers, and larger random polygons.
    Random r{11};
    for (int i = 0; i < 200; ++i) {
        Shape s;
        std::string name = "polygon/small";
        for (int k = 0; k < 3; ++k) {
            s.push_back(POINT{r.Next(0, 12), r.Next(0, 12)});
            name.append("/").append(Pair(s.back().x, s.back().y));
        }
        cases.push_back({name, 16, 16, [s](Context& c) { c.Poly(s); }});
    }
    for (int i = 0; i < 150; ++i) {
        Shape s;
        std::string name = "polygon/random";
        const int n = r.Next(3, 8);
        for (int k = 0; k < n; ++k) {
            s.push_back(POINT{r.Next(-12, 60), r.Next(-12, 60)});
            name.append("/").append(Pair(s.back().x, s.back().y));
        }
        cases.push_back({name, 48, 48, [s](Context& c) { c.Poly(s); }});
    }
}

void AddEllipses(std::vector<Case>& cases) {
    for (int w = 1; w <= 40; ++w)
        for (int h = 1; h <= 40; ++h)
            cases.push_back(
                {"ellipse/size/" + Str(w) + "x" + Str(h), 48, 48, [=](Context& c) { c.Oval(3, 4, 3 + w, 4 + h); }});
    const int boxes[][4] = {
        {-50, -30, 150, 130},   {10, 10, 300, 60},         {-200, 40, 90, 50},      {20, -300, 70, 90},
        {0, 0, 96, 96},         {-1, -1, 97, 97},          {1, 1, 95, 95},          {-7, 10, 20, 40},
        {50, -9, 90, 30},       {80, 60, 120, 100},        {30, 85, 60, 130},       {-40, -40, 10, 10},
        {-300, -300, 400, 400}, {40, -1000, 60, 1000},     {-1000, 40, 1000, 60},   {3, 5, 93, 11},
        {5, 3, 11, 93},         {-100000, 30, 100000, 70}, {20, -50000, 76, 50000}, {-30000, -30000, 30000, 30000}};
    for (const auto& b : boxes)
        cases.push_back({"ellipse/large/" + Quad(b[0], b[1], b[2], b[3]), 96, 96,
                         [=](Context& c) { c.Oval(b[0], b[1], b[2], b[3]); }});
    // Corners given in the other order.
    const int inverted[][4] = {{30, 25, 5, 3}, {5, 25, 30, 3}, {30, 3, 5, 25}, {20, 20, 20, 30}, {20, 20, 30, 20}};
    for (const auto& b : inverted)
        cases.push_back({"ellipse/inverted/" + Quad(b[0], b[1], b[2], b[3]), 40, 40,
                         [=](Context& c) { c.Oval(b[0], b[1], b[2], b[3]); }});
    for (int i = 1; i <= 8; ++i)
        cases.push_back({"ellipse/pen0/" + Str(3 * i), 40, 40, [=](Context& c) {
                             SelectObject(c.dc, c.objects.pen0);
                             c.Oval(4, 4, 4 + 3 * i, 4 + 4 * i);
                         }});
}

void AddRectangles(std::vector<Case>& cases) {
    const int boxes[][4] = {{5, 6, 30, 20},
                            {5, 6, 5, 20},
                            {5, 6, 30, 6},
                            {5, 6, 6, 7},
                            {5, 6, 7, 8},
                            {5, 6, 8, 9},
                            {5, 6, 6, 20},
                            {5, 6, 7, 20},
                            {5, 6, 8, 20},
                            {5, 6, 30, 7},
                            {5, 6, 30, 8},
                            {5, 6, 30, 9},
                            {30, 20, 5, 6},
                            {30, 6, 5, 20},
                            {5, 20, 30, 6},
                            {6, 7, 5, 6},
                            {-5, 10, 20, 30},
                            {10, -5, 30, 20},
                            {20, 10, 50, 30},
                            {10, 20, 30, 50},
                            {-5, -5, 45, 45},
                            {0, 0, 40, 40},
                            {-1, -1, 41, 41},
                            {39, 39, 40, 40},
                            {39, 10, 41, 20},
                            {-1, 10, 1, 20},
                            {-2, 10, 0, 20},
                            {40, 10, 42, 20},
                            {-2000000000, 5, 2000000000, 2000000000}};
    for (const auto& b : boxes)
        cases.push_back(
            {"rectangle/" + Quad(b[0], b[1], b[2], b[3]), 40, 40, [=](Context& c) { c.Box(b[0], b[1], b[2], b[3]); }});
    Random r{13};
    for (int i = 0; i < 100; ++i) {
        const int l = r.Next(-10, 50), t = r.Next(-10, 50), rr = r.Next(-10, 50), b = r.Next(-10, 50);
        cases.push_back({"rectangle/random/" + Quad(l, t, rr, b), 40, 40, [=](Context& c) { c.Box(l, t, rr, b); }});
    }
    cases.push_back({"rectangle/pen0", 40, 40, [](Context& c) {
                         SelectObject(c.dc, c.objects.pen0);
                         c.Box(3, 4, 20, 30);
                         c.Box(25, 5, 26, 6);
                         c.Box(30, 30, 33, 33);
                     }});
}

void AddFills(std::vector<Case>& cases) {
    const int boxes[][4] = {{5, 6, 30, 20},   {5, 6, 5, 20},    {5, 6, 30, 6},
                            {5, 6, 6, 7},     {30, 6, 5, 20},   {5, 20, 30, 6},
                            {30, 20, 5, 6},   {6, 6, 5, 7},     {5, 7, 6, 6},
                            {-5, -5, 20, 20}, {20, 20, 50, 50}, {50, 50, 20, 20},
                            {20, -5, -5, 20}, {0, 0, 40, 40},   {-2000000000, -2000000000, 2000000000, 3},
                            {45, 10, 39, 20}, {10, 45, 20, 39}, {2000000000, 10, -2000000000, 20}};
    for (const auto& b : boxes)
        cases.push_back(
            {"fillrect/" + Quad(b[0], b[1], b[2], b[3]), 40, 40, [=](Context& c) { c.Fill(b[0], b[1], b[2], b[3]); }});
    Random r{17};
    for (int i = 0; i < 100; ++i) {
        const int l = r.Next(-10, 50), t = r.Next(-10, 50), rr = r.Next(-10, 50), b = r.Next(-10, 50);
        cases.push_back({"fillrect/random/" + Quad(l, t, rr, b), 40, 40, [=](Context& c) { c.Fill(l, t, rr, b); }});
    }
}

void AddPixels(std::vector<Case>& cases) {
    cases.push_back({"setpixel/pattern", 32, 32, [](Context& c) {
                         Random r{19};
                         for (int i = 0; i < 300; ++i) {
                             const int x = r.Next(-3, 34), y = r.Next(-3, 34);
                             const int red = r.Next(0, 255), green = r.Next(0, 255), blue = r.Next(0, 255);
                             c.Pixel(x, y, RGB(red, green, blue));
                         }
                     }});
    cases.push_back({"setpixel/corners", 32, 32, [](Context& c) {
                         for (const auto& p : {std::pair{0, 0}, std::pair{31, 0}, std::pair{0, 31}, std::pair{31, 31},
                                               std::pair{-1, 5}, std::pair{32, 5}, std::pair{5, -1}, std::pair{5, 32}})
                             c.Pixel(p.first, p.second, kPen);
                         c.Pixel(-2147483647 - 1, 2147483647, kPen);
                     }});
}

// Text cells only: ink and background share one colour, so the cells and
// opaque rectangles show but the glyphs, which differ with the renderer, do not.
void AddText(std::vector<Case>& cases) {
    const int heights[] = {-9, -10, -11, -12, -13, -14, -16, -20, -32};
    const char* strings[] = {"x", "Hi", "12.50", "Hello, world"};  // no glyph leaves its cell
    const std::pair<const char*, UINT> aligns[] = {{"left-top", TA_LEFT | TA_TOP},
                                                   {"center", TA_CENTER},
                                                   {"right", TA_RIGHT},
                                                   {"bottom", TA_BOTTOM},
                                                   {"center-bottom", TA_CENTER | TA_BOTTOM},
                                                   {"right-bottom", TA_RIGHT | TA_BOTTOM},
                                                   {"baseline", TA_BASELINE},
                                                   {"center-baseline", TA_CENTER | TA_BASELINE}};
    for (const int height : heights)
        for (const char* s : strings)
            for (const auto& [alignName, align] : aligns)
                cases.push_back(
                    {"text/cell/" + Str(-height) + "/" + alignName + "/" + s, 128, 48, [=, align = align](Context& c) {
                         SelectObject(c.dc, c.objects.fonts.at(height));
                         SetTextAlign(c.dc, align);
                         c.Text(64, 24, 0, nullptr, s);
                     }});
    // ETO_OPAQUE rectangles: alone, with the text cell in opaque mode, and
    // with the glyphs clipped to them in transparent mode.
    const int rects[][4] = {{10, 5, 100, 30}, {70, 20, 75, 22}, {-5, -5, 200, 60}, {40, 10, 30, 40}, {50, 20, 50, 40}};
    for (const int height : {-11, -13, -16})
        for (const auto& q : rects)
            for (const auto& [mode, modeName] : {std::pair{OPAQUE, "opaque"}, std::pair{TRANSPARENT, "transparent"}})
                for (const auto& [options, optionsName] :
                     {std::pair{ETO_OPAQUE, "eto-opaque"}, std::pair{ETO_OPAQUE | ETO_CLIPPED, "eto-opaque-clipped"}}) {
                    if (mode == TRANSPARENT && !(options & ETO_CLIPPED))
                        continue;  // glyphs outside the rectangle would show
                    cases.push_back({std::string("text/rect/") + Str(-height) + "/" + modeName + "/" + optionsName +
                                         "/" + Quad(q[0], q[1], q[2], q[3]),
                                     128, 48, [=, mode = mode, options = options](Context& c) {
                                         SelectObject(c.dc, c.objects.fonts.at(height));
                                         SetBkMode(c.dc, mode);
                                         SetTextAlign(c.dc, TA_BOTTOM);
                                         const RECT r{q[0], q[1], q[2], q[3]};
                                         c.Text(60, 30, options, &r, "Wage 42");
                                     }});
                }
    cases.push_back({"text/rect/empty-string", 64, 32, [](Context& c) {
                         const RECT r{5, 6, 40, 20};
                         c.Text(10, 10, ETO_OPAQUE, &r, "");
                     }});
}

std::vector<Case> AllCases() {
    std::vector<Case> cases;
    AddLines(cases);
    AddPolygons(cases);
    AddEllipses(cases);
    AddRectangles(cases);
    AddFills(cases);
    AddPixels(cases);
    AddText(cases);
    return cases;
}

HFONT MakeFont(int height) {
    LOGFONTA f{};
    f.lfHeight = height;
    f.lfWeight = height == -32 ? FW_MEDIUM : FW_NORMAL;
    f.lfCharSet = ANSI_CHARSET;
    f.lfOutPrecision = OUT_STROKE_PRECIS;
    f.lfClipPrecision = CLIP_STROKE_PRECIS;
    f.lfQuality = DRAFT_QUALITY;
    f.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    std::strcpy(f.lfFaceName, "DejaVu Sans Mono");
    return CreateFontIndirectA(&f);
}

void Put32(std::FILE* f, std::uint32_t v) {
    std::fwrite(&v, 4, 1, f);
}

int Draw(const char* path) {
    std::FILE* out = std::fopen(path, "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "cannot write %s\n", path);
        return 2;
    }
    Objects objects{};
    objects.pen1 = CreatePen(PS_SOLID, 1, kPen);
    objects.pen0 = CreatePen(PS_SOLID, 0, kPen);
    LOGBRUSH lb{BS_SOLID, kBrush, 0};
    objects.brush = CreateBrushIndirect(&lb);
    lb.lbColor = kBackground;
    objects.background = CreateBrushIndirect(&lb);
    for (const int h : {-9, -10, -11, -12, -13, -14, -16, -20, -32})
        objects.fonts[h] = MakeFont(h);

#ifdef _WIN32
    HDC screen = GetDC(nullptr);  // a memory DC's own bitmap is monochrome
#else
    HDC screen = nullptr;
#endif
    HDC dc = CreateCompatibleDC(screen);
    std::fwrite("GDIDUMP1", 8, 1, out);
    std::vector<std::uint32_t> pixels;
    for (const Case& k : AllCases()) {
        HBITMAP bitmap = CreateCompatibleBitmap(screen, k.width, k.height);
        HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
        const RECT all{0, 0, k.width, k.height};
        FillRect(dc, &all, objects.background);
        HGDIOBJ oldPen = SelectObject(dc, objects.pen1);
        HGDIOBJ oldBrush = SelectObject(dc, objects.brush);
        HGDIOBJ oldFont = SelectObject(dc, objects.fonts.at(-13));
        SetTextColor(dc, kText);
        SetBkColor(dc, kText);
        SetBkMode(dc, OPAQUE);
        SetTextAlign(dc, TA_LEFT | TA_TOP);
        MoveToEx(dc, 0, 0, nullptr);

        Context context{dc, objects};
        k.draw(context);

        SelectObject(dc, oldPen);
        SelectObject(dc, oldBrush);
        SelectObject(dc, oldFont);
        SelectObject(dc, oldBitmap);  // GetDIBits wants the bitmap out of any DC
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = k.width;
        info.bmiHeader.biHeight = -k.height;  // top row first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        pixels.assign(static_cast<std::size_t>(k.width) * k.height, 0);
        if (GetDIBits(dc, bitmap, 0, k.height, pixels.data(), &info, DIB_RGB_COLORS) != k.height)
            std::fprintf(stderr, "%s: GetDIBits failed\n", k.name.c_str());
        DeleteObject(bitmap);

        Put32(out, static_cast<std::uint32_t>(k.name.size()));
        std::fwrite(k.name.data(), 1, k.name.size(), out);
        Put32(out, static_cast<std::uint32_t>(context.calls));
        Put32(out, static_cast<std::uint32_t>(k.width));
        Put32(out, static_cast<std::uint32_t>(k.height));
        for (std::uint32_t& p : pixels)
            p &= 0x00FFFFFF;
        std::fwrite(pixels.data(), 4, pixels.size(), out);
    }
    DeleteDC(dc);
#ifdef _WIN32
    ReleaseDC(nullptr, screen);
#endif
    for (const auto& [h, font] : objects.fonts)
        DeleteObject(font);
    DeleteObject(objects.pen1);
    DeleteObject(objects.pen0);
    DeleteObject(objects.brush);
    DeleteObject(objects.background);
    return std::fclose(out) == 0 ? 0 : 2;
}

// ---------------------------------------------------------------- comparing

struct Record {
    std::string name;
    std::uint32_t calls = 0, width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
};

bool Read(const char* path, std::vector<Record>& records) {
    std::FILE* in = std::fopen(path, "rb");
    if (in == nullptr)
        return false;
    char magic[8];
    bool ok = std::fread(magic, 8, 1, in) == 1 && std::memcmp(magic, "GDIDUMP1", 8) == 0;
    const auto get = [&](std::uint32_t& v) { return std::fread(&v, 4, 1, in) == 1; };
    std::uint32_t length = 0;
    while (ok && get(length)) {
        Record r;
        r.name.resize(length);
        ok = length < 4096 && std::fread(r.name.data(), 1, length, in) == length && get(r.calls) && get(r.width) &&
             get(r.height) && r.width <= 4096 && r.height <= 4096;
        if (!ok)
            break;
        r.pixels.resize(static_cast<std::size_t>(r.width) * r.height);
        ok = std::fread(r.pixels.data(), 4, r.pixels.size(), in) == r.pixels.size();
        records.push_back(std::move(r));
    }
    std::fclose(in);
    return ok;
}

char Symbol(std::uint32_t p) {
    const auto pixel = [](COLORREF c) {
        return (std::uint32_t{GetRValue(c)} << 16) | (std::uint32_t{GetGValue(c)} << 8) | GetBValue(c);
    };
    if (p == pixel(kBackground))
        return '.';
    if (p == pixel(kPen))
        return 'P';
    if (p == pixel(kBrush))
        return 'B';
    if (p == pixel(kText))
        return 'T';
    return '?';
}

// Where the Windows side is Wine and Wine is known to draw otherwise than
// Windows. A difference in a case whose name starts with `prefix` is
// Wine's own when `explains` accepts every differing pixel; it is listed but
// does not fail the comparison.
struct Deviation {
    const char* prefix;
    bool (*explains)(const Record& ours, const Record& theirs, std::size_t at);
    const char* evidence;
};

bool RowHasPen(const Record& r, std::size_t at) {
    const std::size_t row = at / r.width * r.width;
    for (std::size_t i = row; i < row + r.width; ++i)
        if (Symbol(r.pixels[i]) == 'P')
            return true;
    return false;
}

const Deviation kWineDeviations[] = {
    // Wine fills an ellipse with the region CreateRoundRectRgn makes
    // (dlls/win32u/region.c, NtGdiCreateRoundRectRgn), which writes only the
    // rows its loop reaches and leaves the rest of its rectangle array as
    // allocated: for a narrow ellipse, whose outline stops short of its box,
    // the rows past the outline's ends get whatever the memory held. Here
    // that is brush outside the ellipse's box or across the whole bitmap,
    // changing from run to run; Windows bounds an ellipse by its box. No
    // case in Wine's dlls/gdi32/tests draws an Ellipse to check against.
    {"ellipse/",
     [](const Record& ours, const Record& theirs, std::size_t at) {
         return Symbol(ours.pixels[at]) == '.' && Symbol(theirs.pixels[at]) == 'B' && !RowHasPen(theirs, at);
     },
     "Wine's uninitialised interior rows past a narrow ellipse's tips"},
};

const Deviation* KnownDeviation(const Record& ours, const Record& theirs) {
    for (const Deviation& d : kWineDeviations) {
        if (ours.name.rfind(d.prefix, 0) != 0)
            continue;
        bool all = true;
        for (std::size_t i = 0; all && i < ours.pixels.size(); ++i)
            all = ours.pixels[i] == theirs.pixels[i] || d.explains(ours, theirs, i);
        if (all)
            return &d;
    }
    return nullptr;
}

// Both pictures side by side, differing pixels in lower case.
void Show(const Record& a, const Record& b) {
    std::printf("  %s: ours | theirs\n", a.name.c_str());
    for (std::uint32_t y = 0; y < a.height; ++y) {
        std::string left, right;
        for (std::uint32_t x = 0; x < a.width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * a.width + x;
            const bool differs = a.pixels[i] != b.pixels[i];
            const auto mark = [&](char c) {
                return !differs ? c : c == '.' ? '_' : c == '?' ? '!' : static_cast<char>(c + 32);
            };
            left += mark(Symbol(a.pixels[i]));
            right += mark(Symbol(b.pixels[i]));
        }
        std::printf("  %s | %s\n", left.c_str(), right.c_str());
    }
}

std::string KindOf(const std::string& name) {
    return name.substr(0, name.find('/'));
}

int Compare(const char* oursPath, const char* theirsPath, int show) {
    std::vector<Record> ours, theirs;
    if (!Read(oursPath, ours) || !Read(theirsPath, theirs)) {
        std::printf("cannot read %s or %s\n", oursPath, theirsPath);
        return 2;
    }
    if (ours.size() != theirs.size()) {
        std::printf("%zu cases against %zu\n", ours.size(), theirs.size());
        return 2;
    }
    struct Tally {
        int cases = 0, calls = 0, differing = 0, known = 0;
    };
    std::map<std::string, Tally> kinds;
    Tally total;
    for (std::size_t i = 0; i < ours.size(); ++i) {
        const Record &a = ours[i], &b = theirs[i];
        if (a.name != b.name || a.width != b.width || a.height != b.height || a.calls != b.calls) {
            std::printf("case %zu differs in kind: %s against %s\n", i, a.name.c_str(), b.name.c_str());
            return 2;
        }
        Tally& kind = kinds[KindOf(a.name)];
        ++kind.cases;
        kind.calls += static_cast<int>(a.calls);
        std::size_t count = 0;
        for (std::size_t p = 0; p < a.pixels.size(); ++p)
            count += a.pixels[p] != b.pixels[p];
        if (count == 0)
            continue;
        if (const Deviation* d = KnownDeviation(a, b)) {
            ++kind.known;
            std::printf("KNOWN %s: %zu pixels (%s)\n", a.name.c_str(), count, d->evidence);
            continue;
        }
        ++kind.differing;
        std::printf("DIFF  %s: %zu pixels\n", a.name.c_str(), count);
        if (show-- > 0)
            Show(a, b);
    }
    std::printf("%-10s %7s %10s %9s %6s\n", "kind", "cases", "primitives", "differing", "known");
    for (const auto& [name, t] : kinds) {
        std::printf("%-10s %7d %10d %9d %6d\n", name.c_str(), t.cases, t.calls, t.differing, t.known);
        total.cases += t.cases;
        total.calls += t.calls;
        total.differing += t.differing;
        total.known += t.known;
    }
    std::printf("%-10s %7d %10d %9d %6d\n", "all", total.cases, total.calls, total.differing, total.known);
    return total.differing == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && argv[1][0] != '-')
        return Draw(argv[1]);
    if ((argc == 4 || argc == 6) && std::strcmp(argv[1], "--compare") == 0) {
        int show = 0;
        if (argc == 6 && std::strcmp(argv[4], "--show") == 0)
            show = std::atoi(argv[5]);
        return Compare(argv[2], argv[3], show);
    }
    std::fprintf(stderr, "usage: %s DUMP | --compare OURS THEIRS [--show N]\n", argv[0]);
    return 2;
}
