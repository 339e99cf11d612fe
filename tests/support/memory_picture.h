// The tests' one picture to draw into: a memory DC over its own bitmap,
// filled with a background colour, with pixel queries. Header only.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <set>
#include <utility>

#include "platform/win32.h"

namespace testsupport {

using PixelSet = std::set<std::pair<long long, long long>>;

class MemoryPicture {
public:
    explicit MemoryPicture(int w, int h, COLORREF background = RGB(255, 255, 255))
        : width(w), height(h), dc(CreateCompatibleDC(nullptr)), bitmap(ColourBitmap(w, h)) {
        previous_ = SelectObject(dc, bitmap);
        Fill(RECT{0, 0, w, h}, background);
    }
    ~MemoryPicture() {
        SelectObject(dc, previous_);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    MemoryPicture(const MemoryPicture&) = delete;
    MemoryPicture& operator=(const MemoryPicture&) = delete;

    void Fill(const RECT& r, COLORREF color) const {
        const LOGBRUSH lb{BS_SOLID, color, 0};
        HBRUSH brush = CreateBrushIndirect(&lb);
        FillRect(dc, &r, brush);
        DeleteObject(brush);
    }
    COLORREF operator()(int x, int y) const { return GetPixel(dc, x, y); }
    // A bitmap compatible with the screen: Windows makes one compatible with
    // a fresh memory DC monochrome.
    static HBITMAP ColourBitmap(int w, int h) {
        HDC screen = GetDC(nullptr);
        HBITMAP made = CreateCompatibleBitmap(screen, w, h);
        ReleaseDC(nullptr, screen);
        return made;
    }
    // The pixel as 0x00RRGGBB.
    std::uint32_t Pixel(int x, int y) const {
        const COLORREF c = GetPixel(dc, x, y);
        return (std::uint32_t{GetRValue(c)} << 16) | (std::uint32_t{GetGValue(c)} << 8) | GetBValue(c);
    }
    // Pixels of colour c in [left, right) x [top, bottom), clipped to the picture.
    int Count(COLORREF c, RECT box = {0, 0, 1 << 30, 1 << 30}) const {
        int n = 0;
        for (int y = std::max<int>(box.top, 0); y < std::min<int>(box.bottom, height); ++y)
            for (int x = std::max<int>(box.left, 0); x < std::min<int>(box.right, width); ++x)
                n += (*this)(x, y) == c;
        return n;
    }
    // Where the pixels of colour c are.
    PixelSet Having(COLORREF c) const {
        PixelSet out;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if ((*this)(x, y) == c)
                    out.insert({x, y});
        return out;
    }
    // The pixels at x0, y0, x1, y1, ... all have colour c.
    void Expect(COLORREF c, std::initializer_list<int> xy) const {
        for (const int* i = xy.begin(); i + 1 < xy.end(); i += 2)
            EXPECT_EQ((*this)(i[0], i[1]), c) << "at " << i[0] << "," << i[1];
    }

    const int width;
    const int height;
    const HDC dc;
    const HBITMAP bitmap;

private:
    HGDIOBJ previous_ = nullptr;
};

}  // namespace testsupport
