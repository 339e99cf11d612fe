// The GIF encoder: exact bytes of small pictures, the LZW code stream of
// larger ones (read back by a small decoder here), round trips through an
// independent decoder, and the all-or-nothing file write.
#include "export/gif_writer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "support/test_support.h"

#if defined(DH_HAVE_GIFLIB)
#include <gif_lib.h>
#endif

namespace fs = std::filesystem;
using exporting::ByteBuffer;
using exporting::DibSnapshot;
using exporting::DibView;
using exporting::GifWriter;
using exporting::MakeDibView;
using Bytes = std::vector<std::uint8_t>;

namespace {

void PutLE(std::uint8_t* at, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A snapshot block laid out as the capture makes it: length, file header,
// info header at 18, `colors` (0xRRGGBB) at 58, then the rows bottom first.
// `pixel(x, y)` gives the index at picture column x of picture row y (top 0).
DibSnapshot MakeSnapshot(int width, int height, int bits, const std::vector<std::uint32_t>& colors,
                         std::uint32_t colorsUsedField, const std::function<std::uint32_t(int, int)>& pixel) {
    const std::uint32_t stride = (static_cast<std::uint32_t>(bits * width) + 31) / 32 * 4;
    const std::uint32_t table = 4 * static_cast<std::uint32_t>(colors.size());
    const std::uint32_t length = 54 + table + stride * static_cast<std::uint32_t>(height);
    DibSnapshot s;
    s.size = length + 4;
    s.block.reset(new std::uint8_t[s.size]());
    std::uint8_t* b = s.block.get();
    PutLE(b, length, 4);
    b[4] = 'B';
    b[5] = 'M';
    PutLE(b + 6, stride * height + 40 + table + 14, 4);
    PutLE(b + 14, 54 + table, 4);
    PutLE(b + 18, 40, 4);
    PutLE(b + 22, static_cast<std::uint32_t>(width), 4);
    PutLE(b + 26, static_cast<std::uint32_t>(height), 4);
    PutLE(b + 30, 1, 2);
    PutLE(b + 32, static_cast<std::uint32_t>(bits), 2);
    PutLE(b + 38, stride * height, 4);
    PutLE(b + 50, colorsUsedField, 4);
    for (std::size_t i = 0; i < colors.size(); ++i) {
        b[58 + 4 * i] = static_cast<std::uint8_t>(colors[i]);
        b[58 + 4 * i + 1] = static_cast<std::uint8_t>(colors[i] >> 8);
        b[58 + 4 * i + 2] = static_cast<std::uint8_t>(colors[i] >> 16);
    }
    std::uint8_t* rows = b + 58 + table;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = rows + static_cast<std::size_t>(height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = pixel(x, y);
            if (bits == 8) {
                row[x] = static_cast<std::uint8_t>(p);
            } else if (bits == 4) {
                row[x / 2] |= static_cast<std::uint8_t>(x % 2 == 0 ? (p & 15) << 4 : (p & 15));
            }
        }
    }
    return s;
}

std::vector<std::uint32_t> GreyRamp(int count) {
    std::vector<std::uint32_t> colors;
    for (int i = 0; i < count; ++i) {
        const std::uint32_t v = static_cast<std::uint32_t>(i * 255 / std::max(count - 1, 1));
        colors.push_back((v << 16) | ((255 - v) << 8) | (i & 0xFF));
    }
    return colors;
}

Bytes Encode(const DibSnapshot& snapshot) {
    GifWriter writer;
    EXPECT_EQ(writer.Encode(MakeDibView(snapshot)), 1);
    EXPECT_TRUE(writer.Complete());
    return Bytes(writer.buffer.data.get(), writer.buffer.data.get() + writer.buffer.length);
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// The pieces of a single-image GIF87a file as this encoder writes them.
struct ParsedGif {
    int width = 0, height = 0, packed = 0, tableEntries = 0, minCodeSize = 0;
    Bytes colorTable;
    std::vector<int> subBlockSizes;
    Bytes data;  // the sub-blocks' bytes, joined
    bool trailer = false;
};

ParsedGif Parse(const Bytes& g) {
    ParsedGif p;
    EXPECT_GE(g.size(), 13u + 10u + 3u);
    EXPECT_EQ(std::string(g.begin(), g.begin() + 6), "GIF87a");
    p.width = g[6] | (g[7] << 8);
    p.height = g[8] | (g[9] << 8);
    p.packed = g[10];
    p.tableEntries = 1 << ((p.packed & 7) + 1);
    std::size_t at = 13;
    p.colorTable.assign(g.begin() + at, g.begin() + at + 3 * p.tableEntries);
    at += 3 * p.tableEntries;
    EXPECT_EQ(g[at], 0x2C);
    at += 10;
    p.minCodeSize = g[at++];
    while (at < g.size() && g[at] != 0) {
        const int n = g[at++];
        p.subBlockSizes.push_back(n);
        p.data.insert(p.data.end(), g.begin() + at, g.begin() + at + n);
        at += n;
    }
    EXPECT_LT(at + 1, g.size());
    p.trailer = at + 2 == g.size() && g[at + 1] == 0x3B;
    return p;
}

// A plain LZW decoder that records every code with the width it was read at.
struct Decoded {
    std::vector<std::pair<int, int>> codes;  // (code, width)
    Bytes indices;
    bool ok = false;
};

Decoded DecodeLzw(const Bytes& data, int minCodeSize) {
    Decoded d;
    const int clear = 1 << minCodeSize, end = clear + 1;
    std::vector<int> prefix(4096), suffix(4096), first(4096);
    int width = minCodeSize + 1, next = end + 1, previous = -1;
    std::size_t bitPos = 0;
    auto read = [&](int w) {
        int v = 0;
        for (int i = 0; i < w; ++i, ++bitPos) {
            if (bitPos / 8 >= data.size())
                return -1;
            v |= ((data[bitPos / 8] >> (bitPos % 8)) & 1) << i;
        }
        return v;
    };
    auto emit = [&](int code) {
        Bytes s;
        while (code > end) {
            s.push_back(static_cast<std::uint8_t>(suffix[code]));
            code = prefix[code];
        }
        s.push_back(static_cast<std::uint8_t>(code));
        d.indices.insert(d.indices.end(), s.rbegin(), s.rend());
    };
    for (;;) {
        const int code = read(width);
        if (code < 0)
            return d;
        d.codes.emplace_back(code, width);
        if (code == clear) {
            width = minCodeSize + 1;
            next = end + 1;
            previous = -1;
            continue;
        }
        if (code == end) {
            d.ok = true;
            return d;
        }
        if (previous < 0) {
            if (code > end)
                return d;
            emit(code);
            first[code] = code;
            previous = code;
            continue;
        }
        if (code > next || (code == next && next >= 4096))
            return d;
        int head;
        if (code < next) {
            int c = code;
            while (c > end)
                c = prefix[c];
            head = c;
        } else {
            int c = previous;
            while (c > end)
                c = prefix[c];
            head = c;
        }
        if (next < 4096) {
            prefix[next] = previous;
            suffix[next] = head;
            ++next;
            if (next == (1 << width) && width < 12)
                ++width;
        }
        emit(code);
        previous = code;
    }
}

Bytes IndicesOf(int width, int height, const std::function<std::uint32_t(int, int)>& pixel) {
    Bytes out;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            out.push_back(static_cast<std::uint8_t>(pixel(x, y)));
    return out;
}

}  // namespace

// ---------------------------------------------------------------- exact bytes

TEST(GifBytes, OnePixelAtEightBits) {
    const DibSnapshot s = MakeSnapshot(1, 1, 8, GreyRamp(256), 0, [](int, int) { return 5u; });
    Bytes table;
    for (std::uint32_t c : GreyRamp(256))
        table.insert(table.end(), {Bytes::value_type(c >> 16), Bytes::value_type(c >> 8), Bytes::value_type(c)});
    const Bytes expected = Concat({{'G', 'I', 'F', '8', '7', 'a', 1, 0, 1, 0, 0xF7, 0, 0},
                                   table,
                                   {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0},
                                   {0x08, 0x04, 0x00, 0x0B, 0x04, 0x04, 0x00},
                                   {0x3B}});
    EXPECT_EQ(Encode(s), expected);
}

TEST(GifBytes, UniformTwoByTwoAtEightBits) {
    const DibSnapshot s = MakeSnapshot(2, 2, 8, GreyRamp(256), 256, [](int, int) { return 1u; });
    const Bytes g = Encode(s);
    ASSERT_EQ(g.size(), 13u + 768 + 10 + 9 + 1);
    EXPECT_EQ(Bytes(g.begin() + 791, g.end()), (Bytes{0x08, 0x06, 0x00, 0x03, 0x08, 0x0C, 0x10, 0x10, 0x00, 0x3B}));
    const Decoded d = DecodeLzw(Parse(g).data, 8);
    EXPECT_EQ(d.codes, (std::vector<std::pair<int, int>>{{256, 9}, {1, 9}, {258, 9}, {1, 9}, {257, 9}}));
}

TEST(GifBytes, TwoByTwoAtFourBitsReadsEvenPixelsFromHighHalf) {
    const std::vector<std::uint32_t> colors = GreyRamp(16);
    const DibSnapshot s =
        MakeSnapshot(2, 2, 4, colors, 0, [](int x, int y) { return static_cast<std::uint32_t>(2 * y + x); });
    // The stored bytes themselves: top row 0,1 is stored last as 0x01.
    ASSERT_EQ(s.block[58 + 64 + 4], 0x01);
    ASSERT_EQ(s.block[58 + 64], 0x23);
    const Bytes g = Encode(s);
    Bytes table;
    for (std::uint32_t c : colors)
        table.insert(table.end(), {Bytes::value_type(c >> 16), Bytes::value_type(c >> 8), Bytes::value_type(c)});
    const Bytes expected = Concat({{'G', 'I', 'F', '8', '7', 'a', 2, 0, 2, 0, 0xF3, 0, 0},
                                   table,
                                   {0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0},
                                   {0x04, 0x04, 0x10, 0x04, 0x31, 0x22, 0x00},
                                   {0x3B}});
    EXPECT_EQ(g, expected);
}

TEST(GifBytes, ShortColourTableIsPaddedWithBlack) {
    const std::vector<std::uint32_t> colors = {0x102030, 0x405060, 0x708090, 0xA0B0C0, 0xD0E0F0};
    const DibSnapshot s =
        MakeSnapshot(3, 2, 8, colors, 5, [](int x, int y) { return static_cast<std::uint32_t>((x + y) % 5); });
    const ParsedGif p = Parse(Encode(s));
    EXPECT_EQ(p.packed, 0xF2);  // three table bits: 8 entries
    EXPECT_EQ(p.colorTable, (Bytes{0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80, 0x90, 0xA0, 0xB0, 0xC0,
                                   0xD0, 0xE0, 0xF0, 0,    0,    0,    0,    0,    0,    0,    0,    0}));
    EXPECT_EQ(p.minCodeSize, 3);
    const Decoded d = DecodeLzw(p.data, 3);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.indices, IndicesOf(3, 2, [](int x, int y) { return static_cast<std::uint32_t>((x + y) % 5); }));
}

