// GIF encoding of the sample chart as the export captures it (8 bits, 256
// colours, 1801 x 977): the program's encoder against giflib's on the same
// colour indices, in one process.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "export/gif_writer.h"
#include "export/snapshot.h"
#include "marketdata/series.h"
#include "render/resources.h"
#include "shell/paint.h"

#if defined(DH_HAVE_GIFLIB)
#include <gif_lib.h>
#endif

namespace {

constexpr int Width = 1801;
constexpr int Height = 977;

// A picture made like the chart, for when the sample chart cannot be drawn:
// a white ground, a grid, price lines, text-like specks, a band of palette
// colours and a framed inset, in a 256-entry table.
exporting::DibSnapshot SyntheticSnapshot() {
    const std::uint32_t stride = (8 * Width + 31) / 32 * 4;
    const std::uint32_t length = 54 + 1024 + stride * Height;
    exporting::DibSnapshot s;
    s.size = length + 4;
    s.block.reset(new std::uint8_t[s.size]());
    std::uint8_t* b = s.block.get();
    auto put = [](std::uint8_t* at, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            at[i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    put(b, length, 4);
    b[4] = 'B';
    b[5] = 'M';
    put(b + 6, length, 4);
    put(b + 14, 1078, 4);
    put(b + 18, 40, 4);
    put(b + 22, Width, 4);
    put(b + 26, Height, 4);
    put(b + 30, 1, 2);
    put(b + 32, 8, 2);
    put(b + 38, stride * Height, 4);
    for (int i = 0; i < 256; ++i) {
        b[58 + 4 * i] = static_cast<std::uint8_t>(i * 37);
        b[58 + 4 * i + 1] = static_cast<std::uint8_t>(i * 91);
        b[58 + 4 * i + 2] = static_cast<std::uint8_t>(i * 13);
    }
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
    std::uint8_t* rows = b + 58 + 1024;
    for (int y = 0; y < Height; ++y)
        std::memcpy(rows + static_cast<std::size_t>(Height - 1 - y) * stride, &at(0, y), Width);
    return s;
}

// The sample chart, composed and captured as the export does it.
exporting::DibSnapshot SampleChartSnapshot() {
    if (chdir(DH_SOURCE_DIR "/sample") != 0)
        return {};
    marketdata::LoadAllSeries();
    render::CreateDrawingResources();
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, Width, Height);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    exporting::DibSnapshot snapshot;
    if (shell::ComposeChart(dc, RECT{0, 0, Width, Height}))
        snapshot = exporting::CaptureDib(dc, Width, Height, 8, 256);
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return snapshot;
}

bool UsingSampleChart = false;

const exporting::DibSnapshot& ChartLikeSnapshot() {
    static const exporting::DibSnapshot snapshot = [] {
        exporting::DibSnapshot s = SampleChartSnapshot();
        UsingSampleChart = static_cast<bool>(s);
        return s ? std::move(s) : SyntheticSnapshot();
    }();
    return snapshot;
}

void BM_GifWriterEncode(benchmark::State& state) {
    const exporting::DibView view = exporting::MakeDibView(ChartLikeSnapshot());
    std::size_t bytes = 0;
    for (auto _ : state) {
        exporting::GifWriter writer;
        writer.Encode(view);
        bytes = writer.buffer.length;
        benchmark::DoNotOptimize(writer.buffer.data.get());
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
    const exporting::DibView view = exporting::MakeDibView(ChartLikeSnapshot());
    std::vector<GifColorType> colors(256);
    for (int i = 0; i < 256; ++i)
        colors[i] = {view.colors[4 * i + 2], view.colors[4 * i + 1], view.colors[4 * i]};
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
            auto* row = const_cast<GifPixelType*>(view.pixels + static_cast<std::size_t>(Height - 1 - y) * view.stride);
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
