// The X11 backend (Xlib): one X window per top-level window, its
// framebuffer put on the screen with XPutImage after each paint, and X events
// turned into the messages a dialog expects.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "platform/user_internal.h"
#include "platform/whole_file.h"

#ifndef DH_WINDOW_CLASS
#define DH_WINDOW_CLASS "Win32Dialog"
#endif

namespace platform {

namespace {

constexpr const char* WindowClass = DH_WINDOW_CLASS;


// X sizes are 16-bit and never 0.
unsigned XSize(LONG v) {
    return static_cast<unsigned>(std::clamp<LONG>(v, 1, 32767));
}
int XCoord(LONG v) {
    return std::clamp<LONG>(v, -32768, 32767);
}

std::string Latin1ToUtf8(const std::string& text) {
    std::string out;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

int IgnoreXError(Display* display, XErrorEvent* error) {
    // A request on a window the server has already dropped is harmless here.
    char text[128];
    XGetErrorText(display, error->error_code, text, sizeof text);
    std::fprintf(stderr, "dravenholt: X error ignored: %s (request %d)\n", text, error->request_code);
    return 0;
}

// Writes the framebuffer as a binary PPM, whole or not at all, so a reader
// never sees half a picture.
void DumpFramebuffer(const Surface& surface, const char* path) {
    const std::string header = "P6\n" + std::to_string(surface.width) + " " + std::to_string(surface.height) + "\n255\n";
    std::vector<std::uint8_t> bytes(header.begin(), header.end());
    bytes.reserve(header.size() + surface.pixels.size() * 3);
    for (const std::uint32_t p : surface.pixels) {
        bytes.push_back(static_cast<std::uint8_t>(p >> 16));
        bytes.push_back(static_cast<std::uint8_t>(p >> 8));
        bytes.push_back(static_cast<std::uint8_t>(p));
    }
    FileError error;
    WriteWholeFile(path, bytes, error);
}

class X11Backend final : public Backend {
public:
    explicit X11Backend(Display* display) : display_(display) {
        XSetErrorHandler(IgnoreXError);
        screen_ = DefaultScreen(display_);
        root_ = RootWindow(display_, screen_);
        visual_ = DefaultVisual(display_, screen_);
        depth_ = DefaultDepth(display_, screen_);
        wmProtocols_ = XInternAtom(display_, "WM_PROTOCOLS", False);
        wmDeleteWindow_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
        wmState_ = XInternAtom(display_, "WM_STATE", False);
        netWmName_ = XInternAtom(display_, "_NET_WM_NAME", False);
        utf8String_ = XInternAtom(display_, "UTF8_STRING", False);
        netWorkarea_ = XInternAtom(display_, "_NET_WORKAREA", False);
        netCurrentDesktop_ = XInternAtom(display_, "_NET_CURRENT_DESKTOP", False);
        // The framebuffer is 0x00RRGGBB in 32 bits: usable as it stands when
        // the visual says so, else converted pixel by pixel.
        int formats = 0;
        XPixmapFormatValues* list = XListPixmapFormats(display_, &formats);
        for (int i = 0; i < formats; ++i) {
            if (list[i].depth == depth_)
                bitsPerPixel_ = list[i].bits_per_pixel;
        }
        if (list != nullptr)
            XFree(list);
        directPixels_ = bitsPerPixel_ == 32 && (depth_ == 24 || depth_ == 32) && visual_->red_mask == 0xFF0000 &&
                        visual_->green_mask == 0xFF00 && visual_->blue_mask == 0xFF;
    }

    ~X11Backend() override {
        for (auto& [window, native] : natives_) {
            XFreeGC(display_, native.gc);
            XDestroyWindow(display_, native.xid);
        }
        XCloseDisplay(display_);
    }

    RECT WorkArea() override {
        long desktop = 0;
        if (auto current = CardinalProperty(netCurrentDesktop_, 1); !current.empty())
            desktop = current[0];
        auto area = CardinalProperty(netWorkarea_, 4 * (desktop + 1));
        if (area.size() >= static_cast<std::size_t>(4 * (desktop + 1))) {
            const long* a = area.data() + 4 * desktop;
            return RECT{static_cast<LONG>(a[0]), static_cast<LONG>(a[1]), static_cast<LONG>(a[0] + a[2]),
                        static_cast<LONG>(a[1] + a[3])};
        }
        return RECT{0, 0, DisplayWidth(display_, screen_), DisplayHeight(display_, screen_)};
    }

    void WindowCreated(HWND window) override {
        XSetWindowAttributes attributes{};
        attributes.background_pixmap = None;  // the framebuffer paints every pixel
        attributes.bit_gravity = NorthWestGravity;
        attributes.event_mask =
            ExposureMask | StructureNotifyMask | ButtonPressMask | ButtonReleaseMask | KeyPressMask | KeyReleaseMask;
        const RECT& r = window->rect;
        Window xid = XCreateWindow(display_, root_, XCoord(r.left), XCoord(r.top), XSize(r.right - r.left),
                                   XSize(r.bottom - r.top), 0, CopyFromParent, InputOutput, CopyFromParent,
                                   CWBackPixmap | CWBitGravity | CWEventMask, &attributes);
        XSetWMProtocols(display_, xid, &wmDeleteWindow_, 1);
        // The instance name is the command's; the class is the one a desktop
        // entry matches the window by (the build sets it).
        XClassHint classHint{program_invocation_short_name, const_cast<char*>(WindowClass)};
        XSetClassHint(display_, xid, &classHint);
        Native& native = natives_[window];
        native.xid = xid;
        native.gc = XCreateGC(display_, xid, 0, nullptr);
        window->native = xid;
        SetHints(native, r, false);
        WindowTitleChanged(window);
        XFlush(display_);
    }

    void WindowDestroyed(HWND window) override {
        auto it = natives_.find(window);
        if (it == natives_.end())
            return;
        XFreeGC(display_, it->second.gc);
        XDestroyWindow(display_, it->second.xid);
        natives_.erase(it);
        XFlush(display_);
    }

    void WindowGeometryChanged(HWND window) override {
        auto it = natives_.find(window);
        if (it == natives_.end())
            return;
        Native& native = it->second;
        if (!window->visible) {
            if (native.mapped)
                XWithdrawWindow(display_, native.xid, screen_);
            native.mapped = false;
        } else if (window->state == ShowState::Minimized) {
            if (!native.mapped) {
                SetHints(native, window->normalRect, true);
                XMapWindow(display_, native.xid);
                native.mapped = true;
            } else {
                XIconifyWindow(display_, native.xid, screen_);
            }
            native.iconic = true;
        } else {
            const RECT& r = window->rect;
            if (std::memcmp(&r, &native.placed, sizeof r) != 0) {
                SetHints(native, r, false);
                XMoveResizeWindow(display_, native.xid, XCoord(r.left), XCoord(r.top), XSize(r.right - r.left),
                                  XSize(r.bottom - r.top));
                native.placed = r;
            }
            if (!native.mapped || native.iconic) {
                // Mapping also brings an iconified window back.
                XMapRaised(display_, native.xid);
                native.mapped = true;
                native.iconic = false;
            }
        }
        XFlush(display_);
    }

    void WindowTitleChanged(HWND window) override {
        auto it = natives_.find(window);
        if (it == natives_.end())
            return;
        const std::string utf8 = Latin1ToUtf8(window->text);
        XChangeProperty(display_, it->second.xid, netWmName_, utf8String_, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(utf8.data()), static_cast<int>(utf8.size()));
        XStoreName(display_, it->second.xid, window->text.c_str());
        XFlush(display_);
    }

    void Present(HWND window) override {
        auto it = natives_.find(window);
        if (it == natives_.end())
            return;
        const Surface& surface = window->framebuffer;
        if (surface.width > 0 && surface.height > 0)
            PutFramebuffer(it->second, surface);
        if (const char* dump = std::getenv("DH_DUMP_FRAMEBUFFER"); dump != nullptr && dump[0] != '\0') {
            DumpFramebuffer(surface, dump);
        }
    }

    Poll PollInput(MSG& msg, bool paintPending) override {
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            HWND window = FindWindow(event.xany.window);
            if (window == nullptr)
                continue;
            if (auto poll = Translate(window, event, msg); poll != Poll::Empty)
                return poll;
        }
        return Poll::Empty;
    }

    bool WaitForInput() override {
        if (XPending(display_) > 0)
            return true;
        pollfd fd{ConnectionNumber(display_), POLLIN, 0};
        while (::poll(&fd, 1, -1) < 0) {
        }
        return true;
    }

private:
    struct Native {
        Window xid = 0;
        GC gc = nullptr;
        bool mapped = false;
        bool iconic = false;
        RECT placed{};  // the geometry last asked of the server
    };

    std::vector<long> CardinalProperty(Atom property, long count) {
        std::vector<long> values;
        Atom type = 0;
        int format = 0;
        unsigned long items = 0;
        unsigned long remaining = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display_, root_, property, 0, count, False, XA_CARDINAL, &type, &format, &items,
                               &remaining, &data) == Success &&
            data != nullptr) {
            if (type == XA_CARDINAL && format == 32) {
                const long* p = reinterpret_cast<const long*>(data);  // format 32 is a long per item
                values.assign(p, p + items);
            }
            XFree(data);
        }
        return values;
    }