TEST(GifBytes, TwoColoursUseTheSmallestCodeSize) {
    const DibSnapshot s = MakeSnapshot(5, 3, 8, {0x000000, 0xFFFFFF}, 2,
                                       [](int x, int y) { return static_cast<std::uint32_t>((x ^ y) & 1); });
    const ParsedGif p = Parse(Encode(s));
    EXPECT_EQ(p.packed, 0xF0);
    EXPECT_EQ(p.minCodeSize, 2);
    const Decoded d = DecodeLzw(p.data, 2);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.codes.front(), std::make_pair(4, 3));
    EXPECT_EQ(d.indices, IndicesOf(5, 3, [](int x, int y) { return static_cast<std::uint32_t>((x ^ y) & 1); }));
}

// --------------------------------------------------------------- code stream

TEST(GifCodes, SubBlocksHold255BytesButTheLast) {
    std::mt19937 rng(7);
    std::vector<std::uint8_t> noise(120 * 40);
    for (auto& v : noise)
        v = static_cast<std::uint8_t>(rng());
    auto pixel = [&](int x, int y) { return std::uint32_t{noise[static_cast<std::size_t>(y) * 120 + x]}; };
    const ParsedGif p = Parse(Encode(MakeSnapshot(120, 40, 8, GreyRamp(256), 0, pixel)));
    ASSERT_GT(p.subBlockSizes.size(), 3u);
    for (std::size_t i = 0; i + 1 < p.subBlockSizes.size(); ++i)
        EXPECT_EQ(p.subBlockSizes[i], 255) << i;
    EXPECT_GE(p.subBlockSizes.back(), 1);
    EXPECT_LE(p.subBlockSizes.back(), 255);
    EXPECT_TRUE(p.trailer);
}

