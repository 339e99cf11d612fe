// The export pieces: colour reduction of a window's pixels; the GIF encoder's
// exact bytes, codes and sub-blocks, and round trips through an independent
// decoder; the image-map script's lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "export/color_reduction.h"
#include "export/gif_writer.h"
#include "export/image_map.h"
#include "export/snapshot.h"
#include "export/standby_thread.h"
#include "platform/backend.h"
#include "platform/whole_file.h"
#include "support/e2e_support.h"
#include "support/memory_picture.h"
#include "support/test_support.h"

using namespace exporting;
using Bytes = std::vector<std::uint8_t>;
using Colors = std::vector<std::uint32_t>;
using testsupport::MemoryPicture;

namespace {

Colors Ramp(int count) {
    Colors colors;
    for (int i = 0; i < count; ++i)
        colors.push_back(std::uint32_t(i * 255 / std::max(count - 1, 1)) << 16 | std::uint32_t(255 - i) << 8 | 7);
    return colors;
}

Bytes Encode(std::uint32_t w, std::uint32_t h, Colors colors, Bytes indices) {
    const auto gif = EncodeGif(IndexedPicture{w, h, std::move(indices), std::move(colors)});
    EXPECT_TRUE(gif.has_value()) << w << "x" << h;
    return gif.value_or(Bytes{});
}

// A dialog with no controls (style WS_POPUP); the backend sets its size.
alignas(4) constexpr WORD BlankDialog[12] = {0x0000, 0x8000};

INT_PTR LeaveAllToTheDialogManager(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

// `picture` shown in a headless dialog whose client area it fills, reduced
// from the dialog's pixels as the export reduces the chart area (empty when
// that fails); `stripRows` gets the snapshot's strip height.
// With `handedOverGif`, also the bytes of encoding beside the reduction as
// the export does, and in `starts` how often the rows were handed over from
// the top.
IndexedPicture ReduceShown(const MemoryPicture& picture, std::span<const COLORREF> keep,
                           std::uint32_t* stripRows = nullptr, Bytes* handedOverGif = nullptr,
                           std::uint32_t* starts = nullptr) {
    platform::HeadlessConfig config;
    config.initialClientSize = SIZE{picture.width, picture.height};
    platform::UseHeadlessBackend(std::move(config));
    HWND dialog = CreateDialogIndirectParamA(nullptr, reinterpret_cast<LPCDLGTEMPLATEA>(BlankDialog), nullptr,
                                             LeaveAllToTheDialogManager, 0);
    HDC dc = GetDC(dialog);
    BitBlt(dc, 0, 0, picture.width, picture.height, picture.dc, 0, 0, SRCCOPY);
    ReleaseDC(dialog, dc);
    std::optional<IndexedPicture> reduced;
    if (std::optional<WindowSnapshot> snapshot = WindowSnapshot::Open(dialog)) {
        if (stripRows != nullptr)
            *stripRows = snapshot->stripRows();
        reduced = ReduceColors(*snapshot, keep);
        if (handedOverGif != nullptr) {
            // As the export does: the encoder on a thread of its own, taking
            // the rows as the reduction hands them over.
            IndexedPicture again;
            RowHandOff rows;
            std::optional<Bytes> data;
            std::thread encoder([&] { data = EncodeGifImageData(picture.width, picture.height, 256, rows); });
            const bool done = ReduceColorsHandingOver(*snapshot, keep, again, rows);
            encoder.join();
            EXPECT_TRUE(done && data);
            *handedOverGif = data ? AssembleGif(again, *data).value_or(Bytes{}) : Bytes{};
            if (starts != nullptr)
                *starts = rows.Generation() + 1;
        }
    }
    DestroyWindow(dialog);
    EXPECT_TRUE(reduced && reduced->indices.size() == std::size_t(picture.width) * std::size_t(picture.height));
    return reduced.value_or(IndexedPicture{});
}

}  // namespace

// ---------------------------------------------------------- colour reduction

TEST(ReduceColors, FewColoursKeepTheirOwnEntriesInOrderOfFirstAppearanceWhateverIsKept) {
    const COLORREF G = RGB(0, 128, 0), R = RGB(255, 0, 0), B = RGB(0, 0, 255), W = RGB(255, 255, 255);
    MemoryPicture picture(4, 3);
    const COLORREF pixels[12] = {G, G, R, B, RGB(0, 0, 0), W, W, R, B, B, B, B};
    for (int k = 0; k < 12; ++k)
        SetPixel(picture.dc, k % 4, k / 4, pixels[k]);
    Colors expected = {0x008000, 0xFF0000, 0x0000FF, 0x000000, 0xFFFFFF};
    expected.resize(256, 0);  // the rest black
    for (const std::vector<COLORREF>& keep : {std::vector<COLORREF>{}, {W, R}, {RGB(1, 2, 3)}}) {
        SCOPED_TRACE(testing::Message() << keep.size() << " colours to keep");
        const IndexedPicture reduced = ReduceShown(picture, keep);
        EXPECT_EQ(reduced.colors, expected);
        EXPECT_EQ(reduced.indices, (Bytes{0, 0, 1, 2, 3, 4, 4, 1, 2, 2, 2, 2}));
    }
}

// 269 colours in 20 x 14 pixels: S_264 down to S_0 once each, where S_i is
// (4 * (i / 128), 2 * (i % 128), 64) and so grows in value with i; then
// (250,100,155) once, red three times, blue twice, white nine times.
TEST(ReduceColors, ManyColoursKeepTheListedOnesThenTheMostFrequentAndMapTheRestToTheNearest) {
    const auto S = [](int i) { return RGB(4 * (i / 128), 2 * (i % 128), 64); };
    const COLORREF red = RGB(255, 0, 0), blue = RGB(0, 0, 255), white = RGB(255, 255, 255);
    MemoryPicture picture(20, 14, white);
    for (int k = 0; k <= 264; ++k)
        SetPixel(picture.dc, k % 20, k / 20, S(264 - k));
    const COLORREF rest[6] = {RGB(250, 100, 155), red, red, red, blue, blue};
    for (int k = 265; k < 271; ++k)
        SetPixel(picture.dc, k % 20, k / 20, rest[k - 265]);

    // Kept in the list's order (magenta is not in the picture, blue only
    // once), then white, then the 253 singles of the lowest value.
    const IndexedPicture reduced = ReduceShown(picture, std::vector{blue, RGB(255, 0, 255), red, blue});
    Colors table = {0x0000FF, 0xFF0000, 0xFFFFFF};
    for (int i = 0; i <= 252; ++i)
        table.push_back(std::uint32_t(4 * (i / 128)) << 16 | std::uint32_t(2 * (i % 128)) << 8 | 64);
    EXPECT_EQ(reduced.colors, table);

    // The rest to their nearest: S_253 (4,250,64) to S_252 (4,248,64);
    // S_254 (4,252,64), as near to S_126 (0,252,64) as to S_252, to the lower
    // index; S_255 to S_127; S_256+j (8,2j,64) to S_128+j; (250,100,155), as
    // near to red as to white, to red.
    const auto index = [](int i) {
        return i <= 252 ? 3 + i : i == 253 ? 255 : i < 256 ? 129 + (i - 254) : 131 + (i - 256);
    };
    for (int i = 0; i <= 264; ++i)
        EXPECT_EQ(reduced.indices.at(std::size_t(264 - i)), index(i)) << "S_" << i;
    EXPECT_EQ(Bytes(reduced.indices.begin() + 265, reduced.indices.end()),
              (Bytes{1, 1, 1, 1, 0, 0, 2, 2, 2, 2, 2, 2, 2, 2, 2}));
}

// 65535 pixels wide, the widest a GIF holds, the snapshot reads one row at a
// time: every row is a strip of its own.
constexpr int WideWidth = 65535, WideHeight = 10;

void ExpectReducedRowByRow(const MemoryPicture& picture, const Colors& table, const Bytes& expected) {
    std::uint32_t stripRows = 0;
    const IndexedPicture reduced = ReduceShown(picture, {}, &stripRows);
    EXPECT_EQ(stripRows, 1u);
    EXPECT_EQ(reduced.colors, table);
    EXPECT_TRUE(reduced.indices == expected);
}

// Runs of one to seventy pixels of five colours, in rows of widths about
// the 64-pixel blocks the runs' ends are looked for in: each pixel's index is
// its colour's place in order of first appearance, whichever way the rows are
// counted.
TEST(ReduceColors, RunsOfEveryLengthAboutTheBlocksOfSixtyFourGiveEachPixelItsNumber) {
    const COLORREF palette[5] = {RGB(255, 255, 255), RGB(0, 0, 0), RGB(255, 0, 0), RGB(0, 0, 255), RGB(9, 99, 9)};
    std::mt19937 rng(23);
    for (const int w : {1, 2, 63, 64, 65, 127, 128, 129, 191}) {
        SCOPED_TRACE(w);
        const int h = 6;
        MemoryPicture picture(w, h);
        std::vector<int> order;
        Bytes expected;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w;) {
                const int length = std::min<int>(w - x, y == 0 ? 1 : 1 + int(rng() % 70));
                const int c = int(rng() % 5);
                picture.Fill(RECT{x, y, x + length, y + 1}, palette[c]);
                auto at = std::ranges::find(order, c);
                if (at == order.end())
                    at = order.insert(order.end(), c);
                expected.insert(expected.end(), std::size_t(length), std::uint8_t(at - order.begin()));
                x += length;
            }
        }
        Colors table;
        for (const int c : order)
            table.push_back(std::uint32_t(GetRValue(palette[c])) << 16 | std::uint32_t(GetGValue(palette[c])) << 8 |
                            GetBValue(palette[c]));
        table.resize(256, 0);
        Bytes handedOver;
        const IndexedPicture reduced = ReduceShown(picture, {}, nullptr, &handedOver);
        EXPECT_EQ(reduced.colors, table);
        EXPECT_TRUE(reduced.indices == expected);
        EXPECT_EQ(handedOver, Encode(std::uint32_t(w), std::uint32_t(h), table, expected));
    }
}

