// The pixel work of GDI: lines, single pixels, polygons, ellipses, rectangles,
// rectangle fills and block transfers, with GDI's choice of pixels.
//
// Every primitive is clipped to the DC before it is rasterised, in a way that
// leaves the pixels inside the clip exactly as the unclipped primitive would
// set them; the cost depends on the visible part only, so a coordinate of two
// billion costs no more than one on the bitmap. Coordinates are the full int
// range; products that can exceed 64 bits are formed in 128 bits.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/gdi_internal.h"

namespace platform {
namespace {

using i64 = std::int64_t;
using i128 = __int128;
using u128 = unsigned __int128;

// Floor and ceiling of n / d for d > 0.
i128 FloorDiv(i128 n, i128 d) {
    i128 q = n / d;
    if ((n % d) != 0 && n < 0)
        --q;
    return q;
}
i128 CeilDiv(i128 n, i128 d) {
    i128 q = n / d;
    if ((n % d) != 0 && n > 0)
        ++q;
    return q;
}

struct Box {  // half-open rectangle in logical coordinates, 64-bit
    i64 left, top, right, bottom;
    bool Empty() const { return left >= right || top >= bottom; }
};

Box ClipOf(const HDC__& dc) {
    const RECT r = DeviceClip(dc);
    return Box{r.left, r.top, r.right, r.bottom};
}

// Row y to draw into.
std::uint32_t* Row(HDC__& dc, i64 y) {
    return dc.surface->PixelsToDraw() + static_cast<std::size_t>(y + dc.originY) * dc.surface->width + dc.originX;
}

// Row y to read, which leaves the surface as it is: several threads may read
// one surface at once.
const std::uint32_t* RowToRead(const HDC__& dc, i64 y) {
    return dc.surface->pixels.data() + static_cast<std::size_t>(y + dc.originY) * dc.surface->width + dc.originX;
}

// Fills [x0, x1) of row y, clipped.
void Span(HDC__& dc, const Box& clip, i64 y, i64 x0, i64 x1, std::uint32_t pixel) {
    if (y < clip.top || y >= clip.bottom)
        return;
    x0 = std::max(x0, clip.left);
    x1 = std::min(x1, clip.right);
    if (x0 >= x1)
        return;
    std::uint32_t* row = Row(dc, y);
    std::fill(row + x0, row + x1, pixel);
}

// Fills [l, r) x [t, b), clipped.
void Fill(HDC__& dc, const Box& clip, i64 l, i64 t, i64 r, i64 b, std::uint32_t pixel) {
    t = std::max(t, clip.top);
    b = std::min(b, clip.bottom);
    for (i64 y = t; y < b; ++y)
        Span(dc, clip, y, l, r, pixel);
}

// ------------------------------------------------------------------- lines

// A 1-pixel solid line from (x0, y0) to (x1, y1), start included, end
// excluded. The major axis takes |dmajor| unit steps; the minor axis steps when
// error + bias > 0. The minor offset of pixel k has the closed form
//   s(k) = floor((2k|dminor| + |dmajor| - 1 + bias) / (2|dmajor|)),
// which lets the visible run of k be found directly and the error term be
// started at its unclipped value.
void PlotLine(HDC__& dc, const Box& clip, i64 x0, i64 y0, i64 x1, i64 y1, std::uint32_t pixel) {
    const i64 dx = x1 - x0;
    const i64 dy = y1 - y0;
    if ((dx == 0 && dy == 0) || clip.Empty())
        return;
    const i64 adx = dx < 0 ? -dx : dx;
    const i64 ady = dy < 0 ? -dy : dy;
    const bool xMajor = adx > ady;  // a 45-degree line steps along y
    // GDI's tie-breaking: the octants pointing up-left, up-right (x major),
    // down-left (y major) and up (x leftwards) step the minor axis on a tie.
    const int bias = dy > 0 ? (dx <= 0 && !xMajor ? 1 : 0) : (dx < 0 || xMajor ? 1 : 0);

    const i64 dMaj = xMajor ? adx : ady;
    const i64 dMin = xMajor ? ady : adx;
    const i64 m0 = xMajor ? x0 : y0;
    const i64 n0 = xMajor ? y0 : x0;
    const i64 sMaj = (xMajor ? dx : dy) < 0 ? -1 : 1;
    const i64 sMin = (xMajor ? dy : dx) < 0 ? -1 : 1;
    const i64 mLo = xMajor ? clip.left : clip.top;
    const i64 mHi = (xMajor ? clip.right : clip.bottom) - 1;
    const i64 nLo = xMajor ? clip.top : clip.left;
    const i64 nHi = (xMajor ? clip.bottom : clip.right) - 1;

    // Pixel indices k whose major coordinate is visible.
    i64 kLo = 0, kHi = dMaj - 1;
    if (sMaj > 0) {
        kLo = std::max(kLo, mLo - m0);
        kHi = std::min(kHi, mHi - m0);
    } else {
        kLo = std::max(kLo, m0 - mHi);
        kHi = std::min(kHi, m0 - mLo);
    }
    if (kLo > kHi)
        return;
    // Minor offsets s whose minor coordinate is visible.
    const i64 sLo = sMin > 0 ? nLo - n0 : n0 - nHi;
    const i64 sHi = sMin > 0 ? nHi - n0 : n0 - nLo;
    if (dMin == 0) {
        if (sLo > 0 || sHi < 0)
            return;
        // Axis-aligned (the ribbon's columns, grids, frames): the minor
        // coordinate never moves, so the visible run is filled directly.
        const i64 mFirst = m0 + sMaj * kLo;
        const i64 mLast = m0 + sMaj * kHi;
        const i64 lo = std::min(mFirst, mLast);
        const i64 hi = std::max(mFirst, mLast);
        if (xMajor) {
            std::uint32_t* row = Row(dc, n0);
            std::fill(row + lo, row + hi + 1, pixel);
        } else {
            const std::size_t stride = static_cast<std::size_t>(dc.surface->width);
            std::uint32_t* at = Row(dc, lo) + n0;
            for (i64 y = lo; y <= hi; ++y, at += stride)
                *at = pixel;
        }
        return;
    } else {
        const i128 twoMaj = static_cast<i128>(2) * dMaj;
        const i128 twoMin = static_cast<i128>(2) * dMin;
        // s(k) >= sLo  <=>  k >= ceil((2 dMaj sLo - dMaj + 1 - bias) / (2 dMin))
        const i128 first = CeilDiv(twoMaj * sLo - dMaj + 1 - bias, twoMin);
        // s(k) <= sHi  <=>  k <= floor((2 dMaj sHi + dMaj - bias) / (2 dMin))
        const i128 last = FloorDiv(twoMaj * sHi + dMaj - bias, twoMin);
        if (first > kLo)
            kLo = static_cast<i64>(std::min<i128>(first, static_cast<i128>(kHi) + 1));
        if (last < kHi)
            kHi = static_cast<i64>(std::max<i128>(last, static_cast<i128>(kLo) - 1));
        if (kLo > kHi)
            return;
    }

    const i128 s = FloorDiv(static_cast<i128>(2) * kLo * dMin + dMaj - 1 + bias, static_cast<i128>(2) * dMaj);
    i64 err = static_cast<i64>(static_cast<i128>(2) * dMin * (kLo + 1) - dMaj - static_cast<i128>(2) * dMaj * s);
    i64 m = m0 + sMaj * kLo;
    i64 n = n0 + sMin * static_cast<i64>(s);
    const i64 stepMin = 2 * dMin;
    const i64 stepBoth = 2 * dMin - 2 * dMaj;
    const std::size_t width = static_cast<std::size_t>(dc.surface->width);
    std::uint32_t* const pixels = dc.surface->PixelsToDraw();
    for (i64 k = kLo; k <= kHi; ++k) {
        const i64 x = xMajor ? m : n;
        const i64 y = xMajor ? n : m;
        pixels[static_cast<std::size_t>(y + dc.originY) * width + static_cast<std::size_t>(x + dc.originX)] = pixel;
        if (err + bias > 0) {
            n += sMin;
            err += stepBoth;
        } else {
            err += stepMin;
        }
        m += sMaj;
    }
}

// ----------------------------------------------------------------- polygons

// ALTERNATE fill sampled at pixel centres (integer coordinates): on row y an
// edge from ya to yb (ya < yb) counts when ya <= y < yb, and the pixels from the
// ceiling of one crossing up to, not including, the ceiling of the next are
// inside. Only the visible rows are visited.
void FillPolygon(HDC__& dc, const Box& clip, const POINT* pts, int count, std::uint32_t pixel) {
    i64 yMin = pts[0].y, yMax = pts[0].y;
    for (int i = 1; i < count; ++i) {
        yMin = std::min<i64>(yMin, pts[i].y);
        yMax = std::max<i64>(yMax, pts[i].y);
    }
    const i64 rowFirst = std::max(yMin, clip.top);
    const i64 rowLast = std::min(yMax - 1, clip.bottom - 1);
    std::vector<i64> crossings;
    for (i64 y = rowFirst; y <= rowLast; ++y) {
        crossings.clear();
        for (int i = 0; i < count; ++i) {
            const POINT& p = pts[i];
            const POINT& q = pts[(i + 1) % count];
            if (p.y == q.y)
                continue;
            const POINT& lo = p.y < q.y ? p : q;
            const POINT& hi = p.y < q.y ? q : p;
            if (y < lo.y || y >= hi.y)
                continue;
            const i128 den = static_cast<i128>(hi.y) - lo.y;
            const i128 num =
                static_cast<i128>(lo.x) * den + static_cast<i128>(y - lo.y) * (static_cast<i128>(hi.x) - lo.x);
            i128 x = CeilDiv(num, den);
            // Crossings beyond the clip only need to stay beyond it.
            x = std::clamp<i128>(x, clip.left - 1, clip.right + 1);
            crossings.push_back(static_cast<i64>(x));
        }
        std::sort(crossings.begin(), crossings.end());
        for (std::size_t i = 0; i + 1 < crossings.size(); i += 2)
            Span(dc, clip, y, crossings[i], crossings[i + 1], pixel);
    }
}

// ----------------------------------------------------------------- ellipses
//
// The outline follows the published integer ellipse algorithm on the
// diameters a = w - 1 and b = h - 1: one quadrant is traced from (a, h / 2)
// (box coordinates) to the bottom, x falling and y rising, and mirrored into
// the other three. In doubled coordinates u = 2x - a, v = 2y - b with
// F(u, v) = b^2 u^2 + a^2 v^2 - a^2 b^2, one iteration at (x, y) steps
//   x when F(u - 1, v + 2) + b^2 >= 0   ("column test", true for y >= sCol(x)),
//   y when F(u - 2, v + 1) + a^2 <= 0   ("row test", true for x in rowRange(y)),
// both decided before either step is taken; it runs while x >= w / 2. Tracing
// whole column runs and row runs at once, and jumping over the invisible
// part where the runs are known in closed form, keeps the cost proportional
// to the visible rows.

u128 SqrtFloor(u128 n) {
    if (n == 0)
        return 0;
    u128 r = static_cast<u128>(std::sqrt(static_cast<long double>(n)));
    const u128 maxRoot = (static_cast<u128>(1) << 64) - 1;
    if (r > maxRoot)
        r = maxRoot;
    while (r * r > n)
        --r;
    while (r < maxRoot && (r + 1) * (r + 1) <= n)
        ++r;
    return r;
}

struct EllipseGeometry {
    i64 a, b;    // diameters in pixels (width - 1, height - 1)
    i64 halfW;   // the quadrant's columns are x >= halfW
    i64 mid;     // the quadrant's first row
    i64 xSteep;  // columns x >= xSteep: column thresholds rise by >= 1 per column
    i64 yFlat;   // rows y >= yFlat: row range ends fall by >= 1 per row