TEST(GifCodes, FullCodeTableIsFollowedByTwelveBitClearAndNineBitCodes) {
    std::mt19937 rng(11);
    const int w = 300, h = 100;
    std::vector<std::uint8_t> noise(static_cast<std::size_t>(w) * h);
    for (auto& v : noise)
        v = static_cast<std::uint8_t>(rng());
    auto pixel = [&](int x, int y) { return std::uint32_t{noise[static_cast<std::size_t>(y) * w + x]}; };
    const ParsedGif p = Parse(Encode(MakeSnapshot(w, h, 8, GreyRamp(256), 0, pixel)));
    const Decoded d = DecodeLzw(p.data, 8);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.indices, IndicesOf(w, h, pixel));

    // Widths grow 9 -> 10 -> 11 -> 12 at codes 512, 1024 and 2048 entered;
    // the code written once 4095 is taken is followed by a 12-bit clear.
    ASSERT_EQ(d.codes.front(), std::make_pair(256, 9));
    int clears = 0;
    for (std::size_t i = 1; i < d.codes.size(); ++i) {
        if (d.codes[i].first != 256)
            continue;
        ++clears;
        EXPECT_EQ(d.codes[i].second, 12);
        ASSERT_LT(i + 1, d.codes.size());
        EXPECT_EQ(d.codes[i + 1].second, 9);
        EXPECT_EQ(d.codes[i - 1].second, 12);
    }
    EXPECT_GE(clears, 2);
    // Between the first two clears: one code per entry 258 .. 4095, each written
    // before its entry is made, plus the one that finds the table full.
    std::array<int, 13> perWidth{};
    for (std::size_t i = 1; i < d.codes.size() && d.codes[i].first != 256; ++i)
        ++perWidth[d.codes[i].second];
    EXPECT_EQ(perWidth[9], 255);
    EXPECT_EQ(perWidth[10], 512);
    EXPECT_EQ(perWidth[11], 1024);
    EXPECT_EQ(perWidth[12], 2048);
}