// Row y: its left half (10 + y, 0, 0), its right half (0, 10 + y, 0).
TEST(ReduceColorsInStrips, FirstAppearancesInLaterStripsComeInTheirOrder) {
    MemoryPicture picture(WideWidth, WideHeight);
    Colors table;
    Bytes expected;
    for (int y = 0; y < WideHeight; ++y) {
        picture.Fill(RECT{0, y, WideWidth / 2, y + 1}, RGB(10 + y, 0, 0));
        picture.Fill(RECT{WideWidth / 2, y, WideWidth, y + 1}, RGB(0, 10 + y, 0));
        table.insert(table.end(), {std::uint32_t(10 + y) << 16, std::uint32_t(10 + y) << 8});
        expected.insert(expected.end(), WideWidth / 2, std::uint8_t(2 * y));
        expected.insert(expected.end(), WideWidth - WideWidth / 2, std::uint8_t(2 * y + 1));
    }
    table.resize(256, 0);
    ExpectReducedRowByRow(picture, table, expected);
}

// On white: A_i = (0, 0, i + 1) once each in row 1 (the first strip), grey
// three times in row 5 (the second), B_j = (200, j, 0) twice each in row 9
// (the last): 301 colours, ranked by counts from every strip.
TEST(ReduceColorsInStrips, CountsFromEveryStripChooseTheTable) {
    MemoryPicture picture(WideWidth, WideHeight);
    Bytes expected(std::size_t(WideWidth) * WideHeight, 0);
    Colors table = {0xFFFFFF, 0x5A5A5A};
    for (int i = 0; i < 200; ++i) {
        SetPixel(picture.dc, 10 * i, 1, RGB(0, 0, i + 1));
        expected[WideWidth + 10 * i] = std::uint8_t(std::min(102 + i, 255));  // A_154 on: nearest A_153
        if (i < 154)
            table.push_back(std::uint32_t(i + 1));
    }
    picture.Fill(RECT{50000, 5, 50003, 6}, RGB(90, 90, 90));
    std::fill_n(&expected[5 * WideWidth + 50000], 3, 1);
    for (int j = 0; j < 100; ++j) {
        picture.Fill(RECT{100 * j, 9, 100 * j + 2, 10}, RGB(200, j, 0));
        std::fill_n(&expected[9 * WideWidth + 100 * j], 2, std::uint8_t(2 + j));
        table.insert(table.begin() + 2 + j, 0xC80000 | std::uint32_t(j) << 8);
    }
    ExpectReducedRowByRow(picture, table, expected);
}