    i128 Q(i64 x) const {
        const i128 c = static_cast<i128>(2) * x - a - 1;
        return static_cast<i128>(a) * a - 1 - c * c;
    }
    i128 P(i64 y) const {
        const i128 c = static_cast<i128>(2) * y - b + 1;
        return static_cast<i128>(b) * b - 1 - c * c;
    }
    // Smallest y for which the column test holds at column x.
    i64 SCol(i64 x) const {
        const i128 q = Q(x);
        if (q <= 0)
            return std::numeric_limits<i64>::min();
        const u128 n = static_cast<u128>(b) * static_cast<u128>(b) * static_cast<u128>(q);
        u128 root = SqrtFloor(n);
        if (root * root < n)
            ++root;                                             // ceiling of the square root
        const i128 wMin = CeilDiv(static_cast<i128>(root), a);  // smallest 2y + 2 - b
        return static_cast<i64>(CeilDiv(wMin + b - 2, 2));
    }
    bool ColumnTest(i64 x, i64 y) const { return y >= SCol(x); }
    // Columns for which the row test holds at row y; empty when lo > hi.
    void RowRange(i64 y, i64& lo, i64& hi) const {
        const i128 p = P(y);
        if (p < 0 || b == 0) {
            lo = 1;
            hi = 0;
            return;
        }
        const u128 m = static_cast<u128>(a) * static_cast<u128>(a) * static_cast<u128>(p);
        const i128 zMax = static_cast<i128>(SqrtFloor(m) / static_cast<u128>(b));
        lo = static_cast<i64>(CeilDiv(static_cast<i128>(a) + 2 - zMax, 2));
        hi = static_cast<i64>(FloorDiv(static_cast<i128>(a) + 2 + zMax, 2));
    }
    bool RowTest(i64 x, i64 y) const {
        i64 lo, hi;
        RowRange(y, lo, hi);
        return x >= lo && x <= hi;
    }
    // The column threshold's slope is at least 1 at x.
    bool Steep(i64 x) const {
        const i128 q = Q(x);
        if (q <= 0)
            return true;
        const i128 c = static_cast<i128>(2) * x - a - 1;
        if (c < 0)
            return false;
        const u128 bb = static_cast<u128>(b) * static_cast<u128>(b);
        const u128 aa = static_cast<u128>(a) * static_cast<u128>(a);
        return bb * static_cast<u128>(c * c) >= aa * static_cast<u128>(q);
    }
    // The row range's end moves by at least 1 per row at y.
    bool Flat(i64 y) const {
        const i128 p = P(y);
        if (p <= 0)
            return true;
        const i128 c = static_cast<i128>(2) * y - b + 1;
        if (c < 0)
            return false;
        const u128 bb = static_cast<u128>(b) * static_cast<u128>(b);
        const u128 aa = static_cast<u128>(a) * static_cast<u128>(a);
        return aa * static_cast<u128>(c * c) >= bb * static_cast<u128>(p);
    }
};

// The first value in [lo, hi) where a monotone predicate holds; hi if none.
template <typename Predicate>
i64 FirstTrue(i64 lo, i64 hi, Predicate holds) {
    while (lo < hi) {
        const i64 m = lo + (hi - lo) / 2;
        if (holds(m))
            hi = m;
        else
            lo = m + 1;
    }
    return lo;
}

EllipseGeometry MakeGeometry(i64 width, i64 height) {
    EllipseGeometry g{};
    g.a = width - 1;
    g.b = height - 1;
    g.halfW = width / 2;
    g.mid = height / 2;
    // Both predicates are monotone over the quadrant.
    g.xSteep = FirstTrue(g.halfW, g.a + 1, [&](i64 x) { return g.Steep(x); });
    g.yFlat = FirstTrue(g.mid, g.b + 1, [&](i64 y) { return g.Flat(y); });
    return g;
}

// For quadrant rows y0 .. y1: the quadrant outline's leftmost and rightmost
// column in that row (box coordinates; xMin > xMax when the row is not met).
struct QuadrantRows {
    i64 y0 = 0, y1 = -1;
    std::vector<i64> xMin, xMax;
    void Reset(i64 first, i64 last) {
        y0 = first;
        y1 = last;
        const std::size_t n = last >= first ? static_cast<std::size_t>(last - first + 1) : 0;
        xMin.assign(n, std::numeric_limits<i64>::max());
        xMax.assign(n, std::numeric_limits<i64>::min());
    }
    bool Has(i64 y) const { return y >= y0 && y <= y1; }
    void AddColumn(i64 x, i64 from, i64 to) {
        from = std::max(from, y0);
        to = std::min(to, y1);
        for (i64 y = from; y <= to; ++y) {
            const auto i = static_cast<std::size_t>(y - y0);
            xMin[i] = std::min(xMin[i], x);
            xMax[i] = std::max(xMax[i], x);
        }
    }
    void AddRow(i64 y, i64 from, i64 to) {
        if (!Has(y))
            return;
        const auto i = static_cast<std::size_t>(y - y0);
        xMin[i] = std::min(xMin[i], from);
        xMax[i] = std::max(xMax[i], to);
    }
};

// Traces the quadrant, recording rows out.y0 .. out.y1.
void TraceQuadrant(const EllipseGeometry& g, QuadrantRows& out) {
    const i64 first = out.y0, last = out.y1;
    i64 x = g.a, y = g.mid;
    while (x >= g.halfW && y <= last) {
        if (x >= g.xSteep) {
            const i64 s = g.SCol(x);
            if (y < first && y <= s && s < first) {
                // In step with the column thresholds: jump to the last column
                // whose run still ends above the first wanted row.
                i64 lo = std::max(g.xSteep, g.halfW), hi = x;  // sCol(hi) < first
                if (g.SCol(lo) < first) {
                    hi = lo;
                } else {
                    while (hi - lo > 1) {
                        const i64 m = lo + (hi - lo) / 2;
                        if (g.SCol(m) < first)
                            hi = m;
                        else
                            lo = m;
                    }
                }
                // Column hi runs out before `first`; enter column hi - 1.
                const i64 sHi = g.SCol(hi);
                y = sHi + (g.RowTest(hi, sHi) ? 1 : 0);
                x = hi - 1;
                continue;
            }
            const i64 yEnd = std::max(y, s);
            out.AddColumn(x, y, yEnd);
            y = yEnd + (g.RowTest(x, yEnd) ? 1 : 0);
            --x;
        } else {
            i64 lo, hi;
            g.RowRange(y, lo, hi);
            if (y < first - 1 && y >= g.yFlat && lo <= hi && x >= hi) {
                // In step with the row ranges (each row's run ends at its range
                // end, and the ends fall by at least one per row): every row up
                // to first - 1 is entered at or right of its range end, so the
                // run in row first - 1 ends at that row's range end.
                i64 lo2, hi2;
                g.RowRange(first - 1, lo2, hi2);
                if (lo2 <= hi2 && hi2 >= g.halfW) {
                    y = first - 1;
                    x = hi2;
                    lo = lo2;
                    hi = hi2;
                }
            }
            const i64 xEnd = std::min(x, hi);
            if (lo > hi || xEnd < lo || xEnd < g.halfW) {
                out.AddRow(y, g.halfW, x);
                break;
            }
            out.AddRow(y, xEnd, x);
            x = xEnd - (g.ColumnTest(xEnd, y) ? 1 : 0);
            ++y;
        }
    }
    // A narrow ellipse can leave the loop above the box's edge: GDI leaves
    // the rows below open, its tips short of the box.
}

void DrawEllipse(HDC__& dc, const Box& clip, i64 l, i64 t, i64 r, i64 bt, const HPEN__* pen, const HBRUSH__* brush) {
    const i64 w = r - l, h = bt - t;
    if (w <= 0 || h <= 0)
        return;
    if (r <= clip.left || l >= clip.right || bt <= clip.top || t >= clip.bottom)
        return;
    const EllipseGeometry g = MakeGeometry(w, h);
    const i64 vy0 = std::max(t, clip.top) - t;  // visible rows, box coordinates
    const i64 vy1 = std::min(bt, clip.bottom) - 1 - t;

    // Quadrant rows seen through the bottom half and through the top half.
    i64 aLo = std::max(vy0, g.mid), aHi = std::min(vy1, g.b);
    i64 bLo = std::max(g.b - vy1, g.mid), bHi = std::min(g.b - vy0, g.b);
    QuadrantRows rowsA, rowsB;
    if (aLo <= aHi && bLo <= bHi && std::max(aLo, bLo) <= std::min(aHi, bHi) + 1) {
        aLo = std::min(aLo, bLo);
        aHi = std::max(aHi, bHi);
        bLo = 1;
        bHi = 0;
    }
    if (aLo <= aHi) {
        rowsA.Reset(aLo, aHi);
        TraceQuadrant(g, rowsA);
    }
    if (bLo <= bHi) {
        rowsB.Reset(bLo, bHi);
        TraceQuadrant(g, rowsB);
    }
    const std::uint32_t penPixel = pen ? ColorToPixel(pen->color) : 0;
    const std::uint32_t brushPixel = brush ? ColorToPixel(brush->color) : 0;
    for (i64 y = vy0; y <= vy1; ++y) {
        const i64 q = y >= g.mid ? y : g.b - y;  // the quadrant row mirrored onto this row
        const QuadrantRows* rows = rowsA.Has(q) ? &rowsA : rowsB.Has(q) ? &rowsB : nullptr;
        if (rows == nullptr)
            continue;
        const auto i = static_cast<std::size_t>(q - rows->y0);
        const i64 xMin = rows->xMin[i], xMax = rows->xMax[i];
        if (xMin > xMax)
            continue;
        // The brush fills between the two halves of the outline, the pen draws both.
        if (brush)
            Span(dc, clip, t + y, l + g.a - xMin + 1, l + xMin, brushPixel);
        if (pen) {
            Span(dc, clip, t + y, l + xMin, l + xMax + 1, penPixel);
            Span(dc, clip, t + y, l + g.a - xMax, l + g.a - xMin + 1, penPixel);
        }
    }
}

// The outline is the closed path (r-1,b-1) (l,b-1) (l,t) (r-1,t) and the
// brush fills inside it; a 1 x 1 box makes a path of no length, so nothing
// at all is drawn.
void DrawRectangle(HDC__& dc, const Box& clip, i64 l, i64 t, i64 r, i64 b, const HPEN__* pen, const HBRUSH__* brush) {
    if (l == r || t == b || (r - l == 1 && b - t == 1))
        return;
    if (brush)
        Fill(dc, clip, l + 1, t + 1, r - 1, b - 1, ColorToPixel(brush->color));
    if (pen) {
        const std::uint32_t pixel = ColorToPixel(pen->color);
        Fill(dc, clip, l, t, r, t + 1, pixel);
        Fill(dc, clip, l, b - 1, r, b, pixel);
        Fill(dc, clip, l, t, l + 1, b, pixel);
        Fill(dc, clip, r - 1, t, r, b, pixel);
    }
}

const HPEN__* PenOf(const HDC__& dc) {
    return dc.pen != nullptr && dc.pen->kind == ObjectKind::Pen ? dc.pen : nullptr;
}
const HBRUSH__* BrushOf(HBRUSH brush) {
    return brush != nullptr && brush->kind == ObjectKind::Brush ? brush : nullptr;
}

}  // namespace
}  // namespace platform

