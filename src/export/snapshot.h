// The chart's pixels as the screen shows them: a window's client area read
// back through a memory bitmap in strips of rows, so that reading a picture
// of any size costs one strip's memory.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/win32.h"

namespace exporting {

class WindowSnapshot {
public:
    // The window's client area; none when the window has no area to read or
    // the device contexts cannot be made.
    static std::optional<WindowSnapshot> Open(HWND window);
    // Another snapshot of the same window, with device contexts of its own:
    // one thread may read through each.
    std::optional<WindowSnapshot> Again() const { return Open(window_); }
    WindowSnapshot(WindowSnapshot&& other) noexcept;
    WindowSnapshot& operator=(WindowSnapshot&&) = delete;
    WindowSnapshot(const WindowSnapshot&) = delete;
    ~WindowSnapshot();

    std::uint32_t width() const { return width_; }
    std::uint32_t height() const { return height_; }
    // Rows read per strip: what ReadRows can give at once.
    std::uint32_t stripRows() const { return stripRows_; }
    // Reads `count` rows (at most stripRows) from `top` as 0x00RRGGBB pixels,
    // top row first; false when the platform fails.
    bool ReadRows(std::uint32_t top, std::uint32_t count, std::uint32_t* pixels);

private:
    WindowSnapshot() = default;

    HWND window_ = nullptr;
    HDC windowDC_ = nullptr;
    HDC memoryDC_ = nullptr;
    HBITMAP strip_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    std::uint32_t stripRows_ = 0;
};

}  // namespace exporting