// Colours beyond the table's 256 are left by the census for the mapping,
// run by run, up to a bound; past it the window is read again. Either way a
// pixel's index depends on its colour alone: the same 300 colours with the
// same counts, once in long runs and once scattered into single pixels (more
// runs than the bound), give one table and one index for each colour.
TEST(ReduceColors, ColoursBeyondTheTableMapAlikeInFewRunsAndInCountlessOnes) {
    const auto C = [](int i) { return RGB(i % 256, 60 + i / 256, 90); };
    const int w = 400, h = 200;
    MemoryPicture runs(w, h, RGB(255, 255, 255)), scattered(w, h, RGB(255, 255, 255));
    for (int i = 0; i < 300; ++i) {
        SetPixel(runs.dc, i, 0, C(i));  // first appearances in this order in both
        SetPixel(scattered.dc, i, 0, C(i));
    }
    // Rows 2 and below: 45 colours (two of them among the first 256) 400
    // times each, as four 100-pixel runs or as every other pixel.
    for (int k = 0; k < 45; ++k) {
        const int i = 254 + k;
        for (int n = 0; n < 400; ++n) {
            const int at = 2 * (k * 400 + n);  // in the scattered picture
            SetPixel(scattered.dc, at % w, 2 + at / w, C(i));
        }
        for (int r = 0; r < 4; ++r)
            runs.Fill(RECT{(r % 2) * 200, 2 + 2 * k + r / 2, (r % 2) * 200 + 100, 3 + 2 * k + r / 2}, C(i));
    }
    const IndexedPicture a = ReduceShown(runs, {}), b = ReduceShown(scattered, {});
    ASSERT_EQ(a.colors, b.colors);
    const auto indexOf = [](const MemoryPicture& picture, const IndexedPicture& reduced) {
        std::map<COLORREF, std::set<int>> seen;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                seen[GetPixel(picture.dc, x, y)].insert(reduced.indices[std::size_t(y) * w + std::size_t(x)]);
        return seen;
    };
    const auto seenA = indexOf(runs, a), seenB = indexOf(scattered, b);
    EXPECT_EQ(seenA, seenB);
    for (const auto& [color, indices] : seenA)
        EXPECT_EQ(indices.size(), 1u) << std::hex << color;
    EXPECT_EQ(seenA.size(), 301u);
}

