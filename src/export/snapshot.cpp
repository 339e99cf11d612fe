// Reading a window's pixels back: BitBlt a strip of rows from the window's
// device context into a memory bitmap, then GetDIBits at 32 bits per pixel.
#include "export/snapshot.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace exporting {

namespace {

// A GIF holds at most 65535 pixels each way.
constexpr std::int64_t MaxDimension = 0xFFFF;
// 64 KiB of pixels per strip: a strip and its copies stay in the
// processor's cache, an encoder beside the census has its first rows soon,
// and a strip still costs few calls.
constexpr std::uint32_t StripPixels = 1u << 14;

}  // namespace

std::optional<WindowSnapshot> WindowSnapshot::Open(HWND window) {
    RECT client{};
    if (window == nullptr || !GetClientRect(window, &client))
        return std::nullopt;
    const std::int64_t width = std::int64_t{client.right} - client.left;
    const std::int64_t height = std::int64_t{client.bottom} - client.top;
    if (width <= 0 || height <= 0 || width > MaxDimension || height > MaxDimension)
        return std::nullopt;
    WindowSnapshot snapshot;
    snapshot.window_ = window;
    snapshot.width_ = static_cast<std::uint32_t>(width);
    snapshot.height_ = static_cast<std::uint32_t>(height);
    snapshot.stripRows_ = std::clamp<std::uint32_t>(StripPixels / snapshot.width_, 1, snapshot.height_);
    snapshot.windowDC_ = GetDC(window);
    if (snapshot.windowDC_ == nullptr)
        return std::nullopt;
    snapshot.memoryDC_ = CreateCompatibleDC(snapshot.windowDC_);
    if (snapshot.memoryDC_ == nullptr)
        return std::nullopt;
    snapshot.strip_ = CreateCompatibleBitmap(snapshot.windowDC_, static_cast<int>(snapshot.width_),
                                             static_cast<int>(snapshot.stripRows_));
    if (snapshot.strip_ == nullptr)
        return std::nullopt;
    snapshot.previous_ = SelectObject(snapshot.memoryDC_, snapshot.strip_);
    return std::optional<WindowSnapshot>(std::move(snapshot));
}

WindowSnapshot::WindowSnapshot(WindowSnapshot&& other) noexcept
    : window_(std::exchange(other.window_, nullptr)),
      windowDC_(std::exchange(other.windowDC_, nullptr)),
      memoryDC_(std::exchange(other.memoryDC_, nullptr)),
      strip_(std::exchange(other.strip_, nullptr)),
      previous_(std::exchange(other.previous_, nullptr)),
      width_(other.width_),
      height_(other.height_),
      stripRows_(other.stripRows_) {}

WindowSnapshot::~WindowSnapshot() {
    if (memoryDC_ != nullptr && previous_ != nullptr && previous_ != HGDI_ERROR)
        SelectObject(memoryDC_, previous_);
    if (strip_ != nullptr)
        DeleteObject(strip_);
    if (memoryDC_ != nullptr)
        DeleteDC(memoryDC_);
    if (windowDC_ != nullptr)
        ReleaseDC(window_, windowDC_);
}

bool WindowSnapshot::ReadRows(std::uint32_t top, std::uint32_t count, std::uint32_t* pixels) {
    if (count == 0 || count > stripRows_ || top >= height_ || count > height_ - top)
        return false;
    const int w = static_cast<int>(width_);
    const int rows = static_cast<int>(count);
    if (!BitBlt(memoryDC_, 0, 0, w, rows, windowDC_, 0, static_cast<int>(top), SRCCOPY))
        return false;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -static_cast<LONG>(stripRows_);  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    // Scan lines count from the bottom: the strip's top `count` rows are the
    // ones that end stripRows - count lines above it.
    if (GetDIBits(memoryDC_, strip_, stripRows_ - count, count, pixels, &info, DIB_RGB_COLORS) != rows)
        return false;
    // The fourth byte of a pixel is not part of its colour.
    for (std::size_t i = 0, n = std::size_t{width_} * count; i < n; ++i)
        pixels[i] &= 0x00FFFFFF;
    return true;
}

}  // namespace exporting
