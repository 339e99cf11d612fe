// GetDIBits: a bitmap's 32-bit pixels read back as a device-independent bitmap
// of 1, 4, 8, 24 or 32 bits per pixel.
//
// Palette depths get an exact colour table when the picture has few enough
// colours. Otherwise the table keeps the colours of the live solid brushes that
// the picture uses (the chart's fixed fills), then the picture's most frequent
// other colours, and every remaining colour maps to its nearest kept colour by
// squared RGB distance. The result depends on the pixels (and the brushes)
// only: colours are numbered in order of first appearance, top row first, and
// frequency ties are broken by colour value.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/gdi_internal.h"

namespace platform {
namespace {

constexpr std::uint32_t kNoEntry = 0xFFFFFFFFu;

// Open-addressing map from a 24-bit pixel to a dense number.
class PixelMap {
public:
    PixelMap() { Rehash(1024); }
    // The number of `pixel`, or kNoEntry.
    std::uint32_t Find(std::uint32_t pixel) const {
        for (std::size_t i = Slot(pixel);; i = (i + 1) & mask_) {
            if (keys_[i] == pixel)
                return values_[i];
            if (keys_[i] == kNoEntry)
                return kNoEntry;
        }
    }
    // The number of `pixel`, giving it `next` when it is new.
    std::uint32_t FindOrAdd(std::uint32_t pixel, std::uint32_t next, bool& added) {
        if ((count_ + 1) * 2 > keys_.size())
            Rehash(keys_.size() * 2);
        std::size_t i = Slot(pixel);
        for (; keys_[i] != kNoEntry; i = (i + 1) & mask_) {
            if (keys_[i] == pixel) {
                added = false;
                return values_[i];
            }
        }
        keys_[i] = pixel;
        values_[i] = next;
        ++count_;
        added = true;
        return next;
    }

private:
    std::size_t Slot(std::uint32_t pixel) const { return (pixel * 0x9E3779B1u) >> shift_; }
    void Rehash(std::size_t size) {
        std::vector<std::uint32_t> keys(size, kNoEntry), values(size, 0);
        mask_ = size - 1;
        shift_ = 32;
        for (std::size_t s = size; s > 1; s >>= 1)
            --shift_;
        for (std::size_t i = 0; i < keys_.size(); ++i) {
            if (keys_[i] == kNoEntry)
                continue;
            std::size_t j = Slot(keys_[i]);
            while (keys[j] != kNoEntry)
                j = (j + 1) & mask_;
            keys[j] = keys_[i];
            values[j] = values_[i];
        }
        keys_.swap(keys);
        values_.swap(values);
    }
    std::vector<std::uint32_t> keys_, values_;
    std::size_t count_ = 0, mask_ = 0;
    int shift_ = 32;
};

// The end of the run of pixels of colour p (alpha byte ignored) that starts
// at `at`, which holds p. Four pixels at a time where SSE2 is there.
const std::uint32_t* RunEnd(const std::uint32_t* at, const std::uint32_t* end, std::uint32_t p) {
    ++at;
#if defined(__SSE2__)
    const __m128i colour = _mm_set1_epi32(static_cast<int>(p));
    const __m128i mask = _mm_set1_epi32(0x00FFFFFF);
    while (end - at >= 4) {
        const __m128i four = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), mask);
        const int same = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(four, colour)));
        if (same != 0xF)
            return at + __builtin_ctz(~same & 0xF);
        at += 4;
    }
#endif
    while (at < end && ((*at ^ p) & 0x00FFFFFF) == 0)
        ++at;
    return at;
}

// Sets n bytes to v. Most runs are short: eight bytes a store, the last
// store overlapping, rather than a call per run.
void FillIndex(BYTE* at, std::size_t n, BYTE v) {
    if (n < 8) {
        for (std::size_t i = 0; i < n; ++i)
            at[i] = v;
        return;
    }
    const std::uint64_t pattern = std::uint64_t{v} * 0x0101010101010101ull;
    for (std::size_t i = 0; i + 8 <= n; i += 8)
        std::memcpy(at + i, &pattern, 8);
    std::memcpy(at + n - 8, &pattern, 8);
}

int Red(std::uint32_t p) {
    return static_cast<int>((p >> 16) & 0xFF);
}
int Green(std::uint32_t p) {
    return static_cast<int>((p >> 8) & 0xFF);
}
int Blue(std::uint32_t p) {
    return static_cast<int>(p & 0xFF);
}