// Two threads count the colours, one the upper half of the strips, one the
// lower. A picture's table and each colour's index depend on the colours and
// their counts alone: the same 300 colours (and white) in the upper half, in
// the lower half (beyond 256 there by themselves) or split between the two
// give one table and one index per colour.
TEST(ReduceColorsInStrips, TheHalvesCountedApartMakeOneCensus) {
    const int w = 4096, h = 64;  // strips of 4 rows: the lower half begins at row 32
    const auto C = [](int i) { return RGB(i % 256, 40 + i / 256, 200); };
    const auto picture = [&](auto rowOf) {
        auto p = std::make_unique<MemoryPicture>(w, h, RGB(255, 255, 255));
        for (int i = 0; i < 300; ++i)
            p->Fill(RECT{i * 13, rowOf(i), i * 13 + 1 + i % 5, rowOf(i) + 1}, C(i));
        return p;
    };
    const auto upper = picture([](int i) { return i % 30; });
    const auto lower = picture([](int i) { return 33 + i % 30; });
    const auto both = picture([](int i) { return i < 150 ? i % 30 : 33 + i % 30; });
    std::uint32_t stripRows = 0;
    const IndexedPicture a = ReduceShown(*upper, {}, &stripRows), b = ReduceShown(*lower, {}), c = ReduceShown(*both, {});
    ASSERT_EQ(stripRows, 4u);
    EXPECT_EQ(a.colors, b.colors);
    EXPECT_EQ(a.colors, c.colors);
    const auto indexOf = [&](const MemoryPicture& p, const IndexedPicture& reduced) {
        std::map<COLORREF, std::set<int>> seen;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                seen[GetPixel(p.dc, x, y)].insert(reduced.indices[std::size_t(y) * w + std::size_t(x)]);
        return seen;
    };
    const auto seenA = indexOf(*upper, a);
    EXPECT_EQ(seenA.size(), 301u);
    for (const auto& [color, indices] : seenA)
        EXPECT_EQ(indices.size(), 1u) << std::hex << color;
    EXPECT_EQ(indexOf(*lower, b), seenA);
    EXPECT_EQ(indexOf(*both, c), seenA);
}

