// GetDIBits: layout of the rows, colour tables, and the reduction to 256 and
// 16 colours.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include "platform/gdi_canvas.h"

namespace {

using gditest::Canvas;

struct Dib {
    BITMAPINFO* info() { return reinterpret_cast<BITMAPINFO*>(header.data()); }
    std::vector<std::uint8_t> header =
        std::vector<std::uint8_t>(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), 0xCD);
    std::vector<std::uint8_t> bits;
    int stride = 0;
    int lines = 0;
    COLORREF Table(int i) {
        const RGBQUAD q = info()->bmiColors[i];
        return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
};

Dib Read(const Canvas& c, int depth, int width = -1, int height = -1) {
    Dib d;
    width = width < 0 ? c.width() : width;
    height = height < 0 ? c.height() : height;
    BITMAPINFOHEADER& h = d.info()->bmiHeader;
    std::memset(&h, 0, sizeof h);
    h.biSize = sizeof h;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(depth);
    d.stride = (width * depth + 31) / 32 * 4;
    d.bits.assign(static_cast<std::size_t>(d.stride) * std::abs(height), 0xEE);
    d.lines =
        GetDIBits(c.dc(), c.bitmap(), 0, static_cast<UINT>(std::abs(height)), d.bits.data(), d.info(), DIB_RGB_COLORS);
    return d;
}

int IndexAt(const Dib& d, int depth, int x, int rowFromBottom) {
    const std::uint8_t* row = d.bits.data() + static_cast<std::size_t>(rowFromBottom) * d.stride;
    if (depth == 8)
        return row[x];
    if (depth == 4)
        return (x % 2 == 0) ? row[x / 2] >> 4 : row[x / 2] & 0x0F;
    return (row[x / 8] >> (7 - x % 8)) & 1;
}

TEST(GdiDib, BottomUpRowsWithPaddedStride) {
    for (int w = 1; w <= 9; ++w) {
        Canvas c(w, 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < w; ++x)
                SetPixel(c.dc(), x, y, RGB(10 * x, 50 * y, 7));
        for (int depth : {8, 4, 24, 32}) {
            Dib d = Read(c, depth);
            ASSERT_EQ(d.lines, 3);
            const BITMAPINFOHEADER& h = d.info()->bmiHeader;
            EXPECT_EQ(h.biSizeImage, static_cast<DWORD>(d.stride * 3));
            EXPECT_EQ(d.stride % 4, 0);
            EXPECT_EQ(h.biXPelsPerMeter, 0);
            EXPECT_EQ(h.biClrUsed, 0u);
            EXPECT_EQ(h.biClrImportant, 0u);
            for (int r = 0; r < 3; ++r) {
                const int y = 2 - r;  // the first row in memory is the bottom one
                for (int x = 0; x < w; ++x) {
                    COLORREF got;
                    const std::uint8_t* p = d.bits.data() + r * d.stride;
                    if (depth == 32) {
                        got = RGB(p[4 * x + 2], p[4 * x + 1], p[4 * x]);
                        EXPECT_EQ(p[4 * x + 3], 0);
                    } else if (depth == 24) {
                        got = RGB(p[3 * x + 2], p[3 * x + 1], p[3 * x]);
                    } else {
                        got = d.Table(IndexAt(d, depth, x, r));
                    }
                    if (depth != 4 || w * 3 <= 16) {
                        EXPECT_EQ(got, c.At(x, y)) << w << " " << depth << " " << x << "," << y;
                    }
                }
                // Padding bytes are zero.
                const int used = (w * depth + 7) / 8;
                for (int i = used; i < d.stride; ++i)
                    EXPECT_EQ(d.bits[r * d.stride + i], 0);
            }
        }
    }
}

TEST(GdiDib, HeaderOnlyWithoutBits) {
    Canvas c(5, 4);
    Dib d;
    BITMAPINFOHEADER& h = d.info()->bmiHeader;
    std::memset(&h, 0, sizeof h);
    h.biSize = sizeof h;
    EXPECT_NE(GetDIBits(c.dc(), c.bitmap(), 0, 4, nullptr, d.info(), DIB_RGB_COLORS), 0);
    EXPECT_EQ(h.biWidth, 5);
    EXPECT_EQ(h.biHeight, 4);
    EXPECT_EQ(h.biBitCount, 32);
    h.biBitCount = 8;
    EXPECT_NE(GetDIBits(c.dc(), c.bitmap(), 0, 4, nullptr, d.info(), DIB_RGB_COLORS), 0);
    EXPECT_EQ(h.biSizeImage, 8u * 4u);
    EXPECT_EQ(d.info()->bmiColors[0].rgbRed, 0xCD);  // the table is left alone
    // Failures.
    EXPECT_EQ(GetDIBits(c.dc(), nullptr, 0, 4, d.bits.data(), d.info(), DIB_RGB_COLORS), 0);
    h.biBitCount = 7;
    EXPECT_EQ(GetDIBits(c.dc(), c.bitmap(), 0, 4, nullptr, d.info(), DIB_RGB_COLORS), 0);
}

TEST(GdiDib, FewColoursGetAnExactTableInFirstAppearanceOrder) {
    Canvas c(16, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            SetPixel(c.dc(), x, y, RGB(x * 16, y * 16, (x * y) & 0xFF));
    const Dib d = Read(c, 8);
    Dib copy = d;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(copy.Table(IndexAt(d, 8, x, 15 - y)), c.At(x, y));
    EXPECT_EQ(copy.Table(0), c.At(0, 0));  // top-left pixel comes first
    EXPECT_EQ(copy.Table(1), c.At(1, 0));
}

TEST(GdiDib, FourBitsPackEvenPixelsHigh) {
    Canvas c(3, 1);
    SetPixel(c.dc(), 0, 0, RGB(1, 1, 1));
    SetPixel(c.dc(), 1, 0, RGB(2, 2, 2));
    SetPixel(c.dc(), 2, 0, RGB(3, 3, 3));
    Dib d = Read(c, 4);
    EXPECT_EQ(d.bits[0], 0x01);  // index 0 high, index 1 low
    EXPECT_EQ(d.bits[1], 0x20);
    EXPECT_EQ(d.Table(2), RGB(3, 3, 3));
}

// The hue palette: black, then hues 270 down to 0 at full saturation and half
// lightness (the channel values truncate).
std::vector<COLORREF> HuePalette() {
    std::vector<COLORREF> out{RGB(0, 0, 0)};
    for (int hue = 270; hue >= 0; --hue) {
        const double h6 = hue * (1.0 / 360) * 6;
        const int sector = static_cast<int>(h6);
        const double q = 1.0, p = 0.0, f = h6 - sector;
        const double rise = f, fall = 1.0 - f;
        double r, g, b;
        switch (sector) {
            case 0:
                r = q, g = rise, b = p;
                break;
            case 1:
                r = fall, g = q, b = p;
                break;
            case 2:
                r = p, g = q, b = rise;
                break;
            case 3:
                r = p, g = fall, b = q;
                break;
            default:
                r = rise, g = p, b = q;
                break;
        }
        out.push_back(RGB(static_cast<BYTE>(r * 255), static_cast<BYTE>(g * 255), static_cast<BYTE>(b * 255)));
    }
    return out;
}

constexpr std::array<COLORREF, 16> kFills = {
    RGB(255, 255, 255), RGB(180, 180, 255), RGB(153, 255, 153), RGB(0, 204, 0), RGB(0, 204, 204), RGB(102, 0, 0),
    RGB(255, 255, 0),   RGB(255, 204, 204), RGB(204, 0, 204),   RGB(0, 102, 0), RGB(204, 0, 0),   RGB(255, 255, 204),
    RGB(0, 0, 153),     RGB(204, 204, 204), RGB(102, 102, 102), RGB(0, 0, 0)};

int ChannelError(COLORREF a, COLORREF b, int& largest) {
    const int e[3] = {std::abs(GetRValue(a) - GetRValue(b)), std::abs(GetGValue(a) - GetGValue(b)),
                      std::abs(GetBValue(a) - GetBValue(b))};
    largest = std::max({largest, e[0], e[1], e[2]});
    return e[0] + e[1] + e[2];
}

TEST(GdiDib, ReductionKeepsBrushColoursAndMapsToTheNearest) {
    std::vector<HBRUSH> brushes;
    for (COLORREF fill : kFills) {
        LOGBRUSH lb{BS_SOLID, fill, 0};
        brushes.push_back(CreateBrushIndirect(&lb));
    }
    const std::vector<COLORREF> hues = HuePalette();
    ASSERT_EQ(hues.size(), 272u);
    ASSERT_EQ(hues[1], RGB(127, 0, 255));
    ASSERT_EQ(hues[270], RGB(255, 4, 0));
    // A chart-like picture: table fills as large areas, palette colours as
    // columns of the saturation panel, each used a different number of times.
    Canvas c(300, 120);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 300; ++x)
            SetPixel(c.dc(), x, y, kFills[(x / 19 + y / 8) % 16]);
    for (std::size_t i = 0; i < hues.size(); ++i)
        for (int y = 0; y <= static_cast<int>(i % 37); ++y)
            SetPixel(c.dc(), static_cast<int>(i % 300), 80 + y % 40, hues[i]);
    std::set<COLORREF> distinct;
    for (COLORREF p : c.Pixels())
        distinct.insert(p);
    ASSERT_GT(distinct.size(), 256u);

    Dib d = Read(c, 8);
    Dib again = Read(c, 8);
    EXPECT_EQ(d.bits, again.bits);  // deterministic
    EXPECT_EQ(d.header, again.header);
    std::vector<COLORREF> table(256);
    for (int i = 0; i < 256; ++i)
        table[i] = d.Table(i);
    // The sixteen brush colours come first and exactly.
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(table[i], kFills[i]) << i;

    long long sum = 0, channels = 0;
    int largest = 0;
    for (int y = 0; y < 120; ++y) {
        for (int x = 0; x < 300; ++x) {
            const COLORREF want = c.At(x, y);
            const COLORREF got = table[IndexAt(d, 8, x, 119 - y)];
            // Nearest entry of the table by squared distance.
            int best = 1 << 30;
            for (COLORREF t : table) {
                const int dr = GetRValue(t) - GetRValue(want), dg = GetGValue(t) - GetGValue(want),
                          db = GetBValue(t) - GetBValue(want);
                best = std::min(best, dr * dr + dg * dg + db * db);
            }
            const int dr = GetRValue(got) - GetRValue(want), dg = GetGValue(got) - GetGValue(want),
                      db = GetBValue(got) - GetBValue(want);
            ASSERT_EQ(dr * dr + dg * dg + db * db, best) << x << "," << y;
        }
    }
    // The error over the 288 colours themselves, one sample each.
    std::vector<COLORREF> all(kFills.begin(), kFills.end());
    all.insert(all.end(), hues.begin(), hues.end());
    for (COLORREF want : all) {
        for (int y = 0; y < 120; ++y)
            for (int x = 0; x < 300; ++x)
                if (c.At(x, y) == want) {
                    sum += ChannelError(table[IndexAt(d, 8, x, 119 - y)], want, largest);
                    channels += 3;
                    goto next;
                }
    next:;
    }
    const double mean = static_cast<double>(sum) / static_cast<double>(channels);
    std::printf("reduction to 256 colours over %zu colours: mean channel error %.3f, largest %d\n", all.size(), mean,
                largest);
    EXPECT_LT(mean, 1.0);
    EXPECT_LE(largest, 16);

    // At 4 bits: sixteen entries, the brush colours, exact.
    Dib four = Read(c, 4);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(four.Table(i), kFills[i]);
    for (HBRUSH b : brushes)
        DeleteObject(b);
}

TEST(GdiDib, PartialLineRangesAndOtherWidths) {
    Canvas c(6, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x)
            SetPixel(c.dc(), x, y, RGB(x, y, 9));
    Dib d;
    BITMAPINFOHEADER& h = d.info()->bmiHeader;
    std::memset(&h, 0, sizeof h);
    h.biSize = sizeof h;
    h.biWidth = 6;
    h.biHeight = 5;
    h.biPlanes = 1;
    h.biBitCount = 32;
    std::vector<std::uint8_t> bits(6 * 4 * 2);
    // Scan lines 1 and 2 from the bottom: rows 3 and 2.
    EXPECT_EQ(GetDIBits(c.dc(), c.bitmap(), 1, 2, bits.data(), d.info(), DIB_RGB_COLORS), 2);
    EXPECT_EQ(bits[1], 3);  // green of (0, 3)
    EXPECT_EQ(bits[24 + 1], 2);
    // Beyond the end: clipped.
    EXPECT_EQ(GetDIBits(c.dc(), c.bitmap(), 4, 10, bits.data(), d.info(), DIB_RGB_COLORS), 1);
    EXPECT_EQ(GetDIBits(c.dc(), c.bitmap(), 5, 10, bits.data(), d.info(), DIB_RGB_COLORS), 0);
}

}  // namespace
