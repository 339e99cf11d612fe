// Inside of the GDI subset: what handles point at, shared by the GDI, text,
// USER and backend sources of the platform. Nothing outside src/platform
// includes this header.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/win32.h"

namespace platform {

enum class ObjectKind : std::uint32_t { Pen = 0x50454E31, Brush = 0x42525331, Font = 0x464E5431, Bitmap = 0x424D5031 };

// Every GDI object starts with this header, so a HGDIOBJ can be told apart.
struct GdiObject {
    explicit GdiObject(ObjectKind k) : kind(k) {}
    virtual ~GdiObject() = default;
    ObjectKind kind;
    // Pens, brushes and fonts: the number of DCs that hold the object, and a
    // DeleteObject that waits for the last of them to let go.
    int selections = 0;
    bool deletePending = false;
};

// The memory of a surface's pixels. A large one comes straight from the
// system, already zero and in large pages where the system has them, so that
// making a window-sized surface costs no pass over its memory and few faults.
class PixelStore {
public:
    PixelStore() = default;
    // `count` pixels of `value`; throws std::bad_alloc.
    PixelStore(std::size_t count, std::uint32_t value);
    PixelStore(PixelStore&& other) noexcept;
    PixelStore& operator=(PixelStore&& other) noexcept;
    PixelStore(const PixelStore&) = delete;
    PixelStore& operator=(const PixelStore&) = delete;
    ~PixelStore();

    std::uint32_t* data() { return data_; }
    const std::uint32_t* data() const { return data_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::uint32_t* begin() { return data_; }
    std::uint32_t* end() { return data_ + size_; }
    const std::uint32_t* begin() const { return data_; }
    const std::uint32_t* end() const { return data_ + size_; }
    std::uint32_t& operator[](std::size_t i) { return data_[i]; }
    const std::uint32_t& operator[](std::size_t i) const { return data_[i]; }

private:
    void Release();

    std::uint32_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t mappedBytes_ = 0;  // 0: from the heap
};

// 32-bit pixels, 0x00RRGGBB in memory (a top-down DIB section's layout).
struct Surface {
    int width = 0;
    int height = 0;
    PixelStore pixels;  // width * height, row-major, top row first
    // While set, every pixel still holds `fill`, the value Resize gave them.
    bool filled = false;
    std::uint32_t fill = 0;
    // Keeps nothing; every pixel becomes `value` (black unless told).
    void Resize(int w, int h, std::uint32_t value = 0);
    bool HoldsOnly(std::uint32_t value) const { return filled && fill == value; }
    // The pixels, to draw into: they may no longer hold only `fill`.
    std::uint32_t* PixelsToDraw() {
        filled = false;
        return pixels.data();
    }
};

// Converts between COLORREF (0x00BBGGRR) and the pixel layout (0x00RRGGBB).
constexpr std::uint32_t ColorToPixel(COLORREF c) {
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}
constexpr COLORREF PixelToColor(std::uint32_t p) {
    return ((p >> 16) & 0xFF) | (p & 0xFF00) | ((p & 0xFF) << 16);
}

class FontFace;  // text.cpp: a resolved, sized face with its glyph cache

}  // namespace platform

struct HPEN__ : platform::GdiObject {
    HPEN__() : GdiObject(platform::ObjectKind::Pen) {}
    int style = PS_SOLID;
    int width = 1;
    COLORREF color = 0;
};

struct HBRUSH__ : platform::GdiObject {
    HBRUSH__() : GdiObject(platform::ObjectKind::Brush) {}
    COLORREF color = 0;
};

struct HFONT__ : platform::GdiObject {
    HFONT__() : GdiObject(platform::ObjectKind::Font) {}
    LOGFONTA log{};
    // Found when the font first draws or measures, so that making fonts
    // does not wait for the font set-up: null when no face could be loaded.
    std::shared_ptr<platform::FontFace> face;
    bool resolved = false;
};

struct HBITMAP__ : platform::GdiObject {
    HBITMAP__() : GdiObject(platform::ObjectKind::Bitmap) {}
    platform::Surface surface;
    int selectedIn = 0;  // number of memory DCs that hold it
};

// A device context draws into a surface through a window onto it: logical
// (0,0) is surface pixel (originX, originY), and drawing is clipped to the
// logical rectangle [0, clipWidth) x [0, clipHeight) intersected with the surface.
struct HDC__ {
    platform::Surface* surface = nullptr;  // target pixels; null draws nothing
    int originX = 0;
    int originY = 0;
    int clipWidth = 0;
    int clipHeight = 0;

    bool memoryDC = false;
    HBITMAP bitmap = nullptr;  // memory DC: the selected bitmap
    HWND window = nullptr;     // window DC: the window it belongs to

    HPEN pen = nullptr;
    HBRUSH brush = nullptr;
    HFONT font = nullptr;
    COLORREF textColor = 0x000000;
    COLORREF bkColor = 0xFFFFFF;
    int bkMode = OPAQUE;
    UINT textAlign = 0;
    POINT position{0, 0};
};

namespace platform {

// The stock objects a new DC starts with: a black pen, a white brush, and the
// system font (DejaVu Sans Mono at 13 pixels here).
HPEN StockBlackPen();
HBRUSH StockWhiteBrush();
HFONT StockSystemFont();
HBITMAP StockOneByOneBitmap();

// Lets go of the DC's selections (a deleted object still selected is freed
// now) and frees the DC: DeleteDC for memory DCs, ReleaseDC for window DCs.
void FreeDeviceContext(HDC dc);

// Clip rectangle of a DC in logical coordinates (the window onto the surface
// intersected with the surface), empty when the DC has no surface.
RECT DeviceClip(const HDC__& dc);

// Points the DC at the surface of `bitmap` (memory DCs) or at a window's
// framebuffer region (window DCs, set up by user.cpp).
void AttachSurface(HDC__& dc, Surface* surface, int originX, int originY, int width, int height);

// Text (text.cpp). Resolves a LOGFONTA to a face; null when nothing is usable.
std::shared_ptr<FontFace> ResolveFont(const LOGFONTA& log);
// Width (sum of advances) and cell height (ascent + descent) of a string.
SIZE MeasureText(const FontFace* face, const char* text, int count);
// Draws glyphs with ink `color` at a top-left cell origin (x, y) in logical
// coordinates, clipped to `clip` (logical) and the DC's clip.
void DrawGlyphs(HDC__& dc, const FontFace* face, int x, int y, const char* text, int count, COLORREF color,
                const RECT& clip);
// Ascent and descent in pixels of the face.
int FontAscent(const FontFace* face);
int FontDescent(const FontFace* face);

// Filling helpers shared by the rasteriser and the text renderer; coordinates
// are logical, and everything is clipped to the DC's clip.
void FillRectPixels(HDC__& dc, RECT r, std::uint32_t pixel);

}  // namespace platform
