// GIF encoding of the sample chart as the export captures it (8 bits, 256
// colours, 1801 x 977): the program's encoder against giflib's on the same
// colour indices, in one process.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "bench/bench_support.h"
#include "export/color_reduction.h"
#include "export/gif_writer.h"
#include "export/snapshot.h"
#include "render/resources.h"

#if defined(DH_HAVE_GIFLIB)
#include <gif_lib.h>
#endif

namespace {

constexpr int Width = benchsupport::PictureWidth;
constexpr int Height = benchsupport::PictureHeight;

// A picture made like the chart, for when the sample chart cannot be drawn:
// a white ground, a grid, price lines, text-like specks, a band of palette
// colours and a framed inset, in a 256-entry table.
exporting::IndexedPicture SyntheticPicture() {
    exporting::IndexedPicture p;
    p.width = Width;
    p.height = Height;
    for (std::uint32_t i = 0; i < 256; ++i)
        p.colors.push_back(((i * 13) & 0xFF) << 16 | ((i * 91) & 0xFF) << 8 | ((i * 37) & 0xFF));
    std::vector<std::uint8_t> picture(static_cast<std::size_t>(Width) * Height, 0);  // 0: white
    auto at = [&](int x, int y) -> std::uint8_t& { return picture[static_cast<std::size_t>(y) * Width + x]; };
    std::mt19937 rng(1234);
    for (int y = 40; y < 700; y += 45)
        for (int x = 60; x < Width - 20; ++x)
            at(x, y) = 1;  // grid
    for (int x = 60; x < Width - 20; x += 120)
        for (int y = 40; y < 700; ++y)
            at(x, y) = 1;
    for (int line = 0; line < 5; ++line) {  // price lines
        int y = 200 + line * 60;
        for (int x = 60; x < Width - 20; x += 2) {
            const int next = std::clamp(y + static_cast<int>(rng() % 9) - 4, 45, 690);
            for (int v = std::min(y, next); v <= std::max(y, next); ++v)
                at(x, v) = at(x + 1, v) = static_cast<std::uint8_t>(2 + line);
            y = next;
        }
    }
    for (int label = 0; label < 60; ++label) {  // text-like specks
        const int x0 = 70 + static_cast<int>(rng() % (Width - 200)), y0 = 50 + static_cast<int>(rng() % 620);
        for (int y = y0; y < y0 + 11; ++y)
            for (int x = x0; x < x0 + 90; ++x)
                if (rng() % 3 == 0)
                    at(x, y) = 8;
    }
    for (int y = 760; y < 940; ++y) {  // ribbon rows of hues
        const int row = (y - 760) / 12;
        for (int x = 60; x < Width - 20; ++x)
            at(x, y) = static_cast<std::uint8_t>(16 + (row * 17 + (x - 60) / 2 / 7) % 240);
    }
    for (int y = 430; y < 690; ++y)  // inset frame
        for (int x = 900; x < 1500; ++x)
            if (y == 430 || y == 689 || x == 900 || x == 1499)
                at(x, y) = 9;
    p.indices = std::move(picture);
    return p;
}

// The sample chart, painted, captured and reduced as the export does it.
std::optional<exporting::IndexedPicture> SamplePicture() {
    benchsupport::ScratchFolder folder(DH_SOURCE_DIR "/sample/Data");
    if (!folder.Enter())
        return std::nullopt;
    benchsupport::ChartWindow window;
    if (!window.Ready())
        return std::nullopt;
    std::optional<exporting::WindowSnapshot> snapshot =
        exporting::WindowSnapshot::Open(GetDlgItem(window.dialog, shell::ChartPlaceholderId));
    if (!snapshot)
        return std::nullopt;
    return exporting::ReduceColors(*snapshot, render::ColorTableFills());
}

bool UsingSampleChart = false;

const exporting::IndexedPicture& ChartLikePicture() {
    static const exporting::IndexedPicture picture = [] {
        std::optional<exporting::IndexedPicture> p = SamplePicture();
        UsingSampleChart = p.has_value();
        return p ? std::move(*p) : SyntheticPicture();
    }();
    return picture;
}

void BM_GifWriterEncode(benchmark::State& state) {
    const exporting::IndexedPicture& picture = ChartLikePicture();
    std::size_t bytes = 0;
    for (auto _ : state) {
        const auto gif = exporting::EncodeGif(picture);
        bytes = gif ? gif->size() : 0;
        benchmark::DoNotOptimize(gif);
    }
    state.SetLabel(UsingSampleChart ? "sample chart" : "synthetic chart");
    state.counters["gif_bytes"] = static_cast<double>(bytes);
    state.counters["Mpixel/s"] =
        benchmark::Counter(static_cast<double>(Width) * Height * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_GifWriterEncode)->Unit(benchmark::kMillisecond);

#if defined(DH_HAVE_GIFLIB)
int AppendToVector(GifFileType* gif, const GifByteType* bytes, int count) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
    out->insert(out->end(), bytes, bytes + count);
    return count;
}

void BM_GiflibEncode(benchmark::State& state) {
    const exporting::IndexedPicture& picture = ChartLikePicture();
    std::vector<GifColorType> colors(256);
    for (std::size_t i = 0; i < 256; ++i) {
        const std::uint32_t c = picture.colors[i];
        colors[i] = {static_cast<GifByteType>(c >> 16), static_cast<GifByteType>(c >> 8), static_cast<GifByteType>(c)};
    }
    std::vector<std::uint8_t> out;
    out.reserve(1 << 20);
    for (auto _ : state) {
        out.clear();
        int error = 0;
        GifFileType* gif = EGifOpen(&out, AppendToVector, &error);
        ColorMapObject* map = GifMakeMapObject(256, colors.data());
        EGifPutScreenDesc(gif, Width, Height, 8, 0, map);
        EGifPutImageDesc(gif, 0, 0, Width, Height, false, nullptr);
        for (int y = 0; y < Height; ++y) {
            auto* row = const_cast<GifPixelType*>(picture.indices.data() + static_cast<std::size_t>(y) * Width);
            EGifPutLine(gif, row, Width);
        }
        EGifCloseFile(gif, &error);
        GifFreeMapObject(map);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel(UsingSampleChart ? "sample chart" : "synthetic chart");
    state.counters["gif_bytes"] = static_cast<double>(out.size());
    state.counters["Mpixel/s"] =
        benchmark::Counter(static_cast<double>(Width) * Height * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_GiflibEncode)->Unit(benchmark::kMillisecond);
#endif

}  // namespace
