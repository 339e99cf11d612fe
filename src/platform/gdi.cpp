// GDI objects and device contexts: creation, selection, deletion and the
// drawing state a DC carries. The pixel work is in raster.cpp and text.cpp.
#include <algorithm>
#include <cstring>
#include <new>

#include "platform/gdi_internal.h"

namespace platform {

void Surface::Resize(int w, int h) {
    width = std::max(w, 0);
    height = std::max(h, 0);
    pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0u);
}

HPEN StockBlackPen() {
    static HPEN__ pen;
    return &pen;
}

HBRUSH StockWhiteBrush() {
    static HBRUSH__ brush = [] {
        HBRUSH__ b;
        b.color = RGB(255, 255, 255);
        return b;
    }();
    return &brush;
}

HBITMAP StockOneByOneBitmap() {
    static HBITMAP__ bitmap = [] {
        HBITMAP__ b;
        b.surface.Resize(1, 1);
        return b;
    }();
    return &bitmap;
}

static bool IsStock(const void* object) {
    return object == StockBlackPen() || object == StockWhiteBrush() || object == StockOneByOneBitmap() ||
           object == StockSystemFont();
}

RECT DeviceClip(const HDC__& dc) {
    if (dc.surface == nullptr)
        return RECT{0, 0, 0, 0};
    RECT r{0, 0, dc.clipWidth, dc.clipHeight};
    // Keep the window inside the surface.
    r.left = std::max<LONG>(r.left, -dc.originX);
    r.top = std::max<LONG>(r.top, -dc.originY);
    r.right = std::min<LONG>(r.right, dc.surface->width - dc.originX);
    r.bottom = std::min<LONG>(r.bottom, dc.surface->height - dc.originY);
    if (r.right < r.left)
        r.right = r.left;
    if (r.bottom < r.top)
        r.bottom = r.top;
    return r;
}

void AttachSurface(HDC__& dc, Surface* surface, int originX, int originY, int width, int height) {
    dc.surface = surface;
    dc.originX = originX;
    dc.originY = originY;
    dc.clipWidth = std::max(width, 0);
    dc.clipHeight = std::max(height, 0);
}

void FillRectPixels(HDC__& dc, RECT r, std::uint32_t pixel) {
    const RECT clip = DeviceClip(dc);
    r.left = std::max(r.left, clip.left);
    r.top = std::max(r.top, clip.top);
    r.right = std::min(r.right, clip.right);
    r.bottom = std::min(r.bottom, clip.bottom);
    if (r.left >= r.right || r.top >= r.bottom)
        return;
    const int stride = dc.surface->width;
    for (LONG y = r.top; y < r.bottom; ++y) {
        std::uint32_t* row = dc.surface->pixels.data() + static_cast<std::size_t>(y + dc.originY) * stride + dc.originX;
        std::fill(row + r.left, row + r.right, pixel);
    }
}

static GdiObject* AsObject(HGDIOBJ object) {
    return static_cast<GdiObject*>(object);
}

static void Destroy(GdiObject* o) {
    delete o;
}

// Counts the DCs holding a pen, brush or font, so that deleting a selected
// object cannot leave a DC pointing at freed memory.
static void Hold(GdiObject* o) {
    if (o != nullptr && !IsStock(o))
        ++o->selections;
}
static void Release(GdiObject* o) {
    if (o == nullptr || IsStock(o) || o->selections <= 0)
        return;
    if (--o->selections == 0 && o->deletePending)
        Destroy(o);
}

void FreeDeviceContext(HDC dc) {
    if (dc->memoryDC && dc->bitmap != nullptr && dc->bitmap->selectedIn > 0)
        --dc->bitmap->selectedIn;
    Release(dc->pen);
    Release(dc->brush);
    Release(dc->font);
    delete dc;
}

}  // namespace platform

using namespace platform;

HPEN CreatePen(int style, int width, COLORREF color) {
    auto* pen = new HPEN__;
    pen->style = style;
    pen->width = width;
    pen->color = color & 0x00FFFFFF;
    return pen;
}

