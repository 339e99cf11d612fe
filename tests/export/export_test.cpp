// The export pieces: the snapshot's layout; the GIF encoder's exact bytes, codes and sub-blocks,
// round trips through giflib and all-or-nothing file write; the image-map script's lines.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <bit>
#include <csignal>
#include <filesystem>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "export/gif_writer.h"
#include "export/image_map.h"
#include "export/snapshot.h"
#include "support/e2e_support.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using namespace exporting;
using Bytes = std::vector<std::uint8_t>;
using testsupport::Entries;

namespace {

std::uint32_t GetLE(const std::uint8_t* at, int size) {
    std::uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = (v << 8) | at[i];
    return v;
}

// A snapshot block laid out by hand: length, file header, info header at 18,
// `colors` (0xRRGGBB) at 58, rows bottom first; `pixels` top row first.
DibSnapshot MakeSnapshot(int w, int h, int bits, const std::vector<std::uint32_t>& colors, const Bytes& pixels) {
    const std::uint32_t stride = std::uint32_t(bits * w + 31) / 32 * 4, table = 4 * std::uint32_t(colors.size());
    const std::uint32_t length = 54 + table + stride * std::uint32_t(h),
                        used = colors.size() == 1u << bits ? 0 : table / 4;
    DibSnapshot s{std::unique_ptr<std::uint8_t[]>(new std::uint8_t[length + 4]()), length + 4};
    const auto put = [&](std::size_t at, std::uint32_t value, int size) {
        for (int k = 0; k < size; ++k)
            s.block[at + k] = std::uint8_t(value >> (8 * k));
    };
    put(0, length, 4), put(4, 0x4D42, 2), put(14, 54 + table, 4), put(18, 40, 4), put(22, w, 4), put(26, h, 4);
    put(30, 1, 2), put(32, bits, 2), put(50, used, 4);
    for (std::size_t i = 0; i < colors.size(); ++i)
        put(58 + 4 * i, colors[i], 3);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        std::uint8_t& byte = s.block[58 + table + (h - 1 - i / w) * stride + (i % w) * bits / 8];
        byte |= bits == 8 ? pixels[i] : i % w % 2 ? pixels[i] & 15 : pixels[i] << 4;
    }
    return s;
}

std::vector<std::uint32_t> Ramp(int count) {
    std::vector<std::uint32_t> colors;
    for (int i = 0; i < count; ++i)
        colors.push_back(std::uint32_t(i * 255 / std::max(count - 1, 1)) << 16 | std::uint32_t(255 - i) << 8 | 7);
    return colors;
}

Bytes Noise(std::size_t count, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes v(count);
    for (auto& b : v)
        b = std::uint8_t(rng());
    return v;
}

Bytes Encode(const DibSnapshot& snapshot) {
    GifWriter writer;
    EXPECT_EQ(writer.Encode(MakeDibView(snapshot)), 1);
    EXPECT_TRUE(writer.Complete());
    return Bytes(writer.buffer.data.get(), writer.buffer.data.get() + writer.buffer.length);
}

}  // namespace

TEST(DibSnapshot, LayoutOfAChartSizedCaptureStoresTheBottomRowFirst) {
    testsupport::MemoryPicture picture(701, 500);
    picture.Fill(RECT{0, 0, 701, 500}, RGB(255, 255, 255));
    picture.Fill(RECT{0, 0, 701, 1}, RGB(255, 0, 0));
    picture.Fill(RECT{0, 499, 701, 500}, RGB(0, 0, 255));
    const DibSnapshot s = CaptureDib(picture.dc, 701, 500, 8, 256);
    ASSERT_EQ(s.size, 353082u);
    // (offset, size, value): length, "BM", file size, pixel offset, header, width, height, planes, bits, image size
    const int fields[] = {0,  4, 353078, 4,  2, 0x4D42, 6,  4, 353078, 14, 4, 1078, 18, 4, 40,
                          22, 4, 701,    26, 4, 500,    30, 2, 1,      32, 2, 8,    38, 4, 704 * 500};
    for (std::size_t i = 0; i < std::size(fields); i += 3)
        EXPECT_EQ(GetLE(&s.block[fields[i]], fields[i + 1]), std::uint32_t(fields[i + 2])) << "offset " << fields[i];
    const auto color = [&](std::size_t at) { return GetLE(&s.block[58 + 4 * s.block[at]], 3); };
    EXPECT_EQ(color(1082), 0x0000FFu);  // the first stored row is the bottom one
    EXPECT_EQ(color(1082 + 704), 0xFFFFFFu);
    EXPECT_EQ(color(1082 + 704 * 499 + 700), 0xFF0000u);
    for (const auto& [width, stride] : {std::pair{4u, 4u}, std::pair{5u, 8u}})
        EXPECT_EQ(CaptureDib(picture.dc, int(width), 3, 8, 256).size, 4u + 54 + 1024 + 3 * stride) << width;
}

