// GDI rasteriser and read-back costs at the chart's scale.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "platform/win32.h"

namespace {

constexpr int kWidth = 1800, kHeight = 975;

struct Picture {
    Picture() {
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateCompatibleBitmap(dc, kWidth, kHeight);
        SelectObject(dc, bitmap);
        pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 153));
        LOGBRUSH lb{BS_SOLID, RGB(255, 255, 204), 0};
        brush = CreateBrushIndirect(&lb);
        SelectObject(dc, pen);
        SelectObject(dc, brush);
    }
    HDC dc;
    HBITMAP bitmap;
    HPEN pen;
    HBRUSH brush;
};

Picture& Shared() {
    static Picture p;
    return p;
}

// A chart-like picture: table fills in bands, palette-shaded columns, lines.
void PaintChartLike(HDC dc, int colours) {
    RECT all{0, 0, kWidth, kHeight};
    LOGBRUSH white{BS_SOLID, RGB(255, 255, 255), 0};
    HBRUSH w = CreateBrushIndirect(&white);
    FillRect(dc, &all, w);
    DeleteObject(w);
    for (int x = 0; x < kWidth; x += 2) {
        for (int y = 700; y < 900; ++y) {
            const int n = ((y - 700) * colours / 200 + x) % colours;
            SetPixel(dc, x, y, RGB(n * 37 % 256, n * 11 % 256, n % 256));
        }
    }
    for (int i = 0; i < 200; ++i) {
        MoveToEx(dc, 0, i * 5, nullptr);
        LineTo(dc, kWidth, (i * 37) % kHeight);
    }
}

void BM_LineToLong(benchmark::State& state) {
    HDC dc = Shared().dc;
    for (auto _ : state) {
        MoveToEx(dc, -5, 3, nullptr);
        LineTo(dc, kWidth + 5, kHeight - 3);
        MoveToEx(dc, 10, 5, nullptr);
        LineTo(dc, 3, 2000000000);  // clipped to the bitmap's height
    }
}
BENCHMARK(BM_LineToLong);

void BM_SetPixelColumn(benchmark::State& state) {
    HDC dc = Shared().dc;
    for (auto _ : state) {
        for (int y = 0; y < kHeight; ++y)
            SetPixel(dc, 100, y, RGB(96, 96, 96));
    }
    state.SetItemsProcessed(state.iterations() * kHeight);
}
BENCHMARK(BM_SetPixelColumn);

void BM_FillRectWhole(benchmark::State& state) {
    HDC dc = Shared().dc;
    RECT all{0, 0, kWidth, kHeight};
    for (auto _ : state)
        FillRect(dc, &all, Shared().brush);
}
BENCHMARK(BM_FillRectWhole);

void BM_EllipseMarker(benchmark::State& state) {
    HDC dc = Shared().dc;
    for (auto _ : state)
        Ellipse(dc, 100, 100, 118, 118);
}
BENCHMARK(BM_EllipseMarker);

void BM_GetDIBits8(benchmark::State& state) {
    Picture& p = Shared();
    PaintChartLike(p.dc, static_cast<int>(state.range(0)));
    std::vector<std::uint8_t> header(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
    std::vector<std::uint8_t> bits(static_cast<std::size_t>((kWidth + 3) / 4 * 4) * kHeight);
    auto* info = reinterpret_cast<BITMAPINFO*>(header.data());
    for (auto _ : state) {
        info->bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), kWidth, kHeight, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
        benchmark::DoNotOptimize(GetDIBits(p.dc, p.bitmap, 0, kHeight, bits.data(), info, DIB_RGB_COLORS));
    }
}
// 200 colours take the exact table; 600 colours need the reduction.
BENCHMARK(BM_GetDIBits8)->Arg(200)->Arg(600)->Unit(benchmark::kMillisecond);

}  // namespace