    // Asks a window manager to keep the client area where the program puts
    // it (static gravity), so a stored placement reopens at the same place.
    void SetHints(const Native& native, const RECT& r, bool iconic) {
        XSizeHints* hints = XAllocSizeHints();
        if (hints != nullptr) {
            hints->flags = USPosition | USSize | PWinGravity;
            hints->x = XCoord(r.left);
            hints->y = XCoord(r.top);
            hints->width = static_cast<int>(XSize(r.right - r.left));
            hints->height = static_cast<int>(XSize(r.bottom - r.top));
            hints->win_gravity = StaticGravity;
            XSetWMNormalHints(display_, native.xid, hints);
            XFree(hints);
        }
        XWMHints* wm = XAllocWMHints();
        if (wm != nullptr) {
            wm->flags = InputHint | StateHint;
            wm->input = True;
            wm->initial_state = iconic ? IconicState : NormalState;
            XSetWMHints(display_, native.xid, wm);
            XFree(wm);
        }
    }

    HWND FindWindow(Window xid) {
        for (auto& [window, native] : natives_) {
            if (native.xid == xid)
                return window;
        }
        return nullptr;
    }

    bool Iconic(Window xid) {
        Atom type = 0;
        int format = 0;
        unsigned long items = 0;
        unsigned long remaining = 0;
        unsigned char* data = nullptr;
        bool iconic = false;
        if (XGetWindowProperty(display_, xid, wmState_, 0, 2, False, wmState_, &type, &format, &items, &remaining,
                               &data) == Success &&
            data != nullptr) {
            iconic = format == 32 && items >= 1 && reinterpret_cast<const long*>(data)[0] == IconicState;
            XFree(data);
        }
        return iconic;
    }

