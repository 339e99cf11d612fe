// The export run on Windows: the real desktop stands in for the headless
// screen, so a picture is at most what the screen holds. The dialog the
// program makes next is sized as asked once it has initialised, its scripted
// input is posted to it, and the registry keys it
// would read or write its placement under point to an empty volatile key, so
// a run from a script neither takes nor changes the user's window placement.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/backend.h"

namespace platform {

namespace {

struct ScriptedRun {
    HeadlessConfig config;
    HHOOK hook = nullptr;
    HWND dialog = nullptr;
    WNDPROC dialogProc = nullptr;
    HKEY scratch = nullptr;
    std::string scratchName;
};

ScriptedRun& Run() {
    static ScriptedRun run;
    return run;
}

// Gives the window the client size `client`, its frame kept as it is.
void SizeClient(HWND window, SIZE client) {
    RECT outer{}, inner{};
    GetWindowRect(window, &outer);
    GetClientRect(window, &inner);
    const LONG frameX = (outer.right - outer.left) - (inner.right - inner.left);
    const LONG frameY = (outer.bottom - outer.top) - (inner.bottom - inner.top);
    SetWindowPos(window, nullptr, 0, 0, client.cx + frameX, client.cy + frameY, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void PostInput(HWND window, const InputEvent& input) {
    switch (input.kind) {
        case InputEvent::Kind::LeftClick:
            PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(input.x, input.y));
            PostMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(input.x, input.y));
            break;
        case InputEvent::Kind::RightClick:
            PostMessageA(window, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(input.x, input.y));
            PostMessageA(window, WM_RBUTTONUP, 0, MAKELPARAM(input.x, input.y));
            break;
        case InputEvent::Kind::Key:
            PostMessageA(window, WM_KEYDOWN, input.key, 1);
            PostMessageA(window, WM_KEYUP, input.key, static_cast<LPARAM>(0xC0000001u));
            break;
        case InputEvent::Kind::Close:
            PostMessageA(window, WM_CLOSE, 0, 0);
            break;
        case InputEvent::Kind::Resize:
            SizeClient(window, SIZE{input.width, input.height});
            break;
        case InputEvent::Kind::Move:
            SetWindowPos(window, nullptr, input.x, input.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            break;
        case InputEvent::Kind::Minimize:
            ShowWindow(window, SW_MINIMIZE);
            break;
        case InputEvent::Kind::Restore:
            ShowWindow(window, SW_RESTORE);
            break;
    }
}

LRESULT CALLBACK ScriptedDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ScriptedRun& run = Run();
    const LRESULT result = CallWindowProcA(run.dialogProc, window, message, wParam, lParam);
    if (message != WM_INITDIALOG)
        return result;
    if (const std::optional<SIZE> wanted = run.config.initialClientSize) {
        SizeClient(window, *wanted);
        // Only what is on the screen can be read back: the window goes onto
        // the work area, and one larger than it is refused.
        RECT outer{}, work{};
        GetWindowRect(window, &outer);
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        const LONG x = std::max(work.left, std::min(outer.left, work.right - (outer.right - outer.left)));
        const LONG y = std::max(work.top, std::min(outer.top, work.bottom - (outer.bottom - outer.top)));
        SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        RECT got{};
        GetClientRect(window, &got);
        const bool fits = outer.right - outer.left <= work.right - work.left &&
                          outer.bottom - outer.top <= work.bottom - work.top;
        if (!fits || got.right - got.left != wanted->cx || got.bottom - got.top != wanted->cy) {
            std::fprintf(stderr,
                         "dravenholt: a window of %ld x %ld client pixels does not fit on the %ld x %ld work area\n",
                         static_cast<long>(wanted->cx), static_cast<long>(wanted->cy),
                         static_cast<long>(work.right - work.left), static_cast<long>(work.bottom - work.top));
            PostMessageA(window, WM_CLOSE, 0, 0);
            return result;
        }
    }
    for (const InputEvent& input : run.config.script)
        PostInput(window, input);
    return result;
}

// Takes the first dialog made after the run was chosen (not, say, the input
// method's window the system may make first), then lets go of the hook.
LRESULT CALLBACK WatchCreation(int code, WPARAM wParam, LPARAM lParam) {
    ScriptedRun& run = Run();
    const LRESULT next = CallNextHookEx(run.hook, code, wParam, lParam);
    if (code != HCBT_CREATEWND || run.dialog != nullptr)
        return next;
    HWND window = reinterpret_cast<HWND>(wParam);
    const auto* create = reinterpret_cast<CBT_CREATEWNDA*>(lParam);
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    if ((create->lpcs->style & WS_CHILD) != 0 || std::strcmp(className, "#32770") != 0)
        return next;
    run.dialog = window;
    run.dialogProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ScriptedDialogProc)));
    UnhookWindowsHookEx(run.hook);
    run.hook = nullptr;
    return next;
}

void RemoveScratchKey() {
    ScriptedRun& run = Run();
    if (run.scratch == nullptr)
        return;
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegCloseKey(run.scratch);
    run.scratch = nullptr;
    RegDeleteKeyA(HKEY_CURRENT_USER, run.scratchName.c_str());
}

// Both roots the placement is looked up under lead to one empty volatile key.
// Keys made below it would have to be volatile too, so saving fails quietly.
void HideStoredPlacement() {
    ScriptedRun& run = Run();
    run.scratchName = "Software\\Scratch " + std::to_string(static_cast<unsigned long>(GetCurrentProcessId()));
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, run.scratchName.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &run.scratch, &disposition) != ERROR_SUCCESS) {
        run.scratch = nullptr;
        return;
    }
    RegOverridePredefKey(HKEY_CURRENT_USER, run.scratch);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, run.scratch);
    std::atexit(RemoveScratchKey);
}

}  // namespace

void UseHeadlessBackend(HeadlessConfig config) {
    ScriptedRun& run = Run();
    run.config = std::move(config);
    HideStoredPlacement();
    run.hook = SetWindowsHookExA(WH_CBT, WatchCreation, nullptr, GetCurrentThreadId());
}

void UseDesktop() {
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) == 1)
        FreeConsole();
}

std::optional<std::uint64_t> AvailableMemoryBytes() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status))
        return std::nullopt;
    // The commit left and, on a 32-bit process, the address space left.
    return std::min<std::uint64_t>(status.ullAvailPageFile, status.ullAvailVirtual);
}

void StartFontSetUp() {
    // The system's fonts are ready before any program starts.
}

namespace {

INT_PTR CALLBACK IgnoreEverything(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

}  // namespace

std::optional<RECT> DialogItemRect(const DLGTEMPLATE* dialogTemplate, int id) {
    if (dialogTemplate == nullptr)
        return std::nullopt;
    // The dialog manager's own layout: a dialog made hidden and dropped.
    // Without WS_VISIBLE in the template it is never shown.
    HWND dialog = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), dialogTemplate, nullptr, IgnoreEverything, 0);
    if (dialog == nullptr)
        return std::nullopt;
    std::optional<RECT> rect;
    if (HWND item = GetDlgItem(dialog, id)) {
        RECT r{};
        GetWindowRect(item, &r);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
        rect = r;
    }
    DestroyWindow(dialog);
    return rect;
}

}  // namespace platform