using namespace platform;

BOOL LineTo(HDC dc, int x, int y) {
    if (dc == nullptr)
        return FALSE;
    const POINT from = dc->position;
    dc->position = POINT{x, y};
    if (const HPEN__* pen = PenOf(*dc))
        PlotLine(*dc, ClipOf(*dc), from.x, from.y, x, y, ColorToPixel(pen->color));
    return TRUE;
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF color) {
    if (dc == nullptr)
        return CLR_INVALID;
    const Box clip = ClipOf(*dc);
    if (x < clip.left || x >= clip.right || y < clip.top || y >= clip.bottom)
        return CLR_INVALID;
    color &= 0x00FFFFFF;
    Row(*dc, y)[x] = ColorToPixel(color);
    return color;
}

COLORREF GetPixel(HDC dc, int x, int y) {
    if (dc == nullptr)
        return CLR_INVALID;
    const Box clip = ClipOf(*dc);
    if (x < clip.left || x >= clip.right || y < clip.top || y >= clip.bottom)
        return CLR_INVALID;
    return PixelToColor(RowToRead(*dc, y)[x] & 0x00FFFFFF);
}

BOOL Polygon(HDC dc, const POINT* points, int count) {
    if (dc == nullptr || points == nullptr || count < 2)
        return FALSE;
    const Box clip = ClipOf(*dc);
    if (clip.Empty())
        return TRUE;
    if (const HBRUSH__* brush = BrushOf(dc->brush))
        FillPolygon(*dc, clip, points, count, ColorToPixel(brush->color));
    if (const HPEN__* pen = PenOf(*dc)) {
        const std::uint32_t pixel = ColorToPixel(pen->color);
        for (int i = 0; i < count; ++i) {
            const POINT& p = points[i];
            const POINT& q = points[(i + 1) % count];
            PlotLine(*dc, clip, p.x, p.y, q.x, q.y, pixel);
        }
    }
    return TRUE;
}

