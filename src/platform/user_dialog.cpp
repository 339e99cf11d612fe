// The dialog manager: dialog templates, dialog creation and the default
// handling of what a dialog procedure leaves alone.
#include <algorithm>
#include <cstring>
#include <new>

#include "platform/user_internal.h"

namespace platform {

namespace {

// Reads little-endian fields of a template with bounds checks.
class TemplateReader {
public:
    TemplateReader(const void* bytes, std::size_t size)
        : bytes_(static_cast<const std::uint8_t*>(bytes)), size_(size) {}
    bool ok() const { return ok_; }
    std::size_t offset() const { return offset_; }

    WORD Word() {
        if (!Need(2))
            return 0;
        WORD v = static_cast<WORD>(bytes_[offset_] | (bytes_[offset_ + 1] << 8));
        offset_ += 2;
        return v;
    }
    DWORD Dword() {
        DWORD lo = Word();
        DWORD hi = Word();
        return lo | (hi << 16);
    }
    short Short() { return static_cast<short>(Word()); }
    // A zero-terminated UTF-16 string, narrowed to single bytes.
    std::string String() {
        std::string s;
        for (;;) {
            WORD c = Word();
            if (!ok_ || c == 0)
                return s;
            s.push_back(c < 0x100 ? static_cast<char>(c) : '?');
        }
    }
    // An ordinal (0xFFFF, value) or a string; `atom` is 0 for strings.
    std::string StringOrOrdinal(WORD& atom) {
        atom = 0;
        if (!Need(2))
            return {};
        WORD first = static_cast<WORD>(bytes_[offset_] | (bytes_[offset_ + 1] << 8));
        if (first == 0xFFFF) {
            offset_ += 2;
            atom = Word();
            return {};
        }
        return String();
    }
    void AlignToDword() { offset_ = std::min(size_, (offset_ + 3) & ~static_cast<std::size_t>(3)); }
    void Skip(std::size_t n) {
        if (Need(n))
            offset_ += n;
    }

private:
    bool Need(std::size_t n) {
        if (!ok_ || size_ - offset_ < n) {
            ok_ = false;
            return false;
        }
        return true;
    }
    const std::uint8_t* bytes_;
    std::size_t size_;
    std::size_t offset_ = 0;
    bool ok_ = true;
};

// The predefined classes by atom.
constexpr WORD StaticClassAtom = 0x0082;
// A template in memory carries no size; none is longer than this (a resource
// compiler's limit), and reading stops at its last control anyway.
constexpr std::size_t MaxTemplateSize = 0x10000;

RECT UnitsToPixels(short x, short y, short cx, short cy) {
    const int left = DialogUnitsToPixelsX(x);
    const int top = DialogUnitsToPixelsY(y);
    const int width = std::max(DialogUnitsToPixelsX(cx), 0);
    const int height = std::max(DialogUnitsToPixelsY(cy), 0);
    return RECT{left, top, left + width, top + height};
}

}  // namespace

int DialogUnitsToPixelsX(int units) {
    return MulDiv(units, DialogBaseUnitX, 4);
}
int DialogUnitsToPixelsY(int units) {
    return MulDiv(units, DialogBaseUnitY, 8);
}

std::optional<DialogLayout> ParseDialogTemplate(const void* bytes, std::size_t size) {
    if (bytes == nullptr)
        return std::nullopt;
    TemplateReader in(bytes, size);
    DialogLayout layout;
    layout.style = in.Dword();
    layout.exStyle = in.Dword();
    // The extended form starts with version 1 and signature 0xFFFF.
    if ((layout.style & 0xFFFF0000u) == 0xFFFF0000u && (layout.style & 0xFFFF) == 1)
        return std::nullopt;
    const WORD count = in.Word();
    const short x = in.Short();
    const short y = in.Short();
    const short cx = in.Short();
    const short cy = in.Short();
    layout.rect = UnitsToPixels(x, y, cx, cy);
    WORD atom = 0;
    in.StringOrOrdinal(atom);  // menu: this dialog manager has none
    in.StringOrOrdinal(atom);  // window class: always the dialog class here
    layout.title = in.String();
    if ((layout.style & DS_SETFONT) != 0) {
        layout.pointSize = in.Word();
        layout.fontName = in.String();
    }
    for (WORD i = 0; i < count && in.ok(); ++i) {
        in.AlignToDword();
        DialogItemLayout item;
        item.style = in.Dword();
        item.exStyle = in.Dword();
        const short ix = in.Short();
        const short iy = in.Short();
        const short icx = in.Short();
        const short icy = in.Short();
        item.rect = UnitsToPixels(ix, iy, icx, icy);
        item.id = in.Word();
        item.className = in.StringOrOrdinal(item.classAtom);
        WORD textAtom = 0;
        item.text = in.StringOrOrdinal(textAtom);
        const WORD extra = in.Word();
        in.Skip(extra);
        layout.items.push_back(std::move(item));
    }
    if (!in.ok())
        return std::nullopt;
    return layout;
}

LRESULT WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window->proc != nullptr) {
        const INT_PTR handled = window->proc(window, message, wParam, lParam);
        if (handled != 0)
            return handled;
    }
    // The dialog manager's default handling.
    switch (message) {
        case WM_CLOSE:
            if (IsLiveWindow(window) && window->parent == nullptr)
                SendMessageA(window, WM_COMMAND, IDCANCEL, 0);
            return 0;
        case WM_PAINT:
            if (IsLiveWindow(window)) {
                PAINTSTRUCT paint;
                BeginPaint(window, &paint);
                EndPaint(window, &paint);
            }
            return 0;
        default:
            return 0;
    }
}

