// Windows: their geometry, visibility and placement, invalidation and paint,
// and the device contexts that draw into a top-level window's framebuffer.
#include <algorithm>
#include <climits>
#include <new>
#include <unordered_set>

#include "platform/saturate.h"
#include "platform/user_internal.h"

namespace platform {

namespace {

// Every window that exists, in creation order, and those destroyed but not
// yet freed (a window procedure higher up the stack may still hold them).
std::vector<std::unique_ptr<HWND__>>& LiveWindows() {
    static std::vector<std::unique_ptr<HWND__>> windows;
    return windows;
}
std::vector<std::unique_ptr<HWND__>>& DestroyedWindows() {
    static std::vector<std::unique_ptr<HWND__>> windows;
    return windows;
}
// Window DCs handed out by GetDC and BeginPaint and not yet released.
std::unordered_set<HDC>& WindowDCs() {
    static std::unordered_set<HDC> dcs;
    return dcs;
}
// Top-level windows, most recently shown last.
std::vector<HWND>& ShowOrder() {
    static std::vector<HWND> order;
    return order;
}
std::uint64_t presents = 0;

LONG Width(const RECT& r) {
    return SaturateToInt32(std::int64_t{r.right} - r.left);
}
LONG Height(const RECT& r) {
    return SaturateToInt32(std::int64_t{r.bottom} - r.top);
}

HWND TopLevelOf(HWND window) {
    while (window->parent != nullptr)
        window = window->parent;
    return window;
}

// Offset of a window's client area within its top-level window's client area.
POINT OffsetInTopLevel(HWND window) {
    std::int64_t x = 0;
    std::int64_t y = 0;
    for (; window->parent != nullptr; window = window->parent) {
        x += window->rect.left;
        y += window->rect.top;
    }
    return POINT{SaturateToInt32(x), SaturateToInt32(y)};
}

POINT ClientOriginOnScreen(HWND window) {
    HWND top = TopLevelOf(window);
    POINT offset = OffsetInTopLevel(window);
    return POINT{SaturateToInt32(std::int64_t{top->rect.left} + offset.x),
                 SaturateToInt32(std::int64_t{top->rect.top} + offset.y)};
}

// Resizes a framebuffer keeping the pixels that stay inside it; new pixels
// show the dialog background until the next paint.
void ResizeFramebuffer(Surface& surface, int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == surface.width && height == surface.height)
        return;
    Surface next;
    try {
        next.Resize(width, height, ColorToPixel(DialogBackground));
    } catch (const std::bad_alloc&) {
        // Too large to hold: the window shows nothing rather than failing.
        next = Surface{};
    }
    const int w = std::min(next.width, surface.width);
    const int h = std::min(next.height, surface.height);
    if (w > 0 && h > 0 && !surface.HoldsOnly(next.fill))
        next.filled = false;
    for (int y = 0; y < h; ++y) {
        std::copy_n(surface.pixels.begin() + static_cast<std::ptrdiff_t>(y) * surface.width, w,
                    next.pixels.begin() + static_cast<std::ptrdiff_t>(y) * next.width);
    }
    surface = std::move(next);
}

RECT RectForState(HWND window) {
    switch (window->state) {
        case ShowState::Maximized:
            return CurrentBackend().WorkArea();
        case ShowState::Minimized:
            return RECT{window->normalRect.left, window->normalRect.top, window->normalRect.left,
                        window->normalRect.top};
        case ShowState::Normal:
            break;
    }
    return window->normalRect;
}

void InvalidateWhole(HWND top, bool erase) {
    SIZE size = ClientSize(top);
    if (size.cx <= 0 || size.cy <= 0)
        return;
    top->updatePending = true;
    top->updateRect = RECT{0, 0, size.cx, size.cy};
    top->erasePending = top->erasePending || erase;
}

// Moves a top-level window to `target` (screen coordinates of its client
// area). WM_SIZE follows a change of size, and the first show.
void ApplyRect(HWND top, RECT target, bool fromDisplay, bool firstShow) {
    const bool resized = Width(target) != Width(top->rect) || Height(target) != Height(top->rect);
    top->rect = target;
    if (resized)
        ResizeFramebuffer(top->framebuffer, Width(target), Height(target));
    if (!fromDisplay)
        CurrentBackend().WindowGeometryChanged(top);
    if (resized || firstShow) {
        if (top->state == ShowState::Minimized) {
            top->updatePending = false;
        } else if (top->visible) {
            InvalidateWhole(top, true);
        }
        const WPARAM type = top->state == ShowState::Minimized   ? SIZE_MINIMIZED
                            : top->state == ShowState::Maximized ? SIZE_MAXIMIZED
                                                                 : SIZE_RESTORED;
        const auto w = static_cast<WORD>(std::clamp<LONG>(Width(target), 0, 0xFFFF));
        const auto h = static_cast<WORD>(std::clamp<LONG>(Height(target), 0, 0xFFFF));
        SendMessageA(top, WM_SIZE, type, MAKELPARAM(w, h));
    }
}

// Applies a show command to a top-level window; returns whether it was visible.
bool ApplyShow(HWND top, int command) {
    const bool wasVisible = top->visible;
    ShowState state = top->state;
    bool visible = true;
    switch (command) {
        case SW_HIDE:
            visible = false;
            break;
        case SW_SHOWMINIMIZED:
        case SW_MINIMIZE:
        case 7:   // SW_SHOWMINNOACTIVE
        case 11:  // SW_FORCEMINIMIZE
            state = ShowState::Minimized;
            break;
        case SW_SHOWMAXIMIZED:
            state = ShowState::Maximized;
            break;
        case SW_SHOW:
        case 8:  // SW_SHOWNA
            break;
        default:  // SW_SHOWNORMAL, SW_RESTORE, SW_SHOWNOACTIVATE and anything unknown
            state = ShowState::Normal;
            break;
    }
    const bool firstShow = visible && !top->everShown;
    top->visible = visible;
    top->state = state;
    if (visible) {
        top->everShown = true;
        auto& order = ShowOrder();
        order.erase(std::remove(order.begin(), order.end(), top), order.end());
        order.push_back(top);
        if (!wasVisible)
            InvalidateWhole(top, true);
    }
    ApplyRect(top, RectForState(top), false, firstShow);
    return wasVisible;
}

HDC MakeWindowDC(HWND window) {
    HWND top = TopLevelOf(window);
    POINT offset = OffsetInTopLevel(window);
    SIZE size = ClientSize(window);
    auto* dc = new HDC__;
    dc->window = window;
    dc->pen = StockBlackPen();
    dc->brush = StockWhiteBrush();
    dc->font = StockSystemFont();
    AttachSurface(*dc, &top->framebuffer, offset.x, offset.y, size.cx, size.cy);
    top->dcs.push_back(dc);
    WindowDCs().insert(dc);
    return dc;
}

void DestroyTree(HWND window) {
    for (HWND child : window->children)
        DestroyTree(child);
    auto& live = LiveWindows();
    auto it = std::find_if(live.begin(), live.end(), [&](const auto& w) { return w.get() == window; });
    if (it != live.end()) {
        DestroyedWindows().push_back(std::move(*it));
        live.erase(it);
    }
}

}  // namespace