BOOL Ellipse(HDC dc, int left, int top, int right, int bottom) {
    if (dc == nullptr)
        return FALSE;
    const Box clip = ClipOf(*dc);
    if (clip.Empty())
        return TRUE;
    // GDI orders swapped corners, and draws an ellipse two pixels wide or
    // high or less as the rectangle of its box.
    const i64 l = std::min(left, right), r = std::max(left, right);
    const i64 t = std::min(top, bottom), b = std::max(top, bottom);
    if (r - l <= 2 || b - t <= 2)
        DrawRectangle(*dc, clip, l, t, r, b, PenOf(*dc), BrushOf(dc->brush));
    else
        DrawEllipse(*dc, clip, l, t, r, b, PenOf(*dc), BrushOf(dc->brush));
    return TRUE;
}

BOOL Rectangle(HDC dc, int left, int top, int right, int bottom) {
    if (dc == nullptr)
        return FALSE;
    const Box clip = ClipOf(*dc);
    if (clip.Empty())
        return TRUE;
    const i64 l = std::min(left, right), r = std::max(left, right);
    const i64 t = std::min(top, bottom), b = std::max(top, bottom);
    DrawRectangle(*dc, clip, l, t, r, b, PenOf(*dc), BrushOf(dc->brush));
    return TRUE;
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    const HBRUSH__* b = BrushOf(brush);
    if (dc == nullptr || rect == nullptr || b == nullptr)
        return 0;
    // A reversed side counts back from its start, that pixel included, as
    // GDI's block transfers take a negative extent: right < left fills
    // [right + 1, left + 1).
    const auto span = [](i64 from, i64 to) { return to < from ? std::pair{to + 1, from + 1} : std::pair{from, to}; };
    const auto [l, r] = span(rect->left, rect->right);
    const auto [t, bt] = span(rect->top, rect->bottom);
    Fill(*dc, ClipOf(*dc), l, t, r, bt, ColorToPixel(b->color));
    return 1;
}