// Nearest table entry by squared RGB distance (lowest index on a tie), with
// the entries sorted by red so that the search stops once red alone is too far.
class NearestColor {
public:
    explicit NearestColor(const std::vector<std::uint32_t>& table) {
        for (std::size_t i = 0; i < table.size(); ++i)
            byRed_.push_back({table[i], static_cast<std::uint32_t>(i)});
        std::sort(byRed_.begin(), byRed_.end(), [](const Entry& x, const Entry& y) {
            return Red(x.pixel) != Red(y.pixel) ? Red(x.pixel) < Red(y.pixel) : x.index < y.index;
        });
    }
    std::uint32_t Find(std::uint32_t p) const {
        const int r = Red(p), g = Green(p), b = Blue(p);
        const auto start = std::lower_bound(byRed_.begin(), byRed_.end(), r,
                                            [](const Entry& e, int red) { return Red(e.pixel) < red; });
        int best = std::numeric_limits<int>::max();
        std::uint32_t bestIndex = 0;
        auto consider = [&](const Entry& e) {
            const int dr = Red(e.pixel) - r, dg = Green(e.pixel) - g, db = Blue(e.pixel) - b;
            const int d = dr * dr + dg * dg + db * db;
            if (d < best || (d == best && e.index < bestIndex)) {
                best = d;
                bestIndex = e.index;
            }
        };
        for (auto it = start; it != byRed_.end(); ++it) {
            const int dr = Red(it->pixel) - r;
            if (dr * dr > best)
                break;
            consider(*it);
        }
        for (auto it = start; it != byRed_.begin();) {
            --it;
            const int dr = Red(it->pixel) - r;
            if (dr * dr > best)
                break;
            consider(*it);
        }
        return bestIndex;
    }

private:
    struct Entry {
        std::uint32_t pixel;
        std::uint32_t index;
    };
    std::vector<Entry> byRed_;
};

// A colour table of at most `capacity` entries for the surface, and each of
// the surface's colours' table index in `indexOf` (looked up by pixel).
struct Reduction {
    std::vector<std::uint32_t> table;  // pixels, 0x00RRGGBB
    PixelMap indexOf;
};