TEST(GifBytes, WorkedExamplesAndBlackPadding) {
    struct Example {
        int w, h, bits, colors;
        Bytes pixels;
        std::uint8_t packed;
        Bytes image;  // code size, sub-blocks, terminator; empty: not checked
    };
    const Example examples[] = {
        {1, 1, 8, 256, {5}, 0xF7, {0x08, 0x04, 0x00, 0x0B, 0x04, 0x04, 0x00}},
        {2, 2, 8, 256, {1, 1, 1, 1}, 0xF7, {0x08, 0x06, 0x00, 0x03, 0x08, 0x0C, 0x10, 0x10, 0x00}},
        {2, 2, 4, 16, {0, 1, 2, 3}, 0xF3, {0x04, 0x04, 0x10, 0x04, 0x31, 0x22, 0x00}},
        {3, 2, 8, 5, {0, 1, 2, 1, 2, 3}, 0xF2, {}},  // five colours: a table of eight, three black
    };
    for (const Example& e : examples) {
        const std::vector<std::uint32_t> colors = Ramp(e.colors);
        const auto w = std::uint8_t(e.w), h = std::uint8_t(e.h);
        Bytes expected = {'G', 'I', 'F', '8', '7', 'a', w, 0, h, 0, e.packed, 0, 0};
        for (int i = 0; i < 2 << (e.packed & 7); ++i) {
            const std::uint32_t c = i < e.colors ? colors[i] : 0;
            expected.insert(expected.end(), {std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c)});
        }
        expected.insert(expected.end(), {0x2C, 0, 0, 0, 0, w, 0, h, 0, 0});
        expected.insert(expected.end(), e.image.begin(), e.image.end());
        Bytes got = Encode(MakeSnapshot(e.w, e.h, e.bits, colors, e.pixels));
        if (e.image.empty())
            got.resize(expected.size());
        else
            expected.push_back(0x3B);
        EXPECT_EQ(got, expected) << e.w << "x" << e.h << " at " << e.bits << " bits";
    }
}

// The plain greedy LZW walk, one pixel at a time: the longest known string
// goes out and is extended by the next pixel while codes remain, codes widen
// past each power of two, and a 12-bit clear starts afresh when none is left.
Bytes GreedyLzw(const Bytes& pixels, int minCodeSize) {
    const std::uint32_t clear = 1u << minCodeSize;
    Bytes out;
    std::uint64_t pending = 0;
    int bits = 0, width = minCodeSize + 1;
    const auto put = [&](std::uint32_t code, int size) {
        for (pending |= std::uint64_t{code} << bits, bits += size; bits >= 8; bits -= 8, pending >>= 8)
            out.push_back(std::uint8_t(pending));
    };
    std::map<std::uint32_t, std::uint32_t> table;
    std::uint32_t next = clear + 2, current = pixels.at(0);
    put(clear, width);
    for (std::size_t i = 1; i < pixels.size(); ++i) {
        const std::uint32_t key = current << 8 | pixels[i];
        if (const auto found = table.find(key); found != table.end()) {
            current = found->second;
            continue;
        }
        put(current, width);
        const bool added = next < 4096 && table.emplace(key, next++).second;
        if ((!added || next - 1 >= 1u << width) && ++width > 12) {
            put(clear, 12);
            table.clear();
            next = clear + 2;
            width = minCodeSize + 1;
        }
        current = pixels[i];
    }
    put(current, width);
    put(clear + 1, width);
    if (bits > 0)
        out.push_back(std::uint8_t(pending));
    return out;
}

