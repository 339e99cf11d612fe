// Choosing how the program's windows reach a user: the X11 display, or a
// headless virtual screen with a scripted user. The process entry (main.cpp)
// uses this before it runs the program; the program itself never does.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace platform {

// One input of a headless script: what a user would do to the active window.
struct InputEvent {
    enum class Kind { Resize, Move, LeftClick, RightClick, Key, Close, Minimize, Restore };
    Kind kind = Kind::Key;
    int x = 0;  // Move: new left; clicks: client x
    int y = 0;
    int width = 0;  // Resize: new client size
    int height = 0;
    WPARAM key = 0;  // Key: virtual-key code

    static InputEvent Resized(int w, int h) { return {Kind::Resize, 0, 0, w, h, 0}; }
    static InputEvent Moved(int x, int y) { return {Kind::Move, x, y, 0, 0, 0}; }
    static InputEvent LeftClicked(int x, int y) { return {Kind::LeftClick, x, y, 0, 0, 0}; }
    static InputEvent RightClicked(int x, int y) { return {Kind::RightClick, x, y, 0, 0, 0}; }
    static InputEvent KeyPressed(WPARAM vk) { return {Kind::Key, 0, 0, 0, 0, vk}; }
    static InputEvent Closed() { return {Kind::Close, 0, 0, 0, 0, 0}; }
    static InputEvent Minimized() { return {Kind::Minimize, 0, 0, 0, 0, 0}; }
    static InputEvent Restored() { return {Kind::Restore, 0, 0, 0, 0, 0}; }
};

// The headless backend: a virtual screen, no display. Each scripted input is
// delivered only once no visible window waits for a paint, like a user who
// acts on what the screen shows. When the script is used up, the active
// window gets WM_CLOSE once; after that GetMessageA reports WM_QUIT.
struct HeadlessConfig {
    RECT workArea{0, 0, 1920, 1080};
    std::optional<SIZE> initialClientSize;  // overrides a dialog template's size
    std::vector<InputEvent> script;
    // The scripted user waits for every pending paint before acting. Without
    // it the script comes first, as input queued ahead of a paint does.
    bool waitForPaints = true;
};

// Headless backend with an in-memory registry, so no stored placement changes
// a headless picture's size. Also the backend until one is chosen.
void UseHeadlessBackend(HeadlessConfig config);
#ifdef _WIN32
// The window on the real desktop. The program is a console program, so that
// scripts get its messages and wait for its exit status; opened from the
// desktop, it lets go of the console window made for it alone.
void UseDesktop();
#else
// X11 backend on $DISPLAY with the registry file; false with a message when
// no display can be opened.
bool UseX11Backend(std::string& error);
#endif

// The memory this process can still take, as far as the system tells:
// what is available and what its own limits leave; none when unknown.
std::optional<std::uint64_t> AvailableMemoryBytes();

// Begins the font set-up on a thread of its own so that it overlaps the
// start; the first font made waits for it. Without a call, that font sets up.
void StartFontSetUp();

// The rectangle, in the dialog's client pixels, of the template's control
// `id`, laid out as the dialog manager lays it out; nullopt when the template
// has no such control or cannot be read.
std::optional<RECT> DialogItemRect(const DLGTEMPLATE* dialogTemplate, int id);

}  // namespace platform
