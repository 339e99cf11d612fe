// GDI objects and device contexts: creation, selection, deletion and the
// drawing state a DC carries. The pixel work is in raster.cpp and text.cpp.
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "platform/gdi_internal.h"

namespace platform {

namespace {

// From this size on, pixels are mapped from the system rather than the heap.
constexpr std::size_t MappedPixelBytes = std::size_t{1} << 20;
constexpr std::size_t LargePage = std::size_t{2} << 20;

// Zeroed memory of at least `bytes` bytes, starting on a large-page boundary
// so the system can back its whole large pages with large pages (the tail
// stays in small ones: no memory held beyond the picture); null when there
// is none.
void* MapZeroed(std::size_t bytes, std::size_t& mapped) {
    constexpr std::size_t SmallPage = 4096;
    if (bytes > SIZE_MAX - 2 * LargePage)
        return nullptr;
    const std::size_t length = (bytes + SmallPage - 1) / SmallPage * SmallPage;
    void* raw = mmap(nullptr, length + LargePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + LargePage - 1) / LargePage * LargePage;
    if (aligned > start)
        munmap(raw, aligned - start);
    if (const std::size_t tail = start + length + LargePage - (aligned + length); tail > 0)
        munmap(reinterpret_cast<void*>(aligned + length), tail);
#ifdef MADV_HUGEPAGE
    madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);  // a hint; refusal is fine
#endif
    mapped = length;
    return reinterpret_cast<void*>(aligned);
}

}  // namespace

PixelStore::PixelStore(std::size_t count, std::uint32_t value) {
    if (count == 0)
        return;
    if (count > SIZE_MAX / sizeof(std::uint32_t))
        throw std::bad_alloc();
    const std::size_t bytes = count * sizeof(std::uint32_t);
    void* memory = nullptr;
    if (bytes >= MappedPixelBytes)
        memory = MapZeroed(bytes, mappedBytes_);
    else
        memory = std::calloc(count, sizeof(std::uint32_t));
    if (memory == nullptr)
        throw std::bad_alloc();
    data_ = static_cast<std::uint32_t*>(memory);
    size_ = count;
    if (value != 0)
        std::fill(data_, data_ + size_, value);
}

PixelStore::PixelStore(PixelStore&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mappedBytes_(std::exchange(other.mappedBytes_, 0)) {}

PixelStore& PixelStore::operator=(PixelStore&& other) noexcept {
    if (this != &other) {
        Release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mappedBytes_ = std::exchange(other.mappedBytes_, 0);
    }
    return *this;
}

PixelStore::~PixelStore() { Release(); }

void PixelStore::Release() {
    if (mappedBytes_ != 0)
        munmap(data_, mappedBytes_);
    else
        std::free(data_);
    data_ = nullptr;
    size_ = 0;
    mappedBytes_ = 0;
}

void Surface::Resize(int w, int h, std::uint32_t value) {
    width = std::max(w, 0);
    height = std::max(h, 0);
    pixels = PixelStore();  // the old pixels go before the new ones are made
    pixels = PixelStore(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), value);
    filled = true;
    fill = value;
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
    std::uint32_t* const pixels = dc.surface->PixelsToDraw();
    for (LONG y = r.top; y < r.bottom; ++y) {
        std::uint32_t* row = pixels + static_cast<std::size_t>(y + dc.originY) * stride + dc.originX;
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
    // Only one-pixel pens are drawn (width 0 or 1); a wider one is refused
    // rather than drawn one pixel wide.
    if (width > 1)
        return nullptr;
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