HBRUSH CreateBrushIndirect(const LOGBRUSH* brush) {
    if (brush == nullptr || brush->lbStyle != BS_SOLID)
        return nullptr;
    auto* b = new HBRUSH__;
    b->color = brush->lbColor & 0x00FFFFFF;
    return b;
}

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
    if (width <= 0 || height <= 0)
        return nullptr;
    // A bitmap of 32767 x 32767 is the largest the program asks for (4 GiB);
    // refuse what cannot be allocated instead of aborting.
    try {
        auto* bitmap = new HBITMAP__;
        bitmap->surface.Resize(width, height);
        return bitmap;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

HDC CreateCompatibleDC(HDC dc) {
    auto* memory = new HDC__;
    memory->memoryDC = true;
    memory->bitmap = StockOneByOneBitmap();
    AttachSurface(*memory, &memory->bitmap->surface, 0, 0, 1, 1);
    memory->pen = StockBlackPen();
    memory->brush = StockWhiteBrush();
    memory->font = StockSystemFont();
    return memory;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    if (dc == nullptr || object == nullptr)
        return nullptr;
    GdiObject* o = AsObject(object);
    switch (o->kind) {
        case ObjectKind::Pen: {
            HPEN previous = dc->pen;
            if (previous == o)
                return previous;
            Hold(o);
            dc->pen = static_cast<HPEN>(o);
            Release(previous);
            return previous;
        }
        case ObjectKind::Brush: {
            HBRUSH previous = dc->brush;
            if (previous == o)
                return previous;
            Hold(o);
            dc->brush = static_cast<HBRUSH>(o);
            Release(previous);
            return previous;
        }
        case ObjectKind::Font: {
            HFONT previous = dc->font;
            if (previous == o)
                return previous;
            Hold(o);
            dc->font = static_cast<HFONT>(o);
            Release(previous);
            return previous;
        }
        case ObjectKind::Bitmap: {
            // Only memory DCs hold bitmaps, and a bitmap sits in one DC at a time.
            auto* bitmap = static_cast<HBITMAP>(o);
            if (!dc->memoryDC)
                return nullptr;
            if (bitmap != dc->bitmap && bitmap->selectedIn > 0 && bitmap != StockOneByOneBitmap())
                return nullptr;
            HBITMAP previous = dc->bitmap;
            if (previous != nullptr && previous->selectedIn > 0)
                --previous->selectedIn;
            dc->bitmap = bitmap;
            ++bitmap->selectedIn;
            AttachSurface(*dc, &bitmap->surface, 0, 0, bitmap->surface.width, bitmap->surface.height);
            return previous;
        }
    }
    return nullptr;
}

BOOL DeleteObject(HGDIOBJ object) {
    if (object == nullptr || IsStock(object))
        return FALSE;
    GdiObject* o = AsObject(object);
    // A bitmap still selected into a DC cannot be deleted, as in GDI.
    if (o->kind == ObjectKind::Bitmap && static_cast<HBITMAP>(o)->selectedIn > 0)
        return FALSE;
    if (o->selections > 0) {
        o->deletePending = true;
        return TRUE;
    }
    Destroy(o);
    return TRUE;
}

BOOL DeleteDC(HDC dc) {
    if (dc == nullptr)
        return FALSE;
    FreeDeviceContext(dc);
    return TRUE;
}

COLORREF SetTextColor(HDC dc, COLORREF color) {
    if (dc == nullptr)
        return CLR_INVALID;
    COLORREF previous = dc->textColor;
    dc->textColor = color & 0x00FFFFFF;
    return previous;
}

COLORREF SetBkColor(HDC dc, COLORREF color) {
    if (dc == nullptr)
        return CLR_INVALID;
    COLORREF previous = dc->bkColor;
    dc->bkColor = color & 0x00FFFFFF;
    return previous;
}

int SetBkMode(HDC dc, int mode) {
    if (dc == nullptr || (mode != OPAQUE && mode != TRANSPARENT))
        return 0;
    int previous = dc->bkMode;
    dc->bkMode = mode;
    return previous;
}

UINT SetTextAlign(HDC dc, UINT align) {
    if (dc == nullptr)
        return 0xFFFFFFFF;
    UINT previous = dc->textAlign;
    dc->textAlign = align;
    return previous;
}

BOOL MoveToEx(HDC dc, int x, int y, LPPOINT previous) {
    if (dc == nullptr)
        return FALSE;
    if (previous != nullptr)
        *previous = dc->position;
    dc->position = POINT{x, y};
    return TRUE;
}