// The encoder beside the reduction writes the bytes the two in turn write.
// Rows go over as the census reads them; colours beyond the table turning up
// in the lower half renumber those rows while the upper half's colours keep
// entries of their own (white is the most frequent and goes first, navy came
// first), and void them when two of them share one (a near-white pixel, the
// least frequent, takes white's). Countless colours below (too many runs
// to list) make the mapping read the window again, lower rows first.
TEST(EncodingWhileReducing, GivesTheBytesOfReducingThenEncoding) {
    struct Case {
        int late;
        bool nearWhite, countless;
    };
    for (const auto& [late, nearWhite, countless] :
         {Case{0, false, false}, {150, false, false}, {300, false, false}, {300, true, false}, {0, false, true}}) {
        SCOPED_TRACE(testing::Message() << late << (nearWhite ? " near white" : "") << (countless ? " countless" : ""));
        MemoryPicture picture(300, 700, RGB(255, 255, 255));
        picture.Fill(RECT{0, 0, 150, 400}, RGB(0, 0, 128));
        for (int i = 0; i < late; ++i)
            SetPixel(picture.dc, i, 650, RGB(i % 256, i / 256, 77));
        if (nearWhite)
            SetPixel(picture.dc, 200, 5, RGB(255, 255, 254));
        std::mt19937 rng(5);
        for (int y = 450; countless && y < 700; ++y)
            for (int x = 0; x < 300; ++x)
                SetPixel(picture.dc, x, y, RGB(rng() % 40, rng() % 50, 200));
        std::uint32_t stripRows = 0, starts = 0;
        Bytes handedOver;
        const IndexedPicture reduced = ReduceShown(picture, {}, &stripRows, &handedOver, &starts);
        ASSERT_LT(stripRows, 300u);  // the late colours are in the lower half
        EXPECT_EQ(handedOver, Encode(reduced.width, reduced.height, reduced.colors, reduced.indices));
        EXPECT_EQ(starts, nearWhite ? 2u : 1u);
    }
    // Abandoned rows stop the encoder.
    RowHandOff rows;
    std::optional<Bytes> data = Bytes{1};
    std::thread encoder([&] { data = EncodeGifImageData(10, 10, 256, rows); });
    const Bytes row(100, 0);
    rows.Publish(row.data(), 3);
    rows.Abandon();
    encoder.join();
    EXPECT_FALSE(data);
}

// Rows handed over as numbers, then renumbered one-to-one, give the bytes of
// the renumbered picture encoded afresh, wherever the encoder was when the
// renumbering came: before its first row, amid the numbered rows or waiting
// past them; with codes of single pixels in sent sub-blocks, in the pending
// one and in the last bits; across clears.
TEST(EncodingWhileReducing, RenumberedRowsGiveTheBytesOfTheirIndices) {
    std::mt19937 rng(7);
    const std::uint32_t w = 240, h = 90;
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        Bytes numbers(std::size_t(w) * h);
        const int colors = round % 2 ? 256 : 6;  // noise: codes of single pixels everywhere, clears
        for (std::size_t i = 0; i < numbers.size(); ++i)
            numbers[i] = round % 4 < 2 ? std::uint8_t(rng() % colors) : std::uint8_t(i / 97 % colors);
        Renumbering renumbering;
        std::iota(renumbering.begin(), renumbering.end(), 0);
        std::shuffle(renumbering.begin(), renumbering.end(), rng);
        const std::uint32_t split = round < 4 ? std::uint32_t(round) * h / 3 : rng() % (h + 1);
        Bytes indices = numbers;  // rows [0, split) keep numbers until the encoder is past them
        for (std::size_t i = std::size_t(split) * w; i < indices.size(); ++i)
            indices[i] = renumbering[numbers[i]];

        RowHandOff rows;
        std::optional<Bytes> data;
        const bool firstAll = round % 5 == 0;
        if (firstAll) {
            rows.Publish(indices.data(), split);
            rows.Renumber(renumbering);
            rows.Publish(indices.data(), h);
        }
        std::thread encoder([&] { data = EncodeGifImageData(w, h, 256, rows); });
        if (!firstAll) {
            rows.Publish(indices.data(), split);
            for (std::uint32_t spin = rng() % 20000; spin > 0; --spin)
                std::this_thread::yield();
            rows.Renumber(renumbering);
            rows.Publish(indices.data(), h);
        }
        rows.WaitUntilRenumberedRowsRead();
        for (std::size_t i = 0; i < std::size_t(split) * w; ++i)
            indices[i] = renumbering[numbers[i]];
        encoder.join();
        ASSERT_TRUE(data);
        EXPECT_EQ(rows.Generation(), 0u);
        const auto gif = AssembleGif(IndexedPicture{w, h, indices, Ramp(256)}, *data);
        ASSERT_TRUE(gif);
        EXPECT_TRUE(*gif == Encode(w, h, Ramp(256), indices));
    }
}