    Poll Translate(HWND window, const XEvent& event, MSG& msg) {
        auto message = [&](UINT m, WPARAM w, LPARAM l) {
            msg = MSG{window, m, w, l, static_cast<DWORD>(event.xbutton.time), POINT{0, 0}};
            return Poll::Message;
        };
        switch (event.type) {
            case Expose: {
                const XExposeEvent& e = event.xexpose;
                DisplayExposed(window, RECT{e.x, e.y, e.x + e.width, e.y + e.height});
                return Poll::Handled;
            }
            case ConfigureNotify: {
                const XConfigureEvent& e = event.xconfigure;
                int x = 0;
                int y = 0;
                Window child = 0;
                // Under a reparenting window manager the event's position is
                // in the frame; the root's coordinates are what counts.
                XTranslateCoordinates(display_, e.window, root_, 0, 0, &x, &y, &child);
                DisplayConfigured(window, RECT{x, y, x + e.width, y + e.height});
                return Poll::Handled;
            }
            case MapNotify:
                natives_[window].iconic = false;
                if (window->state == ShowState::Minimized)
                    DisplayMinimized(window, false);
                return Poll::Handled;
            case UnmapNotify:
                if (window->visible && window->state != ShowState::Minimized && Iconic(event.xunmap.window)) {
                    natives_[window].iconic = true;
                    DisplayMinimized(window, true);
                }
                return Poll::Handled;
            case ButtonPress:
            case ButtonRelease: {
                const XButtonEvent& e = event.xbutton;
                const bool down = event.type == ButtonPress;
                const LPARAM at = MAKELPARAM(static_cast<WORD>(XCoord(e.x)), static_cast<WORD>(XCoord(e.y)));
                if (e.button == Button1)
                    return message(down ? WM_LBUTTONDOWN : WM_LBUTTONUP, down ? 0x0001 : 0, at);
                if (e.button == Button3)
                    return message(down ? WM_RBUTTONDOWN : WM_RBUTTONUP, down ? 0x0002 : 0, at);
                return Poll::Handled;
            }
            case KeyPress:
            case KeyRelease: {
                XKeyEvent key = event.xkey;
                const KeySym sym = XLookupKeysym(&key, 0);
                const bool down = event.type == KeyPress;
                if (down && sym == XK_F4 && (key.state & Mod1Mask) != 0)
                    return message(WM_CLOSE, 0, 0);
                WPARAM vk = 0;
                if (sym == XK_Escape) {
                    vk = VK_ESCAPE;
                } else if (sym == XK_Return || sym == XK_KP_Enter) {
                    vk = VK_RETURN;
                } else if ((sym >= XK_a && sym <= XK_z) || (sym >= XK_0 && sym <= XK_9) || sym == XK_space) {
                    vk = sym >= XK_a && sym <= XK_z ? sym - XK_a + 'A' : sym;
                }
                if (vk == 0)
                    return Poll::Handled;
                return message(down ? WM_KEYDOWN : WM_KEYUP, vk, down ? 1 : static_cast<LPARAM>(0xC0000001u));
            }
            case ClientMessage: {
                const XClientMessageEvent& e = event.xclient;
                if (e.message_type == wmProtocols_ && e.format == 32 &&
                    static_cast<Atom>(e.data.l[0]) == wmDeleteWindow_) {
                    return message(WM_CLOSE, 0, 0);
                }
                return Poll::Handled;
            }
            default:
                return Poll::Handled;
        }
    }