void Reduce(const Surface& surface, std::size_t capacity, Reduction& out) {
    // Distinct colours in order of first appearance, with their counts. A
    // chart is mostly runs of one colour: each run costs one lookup, and two
    // remembered colours cover alternating patterns (dotted lines).
    std::vector<std::uint32_t> colors;
    std::vector<std::uint64_t> counts;
    PixelMap numberOf;
    std::uint32_t seen[2] = {kNoEntry, kNoEntry}, seenNumber[2] = {0, 0};
    const std::uint32_t* at = surface.pixels.data();
    const std::uint32_t* const end = at + surface.pixels.size();
    while (at < end) {
        const std::uint32_t p = *at & 0x00FFFFFF;
        const std::uint32_t* runEnd = RunEnd(at, end, p);
        if (p != seen[0]) {
            if (p != seen[1]) {
                bool added = false;
                seen[1] = p;
                seenNumber[1] = numberOf.FindOrAdd(p, static_cast<std::uint32_t>(colors.size()), added);
                if (added) {
                    colors.push_back(p);
                    counts.push_back(0);
                }
            }
            std::swap(seen[0], seen[1]);
            std::swap(seenNumber[0], seenNumber[1]);
        }
        counts[seenNumber[0]] += static_cast<std::uint64_t>(runEnd - at);
        at = runEnd;
    }

    if (colors.size() <= capacity) {
        out.table = colors;
        for (std::uint32_t i = 0; i < colors.size(); ++i) {
            bool added = false;
            out.indexOf.FindOrAdd(colors[i], i, added);
        }
        return;
    }

    std::vector<bool> kept(colors.size(), false);
    for (COLORREF c : LiveBrushColors()) {
        if (out.table.size() == capacity)
            break;
        const std::uint32_t n = numberOf.Find(ColorToPixel(c));
        if (n == kNoEntry || kept[n])
            continue;
        kept[n] = true;
        out.table.push_back(colors[n]);
    }
    std::vector<std::uint32_t> order;
    order.reserve(colors.size());
    for (std::uint32_t i = 0; i < colors.size(); ++i) {
        if (!kept[i])
            order.push_back(i);
    }
    const std::size_t wanted = std::min(order.size(), capacity - out.table.size());
    std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(wanted), order.end(),
                      [&](std::uint32_t x, std::uint32_t y) {
                          return counts[x] != counts[y] ? counts[x] > counts[y] : colors[x] < colors[y];
                      });
    for (std::size_t i = 0; i < wanted; ++i) {
        kept[order[i]] = true;
        out.table.push_back(colors[order[i]]);
    }

    for (std::uint32_t i = 0; i < out.table.size(); ++i) {
        bool added = false;
        out.indexOf.FindOrAdd(out.table[i], i, added);
    }
    const NearestColor nearest(out.table);
    for (std::uint32_t i = 0; i < colors.size(); ++i) {
        if (kept[i])
            continue;
        bool added = false;
        out.indexOf.FindOrAdd(colors[i], nearest.Find(colors[i]), added);
    }
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

    const std::int64_t first = start;
    const std::int64_t end = std::min<std::int64_t>(height, first + static_cast<std::int64_t>(lines));
    if (bits == nullptr)
        return static_cast<int>(std::max<std::int64_t>(end - first, 1));
    if (first >= end)
        return 0;

    Reduction reduction;
    if (depth <= 8) {
        const std::size_t capacity = static_cast<std::size_t>(1) << depth;
        Reduce(surface, capacity, reduction);
        for (std::size_t i = 0; i < capacity; ++i) {
            const std::uint32_t p = i < reduction.table.size() ? reduction.table[i] : 0;
            info->bmiColors[i] = RGBQUAD{static_cast<BYTE>(p & 0xFF), static_cast<BYTE>((p >> 8) & 0xFF),
                                         static_cast<BYTE>((p >> 16) & 0xFF), 0};
        }
    }

    const std::int64_t copyWidth = std::min<std::int64_t>(width, surface.width);
    auto* out = static_cast<BYTE*>(bits);
    for (std::int64_t line = first; line < end; ++line) {
        BYTE* row = out + (line - first) * stride;
        std::memset(row, 0, static_cast<std::size_t>(stride));
        // Scan line 0 is the bitmap's bottom row in a bottom-up DIB.
        const std::int64_t srcRow = bottomUp ? surface.height - 1 - line : line;
        if (srcRow < 0 || srcRow >= surface.height)
            continue;
        const std::uint32_t* src = surface.pixels.data() + static_cast<std::size_t>(srcRow) * surface.width;
        switch (depth) {
            case 32:
                for (std::int64_t x = 0; x < copyWidth; ++x) {
                    const std::uint32_t p = src[x] & 0x00FFFFFF;
                    row[4 * x] = static_cast<BYTE>(p & 0xFF);
                    row[4 * x + 1] = static_cast<BYTE>((p >> 8) & 0xFF);
                    row[4 * x + 2] = static_cast<BYTE>((p >> 16) & 0xFF);
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
                // Two remembered colours cover runs and alternating patterns.
                std::uint32_t seen[2] = {kNoEntry, kNoEntry}, seenIndex[2] = {0, 0};
                auto indexOf = [&](std::uint32_t p) {
                    if (p == seen[0])
                        return seenIndex[0];
                    if (p != seen[1]) {
                        seen[1] = p;
                        seenIndex[1] = reduction.indexOf.Find(p);
                    }
                    std::swap(seen[0], seen[1]);
                    std::swap(seenIndex[0], seenIndex[1]);
                    return seenIndex[0];
                };
                if (depth == 8) {
                    // Run by run, as the colours were counted.
                    for (std::int64_t x = 0; x < copyWidth;) {
                        const std::uint32_t p = src[x] & 0x00FFFFFF;
                        const std::int64_t runEnd = RunEnd(src + x, src + copyWidth, p) - src;
                        FillIndex(row + x, static_cast<std::size_t>(runEnd - x), static_cast<BYTE>(indexOf(p)));
                        x = runEnd;
                    }
                    break;
                }
                const int perByte = 8 / depth;
                for (std::int64_t x = 0; x < copyWidth; ++x) {
                    const int shift = (perByte - 1 - static_cast<int>(x % perByte)) * depth;
                    row[x / perByte] |= static_cast<BYTE>(indexOf(src[x] & 0x00FFFFFF) << shift);
                }
                break;
            }
        }
    }
    return static_cast<int>(end - first);
}