BOOL BitBlt(HDC dst, int x, int y, int cx, int cy, HDC src, int x1, int y1, DWORD rop) {
    if (dst == nullptr || src == nullptr || rop != SRCCOPY)
        return FALSE;
    if (cx <= 0 || cy <= 0 || dst->surface == nullptr || src->surface == nullptr)
        return TRUE;
    // The destination rectangle, cut to the destination's clip and to the
    // source's clip moved into destination coordinates.
    const Box dClip = ClipOf(*dst);
    const Box sClip = ClipOf(*src);
    const i64 shiftX = static_cast<i64>(x) - x1, shiftY = static_cast<i64>(y) - y1;
    Box d{x, y, static_cast<i64>(x) + cx, static_cast<i64>(y) + cy};
    d.left = std::max({d.left, dClip.left, sClip.left + shiftX});
    d.top = std::max({d.top, dClip.top, sClip.top + shiftY});
    d.right = std::min({d.right, dClip.right, sClip.right + shiftX});
    d.bottom = std::min({d.bottom, dClip.bottom, sClip.bottom + shiftY});
    if (d.Empty())
        return TRUE;
    const auto n = static_cast<std::size_t>(d.right - d.left);
    const bool sameSurface = dst->surface == src->surface;
    // Rows may overlap on one surface: copy in the order that reads each
    // source row before it is overwritten (memmove handles a row itself).
    const bool upwards = sameSurface && shiftY > 0;
    for (i64 i = 0; i < d.bottom - d.top; ++i) {
        const i64 row = upwards ? d.bottom - 1 - i : d.top + i;
        const std::uint32_t* from = RowToRead(*src, row - shiftY) + (d.left - shiftX);
        std::uint32_t* to = Row(*dst, row) + d.left;
        std::memmove(to, from, n * sizeof(std::uint32_t));
    }
    return TRUE;
}