// A helper made ahead runs the one piece of work it is given on its own
// thread; a second is refused; one given nothing ends with its owner, and one
// whose work was not waited for finishes it before its owner goes on.
TEST(StandbyThreads, RunTheirOneWorkElsewhereAndEndWithTheirOwner) {
    std::thread::id ranOn;
    {
        StandbyThread helper;
        ASSERT_TRUE(helper.Run([&] { ranOn = std::this_thread::get_id(); }));
        EXPECT_FALSE(helper.Run([] {}));
        helper.Wait();
        EXPECT_NE(ranOn, std::thread::id{});
        EXPECT_NE(ranOn, std::this_thread::get_id());
    }
    { StandbyThread idle; }
    std::atomic<bool> finished{false};
    {
        StandbyThread unwaited;
        ASSERT_TRUE(unwaited.Run([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            finished = true;
        }));
    }
    EXPECT_TRUE(finished);
}

// Runs, single bytes and every length about the eight-byte steps, into
// another buffer and in place: each byte is its table entry.
TEST(MapBytes, EveryByteTakesItsEntryWhateverItsNeighbours) {
    ByteTable table;
    for (int n = 0; n < 256; ++n)
        table[n] = std::uint8_t(n * 37 + 11);
    std::mt19937 rng(3);
    for (std::size_t length = 0; length <= 40; ++length) {
        for (int round = 0; round < 20; ++round) {
            Bytes from(length);
            for (std::size_t i = 0; i < length;) {
                const std::size_t run = std::min<std::size_t>(length - i, 1 + rng() % (round % 2 ? 3 : 17));
                std::fill_n(from.begin() + std::ptrdiff_t(i), run, std::uint8_t(rng() % 4 == 0 ? 255 : rng()));
                i += run;
            }
            Bytes expected(length);
            std::ranges::transform(from, expected.begin(), [&](std::uint8_t b) { return table[b]; });
            Bytes to(length, 0);
            MapBytes(from.data(), to.data(), length, table);
            EXPECT_EQ(to, expected) << length;
            MapBytes(from.data(), from.data(), length, table);
            EXPECT_EQ(from, expected) << length;
        }
    }
}

// ---------------------------------------------------------------- GIF bytes

TEST(GifBytes, WorkedExamplesAndBlackPadding) {
    struct Example {
        const char* name;
        std::uint8_t w, h;
        int colors;
        Bytes pixels;
        std::uint8_t packed;
        Bytes image;  // code size, sub-blocks, terminator; empty: not checked
    };
    // clang-format off
    const Example examples[] = {
        {"one pixel", 1, 1, 256, {5}, 0xF7, {0x08, 0x04, 0x00, 0x0B, 0x04, 0x04, 0x00}},
        {"one colour", 2, 2, 256, {1, 1, 1, 1}, 0xF7, {0x08, 0x06, 0x00, 0x03, 0x08, 0x0C, 0x10, 0x10, 0x00}},
        {"sixteen colours", 2, 2, 16, {0, 1, 2, 3}, 0xF3, {0x04, 0x04, 0x10, 0x04, 0x31, 0x22, 0x00}},
        {"indices beyond the table", 2, 2, 16, {0x10, 0x21, 0xF2, 0x33}, 0xF3,
         {0x04, 0x04, 0x10, 0x04, 0x31, 0x22, 0x00}},
        {"five colours: a table of eight, three black", 3, 2, 5, {0, 1, 2, 1, 2, 3}, 0xF2, {}},
        {"one colour: a table of two", 1, 1, 1, {0}, 0xF0, {}},
    };
    // clang-format on
    for (const Example& e : examples) {
        SCOPED_TRACE(e.name);
        const Colors colors = Ramp(e.colors);
        Bytes expected = {'G', 'I', 'F', '8', '7', 'a', e.w, 0, e.h, 0, e.packed, 0, 0};
        for (int i = 0; i < 2 << (e.packed & 7); ++i) {
            const std::uint32_t c = i < e.colors ? colors[std::size_t(i)] : 0;
            expected.insert(expected.end(), {std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c)});
        }
        expected.insert(expected.end(), {0x2C, 0, 0, 0, 0, e.w, 0, e.h, 0, 0});
        expected.insert(expected.end(), e.image.begin(), e.image.end());
        Bytes got = Encode(e.w, e.h, colors, e.pixels);
        if (e.image.empty())
            got.resize(expected.size());
        else
            expected.push_back(0x3B);
        EXPECT_EQ(got, expected);
    }
}