std::optional<RECT> DialogItemRect(const DLGTEMPLATE* dialogTemplate, int id) {
    const auto layout = ParseDialogTemplate(dialogTemplate, MaxTemplateSize);
    if (!layout)
        return std::nullopt;
    for (const DialogItemLayout& item : layout->items) {
        if (item.id == id)
            return item.rect;
    }
    return std::nullopt;
}

}  // namespace platform

using namespace platform;

HWND CreateDialogIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA dialogTemplate, HWND parent, DLGPROC proc,
                                LPARAM init) {
    auto layout = ParseDialogTemplate(dialogTemplate, MaxTemplateSize);
    if (!layout)
        return nullptr;
    if (parent != nullptr && !IsLiveWindow(parent))
        return nullptr;

    HWND dialog = NewWindow(nullptr);
    dialog->style = layout->style & ~WS_VISIBLE;
    dialog->text = layout->title;
    dialog->proc = proc;
    // The template's position is in the owner's client area, else on the screen.
    POINT origin{0, 0};
    if (parent != nullptr)
        MapWindowPoints(parent, nullptr, &origin, 1);
    SIZE client{layout->rect.right - layout->rect.left, layout->rect.bottom - layout->rect.top};
    if (auto forced = CurrentBackend().InitialClientSize())
        client = *forced;
    const LONG left = origin.x + layout->rect.left;
    const LONG top = origin.y + layout->rect.top;
    dialog->rect = RECT{left, top, left + client.cx, top + client.cy};
    dialog->normalRect = dialog->rect;
    // SetWindowPos-style resizing keeps old pixels; start from the background.
    try {
        dialog->framebuffer.Resize(client.cx, client.cy, ColorToPixel(DialogBackground));
    } catch (const std::bad_alloc&) {
        dialog->framebuffer = Surface{};
    }

    for (const DialogItemLayout& item : layout->items) {
        HWND control = NewWindow(dialog);
        control->id = item.id;
        control->style = item.style;
        control->classAtom = item.classAtom != 0 ? item.classAtom : StaticClassAtom;
        control->text = item.text;
        control->rect = item.rect;
        control->visible = (item.style & WS_VISIBLE) != 0;
    }
    CurrentBackend().WindowCreated(dialog);

    SendMessageA(dialog, WM_INITDIALOG, 0, init);
    if (!IsLiveWindow(dialog))
        return nullptr;
    if ((layout->style & WS_VISIBLE) != 0 && !dialog->visible)
        ShowWindow(dialog, SW_SHOWNORMAL);
    return dialog;
}