// The LZW bytes of an 8-bit GIF: its sub-blocks after the code size at 791,
// each 255 bytes long but the last, then the terminator.
Bytes CodeBytes(const Bytes& g) {
    EXPECT_EQ(g.at(791), 8);
    Bytes data;
    std::size_t at = 792;
    for (; at < g.size() && g[at] != 0; at += 1 + g[at]) {
        EXPECT_TRUE(g[at] == 255 || g[at + 1 + g[at]] == 0) << "block of " << int{g[at]} << " at " << at;
        data.insert(data.end(), g.begin() + std::ptrdiff_t(at + 1), g.begin() + std::ptrdiff_t(at + 1 + g[at]));
    }
    EXPECT_TRUE(at + 2 == g.size() && g.back() == 0x3B);
    return data;
}

// The encoder crosses runs of one colour through its table of run strings
// instead of pixel by pixel; its codes must stay those of the greedy walk
// through runs at their longest, runs going on into the next row, and clears.
// Noise fills the code table again and again: 12-bit clears, 9-bit codes afresh.
TEST(GifCodes, RunsAndAFullCodeTableGiveTheCodesOfThePlainGreedyWalkInFullSubBlocks) {
    std::mt19937 rng(42);
    const int w = 900, h = 700;
    Bytes v(std::size_t(w) * h, 0);  // 300 rows of one colour, then a chart: grid, dots, a line, a band of noise
    for (int y = 300; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            std::uint8_t& p = v[std::size_t(y) * w + x];
            p = y % 40 == 0 || x % 120 == 7  ? 1
                : y % 40 == 20 && x % 6 == 0 ? 2
                : y >= 600 && rng() % 3 == 0 ? rng()
                                             : 0;
        }
        std::fill_n(&v[std::size_t(y) * w + 100 + y * 7 % 300], 4, 3);
    }
    const Bytes data = CodeBytes(Encode(MakeSnapshot(w, h, 8, Ramp(256), v)));
    EXPECT_TRUE(data == GreedyLzw(v, 8)) << data.size() << " bytes of codes";
    const Bytes noise = Noise(300 * 100, 11), codes = CodeBytes(Encode(MakeSnapshot(300, 100, 8, Ramp(256), noise)));
    EXPECT_TRUE(codes.size() > 3u * 255 && codes == GreedyLzw(noise, 8));
}

TEST(GifRoundTrip, GiflibReadsRandomPicturesBack) {
    if (!testsupport::HaveGiflib)
        GTEST_SKIP() << "giflib (libgif-dev) is not installed";
    testsupport::TempDir dir;
    std::mt19937 rng(20240611);
    const int cases[][4] = {{1, 1, 8, 256},  {2000, 1200, 8, 256}, {1, 1200, 4, 16},
                            {2000, 1, 4, 5}, {613, 371, 8, 3},     {97, 45, 4, 11}};
    for (const auto& [w, h, bits, count] : cases) {
        std::vector<std::uint32_t> colors(std::size_t(count), 0);
        std::ranges::generate(colors, [&] { return rng() & 0xFFFFFF; });
        // Runs of a background colour with noise and lines, as a chart has.
        Bytes v(std::size_t(w) * std::size_t(h));
        for (std::size_t i = 0; i < v.size(); ++i)
            v[i] = std::uint8_t((rng() % 8 == 0 ? rng() : i % std::size_t(w) % 37 == 0 ? 7 : i / 97 % 3) % count);
        GifWriter writer;
        ASSERT_EQ(writer.Encode(MakeDibView(MakeSnapshot(w, h, bits, colors, v))), 1);
        ASSERT_EQ(writer.SaveToFile((dir.path() / "round.gif").c_str()), 1);
        std::string error;
        const auto gif = testsupport::DecodeGif(dir.path() / "round.gif", error);
        ASSERT_TRUE(gif) << w << "x" << h << " at " << bits << " bits: " << error;
        EXPECT_EQ(std::tie(gif->width, gif->height, gif->imageWidth, gif->imageHeight), std::tie(w, h, w, h));
        colors.resize(std::max<std::size_t>(2, std::bit_ceil(colors.size())), 0);  // padded with black
        EXPECT_EQ(gif->colors, colors) << w << "x" << h;
        EXPECT_TRUE(gif->indices == v) << w << "x" << h << " at " << bits << " bits";
    }
}