TEST(GifBytes, PicturesAGifCannotHoldGiveNoFile) {
    const struct {
        const char* name;
        IndexedPicture picture;
        bool encodes;
    } cases[] = {
        {"256 colours", {1, 1, {0}, Colors(256, 0)}, true},
        {"257 colours", {1, 1, {0}, Colors(257, 0)}, false},
        {"65535 wide", {65535, 1, Bytes(65535, 0), Colors(2, 0)}, true},
        {"65536 wide", {65536, 0, {}, Colors(2, 0)}, false},
        {"65536 high", {0, 65536, {}, Colors(2, 0)}, false},
        {"fewer indices than pixels", {2, 2, {0, 0, 0}, Colors(2, 0)}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EncodeGif(c.picture).has_value(), c.encodes) << c.name;
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

// The LZW bytes of a GIF of 256 colours: its sub-blocks after the code size
// at 791, each 255 bytes long but the last, then the terminator.
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
    const Bytes data = CodeBytes(Encode(w, h, Ramp(256), v));
    EXPECT_TRUE(data == GreedyLzw(v, 8)) << data.size() << " bytes of codes";
    // A ribbon: bands of rows repeating columns two pixels wide, each band
    // shifted by one, rows 301 wide so that the strings the encoder takes
    // four pixels at a time run on into the next row.
    Bytes ribbon(std::size_t(301) * 120);
    for (std::size_t i = 0; i < ribbon.size(); ++i) {
        const std::size_t x = i % 301, y = i / 301;
        ribbon[i] = std::uint8_t((x / 2 * 7 + y / 8) % 40 + (x % 53 == 0 ? 200 : 0));
    }
    const Bytes ribbonCodes = CodeBytes(Encode(301, 120, Ramp(256), ribbon));
    EXPECT_TRUE(ribbonCodes == GreedyLzw(ribbon, 8)) << ribbonCodes.size() << " bytes of codes";
    Bytes noise(300 * 100);
    std::ranges::generate(noise, [noiseRng = std::mt19937(11)]() mutable { return std::uint8_t(noiseRng()); });
    const Bytes codes = CodeBytes(Encode(300, 100, Ramp(256), noise));
    EXPECT_GT(codes.size(), 3u * 255);
    EXPECT_TRUE(codes == GreedyLzw(noise, 8)) << codes.size() << " bytes of codes";
}

struct RoundTripCase {
    int w, h, colors;
};
void PrintTo(const RoundTripCase& c, std::ostream* os) {
    *os << c.w << "x" << c.h << " of " << c.colors;
}

class GifRoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(GifRoundTrip, AnIndependentDecoderReadsARandomPictureBack) {
    if (!testsupport::HaveGiflib)
        GTEST_SKIP() << "the GIF decoding library is not installed";
    const auto [w, h, count] = GetParam();
    std::mt19937 rng(20240611u + unsigned(w * 7 + h * 3 + count));
    Colors colors(std::size_t(count), 0);
    std::ranges::generate(colors, [&] { return rng() & 0xFFFFFF; });
    // Runs of a background colour with noise and lines, as a chart has.
    Bytes v(std::size_t(w) * std::size_t(h));
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = std::uint8_t((rng() % 8 == 0 ? rng() : i % std::size_t(w) % 37 == 0 ? 7 : i / 97 % 3) % count);
    const Bytes gif = Encode(std::uint32_t(w), std::uint32_t(h), colors, v);
    testsupport::TempDir dir;
    platform::FileError error;
    ASSERT_TRUE(platform::WriteWholeFile((dir.path() / "round.gif").string(), gif, error)) << error.reason;
    std::string why;
    const auto decoded = testsupport::DecodeGif(dir.path() / "round.gif", why);
    ASSERT_TRUE(decoded) << why;
    EXPECT_EQ(std::tie(decoded->width, decoded->height, decoded->imageWidth, decoded->imageHeight),
              std::tie(w, h, w, h));
    colors.resize(std::max<std::size_t>(2, std::bit_ceil(colors.size())), 0);  // padded with black
    EXPECT_EQ(decoded->colors, colors);
    EXPECT_TRUE(decoded->indices == v) << "the indices differ";
}

INSTANTIATE_TEST_SUITE_P(Pictures, GifRoundTrip,
                         testing::Values(RoundTripCase{1, 1, 256}, RoundTripCase{2000, 1200, 256},
                                         RoundTripCase{1, 1200, 16}, RoundTripCase{2000, 1, 5},
                                         RoundTripCase{613, 371, 3}, RoundTripCase{97, 45, 11},
                                         RoundTripCase{64, 3, 1}),
                         [](const auto& info) {
                             const RoundTripCase& c = info.param;
                             return std::to_string(c.w) + "x" + std::to_string(c.h) + "of" + std::to_string(c.colors);
                         });

// ---------------------------------------------------------------- image map

TEST(ImageMapScript, ExactLinesAndEscapedTexts) {
    const std::string head =
        "document.write(\"<img src='Dravenholt.gif' width='701' height='500' alt='Dravenholt' "
        "usemap='#dhmap'style='border: 1px lightgrey solid;' />\");\r\n"
        "document.write(\"<map name='dhmap'>\");\r\n";
    const std::string tail = "document.write(\"</map>\");\r\n";
    const std::string area = "document.write(\"  <area shape='rect' coords='";
    EXPECT_EQ(FormatImageMapScript(701, 500, {}), head + tail);

    const render::MapAreaList areas = {
        {RECT{10, 20, 110, 35}, "http://example.com/a?b=1&c=2", "Opening bell"},
        {RECT{-5, 0, 0, 2147483647}, "", ""},
        {RECT{1, 2, 3, 4}, "a'b\"c\\d", "x<y>z\r\n\tq&amp;"},
        {RECT{0, 0, 1, 1}, "caf\xE9.htm", "\x7F\xFF"},  // bytes from 0x7F up stand as they are
    };
    EXPECT_EQ(FormatImageMapScript(701, 500, areas),
              head + area + "10,20,110,35' alt='Opening bell' href='http://example.com/a?b=1&c=2' />\");\r\n" + area +
                  "-5,0,0,2147483647' alt='' href='' />\");\r\n" + area +
                  "1,2,3,4' alt='x&lt;y&gt;z   q&amp;' href='a&#39;b&quot;c\\\\d' />\");\r\n" + area +
                  "0,0,1,1' alt='\x7F\xFF' href='caf\xE9.htm' />\");\r\n" + tail);
}

// Links are read as a browser reads them before they are kept: blanks and
// control characters in front skipped, tabs and line breaks anywhere dropped,
// a character reference before the path taken for a possible colon.
TEST(ImageMapScript, OnlyRelativeLinksFragmentsAndDocumentOrMailSchemesAreKept) {
    // clang-format off
    const std::pair<std::string, std::string> cases[] = {
        {"javascript:alert(1)", "#"}, {" JaVaScRiPt:x", "#"}, {"\tjava\nscript:x", "#"}, {"java\rscript:x", "#"},
        {"\x01javascript:x", "#"}, {"\x1F\x20javascript:x", "#"}, {"data:text/html,x", "#"}, {"vbscript:x", "#"},
        {"&#106;avascript:x", "#"}, {"javascript&colon;x", "#"}, {"file:///etc/passwd", "#"}, {"x:/y", "#"},
        {"mailto", "mailto"}, {"http", "http"},  // no colon: relative
        {"http://a/b", "http://a/b"}, {"HTTPS://a", "HTTPS://a"}, {"mailto:a@b.c", "mailto:a@b.c"},
        {"ftp://f", "ftp://f"}, {" http://a", " http://a"}, {"ht\ttp://a", "ht tp://a"}, {"http\n:x", "http :x"},
        {"#top", "#top"}, {"page.html", "page.html"}, {"dir/page.html?q=a:b", "dir/page.html?q=a:b"},
        {"?javascript:x", "?javascript:x"}, {"#javascript:x", "#javascript:x"}, {"notes/a&b.htm", "notes/a&b.htm"},
        {"", ""}};
    // clang-format on
    const std::string before = "document.write(\"  <area shape='rect' coords='1,2,3,4' alt='a' href='";
    for (const auto& [link, written] : cases) {
        SCOPED_TRACE(testing::PrintToString(link));
        const std::string script = FormatImageMapScript(10, 10, {{RECT{1, 2, 3, 4}, link, "a"}});
        const std::size_t at = script.find(before);
        ASSERT_NE(at, std::string::npos) << script;
        EXPECT_EQ(script.substr(at + before.size(), script.find("' />", at) - at - before.size()), written);
    }
}