TEST(GifCodes, FourBitPicturesDecodeToTheirIndices) {
    std::mt19937 rng(3);
    for (int w : {1, 2, 3, 7, 64, 201}) {
        const int h = 1 + static_cast<int>(rng() % 90);
        std::vector<std::uint8_t> v(static_cast<std::size_t>(w) * h);
        for (auto& p : v)
            p = static_cast<std::uint8_t>(rng() % 16 < 12 ? 3 : rng() % 16);
        auto pixel = [&](int x, int y) { return std::uint32_t{v[static_cast<std::size_t>(y) * w + x]}; };
        const ParsedGif p = Parse(Encode(MakeSnapshot(w, h, 4, GreyRamp(16), 16, pixel)));
        EXPECT_EQ(p.width, w);
        EXPECT_EQ(p.height, h);
        const Decoded d = DecodeLzw(p.data, 4);
        ASSERT_TRUE(d.ok) << w;
        EXPECT_EQ(d.indices, IndicesOf(w, h, pixel)) << w;
    }
}

// ------------------------------------------------------------- inconsistent input

TEST(GifView, SnapshotsThatDoNotHoldTheirHeaderGiveNoView) {
    const auto pixel = [](int, int) { return 0u; };
    {
        DibSnapshot s = MakeSnapshot(10, 10, 8, GreyRamp(256), 0, pixel);
        EXPECT_NE(MakeDibView(s).header, nullptr);
        s.size -= 1;  // the last row no longer fits
        EXPECT_EQ(MakeDibView(s).header, nullptr);
    }
    {
        DibSnapshot s = MakeSnapshot(10, 10, 8, GreyRamp(256), 0, pixel);
        PutLE(s.block.get() + 26, 1000, 4);  // more rows than stored
        EXPECT_EQ(MakeDibView(s).header, nullptr);
    }
    {
        DibSnapshot s = MakeSnapshot(10, 10, 8, GreyRamp(256), 0, pixel);
        PutLE(s.block.get() + 18, 0xFFFFFFF0u, 4);  // absurd header size
        EXPECT_EQ(MakeDibView(s).header, nullptr);
    }
    {
        DibSnapshot s = MakeSnapshot(4, 4, 8, GreyRamp(256), 0, pixel);
        PutLE(s.block.get() + 50, 100000, 4);  // more colours than a GIF holds
        EXPECT_EQ(MakeDibView(s).header, nullptr);
    }
    {
        DibSnapshot s = MakeSnapshot(4, 4, 8, GreyRamp(256), 0, pixel);
        PutLE(s.block.get() + 26, 0xFFFFFFFCu, 4);  // a top-down height
        EXPECT_EQ(MakeDibView(s).header, nullptr);
    }
    DibSnapshot tiny;
    tiny.size = 20;
    tiny.block.reset(new std::uint8_t[20]());
    EXPECT_EQ(MakeDibView(tiny).header, nullptr);

    GifWriter writer;
    EXPECT_EQ(writer.Encode(DibView{}), 0);
    EXPECT_FALSE(writer.Complete());
}