    void PutFramebuffer(Native& native, const Surface& surface) {
        const auto width = static_cast<unsigned>(surface.width);
        const auto height = static_cast<unsigned>(surface.height);
        const int hostOrder = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
        XImage* image = nullptr;
        if (directPixels_) {
            image = XCreateImage(display_, visual_, static_cast<unsigned>(depth_), ZPixmap, 0,
                                 reinterpret_cast<char*>(const_cast<std::uint32_t*>(surface.pixels.data())), width,
                                 height, 32, static_cast<int>(width * 4));
            if (image == nullptr)
                return;
            image->byte_order = hostOrder;  // Xlib swaps for the server when needed
        } else {
            image = XCreateImage(display_, visual_, static_cast<unsigned>(depth_), ZPixmap, 0, nullptr, width, height,
                                 32, 0);
            if (image == nullptr)
                return;
            image->data = static_cast<char*>(std::malloc(static_cast<std::size_t>(image->bytes_per_line) * height));
            if (image->data == nullptr) {
                XDestroyImage(image);
                return;
            }
            const Channel red(visual_->red_mask);
            const Channel green(visual_->green_mask);
            const Channel blue(visual_->blue_mask);
            for (unsigned y = 0; y < height; ++y) {
                const std::uint32_t* row = surface.pixels.data() + static_cast<std::size_t>(y) * width;
                for (unsigned x = 0; x < width; ++x) {
                    const std::uint32_t p = row[x];
                    XPutPixel(image, static_cast<int>(x), static_cast<int>(y),
                              red.Place(p >> 16) | green.Place(p >> 8) | blue.Place(p));
                }
            }
        }
        XPutImage(display_, native.xid, native.gc, image, 0, 0, 0, 0, width, height);
        if (directPixels_)
            image->data = nullptr;  // the framebuffer's, not Xlib's
        XDestroyImage(image);
        XFlush(display_);
    }

    // Places an 8-bit channel value into a visual's colour mask.
    struct Channel {
        explicit Channel(unsigned long mask)
            : mask(mask), shift(mask == 0 ? 0 : std::countr_zero(mask)), bits(std::popcount(mask)) {}
        unsigned long Place(std::uint32_t value) const {
            unsigned long v = value & 0xFF;
            v = bits >= 8 ? v << (bits - 8) : v >> (8 - bits);
            return (v << shift) & mask;
        }
        unsigned long mask;
        int shift;
        int bits;
    };

    Display* display_;
    int screen_ = 0;
    Window root_ = 0;
    Visual* visual_ = nullptr;
    int depth_ = 24;
    int bitsPerPixel_ = 32;
    bool directPixels_ = false;
    Atom wmProtocols_ = 0;
    Atom wmDeleteWindow_ = 0;
    Atom wmState_ = 0;
    Atom netWmName_ = 0;
    Atom utf8String_ = 0;
    Atom netWorkarea_ = 0;
    Atom netCurrentDesktop_ = 0;
    std::map<HWND, Native> natives_;
};

}  // namespace

bool UseX11Backend(std::string& error) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        const char* name = std::getenv("DISPLAY");
        error = name != nullptr && name[0] != '\0' ? "cannot open the X display \"" + std::string(name) + "\""
                                                   : std::string("cannot open the X display (DISPLAY is not set)");
        return false;
    }
    SetBackend(std::make_unique<X11Backend>(display));
    UseRegistryFile();
    return true;
}

}  // namespace platform