int MessageDepth = 0;

bool IsLiveWindow(HWND window) {
    if (window == nullptr)
        return false;
    const auto& live = LiveWindows();
    return std::any_of(live.begin(), live.end(), [&](const auto& w) { return w.get() == window; });
}

HWND NewWindow(HWND parent) {
    auto window = std::make_unique<HWND__>();
    window->parent = parent;
    HWND handle = window.get();
    LiveWindows().push_back(std::move(window));
    if (parent != nullptr)
        parent->children.push_back(handle);
    return handle;
}

SIZE ClientSize(HWND window) {
    return SIZE{std::max<LONG>(Width(window->rect), 0), std::max<LONG>(Height(window->rect), 0)};
}

HWND WindowNeedingPaint() {
    for (const auto& w : LiveWindows()) {
        if (w->parent == nullptr && w->visible && w->updatePending)
            return w.get();
    }
    return nullptr;
}

void CollectDestroyedWindows() {
    if (MessageDepth == 0)
        DestroyedWindows().clear();
}

void EraseBackground(HWND top, RECT area) {
    if (top->framebuffer.HoldsOnly(ColorToPixel(DialogBackground)))
        return;  // nothing drawn since it was all background
    HDC__ dc;
    AttachSurface(dc, &top->framebuffer, 0, 0, top->framebuffer.width, top->framebuffer.height);
    FillRectPixels(dc, area, ColorToPixel(DialogBackground));
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> result;
    for (const auto& w : LiveWindows()) {
        if (w->parent == nullptr)
            result.push_back(w.get());
    }
    return result;
}