// ------------------------------------------------------------------ ByteBuffer

TEST(GifByteBuffer, GrowsKeepingBytesAndZeroTail) {
    ByteBuffer b;
    for (int i = 0; i < 100000; ++i)
        b.Append(static_cast<std::uint8_t>(i * 7));
    ASSERT_EQ(b.length, 100000u);
    EXPECT_FALSE(b.failed);
    for (int i = 0; i < 100000; ++i)
        ASSERT_EQ(b.data[i], static_cast<std::uint8_t>(i * 7)) << i;
    for (std::uint32_t i = b.length; i < b.capacity; ++i)
        ASSERT_EQ(b.data[i], 0) << i;
    ASSERT_TRUE(b.Resize(10));
    for (std::uint32_t i = 10; i < b.capacity; ++i)
        ASSERT_EQ(b.data[i], 0) << i;
    EXPECT_EQ(b.data[9], static_cast<std::uint8_t>(63));
}

// ------------------------------------------------------------------ SaveToFile

namespace {

GifWriter& EncodedWriter(GifWriter& writer) {
    static const DibSnapshot s =
        MakeSnapshot(64, 32, 8, GreyRamp(256), 0, [](int x, int y) { return static_cast<std::uint32_t>(x * y % 251); });
    writer.Encode(MakeDibView(s));
    return writer;
}

std::vector<std::string> Entries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(GifSaveToFile, WritesTheBufferAndReplacesAnExistingFile) {
    testsupport::TempDir dir;
    const fs::path target = dir.Write("picture.gif", "old contents");
    GifWriter writer;
    EncodedWriter(writer);
    ASSERT_EQ(writer.SaveToFile(target.c_str()), 1);
    EXPECT_EQ(testsupport::ReadFile(target),
              std::string(reinterpret_cast<const char*>(writer.buffer.data.get()), writer.buffer.length));
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"picture.gif"});
}

TEST(GifSaveToFile, FailedCreationLeavesNothing) {
    testsupport::TempDir dir;
    GifWriter writer;
    EncodedWriter(writer);
    // A folder that no longer exists: nothing can be created in it, even by root.
    const fs::path gone = dir.path() / "gone";
    fs::create_directory(gone);
    fs::remove(gone);
    EXPECT_EQ(writer.SaveToFile((gone / "picture.gif").c_str()), 0);
    // A target that is a folder: the rename fails, the temporary goes.
    fs::create_directory(dir.path() / "picture.gif");
    dir.Write("picture.gif/inside", "x");
    EXPECT_EQ(writer.SaveToFile((dir.path() / "picture.gif").c_str()), 0);
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"picture.gif"});
    EXPECT_TRUE(fs::is_directory(dir.path() / "picture.gif"));
}

TEST(GifSaveToFile, ReadOnlyFolderGetsNoFile) {
    testsupport::TempDir dir;
    const fs::path target = dir.Write("picture.gif", "good old picture");
    ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
    GifWriter writer;
    EncodedWriter(writer);
    // Root ignores folder permissions; act as an unprivileged user meanwhile.
    const bool root = ::geteuid() == 0;
    if (root && ::seteuid(65534) != 0)
        GTEST_SKIP() << "cannot drop root privileges";
    const int replaced = writer.SaveToFile(target.c_str());
    const int created = writer.SaveToFile((dir.path() / "new.gif").c_str());
    if (root) {
        ASSERT_EQ(::seteuid(0), 0);
    }
    ::chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(replaced, 0);
    EXPECT_EQ(created, 0);
    EXPECT_EQ(testsupport::ReadFile(target), "good old picture");
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"picture.gif"});
}

TEST(GifSaveToFile, FailedWriteKeepsTheExistingFile) {
    testsupport::TempDir dir;
    const fs::path target = dir.Write("picture.gif", "good old picture");
    GifWriter writer;
    EncodedWriter(writer);
    ASSERT_GT(writer.buffer.length, 1000u);

    // Limit the size of any file written to 512 bytes: the write fails part way.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 512;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const int result = writer.SaveToFile(target.c_str());
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(result, 0);
    EXPECT_EQ(testsupport::ReadFile(target), "good old picture");
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"picture.gif"});
}

