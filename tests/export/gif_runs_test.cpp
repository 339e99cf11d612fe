// The encoder crosses runs of one colour through its table of run strings
// instead of pixel by pixel; its codes must stay those of the plain greedy
// LZW walk, through long runs, runs that go on into the next row, full
// tables and clears, at 8 and at 4 bits.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <unordered_map>
#include <vector>

#include "export/gif_writer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Colour indices, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    int bits = 8;
    int colors = 256;
    std::vector<std::uint8_t> index;
    std::uint8_t& at(int x, int y) { return index[static_cast<std::size_t>(y) * width + x]; }
};

void Put32(std::uint8_t* at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The snapshot the capture would give: length, bitmap file header, info
// header, colour table, rows bottom first.
exporting::DibSnapshot Snapshot(const Picture& p) {
    const std::uint32_t stride = (static_cast<std::uint32_t>(p.bits * p.width) + 31) / 32 * 4;
    const std::uint32_t table = 4 * static_cast<std::uint32_t>(p.colors);
    const std::uint32_t length = 14 + 40 + table + stride * static_cast<std::uint32_t>(p.height);
    exporting::DibSnapshot s;
    s.size = length + 4;
    s.block.reset(new std::uint8_t[s.size]());
    std::uint8_t* b = s.block.get();
    Put32(b, length);
    b[4] = 'B';
    b[5] = 'M';
    Put32(b + 18, 40);
    Put32(b + 22, static_cast<std::uint32_t>(p.width));
    Put32(b + 26, static_cast<std::uint32_t>(p.height));
    b[30] = 1;
    b[32] = static_cast<std::uint8_t>(p.bits);
    Put32(b + 50, static_cast<std::uint32_t>(p.colors));
    for (int i = 0; i < p.colors; ++i)
        b[58 + 4 * i] = static_cast<std::uint8_t>(i);
    std::uint8_t* rows = b + 58 + table;
    for (int y = 0; y < p.height; ++y) {
        std::uint8_t* row = rows + static_cast<std::size_t>(p.height - 1 - y) * stride;
        for (int x = 0; x < p.width; ++x) {
            const std::uint8_t v = p.index[static_cast<std::size_t>(y) * p.width + x];
            if (p.bits == 8)
                row[x] = v;
            else
                row[x / 2] |= static_cast<std::uint8_t>(x % 2 == 0 ? v << 4 : v & 0x0F);
        }
    }
    return s;
}

// The LZW data of the first image, sub-blocks joined.
Bytes ImageData(const Bytes& gif, int& minCodeSize) {
    std::size_t at = 13 + 3 * (std::size_t{1} << ((gif.at(10) & 7) + 1)) + 10;
    minCodeSize = gif.at(at++);
    Bytes data;
    while (std::size_t n = gif.at(at++)) {
        data.insert(data.end(), gif.begin() + static_cast<std::ptrdiff_t>(at),
                    gif.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
    }
    return data;
}

// The plain algorithm, one pixel at a time: the longest known string goes
// out, it is extended by the next pixel while codes remain, the code size
// grows past each power of two, and a 12-bit clear starts afresh once no
// code is left.
Bytes GreedyLzw(const std::vector<std::uint8_t>& pixels, int minCodeSize) {
    const std::uint32_t clear = 1u << minCodeSize;
    const std::uint32_t mask = clear - 1;
    Bytes out;
    std::uint64_t pending = 0;
    int pendingBits = 0;
    auto put = [&](std::uint32_t code, int width) {
        pending |= std::uint64_t{code} << pendingBits;
        for (pendingBits += width; pendingBits >= 8; pendingBits -= 8, pending >>= 8)
            out.push_back(static_cast<std::uint8_t>(pending));
    };
    std::unordered_map<std::uint32_t, std::uint32_t> table;
    int width = minCodeSize + 1;
    std::uint32_t next = clear + 2;
    put(clear, width);
    std::uint32_t current = pixels.at(0) & mask;
    for (std::size_t i = 1; i < pixels.size(); ++i) {
        const std::uint32_t pixel = pixels[i] & mask;
        const std::uint32_t key = current << 8 | pixel;
        if (auto found = table.find(key); found != table.end()) {
            current = found->second;
            continue;
        }
        put(current, width);
        const bool added = next < 4096;
        if (added)
            table.emplace(key, next++);
        if (!added || next - 1 > (1u << width) - 1) {
            if (++width > 12) {
                put(clear, 12);
                table.clear();
                next = clear + 2;
                width = minCodeSize + 1;
            }
        }
        current = pixel;
    }
    put(current, width);
    put(clear + 1, width);
    if (pendingBits > 0)
        out.push_back(static_cast<std::uint8_t>(pending));
    return out;
}

void ExpectGreedyCodes(const Picture& p, const char* what) {
    exporting::GifWriter writer;
    ASSERT_EQ(writer.Encode(exporting::MakeDibView(Snapshot(p))), 1) << what;
    ASSERT_TRUE(writer.Complete()) << what;
    const Bytes gif(writer.buffer.data.get(), writer.buffer.data.get() + writer.buffer.length);
    int minCodeSize = 0;
    const Bytes data = ImageData(gif, minCodeSize);
    const Bytes expected = GreedyLzw(p.index, minCodeSize);
    ASSERT_EQ(data.size(), expected.size()) << what;
    EXPECT_TRUE(data == expected) << what;
}

Picture Blank(int width, int height, int bits, int colors, std::uint8_t fill) {
    Picture p{width, height, bits, colors, {}};
    p.index.assign(static_cast<std::size_t>(width) * height, fill);
    return p;
}

TEST(GifRuns, ChartLikePicturesGiveTheGreedyCodes) {
    std::mt19937 rng(42);
    // A white ground with grid lines, dotted rows, stepping lines and bands
    // of noise: long runs, runs that wrap into the next row, many clears.
    Picture chart = Blank(900, 600, 8, 256, 0);
    for (int y = 0; y < chart.height; ++y) {
        for (int x = 0; x < chart.width; ++x) {
            if (y % 40 == 0 || x % 120 == 7)
                chart.at(x, y) = 1;
            else if (y % 40 == 20 && x % 6 == 0)
                chart.at(x, y) = 2;
            else if (y >= 450 && y < 520)
                chart.at(x, y) = static_cast<std::uint8_t>(16 + (x / 3 + (y - 450) * 7) % 240);
            else if (y >= 540 && rng() % 3 == 0)
                chart.at(x, y) = static_cast<std::uint8_t>(rng());
        }
        const int line = 100 + (y * 7) % 300;
        for (int x = line; x < line + 4; ++x)
            chart.at(x, y) = 3;
    }
    ExpectGreedyCodes(chart, "chart at 8 bits");

    // One colour throughout: the run strings grow to their longest.
    ExpectGreedyCodes(Blank(1200, 1000, 8, 256, 5), "one colour");

    // Runs of random length and colour, and a colour table of 6 whose
    // indices beyond it share codes with those inside it.
    Picture runs = Blank(700, 500, 8, 6, 0);
    for (std::size_t i = 0; i < runs.index.size();) {
        const std::size_t length = 1 + rng() % (rng() % 4 == 0 ? 300 : 6);
        const auto colour = static_cast<std::uint8_t>(rng() % 10);
        for (std::size_t k = 0; k < length && i < runs.index.size(); ++k)
            runs.index[i++] = colour;
    }
    ExpectGreedyCodes(runs, "random runs, 6 colours");

    Picture four = Blank(641, 480, 4, 16, 0);
    for (std::size_t i = 0; i < four.index.size();) {
        const std::size_t length = 1 + rng() % 40;
        const auto colour = static_cast<std::uint8_t>(rng() % 16);
        for (std::size_t k = 0; k < length && i < four.index.size(); ++k)
            four.index[i++] = colour;
    }
    ExpectGreedyCodes(four, "runs at 4 bits");
}

}  // namespace