HWND ActiveWindow() {
    const auto& order = ShowOrder();
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        if (IsLiveWindow(*it) && (*it)->visible)
            return *it;
    }
    return nullptr;
}

void DisplayConfigured(HWND window, RECT client) {
    if (!IsLiveWindow(window) || window->parent != nullptr)
        return;
    if (window->state == ShowState::Minimized)
        return;  // the model's 0 x 0 stands
    if (window->state == ShowState::Normal)
        window->normalRect = client;
    ApplyRect(window, client, true, false);
}

void DisplayMinimized(HWND window, bool minimized) {
    if (!IsLiveWindow(window) || window->parent != nullptr)
        return;
    if (minimized == (window->state == ShowState::Minimized))
        return;
    window->state = minimized ? ShowState::Minimized : ShowState::Normal;
    if (!minimized)
        InvalidateWhole(window, true);
    ApplyRect(window, RectForState(window), true, false);
}

void DisplayExposed(HWND window, RECT area) {
    if (IsLiveWindow(window))
        InvalidateRect(window, &area, TRUE);
}

std::uint64_t PresentCount() {
    return presents;
}

void ResetUserState() {
    for (HDC dc : WindowDCs())
        platform::FreeDeviceContext(dc);
    WindowDCs().clear();
    for (HWND top : TopLevelWindows())
        CurrentBackend().WindowDestroyed(top);
    LiveWindows().clear();
    DestroyedWindows().clear();
    ShowOrder().clear();
    MessageDepth = 0;
    ResetMessageQueue();
}

}  // namespace platform

using namespace platform;

HWND GetDlgItem(HWND dialog, int id) {
    if (!IsLiveWindow(dialog))
        return nullptr;
    for (HWND child : dialog->children) {
        if (child->id == id)
            return child;
    }
    return nullptr;
}

LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
    if (!IsLiveWindow(window) || index != DWLP_USER || window->proc == nullptr)
        return 0;
    const LONG_PTR previous = window->dialogUser;
    window->dialogUser = value;
    return previous;
}

LONG_PTR GetWindowLongPtrA(HWND window, int index) {
    if (!IsLiveWindow(window) || index != DWLP_USER || window->proc == nullptr)
        return 0;
    return window->dialogUser;
}

BOOL ShowWindow(HWND window, int command) {
    if (!IsLiveWindow(window))
        return FALSE;
    if (window->parent == nullptr)
        return ApplyShow(window, command) ? TRUE : FALSE;
    const bool wasVisible = window->visible;
    window->visible = command != SW_HIDE;
    return wasVisible ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND window) {
    if (!IsLiveWindow(window))
        return FALSE;
    for (; window != nullptr; window = window->parent) {
        if (!window->visible)
            return FALSE;
    }
    return TRUE;
}

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    if (!IsLiveWindow(window))
        return FALSE;
    RECT r = window->rect;
    if ((flags & SWP_NOMOVE) == 0) {
        r.right = SaturateToInt32(std::int64_t{x} + Width(r));
        r.bottom = SaturateToInt32(std::int64_t{y} + Height(r));
        r.left = x;
        r.top = y;
    }
    if ((flags & SWP_NOSIZE) == 0) {
        // A negative size (a minimised dialog stretching its control) means none.
        r.right = SaturateToInt32(std::int64_t{r.left} + std::max(cx, 0));
        r.bottom = SaturateToInt32(std::int64_t{r.top} + std::max(cy, 0));
    }
    if (window->parent != nullptr) {
        window->rect = r;
        return TRUE;
    }
    if (window->state == ShowState::Normal)
        window->normalRect = r;
    ApplyRect(window, r, false, false);
    return TRUE;
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
    if (!IsLiveWindow(window))
        return FALSE;
    window->text = text != nullptr ? text : "";
    if (window->parent == nullptr)
        CurrentBackend().WindowTitleChanged(window);
    return TRUE;
}

int GetWindowTextA(HWND window, LPSTR text, int max) {
    if (!IsLiveWindow(window) || text == nullptr || max <= 0)
        return 0;
    const auto n = static_cast<int>(std::min<std::size_t>(window->text.size(), static_cast<std::size_t>(max - 1)));
    window->text.copy(text, static_cast<std::size_t>(n));
    text[n] = '\0';
    return n;
}

BOOL GetWindowRect(HWND window, LPRECT rect) {
    if (!IsLiveWindow(window) || rect == nullptr)
        return FALSE;
    POINT origin = ClientOriginOnScreen(window);
    SIZE size = ClientSize(window);
    *rect = RECT{origin.x, origin.y, SaturateToInt32(std::int64_t{origin.x} + size.cx),
                 SaturateToInt32(std::int64_t{origin.y} + size.cy)};
    return TRUE;
}