TEST(GifSaveToFile, IncompleteEncodingIsNotWritten) {
    testsupport::TempDir dir;
    GifWriter writer;
    writer.Encode(DibView{});
    EXPECT_EQ(writer.SaveToFile((dir.path() / "picture.gif").c_str()), 0);
    EXPECT_TRUE(Entries(dir.path()).empty());
}

// ------------------------------------------------------------ giflib round trip

TEST(GifRoundTrip, IndependentDecoderReadsRandomPictures) {
#if !defined(DH_HAVE_GIFLIB)
    GTEST_SKIP() << "giflib (libgif-dev) is not installed";
#else
    testsupport::TempDir dir;
    std::mt19937 rng(20240611);
    const std::vector<std::pair<int, int>> fixed = {{1, 1}, {2000, 1200}, {1, 1200}, {2000, 1}, {255, 3}};
    for (int round = 0; round < 16; ++round) {
        const int bits = round % 2 == 0 ? 8 : 4;
        int w, h;
        if (round < static_cast<int>(fixed.size())) {
            std::tie(w, h) = fixed[round];
        } else {
            w = 1 + static_cast<int>(rng() % 2000);
            h = 1 + static_cast<int>(rng() % 1200);
        }
        // Mix runs of a background colour with noise and a few lines, as a chart has.
        const std::uint32_t colorsUsed =
            bits == 8 ? (round % 4 == 0 ? 256 : 1 + rng() % 256) : (round % 3 == 0 ? 16 : 1 + rng() % 16);
        const std::uint32_t stored = colorsUsed;
        std::vector<std::uint32_t> colors;
        for (std::uint32_t i = 0; i < stored; ++i)
            colors.push_back(rng() & 0xFFFFFF);
        std::vector<std::uint8_t> v(static_cast<std::size_t>(w) * h);
        const int mode = static_cast<int>(rng() % 3);
        for (std::size_t i = 0; i < v.size(); ++i) {
            std::uint32_t p = 0;
            if (mode == 0) {
                p = rng();
            } else if (mode == 1) {
                p = (rng() % 50 == 0) ? rng() : ((i / 97) % 3);
            } else {
                p = (i % static_cast<std::size_t>(w)) % 37 == 0 ? 7 : 0;
            }
            v[i] = static_cast<std::uint8_t>(p % colorsUsed);
        }
        auto pixel = [&](int x, int y) { return std::uint32_t{v[static_cast<std::size_t>(y) * w + x]}; };
        const DibSnapshot s = MakeSnapshot(w, h, bits, colors, colorsUsed, pixel);

        GifWriter writer;
        ASSERT_EQ(writer.Encode(MakeDibView(s)), 1);
        const fs::path file = dir.path() / "round.gif";
        ASSERT_EQ(writer.SaveToFile(file.c_str()), 1);

        int error = 0;
        GifFileType* gif = DGifOpenFileName(file.c_str(), &error);
        ASSERT_NE(gif, nullptr) << GifErrorString(error);
        ASSERT_EQ(DGifSlurp(gif), GIF_OK)
            << "round " << round << " " << w << "x" << h << " bits " << bits << ": " << GifErrorString(gif->Error);
        EXPECT_EQ(gif->SWidth, w);
        EXPECT_EQ(gif->SHeight, h);
        ASSERT_EQ(gif->ImageCount, 1);
        ASSERT_NE(gif->SColorMap, nullptr);
        int tableSize = 2;
        while (tableSize < static_cast<int>(colorsUsed))
            tableSize *= 2;
        ASSERT_EQ(gif->SColorMap->ColorCount, tableSize);
        for (int i = 0; i < tableSize; ++i) {
            const std::uint32_t want = i < static_cast<int>(stored) ? colors[i] : 0;
            const GifColorType c = gif->SColorMap->Colors[i];
            ASSERT_EQ((std::uint32_t{c.Red} << 16) | (std::uint32_t{c.Green} << 8) | c.Blue, want) << i;
        }
        const SavedImage& image = gif->SavedImages[0];
        ASSERT_EQ(image.ImageDesc.Width, w);
        ASSERT_EQ(image.ImageDesc.Height, h);
        EXPECT_EQ(0, std::memcmp(image.RasterBits, v.data(), v.size()))
            << "round " << round << " " << w << "x" << h << " bits " << bits;
        DGifCloseFile(gif, &error);
    }
#endif
}
