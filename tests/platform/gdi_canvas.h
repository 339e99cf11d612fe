// A memory DC with its own bitmap, for the GDI tests.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/win32.h"

namespace gditest {

class Canvas {
public:
    Canvas(int width, int height, COLORREF background = RGB(255, 255, 255)) : width_(width), height_(height) {
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateCompatibleBitmap(dc_, width, height);
        previous_ = SelectObject(dc_, bitmap_);
        Clear(background);
    }
    ~Canvas() {
        SelectObject(dc_, previous_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const { return dc_; }
    HBITMAP bitmap() const { return bitmap_; }
    int width() const { return width_; }
    int height() const { return height_; }
    COLORREF At(int x, int y) const { return GetPixel(dc_, x, y); }
    void Clear(COLORREF color) {
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                SetPixel(dc_, x, y, color);
    }
    // Every pixel, row by row.
    std::vector<COLORREF> Pixels() const {
        std::vector<COLORREF> all;
        all.reserve(static_cast<std::size_t>(width_) * height_);
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                all.push_back(At(x, y));
        return all;
    }

private:
    int width_, height_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ previous_;
};

// Selects a pen and a brush for the lifetime of the object, deleting them after.
class Tools {
public:
    Tools(HDC dc, COLORREF penColor, COLORREF brushColor) : dc_(dc) {
        pen_ = CreatePen(PS_SOLID, 1, penColor);
        LOGBRUSH lb{BS_SOLID, brushColor, 0};
        brush_ = CreateBrushIndirect(&lb);
        oldPen_ = SelectObject(dc, pen_);
        oldBrush_ = SelectObject(dc, brush_);
    }
    ~Tools() {
        SelectObject(dc_, oldPen_);
        SelectObject(dc_, oldBrush_);
        DeleteObject(pen_);
        DeleteObject(brush_);
    }
    Tools(const Tools&) = delete;
    Tools& operator=(const Tools&) = delete;
    HBRUSH brush() const { return brush_; }

private:
    HDC dc_;
    HPEN pen_;
    HBRUSH brush_;
    HGDIOBJ oldPen_, oldBrush_;
};

}  // namespace gditest