BOOL GetClientRect(HWND window, LPRECT rect) {
    if (!IsLiveWindow(window) || rect == nullptr)
        return FALSE;
    SIZE size = ClientSize(window);
    *rect = RECT{0, 0, size.cx, size.cy};
    return TRUE;
}

int MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count) {
    if ((from != nullptr && !IsLiveWindow(from)) || (to != nullptr && !IsLiveWindow(to)))
        return 0;
    POINT a = from != nullptr ? ClientOriginOnScreen(from) : POINT{0, 0};
    POINT b = to != nullptr ? ClientOriginOnScreen(to) : POINT{0, 0};
    const LONG dx = SaturateToInt32(std::int64_t{a.x} - b.x);
    const LONG dy = SaturateToInt32(std::int64_t{a.y} - b.y);
    if (points != nullptr) {
        for (UINT i = 0; i < count; ++i) {
            points[i].x = SaturateToInt32(std::int64_t{points[i].x} + dx);
            points[i].y = SaturateToInt32(std::int64_t{points[i].y} + dy);
        }
    }
    return static_cast<int>(static_cast<DWORD>(LOWORD(static_cast<std::uintptr_t>(dx))) |
                            (static_cast<DWORD>(LOWORD(static_cast<std::uintptr_t>(dy))) << 16));
}

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
    if (window == nullptr) {
        for (HWND top : TopLevelWindows())
            InvalidateRect(top, rect, erase);
        return TRUE;
    }
    if (!IsLiveWindow(window))
        return FALSE;
    // Controls do not paint themselves here; their part of the parent is what
    // needs painting.
    HWND top = TopLevelOf(window);
    POINT offset = OffsetInTopLevel(window);
    SIZE own = ClientSize(window);
    RECT r = rect != nullptr ? *rect : RECT{0, 0, own.cx, own.cy};
    r = RECT{SaturateToInt32(std::int64_t{r.left} + offset.x), SaturateToInt32(std::int64_t{r.top} + offset.y),
             SaturateToInt32(std::int64_t{r.right} + offset.x), SaturateToInt32(std::int64_t{r.bottom} + offset.y)};
    SIZE client = ClientSize(top);
    r.left = std::max<LONG>(r.left, 0);
    r.top = std::max<LONG>(r.top, 0);
    r.right = std::min<LONG>(r.right, client.cx);
    r.bottom = std::min<LONG>(r.bottom, client.cy);
    if (r.left >= r.right || r.top >= r.bottom)
        return TRUE;
    if (top->updatePending) {
        RECT& u = top->updateRect;
        u = RECT{std::min(u.left, r.left), std::min(u.top, r.top), std::max(u.right, r.right),
                 std::max(u.bottom, r.bottom)};
    } else {
        top->updateRect = r;
        top->updatePending = true;
    }
    if (erase)
        top->erasePending = true;
    return TRUE;
}

BOOL UpdateWindow(HWND window) {
    if (!IsLiveWindow(window))
        return FALSE;
    HWND top = TopLevelOf(window);
    if (top->visible && top->updatePending)
        SendMessageA(top, WM_PAINT, 0, 0);
    return TRUE;
}

HDC BeginPaint(HWND window, PAINTSTRUCT* paint) {
    if (!IsLiveWindow(window) || paint == nullptr)
        return nullptr;
    *paint = PAINTSTRUCT{};
    if (window->parent == nullptr) {
        paint->rcPaint = window->updatePending ? window->updateRect : RECT{0, 0, 0, 0};
        paint->fErase = window->erasePending ? TRUE : FALSE;
        if (window->updatePending && window->erasePending)
            EraseBackground(window, window->updateRect);
        // Validated here, as GDI does, so invalidation during the paint stands.
        window->updatePending = false;
        window->erasePending = false;
    }
    paint->hdc = MakeWindowDC(window);
    return paint->hdc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) {
    if (paint == nullptr)
        return FALSE;
    ReleaseDC(window, paint->hdc);
    if (!IsLiveWindow(window))
        return FALSE;
    HWND top = TopLevelOf(window);
    if (top->visible) {
        ++presents;
        CurrentBackend().Present(top);
    }
    return TRUE;
}