TEST(GifSaveToFile, ReplacesTheFileWholeOrLeavesItAndNoTemporary) {
    testsupport::TempDir dir;
    const fs::path target = dir.Write("picture.gif", "good old picture");
    GifWriter writer;
    ASSERT_EQ(writer.Encode(MakeDibView(MakeSnapshot(64, 32, 8, Ramp(256), Noise(64 * 32, 5)))), 1);
    // A write that fails part way: files are limited to 512 bytes meanwhile.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{512, saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const int limited = writer.SaveToFile(target.c_str());
    ::setrlimit(RLIMIT_FSIZE, &saved), std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(limited, 0);
    dir.Write("folder.gif/inside", "x");  // a folder in the way: the rename fails
    EXPECT_EQ(writer.SaveToFile((dir.path() / "folder.gif").c_str()), 0);
    EXPECT_EQ(testsupport::ReadFile(target), "good old picture");
    EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"folder.gif", "picture.gif"}));

    ASSERT_EQ(writer.SaveToFile(target.c_str()), 1);
    EXPECT_TRUE(testsupport::ReadFile(target) ==
                std::string(writer.buffer.data.get(), &writer.buffer.data[writer.buffer.length]));
    EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"folder.gif", "picture.gif"}));
}

// ------------------------------------------------------------- image map

const std::string Head =
    "document.write(\"<img src='Dravenholt.gif' width='701' height='500' alt='Dravenholt' "
    "usemap='#dhmap'style='border: 1px lightgrey solid;' />\");\r\n"
    "document.write(\"<map name='dhmap'>\");\r\n";
const std::string Tail = "document.write(\"</map>\");\r\n";

TEST(ImageMapScript, ExactLinesEscapedTextsAndAFreshScriptEachTime) {
    testsupport::TempDir dir;
    const fs::path gone = dir.path() / "gone";
    fs::create_directory(gone);
    {
        testsupport::ScopedCwd cwd(gone);
        fs::remove(gone);  // the working folder no longer exists: nothing can be created in it
        OpenImageMapScript(701, 500);
        AddMapArea(RECT{0, 0, 1, 1}, "l", "t");
        CloseImageMapScript();
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));  // and the next export starts afresh
    testsupport::ScopedCwd cwd(dir.path());
    const fs::path file = dir.path() / ImageMapScriptName;
    AddMapArea(RECT{0, 0, 1, 1}, "l", "t");  // nothing open: no file
    CloseImageMapScript();
    EXPECT_FALSE(fs::exists(file));
    dir.Write(ImageMapScriptName, "previous script");
    OpenImageMapScript(701, 500);
    AddMapArea(RECT{10, 20, 110, 35}, "http://example.com/a?b=1&c=2", "Opening bell");
    AddMapArea(RECT{-5, 0, 0, 2147483647}, nullptr, "");
    AddMapArea(RECT{1, 2, 3, 4}, "a'b\"c\\d", "x<y>z\r\n\tq&amp;");
    EXPECT_EQ(testsupport::ReadFile(file), "previous script");  // replaced only once complete
    CloseImageMapScript();
    AddMapArea(RECT{0, 0, 1, 1}, "late", "late");  // after closing: ignored
    const std::string area = "document.write(\"  <area shape='rect' coords='";
    EXPECT_EQ(testsupport::ReadFile(file),
              Head + area + "10,20,110,35' alt='Opening bell' href='http://example.com/a?b=1&c=2' />\");\r\n" + area +
                  "-5,0,0,2147483647' alt='' href='' />\");\r\n" + area +
                  "1,2,3,4' alt='x&lt;y&gt;z   q&amp;' href='a&#39;b&quot;c\\\\d' />\");\r\n" + Tail);
    OpenImageMapScript(701, 500);  // the next export starts afresh: three lines
    CloseImageMapScript();
    EXPECT_EQ(testsupport::ReadFile(file), Head + Tail);
    EXPECT_EQ(Entries(dir.path()), std::set<std::string>{ImageMapScriptName});  // no temporary left
}
