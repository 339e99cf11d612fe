// The headless backend: a fixed virtual screen and a scripted user. It is
// deterministic: the same script gives the same messages in the same order.
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>

#include "platform/user_internal.h"

namespace platform {

namespace {

class HeadlessBackend final : public Backend {
public:
    explicit HeadlessBackend(HeadlessConfig config)
        : config_(std::move(config)), script_(config_.script.begin(), config_.script.end()) {}

    RECT WorkArea() override { return config_.workArea; }
    std::optional<SIZE> InitialClientSize() override { return config_.initialClientSize; }

    Poll PollInput(MSG& msg, bool paintPending) override {
        HWND target = ActiveWindow();
        if (!pending_.empty()) {
            msg = pending_.front();
            pending_.pop_front();
            return IsLiveWindow(msg.hwnd) ? Poll::Message : Poll::Handled;
        }
        // The user acts on what the screen shows: only after the paints.
        if ((paintPending && config_.waitForPaints) || script_.empty())
            return Poll::Empty;
        const InputEvent event = script_.front();
        script_.pop_front();
        if (target == nullptr)
            return Poll::Handled;
        const LPARAM position =
            MAKELPARAM(static_cast<WORD>(static_cast<SHORT>(event.x)), static_cast<WORD>(static_cast<SHORT>(event.y)));
        switch (event.kind) {
            case InputEvent::Kind::Resize: {
                RECT r = target->rect;
                DisplayConfigured(
                    target, RECT{r.left, r.top, r.left + std::max(event.width, 0), r.top + std::max(event.height, 0)});
                return Poll::Handled;
            }
            case InputEvent::Kind::Move: {
                RECT r = target->rect;
                DisplayConfigured(target,
                                  RECT{event.x, event.y, event.x + (r.right - r.left), event.y + (r.bottom - r.top)});
                return Poll::Handled;
            }
            case InputEvent::Kind::LeftClick:
                Queue(target, WM_LBUTTONDOWN, 0x0001, position);
                Queue(target, WM_LBUTTONUP, 0, position);
                break;
            case InputEvent::Kind::RightClick:
                Queue(target, WM_RBUTTONDOWN, 0x0002, position);
                Queue(target, WM_RBUTTONUP, 0, position);
                break;
            case InputEvent::Kind::Key:
                Queue(target, WM_KEYDOWN, event.key, 1);
                Queue(target, WM_KEYUP, event.key, static_cast<LPARAM>(0xC0000001u));
                break;
            case InputEvent::Kind::Close:
                Queue(target, WM_CLOSE, 0, 0);
                break;
            case InputEvent::Kind::Minimize:
                DisplayMinimized(target, true);
                return Poll::Handled;
            case InputEvent::Kind::Restore:
                DisplayMinimized(target, false);
                return Poll::Handled;
        }
        return Poll::Handled;
    }

    bool WaitForInput() override { return !pending_.empty() || !script_.empty(); }

private:
    void Queue(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        pending_.push_back(MSG{window, message, wParam, lParam, 0, POINT{0, 0}});
    }

    HeadlessConfig config_;
    std::deque<InputEvent> script_;
    std::deque<MSG> pending_;
};

std::unique_ptr<Backend>& Current() {
    static std::unique_ptr<Backend> backend;
    return backend;
}

}  // namespace

Backend& CurrentBackend() {
    auto& backend = Current();
    // Until a backend is chosen: headless, leaving the registry store alone.
    if (!backend)
        backend = std::make_unique<HeadlessBackend>(HeadlessConfig{});
    return *backend;
}

void SetBackend(std::unique_ptr<Backend> backend) {
    Current() = std::move(backend);
}

void UseHeadlessBackend(HeadlessConfig config) {
    SetBackend(std::make_unique<HeadlessBackend>(std::move(config)));
    UseMemoryRegistry();
}

namespace {

// A "Name:   1234 kB" line of a /proc file, in bytes.
std::optional<std::uint64_t> ProcKilobytes(const char* file, const char* name) {
    std::FILE* f = std::fopen(file, "r");
    if (f == nullptr)
        return std::nullopt;
    char line[256];
    std::optional<std::uint64_t> bytes;
    const std::size_t length = std::strlen(name);
    while (std::fgets(line, sizeof line, f) != nullptr) {
        unsigned long long kib = 0;
        if (std::strncmp(line, name, length) == 0 && std::sscanf(line + length, " %llu", &kib) == 1) {
            bytes = static_cast<std::uint64_t>(kib) * 1024;
            break;
        }
    }
    std::fclose(f);
    return bytes;
}

}  // namespace

std::optional<std::uint64_t> AvailableMemoryBytes() {
    std::optional<std::uint64_t> available = ProcKilobytes("/proc/meminfo", "MemAvailable:");
    // A limit on the address space counts from what is mapped already.
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        const std::uint64_t used = ProcKilobytes("/proc/self/status", "VmSize:").value_or(0);
        const std::uint64_t left = limit.rlim_cur > used ? limit.rlim_cur - used : 0;
        available = available ? std::min(*available, left) : left;
    }
    return available;
}

}  // namespace platform