HDC GetDC(HWND window) {
    if (!IsLiveWindow(window))
        return nullptr;
    // A window whose pixels could not be held (too large for the memory)
    // has nothing to draw on or read from.
    const HWND top = TopLevelOf(window);
    const SIZE client = ClientSize(top);
    if (top->framebuffer.pixels.empty() && client.cx > 0 && client.cy > 0)
        return nullptr;
    return MakeWindowDC(window);
}

int ReleaseDC(HWND window, HDC dc) {
    auto& dcs = WindowDCs();
    if (dcs.erase(dc) == 0)
        return 0;
    if (dc->window != nullptr && IsLiveWindow(dc->window)) {
        HWND top = TopLevelOf(dc->window);
        top->dcs.erase(std::remove(top->dcs.begin(), top->dcs.end(), dc), top->dcs.end());
    }
    platform::FreeDeviceContext(dc);
    return 1;
}

BOOL DestroyWindow(HWND window) {
    if (!IsLiveWindow(window))
        return FALSE;
    // Hidden first, as the display would; then WM_DESTROY to the window, then
    // to its controls.
    if (window->parent == nullptr && window->visible) {
        window->visible = false;
        CurrentBackend().WindowGeometryChanged(window);
    }
    SendMessageA(window, WM_DESTROY, 0, 0);
    if (!IsLiveWindow(window))
        return TRUE;  // destroyed while handling WM_DESTROY
    for (HWND child : window->children)
        SendMessageA(child, WM_DESTROY, 0, 0);
    if (!IsLiveWindow(window))
        return TRUE;
    if (window->parent != nullptr) {
        auto& siblings = window->parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), window), siblings.end());
    } else {
        // DCs still out draw nothing from now on; ReleaseDC frees them.
        for (HDC dc : window->dcs) {
            dc->surface = nullptr;
            dc->window = nullptr;
        }
        window->dcs.clear();
        CurrentBackend().WindowDestroyed(window);
        window->framebuffer = Surface{};
        auto& order = ShowOrder();
        order.erase(std::remove(order.begin(), order.end(), window), order.end());
    }
    DestroyTree(window);
    CollectDestroyedWindows();
    return TRUE;
}

BOOL IsWindow(HWND window) {
    return IsLiveWindow(window) ? TRUE : FALSE;
}

BOOL GetWindowPlacement(HWND window, WINDOWPLACEMENT* placement) {
    if (!IsLiveWindow(window) || placement == nullptr)
        return FALSE;
    placement->length = sizeof(WINDOWPLACEMENT);
    placement->flags = 0;
    if (window->parent != nullptr) {
        placement->showCmd = window->visible ? SW_SHOWNORMAL : SW_HIDE;
        GetWindowRect(window, &placement->rcNormalPosition);
    } else {
        // The show state, not the visibility: a window being destroyed is
        // already hidden, and its placement is still what it showed.
        placement->showCmd = window->state == ShowState::Minimized   ? SW_SHOWMINIMIZED
                             : window->state == ShowState::Maximized ? SW_SHOWMAXIMIZED
                                                                     : SW_SHOWNORMAL;
        placement->rcNormalPosition = window->normalRect;
    }
    placement->ptMinPosition = POINT{-1, -1};
    placement->ptMaxPosition = POINT{-1, -1};
    return TRUE;
}

BOOL SetWindowPlacement(HWND window, const WINDOWPLACEMENT* placement) {
    if (!IsLiveWindow(window) || placement == nullptr || placement->length != sizeof(WINDOWPLACEMENT))
        return FALSE;
    if (window->parent != nullptr) {
        const RECT& r = placement->rcNormalPosition;
        window->rect = r;
        window->visible = placement->showCmd != SW_HIDE;
        return TRUE;
    }
    RECT r = placement->rcNormalPosition;
    // A reversed rectangle is an empty one at its left/top corner.
    r.right = std::max(r.right, r.left);
    r.bottom = std::max(r.bottom, r.top);
    window->normalRect = r;
    if (placement->showCmd == SW_HIDE) {
        window->visible = false;
        ApplyRect(window, RectForState(window), false, false);
    } else {
        ApplyShow(window, static_cast<int>(placement->showCmd));
    }
    return TRUE;
}

BOOL SystemParametersInfoA(UINT action, UINT param, LPVOID value, UINT winIni) {
    if (action != SPI_GETWORKAREA || value == nullptr)
        return FALSE;
    *static_cast<RECT*>(value) = CurrentBackend().WorkArea();
    return TRUE;
}
