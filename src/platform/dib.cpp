// GetDIBits: a bitmap's 32-bit pixels read back as a device-independent bitmap
// of 1, 4, 8, 24 or 32 bits per pixel.
//
// Palette depths get an exact colour table, numbered in order of first
// appearance (top row first), when the picture has few enough colours.
// Otherwise every pixel maps to the nearest entry of a fixed table, as
// Windows does: black and white at 1 bit, the sixteen VGA colours at 4, and
// at 8 the twenty system colours around a 6 x 6 x 6 colour cube and greys.
// (The export reduces colours itself, keeping the chart's own colours exact.)
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <unordered_map>
#include <vector>

#include "platform/gdi_internal.h"

namespace platform {
namespace {

using Table = std::vector<std::uint32_t>;  // 0x00RRGGBB

std::uint32_t Rgb(int r, int g, int b) {
    return (static_cast<std::uint32_t>(r) << 16) | (static_cast<std::uint32_t>(g) << 8) | static_cast<std::uint32_t>(b);
}

Table FixedTable(int depth) {
    if (depth == 1)
        return {Rgb(0, 0, 0), Rgb(255, 255, 255)};
    static constexpr std::array<std::uint32_t, 16> Vga = {
        0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
        0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    if (depth == 4)
        return Table(Vga.begin(), Vga.end());
    // 0-9 and 246-255: the system colours; between them the cube and greys.
    Table table = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0, 0xC0DCC0, 0xA6CAF0};
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                table.push_back(Rgb(51 * r, 51 * g, 51 * b));
    for (int i = 1; table.size() < 246; ++i)
        table.push_back(Rgb(12 * i, 12 * i, 12 * i));
    for (std::uint32_t c : {0xFFFBF0u, 0xA0A0A4u, 0x808080u, 0xFF0000u, 0x00FF00u, 0xFFFF00u, 0x0000FFu, 0xFF00FFu,
                            0x00FFFFu, 0xFFFFFFu})
        table.push_back(c);
    return table;
}

std::uint32_t Nearest(const Table& table, std::uint32_t p) {
    const auto channel = [](std::uint32_t c, int shift) { return static_cast<int>((c >> shift) & 0xFF); };
    std::uint32_t best = 0;
    int bestDistance = std::numeric_limits<int>::max();
    for (std::uint32_t i = 0; i < table.size(); ++i) {
        const int dr = channel(table[i], 16) - channel(p, 16);
        const int dg = channel(table[i], 8) - channel(p, 8);
        const int db = channel(table[i], 0) - channel(p, 0);
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

// The table for the surface and each of its colours' index in it.
struct Palette {
    Table table;
    std::unordered_map<std::uint32_t, std::uint32_t> indexOf;
};

Palette MakePalette(const Surface& surface, int depth) {
    const std::size_t capacity = std::size_t{1} << depth;
    Palette palette;
    for (const std::uint32_t pixel : surface.pixels) {
        const std::uint32_t p = pixel & 0x00FFFFFF;
        if (palette.indexOf.size() > capacity)
            break;
        if (palette.indexOf.emplace(p, static_cast<std::uint32_t>(palette.table.size())).second)
            palette.table.push_back(p);
    }
    if (palette.table.size() <= capacity)
        return palette;
    palette.table = FixedTable(depth);
    palette.indexOf.clear();
    for (const std::uint32_t pixel : surface.pixels) {
        const std::uint32_t p = pixel & 0x00FFFFFF;
        if (palette.indexOf.find(p) == palette.indexOf.end())
            palette.indexOf.emplace(p, Nearest(palette.table, p));
    }
    return palette;
}

void FillHeader(BITMAPINFOHEADER& h, int bitCount, std::uint64_t sizeImage) {
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(bitCount);
    h.biCompression = BI_RGB;
    h.biSizeImage = static_cast<DWORD>(sizeImage);
    h.biXPelsPerMeter = 0;
    h.biYPelsPerMeter = 0;
    h.biClrUsed = 0;
    h.biClrImportant = 0;
}

}  // namespace
}  // namespace platform

using namespace platform;

int GetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, LPVOID bits, BITMAPINFO* info, UINT usage) {
    if (bitmap == nullptr || bitmap->kind != ObjectKind::Bitmap || info == nullptr || usage != DIB_RGB_COLORS)
        return 0;
    BITMAPINFOHEADER& h = info->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER))
        return 0;
    const Surface& surface = bitmap->surface;

    if (bits == nullptr && h.biBitCount == 0) {
        // A query of the bitmap's own format.
        h.biWidth = surface.width;
        h.biHeight = surface.height;
        FillHeader(h, 32, static_cast<std::uint64_t>(surface.width) * 4 * static_cast<std::uint64_t>(surface.height));
        return 1;
    }
    const int depth = h.biBitCount;
    if (depth != 1 && depth != 4 && depth != 8 && depth != 24 && depth != 32)
        return 0;
    if (h.biCompression != BI_RGB || h.biWidth <= 0 || h.biHeight == 0)
        return 0;
    const std::int64_t width = h.biWidth;
    const bool bottomUp = h.biHeight > 0;
    const std::int64_t height =
        bottomUp ? static_cast<std::int64_t>(h.biHeight) : -static_cast<std::int64_t>(h.biHeight);
    const std::int64_t stride = (width * depth + 31) / 32 * 4;
    const std::uint64_t sizeImage = static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(height);
    if (sizeImage > 0xFFFFFFFFu)
        return 0;
    FillHeader(h, depth, sizeImage);

    // Scan lines count from the bottom in both layouts. Bottom-up, the buffer
    // holds lines start.. upwards; top-down, it holds the `lines` rows that
    // end `start` rows above the bottom, top first, so a part read from a
    // top-down DIB comes from its lower rows.
    const std::int64_t first = start;
    const std::int64_t end = std::min<std::int64_t>(height, first + static_cast<std::int64_t>(lines));
    if (bits == nullptr)
        return static_cast<int>(std::max<std::int64_t>(end - first, 1));
    if (first >= end)
        return 0;
    const std::int64_t topDownOffset = height - (end - first) - first;

    Palette palette;
    if (depth <= 8) {
        const std::size_t capacity = std::size_t{1} << depth;
        palette = MakePalette(surface, depth);
        for (std::size_t i = 0; i < capacity; ++i) {
            const std::uint32_t p = i < palette.table.size() ? palette.table[i] : 0;
            info->bmiColors[i] = RGBQUAD{static_cast<BYTE>(p & 0xFF), static_cast<BYTE>((p >> 8) & 0xFF),
                                         static_cast<BYTE>((p >> 16) & 0xFF), 0};
        }
    }

    const std::int64_t copyWidth = std::min<std::int64_t>(width, surface.width);
    auto* out = static_cast<BYTE*>(bits);
    for (std::int64_t line = first; line < end; ++line) {
        BYTE* row = out + (line - first) * stride;
        std::memset(row, 0, static_cast<std::size_t>(stride));
        const std::int64_t srcRow = bottomUp ? surface.height - 1 - line : line - first + topDownOffset;
        if (srcRow < 0 || srcRow >= surface.height)
            continue;
        const std::uint32_t* src = surface.pixels.data() + static_cast<std::size_t>(srcRow) * surface.width;
        switch (depth) {
            case 32:
                // A pixel in memory is already blue, green, red, reserved.
                for (std::int64_t x = 0; x < copyWidth; ++x) {
                    const std::uint32_t p = src[x] & 0x00FFFFFF;
                    std::memcpy(row + 4 * x, &p, 4);
                }
                break;
            case 24:
                for (std::int64_t x = 0; x < copyWidth; ++x) {
                    const std::uint32_t p = src[x];
                    row[3 * x] = static_cast<BYTE>(p & 0xFF);
                    row[3 * x + 1] = static_cast<BYTE>((p >> 8) & 0xFF);
                    row[3 * x + 2] = static_cast<BYTE>((p >> 16) & 0xFF);
                }
                break;
            default: {
                // Palette indices, the leftmost pixel in the high bits of a byte.
                const int perByte = 8 / depth;
                for (std::int64_t x = 0; x < copyWidth; ++x) {
                    const int shift = (perByte - 1 - static_cast<int>(x % perByte)) * depth;
                    const std::uint32_t index = palette.indexOf.at(src[x] & 0x00FFFFFF);
                    row[x / perByte] |= static_cast<BYTE>(index << shift);
                }
                break;
            }
        }
    }
    return static_cast<int>(end - first);
}
