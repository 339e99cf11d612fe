// The message queue: posted messages, the quit flag, input from the backend
// and WM_PAINT made up for invalid windows, in the order Windows keeps.
#include <deque>

#include "platform/user_internal.h"

namespace platform {

namespace {

std::deque<MSG>& Queue() {
    static std::deque<MSG> queue;
    return queue;
}
bool quitPending = false;
int quitCode = 0;
// The headless end of input closes the active window once.
bool endOfInputClosed = false;

class DepthGuard {
public:
    DepthGuard() { ++MessageDepth; }
    ~DepthGuard() { --MessageDepth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
};

bool BelongsTo(HWND window, HWND dialog) {
    for (; window != nullptr; window = window->parent) {
        if (window == dialog)
            return true;
    }
    return false;
}

}  // namespace

void ResetMessageQueue() {
    Queue().clear();
    quitPending = false;
    quitCode = 0;
    endOfInputClosed = false;
}

}  // namespace platform

using namespace platform;

void PostQuitMessage(int exitCode) {
    quitPending = true;
    quitCode = exitCode;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window != nullptr && !IsLiveWindow(window))
        return FALSE;
    Queue().push_back(MSG{window, message, wParam, lParam, 0, POINT{0, 0}});
    return TRUE;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!IsLiveWindow(window))
        return 0;
    DepthGuard depth;
    return WindowProcedure(window, message, wParam, lParam);
}

BOOL GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
    if (msg == nullptr)
        return -1;
    CollectDestroyedWindows();
    Backend& backend = CurrentBackend();
    for (;;) {
        auto& queue = Queue();
        if (!queue.empty()) {
            *msg = queue.front();
            queue.pop_front();
            return msg->message == WM_QUIT ? FALSE : TRUE;
        }
        if (quitPending) {
            quitPending = false;
            *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(quitCode), 0, 0, POINT{0, 0}};
            return FALSE;
        }
        MSG input{};
        const Backend::Poll poll = backend.PollInput(input, WindowNeedingPaint() != nullptr);
        if (poll == Backend::Poll::Message) {
            *msg = input;
            return TRUE;
        }
        if (poll == Backend::Poll::Handled)
            continue;
        if (HWND dirty = WindowNeedingPaint()) {
            *msg = MSG{dirty, WM_PAINT, 0, 0, 0, POINT{0, 0}};
            return TRUE;
        }
        if (!backend.WaitForInput()) {
            HWND active = ActiveWindow();
            if (!endOfInputClosed && active != nullptr) {
                endOfInputClosed = true;
                *msg = MSG{active, WM_CLOSE, 0, 0, 0, POINT{0, 0}};
                return TRUE;
            }
            *msg = MSG{nullptr, WM_QUIT, 0, 0, 0, POINT{0, 0}};
            return FALSE;
        }
    }
}

BOOL IsDialogMessageA(HWND dialog, LPMSG msg) {
    if (msg == nullptr || !IsLiveWindow(dialog) || !IsLiveWindow(msg->hwnd) || !BelongsTo(msg->hwnd, dialog)) {
        return FALSE;
    }
    if (msg->message == WM_KEYDOWN && (msg->wParam == VK_ESCAPE || msg->wParam == VK_RETURN)) {
        const WPARAM id = msg->wParam == VK_ESCAPE ? IDCANCEL : IDOK;
        SendMessageA(dialog, WM_COMMAND, id, 0);
        return TRUE;
    }
    return FALSE;
}

BOOL TranslateMessage(const MSG* msg) {
    if (msg == nullptr || msg->message != WM_KEYDOWN)
        return FALSE;
    const WPARAM vk = msg->wParam;
    const bool character =
        vk == VK_RETURN || vk == VK_ESCAPE || vk == 0x08 || (vk >= 0x20 && vk <= 0x39) || (vk >= 0x41 && vk <= 0x5A);
    if (!character)
        return FALSE;
    const WPARAM ch = vk >= 0x41 && vk <= 0x5A ? vk + 0x20 : vk;  // letters without Shift
    PostMessageA(msg->hwnd, WM_CHAR, ch, msg->lParam);
    return TRUE;
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (msg == nullptr || msg->hwnd == nullptr)
        return 0;
    return SendMessageA(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}
