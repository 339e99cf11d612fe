// Inside of the USER subset: the window model shared by the window, message,
// dialog and backend sources, the backend interface, and the switches the
// tests use. Nothing in the program (src/shell, src/render, ...) includes
// this header; main.cpp uses platform/backend.h.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/gdi_internal.h"
#include "platform/win32.h"

namespace platform {

enum class ShowState { Normal, Minimized, Maximized };

// The colour the dialog manager erases a dialog's background with.
constexpr COLORREF DialogBackground = RGB(240, 240, 240);

// Dialog base units of the dialog font, in pixels: a horizontal dialog unit
// is a quarter of the first, a vertical one an eighth of the second.
constexpr int DialogBaseUnitX = 6;
constexpr int DialogBaseUnitY = 13;

// A dialog template laid out in pixels.
struct DialogItemLayout {
    DWORD style = 0;
    DWORD exStyle = 0;
    int id = 0;
    WORD classAtom = 0;     // predefined class, 0 when named
    std::string className;  // when not an atom
    std::string text;
    RECT rect{};  // in the dialog's client coordinates
};
struct DialogLayout {
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT rect{};  // position and client size, pixels
    std::string title;
    int pointSize = 0;
    std::string fontName;
    std::vector<DialogItemLayout> items;
};
// Reads a plain (not extended) dialog template; nullopt when it is malformed.
std::optional<DialogLayout> ParseDialogTemplate(const void* bytes, std::size_t size);
// Converts dialog units to pixels as the dialog manager does.
int DialogUnitsToPixelsX(int units);
int DialogUnitsToPixelsY(int units);

class Backend {
public:
    virtual ~Backend() = default;
    virtual RECT WorkArea() = 0;
    // A client size for new dialogs instead of their template's.
    virtual std::optional<SIZE> InitialClientSize() { return std::nullopt; }

    // The window model changed; the display follows.
    virtual void WindowCreated(HWND) {}
    virtual void WindowDestroyed(HWND) {}
    virtual void WindowGeometryChanged(HWND) {}  // rectangle, visibility or show state
    virtual void WindowTitleChanged(HWND) {}
    // Shows the window's framebuffer on the display (after each paint).
    virtual void Present(HWND) {}

    enum class Poll { Empty, Message, Handled };
    // Takes the next input without blocking: fills `msg` (Message), or acts
    // on the window model itself (Handled), or finds nothing (Empty).
    virtual Poll PollInput(MSG& msg, bool paintPending) = 0;
    // Blocks until input may be waiting; false when none will ever come.
    virtual bool WaitForInput() = 0;
};

Backend& CurrentBackend();
// Installs a backend; the windows of the previous one must be gone.
void SetBackend(std::unique_ptr<Backend> backend);

// Forgets every window, DC, posted message and the quit flag. For tests and
// benchmarks that run the program more than once in a process.
void ResetUserState();
// Number of times a window's framebuffer was presented (after paints).
std::uint64_t PresentCount();

// The window model as the backends see it.
std::vector<HWND> TopLevelWindows();
// The window that takes user input: the most recently shown visible top-level window.
HWND ActiveWindow();
// The display moved or resized a window's client area (screen coordinates).
void DisplayConfigured(HWND window, RECT client);
// The display minimised or restored a window.
void DisplayMinimized(HWND window, bool minimized);
// Part of a window needs repainting (client coordinates).
void DisplayExposed(HWND window, RECT area);

// Registry store: the REGEDIT4 file (default path, or one named), or memory.
void UseRegistryFile(std::optional<std::filesystem::path> file = std::nullopt);
void UseMemoryRegistry();
// $XDG_CONFIG_HOME/dravenholt/registry.reg, else ~/.config/dravenholt/registry.reg.
std::filesystem::path DefaultRegistryPath();

// ------------------------------------------------ between the USER sources
// True for a window that exists (not yet destroyed).
bool IsLiveWindow(HWND window);
// Adds a new window to the model (user_window.cpp owns the storage).
HWND NewWindow(HWND parent);
// The window procedure of every window: dialogs call their DLGPROC first.
LRESULT WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Size of a window's client area.
SIZE ClientSize(HWND window);
// True when a visible top-level window waits for WM_PAINT; gives it.
HWND WindowNeedingPaint();
// Windows destroyed while a message was being handled are freed here, when
// no window procedure is running any more.
void CollectDestroyedWindows();
// Depth of window procedure calls in progress.
extern int MessageDepth;
// Fills a rectangle of a top-level window's framebuffer with the dialog background.
void EraseBackground(HWND topLevel, RECT area);
// Empties the message queue and clears the quit flag.
void ResetMessageQueue();

}  // namespace platform

// A window: a dialog (top-level) or one of its controls (child).
struct HWND__ {
    HWND parent = nullptr;
    std::vector<HWND> children;
    int id = 0;
    DWORD style = 0;
    WORD classAtom = 0;
    std::string text;
    bool visible = false;
    DLGPROC proc = nullptr;
    LONG_PTR dialogUser = 0;  // DWLP_USER
    // Child: its rectangle in the parent's client coordinates. Top-level: its
    // client rectangle on the screen; windows have no frame of their own here
    // (a display's window manager adds any), so window and client rectangles
    // coincide.
    RECT rect{};

    // Top-level windows only.
    platform::ShowState state = platform::ShowState::Normal;
    RECT normalRect{};  // the rectangle when neither minimised nor maximised
    bool everShown = false;
    bool updatePending = false;
    bool erasePending = false;
    RECT updateRect{};              // client coordinates, bounding box of what is invalid
    platform::Surface framebuffer;  // the client area's pixels on the screen
    std::vector<HDC> dcs;           // window DCs handed out on this window or its children
    std::uintptr_t native = 0;      // the backend's own id
};
