// Shared by the render tests: a picture over a colour no panel draws, text
// extents, pixel counts, image-map lines and a scratch folder to run in.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <string>

#include "export/image_map.h"
#include "render/resources.h"
#include "support/test_support.h"

namespace rendertest {

constexpr COLORREF Background = RGB(1, 2, 3);  // in no colour table and not in the palette
constexpr COLORREF White = RGB(255, 255, 255);
constexpr COLORREF Black = RGB(0, 0, 0);

// A memory DC over a bitmap filled with Background.
struct Picture {
    Picture(int w, int h) : width(w), height(h), dc(CreateCompatibleDC(nullptr)) {
        render::CreateDrawingResources();  // made once per process
        previous = SelectObject(dc, bitmap = CreateCompatibleBitmap(dc, w, h));
        const LOGBRUSH logBrush{BS_SOLID, Background, 0};
        const RECT all{0, 0, w, h};
        HBRUSH brush = CreateBrushIndirect(&logBrush);
        FillRect(dc, &all, brush);
        DeleteObject(brush);
    }
    ~Picture() { SelectObject(dc, previous), DeleteDC(dc), DeleteObject(bitmap); }
    COLORREF operator()(int x, int y) const { return GetPixel(dc, x, y); }
    // Pixels of colour c in [left, right) x [top, bottom), clipped to the picture.
    int Count(COLORREF c, RECT box = {0, 0, 1 << 30, 1 << 30}) const {
        int n = 0;
        for (int y = std::max<int>(box.top, 0); y < std::min<int>(box.bottom, height); ++y)
            for (int x = std::max<int>(box.left, 0); x < std::min<int>(box.right, width); ++x)
                n += (*this)(x, y) == c;
        return n;
    }
    // The pixels at x0, y0, x1, y1, ... all have colour c.
    void Expect(COLORREF c, std::initializer_list<int> xy) const {
        for (const int* i = xy.begin(); i + 1 < xy.end(); i += 2)
            EXPECT_EQ((*this)(i[0], i[1]), c) << "at " << i[0] << "," << i[1];
    }
    int width, height;
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ previous;
};

inline SIZE Measure(int font, const std::string& text) {
    Picture scratch(1, 1);
    SelectObject(scratch.dc, render::Font(font));
    SIZE size{0, 0};
    GetTextExtentPointA(scratch.dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size;
}

inline std::string Show(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

// One area line of the image-map script, and what `draw` writes into the script.
inline std::string Area(const RECT& r, const std::string& alt, const std::string& link) {
    return "document.write(\"  <area shape='rect' coords='" + Show(r) + "' alt='" + alt + "' href='" + link +
           "' />\");\r\n";
}
inline std::string Script(const std::function<void()>& draw) {
    exporting::OpenImageMapScript(100, 100);
    draw();
    exporting::CloseImageMapScript();
    return testsupport::ReadFile(exporting::ImageMapScriptName);
}

// Runs each test in a fresh folder, where Data\ files are written.
class InFolder : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd{dir.path()};
};

}  // namespace rendertest
